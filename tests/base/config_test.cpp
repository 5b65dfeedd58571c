// Hosts from the command line, the environment and the compiled-in defaults.
#include <gtest/gtest.h>

#include <QMap>

#include "base/config/config.h"
#include "base/config/display_check.h"
#include "base/files/run_directory.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace quarvel {
namespace {

ConfigResult Load(const QStringList& options, const QMap<QString, QString>& environment = {}) {
  return LoadConfig(QStringList{"quarvel"} + options,
                    [&](const char* name) { return environment.value(QString::fromLatin1(name)); });
}

TEST(Config, DefaultsPointAtTheBundledDemoSiteOnLoopback) {
  const ConfigResult result = Load({});
  ASSERT_TRUE(result.config);
  EXPECT_TRUE(result.config->lookupHost.startsWith("127.0.0.1:"));
  EXPECT_TRUE(result.config->warrantyHost.startsWith("127.0.0.1:"));
  EXPECT_TRUE(result.config->portalHost.startsWith("127.0.0.1:"));
  EXPECT_EQ(result.config->WarrantyPageUrl(),
            "https://" + result.config->warrantyHost +
                "/pages/pod.jsp?r=agreementWarrantyDynamic.do&lang=cn");
  EXPECT_TRUE(result.config->StatusImage().startsWith("http://" + result.config->portalHost));
  EXPECT_TRUE(result.config->SecondChatLink().startsWith(' '));
}

TEST(Config, AnOptionBeatsTheEnvironmentWhichBeatsTheDefault) {
  const QMap<QString, QString> env{{"QUARVEL_LOOKUP_HOST", "env.example:81"},
                                   {"QUARVEL_WARRANTY_HOST", "warranty.example"},
                                   {"QUARVEL_PORTAL_HOST", "portal.example"}};
  const ConfigResult result =
      Load({"--lookup-host", "cli.example:8080", "--portal-host=127.0.0.1:7000"}, env);
  ASSERT_TRUE(result.config);
  EXPECT_EQ(result.config->lookupHost, "cli.example:8080");
  EXPECT_EQ(result.config->warrantyHost, "warranty.example");
  EXPECT_EQ(result.config->portalHost, "127.0.0.1:7000");
}

TEST(Config, BadHostsAndUnknownOptionsAreRefusedWithAMessage) {
  for (const QString bad : {"http://x", "x/path", "x:0", "x:70000", "a b", "-x", "x:"}) {
    const ConfigResult result = Load({"--lookup-host", bad});
    EXPECT_FALSE(result.config) << bad.toStdString();
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.message.contains(bad));
  }
  const ConfigResult fromEnv = Load({}, {{"QUARVEL_PORTAL_HOST", "bad host"}});
  EXPECT_FALSE(fromEnv.config);
  EXPECT_EQ(Load({"--no-such-option"}).exitCode, 2);
}

TEST(Config, HelpAndVersionPrintAndStop) {
  const ConfigResult help = Load({"--help"});
  EXPECT_FALSE(help.config);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.message.contains("--warranty-host"));
  EXPECT_TRUE(help.message.contains("QUARVEL_PORTAL_HOST"));
  const ConfigResult version = Load({"--version"});
  EXPECT_FALSE(version.config);
  EXPECT_TRUE(version.message.startsWith("quarvel " QUARVEL_VERSION));
}

// The window's start without a display: what the toolkit would try, and
// whether that has a display to reach.
TEST(Config, NoDisplayIsToldBeforeTheToolkitTries) {
  const struct {
    QStringList arguments;
    QMap<QString, QString> environment;
    const char* problem;  // empty: the window may start
  } cases[] = {
      {{}, {}, "neither DISPLAY nor WAYLAND_DISPLAY is set"},
      {{}, {{"DISPLAY", ":0"}}, ""},
      {{}, {{"WAYLAND_DISPLAY", "wayland-0"}}, ""},
      {{}, {{"QT_QPA_PLATFORM", "offscreen"}}, ""},
      {{}, {{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "w"}}, "DISPLAY is not set"},
      {{}, {{"QT_QPA_PLATFORM", "wayland-egl"}}, "WAYLAND_DISPLAY is not set"},
      {{}, {{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":1"}}, ""},
      {{}, {{"QT_QPA_PLATFORM", "xcb:nograb"}, {"DISPLAY", ":1"}}, ""},
      {{"-platform", "offscreen"}, {}, ""},
      {{"--platform=xcb"}, {{"QT_QPA_PLATFORM", "offscreen"}}, "DISPLAY is not set"},
      {{"-display", ":2"}, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString() + " " +
                 QStringList(c.environment.keys()).join(' ').toStdString());
    const QString problem = NoDisplayProblem(
        QStringList{"quarvel"} + c.arguments,
        [&](const char* name) { return c.environment.value(QString::fromLatin1(name)); });
    if (*c.problem == 0)
      EXPECT_EQ(problem, QString());
    else
      EXPECT_TRUE(problem.contains(QLatin1String(c.problem))) << problem.toStdString();
  }
}

TEST(RunDirectory, PathsAreBuiltFromTheExecutablesDirectoryAndTheLiteral) {
  EXPECT_FALSE(RunDirectory().endsWith('/'));
  EXPECT_EQ(RunPath(QStringLiteral("\\mp3\\欢迎使用.mp3")),
            QCoreApplication::applicationDirPath() + QStringLiteral("/mp3/欢迎使用.mp3"));
  EXPECT_TRUE(QFile::exists(RunPath(QStringLiteral("\\mp3\\欢迎使用.mp3"))));
  EXPECT_TRUE(QFile::exists(RunPath(QStringLiteral("\\魔兽争霸.she"))));
}

}  // namespace
}  // namespace quarvel
