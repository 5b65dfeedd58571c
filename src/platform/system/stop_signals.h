#pragma once

// The requests to stop (SIGINT and SIGTERM on POSIX; Ctrl+C, Ctrl+Break and
// the closing of the console on Windows) as a Qt signal from the event loop,
// so a batch stops between rows and never in the middle of one.
#include <QObject>

#include <memory>

#include "platform/system/stop_requests.h"

namespace quarvel::system {

class StopSignals : public QObject {
  Q_OBJECT
 public:
  // Catches the requests until destroyed; then the earlier handling is back.
  // One at a time.
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;

 signals:
  // kInterruptRequest or kTerminateRequest.
  void Stopped(int request);

 private:
  struct Catcher;
  std::unique_ptr<Catcher> catcher_;
};

}  // namespace quarvel::system
