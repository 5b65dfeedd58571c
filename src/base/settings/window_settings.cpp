#include "base/settings/window_settings.h"

#include <QSettings>

namespace quarvel {
namespace {

QString Key(const QString& window) { return window + QStringLiteral("/geometry"); }

QSettings UserSettings() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("quarvel"),
                   QStringLiteral("quarvel"));
}

}  // namespace

QByteArray SavedWindowGeometry(const QString& window) {
  return UserSettings().value(Key(window)).toByteArray();
}

void SaveWindowGeometry(const QString& window, const QByteArray& geometry) {
  UserSettings().setValue(Key(window), geometry);
}

}  // namespace quarvel
