#pragma once

// The files of the program, by intent: the lowest floor, which alone calls
// the system. No Qt here: the Windows backend is built and tested without it.
// An open file is a descriptor of the C runtime (on Windows one of the CRT's,
// over a handle of its own); paths are std::filesystem paths, so a Windows
// name is wide and a POSIX one the bytes the system sees.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quarvel::system {

using Path = std::filesystem::path;

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// The system's words for why the last failed call of this floor failed, in
// this thread.
std::string LastError();

// Opens path for reading and for appending, creating it (0644 less the umask
// on POSIX) when missing; not inherited by child processes. -1 on failure.
int OpenForAppend(const Path& path);
// Opens path for reading; -1 on failure.
int OpenForReading(const Path& path);
void Close(int file);

enum class LockResult { Locked, Busy, Failed };
// Takes the whole file for this process without waiting; Busy when another
// holds it. The lock goes with the descriptor.
LockResult LockExclusive(int file);

bool IsRegularFile(int file);
// The length of file; nullopt when it cannot be told.
std::optional<int64_t> Size(int file);
bool Truncate(int file, int64_t size);

// What a read or write of a file that does not block returns when it has
// nothing to do now.
inline constexpr int64_t kNotReady = -2;
// The count of bytes written (a part, maybe; 0 when nothing could be), -1 on
// an error, kNotReady. An interrupted call is made again.
int64_t Write(int file, const char* data, int64_t size);
// The count of bytes read, 0 at the end, -1 on an error, kNotReady. An
// interrupted call is made again.
int64_t Read(int file, char* buffer, int64_t size);

bool IsTerminal(int file);

enum class RenameResult { Renamed, TargetExists, Failed };
// Renames from to to, never replacing what is at to (a symbolic link there
// too), where the file system allows in one step.
RenameResult RenameWithoutReplacing(const Path& from, const Path& to);

// Replaces the file name in folder with bytes, through a new temporary file
// in folder that reaches the disk before it is renamed over name; a symbolic
// link at name is replaced, not written through. On failure nothing is left
// behind and name is as it was. An existing file keeps its permissions; a new
// one in a folder private to the user is private too (0600 on POSIX). Not
// named ReplaceFile, which windows.h makes a macro.
enum class ReplaceStage { Replaced, NoFolder, NoTemporary, NotWritten };
struct ReplaceResult {
  ReplaceStage stage = ReplaceStage::Replaced;
  std::string error;  // the system's words, when not replaced
};
ReplaceResult ReplaceContent(const Path& folder, const Path& name, std::string_view bytes);

// The content of the regular file at path, up to maxBytes; nullopt when it is
// larger, cannot be read, or is a symbolic link or no regular file.
std::optional<std::string> ReadRegularFile(const Path& path, int64_t maxBytes);

// Makes folder (its parent exists) a folder private to the user: created so
// when missing, narrowed when wider. False, with the reason in words, when it
// is a symbolic link, no folder or someone else's.
bool MakePrivateFolder(const Path& folder, std::string* reason);

enum class FolderState { Usable, Missing, Unusable };
// Whether MakePrivateFolder would use folder, without changing anything.
FolderState CheckPrivateFolder(const Path& folder, std::string* reason);

}  // namespace quarvel::system
