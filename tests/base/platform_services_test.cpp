// The platform backend the build chose: the same intents, each backend's way.
#include <gtest/gtest.h>

#include <vector>

#include "base/settings/output_volume.h"
#include "platform/platform_services.h"
#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>
#endif

namespace quarvel {
namespace {

TEST(WaveVolume, GivesTheTwoLevelsAndFollowsTheStatedArithmetic) {
  EXPECT_EQ(WaveVolumeValue(0, 0), 0x00FF00FFu);      // 255 per channel, never 0
  EXPECT_EQ(WaveVolumeValue(100, 100), 0xFFFFFFFFu);  // 65535 per channel
  // 50 %: a = 128, channel = (257 - 128) * 255 = 32895 = 0x807F.
  EXPECT_EQ(WaveVolumeValue(50, 100), 0xFFFF807Fu);
  EXPECT_EQ(WaveVolumeValue(100, 50), 0x807FFFFFu);
  // 33 %: a = trunc(0.67 * 256) = 171, channel = 86 * 255 = 21930 = 0x55AA.
  EXPECT_EQ(WaveVolumeValue(33, 33), 0x55AA55AAu);
}

#ifndef _WIN32
TEST(PlatformServices, PortableBackendSendsTheCueVolumeToThePlayerAndChangesNothingElse) {
  std::vector<uint32_t> volumes;
  const auto platform = MakePlatformServices([&](uint32_t value) { volumes.push_back(value); });
  EXPECT_FALSE(platform->SilenceNavigationClick());
  platform->SetCueVolume(WaveVolumeValue(0, 0));
  platform->SetCueVolume(WaveVolumeValue(100, 100));
  EXPECT_EQ(volumes, (std::vector<uint32_t>{0x00FF00FFu, 0xFFFFFFFFu}));
  MakePlatformServices(nullptr)->SetCueVolume(1);  // no player: nothing to do, no crash
}
#else
TEST(PlatformServices, WindowsBackendSilencesTheClickOnceThroughTheRegistry) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current",
                      0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  const char sound[] = "C:\\click.wav";
  RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(sound), sizeof sound);
  bool called = false;
  const auto platform = MakePlatformServices([&](uint32_t) { called = true; });
  EXPECT_TRUE(platform->SilenceNavigationClick());
  EXPECT_FALSE(platform->SilenceNavigationClick());  // already silenced
  char buffer[64] = {};
  DWORD size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_STREQ(buffer, "C:\\click.wav1");
  platform->SetCueVolume(WaveVolumeValue(0, 0));  // the system volume, not the player
  EXPECT_FALSE(called);
}
#endif

}  // namespace
}  // namespace quarvel
