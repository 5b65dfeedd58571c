#pragma once

// Progress of a batch on standard error: done/total, entries per minute and
// the time left. On a terminal one line is rewritten in place; to a file or
// a pipe only the messages and, at the end, one summary line. Quiet: errors
// alone. For a program that reads it (the batch window), every update,
// message and row is one JSON object a line instead.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quarvel {

class Progress {
 public:
  using Writer = std::function<void(const QByteArray&)>;

  // `alreadyDone` of `total` entries were done by an earlier run. Each
  // message is shown after `messagePrefix` (a program's name, say): the
  // messages themselves come without one.
  Progress(Writer write, bool terminal, int total, int alreadyDone, QString messagePrefix = {});

  // From now on each update is {"event":"progress","done":N,"total":M,
  // "per_minute":X,"seconds_left":S} (the last two once known), each message
  // {"event":"message","text":T} and each row {"event":"row","fields":[...]}.
  void UseJson() { json_ = true; }
  // From now on only errors are shown.
  void BeQuiet() { quiet_ = true; }
  // A row of the output, as its fields (shown only as JSON).
  void Row(const QStringList& fields);

  void Start();
  void EntryDone();
  // A message on a line of its own (the progress line is cleared first), or
  // to the handler set here (a window shows them as it likes).
  void Message(const QString& text);
  // A message that is shown however quiet the progress is: something went
  // wrong with the batch itself, not with one entry.
  void Error(const QString& text);
  void SetMessageHandler(std::function<void(const QString&)> handler) {
    onMessage_ = std::move(handler);
  }
  // Ends the progress line.
  void Finish();

  int Done() const { return done_; }

  // "12/500 done, 5.3 entries/min, 1:32:10 left"; the rate counts only the
  // entries of this run, over `elapsedMs` since it started.
  static QString Line(int done, int total, int doneThisRun, qint64 elapsedMs);

  // What Line tells: entries a minute over this run, and the seconds left at
  // that rate (0 when all are done); nothing before an entry of this run is done.
  struct Pace {
    double perMinute = 0;
    qint64 secondsLeft = 0;
  };
  static std::optional<Pace> Estimate(int done, int total, int doneThisRun, qint64 elapsedMs);
  // Seconds as "1:32:10".
  static QString Clock(qint64 seconds);

 private:
  void Show();

  Writer write_;
  bool terminal_;
  int total_;
  int done_;
  int doneThisRun_ = 0;
  QString messagePrefix_;
  std::function<void(const QString&)> onMessage_;
  bool lineOpen_ = false;
  bool json_ = false;
  bool quiet_ = false;
  QElapsedTimer clock_;
};

}  // namespace quarvel
