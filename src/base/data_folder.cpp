#include "base/data_folder.h"

#include <QDir>
#include <QStandardPaths>

namespace quarvel {

QString DataFolder() {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  const QString folder = base + QStringLiteral("/quarvel");
  QDir().mkpath(folder);
  return folder;
}

}  // namespace quarvel
