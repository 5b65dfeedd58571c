// Quitting while a fetch waits. In a binary of its own: quitting the
// application also ends the page engine, which other tests need.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "base/net/http_fetch.h"
#include "support/silent_server.h"

namespace quarvel {
namespace {

using namespace std::chrono_literals;

TEST(HttpGetBytes, QuittingEndsTheWaitAtOnceAndTheAbandonedTransferStopsOnItsOwn) {
  testing::SilentServer silent;
  ASSERT_GT(silent.port(), 0);
  FetchLimits limits;
  limits.total = 8000ms;
  QElapsedTimer clock;
  qint64 returnedAfter = -1;
  QTimer::singleShot(0, [&] {
    clock.start();
    EXPECT_TRUE(HttpGetBytes(silent.Url(), limits).isEmpty());
    returnedAfter = clock.elapsed();
  });
  QTimer::singleShot(300, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
  EXPECT_GE(returnedAfter, 250);
  EXPECT_LT(returnedAfter, 2000);
  // The worker notices it was given up and closes its connection, long
  // before its own time-out; the process then ends without waiting for it.
  EXPECT_TRUE(silent.PeerClosesWithin(3000));
}

}  // namespace
}  // namespace quarvel
