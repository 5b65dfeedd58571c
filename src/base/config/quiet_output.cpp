#include "base/config/quiet_output.h"

#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstring>
#include <mutex>

#include "platform/system/process.h"

namespace quarvel {
namespace {

QtMessageHandler previousHandler = nullptr;
ToolkitRepeats repeats;

void FilteringHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const QString platform = qGuiApp ? QGuiApplication::platformName() : QString();
  if (IsToolkitNoise(type, context.category, message, platform)) return;
  if (repeats.IsRepeat(context.category, message)) return;
  previousHandler(type, context, message);
}

}  // namespace

bool IsToolkitNoise(QtMsgType type, const char* category, const QString& message,
                    const QString& platform) {
  if (!category || std::strcmp(category, "default") != 0) return false;
  if (type == QtInfoMsg) return message == QLatin1String("Sandboxing disabled by user.");
  if (type != QtWarningMsg) return false;
  if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return true;
  if (platform != QLatin1String("offscreen")) return false;
  const QString text = message.trimmed();
  return text.startsWith(QLatin1String("WebEngineContext used before")) ||
         text == QLatin1String("No suitable graphics backend found") ||
         text == QLatin1String("This plugin does not support propagateSizeHints()");
}

bool ToolkitRepeats::IsRepeat(const char* category, const QString& message) {
  if (!category || std::strncmp(category, "qt.multimedia", 13) != 0) return false;
  const QString key = QLatin1String(category) + QLatin1Char('\n') + message;
  const std::lock_guard lock(mutex_);
  if (seen_.contains(key)) return true;
  if (seen_.size() < kMaxKept) seen_.insert(key);
  return false;
}

QString RootSandboxProblem(bool root, bool sandboxDisabled, const QString& engineFlags) {
  if (!root || sandboxDisabled) return {};
  if (engineFlags.split(QLatin1Char(' '), Qt::SkipEmptyParts)
          .contains(QLatin1String("--no-sandbox")))
    return {};
  return QStringLiteral(
      "the embedded browser does not run as root with its sandbox on; run the program as a "
      "normal user, or set QTWEBENGINE_DISABLE_SANDBOX=1 to run the browser without it");
}

QString EngineStartProblem() {
  return RootSandboxProblem(system::RunningAsRoot(),
                            qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"),
                            qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS"));
}

void QuietToolkitOutput() {
  if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", kDefaultEngineFlags);
  // Rules from QT_LOGGING_RULES are applied after these and win.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\njs=false"));
  if (!previousHandler) previousHandler = qInstallMessageHandler(FilteringHandler);
}

}  // namespace quarvel
