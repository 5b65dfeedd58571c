// Both lookups end to end: the real main window, real browsers, the demo site.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineView>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/picture.h"
#include "lookup/lookup_paths.h"
#include "lookup/query_command.h"
#include "lookup/text_between.h"
#include "support/browser.h"
#include "support/demo_sites.h"
#include "support/wait.h"
#include "system/registry.h"
#include "system/voice.h"

namespace quarvel {
namespace {

using testing::WaitFor;

TEST(LookupPaths, SpacesStayButStructuralCharactersAreEscaped) {
  Config config;
  config.lookupHost = "h:1";
  EXPECT_EQ(LookupPageUrl(config, TrimTrailingSpaces("  C39 X  ")),
            QStringLiteral("http://h:1/index.php/iphone/  C39 X"));
  EXPECT_EQ(EscapeSerial("a/b?c#d%e\tf\x7f"), QStringLiteral("a%2Fb%3Fc%23d%25e%09f%7F"));
  EXPECT_EQ(HandsetPictureUrl(config, "C39"),
            QStringLiteral("http://h:1/index.php/pic/iphone/C39.png"));
  EXPECT_EQ(SamplePictureUrl(config),
            QStringLiteral("http://h:1/index.php/pic/iphone/012758009896035.png"));
  EXPECT_EQ(TrimTrailingSpaces("   "), QString());
  EXPECT_EQ(TrimTrailingSpaces(" a\t "), QStringLiteral(" a\t"));
}

TEST(TextBetween, CutsBetweenTheFirstStartAndTheFirstEndAfterIt) {
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "XY", "ZZ"), QByteArray("def"));
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "QQ", "ZZ"), QByteArray());
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "XY", "QQ"), QByteArray());
  EXPECT_EQ(TextBetween(QByteArray("abcXYdefZZg"), "XY", "de"), QByteArray());
  EXPECT_EQ(TextBetween(QByteArray("ZZ a XY b ZZ XY c ZZ"), "XY", "ZZ"), QByteArray(" b "));
  EXPECT_EQ(TextBetween(QStringLiteral("型号>甲乙</SPAN>丙</SPAN>"), QStringLiteral("型号>"),
                        QStringLiteral("</SPAN>")),
            QStringLiteral("甲乙"));
}

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    window = std::make_unique<MainWindow>(sites.MakeConfig());
    // Shorter periods; the real ones are run by the *RealPeriods tests.
    window->timings.pauseMs = 300;
    window->timings.lookupPollMs = 200;
    window->timings.formPollMs = 300;
    window->timings.resultPollMs = 200;
    window->show();
    window->OnCreated();
  }

  void Query(const QString& serial, bool official) {
    (official ? window->OfficialQueryRadio : window->ComprehensiveQueryRadio)->setChecked(true);
    window->SerialInput->setText(serial);
    window->QueryButton->click();
  }

  bool WaitForStatus(const QString& status, int timeoutMs = 20000) {
    return WaitFor([&] { return window->Status() == status; }, timeoutMs);
  }

  QString LastCue() const { return window->CuePlayer->Url().section('/', -1); }
  bool Shown(QWidget* w) const { return !w->isHidden(); }

  testing::DemoSites sites;
  QTemporaryDir data;
  std::unique_ptr<MainWindow> window;
};

TEST_F(LookupTest, StartUpParksTheBrowsersAndChangesNoRegistryHere) {
  EXPECT_EQ(window->WarrantyBrowser->url().toString(), window->config().WarrantyPageUrl());
  EXPECT_EQ(window->LookupBrowser->url().toString(), "http://" + window->config().portalHost);
  EXPECT_EQ(LastCue(), QStringLiteral("欢迎使用.mp3"));
  // The warranty page over https with the demo's own certificate loads (loopback only).
  EXPECT_TRUE(WaitFor(
      [&] {
        return testing::EvalInPage(window->WarrantyBrowser,
                                   "document.body ? document.body.innerText : ''")
            .toString()
            .contains(QStringLiteral("请输入产品的序列号"));
      },
      15000));
}

TEST_F(LookupTest, StartUpSilencesTheNavigationSoundThroughTheRegistry) {
  auto registry = std::make_unique<MemoryRegistry>();
  registry->Set(RegistryApi::kCurrentUser,
                "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current",
                {"", 1, std::string("C:\\start.wav\0", 13)});
  MemoryRegistry* seen = registry.get();
  window->registry = std::move(registry);
  window->OnCreated();
  EXPECT_EQ(seen->Find(RegistryApi::kCurrentUser,
                       "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current", "")
                ->data,
            std::string("C:\\start.wav1\0", 14));
}

TEST_F(LookupTest, AnEmptyEntryOnlySaysSo) {
  window->CuePlayer->Play(QString());
  Query(QString(), false);
  EXPECT_EQ(window->Status(), QStringLiteral("什么都不输入 查个PP啊"));
  EXPECT_TRUE(window->CuePlayer->Url().isEmpty());
  EXPECT_FALSE(window->LookupResultTimer->isActive());
  EXPECT_FALSE(window->WarrantyFormTimer->isActive());
  EXPECT_FALSE(Shown(window->BusyAnimation));
}

TEST_F(LookupTest, ComprehensiveQueryShowsTheHandsetPictureAndParksTheBrowser) {
  window->SerialInput->setText(QStringLiteral("C39XK0ABHG7F  "));
  window->SerialInput->setFocus();
  QTest::keyClick(window->SerialInput, Qt::Key_Return);  // Enter runs the query
  EXPECT_EQ(TimerInterval(window->LookupResultTimer), 200);
  EXPECT_TRUE(Shown(window->BusyAnimation));
  EXPECT_TRUE(Shown(window->BusyLabel));
  EXPECT_FALSE(Shown(window->ResultPicture));
  EXPECT_EQ(window->LookupBrowser->url().path(), QStringLiteral("/index.php/iphone/C39XK0ABHG7F"));

  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(LastCue(), QStringLiteral("查询成功.mp3"));
  EXPECT_FALSE(window->LookupResultTimer->isActive());
  EXPECT_FALSE(Shown(window->BusyAnimation));
  EXPECT_TRUE(Shown(window->ResultPicture));
  EXPECT_TRUE(Shown(window->WatermarkLabel));
  EXPECT_TRUE(Shown(window->ScreenshotButton));
  EXPECT_EQ(window->ResultPicture->pixmap().size(), QSize(352, 152));
  QFile file(DataFilePath(kHandsetPictureFile));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(SniffPicture(file.readAll()), PictureFormat::Jpeg);
  EXPECT_TRUE(file.fileName().startsWith(data.path()));
  EXPECT_EQ(window->LookupBrowser->url().toString(), "http://" + window->config().portalHost);
}

TEST_F(LookupTest, NotFoundKeepsThePageAndBothMarkersCountAsSuccess) {
  Query(QStringLiteral("UNKNOWN12345"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("抱歉，没有找到此系列号相关信息")));
  EXPECT_EQ(LastCue(), QStringLiteral("查询失败.mp3"));
  EXPECT_TRUE(window->LookupBrowser->url().path().startsWith("/index.php/iphone/"));
  EXPECT_FALSE(Shown(window->ResultPicture));
  EXPECT_FALSE(Shown(window->BusyLabel));
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
  EXPECT_FALSE(window->LookupResultTimer->isActive());
  EXPECT_FALSE(Shown(window->BusyAnimation));
  EXPECT_FALSE(Shown(window->ScreenshotButton));
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("previous"));
}

TEST_F(LookupTest, AnEmptyLookupPageMeansTheEntryWasWrong) {
  sites.OverrideLookup("/index.php/iphone/EMPTY", "<html><body></body></html>");
  Query(QStringLiteral("EMPTY"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("请正确输入")));
  EXPECT_EQ(LastCue(), QStringLiteral("请正确输入.mp3"));
  EXPECT_FALSE(window->LookupResultTimer->isActive());
}

TEST_F(LookupTest, APathWithoutResultTimesOutAndSaysSo) {
  sites.OverrideLookup("/index.php/iphone/SLOW", "<p>loading…</p>");
  window->timings.lookupTimeoutMs = 1500;
  Query(QStringLiteral("SLOW"), false);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询超时，请重试"), 10000));
  EXPECT_FALSE(window->LookupResultTimer->isActive());
  EXPECT_FALSE(Shown(window->BusyAnimation));
  EXPECT_FALSE(Shown(window->BusyLabel));
  EXPECT_EQ(LastCue(), QStringLiteral("查询失败.mp3"));

  // The warranty path: a page that never shows the form.
  window->timings.warrantyTimeoutMs = 1500;
  window->WarrantyBrowser->setHtml(QStringLiteral("<p>maintenance</p>"));
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  window->SetStatus(QString());
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询超时，请重试"), 10000));
  EXPECT_FALSE(window->WarrantyFormTimer->isActive());
  EXPECT_FALSE(window->WarrantyResultTimer->isActive());
}

TEST_F(LookupTest, AnUnreachableLookupSiteEndsInAFailureNotASuccess) {
  Config config = sites.MakeConfig();
  config.lookupHost = QStringLiteral("127.0.0.1:9");
  window = std::make_unique<MainWindow>(config);
  window->timings = {200, 300, 200, 300, 3000, 3000};
  window->show();
  window->OnCreated();
  Query(QStringLiteral("C39XK0ABHG7F"), false);
  const QStringList failures{QStringLiteral("查询超时，请重试"), QStringLiteral("请正确输入")};
  ASSERT_TRUE(WaitFor([&] { return failures.contains(window->Status()); }, 15000))
      << window->Status().toStdString();
  EXPECT_FALSE(window->LookupResultTimer->isActive());
}

TEST_F(LookupTest, OfficialQueryFillsTheFormAndShowsModelSerialAndWarrantyEnd) {
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  EXPECT_EQ(TimerInterval(window->WarrantyFormTimer), 300);
  EXPECT_FALSE(Shown(window->ScreenshotButton));
  EXPECT_TRUE(Shown(window->BusyLabel));
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(window->ModelLabel), QStringLiteral("产品型号：iPhone 14 Pro"));
  EXPECT_EQ(Caption(window->SerialLabel), QStringLiteral("系列号：C39XK0ABHG7F"));
  EXPECT_EQ(Caption(window->WarrantyEndLabel), QStringLiteral("保修截止：2027年3月18日"));
  for (QWidget* w :
       {static_cast<QWidget*>(window->ModelLabel), static_cast<QWidget*>(window->SerialLabel),
        static_cast<QWidget*>(window->WarrantyEndLabel), static_cast<QWidget*>(window->CopyButton),
        static_cast<QWidget*>(window->MonthTableButton)})
    EXPECT_TRUE(Shown(w)) << w->objectName().toStdString();
  EXPECT_FALSE(Shown(window->BusyAnimation));
  EXPECT_FALSE(window->WarrantyFormTimer->isActive());
  EXPECT_FALSE(window->WarrantyResultTimer->isActive());
  EXPECT_EQ(LastCue(), QStringLiteral("查询成功.mp3"));
  EXPECT_EQ(window->WarrantyBrowser->url().toString(), window->config().WarrantyPageUrl());

  // A second query finds the form again.
  window->SetStatus(QString());
  Query(QStringLiteral("F17ZP1QWN73D"), true);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(window->ModelLabel), QStringLiteral("产品型号：iPhone 13"));
}

TEST_F(LookupTest, RejectedSerialsInEitherWordingEndTheQuery) {
  for (const QString& serial : {QStringLiteral("12"), QStringLiteral("UNKNOWN12345")}) {
    window->SetStatus(QString());
    Query(serial, true);
    ASSERT_TRUE(WaitForStatus(QStringLiteral("请正确输入"))) << serial.toStdString();
    EXPECT_EQ(LastCue(), QStringLiteral("请正确输入.mp3"));
    EXPECT_FALSE(Shown(window->ModelLabel));
    EXPECT_FALSE(Shown(window->BusyAnimation));
    EXPECT_FALSE(window->WarrantyResultTimer->isActive());
    // The browser keeps the rejection page.
    EXPECT_EQ(QUrlQuery(window->WarrantyBrowser->url()).queryItemValue("r"), "warrantyResult");
  }
}

TEST_F(LookupTest, TheSerialIsReadWhenTheTickActsNotWhenTheQueryStarted) {
  window->timings.formPollMs = 1500;
  Query(QStringLiteral("UNKNOWN12345"), true);
  window->SerialInput->setText(QStringLiteral("DNPQ2LL8JCLM"));
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(window->ModelLabel), QStringLiteral("产品型号：iPhone 12 mini"));
  EXPECT_EQ(Caption(window->SerialLabel), QStringLiteral("系列号：DNPQ2LL8JCLM"));
}

TEST_F(LookupTest, AResultPageMissingACutMarkerStillSucceedsWithThePrefixAlone) {
  window->WarrantyBrowser->setHtml(QStringLiteral(
      "<p>请输入产品的序列号</p><input id=a><input id=b>"
      "<button onclick=\"document.body.innerHTML='<p>预计到期日：2030年1月1日</p>'\">go</button>"));
  ASSERT_TRUE(WaitFor([&] {
    return testing::EvalInPage(window->WarrantyBrowser, "document.body.innerText")
        .toString()
        .contains(QStringLiteral("请输入产品的序列号"));
  }));
  Query(QStringLiteral("C39XK0ABHG7F"), true);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_EQ(Caption(window->ModelLabel), QStringLiteral("产品型号："));
  EXPECT_EQ(Caption(window->WarrantyEndLabel), QStringLiteral("保修截止："));
}

TEST_F(LookupTest, QueryingAgainWhilePendingStartsThePathAfresh) {
  window->timings.formPollMs = 60000;
  Query(QStringLiteral("C39XK0ABHG7F"), true);  // pending on its slow form timer
  Query(QStringLiteral("F17ZP1QWN73D"), false);
  EXPECT_TRUE(window->WarrantyFormTimer->isActive());  // the other path is not stopped
  Query(QStringLiteral("F17ZP1QWN73D"), false);
  EXPECT_EQ(window->Status(), QString());
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功")));
  EXPECT_TRUE(Shown(window->ResultPicture));
  EXPECT_FALSE(Shown(window->BusyAnimation));
}

TEST_F(LookupTest, TheHiddenTestButtonShowsAndStoresTheSamplePicture) {
  window->ImageTestButton->click();
  EXPECT_FALSE(window->ResultPicture->pixmap().isNull());
  QFile file(DataFilePath(kSamplePictureFile));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(SniffPicture(file.readAll()), PictureFormat::Png);
}

TEST_F(LookupTest, ComprehensiveQueryWithTheRealPeriods) {
  window->timings = LookupTimings{};
  Query(QStringLiteral("356789104523673"), false);  // returns after the 3000 ms pause
  EXPECT_EQ(TimerInterval(window->LookupResultTimer), 1000);
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功"), 10000));
}

TEST_F(LookupTest, OfficialQueryWithTheRealPeriods) {
  window->timings = LookupTimings{};
  Query(QStringLiteral("356789104523673"), true);
  EXPECT_EQ(TimerInterval(window->WarrantyFormTimer), 10000);
  QTest::qWait(9000);
  EXPECT_TRUE(window->Status().isEmpty());  // the first form tick is ten seconds away
  ASSERT_TRUE(WaitForStatus(QStringLiteral("查询成功"), 10000));
  EXPECT_EQ(Caption(window->ModelLabel), QStringLiteral("产品型号：iPhone 15"));
}

}  // namespace
}  // namespace quarvel
