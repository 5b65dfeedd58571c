// The main window as laid out, and its lifecycle handlers.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMovie>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include "gui/controls/controls.h"
#include "gui/secondary_windows/about_window.h"
#include "gui/secondary_windows/month_table_window.h"
#include "gui/shell/main_window.h"
#include "gui/shell/menu_commands.h"
#include "support/main_window_controls.h"
#include "support/offline_config.h"
#include "support/recording_platform.h"
#include "support/wait.h"

namespace quarvel {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<MainWindow>(testing::OfflineConfig());
    ui = std::make_unique<testing::MainWindowControls>(*window);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  QWidget* Find(const char* name) { return window->findChild<QWidget*>(QString::fromUtf8(name)); }
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<testing::MainWindowControls> ui;
};

struct Expected {
  const char* name;
  const char* parent;
  QRect geometry;
  bool shown;
};

TEST_F(MainWindowTest, EveryControlHasItsLayoutGeometryParentAndInitialVisibility) {
  const Expected controls[] = {
      {"透明标签1", "client", {8, 16, 48, 24}, true},
      {"编辑框1", "client", {64, 9, 128, 24}, true},
      {"按钮1", "client", {200, 2, 64, 32}, true},
      {"单选框1", "client", {48, 43, 88, 16}, true},
      {"单选框2", "client", {144, 44, 80, 16}, true},
      {"分组框1", "client", {-2, 80, 384, 143}, true},
      {"按钮5", "client", {184, 224, 80, 24}, false},
      {"按钮3", "client", {264, 223, 80, 24}, false},
      {"按钮4", "client", {264, 224, 80, 24}, false},
      {"状态条1", "client", {0, 234, 487, 20}, true},
      {"按钮2", "client", {440, 304, 80, 32}, true},
      {"WebBrowser1", "client", {784, 216, 100, 100}, true},
      {"WebBrowser2", "client", {504, -8, 432, 416}, true},
      {"产品型号", "分组框1", {24, 16, 152, 24}, false},
      {"系列号", "分组框1", {24, 56, 248, 32}, false},
      {"保修截止", "分组框1", {24, 101, 208, 24}, false},
      {"图片框2", "分组框1", {112, 56, 144, 16}, false},
      {"透明标签2", "分组框1", {135, 79, 121, 16}, false},
      {"图片框1", "分组框1", {0, 5, 352, 152}, true},
      {"透明标签3", "图片框1", {24, 32, 104, 80}, false},
      {"播放器1", "图片框1", {152, 64, 100, 100}, false},
  };
  for (const Expected& control : controls) {
    SCOPED_TRACE(control.name);
    QWidget* widget = Find(control.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromUtf8(control.parent));
    EXPECT_EQ(widget->geometry(), control.geometry);
    EXPECT_EQ(!widget->isHidden(), control.shown);
  }
  // The test button and both browsers lie beyond the window's right edge.
  const int clientWidth = window->centralWidget()->width();
  for (const char* outside : {"按钮2", "WebBrowser1", "WebBrowser2"}) {
    EXPECT_GE(Find(outside)->x(), clientWidth) << outside;
  }
}

TEST_F(MainWindowTest, CaptionsColoursStatusPanelsAndTimersStartAsLaidOut) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarvel by：tal"));
  EXPECT_EQ(window->frameGeometry().size(), QSize(382, 340));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // fixed frame

  EXPECT_EQ(Caption(ui->SerialPromptLabel), QStringLiteral("系列号："));
  EXPECT_TRUE(ui->SerialInput->text().isEmpty());
  EXPECT_EQ(ui->QueryButton->text(), QStringLiteral("查询"));
  EXPECT_TRUE(ui->ComprehensiveQueryRadio->isChecked());
  EXPECT_FALSE(ui->OfficialQueryRadio->isChecked());
  EXPECT_EQ(ui->CopyButton->text(), QStringLiteral("复制信息"));
  EXPECT_EQ(ui->ScreenshotButton->text(), QStringLiteral("截图"));
  EXPECT_EQ(ui->MonthTableButton->text(), QStringLiteral("月份对照"));
  EXPECT_TRUE(ui->ImageTestButton->text().isEmpty());
  EXPECT_EQ(Caption(ui->BusyLabel), QStringLiteral("正在查询!请稍候...."));
  EXPECT_EQ(Caption(ui->WatermarkLabel), QStringLiteral("信息来至 \r\n\r\ntal Quarvel"));
  EXPECT_TRUE(ui->ResultPicture->pixmap().isNull());

  EXPECT_TRUE(ui->SerialPromptLabel->styleSheet().contains("rgb(255, 168, 255)"));
  for (QLabel* yellow : {ui->ModelLabel, ui->SerialLabel, ui->WarrantyEndLabel, ui->BusyLabel}) {
    EXPECT_TRUE(yellow->styleSheet().contains("rgb(255, 255, 0)"))
        << yellow->objectName().toStdString();
  }
  EXPECT_TRUE(ui->WatermarkLabel->styleSheet().contains("rgb(255, 0, 0)"));

  EXPECT_EQ(ui->StatusBar->panel0->text(), QStringLiteral("状态："));
  EXPECT_EQ(ui->StatusBar->panel0->width(), 50);
  EXPECT_EQ(ui->StatusBar->panel1->width(), 2600);
  EXPECT_TRUE(window->Status().isEmpty());

  for (QTimer* timer : {ui->LookupResultTimer, ui->WarrantyResultTimer, ui->WarrantyFormTimer}) {
    EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString();
    EXPECT_EQ(TimerInterval(timer), 0);
  }
  EXPECT_EQ(ui->LookupResultTimer->objectName(), QStringLiteral("时钟1"));
  EXPECT_EQ(ui->WarrantyResultTimer->objectName(), QStringLiteral("时钟2"));
  EXPECT_EQ(ui->WarrantyFormTimer->objectName(), QStringLiteral("时钟3"));
}

TEST_F(MainWindowTest, MenusHoldTheirItemsInOrder) {
  const auto menus = window->menuBar()->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("菜单"));
  EXPECT_EQ(menus[1]->text(), QStringLiteral("帮助"));
  QStringList first, second;
  for (QAction* a : ui->MainMenu->actions()) first << a->text();
  for (QAction* a : ui->HelpMenu->actions()) second << a->text();
  // The history and batch windows' entries follow the menu's own four.
  EXPECT_EQ(first, (QStringList{"关闭语音", "开启语音", "重启", "退出", "查询记录", "批量查询"}));
  EXPECT_EQ(second, (QStringList{"使用说明", "关于"}));
  for (QAction* a : ui->MainMenu->actions() + ui->HelpMenu->actions()) {
    EXPECT_TRUE(a->shortcut().isEmpty());
    EXPECT_FALSE(a->isChecked());
    EXPECT_TRUE(a->isEnabled());
  }
}

TEST_F(MainWindowTest, TabOrderFollowsTheLayoutAndEveryCaptionIsAnAccessibleName) {
  QList<QWidget*> chain;
  QWidget* w = ui->SerialInput;
  do {
    if (w->focusPolicy() & Qt::TabFocus) chain << w;
    w = w->nextInFocusChain();
  } while (w != ui->SerialInput);
  QStringList names;
  for (QWidget* c : chain) {
    if (c->window() == window.get() && !c->objectName().isEmpty() &&
        !c->objectName().startsWith("qt_"))
      names << c->objectName();
  }
  const QStringList expected{"编辑框1", "按钮1", "单选框1", "单选框2",     "按钮5",      "按钮3",
                             "按钮4",   "按钮2", "播放器1", "WebBrowser1", "WebBrowser2"};
  QStringList ordered;
  for (const QString& n : names)
    if (expected.contains(n) && !ordered.contains(n)) ordered << n;
  EXPECT_EQ(ordered, expected);

  EXPECT_EQ(ui->SerialInput->accessibleName(), QStringLiteral("系列号："));
}

TEST_F(MainWindowTest, ResultButtonsAreOnTopOfTheStatusBarWhereTheyOverlapIt) {
  for (QPushButton* button : {ui->CopyButton, ui->ScreenshotButton, ui->MonthTableButton}) {
    button->show();
    // The lower edge of each button lies over the status bar.
    const QPoint lower(button->geometry().center().x(), button->geometry().bottom() - 2);
    EXPECT_EQ(window->centralWidget()->childAt(lower), button) << button->text().toStdString();
    button->hide();
  }
}

TEST_F(MainWindowTest, ScreenReadersSeeEveryControlUnderItsCaption) {
  const std::pair<QWidget*, QString> controls[] = {{ui->QueryButton, "查询"},
                                                   {ui->ComprehensiveQueryRadio, "综合查询"},
                                                   {ui->OfficialQueryRadio, "官网查询"},
                                                   {ui->CopyButton, "复制信息"},
                                                   {ui->ScreenshotButton, "截图"},
                                                   {ui->MonthTableButton, "月份对照"},
                                                   {ui->SerialInput, "系列号："},
                                                   {ui->SerialPromptLabel, "系列号："}};
  for (const auto& [widget, caption] : controls) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr) << caption.toStdString();
    EXPECT_EQ(accessible->text(QAccessible::Name), caption);
  }
  QAccessibleInterface* button = QAccessible::queryAccessibleInterface(ui->QueryButton);
  ASSERT_NE(button->actionInterface(), nullptr);
  EXPECT_TRUE(
      button->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
}

TEST_F(MainWindowTest, TheStatusBarIsAStatusBarReadAsItsCurrentMessage) {
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(Find("状态条1"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->role(), QAccessible::StatusBar);

  window->SetStatus(QStringLiteral("正在查询"));
  window->SetStatus(QStringLiteral("复制成功"));
  QLabel* message = nullptr;
  for (QLabel* panel : Find("状态条1")->findChildren<QLabel*>())
    if (panel->text() == QStringLiteral("复制成功")) message = panel;
  ASSERT_NE(message, nullptr);
  QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(message);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->text(QAccessible::Name), QStringLiteral("复制成功"));
  EXPECT_EQ(bar->text(QAccessible::Name), QStringLiteral("状态：复制成功"));
  window->SetStatus({});
  EXPECT_EQ(panel->text(QAccessible::Name), QString());

  // Result labels read as their current caption, never as a fixed name.
  SetCaption(ui->ModelLabel, QStringLiteral("产品型号：iPhone 14 Pro"));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(ui->ModelLabel)->text(QAccessible::Name),
            QStringLiteral("产品型号：iPhone 14 Pro"));
  ui->ScreenshotButton->setText(QStringLiteral("截屏"));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(ui->ScreenshotButton)->text(QAccessible::Name),
            QStringLiteral("截屏"));
}

TEST_F(MainWindowTest, EndKeyMovesFocusToScreenshotButtonWithoutConsumingTheKey) {
  ui->ScreenshotButton->show();  // as after a lookup-site result
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  ui->SerialInput->setFocus();
  ui->SerialInput->setText(QStringLiteral("ABC"));
  ui->SerialInput->setCursorPosition(0);

  QTest::keyClick(ui->SerialInput, Qt::Key_Home);
  EXPECT_TRUE(ui->SerialInput->hasFocus());  // other keys leave the focus alone
  // '#' has character code 35, the key code of End: it is typed, nothing more.
  QTest::keyClick(ui->SerialInput, '#');
  EXPECT_TRUE(ui->SerialInput->hasFocus());
  EXPECT_EQ(ui->SerialInput->text(), QStringLiteral("#ABC"));
  ui->SerialInput->setText(QStringLiteral("ABC"));
  ui->SerialInput->setCursorPosition(0);

  QTest::keyClick(ui->SerialInput, Qt::Key_End);
  EXPECT_TRUE(ui->ScreenshotButton->hasFocus());
  EXPECT_EQ(ui->SerialInput->cursorPosition(), 3);  // the edit box still saw End

  QTest::keyClick(ui->ScreenshotButton, Qt::Key_End);
  EXPECT_TRUE(ui->ScreenshotButton->hasFocus());
}

TEST_F(MainWindowTest, MovingDocksBothSecondaryWindowsAndShiftsTheAboutWindowOnce) {
  window->move(300, 200);
  OnAbout(*window);
  OnMonthTableClick(*window);
  ASSERT_TRUE(window->aboutWindow && window->monthTableWindow);
  const int width = window->frameGeometry().width();
  EXPECT_EQ(window->aboutWindow->frameGeometry().topLeft(), QPoint(300 - 232 + 10, 313));
  EXPECT_EQ(window->monthTableWindow->frameGeometry().topLeft(), QPoint(300 + width - 20, 70));

  window->move(305, 207);
  EXPECT_EQ(window->aboutWindow->frameGeometry().topLeft(), QPoint(305 - 232 + 20, 320));
  EXPECT_EQ(window->monthTableWindow->frameGeometry().topLeft(), QPoint(305 + width - 20, 77));

  window->move(295, 100);
  EXPECT_EQ(window->aboutWindow->frameGeometry().topLeft(), QPoint(295 - 232 + 20, 213));
  // Docked 130 higher it would stand at -30, its title bar off the screen: it
  // stops at the top edge.
  EXPECT_EQ(window->monthTableWindow->frameGeometry().topLeft(), QPoint(295 + width - 20, 0));
}

TEST_F(MainWindowTest, MovingNeverOpensAClosedSecondaryWindow) {
  OnMonthTableClick(*window);
  window->monthTableWindow->MonthOkButton->click();
  ASSERT_TRUE(testing::WaitFor([&] { return window->monthTableWindow.isNull(); }));
  window->move(120, 140);
  EXPECT_TRUE(window->monthTableWindow.isNull());
  EXPECT_TRUE(window->aboutWindow.isNull());
  for (QWidget* top : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(top->isVisible() && top->objectName() == "MonthTableWindow");
  }
}

TEST(MainWindowStart, CreationAsksThePlatformOnceToSilenceTheNavigationClick) {
  auto seen = std::make_shared<testing::PlatformLog>();
  MainWindow window(testing::OfflineConfig(), testing::RecordingPlatformServices(seen));
  const testing::MainWindowControls ui(window);
  EXPECT_EQ(seen->silenceRequests, 0);
  window.OnCreated();
  EXPECT_EQ(seen->silenceRequests, 1);
}

TEST_F(MainWindowTest, ClosingWhileTimersRunEndsTheEventLoopWithExitCodeZero) {
  ui->LookupResultTimer->start(1000);
  ui->WarrantyFormTimer->start(10000);
  ui->WarrantyResultTimer->start(1000);
  QTimer::singleShot(0, window.get(), [this] { window->close(); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(MainWindowTest, BusyAnimationIsALoopingGifOfThirtyFramesAndTheCursorHasItsHotSpot) {
  QMovie* movie = ui->BusyAnimation->movie();
  ASSERT_NE(movie, nullptr);
  EXPECT_EQ(movie->fileName(), QStringLiteral(":/layout/busy.gif"));
  QImageReader reader(movie->fileName());
  EXPECT_EQ(reader.imageCount(), 30);
  EXPECT_EQ(reader.loopCount(), -1);  // forever
  for (int frame = 0; frame < 30; ++frame) {
    const QImage image = reader.read();
    EXPECT_EQ(image.size(), QSize(214, 15));
    EXPECT_EQ(reader.nextImageDelay(), 80) << frame;
  }

  const QCursor cursor = LayoutCursor();
  EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
  EXPECT_EQ(cursor.hotSpot(), QPoint(9, 5));
  EXPECT_EQ(ui->SerialInput->cursor().hotSpot(), QPoint(9, 5));
  EXPECT_EQ(ui->CopyButton->cursor().shape(), Qt::PointingHandCursor);
}

}  // namespace
}  // namespace quarvel
