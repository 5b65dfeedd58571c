#pragma once

#include <cstdint>

namespace quarvel {

// The output volume of this program: one 32-bit value, low 16 bits the left
// channel, high 16 bits the right, each 0 (silent) to 65535 (full).
class OutputVolume {
 public:
  virtual ~OutputVolume() = default;
  virtual void Set(uint32_t value) = 0;
};

// The volume value for two percentages (0 to 100): 255 per channel at 0 %,
// 65535 at 100 %, never 0.
uint32_t WaveVolumeValue(int left, int right);

void SetWaveVolume(OutputVolume& volume, int left, int right);

}  // namespace quarvel
