#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

class QAudioOutput;
class QMediaPlayer;

namespace quarvel {

class MainWindow;

// The voice cues, as paths below the run directory.
namespace cue {
inline const QString kWelcome = QStringLiteral("\\mp3\\欢迎使用.mp3");
inline const QString kQuerying = QStringLiteral("\\mp3\\正在查询.mp3");
inline const QString kSuccess = QStringLiteral("\\mp3\\查询成功.mp3");
inline const QString kEnterCorrectly = QStringLiteral("\\mp3\\请正确输入.mp3");
inline const QString kFailed = QStringLiteral("\\mp3\\查询失败.mp3");
inline const QString kCopied = QStringLiteral("\\mp3\\复制信息成功.mp3");
inline const QString kScreenshotSaved = QStringLiteral("\\mp3\\截图成功.mp3");
inline const QString kScreenshotAbandoned = QStringLiteral("\\mp3\\已放弃截图.mp3");
inline const QString kInstructions = QStringLiteral("\\mp3\\使用说明.mp3");
}  // namespace cue

// The hidden cue player: starts a file when given its path; a new cue cuts
// off the one playing. A missing file plays nothing and shows nothing.
class CuePlayerWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CuePlayerWidget(QWidget* parent = nullptr);
  ~CuePlayerWidget() override;

  void Play(const QString& path);
  QString Url() const { return url_; }
  QMediaPlayer* player() const { return player_; }
  QAudioOutput* audioOutput() const { return output_; }

 private:
  QMediaPlayer* player_;
  QAudioOutput* output_;
  QString url_;
};

// Sets the cue player's output to an output volume value (low 16 bits the
// left channel, high 16 bits the right): the mean of the two channels.
void SetPlayerVolume(QAudioOutput* output, uint32_t value);

// Plays one cue given relative to the run directory.
void PlayCue(MainWindow& window, const QString& cueLiteral);

// Menu items "关闭语音" and "开启语音".
void OnVoiceOff(MainWindow& window);
void OnVoiceOn(MainWindow& window);

}  // namespace quarvel
