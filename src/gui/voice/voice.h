#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "gui/cues.h"

class QAudioOutput;
class QMediaPlayer;
class QTimer;

namespace quarvel {

class Announcer;
class PlatformServices;

// The hidden cue player: starts a file when given its path; a new cue cuts
// off the one playing. A missing file plays nothing and shows nothing.
class CuePlayerWidget : public QWidget {
  Q_OBJECT
 public:
  explicit CuePlayerWidget(QWidget* parent = nullptr);
  ~CuePlayerWidget() override;

  void Play(const QString& path);
  QString Url() const { return url_; }
  static constexpr int kOpeningLimitMs = 1000;
  QMediaPlayer* player() const { return player_; }
  QAudioOutput* audioOutput() const { return output_; }

 private:
  // Gives the player the cue of url_, now.
  void Start();

  QMediaPlayer* player_;
  QAudioOutput* output_;
  QString url_;
  // A cue that came while the player was still opening the previous one.
  bool waiting_ = false;
  QTimer* openingLimit_;
};

// Sets the cue player's output to an output volume value (low 16 bits the
// left channel, high 16 bits the right): the mean of the two channels.
void SetPlayerVolume(QAudioOutput* output, uint32_t value);

// Menu items "关闭语音" and "开启语音": the cue volume near silent or full.
void OnVoiceOff(PlatformServices& platform, Announcer& announcer);
void OnVoiceOn(PlatformServices& platform, Announcer& announcer);

}  // namespace quarvel
