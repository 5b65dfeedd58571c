#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace quarvel {

// What the program asks of the system it runs on, by intent. One backend per
// platform, chosen by the build: platform/portable or platform/win32.
class PlatformServices {
 public:
  virtual ~PlatformServices() = default;

  // Makes the browsers' navigation click inaudible for this user; the change
  // outlives the program. True when something was changed.
  virtual bool SilenceNavigationClick() = 0;

  // The output volume of the voice cues: low 16 bits the left channel, high
  // 16 bits the right, each 0 (silent) to 65535 (full); see WaveVolumeValue.
  virtual void SetCueVolume(uint32_t value) = 0;
};

// Sets the volume of the program's own cue player, for a platform that has
// no waveform output volume of its own.
using CuePlayerVolume = std::function<void(uint32_t value)>;

// The backend of the platform the program was built for.
std::unique_ptr<PlatformServices> MakePlatformServices(CuePlayerVolume playerVolume);

}  // namespace quarvel
