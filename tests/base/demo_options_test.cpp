// The demo site's command line, and what it lets one client cost it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "demo_options.h"
#include "site.h"
#include "support/local_server.h"

namespace quarvel::demo {
namespace {

DemoOptions Parse(std::vector<std::string> options) {
  options.insert(options.begin(), "/build/bin/quarvel-demo");
  return ParseDemoOptions(options);
}

TEST(DemoOptions, PortsInBothFormsAndTheDefaults) {
  const DemoOptions defaults = Parse({});
  EXPECT_TRUE(defaults.run);
  EXPECT_EQ(defaults.lookupPort, 18080);
  EXPECT_EQ(defaults.portalPort, 18081);
  EXPECT_EQ(defaults.warrantyPort, 18443);

  const DemoOptions chosen =
      Parse({"--lookup-port", "1", "--portal-port=65535", "--warranty-port", "28443"});
  EXPECT_TRUE(chosen.run);
  EXPECT_EQ(chosen.lookupPort, 1);
  EXPECT_EQ(chosen.portalPort, 65535);
  EXPECT_EQ(chosen.warrantyPort, 28443);
}

TEST(DemoOptions, HelpAndVersionStopWithoutServing) {
  for (const char* option : {"-h", "--help"}) {
    const DemoOptions help = Parse({"--lookup-port", "1", option});
    EXPECT_FALSE(help.run);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.message.rfind("Usage: quarvel-demo [options]\n", 0), 0u);
    EXPECT_EQ(help.message.find("/build"), std::string::npos);
  }
  EXPECT_EQ(Parse({"--version"}).message, "quarvel-demo " QUARVEL_VERSION "\n");
}

TEST(DemoOptions, BadInputIsRefusedWithExitTwoInsteadOfServingOnPortZero) {
  const struct {
    std::vector<std::string> options;
    const char* message;
  } cases[] = {
      {{"--bogus"}, "quarvel-demo: unknown option '--bogus'; try --help\n"},
      {{"--bogus=1"}, "quarvel-demo: unknown option '--bogus'; try --help\n"},
      {{"serve"}, "quarvel-demo: unexpected argument 'serve'; try --help\n"},
      {{"--lookup-port"}, "quarvel-demo: missing value after '--lookup-port'; try --help\n"},
      {{"--lookup-port", "http"},
       "quarvel-demo: 'http' is not a port (1 to 65535) for --lookup-port; try --help\n"},
      {{"--portal-port=0"},
       "quarvel-demo: '0' is not a port (1 to 65535) for --portal-port; try --help\n"},
      {{"--warranty-port", "65536"},
       "quarvel-demo: '65536' is not a port (1 to 65535) for --warranty-port; try --help\n"},
      {{"--warranty-port", "-5"},
       "quarvel-demo: '-5' is not a port (1 to 65535) for --warranty-port; try --help\n"},
      {{"--lookup-port="},
       "quarvel-demo: '' is not a port (1 to 65535) for --lookup-port; try --help\n"},
      {{"--lookup-port", "99999999999"},
       "quarvel-demo: '99999999999' is not a port (1 to 65535) for --lookup-port; try --help\n"},
  };
  for (const auto& c : cases) {
    const DemoOptions options = Parse(c.options);
    EXPECT_FALSE(options.run) << c.message;
    EXPECT_EQ(options.exitCode, 2) << c.message;
    EXPECT_EQ(options.message, c.message);
  }
}

// The portal on loopback with the demo's limits.
struct LimitedPortal : testing::LocalServer {
  explicit LimitedPortal(size_t requestsAConnection = 1) {
    server().set_keep_alive_max_count(requestsAConnection);
    LimitClients(server());
    MountPortal(server());
    Start();
  }
};

// A connection to port that has sent text; -1 when either failed.
int Send(int port, const std::string& text) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
      send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size()))
    return fd;
  close(fd);
  return -1;
}

TEST(DemoLimits, BodiesOverTheLimitAreRefusedWith413WhetherInChunksOrNot) {
  LimitedPortal portal;
  httplib::Client client("127.0.0.1", portal.port());
  for (const auto& [size, chunked, status] : std::vector<std::tuple<size_t, bool, int>>{
           {kMaxRequestBody, false, 404},  // taken, and no page answers a POST
           {kMaxRequestBody + 1, false, 413},
           {16 << 20, false, 413},
           {kMaxRequestBody, true, 404},
           {kMaxRequestBody + 1, true, 413},
           {16 << 20, true, 413}}) {
    const std::string body(size, 'x');
    const auto chunks = [&body](size_t at, httplib::DataSink& sink) {
      const size_t n = std::min<size_t>(body.size() - at, 16384);
      return n ? sink.write(body.data() + at, n) : (sink.done(), true);
    };
    const auto result =
        chunked ? client.Post("/", chunks, "text/plain") : client.Post("/", body, "text/plain");
    ASSERT_TRUE(result) << size;
    EXPECT_EQ(result->status, status) << size << (chunked ? " in chunks" : "");
  }
}

TEST(DemoLimits, ClientsTricklingTheirRequestsInDoNotHoldUpAnother) {
  LimitedPortal portal;
  std::vector<int> slow;  // twenty headers, sent on a byte a second, never finished
  for (int i = 0; i < 20; ++i) {
    slow.push_back(Send(portal.port(), "GET / HTTP/1.1\r\nX-Slow: "));
    ASSERT_GE(slow.back(), 0);
  }
  std::atomic<bool> done = false;
  std::thread trickle([&] {
    for (int tenth = 0; tenth < 100 && !done; ++tenth) {
      if (tenth % 10 == 0)
        for (int fd : slow) send(fd, "a", 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // all of them are being read
  httplib::Client client("127.0.0.1", portal.port());
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(5, 0);
  const auto result = client.Get("/");
  done = true;
  trickle.join();
  for (int fd : slow) close(fd);
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 200);
}

TEST(DemoLimits, AnIdleKeepAliveConnectionIsClosed) {
  LimitedPortal portal(5);
  const int fd = Send(portal.port(), "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  ASSERT_GE(fd, 0);
  // The answer, then the close after kKeepAliveSeconds (the library's own default is 5 s).
  std::string answer;
  char buffer[4096];
  ssize_t n = 1;
  for (pollfd peer{fd, POLLIN, 0}; n > 0 && poll(&peer, 1, (kKeepAliveSeconds + 2) * 1000) > 0;)
    if ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, n);
  close(fd);
  EXPECT_EQ(n, 0) << "still open";
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 80);
}

}  // namespace
}  // namespace quarvel::demo
