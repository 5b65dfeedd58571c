// The process on POSIX.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
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

std::int64_t ProcessCpuMilliseconds(std::int64_t pid) {
#ifdef __linux__
  if (pid <= 0) return -1;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%lld/stat", static_cast<long long>(pid));
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buffer[1024];
  const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return -1;
  buffer[n] = '\0';
  // The command name, field 2, is in parentheses and may hold anything:
  // the fields are counted from the last closing one.
  const char* at = std::strrchr(buffer, ')');
  if (!at) return -1;
  unsigned long long user = 0, system = 0;
  // Fields 3 to 15: state, then ten numbers, then utime and stime.
  if (std::sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user,
                  &system) != 2)
    return -1;
  const long ticks = ::sysconf(_SC_CLK_TCK);
  if (ticks <= 0) return -1;
  return static_cast<std::int64_t>((user + system) * 1000ULL / static_cast<unsigned long>(ticks));
#else
  (void)pid;
  return -1;
#endif
}

bool LastWriteFoundPipeClosed() { return errno == EPIPE; }

}  // namespace quarvel::system
