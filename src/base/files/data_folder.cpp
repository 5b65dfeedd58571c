#include "base/files/data_folder.h"

#include <QStandardPaths>

#include "base/config/logging.h"
#include "base/files/safe_file.h"

namespace quarvel {
namespace {

QString Location() {
  const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return base.isEmpty() ? QString() : base + QStringLiteral("/quarvel");
}

QString NoLocation() { return QStringLiteral("there is no data location: files are not written"); }

QString NotUsed(const QString& folder, const QString& reason) {
  return QStringLiteral("the data folder %1 is not used: %2").arg(folder, reason);
}

}  // namespace

QString DataFolder(QString* problem) {
  const QString folder = Location();
  QString reason;
  const QString message = folder.isEmpty()                        ? NoLocation()
                          : !EnsurePrivateFolder(folder, &reason) ? NotUsed(folder, reason)
                                                                  : QString();
  if (message.isEmpty()) return folder;
  if (problem)
    *problem = message;
  else
    qCWarning(lcFiles).noquote() << message;
  return {};
}

QString ExistingDataFolder(QString* problem) {
  const QString folder = Location();
  if (folder.isEmpty()) {
    *problem = NoLocation();
    return {};
  }
  QString reason;
  switch (CheckPrivateFolder(folder, &reason)) {
    case FolderCheck::Usable:
      return folder;
    case FolderCheck::Missing:
      return {};
    case FolderCheck::Unusable:
      break;
  }
  *problem = NotUsed(folder, reason);
  return {};
}

QString DataSubfolder(const QString& dataFolder, const QString& name, QString* problem) {
  if (dataFolder.isEmpty()) {
    *problem = QStringLiteral("there is no data folder for %1").arg(name);
    return {};
  }
  const QString folder = dataFolder + QLatin1Char('/') + name;
  QString reason;
  if (EnsurePrivateFolder(folder, &reason)) return folder;
  *problem = QStringLiteral("the folder %1 cannot be used: %2").arg(folder, reason);
  return {};
}

}  // namespace quarvel
