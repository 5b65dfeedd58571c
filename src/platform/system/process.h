#pragma once

#include <cstdint>

// The process and its place among the others, by intent. No Qt here.
namespace quarvel::system {

// Whether the process runs with the rights of the system's administrator
// account (POSIX: the effective user is root). False on Windows, where the
// embedded browser's sandbox does not hinge on it.
bool RunningAsRoot();

// Ends the process, as a request to terminate would, when the process that
// started it ends; false when that one has ended already. On Windows the
// process is told by its standard input closing, and this does nothing.
bool EndWithParent();

// Interrupts typed at the terminal (Ctrl+C) no longer reach the process: one
// that its parent stops in its own time.
void IgnoreInterrupts();

// A write to a pipe whose reader is gone fails, and does not end the process.
void IgnoreBrokenPipes();

// The processor time (user and system) another process of the same user has
// used so far, in milliseconds; -1 when it cannot be told (no such process,
// no right to ask).
std::int64_t ProcessCpuMilliseconds(std::int64_t pid);

// Whether the last failed write of this thread failed because the reader of
// its pipe is gone (`cmd | head -1`).
bool LastWriteFoundPipeClosed();

// The exit status a shell expects of a program whose output's reader went
// away: that of one the broken pipe ended (128 + SIGPIPE), on every platform.
inline constexpr int kClosedPipeStatus = 141;

}  // namespace quarvel::system
