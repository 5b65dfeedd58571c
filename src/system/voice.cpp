#include "system/voice.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QSet>
#include <QUrl>

#include "app/logging.h"
#include "app/main_window.h"
#include "app/run_directory.h"

namespace quarvel {

void PlayerOutputVolume::Set(uint32_t value) {
  const double left = value & 0xFFFFu, right = value >> 16;
  output_->setVolume(static_cast<float>((left + right) / 2.0 / 65535.0));
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

void PlayCue(MainWindow& window, const QString& cueLiteral) {
  window.CuePlayer->Play(RunPath(cueLiteral));
}

void OnVoiceOff(MainWindow& window) {
  SetWaveVolume(window.outputVolume(), 0, 0);
  window.SetStatus(QStringLiteral("已关闭语音"));
}

void OnVoiceOn(MainWindow& window) {
  SetWaveVolume(window.outputVolume(), 100, 100);
  window.SetStatus(QStringLiteral("已开启语音"));
}

}  // namespace quarvel
