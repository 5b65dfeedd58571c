#include "base/settings/output_volume.h"

#include <cmath>

namespace quarvel {

uint32_t WaveVolumeValue(int left, int right) {
  // Attenuation steps from 0 (100 %) to 256 (0 %), then (257 - step) * 255
  // per channel; 16711680 is 255 * 65536.
  const double a = std::trunc((100.0 - left) / 100.0 * 256.0);
  const double b = std::trunc((100.0 - right) / 100.0 * 256.0);
  const double value = std::trunc((257.0 - a) * 255.0 + (257.0 - b) * 16711680.0);
  return static_cast<uint32_t>(static_cast<uint64_t>(value) & 0xFFFFFFFFu);
}

}  // namespace quarvel
