// The process on POSIX.
#include <cerrno>
#include <csignal>

#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "platform/system/process.h"

namespace quarvel::system {

bool RunningAsRoot() { return ::geteuid() == 0; }

bool EndWithParent() {
#ifdef __linux__
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  // Ended before the request was made: the process was given to init.
  if (::getppid() == 1) return false;
#endif
  return true;
}

void IgnoreInterrupts() { std::signal(SIGINT, SIG_IGN); }

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

bool LastWriteFoundPipeClosed() { return errno == EPIPE; }

}  // namespace quarvel::system
