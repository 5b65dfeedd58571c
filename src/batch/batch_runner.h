#pragma once

// Runs the entries of a batch through N lookup engines side by side, writes
// one CSV row per entry as it ends (in input order: a row that finishes early
// waits for the earlier ones), records every finished lookup in the history,
// shows progress and stops cleanly on SIGINT or SIGTERM.
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

#include <QHash>
#include <QList>

#include "base/records/csv.h"
#include "batch/site_pace.h"
#include "lookup/lookup_outcome.h"

class QTimer;

namespace quarvel {

class History;
class Progress;

struct BatchSettings {
  LookupPath path = LookupPath::Comprehensive;
  int jobs = 1;
  // How the rows' cells are written: by default a cell a spreadsheet would
  // take for a formula gets an apostrophe in front.
  csv::Cells cells = csv::Cells::Guarded;
  // Each entry's picture is stored in here; empty: no picture is kept (and a
  // found row names none).
  QString pictureFolder;
  int entryTimeoutMs = 180000;  // a lookup still running then ends as timed_out
  // Entries that fail the offline check end bad_input without a request, and
  // the others go in their clean form (ForLookup); without it they go as
  // given. Control characters and overlong entries are never sent.
  bool checkEntries = false;
  // Lookups a minute that start on the site, all jobs together (0: no cap).
  double ratePerMinute = 0;
  // How often an entry whose lookup ended for a passing reason (the site
  // asked to wait, a page or picture that got no answer) is tried again
  // before it ends timed_out. The site is left alone meanwhile: for the
  // time it named (at most two minutes), or a back-off.
  int retries = 2;
};

// The entries of `input` still to do when `done` are in the output already;
// an entry given twice is done twice.
QStringList EntriesToDo(const QStringList& input, const QStringList& done);

class BatchRunner : public QObject {
  Q_OBJECT
 public:
  // `history` may be null; `rows` and `progress` must outlive the runner.
  BatchRunner(BatchSettings settings, EntryLookupFactory factory, csv::RowSink* rows,
              History* history, Progress* progress);
  ~BatchRunner() override;

  // Looks up `entries` in order, running the event loop until all are done;
  // SIGINT and SIGTERM stop it. Returns 0 when every entry got an outcome, 1
  // when the batch could not go on (no engine, output not writable) or a
  // finished lookup could not be recorded in the history (said again at the
  // end), 128 + signal when it was stopped, system::kClosedPipeStatus when the
  // rows went to a pipe whose reader is gone (said nowhere: no one is
  // listening).
  int Run(const QStringList& entries);

  // Starts looking up `entries` and returns at once: the lookups go on in the
  // program's event loop, and Ended comes (always later, from the event
  // loop) with the status Run would return. The engines are gone by then.
  void Start(const QStringList& entries);
  bool Running() const { return running_; }

  // What SIGINT and SIGTERM do: the running lookups are abandoned (they are
  // looked up again when the batch is resumed), the rows that are finished
  // are written, and the batch ends with 128 + signal.
  void Stop(int signal);

  // Entries that got an outcome in this run (their rows are written), and
  // those of them whose outcome leaves the question open (Decided).
  int Finished() const { return finished_; }
  int Undecided() const { return undecided_; }
  int Total() const { return static_cast<int>(entries_.size()); }

 signals:
  void Ended(int status);

 private:
  struct Job {
    std::unique_ptr<EntryLookup> engine;
    int index = -1;  // the entry it is looking up; -1 when idle
    quint64 ticket = 0;
    quint64 launched = 0;  // the ticket the deadline was started for
    QElapsedTimer clock;
    QTimer* deadline = nullptr;
    QTimer* wait = nullptr;  // until the site may be asked
  };

  void StartNext(int job);
  // Sends the job's entry to its engine, when the site's pace allows.
  void Launch(int job);
  // A passing failure of the job's entry: true when it is tried again.
  bool TryAgain(int job, const LookupOutcome& outcome);
  void OnDone(int job, quint64 ticket, const LookupOutcome& outcome);
  void Fail(const QString& message);
  void AbandonRunning();
  void End(int status);
  // After End, from the event loop: the engines go, Ended is sent.
  void WindUp();
  QString PictureFile(int index) const;

  BatchSettings settings_;
  EntryLookupFactory factory_;
  csv::RowSink* sink_;
  csv::OrderedRows rows_;
  History* history_;
  Progress* progress_;
  std::vector<Job> jobs_;
  QStringList entries_;
  int next_ = 0;
  QList<int> again_;       // entries to try again, before the next ones
  QHash<int, int> tries_;  // passing failures so far, by entry
  SitePace pace_;
  QElapsedTimer since_;  // the pace's clock
  int finished_ = 0;
  int unrecorded_ = 0;  // finished lookups the history did not take
  int undecided_ = 0;
  quint64 tickets_ = 0;
  int status_ = -1;
  bool running_ = false;
  QString runStamp_;
};

}  // namespace quarvel
