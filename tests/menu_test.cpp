// Menu commands: restart, exit, instructions, about.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "app/start_state.h"
#include "support/offline_config.h"
#include "support/wait.h"
#include "system/menu_commands.h"
#include "system/voice.h"
#include "windows/about_window.h"

namespace quarvel {
namespace {

TEST(Menu, RestartLaunchesTheRunningExecutableWithItsStartArgumentsThenCloses) {
  MainWindow window(testing::OfflineConfig());
  window.show();
  const QStringList started{"--lookup-host", "127.0.0.1:28080", "-platform", "offscreen"};
  RememberStart(started);
  QStringList programs;
  QList<QStringList> arguments;
  window.launcher = [&](const QString& program, const QStringList& args) {
    programs << program;
    arguments << args;
    return true;
  };
  QTimer::singleShot(0, &window, [&] { window.RestartItem->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);  // the old instance ends with 0
  EXPECT_EQ(programs, QStringList{QCoreApplication::applicationFilePath()});
  EXPECT_EQ(arguments, QList<QStringList>{started});
  EXPECT_FALSE(window.isVisible());
}

TEST(Menu, RestartClosesEvenWhenTheLaunchFails) {
  MainWindow window(testing::OfflineConfig());
  window.show();
  window.launcher = [](const QString&, const QStringList&) { return false; };
  QTimer::singleShot(0, &window, [&] { window.RestartItem->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST(Menu, TheDefaultLauncherReallyStartsAProgramAndDoesNotWait) {
  MainWindow window(testing::OfflineConfig());
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(window.launcher(QStringLiteral("/bin/sleep"), {"3"}));
  EXPECT_FALSE(window.launcher(QStringLiteral("/nonexistent/quarvel"), {}));
  EXPECT_LT(clock.elapsed(), 2000);
}

TEST(Menu, ExitEndsWithZero) {
  MainWindow window(testing::OfflineConfig());
  window.show();
  QTimer::singleShot(0, &window, [&] { window.ExitItem->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST(Menu, InstructionsPlaysTheSpokenInstructionsAndShowsNothing) {
  MainWindow window(testing::OfflineConfig());
  window.InstructionsItem->trigger();
  EXPECT_TRUE(window.CuePlayer->Url().endsWith(QStringLiteral("/mp3/使用说明.mp3")));
  EXPECT_TRUE(window.Status().isEmpty());
  for (QWidget* top : QApplication::topLevelWidgets())
    EXPECT_FALSE(top->isVisible() && top != &window) << top->objectName().toStdString();
}

TEST(Menu, AboutOpensOneDockedWindow) {
  MainWindow window(testing::OfflineConfig());
  window.move(300, 200);
  window.show();
  window.AboutItem->trigger();
  ASSERT_TRUE(window.aboutWindow);
  EXPECT_TRUE(window.aboutWindow->isVisible());
  EXPECT_EQ(window.aboutWindow->frameGeometry().topLeft(), QPoint(78, 313));
  AboutWindow* first = window.aboutWindow;
  window.AboutItem->trigger();
  EXPECT_EQ(window.aboutWindow.data(), first);
}

}  // namespace
}  // namespace quarvel
