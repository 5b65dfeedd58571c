#include "gui/voice/voice.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QSet>
#include <QUrl>

#include "base/config/logging.h"
#include "base/settings/output_volume.h"
#include "gui/notices.h"
#include "lookup/announcer.h"
#include "platform/platform_services.h"

namespace quarvel {

void SetPlayerVolume(QAudioOutput* output, uint32_t value) {
  const double left = value & 0xFFFFu, right = value >> 16;
  output->setVolume(static_cast<float>((left + right) / 2.0 / 65535.0));
}

CuePlayerWidget::CuePlayerWidget(QWidget* parent)
    : QWidget(parent), player_(new QMediaPlayer(this)), output_(new QAudioOutput(this)) {
  output_->setVolume(1.0f);  // volume 100
  player_->setAudioOutput(output_);
  player_->setLoops(1);
}

CuePlayerWidget::~CuePlayerWidget() { player_->stop(); }

void CuePlayerWidget::Play(const QString& path) {
  url_ = path;
  player_->stop();
  if (!QFileInfo(path).isFile()) {
    static QSet<QString> reported;  // one warning per missing file
    if (!reported.contains(path)) {
      reported.insert(path);
      qCWarning(lcSystem).noquote() << "voice cue missing:" << path;
    }
    player_->setSource(QUrl());
    return;
  }
  qCDebug(lcSystem).noquote() << "playing" << path;
  player_->setSource(QUrl::fromLocalFile(path));
  player_->play();
}

void OnVoiceOff(PlatformServices& platform, Announcer& announcer) {
  platform.SetCueVolume(WaveVolumeValue(0, 0));
  Announce(announcer, Notice::VoiceOff);
}

void OnVoiceOn(PlatformServices& platform, Announcer& announcer) {
  platform.SetCueVolume(WaveVolumeValue(100, 100));
  Announce(announcer, Notice::VoiceOn);
}

}  // namespace quarvel
