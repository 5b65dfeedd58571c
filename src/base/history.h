#pragma once

// The history of finished lookups, from the window and from batches: an
// SQLite database in the data folder. Several processes write to it at once
// (write-ahead log, busy time-out). A history that cannot be opened or is
// damaged never stops a lookup: it is reported once, set aside under a new
// name beside it, and a fresh one is used.
#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

#include "base/lookup_outcome.h"

namespace quarvel {

enum class HistorySource { Window, Batch };

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

// The record of a lookup of entry on path that ended with outcome just now:
// the offline check and the names as the history and the batch CSV write them.
HistoryRecord FinishedLookup(HistorySource source, const QString& entry, LookupPath path,
                             const LookupOutcome& outcome, double seconds);

// finished_at as stored: 2024-05-01T12:34:56.789Z
QString IsoUtc(const QDateTime& time);

class History {
 public:
  using Reporter = std::function<void(const QString& message)>;

  static constexpr int kSchemaVersion = 2;
  static constexpr char kFileName[] = "history.sqlite3";
  static constexpr int kBusyTimeoutMs = 10000;

  // Opens `folder`/history.sqlite3, creating the folder and the file when
  // missing and bringing an older schema up to date. Problems go to `report`
  // (default: the Qt log), at most once for opening and once for writing.
  explicit History(const QString& folder, Reporter report = {});
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  bool IsOpen() const { return db_ != nullptr; }
  QString FilePath() const { return path_; }
  // Where an unusable history was moved to; empty when none was.
  QString SetAsidePath() const { return setAside_; }

  // Stores one finished lookup. False when it could not be stored; never throws.
  bool Record(const HistoryRecord& record);

  // The newest `limit` records (all when limit <= 0), newest first.
  std::vector<HistoryRecord> Newest(int limit = 0) const;

 private:
  enum class OpenResult { Ok, Unusable, Failed };
  OpenResult TryOpen(QString* problem);
  bool SetAside(QString* problem);
  void Close();
  void Report(const QString& message);

  QString path_;
  QString setAside_;
  Reporter report_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  bool writeReported_ = false;
};

}  // namespace quarvel
