#include "batch/batch_runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QTimer>

#include <algorithm>

#include "base/gate/handler_gate.h"
#include "base/numbers/device_number.h"
#include "base/records/history.h"
#include "base/text/date_text.h"
#include "batch/progress.h"
#include "lookup/lookup_record.h"
#include "platform/system/process.h"
#include "platform/system/stop_signals.h"

namespace quarvel {
namespace {

// An entry as a message shows it: on one line, and not endless.
QString OneLine(const QString& entry) {
  QString line;
  for (const QChar c : entry.left(64)) line += c.isPrint() ? c : QChar(u'?');
  return entry.size() > 64 ? line + QStringLiteral("…") : line;
}

}  // namespace

QStringList EntriesToDo(const QStringList& input, const QStringList& done) {
  QHash<QString, int> remaining;
  for (const QString& entry : done) ++remaining[entry];
  QStringList todo;
  for (const QString& entry : input) {
    auto it = remaining.find(entry);
    if (it != remaining.end() && it.value() > 0) {
      --it.value();
      continue;
    }
    todo.append(entry);
  }
  return todo;
}

BatchRunner::BatchRunner(BatchSettings settings, EntryLookupFactory factory, csv::RowSink* rows,
                         History* history, Progress* progress)
    : settings_(std::move(settings)),
      factory_(std::move(factory)),
      sink_(rows),
      rows_(rows),
      history_(history),
      progress_(progress),
      pace_(settings_.ratePerMinute) {}

BatchRunner::~BatchRunner() = default;

QString BatchRunner::PictureFile(int index) const {
  // Unique across runs and processes, and built only from safe characters
  // whatever the entry holds.
  QString safe;
  for (const QChar c : entries_[index]) {
    if (safe.size() >= 32) break;
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) safe += c;
  }
  const QString name = QStringLiteral("batch-%1-%2-%3%4.jpg")
                           .arg(runStamp_)
                           .arg(QCoreApplication::applicationPid())
                           .arg(index + 1, 5, 10, QLatin1Char('0'))
                           .arg(safe.isEmpty() ? QString() : QLatin1Char('-') + safe);
  return QDir(settings_.pictureFolder).filePath(name);
}

int BatchRunner::Run(const QStringList& entries) {
  system::StopSignals stopSignals;
  connect(&stopSignals, &system::StopSignals::Stopped, this, &BatchRunner::Stop);
  QEventLoop loop;
  connect(this, &BatchRunner::Ended, &loop, &QEventLoop::quit);
  Start(entries);
  loop.exec();
  return status_;
}

void BatchRunner::Start(const QStringList& entries) {
  entries_ = entries;
  next_ = 0;
  again_.clear();
  tries_.clear();
  pace_ = SitePace(settings_.ratePerMinute);
  since_.start();
  finished_ = 0;
  unrecorded_ = 0;
  undecided_ = 0;
  status_ = -1;
  running_ = true;
  runStamp_ = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'"));
  if (!settings_.pictureFolder.isEmpty()) QDir().mkpath(settings_.pictureFolder);
  progress_->Start();
  if (entries_.isEmpty()) {
    End(0);
    return;
  }

  const int wanted = std::clamp(settings_.jobs, 1, static_cast<int>(entries_.size()));
  for (int j = 0; j < wanted; ++j) {
    std::unique_ptr<EntryLookup> engine = factory_ ? factory_(j) : nullptr;
    if (!engine) {
      progress_->Error(
          QStringLiteral("lookup engine %1 of %2 could not be started").arg(j + 1).arg(wanted));
      continue;
    }
    Job job;
    job.engine = std::move(engine);
    job.deadline = new QTimer(this);
    job.deadline->setSingleShot(true);
    job.wait = new QTimer(this);
    job.wait->setSingleShot(true);
    jobs_.push_back(std::move(job));
  }
  if (jobs_.empty()) {
    End(1);
    return;
  }
  // The runner's own handlers go through the gate as every other handler of
  // the program does: in the window, a lookup of its own may be running.
  for (int j = 0; j < static_cast<int>(jobs_.size()); ++j) {
    ConnectTick(jobs_[j].deadline, this, [this, j] {
      Job& job = jobs_[j];
      // A tick held while the lookup ended belongs to no later one: the
      // deadline was started again for that, or not yet.
      if (job.index < 0 || job.launched != job.ticket || job.deadline->isActive()) return;
      job.engine->Cancel();
      LookupOutcome timedOut;
      timedOut.kind = OutcomeKind::TimedOut;
      OnDone(j, job.ticket, timedOut);
    });
    ConnectTick(jobs_[j].wait, this, [this, j] { Launch(j); });
  }
  for (int j = 0; j < static_cast<int>(jobs_.size()) && status_ < 0; ++j) StartNext(j);
}

void BatchRunner::WindUp() {
  progress_->Finish();
  for (Job& job : jobs_) {
    delete job.deadline;
    delete job.wait;
  }
  jobs_.clear();
  running_ = false;
  emit Ended(status_);
}

void BatchRunner::StartNext(int j) {
  Job& job = jobs_[j];
  job.index = -1;
  if (status_ >= 0) return;
  if (again_.isEmpty() && next_ >= entries_.size()) {
    for (const Job& other : jobs_)
      if (other.index >= 0) return;
    End(0);
    return;
  }
  job.index = again_.isEmpty() ? next_++ : again_.takeFirst();
  job.ticket = ++tickets_;
  if (!tries_.contains(job.index)) job.clock.start();  // a retry's time counts on
  Launch(j);
}

void BatchRunner::Launch(int j) {
  Job& job = jobs_[j];
  if (job.index < 0 || status_ >= 0) return;
  const EntryForLookup clean = ForLookup(entries_[job.index], settings_.checkEntries);
  if (clean.send) {
    const qint64 wait = pace_.WaitMs(since_.elapsed());
    if (wait > 0) {
      job.wait->start(static_cast<int>(wait));
      return;
    }
    pace_.Take(since_.elapsed());
  }
  job.deadline->start(settings_.entryTimeoutMs);
  job.launched = job.ticket;
  QPointer<BatchRunner> self(this);
  const quint64 ticket = job.ticket;
  if (!clean.send) {
    // Nothing travels: the entry ends at once, from the event loop.
    LookupOutcome bad;
    bad.kind = OutcomeKind::BadInput;
    bad.reason = clean.reason;
    QMetaObject::invokeMethod(
        this,
        [self, j, ticket, bad] {
          HandlerGate::Deliver(nullptr, [self, j, ticket, bad] {
            if (self) self->OnDone(j, ticket, bad);
          });
        },
        Qt::QueuedConnection);
    return;
  }
  LookupRequest request;
  request.entry = clean.form;
  request.path = settings_.path;
  request.pictureFile = settings_.pictureFolder.isEmpty() ? QString() : PictureFile(job.index);
  // Outcomes are taken from the event loop, one at a time, whenever and
  // however often the engine calls back.
  job.engine->Start(request, [self, j, ticket](const LookupOutcome& outcome) {
    if (!self) return;
    QMetaObject::invokeMethod(
        self.data(),
        [self, j, ticket, outcome] {
          HandlerGate::Deliver(nullptr, [self, j, ticket, outcome] {
            if (self) self->OnDone(j, ticket, outcome);
          });
        },
        Qt::QueuedConnection);
  });
}

void BatchRunner::OnDone(int j, quint64 ticket, const LookupOutcome& outcome) {
  if (j < 0 || j >= static_cast<int>(jobs_.size())) return;
  Job& job = jobs_[j];
  if (job.index < 0 || job.ticket != ticket || status_ >= 0) return;
  if (!outcome.failure.isEmpty()) {
    Fail(outcome.failure);
    return;
  }
  job.deadline->stop();
  job.ticket = ++tickets_;  // a second call for the same lookup finds nothing
  if (TryAgain(j, outcome)) return;
  const int index = job.index;
  const double seconds = job.clock.nsecsElapsed() / 1e9;
  const QString& entry = entries_[index];
  HistoryRecord record =
      FinishedLookup(HistorySource::Batch, entry, settings_.path, outcome, seconds);
  // The serial a result belongs to is the clean form that was looked up, on
  // the comprehensive path as on the official one (whose page shows it).
  if (record.serial.isEmpty() &&
      (outcome.kind == OutcomeKind::Found || outcome.kind == OutcomeKind::PictureFailed))
    record.serial = ForLookup(entry, settings_.checkEntries).form;
  const QDateTime& finishedAt = record.finishedAt;
  // A picture stored for a lookup whose row names none (one that could not be
  // converted, a lookup that ran out of time) belongs to no row: it goes.
  if (record.picture.isEmpty() && !settings_.pictureFolder.isEmpty())
    QFile::remove(PictureFile(index));
  if (history_ && !history_->Record(record)) ++unrecorded_;

  const QByteArray row =
      csv::FormatRecord({entry, record.check, record.path, record.outcome, record.model,
                         record.serial, record.warrantyEnd, record.picture, IsoUtc(finishedAt),
                         QString::number(seconds, 'f', 2), IsoDate(record.warrantyEnd)},
                        settings_.cells);
  job.index = -1;
  if (!rows_.Put(index, row)) {
    if (sink_->ReaderGone()) {
      AbandonRunning();
      End(system::kClosedPipeStatus);
      return;
    }
    Fail(QStringLiteral("the output cannot be written (%1)").arg(sink_->Error()));
    return;
  }
  ++finished_;
  if (!Decided(outcome)) ++undecided_;
  tries_.remove(index);
  if (!outcome.reason.isEmpty())
    progress_->Message(
        QStringLiteral("%1: %2 (%3)").arg(OneLine(entry), record.outcome, outcome.reason));
  progress_->EntryDone();
  StartNext(j);
}

bool BatchRunner::TryAgain(int j, const LookupOutcome& outcome) {
  Job& job = jobs_[j];
  if (outcome.retryAfterMs < 0) return false;
  int& tries = tries_[job.index];
  if (tries >= settings_.retries) return false;
  ++tries;
  const qint64 wait = outcome.retryAfterMs > 0
                          ? std::min<qint64>(outcome.retryAfterMs, SitePace::kMaxWaitMs)
                          : SitePace::BackOffMs(tries);
  pace_.PauseUntil(since_.elapsed() + wait);
  progress_->Message(QStringLiteral("waiting %1 s for the site (%2); %3 is tried again")
                         .arg(QString::number(wait / 1000.0, 'f', wait % 1000 ? 1 : 0),
                              outcome.reason, OneLine(entries_[job.index])));
  // The entry goes first, on whichever job is free when the site may be
  // asked again; this one takes it now and waits.
  again_.prepend(job.index);
  job.index = -1;
  StartNext(j);
  return true;
}

void BatchRunner::AbandonRunning() {
  for (Job& job : jobs_) {
    job.wait->stop();
    if (job.index < 0) continue;
    job.deadline->stop();
    job.engine->Cancel();
    job.index = -1;
    job.ticket = ++tickets_;
  }
}

void BatchRunner::Fail(const QString& message) {
  if (status_ >= 0) return;
  AbandonRunning();
  progress_->Error(message);
  End(1);
}

void BatchRunner::Stop(int signal) {
  if (status_ >= 0 || !running_) return;
  AbandonRunning();
  // What finished ahead of an entry that was still running is written now,
  // out of order, rather than looked up again.
  const int early = rows_.Waiting();
  if (!rows_.FlushWaiting()) {
    finished_ -= early;
    progress_->Error(QStringLiteral("the output cannot be written (%1)").arg(sink_->Error()));
  }
  End(128 + signal);
}

void BatchRunner::End(int status) {
  if (status_ >= 0) return;
  // The history said so at its first failure; the end, where it is seen, says
  // it again, and the batch did not go well.
  if (unrecorded_ > 0) {
    progress_->Error(QStringLiteral("%1 of %2 finished lookups could not be recorded in the "
                                    "history")
                         .arg(unrecorded_)
                         .arg(finished_));
    if (status == 0) status = 1;
  }
  status_ = status;
  // The engines go once no handler of theirs runs.
  QPointer<BatchRunner> self(this);
  QMetaObject::invokeMethod(
      this,
      [self] {
        HandlerGate::Deliver(nullptr, [self] {
          if (self) self->WindUp();
        });
      },
      Qt::QueuedConnection);
}

}  // namespace quarvel
