// The fetch: what a transfer on its worker thread costs against a local
// server, and how long the event loop goes without turning while a fetch
// waits on a server that never answers.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <httplib.h>

#include "base/net/http_fetch.h"
#include "bench_support.h"
#include "support/silent_server.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  using namespace quarvel;

  httplib::Server server;
  server.Get("/pic.png", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(20000, 'x'), "image/png");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const QString url = QStringLiteral("http://127.0.0.1:%1/pic.png").arg(port);
  const double local = bench::MedianMs(50, [&] { HttpGetBytes(url); });
  std::printf("fetch_local_20kb: %.2f ms\n", local);

  // A server that never answers, a fetch that gives up after 2 s, and a timer
  // that is not held by the program's gate: its longest pause is the longest
  // time the windows would go without painting.
  testing::SilentServer silent;
  FetchLimits limits;
  limits.total = std::chrono::milliseconds(2000);
  QElapsedTimer sinceLast;
  qint64 longestGap = 0;
  QTimer loop;
  QObject::connect(&loop, &QTimer::timeout,
                   [&] { longestGap = std::max(longestGap, sinceLast.restart()); });
  QElapsedTimer clock;
  clock.start();
  sinceLast.start();
  loop.start(0);
  HttpGetBytes(silent.Url(), limits);
  longestGap = std::max(longestGap, sinceLast.elapsed());
  loop.stop();
  std::printf("hanging_fetch_wait: %lld ms\n", static_cast<long long>(clock.elapsed()));
  std::printf("hanging_fetch_longest_event_loop_gap: %lld ms\n",
              static_cast<long long>(longestGap));

  server.stop();
  serving.join();
  return 0;
}
