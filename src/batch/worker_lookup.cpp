#include "batch/worker_lookup.h"

#include <QTimer>

#include "base/config/logging.h"

namespace quarvel {

WorkerLookup::WorkerLookup(QString program, QStringList arguments, QProcessEnvironment environment)
    : program_(std::move(program)),
      arguments_(std::move(arguments)),
      environment_(std::move(environment)) {
  Launch();
}

WorkerLookup::~WorkerLookup() {
  done_ = nullptr;
  running_ = false;
  if (!process_) return;
  QObject::disconnect(process_.get(), nullptr, &context_, nullptr);
  // The end of its input ends the worker; one that does not go is killed.
  process_->closeWriteChannel();
  if (!process_->waitForFinished(3000)) {
    process_->kill();
    process_->waitForFinished(1000);
  }
}

qint64 WorkerLookup::ProcessId() const { return process_ ? process_->processId() : 0; }

void WorkerLookup::Launch() {
  output_ = LineBuffer();
  process_ = std::make_unique<QProcess>();
  process_->setProgram(program_);
  process_->setArguments(arguments_);
  process_->setProcessEnvironment(environment_);
  // Its warnings are the batch's.
  process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QProcess* process = process_.get();
  QObject::connect(process, &QProcess::readyReadStandardOutput, &context_, [this] { OnOutput(); });
  QObject::connect(
      process, &QProcess::finished, &context_, [this](int code, QProcess::ExitStatus how) {
        OnEnded(how == QProcess::CrashExit ? QStringLiteral("it crashed")
                                           : QStringLiteral("exit status %1").arg(code),
                true);
      });
  QObject::connect(
      process, &QProcess::errorOccurred, &context_, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
          OnEnded(QStringLiteral("it could not be started: ") + process_->errorString(), false);
      });
  process_->start();
}

void WorkerLookup::Stop() {
  if (!process_) return;
  QObject::disconnect(process_.get(), nullptr, &context_, nullptr);
  process_->kill();
  process_->waitForFinished(2000);
  process_.reset();
}

void WorkerLookup::Start(const LookupRequest& request, Done done) {
  request_ = request;
  done_ = std::move(done);
  running_ = true;
  retried_ = false;
  if (!process_) Launch();
  process_->write(EncodeWorkerRequest(request_));
}

void WorkerLookup::Cancel() {
  done_ = nullptr;
  if (!running_) return;
  running_ = false;
  // The worker may be deep in a wait: it is ended, and the next entry gets a
  // fresh one.
  Stop();
}

void WorkerLookup::OnOutput() {
  output_.Append(process_->readAllStandardOutput());
  bool wrong = output_.Broken();
  while (const std::optional<QByteArray> line = output_.Next()) {
    const std::optional<LookupOutcome> outcome = DecodeWorkerOutcome(*line);
    // No outcome, or one that nothing asked for.
    wrong = !outcome || !running_;
    if (wrong) break;
    running_ = false;
    Report(*outcome);
  }
  if (wrong || output_.Broken()) {
    running_ = false;
    LookupOutcome failed;
    failed.failure = QStringLiteral("the lookup worker wrote a line that is no outcome");
    Stop();
    Report(failed);
  }
}

void WorkerLookup::OnEnded(const QString& why, bool started) {
  // Not from inside the process's own signal: it is replaced here.
  QTimer::singleShot(0, &context_, [this, why, started] {
    if (!process_ || process_->state() != QProcess::NotRunning) return;
    Stop();
    if (!running_) return;  // started again by the next entry
    if (!retried_) {
      retried_ = true;
      Launch();
      process_->write(EncodeWorkerRequest(request_));
      return;
    }
    // An entry that ends every worker it meets is skipped, not fatal: the
    // batch records it and goes on with a fresh worker.
    if (!started) {  // no entry's fault: the batch cannot go on
      running_ = false;
      LookupOutcome failed;
      failed.failure = QStringLiteral("the lookup worker %1").arg(why);
      Report(failed);
      return;
    }
    qCInfo(lcLookup).noquote() << "the lookup worker ended twice looking up" << request_.entry
                               << "(" + why + ")";
    running_ = false;
    LookupOutcome crashed;
    crashed.kind = OutcomeKind::TimedOut;
    crashed.reason = QLatin1String(kCrashedTwice);
    Report(crashed);
  });
}

void WorkerLookup::Report(const LookupOutcome& outcome) {
  Done done = std::move(done_);
  done_ = nullptr;
  if (!done) return;
  // Always from the event loop, never inside Start.
  QTimer::singleShot(0, &context_, [done, outcome] { done(outcome); });
}

EntryLookupFactory WorkerFactory(const QString& program, const QStringList& hostArguments) {
  return [program, hostArguments](int) -> std::unique_ptr<EntryLookup> {
    return std::make_unique<WorkerLookup>(
        program, QStringList{QStringLiteral("batch-worker")} + hostArguments,
        QProcessEnvironment::systemEnvironment());
  };
}

}  // namespace quarvel
