#include "platform/win32/wave_out_volume.h"

#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

namespace quarvel {

void WaveOutVolume::Set(uint32_t value) {
  // The device id in place of a handle: device 0. The result is not acted on.
  lastValue_ = value;
  lastResult_ = waveOutSetVolume(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(0)), value);
}

}  // namespace quarvel
