#include "base/data_folder.h"

#include <QStandardPaths>

#include "base/logging.h"
#include "base/safe_file.h"

namespace quarvel {

QString DataFolder() {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (base.isEmpty()) {
    qCWarning(lcFiles) << "no data location: files are not written";
    return {};
  }
  const QString folder = base + QStringLiteral("/quarvel");
  QString reason;
  if (!EnsurePrivateFolder(folder, &reason)) {
    qCWarning(lcFiles).noquote() << "the data folder" << folder << "is not used:" << reason;
    return {};
  }
  return folder;
}

}  // namespace quarvel
