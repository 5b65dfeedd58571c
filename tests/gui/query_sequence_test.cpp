// Queries one after another in the real window, on sites slower than the
// demo: each query is judged on its own page, with its own deadline, and a
// site that cannot be reached is named at once.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>
#include <QWebEngineView>

#include <atomic>
#include <thread>
#include <vector>

#include "base/records/history.h"
#include "support/lookup_window.h"
#include "webpage/page_keeper.h"

namespace quarvel {
namespace {

using testing::WaitFor;

const QString kFound = QStringLiteral("查询成功");
const QString kEnterCorrectly = QStringLiteral("请正确输入");
const QString kNotFound = QStringLiteral("抱歉，没有找到此系列号相关信息");
const QString kTimedOut = QStringLiteral("查询超时，请重试");
const QString kUnreachable = QStringLiteral("无法连接网站，请检查网络");

// A loopback port nobody listens on.
quint16 ClosedPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  const quint16 port = server.serverPort();
  server.close();
  return port;
}

class QuerySequenceTest : public testing::LookupWindowTest {
 protected:
  std::vector<HistoryRecord> Newest(int n) { return History(DataFolder()).Newest(n); }
  // The query has ended: the busy picture is gone and no timer runs.
  bool Idle() {
    return ui->BusyAnimation->isHidden() && !ui->LookupResultTimer->isActive() &&
           !ui->WarrantyFormTimer->isActive() && !ui->WarrantyResultTimer->isActive();
  }
};

TEST_F(QuerySequenceTest, EachQueryEndsOnItsOwnPage) {
  // A rejection page without the form: the next query goes back to the form.
  sites.OverrideWarrantyResult("REJECTED0001",
                               "<!DOCTYPE html><html><body><p>系列号无效</p></body></html>");
  Query(QStringLiteral("REJECTED0001"), true);
  ASSERT_TRUE(WaitForStatus(kEnterCorrectly)) << window->Status().toStdString();
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  ASSERT_TRUE(WaitForStatus(kFound)) << window->Status().toStdString();

  // A rejection that shows the form again, then a valid serial whose answer
  // takes a while: the rejection still on screen is not its answer.
  Query(QStringLiteral("NOTASERIAL"), true);
  ASSERT_TRUE(WaitForStatus(kEnterCorrectly)) << window->Status().toStdString();
  sites.DelayWarrantyResult("F17ZP1QWN73D", 1500);
  Query(QStringLiteral("F17ZP1QWN73D"), true);
  ASSERT_TRUE(WaitFor([&] { return Idle(); }, 20000));
  EXPECT_EQ(window->Status(), kFound);

  // Not found, then a found serial on a slow lookup site.
  Query(QStringLiteral("NOSUCHSERIAL"));
  ASSERT_TRUE(WaitForStatus(kNotFound)) << window->Status().toStdString();
  sites.DelayLookup("/index.php/iphone/DNPQ2LL8JCLM", 1500);
  Query(QStringLiteral("DNPQ2LL8JCLM"));
  ASSERT_TRUE(WaitFor([&] { return Idle(); }, 20000));
  EXPECT_EQ(window->Status(), kFound);

  // Two found lookups keep two pictures: each row shows its own handset.
  Query(QStringLiteral("C39XK0ABHG7F"));
  ASSERT_TRUE(WaitFor([&] { return Idle(); }, 20000));
  const std::vector<HistoryRecord> rows = Newest(2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].entry, QStringLiteral("DNPQ2LL8JCLM"));
  for (const int i : {0, 1}) {
    EXPECT_TRUE(rows[i].picture.contains(QStringLiteral("/pictures/")))
        << rows[i].picture.toStdString();
    EXPECT_TRUE(QFile::exists(rows[i].picture)) << rows[i].picture.toStdString();
  }
  EXPECT_NE(rows[0].picture, rows[1].picture);
}

TEST_F(QuerySequenceTest, ARestartedQueryKeepsItsOwnDeadlineAndClock) {
  LookupTimings timings = ShortTimings();
  timings.warrantyTimeoutMs = 4000;
  Open(timings);
  sites.DelayWarrantyResult("C39XK0ABHG7F", 2000);
  sites.DelayWarrantyResult("F17ZP1QWN73D", 8000);
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  ASSERT_TRUE(WaitFor([&] { return ui->WarrantyResultTimer->isActive(); }, 10000));
  Query(QStringLiteral("F17ZP1QWN73D"), true);  // while the first one's answer is on its way
  ASSERT_TRUE(WaitForStatus(kTimedOut, 15000)) << window->Status().toStdString();
  const std::vector<HistoryRecord> rows = Newest(1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].entry, QStringLiteral("F17ZP1QWN73D"));
  EXPECT_GE(rows[0].seconds, 3.7);  // a coarse timer may fire 5 % early
  EXPECT_LT(rows[0].seconds, 8.0);
}

TEST_F(QuerySequenceTest, ASiteThatCannotBeReachedIsNamedAtOnce) {
  Config config = sites.MakeConfig();
  const quint16 port = ClosedPort();
  config.lookupHost = config.warrantyHost = QStringLiteral("127.0.0.1:%1").arg(port);
  Open(ShortTimings(), config);
  for (const bool official : {false, true}) {
    Query(QStringLiteral("C39XK0ABHG7F"), official);
    // Long before any deadline (60 s, 90 s).
    ASSERT_TRUE(WaitForStatus(kUnreachable, 10000)) << window->Status().toStdString();
    EXPECT_TRUE(Idle());
    const std::vector<HistoryRecord> rows = Newest(1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].reason, QStringLiteral("connection refused: 127.0.0.1:%1").arg(port));
  }
}

TEST_F(QuerySequenceTest, AnEmptyEnterDuringAQueryLeavesThatQueryItsEnding) {
  sites.DelayLookup("/index.php/iphone/C39XK0ABHG7F", 1000);
  Query(QStringLiteral("C39XK0ABHG7F"));
  ui->SerialInput->clear();
  ui->QueryButton->click();
  EXPECT_TRUE(WaitFor([&] { return Idle(); }, 20000)) << window->Status().toStdString();
  const std::vector<HistoryRecord> rows = Newest(1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].entry, QStringLiteral("C39XK0ABHG7F"));
}

TEST_F(QuerySequenceTest, AHugePageOnBusyCoresIsSlowNotDead) {
  // Two threads that keep both cores busy while the page is parsed.
  std::atomic<bool> stop{false};
  std::vector<std::thread> burners;
  for (int i = 0; i < 2; ++i)
    burners.emplace_back([&stop] {
      unsigned spin = 0;
      while (!stop.load(std::memory_order_relaxed)) spin = spin * 31 + 7;
      EXPECT_NE(spin, 1u);
    });
  std::string huge = "<!DOCTYPE html><html><body><h1>查找结果</h1>\n";
  const std::string row = "<p>序列号记录 ................................................</p>\n";
  // Big enough to take seconds to parse and read on busy cores.
  while (huge.size() < 8 * 1024 * 1024) huge += row;
  huge += "</body></html>";
  sites.OverrideLookup("/index.php/iphone/HUGE", huge);
  huge = std::string();
  LookupTimings timings = ShortTimings();
  timings.lookupTimeoutMs = 150000;
  Open(timings);
  const int replaced = PageKeeper::Of(ui->LookupBrowser)->Replacements();
  Query(QStringLiteral("HUGE"));
  const bool ended = WaitFor([&] { return Idle(); }, 160000);
  stop = true;
  for (std::thread& burner : burners) burner.join();
  ASSERT_TRUE(ended);
  EXPECT_EQ(PageKeeper::Of(ui->LookupBrowser)->Replacements(), replaced);
  // The demo has no picture for it: the page was read as a result page.
  EXPECT_EQ(window->Status(), QStringLiteral("图片获取失败"))
      << Newest(1).front().reason.toStdString() << " after " << Newest(1).front().seconds;
}

}  // namespace
}  // namespace quarvel
