// The about and month table windows: texts, docking, badge and chat links.
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

}  // namespace
}  // namespace quarvel
