// SIGINT and SIGTERM through a pipe the handler writes to and the event loop
// reads from.
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include "platform/system/stop_signals.h"

namespace quarvel::system {
namespace {

static_assert(kInterruptRequest == SIGINT && kTerminateRequest == SIGTERM);

volatile sig_atomic_t writeEnd = -1;

void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (writeEnd >= 0) (void)!::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

struct StopSignals::Catcher {
  int pipe[2] = {-1, -1};
  struct sigaction oldInt {};
  struct sigaction oldTerm {};
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), catcher_(new Catcher) {
  int* const pipe = catcher_->pipe;
  if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  writeEnd = pipe[1];
  auto* notifier = new QSocketNotifier(pipe[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this, pipe] {
    unsigned char byte = 0;
    int last = 0;
    while (::read(pipe[0], &byte, 1) == 1) last = byte;
    if (last) emit Stopped(last);
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &catcher_->oldInt);
  sigaction(SIGTERM, &action, &catcher_->oldTerm);
}

StopSignals::~StopSignals() {
  if (catcher_->pipe[0] < 0) return;
  sigaction(SIGINT, &catcher_->oldInt, nullptr);
  sigaction(SIGTERM, &catcher_->oldTerm, nullptr);
  writeEnd = -1;
  ::close(catcher_->pipe[0]);
  ::close(catcher_->pipe[1]);
}

}  // namespace quarvel::system
