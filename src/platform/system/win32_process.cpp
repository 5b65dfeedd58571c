// The process on Windows.
#include <windows.h>

#include <cerrno>

#include "platform/system/process.h"

namespace quarvel::system {

bool RunningAsRoot() { return false; }

bool EndWithParent() { return true; }

void IgnoreInterrupts() { SetConsoleCtrlHandler(nullptr, TRUE); }

void IgnoreBrokenPipes() {}  // a write to a closed pipe fails there anyway

std::int64_t ProcessCpuMilliseconds(std::int64_t pid) {
  if (pid <= 0) return -1;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!process) return -1;
  FILETIME created, exited, kernel, user;
  const BOOL ok = GetProcessTimes(process, &created, &exited, &kernel, &user);
  CloseHandle(process);
  if (!ok) return -1;
  const auto value = [](const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  // In units of 100 ns.
  return static_cast<std::int64_t>((value(kernel) + value(user)) / 10000);
}

// The C runtime's write tells a closed pipe (ERROR_BROKEN_PIPE, ERROR_NO_DATA)
// as EPIPE.
bool LastWriteFoundPipeClosed() { return errno == EPIPE; }

}  // namespace quarvel::system
