#include "base/files/safe_file.h"

#include <QDir>
#include <QFile>

#include "base/config/logging.h"
#include "platform/system/files.h"

namespace quarvel {
namespace {

constexpr qint64 kMaxReadBytes = 256 * 1024 * 1024;

QString Words(const std::string& text) { return QString::fromLocal8Bit(text); }

}  // namespace

system::Path SystemPath(const QString& path) {
#ifdef Q_OS_WIN
  return system::Path(path.toStdWString());
#else
  return system::Path(QFile::encodeName(path).toStdString());
#endif
}

bool ReplaceFile(const QString& path, const QByteArray& bytes) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const QString folder = slash < 0    ? QStringLiteral(".")
                         : slash == 0 ? QStringLiteral("/")
                                      : path.left(slash);
  const QString name = path.mid(slash + 1);
  if (path.isEmpty() || name.isEmpty() || name == QLatin1String(".") ||
      name == QLatin1String("..")) {
    qCWarning(lcFiles) << "not a file name:" << path;
    return false;
  }
  const system::ReplaceResult result = system::ReplaceContent(
      SystemPath(folder), SystemPath(name), std::string_view(bytes.constData(), bytes.size()));
  switch (result.stage) {
    case system::ReplaceStage::Replaced:
      return true;
    case system::ReplaceStage::NoFolder:
      qCWarning(lcFiles) << "cannot open the folder of" << path << ":" << Words(result.error);
      break;
    case system::ReplaceStage::NoTemporary:
      qCWarning(lcFiles) << "cannot create a file beside" << path << ":" << Words(result.error);
      break;
    case system::ReplaceStage::NotWritten:
      qCWarning(lcFiles) << "cannot write" << path << ":" << Words(result.error);
      break;
  }
  return false;
}

std::optional<QByteArray> ReadRegularFile(const QString& path) {
  std::optional<std::string> bytes = system::ReadRegularFile(SystemPath(path), kMaxReadBytes);
  if (!bytes) return std::nullopt;
  return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
}

bool EnsurePrivateFolder(const QString& folder, QString* reason) {
  if (folder.isEmpty()) {
    if (reason) *reason = QStringLiteral("no folder given");
    return false;
  }
  const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
  if (slash > 0) QDir().mkpath(folder.left(slash));
  std::string why;
  if (system::MakePrivateFolder(SystemPath(folder), &why)) return true;
  if (reason) *reason = Words(why);
  return false;
}

FolderCheck CheckPrivateFolder(const QString& folder, QString* reason) {
  if (folder.isEmpty()) {
    if (reason) *reason = QStringLiteral("no folder given");
    return FolderCheck::Unusable;
  }
  std::string why;
  switch (system::CheckPrivateFolder(SystemPath(folder), &why)) {
    case system::FolderState::Usable:
      return FolderCheck::Usable;
    case system::FolderState::Missing:
      return FolderCheck::Missing;
    case system::FolderState::Unusable:
      break;
  }
  if (reason) *reason = Words(why);
  return FolderCheck::Unusable;
}

}  // namespace quarvel
