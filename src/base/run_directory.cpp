#include "base/run_directory.h"

#include <QCoreApplication>
#include <QDir>

namespace quarvel {

QString RunDirectory() {
  QString dir = QCoreApplication::applicationDirPath();
  while (dir.size() > 1 && dir.endsWith('/')) dir.chop(1);
  return dir;
}

QString RunPath(const QString& literal) {
  QString relative = literal;
  relative.replace('\\', '/');
  return QDir::toNativeSeparators(RunDirectory() + relative);
}

}  // namespace quarvel
