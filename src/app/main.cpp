#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/config.h"
#include "app/main_window.h"
#include "app/safe_file.h"
#include "share/selection_state.h"

namespace {

QString Environment(const char* name) { return qEnvironmentVariable(name); }

}  // namespace

int main(int argc, char** argv) {
  // The hidden browsers show small pages: one renderer process serves them all.
  if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--renderer-process-limit=1 --disable-background-networking");
  }
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quarvel"));
  QApplication::setApplicationVersion(QStringLiteral(QUARVEL_VERSION));

  const quarvel::ConfigResult loaded = quarvel::LoadConfig(app.arguments(), Environment);
  if (!loaded.config) {
    std::fputs(loaded.message.toLocal8Bit().constData(), loaded.exitCode ? stderr : stdout);
    return loaded.exitCode;
  }

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
