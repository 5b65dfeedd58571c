#pragma once

// SIGINT and SIGTERM as a Qt signal from the event loop, so a batch stops
// between rows and never in the middle of one.
#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace quarvel {

class StopSignals : public QObject {
  Q_OBJECT
 public:
  // Catches SIGINT and SIGTERM until destroyed; then the earlier handlers
  // are back. One at a time.
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;

 signals:
  void Stopped(int signal);

 private:
  void OnReadable();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

}  // namespace quarvel
