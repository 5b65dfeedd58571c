#pragma once

#include <cstdint>

namespace quarvel {

// The output volume value for two percentages (0 to 100): low 16 bits the
// left channel, high 16 bits the right; 255 per channel at 0 %, 65535 at
// 100 %, never 0.
uint32_t WaveVolumeValue(int left, int right);

}  // namespace quarvel
