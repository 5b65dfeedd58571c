#include "base/stop_signals.h"

#include <QSocketNotifier>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace quarvel {
namespace {

volatile sig_atomic_t writeEnd = -1;

void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (writeEnd >= 0) (void)!::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  writeEnd = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::OnReadable);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &oldInt_);
  sigaction(SIGTERM, &action, &oldTerm_);
}

StopSignals::~StopSignals() {
  if (pipe_[0] < 0) return;
  sigaction(SIGINT, &oldInt_, nullptr);
  sigaction(SIGTERM, &oldTerm_, nullptr);
  writeEnd = -1;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void StopSignals::OnReadable() {
  unsigned char byte = 0;
  int last = 0;
  while (::read(pipe_[0], &byte, 1) == 1) last = byte;
  if (last) emit Stopped(last);
}

}  // namespace quarvel
