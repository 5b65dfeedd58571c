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

// The portal on loopback with the demo's limits; it takes no request bodies.
struct LimitedPortal : testing::LocalServer {
  explicit LimitedPortal(size_t keepAliveRequests = 1) {
    server().set_keep_alive_max_count(keepAliveRequests);
    LimitClients(server());
    MountPortal(server());
    Start();
  }
};

// A plain connection to 127.0.0.1:port, closed with the object.
struct Connection {
  explicit Connection(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) close(fd), fd = -1;
  }
  ~Connection() {
    if (fd >= 0) close(fd);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  bool Send(const std::string& bytes) const {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  }
  // Whether the server closes the connection within timeoutMs, reading what it sends.
  bool ClosedWithin(int timeoutMs, std::string* received = nullptr) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd peer{fd, POLLIN, 0};
      if (left.count() <= 0 || poll(&peer, 1, static_cast<int>(left.count())) <= 0) return false;
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return true;
      if (received) received->append(buffer, static_cast<size_t>(n));
    }
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
};

TEST(DemoLimits, ABodyOverTheLimitIsRefusedWith413) {
  LimitedPortal portal;
  httplib::Client client("127.0.0.1", portal.port());
  client.set_read_timeout(10, 0);
  client.set_write_timeout(10, 0);
  const struct {
    size_t size;
    bool chunked;
    int status;
  } cases[] = {
      {kMaxRequestBody, false, 404},  // taken, and no page answers a POST
      {kMaxRequestBody + 1, false, 413}, {16 << 20, false, 413},
      {kMaxRequestBody + 1, true, 413},  {16 << 20, true, 413},
  };
  for (const auto& c : cases) {
    const std::string body(c.size, 'x');
    const httplib::Result result =
        c.chunked ? client.Post(
                        "/",
                        [&](size_t offset, httplib::DataSink& sink) {
                          const size_t n = std::min<size_t>(body.size() - offset, 16384);
                          if (n == 0) sink.done();
                          return n == 0 || sink.write(body.data() + offset, n);
                        },
                        "text/plain")
                  : client.Post("/", body, "text/plain");
    ASSERT_TRUE(result) << c.size << (c.chunked ? " chunked" : "");
    EXPECT_EQ(result->status, c.status) << c.size << (c.chunked ? " chunked" : "");
  }
}

TEST(DemoLimits, ClientsTricklingTheirRequestsInDoNotHoldUpAnother) {
  LimitedPortal portal;
  // Twenty clients each send a header a byte a second, never finishing it.
  std::vector<std::unique_ptr<Connection>> slow;
  for (int i = 0; i < 20; ++i) {
    slow.push_back(std::make_unique<Connection>(portal.port()));
    ASSERT_TRUE(slow.back()->Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "));
  }
  std::atomic<bool> done = false;
  std::thread trickle([&] {
    for (int second = 0; second < 10 && !done; ++second) {
      for (const auto& connection : slow) connection->Send("a");
      for (int i = 0; i < 10 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // all of them are being read

  httplib::Client client("127.0.0.1", portal.port());
  client.set_connection_timeout(5, 0);
  client.set_read_timeout(5, 0);
  const httplib::Result result = client.Get("/");
  done = true;
  trickle.join();
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 200);
}

TEST(DemoLimits, AnIdleKeepAliveConnectionIsClosed) {
  LimitedPortal portal(5);
  Connection idle(portal.port());
  ASSERT_TRUE(idle.Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
  std::string answer;
  // Closed after kKeepAliveSeconds of silence (the library's own default is 5 s).
  EXPECT_TRUE(idle.ClosedWithin(kKeepAliveSeconds * 1000 + 1500, &answer));
  EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 80);
}

}  // namespace
}  // namespace quarvel::demo
