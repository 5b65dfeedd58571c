#pragma once

// How fast a batch may go to its site: at most a number of lookups a minute
// (a token bucket that holds one lookup, shared by every job), and not at
// all while the site has asked to wait.
#include <QString>
#include <QtGlobal>

namespace quarvel {

class SitePace {
 public:
  // perMinute 0: no cap.
  explicit SitePace(double perMinute = 0) : perMinute_(perMinute) {}

  // Milliseconds from nowMs until a lookup may start (0: now).
  qint64 WaitMs(qint64 nowMs) const;
  // A lookup starts at nowMs: the next one waits its turn.
  void Take(qint64 nowMs);
  // Nothing starts before untilMs (a later pause wins over an earlier one).
  void PauseUntil(qint64 untilMs);

  // The wait after the attempt-th passing failure (1, 2, …) of an entry,
  // when the site named none: 2 s, doubled each time, at most kMaxWaitMs.
  static qint64 BackOffMs(int attempt);
  // The longest wait a site may ask for.
  static constexpr qint64 kMaxWaitMs = 120000;

 private:
  double perMinute_;
  qint64 nextSlotMs_ = 0;
  qint64 pausedUntilMs_ = 0;
};

}  // namespace quarvel
