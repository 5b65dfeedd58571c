// Menu commands: restart, exit, instructions, about.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "base/config/start_state.h"
#include "gui/secondary_windows/about_window.h"
#include "gui/shell/main_window.h"
#include "gui/shell/menu_commands.h"
#include "gui/voice/voice.h"
#include "support/main_window_controls.h"
#include "support/offline_config.h"
#include "support/wait.h"

namespace quarvel {
namespace {

TEST(Menu, RestartLaunchesTheRunningExecutableWithItsStartArgumentsThenCloses) {
  const QStringList started{"--lookup-host", "127.0.0.1:28080", "-platform", "offscreen"};
  RememberStart(started);
  QStringList programs;
  QList<QStringList> arguments;
  WindowServices services;
  services.launcher = [&](const QString& program, const QStringList& args) {
    programs << program;
    arguments << args;
    return true;
  };
  MainWindow window(testing::OfflineConfig(), services);
  const testing::MainWindowControls ui(window);
  window.show();
  QTimer::singleShot(0, &window, [&] { ui.RestartItem->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);  // the old instance ends with 0
  EXPECT_EQ(programs, QStringList{QCoreApplication::applicationFilePath()});
  EXPECT_EQ(arguments, QList<QStringList>{started});
  EXPECT_FALSE(window.isVisible());
}

TEST(Menu, RestartClosesEvenWhenTheLaunchFails) {
  WindowServices services;
  services.launcher = [](const QString&, const QStringList&) { return false; };
  MainWindow window(testing::OfflineConfig(), services);
  const testing::MainWindowControls ui(window);
  window.show();
  QTimer::singleShot(0, &window, [&] { ui.RestartItem->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST(Menu, TheDefaultLauncherReallyStartsAProgramAndDoesNotWait) {
  MainWindow window(testing::OfflineConfig());
  const testing::MainWindowControls ui(window);
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(window.services().launcher(QStringLiteral("/bin/sleep"), {"3"}));
  EXPECT_FALSE(window.services().launcher(QStringLiteral("/nonexistent/quarvel"), {}));
  EXPECT_LT(clock.elapsed(), 2000);
}

TEST(Menu, ExitEndsWithZero) {
  MainWindow window(testing::OfflineConfig());
  const testing::MainWindowControls ui(window);
  window.show();
  QTimer::singleShot(0, &window, [&] { ui.ExitItem->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST(Menu, InstructionsPlaysTheSpokenInstructionsAndShowsNothing) {
  MainWindow window(testing::OfflineConfig());
  const testing::MainWindowControls ui(window);
  ui.InstructionsItem->trigger();
  EXPECT_TRUE(ui.CuePlayer->Url().endsWith(QStringLiteral("/mp3/使用说明.mp3")));
  EXPECT_TRUE(window.Status().isEmpty());
  for (QWidget* top : QApplication::topLevelWidgets())
    EXPECT_FALSE(top->isVisible() && top != &window) << top->objectName().toStdString();
}

TEST(Menu, AboutOpensOneDockedWindow) {
  MainWindow window(testing::OfflineConfig());
  const testing::MainWindowControls ui(window);
  window.move(300, 200);
  window.show();
  ui.AboutItem->trigger();
  ASSERT_TRUE(window.aboutWindow);
  EXPECT_TRUE(window.aboutWindow->isVisible());
  EXPECT_EQ(window.aboutWindow->frameGeometry().topLeft(), QPoint(78, 313));
  AboutWindow* first = window.aboutWindow;
  ui.AboutItem->trigger();
  EXPECT_EQ(window.aboutWindow.data(), first);
}

}  // namespace
}  // namespace quarvel
