#include "gui/voice/voice.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QSet>
#include <QTimer>
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
    : QWidget(parent),
      player_(new QMediaPlayer(this)),
      output_(new QAudioOutput(this)),
      openingLimit_(new QTimer(this)) {
  output_->setVolume(1.0f);  // volume 100
  player_->setAudioOutput(output_);
  player_->setLoops(1);
  // The media backend must not be given a new source while it still opens
  // the last one: its streaming thread links the decoder then, and replacing
  // the source at that moment can deadlock both threads. A cue that comes
  // meanwhile starts as soon as the player has opened (or given up on) the
  // last one, or after a short limit.
  openingLimit_->setSingleShot(true);
  openingLimit_->setInterval(kOpeningLimitMs);
  const auto startWaiting = [this] {
    if (!waiting_) return;
    waiting_ = false;
    openingLimit_->stop();
    Start();
  };
  // Queued: the player is not given a new source from inside its own signal.
  connect(
      player_, &QMediaPlayer::mediaStatusChanged, this,
      [this, startWaiting] {
        // As it is now, not as it was when the signal was sent.
        if (player_->mediaStatus() != QMediaPlayer::LoadingMedia) startWaiting();
      },
      Qt::QueuedConnection);
  connect(openingLimit_, &QTimer::timeout, this, startWaiting);
}

CuePlayerWidget::~CuePlayerWidget() { player_->stop(); }

void CuePlayerWidget::Play(const QString& path) {
  url_ = path;
  if (player_->mediaStatus() == QMediaPlayer::LoadingMedia) {
    if (!waiting_) openingLimit_->start();
    waiting_ = true;
    return;
  }
  Start();
}

void CuePlayerWidget::Start() {
  const QString path = url_;
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
