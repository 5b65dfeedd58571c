// The process on Windows.
#include <windows.h>

#include <cerrno>

#include "platform/system/process.h"

namespace quarvel::system {

bool RunningAsRoot() { return false; }

bool EndWithParent() { return true; }

void IgnoreInterrupts() { SetConsoleCtrlHandler(nullptr, TRUE); }

void IgnoreBrokenPipes() {}  // a write to a closed pipe fails there anyway

// The C runtime's write tells a closed pipe (ERROR_BROKEN_PIPE, ERROR_NO_DATA)
// as EPIPE.
bool LastWriteFoundPipeClosed() { return errno == EPIPE; }

}  // namespace quarvel::system
