#pragma once

class QTimer;

namespace quarvel {

// Timer "interval" property: 0 stops the timer, a positive value (re)starts it.
void SetTimerInterval(QTimer* timer, int milliseconds);
int TimerInterval(const QTimer* timer);  // 0 while stopped

}  // namespace quarvel
