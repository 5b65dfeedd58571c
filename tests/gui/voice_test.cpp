// Voice cues: the volume arithmetic, the menu commands and the real player.
#include <gtest/gtest.h>

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QTemporaryDir>

#include "base/files/run_directory.h"
#include "gui/shell/main_window.h"
#include "gui/voice/voice.h"
#include "support/main_window_controls.h"
#include "support/offline_config.h"
#include "support/recording_platform.h"
#include "support/wait.h"

namespace quarvel {
namespace {

TEST(VoiceMenu, OffAndOnSetTheVolumeEveryTimeAndSayWhatTheyDid) {
  auto seen = std::make_shared<testing::PlatformLog>();
  MainWindow window(testing::OfflineConfig(), testing::RecordingPlatformServices(seen));
  const testing::MainWindowControls ui(window);

  ui.VoiceOffItem->trigger();
  EXPECT_EQ(window.Status(), QStringLiteral("已关闭语音"));
  window.SetStatus(QString());
  ui.VoiceOffItem->trigger();
  EXPECT_EQ(window.Status(), QStringLiteral("已关闭语音"));
  ui.VoiceOnItem->trigger();
  EXPECT_EQ(window.Status(), QStringLiteral("已开启语音"));
  EXPECT_EQ(seen->cueVolumes, (std::vector<uint32_t>{0x00FF00FF, 0x00FF00FF, 0xFFFFFFFF}));
}

TEST(VoiceMenu, VoiceOffLeavesThePlayersOutputNearSilentButNotMuted) {
  MainWindow window(testing::OfflineConfig());
  const testing::MainWindowControls ui(window);
  ui.VoiceOffItem->trigger();
  EXPECT_NEAR(ui.CuePlayer->audioOutput()->volume(), 255.0 / 65535.0, 1e-6);
  EXPECT_GT(ui.CuePlayer->audioOutput()->volume(), 0.0f);
  ui.VoiceOnItem->trigger();
  EXPECT_FLOAT_EQ(ui.CuePlayer->audioOutput()->volume(), 1.0f);
}

TEST(CuePlayer, PlayCueResolvesTheCueBesideTheExecutable) {
  MainWindow window(testing::OfflineConfig());
  const testing::MainWindowControls ui(window);
  window.PlayCue(cue::kWelcome);
  EXPECT_EQ(ui.CuePlayer->Url(), RunDirectory() + QStringLiteral("/mp3/欢迎使用.mp3"));
  EXPECT_EQ(ui.CuePlayer->player()->source().toLocalFile(), ui.CuePlayer->Url());
}

TEST(CuePlayer, ANewCueCutsOffTheOneThatIsPlayingAndIsPlayedToItsEnd) {
  MainWindow window(testing::OfflineConfig());
  const testing::MainWindowControls ui(window);
  QMediaPlayer* player = ui.CuePlayer->player();
  window.PlayCue(cue::kInstructions);  // the longest cue
  ASSERT_TRUE(testing::WaitFor([&] { return player->position() > 300; }, 10000))
      << "the player never advanced";
  const qint64 cutAt = player->position();
  ASSERT_LT(cutAt, 3000);  // the instructions run for over four seconds

  window.PlayCue(cue::kSuccess);
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
  const testing::MainWindowControls ui(window);
  QMediaPlayer* player = ui.CuePlayer->player();
  ui.CuePlayer->Play(QStringLiteral("/nonexistent/mp3/欢迎使用.mp3"));
  EXPECT_TRUE(player->source().isEmpty());
  EXPECT_EQ(player->playbackState(), QMediaPlayer::StoppedState);
  EXPECT_EQ(player->error(), QMediaPlayer::NoError);
  EXPECT_TRUE(window.Status().isEmpty());
}

}  // namespace
}  // namespace quarvel
