#include "base/files/run_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quarvel {
namespace {

QString WithoutTrailingSeparator(QString dir) {
  while (dir.size() > 1 && dir.endsWith('/')) dir.chop(1);
  return dir;
}

// Either asset is enough: a folder with only the cues still beats one without.
bool HoldsAssets(const QString& dir) {
  return QFileInfo(dir + QStringLiteral("/魔兽争霸.she")).isFile() ||
         QFileInfo(dir + QStringLiteral("/mp3")).isDir();
}

}  // namespace

QString AssetDirectoryFor(const QString& executableDir) {
  const QString beside = WithoutTrailingSeparator(executableDir);
  if (HoldsAssets(beside)) return beside;
  const QString shared = QDir::cleanPath(beside + QStringLiteral("/../share/quarvel"));
  if (HoldsAssets(shared)) return shared;
  return beside;
}

QString RunDirectory() { return AssetDirectoryFor(QCoreApplication::applicationDirPath()); }

QString RunPath(const QString& literal) {
  QString relative = literal;
  relative.replace('\\', '/');
  return QDir::toNativeSeparators(RunDirectory() + relative);
}

}  // namespace quarvel
