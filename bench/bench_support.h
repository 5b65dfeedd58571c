#pragma once

// What the benchmarks share: waiting on the event loop, loading a page and
// timing repeated work.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QWebEngineView>

#include <algorithm>
#include <functional>
#include <vector>

#include "webpage/browser.h"

namespace quarvel::bench {

inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

inline bool Load(QWebEngineView* view, const QString& url) {
  QSignalSpy finished(view, &QWebEngineView::loadFinished);
  Navigate(view, url);
  return WaitFor([&] { return finished.count() > 0; }, 30000) && finished.first().at(0).toBool();
}

// The median of `runs` timings of work, in milliseconds.
inline double MedianMs(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer clock;
    clock.start();
    work();
    times.push_back(clock.nsecsElapsed() / 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace quarvel::bench
