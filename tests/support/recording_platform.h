#pragma once

#include <memory>
#include <vector>

#include "gui/shell/main_window.h"
#include "platform/platform_services.h"

namespace quarvel::testing {

// A platform backend that records what the program asked of it.
struct PlatformLog {
  int silenceRequests = 0;
  std::vector<uint32_t> cueVolumes;
};

class RecordingPlatform : public PlatformServices {
 public:
  explicit RecordingPlatform(std::shared_ptr<PlatformLog> log) : log_(std::move(log)) {}
  bool SilenceNavigationClick() override {
    ++log_->silenceRequests;
    return true;
  }
  void SetCueVolume(uint32_t value) override { log_->cueVolumes.push_back(value); }

 private:
  std::shared_ptr<PlatformLog> log_;
};

// A factory for WindowServices::makePlatform that records into log.
inline auto RecordingPlatformFactory(std::shared_ptr<PlatformLog> log) {
  return [log](CuePlayerVolume) -> std::unique_ptr<PlatformServices> {
    return std::make_unique<RecordingPlatform>(log);
  };
}

// Window services whose platform records into log.
inline WindowServices RecordingPlatformServices(std::shared_ptr<PlatformLog> log) {
  WindowServices services;
  services.makePlatform = RecordingPlatformFactory(std::move(log));
  return services;
}

}  // namespace quarvel::testing
