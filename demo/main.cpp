// The bundled demo site: plays the lookup site (http), the maker's warranty
// page (https, with a certificate made at start and kept in memory) and the
// portal, on loopback. SIGINT and SIGTERM stop it cleanly; it leaves no files.
#include <pthread.h>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "demo_options.h"
#include "site.h"
#include "tls_certificate.h"

int main(int argc, char** argv) {
  using namespace quarvel::demo;
  const DemoOptions options = ParseDemoOptions(std::vector<std::string>(argv, argv + argc));
  if (!options.run) {
    std::fputs(options.message.c_str(), options.exitCode ? stderr : stdout);
    return options.exitCode;
  }

  // The signals are taken by one thread of their own, which stops the servers;
  // every other thread inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  const TlsIdentity identity = MakeSelfSignedIdentity();
  if (!identity) {
    std::fprintf(stderr, "quarvel-demo: could not make a certificate\n");
    return 1;
  }
  httplib::Server lookup, portal;
  // The server's context takes its own references to both.
  httplib::SSLServer warranty(identity.certificate.get(), identity.key.get());
  if (!warranty.is_valid()) {
    std::fprintf(stderr, "quarvel-demo: could not set up TLS\n");
    return 1;
  }
  for (httplib::Server* server : {&lookup, &portal, static_cast<httplib::Server*>(&warranty)})
    LimitClients(*server);
  MountLookupSite(lookup);
  MountPortal(portal);
  MountWarrantySite(warranty);

  const struct {
    httplib::Server* server;
    int port;
    const char* what;
  } sites[] = {{&lookup, options.lookupPort, "lookup site"},
               {&portal, options.portalPort, "portal"},
               {&warranty, options.warrantyPort, "warranty page"}};
  for (const auto& site : sites) {
    if (!site.server->bind_to_port("127.0.0.1", site.port)) {
      std::fprintf(stderr, "quarvel-demo: port %d for the %s is taken\n", site.port, site.what);
      return 1;
    }
  }
  std::thread lookupThread([&] { lookup.listen_after_bind(); });
  std::thread portalThread([&] { portal.listen_after_bind(); });
  std::thread signalThread([&] {
    int received = 0;
    sigwait(&stopSignals, &received);
    for (const auto& site : sites) site.server->stop();
  });
  std::printf(
      "quarvel-demo: lookup http://127.0.0.1:%d  portal http://127.0.0.1:%d  "
      "warranty https://127.0.0.1:%d\n",
      options.lookupPort, options.portalPort, options.warrantyPort);
  std::fflush(stdout);
  warranty.listen_after_bind();
  lookup.stop();
  portal.stop();
  lookupThread.join();
  portalThread.join();
  // Wakes the signal thread when the warranty server ended on its own.
  pthread_kill(signalThread.native_handle(), SIGTERM);
  signalThread.join();
  return 0;
}
