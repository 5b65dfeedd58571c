#include "base/records/history.h"
#include "base/records/history_rows.h"

#include "base/files/safe_file.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QUrl>
#include <QtDebug>

#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <utility>

#include "base/config/logging.h"
#include "platform/system/files.h"

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
    // 3: why a lookup ended without a result.
    "ALTER TABLE lookups ADD COLUMN reason TEXT NOT NULL DEFAULT ''",
};
static_assert(std::size(kMigrations) == History::kSchemaVersion);

constexpr char kColumns[] =
    "finished_at, source, entry, \"check\", path, outcome, model, serial, warranty_end, picture, "
    "seconds, reason";
// The same for a schema before version 3.
constexpr char kColumnsWithoutReason[] =
    "finished_at, source, entry, \"check\", path, outcome, model, serial, warranty_end, picture, "
    "seconds, ''";

// Codes after which the file's content is at fault: it is salvaged. Others
// (no permission, busy, out of memory, a full disk) leave it alone.
bool Damage(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_ERROR:  // e.g. a table that should be there is not
      return true;
    default:
      return false;
  }
}

bool HasDatabaseHeader(const QString& path) {
  QFile file(path);
  return !file.open(QIODevice::ReadOnly) || file.size() == 0 ||
         file.read(16) == QByteArray("SQLite format 3\0", 16);
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

// The record's columns, in the order of kColumns after the id, from
// parameter `first` on.
void BindRecord(sqlite3_stmt* statement, int first, const HistoryRecord& record) {
  int index = first;
  for (const QString& text : RecordTexts(record)) Bind(statement, index++, text);
  sqlite3_bind_double(statement, index++, record.seconds);
  Bind(statement, index, record.reason);
}

QString Column(sqlite3_stmt* statement, int index) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
  return QString::fromUtf8(text ? text : "");
}

bool Exists(const QString& path) {
  const QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

constexpr QFile::Permissions kPrivate = QFile::ReadOwner | QFile::WriteOwner;

// Narrows a file of the history that someone else made, or a copy moved
// aside, to the owner (not through a link).
void MakePrivate(const QString& path) {
  const QFileInfo info(path);
  if (info.isFile() && !info.isSymLink()) QFile::setPermissions(path, kPrivate);
}

// What SQLite's check found, as a report says it: on one line (the check can
// name a hundred problems, one a line). The whole of it goes to the log.
QString OneLineDamage(const QString& path, const QString& check) {
  QStringList lines = check.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  lines.removeIf([](const QString& line) { return line.startsWith(QLatin1String("*** ")); });
  if (lines.size() <= 1) return lines.value(0, check).trimmed();
  qCInfo(lcFiles).noquote() << "the history" << path << "is damaged:" << check;
  return QStringLiteral("%1, and %2 more problems")
      .arg(lines.first().trimmed())
      .arg(lines.size() - 1);
}

// An empty file private to the user (SQLite gives its journal files the
// database's mode); false when it is there already or cannot be made.
bool CreatePrivateFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kPrivate);
}

// Opens the history at path read-only. Without a write-ahead log beside it
// (no writer has it open, and nothing waits to be copied back), it is opened
// immutable: SQLite would otherwise create the log and its index beside it,
// and leave them.
int OpenReadOnly(const QString& path, sqlite3** db) {
  const QByteArray uri =
      QUrl::fromLocalFile(path).toEncoded() +
      (Exists(path + QStringLiteral("-wal")) ? "?mode=ro" : "?mode=ro&immutable=1");
  const int rc = sqlite3_open_v2(
      uri.constData(), db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW, nullptr);
  // Lets a file shorter than its header says be read up to where it ends
  // (a read-only connection writes nothing all the same).
  if (rc == SQLITE_OK) Exec(*db, "PRAGMA writable_schema=ON");
  return rc;
}

bool HasReasonColumn(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  const bool has =
      sqlite3_prepare_v2(db, "SELECT reason FROM lookups", -1, &statement, nullptr) == SQLITE_OK;
  sqlite3_finalize(statement);
  return has;
}

// A row of the table, read with kColumns after its id.
HistoryRecord ReadRecord(sqlite3_stmt* statement, int first) {
  HistoryRecord record;
  record.finishedAt = QDateTime::fromString(Column(statement, first), Qt::ISODateWithMs);
  record.source = Column(statement, first + 1) == QLatin1String("batch") ? HistorySource::Batch
                                                                         : HistorySource::Window;
  record.entry = Column(statement, first + 2);
  record.check = Column(statement, first + 3);
  record.path = Column(statement, first + 4);
  record.outcome = Column(statement, first + 5);
  record.model = Column(statement, first + 6);
  record.serial = Column(statement, first + 7);
  record.warrantyEnd = Column(statement, first + 8);
  record.picture = Column(statement, first + 9);
  record.seconds = sqlite3_column_double(statement, first + 10);
  record.reason = Column(statement, first + 11);
  return record;
}

using NumberedRecords = std::vector<std::pair<sqlite3_int64, HistoryRecord>>;

// Every row of a damaged history that still reads, in id order. A page that
// does not read ends a scan; the next one starts past it, at twice the
// distance each time nothing reads, so a lost part of the table costs a few
// attempts and a few of the rows beside it.
NumberedRecords RowsThatRead(sqlite3* db) {
  NumberedRecords rows;
  const QByteArray sql = QByteArray("SELECT id, ") +
                         (HasReasonColumn(db) ? kColumns : kColumnsWithoutReason) +
                         " FROM lookups WHERE id > ? ORDER BY id";
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return rows;
  }
  // The history's ids start at 1: a scan from the lowest id there could be
  // would never reach them past a first page that does not read.
  sqlite3_int64 after = 0;
  sqlite3_int64 skip = 1;
  for (int failures = 0; failures < 64;) {
    sqlite3_bind_int64(statement, 1, after);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      // A page that reads as nonsense ends the scan as one that does not read.
      const sqlite3_int64 id = sqlite3_column_int64(statement, 0);
      if (id <= after) {
        rc = SQLITE_CORRUPT;
        break;
      }
      after = id;
      HistoryRecord record = ReadRecord(statement, 1);
      if (!record.finishedAt.isValid()) continue;  // what is left of it is no lookup
      rows.emplace_back(id, std::move(record));
      skip = 1;
    }
    sqlite3_reset(statement);
    if (rc == SQLITE_DONE || after > std::numeric_limits<sqlite3_int64>::max() - skip) break;
    after += skip;
    skip *= 2;
    ++failures;
  }
  sqlite3_finalize(statement);
  return rows;
}

// Renames without ever replacing what is at `to`.
system::RenameResult RenameNoReplace(const QString& from, const QString& to) {
  return system::RenameWithoutReplacing(SystemPath(from), SystemPath(to));
}

QString LastSystemError() { return QString::fromLocal8Bit(system::LastError()); }

}  // namespace

namespace history_rows {

QByteArray Columns(sqlite3* db) { return HasReasonColumn(db) ? kColumns : kColumnsWithoutReason; }

HistoryRecord Read(sqlite3_stmt* statement, int first) { return ReadRecord(statement, first); }

int OpenReadOnly(const QString& path, sqlite3** db) { return quarvel::OpenReadOnly(path, db); }

}  // namespace history_rows

QString SourceName(HistorySource source) {
  return source == HistorySource::Batch ? QStringLiteral("batch") : QStringLiteral("window");
}

QStringList RecordTexts(const HistoryRecord& record) {
  return {IsoUtc(record.finishedAt),
          SourceName(record.source),
          record.entry,
          record.check,
          record.path,
          record.outcome,
          record.model,
          record.serial,
          record.warrantyEnd,
          record.picture};
}

bool HistoryFilter::Matches(const HistoryRecord& record) const {
  return (!since.isValid() || record.finishedAt >= since) &&
         (outcome.isEmpty() || record.outcome == outcome) &&
         record.entry.contains(entry, Qt::CaseInsensitive);
}

QString IsoUtc(const QDateTime& time) { return time.toUTC().toString(Qt::ISODateWithMs); }

History::History(const QString& folder, Reporter report, HistoryAccess access)
    : report_(std::move(report)) {
  path_ = folder.isEmpty() ? QString() : QDir(folder).filePath(QLatin1String(kFileName));
  if (access == HistoryAccess::ReadOnly)
    OpenForReading();
  else
    OpenForWriting(folder);
}

void History::OpenForReading() {
  if (path_.isEmpty()) {
    Report(QStringLiteral("there is no data folder to read the history from"));
    return;
  }
  const QFileInfo info(path_);
  if (!info.exists() && !info.isSymLink()) {
    state_ = HistoryState::Missing;
    return;
  }
  if (info.isSymLink() || !info.isFile()) {
    Report(QStringLiteral("the history %1 is not a regular file; it is not read").arg(path_));
    return;
  }
  QString damage;
  int rc = SQLITE_OK;
  if (!HasDatabaseHeader(path_)) {
    damage = QStringLiteral("it is not an SQLite database");
  } else if ((rc = OpenReadOnly(path_, &db_)) != SQLITE_OK) {
    const QString text = ErrorText(db_, rc);
    Close();
    if (!Damage(rc)) {
      Report(QStringLiteral("the history %1 cannot be read (%2)").arg(path_, text));
      return;
    }
    damage = text;
  } else {
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    QString check, version;
    if ((rc = Exec(db_, "PRAGMA quick_check", &check)) != SQLITE_OK) check = ErrorText(db_, rc);
    if (check != QLatin1String("ok")) {
      if (rc != SQLITE_OK && !Damage(rc)) {
        Report(QStringLiteral("the history %1 cannot be read (%2)").arg(path_, check));
        Close();
        return;
      }
      damage = OneLineDamage(path_, check);
    } else if (Exec(db_, "PRAGMA user_version", &version) == SQLITE_OK &&
               version.toInt() > kSchemaVersion) {
      Report(QStringLiteral("the history %1 was written by a newer version (schema %2, this one "
                            "knows %3)")
                 .arg(path_, version)
                 .arg(kSchemaVersion));
      Close();
      return;
    }
    hasReason_ = HasReasonColumn(db_);
  }
  if (!damage.isEmpty()) {
    state_ = HistoryState::Damaged;
    Report(QStringLiteral("the history %1 is damaged (%2); the %3 lookups that still read are "
                          "listed, and the file is left as it is")
               .arg(path_, damage)
               .arg(db_ ? RowsThatRead(db_).size() : 0));
    return;
  }
  state_ = HistoryState::Open;
  if (!info.isWritable())
    Report(QStringLiteral("the history %1 cannot be written: lookups are not recorded").arg(path_));
}

void History::OpenForWriting(const QString& folder) {
  QString reason;
  if (folder.isEmpty()) {
    Report(QStringLiteral("there is no data folder for the history; lookups are not recorded"));
    return;
  }
  if (!EnsurePrivateFolder(folder, &reason)) {
    Report(QStringLiteral("the history folder %1 cannot be used (%2); lookups are not recorded")
               .arg(folder, reason));
    return;
  }
  // One process at a time decides whether the file is usable and salvages
  // it, so that no one replaces a history another has just started.
  QLockFile lock(path_ + QStringLiteral(".lock"));
  lock.setStaleLockTime(30000);
  if (lock.tryLock(kBusyTimeoutMs)) QFile::setPermissions(lock.fileName(), kPrivate);

  const QFileInfo info(path_);
  const auto leftAlone = [&](const QString& why) {
    Report(QStringLiteral("the history %1 %2; it is left as it is and lookups are not recorded")
               .arg(path_, why));
  };
  if (info.isSymLink() || (info.exists() && !info.isFile()))
    return leftAlone(QStringLiteral("is not a regular file"));
  if (info.exists() && !info.isWritable()) return leftAlone(QStringLiteral("cannot be written"));
  if (!info.exists()) CreatePrivateFile(path_);  // or another process just did
  // Whoever made them, its files are as private as its folder.
  for (const char* suffix : {"", "-wal", "-shm"}) MakePrivate(path_ + QLatin1String(suffix));

  QString problem;
  switch (TryOpen(&problem)) {
    case OpenResult::Ok:
      state_ = HistoryState::Open;
      return;
    case OpenResult::Damaged:
      return Salvage(problem);
    case OpenResult::Failed:
      return leftAlone(QStringLiteral("cannot be opened (%1)").arg(problem));
  }
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
  // A file that is not a database is salvaged before SQLite sees it: SQLite
  // would drop the journal files beside it on closing.
  if (!HasDatabaseHeader(path_)) {
    *problem = QStringLiteral("it is not an SQLite database");
    return OpenResult::Damaged;
  }
  const auto fail = [&](int rc) {
    *problem = ErrorText(db_, rc);
    Close();
    return Damage(rc) ? OpenResult::Damaged : OpenResult::Failed;
  };
  int rc = sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) return fail(rc);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  if (sqlite3_db_readonly(db_, "main") == 1) {
    Close();
    *problem = QStringLiteral("it cannot be written");
    return OpenResult::Failed;
  }
  // The first statement reads the file: a file that is no database fails here.
  QString mode;
  if ((rc = Exec(db_, "PRAGMA journal_mode=WAL", &mode)) != SQLITE_OK) return fail(rc);
  if ((rc = Exec(db_, "PRAGMA synchronous=NORMAL")) != SQLITE_OK) return fail(rc);
  QString check;
  if ((rc = Exec(db_, "PRAGMA quick_check", &check)) != SQLITE_OK) return fail(rc);
  if (check != QLatin1String("ok")) {
    Close();
    *problem = QStringLiteral("it is damaged: %1").arg(OneLineDamage(path_, check));
    return OpenResult::Damaged;
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
      return Damage(rc) ? OpenResult::Damaged : OpenResult::Failed;
    }
  }
  const QByteArray insert = QByteArray("INSERT INTO lookups (") + kColumns +
                            ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
  if ((rc = sqlite3_prepare_v2(db_, insert.constData(), -1, &insert_, nullptr)) != SQLITE_OK)
    return fail(rc);
  return OpenResult::Ok;
}

void History::Salvage(const QString& damage) {
  const auto notRecorded = [&](const QString& why) {
    Report(QStringLiteral("the history %1 is damaged (%2) and %3; it is left as it is and lookups "
                          "are not recorded")
               .arg(path_, damage, why));
  };
  // What still reads of the damaged file.
  NumberedRecords rows;
  if (HasDatabaseHeader(path_)) {
    sqlite3* damaged = nullptr;
    if (OpenReadOnly(path_, &damaged) == SQLITE_OK) {
      sqlite3_busy_timeout(damaged, kBusyTimeoutMs);
      rows = RowsThatRead(damaged);
    }
    sqlite3_close_v2(damaged);
  }

  // The fresh history is made whole beside it and only then takes its place.
  const QString fresh = path_ + QStringLiteral(".salvage-") +
                        QString::number(QRandomGenerator::global()->generate64(), 36);
  if (!CreatePrivateFile(fresh))
    return notRecorded(QStringLiteral("no fresh one can be made beside it"));
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(QFile::encodeName(fresh).constData(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc == SQLITE_OK) rc = Exec(db, "BEGIN");
  for (const char* step : kMigrations)
    if (rc == SQLITE_OK) rc = Exec(db, step);
  if (rc == SQLITE_OK) {
    const QByteArray set = "PRAGMA user_version = " + QByteArray::number(kSchemaVersion);
    rc = Exec(db, set.constData());
  }
  sqlite3_stmt* insert = nullptr;
  const QByteArray sql = QByteArray("INSERT INTO lookups (id, ") + kColumns +
                         ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
  if (rc == SQLITE_OK) rc = sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr);
  for (const auto& [id, record] : rows) {
    if (rc != SQLITE_OK) break;
    sqlite3_bind_int64(insert, 1, id);
    BindRecord(insert, 2, record);
    rc = sqlite3_step(insert) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  if (rc == SQLITE_OK) rc = Exec(db, "COMMIT");
  const QString error = rc == SQLITE_OK ? QString() : ErrorText(db, rc);
  sqlite3_close_v2(db);
  if (rc != SQLITE_OK) {
    QFile::remove(fresh);
    QFile::remove(fresh + QStringLiteral("-journal"));
    return notRecorded(QStringLiteral("its salvage failed (%1)").arg(error));
  }

  QString problem;
  if (!MoveDamagedAside(&problem)) {
    QFile::remove(fresh);
    return notRecorded(QStringLiteral("cannot be moved aside (%1)").arg(problem));
  }
  if (RenameNoReplace(fresh, path_) != system::RenameResult::Renamed) {
    const QString error = LastSystemError();
    QFile::remove(fresh);
    Report(QStringLiteral("the history %1 was damaged (%2) and was moved to %3; a fresh one "
                          "cannot be put in its place (%4); lookups are not recorded")
               .arg(path_, damage, damagedCopy_, error));
    return;
  }
  const QString kept = QStringLiteral(
                           "the history %1 was damaged (%2); %3 lookups that still "
                           "read were copied into a fresh one, and the damaged file "
                           "was kept as %4")
                           .arg(path_, damage)
                           .arg(rows.size())
                           .arg(damagedCopy_);
  if (TryOpen(&problem) != OpenResult::Ok) {
    Report(kept + QStringLiteral("; the fresh one cannot be opened either (%1); lookups are not "
                                 "recorded")
                      .arg(problem));
    return;
  }
  state_ = HistoryState::Open;
  Report(kept);
}

bool History::MoveDamagedAside(QString* problem) {
  const QString stamp =
      QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
  const QString base = path_ + QStringLiteral(".damaged-") + stamp;
  static const char* const kCompanions[] = {"-wal", "-shm", "-journal"};
  for (int n = 1; n < 1000; ++n) {
    const QString target = n == 1 ? base : base + QStringLiteral("-%1").arg(n);
    if (Exists(target)) continue;
    switch (RenameNoReplace(path_, target)) {
      case system::RenameResult::Renamed:
        break;
      case system::RenameResult::TargetExists:
        continue;
      case system::RenameResult::Failed:
        *problem = LastSystemError();
        return false;
    }
    damagedCopy_ = target;
    MakePrivate(target);
    // The journal files belong to the old file: they go with it, and the
    // fresh history never replays them.
    for (const char* suffix : kCompanions) {
      const QString from = path_ + QLatin1String(suffix);
      if (Exists(from) &&
          RenameNoReplace(from, target + QLatin1String(suffix)) != system::RenameResult::Renamed)
        QFile::remove(from);
    }
    return true;
  }
  *problem = QStringLiteral("no free name beside it");
  return false;
}

bool History::Record(const HistoryRecord& record) {
  if (!insert_) return false;
  BindRecord(insert_, 1, record);
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

std::vector<HistoryRecord> History::Newest(int limit, const HistoryFilter& filter) const {
  std::vector<HistoryRecord> records;
  if (!db_) return records;
  const auto full = [&] { return limit > 0 && records.size() >= static_cast<size_t>(limit); };
  if (state_ == HistoryState::Damaged) {
    // Its index cannot be trusted: the rows that read, sorted here.
    NumberedRecords rows = RowsThatRead(db_);
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      return std::pair(a.second.finishedAt, a.first) > std::pair(b.second.finishedAt, b.first);
    });
    for (auto& row : rows) {
      if (full()) break;
      if (filter.Matches(row.second)) records.push_back(std::move(row.second));
    }
    return records;
  }
  // The times are stored in one format, so their texts sort as the times do
  // and the index finds the first one to leave out.
  const QByteArray sql = QByteArray("SELECT ") + (hasReason_ ? kColumns : kColumnsWithoutReason) +
                         " FROM lookups" +
                         (filter.since.isValid() ? " WHERE finished_at >= ?" : "") +
                         " ORDER BY finished_at DESC, id DESC";
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
    return records;
  if (filter.since.isValid()) Bind(statement, 1, IsoUtc(filter.since));
  while (!full() && sqlite3_step(statement) == SQLITE_ROW) {
    HistoryRecord record = ReadRecord(statement, 0);
    if (filter.Matches(record)) records.push_back(std::move(record));
  }
  sqlite3_finalize(statement);
  return records;
}

}  // namespace quarvel
