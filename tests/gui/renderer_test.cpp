// Pages that hang or kill their renderer: each costs its own lookup, and the
// next sound lookup in the same window succeeds.
#include <gtest/gtest.h>

#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>

#include "base/records/history.h"
#include "support/lookup_window.h"
#include "webpage/page_keeper.h"

namespace quarvel {
namespace {

using testing::WaitFor;

const QString kFound = QStringLiteral("查询成功");
const QString kTimedOut = QStringLiteral("查询超时，请重试");

bool Running(qint64 pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0; }

class RendererTest : public testing::LookupWindowTest {
 protected:
  PageKeeper& Keeper(QWebEngineView* view) {
    PageKeeper* keeper = PageKeeper::Of(view);
    EXPECT_NE(keeper, nullptr);
    return *keeper;
  }

  // The browser's render process, once its page has one.
  qint64 RendererOf(QWebEngineView* view) {
    WaitFor([&] { return view->page()->renderProcessPid() > 0; }, 20000);
    return view->page()->renderProcessPid();
  }

  QString LastReason() {
    const std::vector<HistoryRecord> last = History(DataFolder()).Newest(1);
    return last.empty() ? QString() : last.front().reason;
  }
};

TEST_F(RendererTest, PagesThatNeverYieldCostTheirOwnLookupOnly) {
  // A result page whose script never yields, and one that asks for new
  // windows without end: no request of the page is ever answered.
  const std::pair<const char*, const char*> pages[] = {
      {"SPINS0000001", "<h1>查找结果</h1><script>setTimeout(function(){while(true){}},0)</script>"},
      {"WINDOWS00001",
       "<h1>查找结果</h1><script>setTimeout(function(){for(;;)window.open('about:blank')},0)"
       "</script>"},
  };
  const qint64 warrantyRenderer = RendererOf(ui->WarrantyBrowser);
  for (const auto& [serial, html] : pages) {
    sites.OverrideLookup(std::string("/index.php/iphone/") + serial, html);
    const int before = Keeper(ui->LookupBrowser).Replacements();
    const qint64 hung = RendererOf(ui->LookupBrowser);
    Query(QString::fromLatin1(serial));
    ASSERT_TRUE(WaitForStatus(kTimedOut, 30000))
        << serial << ": " << window->Status().toStdString();
    EXPECT_EQ(Keeper(ui->LookupBrowser).Replacements(), before + 1) << serial;
    EXPECT_EQ(LastReason(), PageKeeper::StoppedAnswering()) << serial;
    EXPECT_TRUE(WaitFor([&] { return !Running(hung); }, 10000)) << serial << ": renderer left";

    Query(QStringLiteral("C39XK0ABHG7F"));
    ASSERT_TRUE(WaitForStatus(kFound)) << serial << ": " << window->Status().toStdString();
  }
  // The other browser kept its own renderer all along, and still answers.
  EXPECT_EQ(ui->WarrantyBrowser->page()->renderProcessPid(), warrantyRenderer);
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  EXPECT_TRUE(WaitForStatus(kFound)) << window->Status().toStdString();
}

TEST_F(RendererTest, ARendererThatDiesIsReplacedAndTheOfficialPathStartsAgain) {
  // Killed while idle: the fresh page goes back to the warranty page.
  ::kill(static_cast<pid_t>(RendererOf(ui->WarrantyBrowser)), SIGKILL);
  ASSERT_TRUE(WaitFor([&] { return Keeper(ui->WarrantyBrowser).Replacements() == 1; }, 10000));
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  ASSERT_TRUE(WaitForStatus(kFound)) << window->Status().toStdString();

  // Killed in the middle of an official lookup: that lookup ends at once.
  ::kill(static_cast<pid_t>(RendererOf(ui->WarrantyBrowser)), SIGKILL);
  Query(QStringLiteral("F17ZP1QWN73D"), true);
  ASSERT_TRUE(WaitForStatus(kTimedOut, 15000)) << window->Status().toStdString();
  EXPECT_EQ(LastReason(), PageKeeper::Crashed());
  Query(QStringLiteral("F17ZP1QWN73D"), true);
  EXPECT_TRUE(WaitForStatus(kFound)) << window->Status().toStdString();

  // And on the comprehensive path, while its ticks poll a page that is
  // still loading: not an empty page ("请正确输入"), a crash.
  sites.OverrideLookup("/index.php/iphone/LOADING00001", "<p>loading</p>");
  Query(QStringLiteral("LOADING00001"));
  WaitFor([] { return false; }, 1000);
  ::kill(static_cast<pid_t>(RendererOf(ui->LookupBrowser)), SIGKILL);
  ASSERT_TRUE(WaitForStatus(kTimedOut, 15000)) << window->Status().toStdString();
  EXPECT_EQ(LastReason(), PageKeeper::Crashed());
  Query(QStringLiteral("C39XK0ABHG7F"));
  EXPECT_TRUE(WaitForStatus(kFound)) << window->Status().toStdString();
}

}  // namespace
}  // namespace quarvel
