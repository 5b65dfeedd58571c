// The output volume on winmm: device 0 gets the value of the volume arithmetic.
#include <gtest/gtest.h>

#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

#include "base/settings/output_volume.h"
#include "platform/win32/wave_out_volume.h"

namespace quarvel {
namespace {

TEST(WaveOutVolume, VoiceOffAndOnSetDeviceZeroToTheTwoLevels) {
  WaveOutVolume volume;
  for (const auto& [percent, value] : {std::pair{0, 0x00FF00FFu}, std::pair{100, 0xFFFFFFFFu}}) {
    volume.Set(WaveVolumeValue(percent, percent));
    EXPECT_EQ(volume.lastValue(), value);
    // Where the system applies a device's volume, it reads back as set; the
    // result is not acted on, as a failure here changes nothing for the user.
    if (volume.lastResult() == MMSYSERR_NOERROR) {
      DWORD now = 0;
      ASSERT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(0)), &now),
                MMSYSERR_NOERROR);
      EXPECT_EQ(now, value);
    }
  }
}

}  // namespace
}  // namespace quarvel
