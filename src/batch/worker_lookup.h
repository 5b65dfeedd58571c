#pragma once

// The batch's side of a worker process (base/batch_worker.h): an EntryLookup
// whose engine runs in `quarvel-cli batch-worker`.
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <memory>

#include "batch/batch_worker.h"
#include "lookup/lookup_outcome.h"

namespace quarvel {

class WorkerLookup : public EntryLookup {
 public:
  // The worker is started at once, so that its browsers load while the
  // batch gets ready, and again after Cancel or when it ended on its own.
  WorkerLookup(QString program, QStringList arguments, QProcessEnvironment environment);
  ~WorkerLookup() override;
  WorkerLookup(const WorkerLookup&) = delete;
  WorkerLookup& operator=(const WorkerLookup&) = delete;

  // A worker that ends in the middle of a lookup is started again and given
  // the entry once more; when that one ends too, the entry is timed out with
  // the reason kCrashedTwice.
  void Start(const LookupRequest& request, Done done) override;
  void Cancel() override;

  // The running worker's process id (0 for none), for tests.
  qint64 ProcessId() const;

 private:
  void Launch();
  void Stop();
  void OnOutput();
  void OnEnded(const QString& why, bool started);
  void Report(const LookupOutcome& outcome);

  QString program_;
  QStringList arguments_;
  QProcessEnvironment environment_;
  QObject context_;  // the connections to the process, dropped with it
  std::unique_ptr<QProcess> process_;
  LineBuffer output_;
  LookupRequest request_;
  Done done_;
  bool running_ = false;
  bool retried_ = false;
};

// One worker a job: the program (this executable) with the host options.
// Each request says where its picture goes, so workers share the data folder.
EntryLookupFactory WorkerFactory(const QString& program, const QStringList& hostArguments);

}  // namespace quarvel
