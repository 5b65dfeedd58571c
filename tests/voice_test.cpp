// Voice cues: the volume arithmetic, the menu commands and the real player.
#include <gtest/gtest.h>

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "app/run_directory.h"
#include "support/offline_config.h"
#include "support/wait.h"
#include "system/voice.h"

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

class RecordingVolume : public OutputVolume {
 public:
  void Set(uint32_t value) override { values.push_back(value); }
  std::vector<uint32_t> values;
};

TEST(VoiceMenu, OffAndOnSetTheVolumeEveryTimeAndSayWhatTheyDid) {
  MainWindow window(testing::OfflineConfig());
  auto volume = std::make_unique<RecordingVolume>();
  RecordingVolume* seen = volume.get();
  window.SetOutputVolume(std::move(volume));

  window.VoiceOffItem->trigger();
  EXPECT_EQ(window.Status(), QStringLiteral("已关闭语音"));
  window.SetStatus(QString());
  window.VoiceOffItem->trigger();
  EXPECT_EQ(window.Status(), QStringLiteral("已关闭语音"));
  window.VoiceOnItem->trigger();
  EXPECT_EQ(window.Status(), QStringLiteral("已开启语音"));
  EXPECT_EQ(seen->values, (std::vector<uint32_t>{0x00FF00FF, 0x00FF00FF, 0xFFFFFFFF}));
}

TEST(VoiceMenu, VoiceOffLeavesThePlayersOutputNearSilentButNotMuted) {
  MainWindow window(testing::OfflineConfig());
  window.VoiceOffItem->trigger();
  EXPECT_NEAR(window.CuePlayer->audioOutput()->volume(), 255.0 / 65535.0, 1e-6);
  EXPECT_GT(window.CuePlayer->audioOutput()->volume(), 0.0f);
  window.VoiceOnItem->trigger();
  EXPECT_FLOAT_EQ(window.CuePlayer->audioOutput()->volume(), 1.0f);
}

TEST(CuePlayer, PlayCueResolvesTheCueBesideTheExecutable) {
  MainWindow window(testing::OfflineConfig());
  PlayCue(window, cue::kWelcome);
  EXPECT_EQ(window.CuePlayer->Url(), RunDirectory() + QStringLiteral("/mp3/欢迎使用.mp3"));
  EXPECT_EQ(window.CuePlayer->player()->source().toLocalFile(), window.CuePlayer->Url());
}

TEST(CuePlayer, ANewCueCutsOffTheOneThatIsPlayingAndIsPlayedToItsEnd) {
  MainWindow window(testing::OfflineConfig());
  QMediaPlayer* player = window.CuePlayer->player();
  PlayCue(window, cue::kInstructions);  // the longest cue
  ASSERT_TRUE(testing::WaitFor([&] { return player->position() > 300; }, 10000))
      << "the player never advanced";
  const qint64 cutAt = player->position();
  ASSERT_LT(cutAt, 3000);  // the instructions run for over four seconds

  PlayCue(window, cue::kSuccess);
  EXPECT_TRUE(player->source().toLocalFile().endsWith(QStringLiteral("查询成功.mp3")));
  // The new cue starts from its beginning...
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        return player->mediaStatus() == QMediaPlayer::BufferedMedia ||
               player->mediaStatus() == QMediaPlayer::EndOfMedia;
      },
      10000));
  EXPECT_LT(player->position(), cutAt);
  // ...and runs to its end; the first one never comes back.
  ASSERT_TRUE(
      testing::WaitFor([&] { return player->mediaStatus() == QMediaPlayer::EndOfMedia; }, 15000));
  EXPECT_TRUE(player->source().toLocalFile().endsWith(QStringLiteral("查询成功.mp3")));
}

TEST(CuePlayer, AMissingCuePlaysNothingAndRaisesNothing) {
  MainWindow window(testing::OfflineConfig());
  QMediaPlayer* player = window.CuePlayer->player();
  window.CuePlayer->Play(QStringLiteral("/nonexistent/mp3/欢迎使用.mp3"));
  EXPECT_TRUE(player->source().isEmpty());
  EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
  EXPECT_EQ(player->error(), QMediaPlayer::NoError);
  EXPECT_TRUE(window.Status().isEmpty());
}

}  // namespace
}  // namespace quarvel
