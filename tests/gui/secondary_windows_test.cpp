// The about and month table windows: texts, docking (the main window's start
// position, title bars kept on the screen), badge and chat links.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>

#include <atomic>

#include "gui/controls/controls.h"
#include "gui/secondary_windows/about_window.h"
#include "gui/secondary_windows/docking.h"
#include "gui/secondary_windows/month_table_window.h"
#include "support/local_server.h"
#include "support/text_codec.h"
#include "support/wait.h"

namespace quarvel {
namespace {

TEST(MonthTable, TextIsTheExact206ByteGbkTable) {
  const QByteArray gbk = ToGbk(MonthTableText());
  ASSERT_EQ(gbk.size(), 206);
  EXPECT_TRUE(
      gbk.startsWith(QByteArray("January \xD2\xBB 1\xD4\xC2\r\n\r\nFebruary \xA1\xAA 2\xD4\xC2")));
  EXPECT_TRUE(gbk.endsWith(QByteArray("\r\n\r\nDecember \xA1\xAA 12\xD4\xC2 ")));
  EXPECT_EQ(gbk.count("\r\n\r\n"), 11);
  EXPECT_EQ(gbk.count("\xA1\xAA"), 11);  // em dash on rows 2 to 12
  EXPECT_FALSE(gbk.endsWith("\r\n"));
}

TEST(MonthTable, DocksAtTheTopRightOfTheMainWindowWithoutClamping) {
  EXPECT_EQ(MonthTableDock(QRect(300, 200, 400, 340)), QPoint(680, 70));
  EXPECT_EQ(MonthTableDock(QRect(300, 100, 400, 340)).y(), -30);

  MonthTableWindow window;
  window.OnCreated(QRect(300, 200, 400, 340));
  window.show();
  EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(680, 70));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("月份对照"));
  EXPECT_EQ(window.frameGeometry().size(), QSize(210, 474));
  EXPECT_EQ(window.MonthTableLabel->geometry(), QRect(16, 8, 144, 384));
  EXPECT_EQ(Caption(window.MonthTableLabel), MonthTableText());
  EXPECT_TRUE(window.MonthTableLabel->font().bold());
  EXPECT_EQ(window.MonthTableLabel->font().pixelSize(), 16);
  EXPECT_EQ(window.MonthOkButton->text(), QStringLiteral("确定"));
  // All twenty-three lines fit the label above the button.
  EXPECT_LE(window.MonthTableLabel->sizeHint().height(), 384);
}

TEST(MonthTable, OkButtonDestroysTheWindow) {
  QPointer<MonthTableWindow> window = new MonthTableWindow;
  window->show();
  window->MonthOkButton->click();
  EXPECT_TRUE(testing::WaitFor([&] { return window.isNull(); }));
}

TEST(About, TextHasFiveLinesEachFollowedByABlankLine) {
  Config config;
  config.imAccount = "123";
  config.email = "a@b.c";
  config.address = "某地";
  EXPECT_EQ(AboutText(config),
            QStringLiteral("Quarvel \r\n\r\n作者：tal\r\n\r\nQQ：123\r\n\r\n邮箱：a@b.c\r\n\r\n"
                           "地址：某地\r\n\r\n"));
}

class AboutWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.server().Get(R"(/im/status/(\d+)\.png)",
                        [this](const httplib::Request&, httplib::Response& res) {
                          ++badgeRequests;
                          QImage image(120, 28, QImage::Format_RGB32);
                          image.fill(Qt::green);
                          QByteArray png;
                          QBuffer buffer(&png);
                          buffer.open(QIODevice::WriteOnly);
                          image.save(&buffer, "PNG");
                          res.set_content(png.toStdString(), "image/png");
                        });
    server.server().Get(R"(/.*)", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html><body>portal</body></html>", "text/html");
    });
    server.Start();
    config.portalHost = server.Host();
  }
  testing::LocalServer server;
  std::atomic<int> badgeRequests{0};
  Config config;
};

TEST_F(AboutWindowTest, CreationDocksWithTenPixelsOverlapAndFetchesTheBadgeBeforeReturning) {
  EXPECT_EQ(AboutDock(QRect(300, 200, 382, 340), 232, 10), QPoint(78, 313));
  AboutWindow window(config);
  window.OnCreated(QRect(300, 200, 382, 340));
  // The fetch is synchronous: the badge is there as soon as creation returns.
  EXPECT_EQ(badgeRequests.load(), 1);
  EXPECT_FALSE(window.ContactBadge->pixmap().isNull());
  window.show();
  EXPECT_EQ(window.frameGeometry().topLeft(), QPoint(78, 313));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("tal-关于"));
  EXPECT_EQ(window.frameGeometry().size(), QSize(232, 230));
  EXPECT_EQ(window.ChatBrowser->url().toString(), "http://" + server.Host());
  EXPECT_GE(window.ChatBrowser->x(), window.width());  // never seen
}

TEST_F(AboutWindowTest, ChatButtonAndBadgeOpenTheChatLinks) {
  config.portalHost = QStringLiteral("127.0.0.1:9");  // badge fetch fails fast: stays empty
  AboutWindow window(config);
  window.OnCreated(QRect(300, 200, 382, 340));
  EXPECT_TRUE(window.ContactBadge->pixmap().isNull());
  window.show();
  window.ChatButton->click();
  EXPECT_EQ(window.ChatBrowser->url(), QUrl(config.ChatLink()));
  QTest::mouseDClick(window.ContactBadge, Qt::LeftButton);
  EXPECT_EQ(window.ChatBrowser->url(), QUrl(config.SecondChatLink().trimmed()));
  window.ChatBrowser->setUrl(QUrl("about:blank"));
  QTest::mousePress(window.ContactBadge, Qt::LeftButton);
  EXPECT_EQ(window.ChatBrowser->url(), QUrl(config.ChatLink()));
}

// The main window's place at start, on screens of several kinds: the about
// window (at both of its overlaps) and the month table lie wholly on the
// available area.
TEST(DockedWindows, StartPositionKeepsThemOnTheAvailableArea) {
  const QRect screens[] = {
      {0, 0, 1280, 1024}, {0, 0, 1920, 1080},    {0, 0, 1920, 1040},  // a task bar below
      {0, 27, 1280, 997}, {1920, 0, 1280, 1024},  // a panel above; a second screen
      {0, 0, 800, 600},   {0, 0, 1024, 768},
  };
  const QSize main(382, 340);  // the main window's outer size
  for (const QRect& available : screens) {
    const QRect frame(StartPosition(available, main), main);
    const QRect month(MonthTableDock(frame), kMonthTableFrame);
    EXPECT_TRUE(available.contains(frame)) << available.x() << "," << available.width();
    EXPECT_TRUE(available.contains(month)) << available.x() << "," << available.width();
    for (const int overlap : {10, 20})
      EXPECT_TRUE(available.contains(QRect(AboutDock(frame, 232, overlap), kAboutFrame)))
          << available.x() << "," << available.width() << " overlap " << overlap;
  }
  // Where there is room, 50 pixels in: the month table's top, the about window's left.
  const QPoint at = StartPosition(QRect(0, 0, 1280, 1024), main);
  EXPECT_EQ(MonthTableDock(QRect(at, main)).y(), 50);
  EXPECT_EQ(AboutDock(QRect(at, main), 232, 10).x(), 50);
}

TEST(DockedWindows, AMoveKeepsTheirTitleBarsReachable) {
  const QRect screen(0, 0, 1280, 1024);
  struct Case {
    QRect frame;
    QPoint expected;
  };
  const Case cases[] = {
      {{100, 200, 210, 474}, {100, 200}},    // on the screen: where docked
      {{100, -30, 210, 474}, {100, 0}},      // above: down to the top edge
      {{-172, 313, 232, 230}, {-132, 313}},  // 60 pixels in: 100 of its title bar
      {{1200, 70, 210, 474}, {1180, 70}},    // off the right edge
      {{500, 1010, 232, 230}, {500, 1000}},  // below: its title bar back up
      {{1250, 70, 50, 474}, {1230, 70}},     // narrower than 100: all of it
  };
  for (const Case& c : cases)
    EXPECT_EQ(KeepTitleBarReachable(c.frame, 24, screen), c.expected) << c.frame.x();
}

}  // namespace
}  // namespace quarvel
