#include "base/gate/timer_interval.h"

#include <QTimer>

namespace quarvel {

void SetTimerInterval(QTimer* timer, int milliseconds) {
  if (milliseconds <= 0) {
    timer->stop();
    return;
  }
  timer->start(milliseconds);
}

int TimerInterval(const QTimer* timer) { return timer->isActive() ? timer->interval() : 0; }

}  // namespace quarvel
