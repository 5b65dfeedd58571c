#include "base/safe_file.h"

#include <QDir>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/logging.h"

namespace quarvel {
namespace {

constexpr qint64 kMaxReadBytes = 256 * 1024 * 1024;

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false when close reports an error (a lost write).
  bool Reset() {
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

QString Errno() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool WriteAll(int fd, const char* data, qsizetype size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

// A fresh temporary file in the folder dirFd, opened for writing, created
// with mode (less the umask); its name in *name.
int CreateTemporary(int dirFd, mode_t mode, QByteArray* name) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    *name = ".quarvel-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
    const int fd = ::openat(dirFd, name->constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

bool ReplaceFile(const QString& path, const QByteArray& bytes) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const QString folder = slash < 0    ? QStringLiteral(".")
                         : slash == 0 ? QStringLiteral("/")
                                      : path.left(slash);
  const QByteArray name = QFile::encodeName(path.mid(slash + 1));
  if (path.isEmpty() || name.isEmpty() || name == "." || name == "..") {
    qCWarning(lcFiles) << "not a file name:" << path;
    return false;
  }
  const Fd dir(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) {
    qCWarning(lcFiles) << "cannot open the folder of" << path << ":" << Errno();
    return false;
  }
  // An existing file keeps its permissions; a new one is as private as its
  // folder, and so is the temporary file until it takes the old one's mode.
  struct stat old {};
  const bool keepMode = ::fstatat(dir.get(), name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISREG(old.st_mode);
  struct stat folderInfo {};
  const bool privateFolder =
      ::fstat(dir.get(), &folderInfo) == 0 && (folderInfo.st_mode & 077) == 0;

  QByteArray temporary;
  Fd file(CreateTemporary(dir.get(), privateFolder ? 0600 : 0666, &temporary));
  if (!file.valid()) {
    qCWarning(lcFiles) << "cannot create a file beside" << path << ":" << Errno();
    return false;
  }
  const bool written = WriteAll(file.get(), bytes.constData(), bytes.size()) &&
                       (!keepMode || ::fchmod(file.get(), old.st_mode & 07777) == 0) &&
                       ::fsync(file.get()) == 0;
  const QString writeError = written ? QString() : Errno();
  const bool closed = file.Reset();
  if (!written || !closed ||
      ::renameat(dir.get(), temporary.constData(), dir.get(), name.constData()) != 0) {
    qCWarning(lcFiles) << "cannot write" << path << ":" << (written ? Errno() : writeError);
    ::unlinkat(dir.get(), temporary.constData(), 0);
    return false;
  }
  ::fsync(dir.get());  // the rename itself reaches the disk
  return true;
}

std::optional<QByteArray> ReadRegularFile(const QString& path) {
  const Fd file(
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > kMaxReadBytes)
    return std::nullopt;
  QByteArray bytes;
  bytes.reserve(static_cast<qsizetype>(info.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    if (bytes.size() + n > kMaxReadBytes) return std::nullopt;
    bytes.append(chunk, n);
  }
  return bytes;
}

bool EnsurePrivateFolder(const QString& folder, QString* reason) {
  const auto fail = [&](const QString& why) {
    if (reason) *reason = why;
    return false;
  };
  const QByteArray native = QFile::encodeName(folder);
  if (folder.isEmpty()) return fail(QStringLiteral("no folder given"));
  const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
  if (slash > 0) QDir().mkpath(folder.left(slash));
  if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
    return fail(QStringLiteral("cannot create it: ") + Errno());
  const Fd dir(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.valid()) {
    struct stat link {};
    if (::lstat(native.constData(), &link) == 0 && S_ISLNK(link.st_mode))
      return fail(QStringLiteral("it is a symbolic link"));
    return fail(QStringLiteral("it is no folder that can be opened: ") + Errno());
  }
  struct stat info {};
  if (::fstat(dir.get(), &info) != 0) return fail(Errno());
  if (info.st_uid != ::geteuid()) return fail(QStringLiteral("it belongs to another user"));
  if ((info.st_mode & 07777) != 0700 && ::fchmod(dir.get(), 0700) != 0)
    return fail(QStringLiteral("cannot make it private: ") + Errno());
  return true;
}

FolderCheck CheckPrivateFolder(const QString& folder, QString* reason) {
  const auto unusable = [&](const QString& why) {
    if (reason) *reason = why;
    return FolderCheck::Unusable;
  };
  if (folder.isEmpty()) return unusable(QStringLiteral("no folder given"));
  struct stat info {};
  if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
    return errno == ENOENT ? FolderCheck::Missing : unusable(Errno());
  if (S_ISLNK(info.st_mode)) return unusable(QStringLiteral("it is a symbolic link"));
  if (!S_ISDIR(info.st_mode)) return unusable(QStringLiteral("it is no folder"));
  if (info.st_uid != ::geteuid()) return unusable(QStringLiteral("it belongs to another user"));
  return FolderCheck::Usable;
}

}  // namespace quarvel
