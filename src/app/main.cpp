#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "base/config/config.h"
#include "base/config/display_check.h"
#include "base/config/logging.h"
#include "base/config/quiet_output.h"
#include "base/config/start_state.h"
#include "base/files/run_directory.h"
#include "base/files/safe_file.h"
#include "gui/sharing/selection_state.h"
#include "gui/shell/desktop_identity.h"
#include "gui/shell/main_window.h"

namespace {

QString Environment(const char* name) { return qEnvironmentVariable(name); }

// The toolkit ends the process when its window platform does not start, as
// when DISPLAY names a display that does not answer: said as the program's
// own error instead of an abort.
QtMessageHandler toolkitHandler = nullptr;

void PlatformStartHandler(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
  if (type != QtFatalMsg) return toolkitHandler(type, context, message);
  const QString display = qEnvironmentVariableIsEmpty("DISPLAY")
                              ? qEnvironmentVariable("WAYLAND_DISPLAY")
                              : qEnvironmentVariable("DISPLAY");
  std::fprintf(stderr, "quarvel: no display: the window platform could not open '%s'\n",
               display.toLocal8Bit().constData());
  std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  // The command line is read before the application object exists, so that
  // --help, --version and a bad option need no display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const quarvel::ConfigResult loaded = quarvel::LoadConfig(arguments, Environment);
  if (!loaded.config) {
    std::fputs(loaded.message.toLocal8Bit().constData(), loaded.exitCode ? stderr : stdout);
    return loaded.exitCode;
  }
  if (const QString problem = quarvel::NoDisplayProblem(arguments, Environment);
      !problem.isEmpty()) {
    std::fprintf(stderr, "quarvel: no display: %s\n", problem.toLocal8Bit().constData());
    return 1;
  }
  if (const QString problem = quarvel::EngineStartProblem(); !problem.isEmpty()) {
    std::fprintf(stderr, "quarvel: %s\n", problem.toLocal8Bit().constData());
    return 1;
  }
  quarvel::RememberStart(arguments.mid(1));  // before anything changes the environment

  quarvel::QuietToolkitOutput();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  toolkitHandler = qInstallMessageHandler(PlatformStartHandler);
  QApplication app(argc, argv);
  qInstallMessageHandler(toolkitHandler);
  quarvel::ApplyDesktopIdentity();
  quarvel::LoadToolkitTranslations();
  qCDebug(quarvel::lcApp) << "assets in" << quarvel::RunDirectory();

  quarvel::ResetSelectionState();
  quarvel::MainWindow window(*loaded.config);
  window.show();
  window.OnCreated();
  if (qEnvironmentVariableIsSet("QUARVEL_REPORT_SHOWN")) {
    // For the start-up benchmark: the moment the window is on screen.
    QTimer::singleShot(0, [] { std::puts("quarvel: main window shown"), std::fflush(stdout); });
  }
  if (!loaded.screenshotPath.isEmpty()) {
    QTimer::singleShot(3000, [&] {
      // Encoded as the name's suffix says (PNG without one).
      const QString suffix = QFileInfo(loaded.screenshotPath).suffix();
      QByteArray bytes;
      QBuffer buffer(&bytes);
      buffer.open(QIODevice::WriteOnly);
      const bool saved =
          window.grab().save(&buffer, suffix.isEmpty() ? "PNG" : suffix.toLatin1().constData()) &&
          quarvel::ReplaceFile(loaded.screenshotPath, bytes);
      std::printf(saved ? "quarvel: screenshot saved to %s\n" : "quarvel: could not write %s\n",
                  loaded.screenshotPath.toLocal8Bit().constData());
      std::fflush(stdout);
      QCoreApplication::exit(saved ? 0 : 1);
    });
  }
  return QApplication::exec();
}
