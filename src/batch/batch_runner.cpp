#include "batch/batch_runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QHash>
#include <QPointer>
#include <QTimer>

#include <algorithm>

#include "base/numbers/device_number.h"
#include "base/records/history.h"
#include "batch/progress.h"
#include "lookup/lookup_record.h"
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
      progress_(progress) {}

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
  entries_ = entries;
  next_ = 0;
  finished_ = 0;
  crashed_ = 0;
  status_ = -1;
  runStamp_ = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'"));
  if (!settings_.pictureFolder.isEmpty()) QDir().mkpath(settings_.pictureFolder);
  progress_->Start();
  if (entries_.isEmpty()) {
    progress_->Finish();
    return 0;
  }

  const int wanted = std::clamp(settings_.jobs, 1, static_cast<int>(entries_.size()));
  for (int j = 0; j < wanted; ++j) {
    std::unique_ptr<EntryLookup> engine = factory_ ? factory_(j) : nullptr;
    if (!engine) {
      progress_->Message(
          QStringLiteral("lookup engine %1 of %2 could not be started").arg(j + 1).arg(wanted));
      continue;
    }
    Job job;
    job.engine = std::move(engine);
    job.deadline = new QTimer(this);
    job.deadline->setSingleShot(true);
    jobs_.push_back(std::move(job));
  }
  if (jobs_.empty()) {
    progress_->Finish();
    return 1;
  }
  for (int j = 0; j < static_cast<int>(jobs_.size()); ++j) {
    connect(jobs_[j].deadline, &QTimer::timeout, this, [this, j] {
      Job& job = jobs_[j];
      if (job.index < 0) return;
      job.engine->Cancel();
      LookupOutcome timedOut;
      timedOut.kind = OutcomeKind::TimedOut;
      OnDone(j, job.ticket, timedOut);
    });
  }

  system::StopSignals stopSignals;
  connect(&stopSignals, &system::StopSignals::Stopped, this, &BatchRunner::Stop);
  QEventLoop loop;
  loop_ = &loop;
  for (int j = 0; j < static_cast<int>(jobs_.size()) && status_ < 0; ++j) StartNext(j);
  if (status_ < 0) loop.exec();
  loop_ = nullptr;
  progress_->Finish();
  for (Job& job : jobs_) delete job.deadline;
  jobs_.clear();
  return status_;
}

void BatchRunner::StartNext(int j) {
  Job& job = jobs_[j];
  job.index = -1;
  if (status_ >= 0) return;
  if (next_ >= entries_.size()) {
    for (const Job& other : jobs_)
      if (other.index >= 0) return;
    if (crashed_ > 0)
      progress_->Message(
          QStringLiteral("%1 %2 ended the lookup twice and %3 skipped")
              .arg(crashed_)
              .arg(crashed_ == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))
              .arg(crashed_ == 1 ? QStringLiteral("was") : QStringLiteral("were")));
    End(crashed_ > 0 ? 1 : 0);
    return;
  }
  job.index = next_++;
  job.ticket = ++tickets_;
  job.clock.start();
  job.deadline->start(settings_.entryTimeoutMs);
  const EntryForLookup clean = ForLookup(entries_[job.index], settings_.checkEntries);
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
          if (self) self->OnDone(j, ticket, bad);
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
          if (self) self->OnDone(j, ticket, outcome);
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
  const int index = job.index;
  const double seconds = job.clock.nsecsElapsed() / 1e9;
  const QString& entry = entries_[index];
  const HistoryRecord record =
      FinishedLookup(HistorySource::Batch, entry, settings_.path, outcome, seconds);
  const QDateTime& finishedAt = record.finishedAt;
  if (history_) history_->Record(record);

  const QByteArray row = csv::FormatRecord(
      {entry, record.check, record.path, record.outcome, record.model, record.serial,
       record.warrantyEnd, record.picture, IsoUtc(finishedAt), QString::number(seconds, 'f', 2)},
      settings_.cells);
  job.index = -1;
  if (!rows_.Put(index, row)) {
    Fail(QStringLiteral("the output cannot be written (%1)").arg(sink_->Error()));
    return;
  }
  ++finished_;
  if (!outcome.reason.isEmpty()) {
    progress_->Message(
        QStringLiteral("%1: %2 (%3)").arg(OneLine(entry), record.outcome, outcome.reason));
    if (outcome.reason == QLatin1String(kCrashedTwice)) ++crashed_;
  }
  progress_->EntryDone();
  StartNext(j);
}

void BatchRunner::AbandonRunning() {
  for (Job& job : jobs_) {
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
  progress_->Message(message);
  End(1);
}

void BatchRunner::Stop(int signal) {
  if (status_ >= 0 || !loop_) return;
  AbandonRunning();
  // What finished ahead of an entry that was still running is written now,
  // out of order, rather than looked up again.
  const int early = rows_.Waiting();
  if (!rows_.FlushWaiting()) {
    finished_ -= early;
    progress_->Message(QStringLiteral("the output cannot be written (%1)").arg(sink_->Error()));
  }
  End(128 + signal);
}

void BatchRunner::End(int status) {
  if (status_ >= 0) return;
  status_ = status;
  if (loop_) loop_->quit();
}

}  // namespace quarvel
