// The backend for systems without the Windows registry and waveform volume.
#include <utility>

#include "platform/platform_services.h"

namespace quarvel {
namespace {

class PortableServices : public PlatformServices {
 public:
  explicit PortableServices(CuePlayerVolume playerVolume)
      : playerVolume_(std::move(playerVolume)) {}

  // The embedded browsers make no navigation click here: nothing to change.
  bool SilenceNavigationClick() override { return false; }

  void SetCueVolume(uint32_t value) override {
    if (playerVolume_) playerVolume_(value);
  }

 private:
  CuePlayerVolume playerVolume_;
};

}  // namespace

std::unique_ptr<PlatformServices> MakePlatformServices(CuePlayerVolume playerVolume) {
  return std::make_unique<PortableServices>(std::move(playerVolume));
}

}  // namespace quarvel
