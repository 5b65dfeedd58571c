// Start-up of an installed program: the command line before the display,
// the asset folder, the desktop identity, translations, quiet output and the
// program's own warnings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

#include "base/config/config.h"
#include "base/config/quiet_output.h"
#include "base/config/start_state.h"
#include "base/files/run_directory.h"
#include "base/net/http_fetch.h"
#include "gui/sharing/save_dialog.h"
#include "gui/shell/desktop_identity.h"
#include "gui/shell/skin.h"
#include "gui/voice/voice.h"
#include "support/wait.h"

namespace quarvel {
namespace {

ConfigResult Load(const QStringList& options) {
  return LoadConfig(QStringList{"/some/build/bin/quarvel"} + options,
                    [](const char*) { return QString(); });
}

TEST(CommandLine, ABadOptionIsNamedAsTypedAndEndsWithTwo) {
  const struct {
    QStringList options;
    const char* message;
  } cases[] = {
      {{"--no-such-option"}, "quarvel: unknown option '--no-such-option'; try --help\n"},
      {{"--no-such=1"}, "quarvel: unknown option '--no-such'; try --help\n"},
      {{"-x"}, "quarvel: unknown option '-x'; try --help\n"},
      {{"-hv"}, "quarvel: unknown option '-hv'; try --help\n"},
      {{"--lookup-host"}, "quarvel: missing value after '--lookup-host'; try --help\n"},
      {{"--version=2"}, "quarvel: unexpected value after '--version'; try --help\n"},
      {{"C39XK0ABHG7F"}, "quarvel: unexpected argument 'C39XK0ABHG7F'; try --help\n"},
      {{"--", "-x"}, "quarvel: unexpected argument '-x'; try --help\n"},
  };
  for (const auto& c : cases) {
    const ConfigResult result = Load(c.options);
    EXPECT_FALSE(result.config) << c.message;
    EXPECT_EQ(result.exitCode, 2) << c.message;
    EXPECT_EQ(result.message, QString::fromUtf8(c.message));
  }
}

TEST(CommandLine, HelpNamesTheProgramNotItsPath) {
  const ConfigResult help = Load({"-h"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.message.startsWith("Usage: quarvel [options]\n"));
  EXPECT_FALSE(help.message.contains("/some/build"));
  for (const char* option : {"--lookup-host", "--warranty-host", "--portal-host", "--screenshot",
                             "--version", "QUARVEL_LOOKUP_HOST"})
    EXPECT_TRUE(help.message.contains(option)) << option;
  EXPECT_EQ(Load({"-v"}).message, "quarvel " QUARVEL_VERSION "\n");
}

TEST(CommandLine, TheToolkitsOwnOptionsAreLeftToTheToolkit) {
  const ConfigResult result = Load(
      {"-platform", "offscreen", "--style=Fusion", "-reverse", "--lookup-host", "127.0.0.1:1234"});
  ASSERT_TRUE(result.config) << result.message.toStdString();
  EXPECT_EQ(result.config->lookupHost, "127.0.0.1:1234");
  // Help wins wherever it stands.
  EXPECT_FALSE(Load({"-platform", "offscreen", "--help"}).config);
}

TEST(AssetFolder, BesideTheExecutableThenInShareQuarvelThenBesideAllTheSame) {
  QTemporaryDir root;
  const QString bin = root.filePath("usr/bin");
  const QString shared = root.filePath("usr/share/quarvel");
  ASSERT_TRUE(QDir().mkpath(bin));
  EXPECT_EQ(AssetDirectoryFor(bin), bin);  // nothing anywhere

  ASSERT_TRUE(QDir().mkpath(shared + "/mp3"));
  EXPECT_EQ(AssetDirectoryFor(bin), shared);  // installed
  EXPECT_EQ(AssetDirectoryFor(bin + "/"), shared);

  QFile skin(bin + QStringLiteral("/魔兽争霸.she"));
  ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
  skin.close();
  EXPECT_EQ(AssetDirectoryFor(bin + "/"), bin);  // a build tree or a portable copy

  // A file named like the folder does not count.
  QTemporaryDir other;
  ASSERT_TRUE(QDir().mkpath(other.filePath("bin")));
  ASSERT_TRUE(QDir().mkpath(other.filePath("share")));
  QFile impostor(other.filePath("share/quarvel"));
  ASSERT_TRUE(impostor.open(QIODevice::WriteOnly));
  impostor.close();
  EXPECT_EQ(AssetDirectoryFor(other.filePath("bin")), other.filePath("bin"));
}

TEST(DesktopIdentity, NamesTheDesktopEntryAndGivesEveryWindowTheIcon) {
  ApplyDesktopIdentity();
  EXPECT_EQ(QGuiApplication::desktopFileName(), "org.quarvel.Quarvel");
  EXPECT_EQ(QCoreApplication::applicationName(), "quarvel");
  const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
  EXPECT_FALSE(QApplication::windowIcon().pixmap(48).isNull());
  QWidget window;
  EXPECT_FALSE(window.windowIcon().isNull());
}

// Records the messages sent while it lives.
class MessageLog {
 public:
  struct Entry {
    QtMsgType type;
    QString category;
    QString text;
  };
  MessageLog() {
    current = this;
    previous_ = qInstallMessageHandler(&MessageLog::Handle);
  }
  ~MessageLog() {
    qInstallMessageHandler(previous_);
    current = nullptr;
  }
  int Count(QtMsgType type, const QString& category, const QString& containing) const {
    int n = 0;
    for (const Entry& e : entries)
      if (e.type == type && e.category == category && e.text.contains(containing)) ++n;
    return n;
  }
  std::vector<Entry> entries;

 private:
  static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (current) current->entries.push_back({type, QString::fromLatin1(context.category), text});
  }
  static inline MessageLog* current = nullptr;
  QtMessageHandler previous_;
};

TEST(Translations, TheToolkitsDialogsSpeakChinese) {
  QTemporaryDir empty;
  {
    MessageLog log;
    EXPECT_FALSE(LoadToolkitTranslations(empty.path()));
    EXPECT_EQ(log.Count(QtWarningMsg, "quarvel.app", "qt6-translations-l10n"), 1);
  }
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qt_zh_CN.qm"))
    GTEST_SKIP() << "qt6-translations-l10n is not installed";
  ASSERT_TRUE(LoadToolkitTranslations());
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), "Look in:");
}

// Runs the platform save dialog, answers it at once and reports what it showed.
struct ShownDialog {
  QString directory;
  QString lookInLabel;
  QString acceptButton;
  QString proposedName;
};

ShownDialog ShowSaveDialog() {
  ShownDialog shown;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shown.directory = dialog->directory().absolutePath();
    if (auto* label = dialog->findChild<QLabel*>("lookInLabel")) shown.lookInLabel = label->text();
    if (auto* box = dialog->findChild<QDialogButtonBox*>("buttonBox"))
      if (QPushButton* accept = box->button(QDialogButtonBox::Save))
        shown.acceptButton = accept->text();
    if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
      shown.proposedName = name->text();
    dialog->reject();
  });
  PlatformSaveDialog dialog;
  EXPECT_FALSE(dialog.Ask(nullptr, {"保存截图", "PNG|*.png", 0, "tal Quarvel7"}));
  return shown;
}

// HOME pointed at a temporary folder for one test.
class TemporaryHome {
 public:
  TemporaryHome()
      : home_(qgetenv("HOME")),
        config_(qgetenv("XDG_CONFIG_HOME")),
        hadConfig_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    qputenv("HOME", dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(".config").toLocal8Bit());  // no user-dirs.dirs
  }
  ~TemporaryHome() {
    qputenv("HOME", home_);
    if (hadConfig_)
      qputenv("XDG_CONFIG_HOME", config_);
    else
      qunsetenv("XDG_CONFIG_HOME");
  }
  QTemporaryDir dir;

 private:
  QByteArray home_, config_;
  bool hadConfig_;
};

TEST(SaveDialog, OpensInThePicturesFolderOrAtHomeWithChineseButtons) {
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  LoadToolkitTranslations();
  TemporaryHome home;
  EXPECT_EQ(SaveDialogStartFolder(), home.dir.path());  // no Pictures folder yet
  EXPECT_EQ(ShowSaveDialog().directory, home.dir.path());

  ASSERT_TRUE(QDir(home.dir.path()).mkdir("Pictures"));
  EXPECT_EQ(SaveDialogStartFolder(), home.dir.filePath("Pictures"));
  const ShownDialog shown = ShowSaveDialog();
  EXPECT_EQ(shown.directory, home.dir.filePath("Pictures"));
  EXPECT_EQ(shown.proposedName, "tal Quarvel7");
  if (QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qt_zh_CN.qm")) {
    EXPECT_FALSE(shown.lookInLabel.isEmpty());
    EXPECT_NE(shown.lookInLabel, "Look in:");
    EXPECT_NE(QString(shown.acceptButton).remove(QLatin1Char('&')), "Save");
  }
}

TEST(QuietOutput, DropsOnlyTheToolkitsRemarksAboutTheEnvironment) {
  const QString offscreen = "offscreen", xcb = "xcb";
  EXPECT_TRUE(IsToolkitNoise(QtWarningMsg, "default",
                             "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/x'",
                             xcb));
  EXPECT_TRUE(IsToolkitNoise(QtInfoMsg, "default", "Sandboxing disabled by user.", xcb));
  EXPECT_TRUE(
      IsToolkitNoise(QtWarningMsg, "default", "No suitable graphics backend found\n", offscreen));
  EXPECT_TRUE(IsToolkitNoise(QtWarningMsg, "default",
                             "This plugin does not support propagateSizeHints()", offscreen));
  // Without OpenGL on a real display something is wrong: that stays.
  EXPECT_FALSE(IsToolkitNoise(QtWarningMsg, "default", "No suitable graphics backend found", xcb));
  EXPECT_FALSE(IsToolkitNoise(QtWarningMsg, "default",
                              "QStandardPaths: wrong permissions on runtime directory /tmp/x",
                              xcb));
  EXPECT_FALSE(IsToolkitNoise(QtWarningMsg, "quarvel.system", "Sandboxing disabled by user.", xcb));
  EXPECT_FALSE(IsToolkitNoise(QtCriticalMsg, "default", "Sandboxing disabled by user.", xcb));
  EXPECT_FALSE(IsToolkitNoise(QtWarningMsg, nullptr, "anything", xcb));
  EXPECT_TRUE(QByteArray(kDefaultEngineFlags).contains("--log-level=3"));
}

TEST(QuietOutput, TheMediaToolkitSaysEachThingOnce) {
  ToolkitRepeats repeats;
  const QString refused = "\"Failed to connect: Connection refused\"";
  EXPECT_FALSE(repeats.IsRepeat("qt.multimedia.player", refused));
  EXPECT_TRUE(repeats.IsRepeat("qt.multimedia.player", refused));
  EXPECT_FALSE(repeats.IsRepeat("qt.multimedia.player", "\"another failure\""));
  EXPECT_FALSE(repeats.IsRepeat("qt.multimedia.ffmpeg", refused));
  // Other categories, the program's own among them, are never cut short.
  EXPECT_FALSE(repeats.IsRepeat("quarvel.system", refused));
  EXPECT_FALSE(repeats.IsRepeat("quarvel.system", refused));
  EXPECT_FALSE(repeats.IsRepeat(nullptr, refused));
}

TEST(QuietOutput, RootWithTheBrowserSandboxOnIsSaidBeforeTheEngineEndsTheProcess) {
  EXPECT_TRUE(RootSandboxProblem(true, false, "").contains("QTWEBENGINE_DISABLE_SANDBOX=1"));
  EXPECT_FALSE(RootSandboxProblem(true, false, kDefaultEngineFlags).isEmpty());
  EXPECT_FALSE(RootSandboxProblem(true, false, "--no-sandboxes").isEmpty());
  EXPECT_TRUE(RootSandboxProblem(true, true, "").isEmpty());
  EXPECT_TRUE(RootSandboxProblem(true, false, "--log-level=3  --no-sandbox").isEmpty());
  EXPECT_TRUE(RootSandboxProblem(false, false, "").isEmpty());
}

TEST(Warnings, AMissingCueIsReportedOnceAndAPresentOneNotAtAll) {
  CuePlayerWidget player(nullptr);
  QTemporaryDir dir;
  const QString missing = dir.filePath(QStringLiteral("mp3/欢迎使用.mp3"));
  MessageLog log;
  player.Play(missing);
  player.Play(missing);
  player.Play(RunPath(cue::kWelcome));
  EXPECT_EQ(log.Count(QtWarningMsg, "quarvel.system", missing), 1);
  EXPECT_EQ(log.Count(QtWarningMsg, "quarvel.system", "mp3"), 1);
}

TEST(Warnings, AMissingOrBrokenSkinIsAWarningAndTheShippedOneIsQuiet) {
  QTemporaryDir dir;
  QFile broken(dir.filePath("broken.she"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("QWidget { color: red; ");
  broken.close();
  MessageLog log;
  EXPECT_FALSE(AttachSkin(dir.filePath("absent.she")));
  EXPECT_FALSE(AttachSkin(broken.fileName()));
  EXPECT_EQ(log.Count(QtWarningMsg, "quarvel.app", dir.filePath("absent.she")), 1);
  EXPECT_EQ(log.Count(QtWarningMsg, "quarvel.app", broken.fileName()), 1);
  const auto warnings = log.entries.size();
  EXPECT_TRUE(AttachSkin(RunPath(QStringLiteral("\\魔兽争霸.she"))));
  EXPECT_EQ(log.entries.size(), warnings);
  qApp->setStyleSheet(QString());
}

TEST(Warnings, AFailedFetchIsAWarningOfItsOwnCategory) {
  MessageLog log;
  EXPECT_TRUE(HttpGetBytes("http://127.0.0.1:9/nothing").isEmpty());
  EXPECT_EQ(log.Count(QtWarningMsg, "quarvel.fetch", "http://127.0.0.1:9/nothing"), 1);
}

TEST(Restart, TheLauncherRepeatsTheArgumentsInTheEnvironmentOfTheStart) {
  QTemporaryDir dir;
  const QString out = dir.filePath("seen");
  qputenv("QUARVEL_START_PROBE", "at start");
  RememberStart({"--lookup-host", "127.0.0.1:1234"});
  EXPECT_EQ(StartArguments(), (QStringList{"--lookup-host", "127.0.0.1:1234"}));
  qputenv("QUARVEL_START_PROBE", "changed later");
  qputenv("QUARVEL_START_ADDED", "added later");

  ASSERT_TRUE(StartDetached("/bin/sh", {"-c",
                                        "printf '%s|%s|%s|%s' \"$QUARVEL_START_PROBE\" "
                                        "\"${QUARVEL_START_ADDED-unset}\" \"$1\" \"$2\" > \"$0\"",
                                        out, "a b", "c"}));
  ASSERT_TRUE(testing::WaitFor([&] { return QFileInfo(out).size() > 0; }, 10000));
  QFile seen(out);
  ASSERT_TRUE(seen.open(QIODevice::ReadOnly));
  EXPECT_EQ(seen.readAll(), "at start|unset|a b|c");

  MessageLog log;
  EXPECT_FALSE(StartDetached("/nonexistent/quarvel", {}));
  EXPECT_EQ(log.Count(QtWarningMsg, "quarvel.app", "/nonexistent/quarvel"), 1);
  qunsetenv("QUARVEL_START_PROBE");
  qunsetenv("QUARVEL_START_ADDED");
}

}  // namespace
}  // namespace quarvel
