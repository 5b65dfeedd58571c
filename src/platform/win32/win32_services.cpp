// The Windows backend: the registry through the ANSI calls and the waveform
// output volume of device 0.
#include "base/settings/registry.h"
#include "platform/platform_services.h"
#include "platform/win32/wave_out_volume.h"
#include "platform/win32/win32_registry.h"

namespace quarvel {
namespace {

class Win32Services : public PlatformServices {
 public:
  bool SilenceNavigationClick() override {
    Win32Registry registry;
    return SilenceNavigationSound(registry);
  }

  // The system's waveform volume covers the cue player too.
  void SetCueVolume(uint32_t value) override { volume_.Set(value); }

 private:
  WaveOutVolume volume_;
};

}  // namespace

std::unique_ptr<PlatformServices> MakePlatformServices(CuePlayerVolume /*playerVolume*/) {
  return std::make_unique<Win32Services>();
}

}  // namespace quarvel
