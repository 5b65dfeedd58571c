// Both lookups end to end: the real main window, real browsers, the demo site.
#include <gtest/gtest.h>

#include <optional>

#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineView>

#include "base/files/data_folder.h"
#include "base/files/picture.h"
#include "base/records/history.h"
#include "base/text/text_between.h"
#include "gui/controls/controls.h"
#include "gui/secondary_windows/batch_window.h"
#include "gui/shell/main_window.h"
#include "gui/voice/voice.h"
#include "lookup/lookup_paths.h"
#include "support/browser.h"
#include "support/demo_sites.h"
#include "support/lookup_window.h"
#include "support/main_window_controls.h"
#include "support/wait.h"

namespace quarvel {
namespace {

using testing::WaitFor;

class LookupTest : public testing::LookupWindowTest {
 protected:
  QString LastCue() const { return ui->CuePlayer->Url().section('/', -1); }
  bool Shown(QWidget* w) const { return !w->isHidden(); }
};

TEST_F(LookupTest, StartUpParksTheBrowsersAndChangesNoRegistryHere) {
  EXPECT_EQ(ui->WarrantyBrowser->url().toString(), window->config().WarrantyPageUrl());
  EXPECT_EQ(ui->LookupBrowser->url().toString(), "http://" + window->config().portalHost);
  EXPECT_EQ(LastCue(), QStringLiteral("欢迎使用.mp3"));
  // The warranty page over https with the demo's own certificate loads (loopback only).
  EXPECT_TRUE(WaitFor(
      [&] {
        return testing::EvalInPage(ui->WarrantyBrowser,
                                   "document.body ? document.body.innerText : ''")
            .toString()
            .contains(QStringLiteral("请输入产品的序列号"));
      },
      15000));
}

TEST_F(LookupTest, AnEmptyEntryOnlySaysSo) {
  ui->CuePlayer->Play(QString());
  Query(QString(), false);
  EXPECT_EQ(window->Status(), QStringLiteral("什么都不输入 查个PP啊"));
  EXPECT_TRUE(ui->CuePlayer->Url().isEmpty());
  EXPECT_FALSE(ui->LookupResultTimer->isActive());
  EXPECT_FALSE(ui->WarrantyFormTimer->isActive());
  EXPECT_FALSE(Shown(ui->BusyAnimation));
}

TEST_F(LookupTest, ComprehensiveQueryShowsTheHandsetPictureAndParksTheBrowser) {
  ui->SerialInput->setText(QStringLiteral("C39XK0ABHG7F  "));
  ui->SerialInput->setFocus();
  QTest::keyClick(ui->SerialInput, Qt::Key_Return);  // Enter runs the query
  EXPECT_EQ(TimerInterval(ui->LookupResultTimer), 200);
  EXPECT_TRUE(Shown(ui->BusyAnimation));
  EXPECT_TRUE(Shown(ui->BusyLabel));
  EXPECT_FALSE(Shown(ui->ResultPicture));
  EXPECT_EQ(ui->LookupBrowser->url().path(), QStringLiteral("/index.php/iphone/C39XK0ABHG7F"));

  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(LastCue(), QStringLiteral("查询成功.mp3"));
  EXPECT_FALSE(ui->LookupResultTimer->isActive());
  EXPECT_FALSE(Shown(ui->BusyAnimation));
  EXPECT_TRUE(Shown(ui->ResultPicture));
  EXPECT_TRUE(Shown(ui->WatermarkLabel));
  EXPECT_TRUE(Shown(ui->ScreenshotButton));
  EXPECT_EQ(ui->ResultPicture->pixmap().size(), QSize(352, 152));
  QFile file(DataFilePath(kHandsetPictureFile));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(SniffPicture(file.readAll()), PictureFormat::Jpeg);
  EXPECT_TRUE(file.fileName().startsWith(data.path()));
  EXPECT_EQ(ui->LookupBrowser->url().toString(), "http://" + window->config().portalHost);

  // The finished lookup is in the history that quarvel-cli reads.
  const std::vector<HistoryRecord> recorded = History(DataFolder()).Newest(1);
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].source, HistorySource::Window);
  EXPECT_EQ(recorded[0].entry, QStringLiteral("C39XK0ABHG7F"));
  EXPECT_EQ(recorded[0].path, QStringLiteral("comprehensive"));
  EXPECT_EQ(recorded[0].outcome, QStringLiteral("found"));
  EXPECT_EQ(recorded[0].check, QStringLiteral("ok"));
}

// The batch window's engines are its own: the main window looks up on its
// browsers meanwhile, and both end as they would alone.
TEST_F(LookupTest, TheMainWindowLooksUpWhileABatchRuns) {
  const QUrl lookupPage = ui->LookupBrowser->url();
  BatchWindow batch(window->config(), DataFolder(), {});
  batch.setAttribute(Qt::WA_DeleteOnClose, false);
  batch.ListInput->setPlainText(QStringLiteral("F17ZP1QWN73D\nDNPQ2LL8JCLM\nNOTKNOWN1234"));
  batch.OfficialOption->setChecked(true);
  QSignalSpy ended(&batch, &BatchWindow::BatchFinished);
  batch.StartBatch();
  ASSERT_TRUE(batch.Running());
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(ui->ModelLabel), QStringLiteral("产品型号：iPhone 14 Pro"));
  ASSERT_TRUE(WaitFor([&] { return !ended.isEmpty(); }, 60000));
  EXPECT_EQ(ended.first().first().toInt(), 0);
  QStringList outcomes;
  for (int row = 0; row < batch.results().rowCount(); ++row)
    outcomes << batch.results().index(row, BatchResults::Outcome).data().toString();
  EXPECT_EQ(outcomes, (QStringList{"found", "found", "rejected"}));
  // The comprehensive browser was never asked.
  EXPECT_EQ(ui->LookupBrowser->url().host(), lookupPage.host());
  EXPECT_FALSE(ui->LookupBrowser->url().path().startsWith(QStringLiteral("/index.php")));
}

TEST_F(LookupTest, NotFoundKeepsThePageAndBothMarkersCountAsSuccess) {
  Query(QStringLiteral("UNKNOWN12345"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("抱歉，没有找到此系列号相关信息")));
  EXPECT_EQ(LastCue(), QStringLiteral("查询失败.mp3"));
  EXPECT_TRUE(ui->LookupBrowser->url().path().startsWith("/index.php/iphone/"));
  EXPECT_FALSE(Shown(ui->ResultPicture));
  EXPECT_FALSE(Shown(ui->BusyLabel));
}

TEST_F(LookupTest, APageHoldingBothMarkersIsASuccess) {
  sites.OverrideLookup("/index.php/iphone/BOTH", "<p>抱歉，没有找到</p><p>查找结果</p>");
  Query(QStringLiteral("BOTH"), false);
  // The demo has no picture for it: the mended failure report.
  ASSERT_TRUE(WaitForStatus(QStringLiteral("图片获取失败")));
  EXPECT_EQ(LastCue(), QStringLiteral("查询失败.mp3"));
}

TEST_F(LookupTest, AFailedPictureFetchIsReportedAndLeavesTheOldPictureFile) {
  QFile old(DataFilePath(kHandsetPictureFile));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("previous");
  old.close();
  sites.OverrideLookup("/index.php/iphone/NOPIC", "<h1>查找结果</h1>");
  Query(QStringLiteral("NOPIC"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("图片获取失败")));
  EXPECT_FALSE(ui->LookupResultTimer->isActive());
  EXPECT_FALSE(Shown(ui->BusyAnimation));
  EXPECT_FALSE(Shown(ui->ScreenshotButton));
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("previous"));
  // The result page does not stay in the lookup browser.
  ASSERT_TRUE(WaitFor([&] {
    return ui->LookupBrowser->url().toString() == "http://" + window->config().portalHost;
  }));
}

TEST_F(LookupTest, AnEmptyLookupPageMeansTheEntryWasWrong) {
  sites.OverrideLookup("/index.php/iphone/EMPTY", "<html><body></body></html>");
  Query(QStringLiteral("EMPTY"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("请正确输入")));
  EXPECT_EQ(LastCue(), QStringLiteral("请正确输入.mp3"));
  EXPECT_FALSE(ui->LookupResultTimer->isActive());
}

// A read that fails is no empty page: a huge result page and a page that
// never stops navigating are polled on until they are readable or the
// deadline ends the query; "请正确输入" stays for a page that is empty.
TEST_F(LookupTest, APageThatKeepsReloadingTimesOut) {
  LookupTimings timings = ShortTimings();
  sites.OverrideLookup("/index.php/iphone/AWAY",
                       "<!DOCTYPE html><html><body><script>location.reload()</script>"
                       "<p>正在跳转</p></body></html>");
  timings.lookupTimeoutMs = 2500;
  Open(timings);
  Query(QStringLiteral("AWAY"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询超时，请重试"), 15000))
      << window->Status().toStdString();
}

TEST_F(LookupTest, APathWithoutResultTimesOutAndSaysSo) {
  sites.OverrideLookup("/index.php/iphone/SLOW", "<p>loading…</p>");
  LookupTimings timings = ShortTimings();
  timings.lookupTimeoutMs = timings.warrantyTimeoutMs = 1500;
  Open(timings);
  Query(QStringLiteral("SLOW"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询超时，请重试"), 10000));
  EXPECT_FALSE(ui->LookupResultTimer->isActive());
  EXPECT_FALSE(Shown(ui->BusyAnimation));
  EXPECT_FALSE(Shown(ui->BusyLabel));
  EXPECT_EQ(LastCue(), QStringLiteral("查询失败.mp3"));

  // The warranty path: a site that never shows the form.
  sites.OverrideWarrantyPage("<!DOCTYPE html><html><body><p>maintenance</p></body></html>");
  ui->WarrantyBrowser->setHtml(QStringLiteral("<p>maintenance</p>"));
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  window->SetStatus(QString());
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询超时，请重试"), 10000));
  EXPECT_FALSE(ui->WarrantyFormTimer->isActive());
  EXPECT_FALSE(ui->WarrantyResultTimer->isActive());
}

TEST_F(LookupTest, AnUnreachableLookupSiteEndsInAFailureNotASuccess) {
  Config config = sites.MakeConfig();
  config.lookupHost = QStringLiteral("127.0.0.1:9");
  Open({200, 300, 200, 300, 3000, 3000}, config);
  Query(QStringLiteral("C39XK0ABHG7F"), false);
  // Port 9 is one the browser refuses to ask: the site is named at once.
  ASSERT_TRUE(WaitFor(
      [&] { return window->Status() == QStringLiteral("无法连接网站，请检查网络"); }, 15000))
      << window->Status().toStdString();
  EXPECT_FALSE(ui->LookupResultTimer->isActive());
}

// The demo's warranty pages are written as the maker's site is today:
// indented, a site search box (type=search) before the serial field, a keyup
// handler that puts a counter in front of the field, and a server that takes
// the serial only once the field's own blur handler has run.
TEST_F(LookupTest, OfficialQueryFillsTheFormAndShowsModelSerialAndWarrantyEnd) {
  ASSERT_TRUE(WaitFor([&] {
    return testing::EvalInPage(ui->WarrantyBrowser,
                               "[...document.querySelectorAll('input')].map(e => e.type).join()")
               .toString() == QStringLiteral("search,hidden,hidden,text,submit");
  }));
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  EXPECT_EQ(TimerInterval(ui->WarrantyFormTimer), 300);
  EXPECT_FALSE(Shown(ui->ScreenshotButton));
  EXPECT_TRUE(Shown(ui->BusyLabel));
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(ui->ModelLabel), QStringLiteral("产品型号：iPhone 14 Pro"));
  EXPECT_EQ(Caption(ui->SerialLabel), QStringLiteral("系列号：C39XK0ABHG7F"));
  EXPECT_EQ(Caption(ui->WarrantyEndLabel), QStringLiteral("保修截止：2027年3月18日"));
  for (QWidget* w :
       {static_cast<QWidget*>(ui->ModelLabel), static_cast<QWidget*>(ui->SerialLabel),
        static_cast<QWidget*>(ui->WarrantyEndLabel), static_cast<QWidget*>(ui->CopyButton),
        static_cast<QWidget*>(ui->MonthTableButton)})
    EXPECT_TRUE(Shown(w)) << w->objectName().toStdString();
  EXPECT_FALSE(Shown(ui->BusyAnimation));
  EXPECT_FALSE(ui->WarrantyFormTimer->isActive());
  EXPECT_FALSE(ui->WarrantyResultTimer->isActive());
  EXPECT_EQ(LastCue(), QStringLiteral("查询成功.mp3"));
  EXPECT_EQ(ui->WarrantyBrowser->url().toString(), window->config().WarrantyPageUrl());

  // A second query finds the form again.
  window->SetStatus(QString());
  Query(QStringLiteral("F17ZP1QWN73D"), true);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(ui->ModelLabel), QStringLiteral("产品型号：iPhone 13"));
}

TEST_F(LookupTest, RejectedSerialsInEitherWordingEndTheQuery) {
  for (const QString& serial : {QStringLiteral("12"), QStringLiteral("UNKNOWN12345")}) {
    window->SetStatus(QString());
    Query(serial, true);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("请正确输入"))) << serial.toStdString();
    EXPECT_EQ(LastCue(), QStringLiteral("请正确输入.mp3"));
    EXPECT_FALSE(Shown(ui->ModelLabel));
    EXPECT_FALSE(Shown(ui->BusyAnimation));
    EXPECT_FALSE(ui->WarrantyResultTimer->isActive());
    // The browser keeps the rejection page.
    EXPECT_EQ(QUrlQuery(ui->WarrantyBrowser->url()).queryItemValue("r"), "warrantyResult");
  }
}

TEST_F(LookupTest, TheSerialIsReadWhenTheTickActsNotWhenTheQueryStarted) {
  LookupTimings timings = ShortTimings();
  timings.formPollMs = 1500;
  Open(timings);
  Query(QStringLiteral("UNKNOWN12345"), true);
  ui->SerialInput->setText(QStringLiteral("DNPQ2LL8JCLM"));
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(ui->ModelLabel), QStringLiteral("产品型号：iPhone 12 mini"));
  EXPECT_EQ(Caption(ui->SerialLabel), QStringLiteral("系列号：DNPQ2LL8JCLM"));
}

TEST_F(LookupTest, AResultPageMissingACutMarkerStillSucceedsWithThePrefixAlone) {
  ui->WarrantyBrowser->setHtml(QStringLiteral(
      "<p>请输入产品的序列号</p><input id=a><input id=b>"
      "<button onclick=\"document.body.innerHTML='<p>预计到期日：2030年1月1日</p>'\">go</button>"));
  ASSERT_TRUE(WaitFor([&] {
    return testing::EvalInPage(ui->WarrantyBrowser, "document.body.innerText")
        .toString()
        .contains(QStringLiteral("请输入产品的序列号"));
  }));
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(ui->ModelLabel), QStringLiteral("产品型号："));
  EXPECT_EQ(Caption(ui->WarrantyEndLabel), QStringLiteral("保修截止："));
}

TEST_F(LookupTest, QueryingAgainWhilePendingStartsThePathAfresh) {
  LookupTimings timings = ShortTimings();
  timings.formPollMs = 60000;
  Open(timings);
  Query(QStringLiteral("C39XK0ABHG7F"), true);  // pending on its slow form timer
  Query(QStringLiteral("F17ZP1QWN73D"), false);
  EXPECT_TRUE(ui->WarrantyFormTimer->isActive());  // the other path is not stopped
  Query(QStringLiteral("F17ZP1QWN73D"), false);
  EXPECT_EQ(window->Status(), QString());
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_TRUE(Shown(ui->ResultPicture));
  EXPECT_FALSE(Shown(ui->BusyAnimation));
}

TEST_F(LookupTest, TheHiddenTestButtonShowsAndStoresTheSamplePicture) {
  ui->ImageTestButton->click();
  EXPECT_FALSE(ui->ResultPicture->pixmap().isNull());
  QFile file(DataFilePath(kSamplePictureFile));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(SniffPicture(file.readAll()), PictureFormat::Png);
}

TEST_F(LookupTest, ComprehensiveQueryWithTheRealPeriods) {
  Open(LookupTimings{});
  Query(QStringLiteral("356789104523673"), false);  // returns after the 3000 ms pause
  EXPECT_EQ(TimerInterval(ui->LookupResultTimer), 1000);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功"), 10000));
}

TEST_F(LookupTest, OfficialQueryWithTheRealPeriods) {
  Open(LookupTimings{});
  Query(QStringLiteral("356789104523673"), true);
  EXPECT_EQ(TimerInterval(ui->WarrantyFormTimer), 10000);
  QTest::qWait(9000);
  EXPECT_TRUE(window->Status().isEmpty());  // the first form tick is ten seconds away
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功"), 10000));
  EXPECT_EQ(Caption(ui->ModelLabel), QStringLiteral("产品型号：iPhone 15"));
}

}  // namespace
}  // namespace quarvel
