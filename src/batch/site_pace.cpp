#include "batch/site_pace.h"

#include <algorithm>
#include <cmath>

namespace quarvel {

qint64 SitePace::WaitMs(qint64 nowMs) const {
  return std::max<qint64>({0, nextSlotMs_ - nowMs, pausedUntilMs_ - nowMs});
}

void SitePace::Take(qint64 nowMs) {
  if (perMinute_ <= 0) return;
  const auto interval = static_cast<qint64>(std::llround(60000.0 / perMinute_));
  // A slot not used does not pile up: the bucket holds one lookup.
  nextSlotMs_ = std::max(nextSlotMs_, nowMs) + interval;
}

void SitePace::PauseUntil(qint64 untilMs) { pausedUntilMs_ = std::max(pausedUntilMs_, untilMs); }

qint64 SitePace::BackOffMs(int attempt) {
  const int doublings = std::clamp(attempt - 1, 0, 16);
  return std::min<qint64>(qint64{2000} << doublings, kMaxWaitMs);
}

}  // namespace quarvel
