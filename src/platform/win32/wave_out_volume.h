#pragma once

#include <cstdint>

namespace quarvel {

// The waveform output volume of device 0 (winmm's waveOutSetVolume).
class WaveOutVolume {
 public:
  void Set(uint32_t value);
  unsigned lastResult() const { return lastResult_; }  // MMRESULT of the last call
  uint32_t lastValue() const { return lastValue_; }    // the value last passed

 private:
  unsigned lastResult_ = 0;
  uint32_t lastValue_ = 0;
};

}  // namespace quarvel
