// The bundled demo site: plays the lookup site (http), the maker's warranty
// page (https, with a certificate made at start) and the portal, on loopback.
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "site.h"
#include "tls_certificate.h"

namespace {

int PortArgument(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quarvel::demo;
  const int lookupPort = PortArgument(argc, argv, "--lookup-port", 18080);
  const int portalPort = PortArgument(argc, argv, "--portal-port", 18081);
  const int warrantyPort = PortArgument(argc, argv, "--warranty-port", 18443);

  QTemporaryDir dir;
  const std::string cert = QDir(dir.path()).filePath("cert.pem").toStdString();
  const std::string key = QDir(dir.path()).filePath("key.pem").toStdString();
  if (!dir.isValid() || !MakeSelfSignedCertificate(cert, key)) {
    std::fprintf(stderr, "quarvel-demo: could not make a certificate\n");
    return 1;
  }

  httplib::Server lookup, portal;
  httplib::SSLServer warranty(cert.c_str(), key.c_str());
  MountLookupSite(lookup);
  MountPortal(portal);
  MountWarrantySite(warranty);

  const struct {
    httplib::Server* server;
    int port;
    const char* what;
  } sites[] = {{&lookup, lookupPort, "lookup site"},
               {&portal, portalPort, "portal"},
               {&warranty, warrantyPort, "warranty page"}};
  for (const auto& site : sites) {
    if (!site.server->bind_to_port("127.0.0.1", site.port)) {
      std::fprintf(stderr, "quarvel-demo: port %d for the %s is taken\n", site.port, site.what);
      return 1;
    }
  }
  std::thread lookupThread([&] { lookup.listen_after_bind(); });
  std::thread portalThread([&] { portal.listen_after_bind(); });
  std::printf(
      "quarvel-demo: lookup http://127.0.0.1:%d  portal http://127.0.0.1:%d  "
      "warranty https://127.0.0.1:%d\n",
      lookupPort, portalPort, warrantyPort);
  std::fflush(stdout);
  warranty.listen_after_bind();
  lookup.stop();
  portal.stop();
  lookupThread.join();
  portalThread.join();
  return 0;
}
