#pragma once

// The history of finished lookups, from the window and from batches: an
// SQLite database in the data folder. Several processes write to it at once
// (write-ahead log, busy time-out). A history that cannot be used never stops
// a lookup, and it is reported once:
// - one that cannot be written (read only, someone else's, no regular file)
//   is left as it is, and lookups are not recorded;
// - a damaged one (no database, malformed, cut short) is salvaged: what of it
//   still reads is copied row by row into a fresh history, and the damaged
//   file is kept beside it as history.sqlite3.damaged-<UTC time>.
// A reader (HistoryAccess::ReadOnly) never creates, migrates, moves or
// salvages anything: it lists what reads, and reports what it found.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quarvel {

enum class HistorySource { Window, Batch };

// A writer records lookups; a reader (`quarvel-cli history`, a list of past
// lookups) only reads.
enum class HistoryAccess { ReadWrite, ReadOnly };

// What opening the history found.
enum class HistoryState {
  Open,      // usable
  Missing,   // a reader found no history: nothing to list
  Damaged,   // a reader found it damaged: Newest lists what still reads
  Unusable,  // nothing can be read or recorded; it was reported
};

// "window", "batch".
QString SourceName(HistorySource source);

struct HistoryRecord {
  QDateTime finishedAt;  // UTC; stored as ISO 8601 with milliseconds
  HistorySource source = HistorySource::Window;
  QString entry;
  QString check;  // the offline verdict
  QString path;   // "comprehensive" or "official"
  QString outcome;
  QString model;
  QString serial;
  QString warrantyEnd;
  QString picture;
  double seconds = 0;
  QString reason;  // why a lookup ended without a result, when known
};

// The record's text columns as stored, finished_at to picture, in the order
// of the table (seconds and reason follow them there).
QStringList RecordTexts(const HistoryRecord& record);

// Which lookups History::Newest lists; the default takes every one.
struct HistoryFilter {
  QString entry;    // entries holding this text, in any case
  QDateTime since;  // finished at or after it; invalid: at any time
  QString outcome;  // this outcome only; empty: any

  bool Matches(const HistoryRecord& record) const;
};

// finished_at as stored: 2024-05-01T12:34:56.789Z
QString IsoUtc(const QDateTime& time);

class History {
 public:
  using Reporter = std::function<void(const QString& message)>;

  static constexpr int kSchemaVersion = 3;
  static constexpr char kFileName[] = "history.sqlite3";
  static constexpr int kBusyTimeoutMs = 10000;

  // Opens `folder`/history.sqlite3. A writer creates the folder (0700) and
  // the file (0600) when missing and brings an older schema up to date; a
  // reader opens the file read-only, reads older schemas as they are and
  // finds nothing when it is missing. Problems go to `report` (default: the
  // Qt log), at most once for opening and once for writing.
  explicit History(const QString& folder, Reporter report = {},
                   HistoryAccess access = HistoryAccess::ReadWrite);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  HistoryState State() const { return state_; }
  bool IsOpen() const { return state_ == HistoryState::Open; }
  QString FilePath() const { return path_; }
  // Where a writer kept a damaged history it replaced; empty when none.
  QString DamagedCopyPath() const { return damagedCopy_; }

  // Stores one finished lookup. False when it could not be stored (always for
  // a reader); never throws.
  bool Record(const HistoryRecord& record);

  // The newest `limit` records that `filter` takes (all when limit <= 0),
  // newest first.
  std::vector<HistoryRecord> Newest(int limit = 0, const HistoryFilter& filter = {}) const;

 private:
  enum class OpenResult { Ok, Damaged, Failed };
  void OpenForWriting(const QString& folder);
  void OpenForReading();
  OpenResult TryOpen(QString* problem);
  void Salvage(const QString& damage);
  bool MoveDamagedAside(QString* problem);
  void Close();
  void Report(const QString& message);

  QString path_;
  QString damagedCopy_;
  Reporter report_;
  HistoryState state_ = HistoryState::Unusable;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  bool hasReason_ = true;  // false for a reader of a schema before version 3
  bool writeReported_ = false;
};

}  // namespace quarvel
