#include "base/history.h"

#include "base/device_number.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QtDebug>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <sys/stat.h>

namespace quarvel {
namespace {

// Each step brings the schema from version i to i + 1; the version is kept in
// PRAGMA user_version. Steps are only ever added.
constexpr const char* kMigrations[] = {
    // 1: the finished lookups.
    "CREATE TABLE lookups ("
    " id INTEGER PRIMARY KEY,"
    " finished_at TEXT NOT NULL,"
    " source TEXT NOT NULL,"
    " entry TEXT NOT NULL,"
    " \"check\" TEXT NOT NULL,"
    " path TEXT NOT NULL,"
    " outcome TEXT NOT NULL,"
    " model TEXT NOT NULL,"
    " serial TEXT NOT NULL,"
    " warranty_end TEXT NOT NULL,"
    " picture TEXT NOT NULL,"
    " seconds REAL NOT NULL)",
    // 2: newest first without sorting the whole table.
    "CREATE INDEX lookups_by_time ON lookups (finished_at, id)",
};
static_assert(std::size(kMigrations) == History::kSchemaVersion);

constexpr char kColumns[] =
    "finished_at, source, entry, \"check\", path, outcome, model, serial, warranty_end, picture, "
    "seconds";

// Codes after which the file itself is at fault and is set aside; others
// (busy, out of memory, a full disk) are passing troubles.
bool FileAtFault(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_FORMAT:
    case SQLITE_ERROR:  // e.g. a table that should be there is not
      return true;
    default:
      return false;
  }
}

QString ErrorText(sqlite3* db, int rc) {
  const char* text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  return QString::fromUtf8(text ? text : sqlite3_errstr(rc));
}

// Runs one statement; the first column of its first row goes to `value`.
int Exec(sqlite3* db, const char* sql, QString* value = nullptr) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  if (rc != SQLITE_OK) return rc;
  bool first = true;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    if (first && value) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      *value = QString::fromUtf8(text ? text : "");
    }
    first = false;
  }
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

void Bind(sqlite3_stmt* statement, int index, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  sqlite3_bind_text(statement, index, utf8.constData(), static_cast<int>(utf8.size()),
                    SQLITE_TRANSIENT);
}

QString Column(sqlite3_stmt* statement, int index) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
  return QString::fromUtf8(text ? text : "");
}

bool Exists(const QString& path) {
  struct stat info;
  return lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// Renames without ever replacing what is at `to`.
bool RenameNoReplace(const QString& from, const QString& to) {
  const QByteArray source = QFile::encodeName(from);
  const QByteArray target = QFile::encodeName(to);
  if (renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without RENAME_NOREPLACE.
  if (Exists(to)) return false;
  return std::rename(source.constData(), target.constData()) == 0;
}

}  // namespace

QString SourceName(HistorySource source) {
  return source == HistorySource::Batch ? QStringLiteral("batch") : QStringLiteral("window");
}

HistoryRecord FinishedLookup(HistorySource source, const QString& entry, LookupPath path,
                             const LookupOutcome& outcome, double seconds) {
  HistoryRecord record;
  record.finishedAt = QDateTime::currentDateTimeUtc();
  record.source = source;
  record.entry = entry;
  record.check = CheckNumber(entry).verdict;
  record.path = PathName(path);
  record.outcome = OutcomeName(outcome.kind);
  record.model = outcome.model;
  record.serial = outcome.serial;
  record.warrantyEnd = outcome.warrantyEnd;
  record.picture = outcome.picture;
  record.seconds = seconds;
  record.reason = outcome.reason;
  return record;
}

QString IsoUtc(const QDateTime& time) { return time.toUTC().toString(Qt::ISODateWithMs); }

History::History(const QString& folder, Reporter report) : report_(std::move(report)) {
  path_ = QDir(folder).filePath(QLatin1String(kFileName));
  if (folder.isEmpty() || !QDir().mkpath(folder)) {
    Report(QStringLiteral("the history folder %1 cannot be created; lookups are not recorded")
               .arg(folder));
    return;
  }
  // One process at a time decides whether the file is usable and sets it
  // aside, so that no one moves away a history another has just started.
  QLockFile lock(path_ + QStringLiteral(".lock"));
  lock.setStaleLockTime(30000);
  lock.tryLock(kBusyTimeoutMs);

  QString problem;
  OpenResult result = TryOpen(&problem);
  // Nothing to set aside when the file could not even be made.
  if (result == OpenResult::Unusable && !Exists(path_)) result = OpenResult::Failed;
  if (result == OpenResult::Unusable) {
    const QString first = problem;
    if (!SetAside(&problem)) {
      Report(QStringLiteral("the history %1 cannot be used (%2) nor moved aside (%3); lookups "
                            "are not recorded")
                 .arg(path_, first, problem));
      return;
    }
    result = TryOpen(&problem);
    if (result == OpenResult::Ok) {
      Report(QStringLiteral("the history %1 could not be used (%2); it was moved to %3 and a "
                            "fresh one was started")
                 .arg(path_, first, setAside_));
      return;
    }
    Report(QStringLiteral("the history %1 could not be used (%2) and was moved to %3; a fresh "
                          "one cannot be opened either (%4); lookups are not recorded")
               .arg(path_, first, setAside_, problem));
    return;
  }
  if (result == OpenResult::Failed)
    Report(QStringLiteral("the history %1 cannot be opened (%2); lookups are not recorded")
               .arg(path_, problem));
}

History::~History() { Close(); }

void History::Close() {
  if (insert_) sqlite3_finalize(insert_);
  insert_ = nullptr;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void History::Report(const QString& message) {
  if (report_)
    report_(message);
  else
    qWarning().noquote() << "quarvel:" << message;
}

History::OpenResult History::TryOpen(QString* problem) {
  struct stat info {};
  if (lstat(QFile::encodeName(path_).constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
    *problem = QStringLiteral("it is not a regular file");
    return OpenResult::Unusable;
  }
  // A file that is not a database is set aside before SQLite sees it: SQLite
  // would drop the journal files beside it on closing.
  if (info.st_size > 0) {
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly) && file.read(16) != QByteArray("SQLite format 3\0", 16)) {
      *problem = QStringLiteral("it is not an SQLite database");
      return OpenResult::Unusable;
    }
  }
  const auto fail = [&](int rc) {
    *problem = ErrorText(db_, rc);
    Close();
    return FileAtFault(rc) ? OpenResult::Unusable : OpenResult::Failed;
  };
  int rc =
      sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) return fail(rc);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  if (sqlite3_db_readonly(db_, "main") == 1) {
    Close();
    *problem = QStringLiteral("it cannot be written");
    return OpenResult::Unusable;
  }
  // The first statement reads the file: a file that is no database fails here.
  QString mode;
  if ((rc = Exec(db_, "PRAGMA journal_mode=WAL", &mode)) != SQLITE_OK) return fail(rc);
  if ((rc = Exec(db_, "PRAGMA synchronous=NORMAL")) != SQLITE_OK) return fail(rc);
  QString check;
  if ((rc = Exec(db_, "PRAGMA quick_check", &check)) != SQLITE_OK) return fail(rc);
  if (check != QLatin1String("ok")) {
    Close();
    *problem = QStringLiteral("it is damaged: %1").arg(check);
    return OpenResult::Unusable;
  }

  QString version;
  if ((rc = Exec(db_, "PRAGMA user_version", &version)) != SQLITE_OK) return fail(rc);
  if (version.toInt() > kSchemaVersion) {
    Close();
    *problem = QStringLiteral("it was written by a newer version (schema %1, this one knows %2)")
                   .arg(version)
                   .arg(kSchemaVersion);
    return OpenResult::Failed;
  }
  if (version.toInt() < kSchemaVersion) {
    // Another process may be bringing it up to date too: the version is read
    // again inside the write transaction.
    if ((rc = Exec(db_, "BEGIN IMMEDIATE")) != SQLITE_OK) return fail(rc);
    rc = Exec(db_, "PRAGMA user_version", &version);
    for (int step = version.toInt(); rc == SQLITE_OK && step < kSchemaVersion; ++step)
      rc = Exec(db_, kMigrations[step]);
    if (rc == SQLITE_OK) {
      const QByteArray set = "PRAGMA user_version = " + QByteArray::number(kSchemaVersion);
      rc = Exec(db_, set.constData());
    }
    if (rc == SQLITE_OK) rc = Exec(db_, "COMMIT");
    if (rc != SQLITE_OK) {
      const QString text = ErrorText(db_, rc);
      Exec(db_, "ROLLBACK");
      Close();
      *problem = text;
      return FileAtFault(rc) ? OpenResult::Unusable : OpenResult::Failed;
    }
  }
  const QByteArray insert =
      QByteArray("INSERT INTO lookups (") + kColumns + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
  if ((rc = sqlite3_prepare_v2(db_, insert.constData(), -1, &insert_, nullptr)) != SQLITE_OK)
    return fail(rc);
  return OpenResult::Ok;
}

bool History::SetAside(QString* problem) {
  const QString stamp =
      QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
  const QString base = path_ + QStringLiteral(".unusable-") + stamp;
  static const char* const kCompanions[] = {"-wal", "-shm", "-journal"};
  for (int n = 1; n < 1000; ++n) {
    const QString target = n == 1 ? base : base + QStringLiteral("-%1").arg(n);
    if (Exists(target)) continue;
    if (!RenameNoReplace(path_, target)) {
      if (errno == EEXIST) continue;
      *problem = QString::fromLocal8Bit(std::strerror(errno));
      return false;
    }
    setAside_ = target;
    // The journal files belong to the old file: they go with it, and a fresh
    // history never replays them.
    for (const char* suffix : kCompanions) {
      const QString from = path_ + QLatin1String(suffix);
      if (Exists(from) && !RenameNoReplace(from, target + QLatin1String(suffix)))
        QFile::remove(from);
    }
    return true;
  }
  *problem = QStringLiteral("no free name beside it");
  return false;
}

bool History::Record(const HistoryRecord& record) {
  if (!insert_) return false;
  Bind(insert_, 1, IsoUtc(record.finishedAt));
  Bind(insert_, 2, SourceName(record.source));
  Bind(insert_, 3, record.entry);
  Bind(insert_, 4, record.check);
  Bind(insert_, 5, record.path);
  Bind(insert_, 6, record.outcome);
  Bind(insert_, 7, record.model);
  Bind(insert_, 8, record.serial);
  Bind(insert_, 9, record.warrantyEnd);
  Bind(insert_, 10, record.picture);
  sqlite3_bind_double(insert_, 11, record.seconds);
  const int rc = sqlite3_step(insert_);
  sqlite3_reset(insert_);
  sqlite3_clear_bindings(insert_);
  if (rc == SQLITE_DONE) return true;
  if (!writeReported_) {
    writeReported_ = true;
    Report(QStringLiteral("a lookup could not be recorded in the history %1 (%2); further "
                          "failures are not reported")
               .arg(path_, ErrorText(db_, rc)));
  }
  return false;
}

std::vector<HistoryRecord> History::Newest(int limit) const {
  std::vector<HistoryRecord> records;
  if (!db_) return records;
  const QByteArray sql =
      QByteArray("SELECT ") + kColumns + " FROM lookups ORDER BY finished_at DESC, id DESC LIMIT ?";
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
    return records;
  sqlite3_bind_int(statement, 1, limit > 0 ? limit : -1);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    HistoryRecord record;
    record.finishedAt = QDateTime::fromString(Column(statement, 0), Qt::ISODateWithMs);
    record.source = Column(statement, 1) == QLatin1String("batch") ? HistorySource::Batch
                                                                   : HistorySource::Window;
    record.entry = Column(statement, 2);
    record.check = Column(statement, 3);
    record.path = Column(statement, 4);
    record.outcome = Column(statement, 5);
    record.model = Column(statement, 6);
    record.serial = Column(statement, 7);
    record.warrantyEnd = Column(statement, 8);
    record.picture = Column(statement, 9);
    record.seconds = sqlite3_column_double(statement, 10);
    records.push_back(std::move(record));
  }
  sqlite3_finalize(statement);
  return records;
}

}  // namespace quarvel
