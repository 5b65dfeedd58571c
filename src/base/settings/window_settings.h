#pragma once

// What the program keeps between starts for its windows: the user's own
// settings of "quarvel" ($XDG_CONFIG_HOME/quarvel/quarvel.conf; on Windows
// the registry under HKEY_CURRENT_USER\Software\quarvel).
#include <QByteArray>
#include <QString>

namespace quarvel {

// The geometry a window saved last (QWidget::saveGeometry); empty when none.
QByteArray SavedWindowGeometry(const QString& window);
void SaveWindowGeometry(const QString& window, const QByteArray& geometry);

}  // namespace quarvel
