#include "base/config/display_check.h"

namespace quarvel {
namespace {

// The value of the toolkit's option `name` ("-platform x", "--platform=x").
QString ToolkitOption(const QStringList& arguments, const QString& name) {
  QString value;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--")) break;
    for (const QString& dashes : {QStringLiteral("-"), QStringLiteral("--")}) {
      const QString option = dashes + name;
      if (argument == option && i + 1 < arguments.size())
        value = arguments[i + 1];
      else if (argument.startsWith(option + QLatin1Char('=')))
        value = argument.mid(option.size() + 1);
    }
  }
  return value;
}

}  // namespace

QString NoDisplayProblem(const QStringList& arguments,
                         const std::function<QString(const char*)>& environment) {
  QString platforms = ToolkitOption(arguments, QStringLiteral("platform"));
  if (platforms.isEmpty()) platforms = environment("QT_QPA_PLATFORM");
  const bool x11 = !environment("DISPLAY").isEmpty() ||
                   !ToolkitOption(arguments, QStringLiteral("display")).isEmpty();
  const bool wayland = !environment("WAYLAND_DISPLAY").isEmpty();
  const QStringList names = platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts);
  if (names.isEmpty())
    return x11 || wayland ? QString()
                          : QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
  QStringList missing;
  for (const QString& entry : names) {
    const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();  // "xcb:options"
    if (name == QLatin1String("xcb")) {
      if (x11) return {};
      missing.append(QStringLiteral("DISPLAY is not set for the platform xcb"));
    } else if (name.startsWith(QLatin1String("wayland"))) {
      if (wayland) return {};
      missing.append(QStringLiteral("WAYLAND_DISPLAY is not set for the platform %1").arg(name));
    } else {
      return {};  // a platform that needs no display server, or one not known here
    }
  }
  return missing.join(QStringLiteral("; "));
}

}  // namespace quarvel
