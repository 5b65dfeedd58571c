// The process on Windows.
#include <windows.h>

#include "platform/system/process.h"

namespace quarvel::system {

bool RunningAsRoot() { return false; }

bool EndWithParent() { return true; }

void IgnoreInterrupts() { SetConsoleCtrlHandler(nullptr, TRUE); }

void IgnoreBrokenPipes() {}  // a write to a closed pipe fails there anyway

}  // namespace quarvel::system
