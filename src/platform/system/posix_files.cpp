// The files of the program on POSIX.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/files.h"

namespace quarvel::system {
namespace {

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

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string Base36(uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
    value /= 36;
  } while (value);
  return digits;
}

// A fresh temporary file in the folder dirFd, opened for writing, created
// with mode (less the umask); its name in *name.
int CreateTemporary(int dirFd, mode_t mode, std::string* name) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 64; ++attempt) {
    *name = ".quarvel-" + Base36(random()) + ".tmp";
    const int fd =
        ::openat(dirFd, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

std::string LastError() { return std::strerror(errno); }

int OpenForAppend(const Path& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

int OpenForReading(const Path& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

void Close(int file) { ::close(file); }

LockResult LockExclusive(int file) {
  if (::flock(file, LOCK_EX | LOCK_NB) == 0) return LockResult::Locked;
  return errno == EWOULDBLOCK ? LockResult::Busy : LockResult::Failed;
}

bool IsRegularFile(int file) {
  struct stat info {};
  return ::fstat(file, &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<int64_t> Size(int file) {
  struct stat info {};
  if (::fstat(file, &info) != 0) return std::nullopt;
  return info.st_size;
}

bool Truncate(int file, int64_t size) { return ::ftruncate(file, size) == 0; }

int64_t Write(int file, const char* data, int64_t size) {
  for (;;) {
    const ssize_t n = ::write(file, data, static_cast<size_t>(size));
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kNotReady;
    if (errno != EINTR) return -1;
  }
}

int64_t Read(int file, char* buffer, int64_t size) {
  for (;;) {
    const ssize_t n = ::read(file, buffer, static_cast<size_t>(size));
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kNotReady;
    if (errno != EINTR) return -1;
  }
}

bool IsTerminal(int file) { return ::isatty(file) == 1; }

RenameResult RenameWithoutReplacing(const Path& from, const Path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return RenameResult::Renamed;
  if (errno == EEXIST) return RenameResult::TargetExists;
  if (errno != EINVAL && errno != ENOSYS) return RenameResult::Failed;
  // A file system without RENAME_NOREPLACE: a check, then the rename.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return RenameResult::TargetExists;
  }
  return std::rename(from.c_str(), to.c_str()) == 0 ? RenameResult::Renamed : RenameResult::Failed;
}

ReplaceResult ReplaceContent(const Path& folder, const Path& name, std::string_view bytes) {
  const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return {ReplaceStage::NoFolder, LastError()};
  // An existing file keeps its permissions; a new one is as private as its
  // folder, and so is the temporary file until it takes the old one's mode.
  struct stat old {};
  const bool keepMode =
      ::fstatat(dir.get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
  struct stat folderInfo {};
  const bool privateFolder =
      ::fstat(dir.get(), &folderInfo) == 0 && (folderInfo.st_mode & 077) == 0;

  std::string temporary;
  Fd file(CreateTemporary(dir.get(), privateFolder ? 0600 : 0666, &temporary));
  if (!file.valid()) return {ReplaceStage::NoTemporary, LastError()};
  const bool written = WriteAll(file.get(), bytes.data(), bytes.size()) &&
                       (!keepMode || ::fchmod(file.get(), old.st_mode & 07777) == 0) &&
                       ::fsync(file.get()) == 0;
  const std::string writeError = written ? std::string() : LastError();
  const bool closed = file.Reset();
  if (!written || !closed ||
      ::renameat(dir.get(), temporary.c_str(), dir.get(), name.c_str()) != 0) {
    ReplaceResult failed{ReplaceStage::NotWritten, written ? LastError() : writeError};
    ::unlinkat(dir.get(), temporary.c_str(), 0);
    return failed;
  }
  ::fsync(dir.get());  // the rename itself reaches the disk
  return {};
}

std::optional<std::string> ReadRegularFile(const Path& path, int64_t maxBytes) {
  const Fd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > maxBytes)
    return std::nullopt;
  std::string bytes;
  bytes.reserve(static_cast<size_t>(info.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    if (static_cast<int64_t>(bytes.size()) + n > maxBytes) return std::nullopt;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  return bytes;
}

bool MakePrivateFolder(const Path& folder, std::string* reason) {
  const auto fail = [&](const std::string& why) {
    if (reason) *reason = why;
    return false;
  };
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return fail("cannot create it: " + LastError());
  const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.valid()) {
    struct stat link {};
    if (::lstat(folder.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
      return fail("it is a symbolic link");
    return fail("it is no folder that can be opened: " + LastError());
  }
  struct stat info {};
  if (::fstat(dir.get(), &info) != 0) return fail(LastError());
  if (info.st_uid != ::geteuid()) return fail("it belongs to another user");
  if ((info.st_mode & 07777) != 0700 && ::fchmod(dir.get(), 0700) != 0)
    return fail("cannot make it private: " + LastError());
  return true;
}

FolderState CheckPrivateFolder(const Path& folder, std::string* reason) {
  const auto unusable = [&](const std::string& why) {
    if (reason) *reason = why;
    return FolderState::Unusable;
  };
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0)
    return errno == ENOENT ? FolderState::Missing : unusable(LastError());
  if (S_ISLNK(info.st_mode)) return unusable("it is a symbolic link");
  if (!S_ISDIR(info.st_mode)) return unusable("it is no folder");
  if (info.st_uid != ::geteuid()) return unusable("it belongs to another user");
  return FolderState::Usable;
}

}  // namespace quarvel::system
