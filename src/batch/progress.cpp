#include "batch/progress.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace quarvel {
namespace {

QByteArray JsonLine(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace

Progress::Progress(Writer write, bool terminal, int total, int alreadyDone, QString messagePrefix)
    : write_(std::move(write)),
      terminal_(terminal),
      total_(total),
      done_(alreadyDone),
      messagePrefix_(std::move(messagePrefix)) {}

std::optional<Progress::Pace> Progress::Estimate(int done, int total, int doneThisRun,
                                                 qint64 elapsedMs) {
  if (doneThisRun <= 0 || elapsedMs <= 0) return std::nullopt;
  Pace pace;
  pace.perMinute = doneThisRun * 60000.0 / static_cast<double>(elapsedMs);
  if (done < total)
    pace.secondsLeft = static_cast<qint64>(std::ceil((total - done) * 60.0 / pace.perMinute));
  return pace;
}

QString Progress::Clock(qint64 seconds) {
  return QStringLiteral("%1:%2:%3")
      .arg(seconds / 3600)
      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString Progress::Line(int done, int total, int doneThisRun, qint64 elapsedMs) {
  QString line = QStringLiteral("%1/%2 done").arg(done).arg(total);
  const std::optional<Pace> pace = Estimate(done, total, doneThisRun, elapsedMs);
  if (!pace) {
    if (done < total) line += QStringLiteral(", rate not known yet");
    return line;
  }
  line += QStringLiteral(", %1 entries/min").arg(pace->perMinute, 0, 'f', 1);
  if (done < total) line += QStringLiteral(", %1 left").arg(Clock(pace->secondsLeft));
  return line;
}

void Progress::Start() {
  clock_.start();
  Show();
}

void Progress::EntryDone() {
  ++done_;
  ++doneThisRun_;
  Show();
}

void Progress::Show() {
  if (json_) {
    QJsonObject update{{"event", "progress"}, {"done", done_}, {"total", total_}};
    if (const std::optional<Pace> pace = Estimate(done_, total_, doneThisRun_, clock_.elapsed())) {
      update.insert("per_minute", pace->perMinute);
      update.insert("seconds_left", pace->secondsLeft);
    }
    write_(JsonLine(update));
    return;
  }
  // To a file or a pipe the line is written once, at the end.
  if (!terminal_ || quiet_) return;
  const QByteArray line = Line(done_, total_, doneThisRun_, clock_.elapsed()).toUtf8();
  // Back to the start of the line, the new text, the rest of the old erased.
  write_("\r" + line + "\x1b[K");
  lineOpen_ = true;
}

void Progress::Message(const QString& text) {
  if (quiet_ && !json_) return;
  Error(text);
}

void Progress::Error(const QString& text) {
  if (onMessage_) {
    onMessage_(text);
    return;
  }
  if (json_) {
    write_(JsonLine({{"event", "message"}, {"text", text}}));
    return;
  }
  if (lineOpen_) write_("\r\x1b[K");
  write_((messagePrefix_ + text).toUtf8() + "\n");
  if (lineOpen_) Show();
}

void Progress::Row(const QStringList& fields) {
  if (json_) write_(JsonLine({{"event", "row"}, {"fields", QJsonArray::fromStringList(fields)}}));
}

void Progress::Finish() {
  if (lineOpen_) {
    write_("\n");
  } else if (!terminal_ && !quiet_ && !json_ && !onMessage_) {
    write_(Line(done_, total_, doneThisRun_, clock_.elapsed()).toUtf8() + "\n");
  }
  lineOpen_ = false;
}

}  // namespace quarvel
