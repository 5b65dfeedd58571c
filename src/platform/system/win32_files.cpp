// The files of the program on Windows: handles of the system's, given to the
// C runtime as descriptors where the program reads and writes them.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/system/files.h"

namespace quarvel::system {
namespace {

thread_local std::string lastError;

void NoteSystemError(DWORD code = GetLastError()) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  lastError = length ? std::string(text, length) : "error " + std::to_string(code);
  while (!lastError.empty() && (lastError.back() == '\n' || lastError.back() == '\r' ||
                                lastError.back() == ' ' || lastError.back() == '.'))
    lastError.pop_back();
  LocalFree(text);
}

void NoteRuntimeError() { lastError = std::strerror(errno); }

// Closes a handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now, and takes next; false when closing reports an error.
  bool Reset(HANDLE next = INVALID_HANDLE_VALUE) {
    const bool ok = !valid() || CloseHandle(handle_) != 0;
    handle_ = next;
    return ok;
  }

 private:
  HANDLE handle_;
};

// Every process may read, write, rename and delete a file the program has
// open, as on POSIX: a batch output can be renamed over while it is locked.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int Descriptor(HANDLE handle, int flags) {
  if (handle == INVALID_HANDLE_VALUE) {
    NoteSystemError();
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    NoteRuntimeError();
    CloseHandle(handle);
  }
  return fd;
}

HANDLE HandleOf(int file) { return reinterpret_cast<HANDLE>(_get_osfhandle(file)); }

}  // namespace

std::string LastError() { return lastError; }

int OpenForAppend(const Path& path) {
  return Descriptor(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                    _O_RDWR | _O_APPEND);
}

int OpenForReading(const Path& path) {
  return Descriptor(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr),
                    _O_RDONLY);
}

void Close(int file) { _close(file); }

LockResult LockExclusive(int file) {
  // Locks on Windows keep every other handle from the bytes they cover, so
  // the lock is on one byte far past any end the file will have: it excludes
  // a second batch and no reader or writer of the rows.
  OVERLAPPED where{};
  where.OffsetHigh = 0x7FFFFFFF;
  if (LockFileEx(HandleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &where))
    return LockResult::Locked;
  const DWORD code = GetLastError();
  NoteSystemError(code);
  return code == ERROR_LOCK_VIOLATION ? LockResult::Busy : LockResult::Failed;
}

bool IsRegularFile(int file) {
  BY_HANDLE_FILE_INFORMATION info{};
  return GetFileType(HandleOf(file)) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(HandleOf(file), &info) &&
         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

std::optional<int64_t> Size(int file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(HandleOf(file), &size)) {
    NoteSystemError();
    return std::nullopt;
  }
  return size.QuadPart;
}

bool Truncate(int file, int64_t size) {
  if (_chsize_s(file, size) == 0) return true;
  NoteRuntimeError();
  return false;
}

int64_t Write(int file, const char* data, int64_t size) {
  const unsigned part = static_cast<unsigned>(std::min<int64_t>(size, 1 << 30));
  const int n = _write(file, data, part);
  if (n < 0) NoteRuntimeError();
  return n;
}

int64_t Read(int file, char* buffer, int64_t size) {
  const unsigned part = static_cast<unsigned>(std::min<int64_t>(size, 1 << 30));
  const int n = _read(file, buffer, part);
  if (n < 0) NoteRuntimeError();
  return n;
}

bool IsTerminal(int file) { return _isatty(file) != 0; }

RenameResult RenameWithoutReplacing(const Path& from, const Path& to) {
  // Without MOVEFILE_REPLACE_EXISTING, an existing target is never replaced.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return RenameResult::Renamed;
  const DWORD code = GetLastError();
  NoteSystemError(code);
  return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? RenameResult::TargetExists
                                                                   : RenameResult::Failed;
}

ReplaceResult ReplaceContent(const Path& folder, const Path& name, std::string_view bytes) {
  const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return {ReplaceStage::NoFolder, folderAttributes == INVALID_FILE_ATTRIBUTES
                                        ? (NoteSystemError(), lastError)
                                        : std::string("it is no folder")};
  // A new file takes the access list of its folder, as its temporary file
  // does; an existing regular one keeps its own, which ReplaceFileW carries
  // over. A link at name is replaced by the move, not followed.
  static thread_local std::mt19937_64 random{std::random_device{}()};
  Path temporary;
  Handle file;
  for (int attempt = 0; attempt < 64 && !file.valid(); ++attempt) {
    temporary = folder / (".quarvel-" + std::to_string(random()) + ".tmp");
    file.Reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) {
    NoteSystemError();
    return {ReplaceStage::NoTemporary, lastError};
  }
  bool written = true;
  for (size_t done = 0; written && done < bytes.size();) {
    DWORD n = 0;
    const DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    written = WriteFile(file.get(), bytes.data() + done, part, &n, nullptr) != 0;
    done += n;
  }
  written = written && FlushFileBuffers(file.get());
  if (!written) NoteSystemError();
  const std::string writeError = lastError;
  const bool closed = file.Reset();
  const Path target = folder / name;
  const DWORD old = GetFileAttributesW(target.c_str());
  const bool keep = old != INVALID_FILE_ATTRIBUTES &&
                    !(old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  const auto replace = [&] {
    if (keep && ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      return true;
    return MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  };
  if (!written || !closed || !replace()) {
    if (written) NoteSystemError();
    ReplaceResult failed{ReplaceStage::NotWritten, written ? lastError : writeError};
    DeleteFileW(temporary.c_str());
    return failed;
  }
  return {};
}

std::optional<std::string> ReadRegularFile(const Path& path, int64_t maxBytes) {
  // The link itself is opened, not what it points to, and then refused.
  const Handle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  LARGE_INTEGER size{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      !GetFileSizeEx(file.get(), &size) || size.QuadPart > maxBytes)
    return std::nullopt;
  std::string bytes;
  bytes.reserve(static_cast<size_t>(size.QuadPart));
  char chunk[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    if (static_cast<int64_t>(bytes.size()) + n > maxBytes) return std::nullopt;
    bytes.append(chunk, n);
  }
  return bytes;
}

// On Windows a folder in the user's profile is private to the user by the
// access list it inherits; the program neither narrows nor checks owners.
bool MakePrivateFolder(const Path& folder, std::string* reason) {
  const auto fail = [&](const std::string& why) {
    if (reason) *reason = why;
    return false;
  };
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    NoteSystemError();
    return fail("cannot create it: " + lastError);
  }
  switch (CheckPrivateFolder(folder, reason)) {
    case FolderState::Usable:
      return true;
    case FolderState::Missing:
      return fail("it is no folder that can be opened");
    case FolderState::Unusable:
      return false;
  }
  return false;
}

FolderState CheckPrivateFolder(const Path& folder, std::string* reason) {
  const auto unusable = [&](const std::string& why) {
    if (reason) *reason = why;
    return FolderState::Unusable;
  };
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return FolderState::Missing;
    NoteSystemError(code);
    return unusable(lastError);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return unusable("it is a symbolic link");
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return unusable("it is no folder");
  return FolderState::Usable;
}

}  // namespace quarvel::system
