// The lookup history: records, schema and migrations, concurrent writers,
// readers, and files that cannot be used or are damaged.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "base/records/history.h"
#include "support/test_pictures.h"

namespace quarvel {
namespace {

struct Reports {
  History::Reporter Reporter() {
    return [this](const QString& message) { messages.append(message); };
  }
  QStringList messages;
};

HistoryRecord Lookup(const QString& entry, qint64 msecs = 0) {
  HistoryRecord record;
  record.finishedAt = QDateTime::fromMSecsSinceEpoch(1714566896789 + msecs, Qt::UTC);
  record.source = HistorySource::Batch;
  record.entry = entry;
  record.check = QStringLiteral("ok");
  record.path = QStringLiteral("official");
  record.outcome = QStringLiteral("found");
  record.model = QStringLiteral("Handset 15, \"蓝色\"");
  record.serial = entry;
  record.warrantyEnd = QStringLiteral("2027年9月9日");
  record.picture = QStringLiteral("/data/pictures/x.jpg");
  record.seconds = 6.25;
  record.reason = QStringLiteral("page stopped answering");
  return record;
}

// One value from the history file, read with a connection of its own.
QString Query(const QString& file, const char* sql) {
  sqlite3* db = nullptr;
  QString value;
  if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
      SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return value;
}

bool Execute(const QString& file, const char* sql) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK &&
            sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

QStringList SetAsideFiles(const QString& folder) {
  return QDir(folder).entryList({"history.sqlite3.damaged-*"}, QDir::AllEntries | QDir::System,
                                QDir::Name);
}

// Every name in folder with its content (links by their target), to tell
// that nothing was created, changed or moved.
std::map<QString, QByteArray> Snapshot(const QString& folder) {
  std::map<QString, QByteArray> files;
  for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                          QDir::System | QDir::NoDotAndDotDot))
    files[info.fileName()] = info.isSymLink() ? info.symLinkTarget().toUtf8()
                                              : testing::ReadWholeFile(info.filePath()) +
                                                    QByteArray::number(info.permissions().toInt());
  return files;
}

// A history of `count` lookups written and closed, all of it in the main
// file; its bytes.
QByteArray WrittenHistory(const QString& folder, int count) {
  {
    History history(folder);
    for (int i = 0; i < count; ++i) history.Record(Lookup(QStringLiteral("R%1").arg(i), i));
  }
  return testing::ReadWholeFile(QDir(folder).filePath(History::kFileName));
}

TEST(History, RecordsComeBackNewestFirstWithEveryField) {
  QTemporaryDir dir;
  Reports reports;
  History history(dir.filePath("data/quarvel"), reports.Reporter());
  ASSERT_TRUE(history.IsOpen());
  EXPECT_TRUE(QFile::exists(dir.filePath("data/quarvel/history.sqlite3")));
  ASSERT_TRUE(history.Record(Lookup("B", 1000)));
  ASSERT_TRUE(history.Record(Lookup("A", 0)));
  HistoryRecord window = Lookup("C", 1000);  // the same moment as B: the later one first
  window.source = HistorySource::Window;
  ASSERT_TRUE(history.Record(window));

  const std::vector<HistoryRecord> all = history.Newest();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].entry, QStringLiteral("C"));
  EXPECT_EQ(all[0].source, HistorySource::Window);
  EXPECT_EQ(all[1].entry, QStringLiteral("B"));
  EXPECT_EQ(all[2].entry, QStringLiteral("A"));
  const HistoryRecord& b = all[1];
  const HistoryRecord expected = Lookup("B", 1000);
  EXPECT_EQ(b.finishedAt, expected.finishedAt);
  EXPECT_EQ(IsoUtc(b.finishedAt), QStringLiteral("2024-05-01T12:34:57.789Z"));
  EXPECT_EQ(b.source, HistorySource::Batch);
  EXPECT_EQ(b.check, expected.check);
  EXPECT_EQ(b.path, expected.path);
  EXPECT_EQ(b.outcome, expected.outcome);
  EXPECT_EQ(b.model, expected.model);
  EXPECT_EQ(b.serial, expected.serial);
  EXPECT_EQ(b.warrantyEnd, expected.warrantyEnd);
  EXPECT_EQ(b.picture, expected.picture);
  EXPECT_DOUBLE_EQ(b.seconds, 6.25);
  EXPECT_EQ(b.reason, expected.reason);
  EXPECT_EQ(history.Newest(2).size(), 2u);
  EXPECT_TRUE(reports.messages.isEmpty());
}

TEST(History, SchemaVersionWriteAheadLogAndMigrationFromVersionOne) {
  QTemporaryDir dir;
  const QString file = dir.filePath("history.sqlite3");
  // A history written by the first version: the table, no index.
  ASSERT_TRUE(
      Execute(file,
              "CREATE TABLE lookups (id INTEGER PRIMARY KEY, finished_at TEXT NOT NULL, "
              "source TEXT NOT NULL, entry TEXT NOT NULL, \"check\" TEXT NOT NULL, path TEXT "
              "NOT NULL, outcome TEXT NOT NULL, model TEXT NOT NULL, serial TEXT NOT NULL, "
              "warranty_end TEXT NOT NULL, picture TEXT NOT NULL, seconds REAL NOT NULL);"
              "INSERT INTO lookups VALUES (1, '2023-01-01T00:00:00.000Z', 'window', 'OLD', "
              "'ok', 'comprehensive', 'found', '', '', '', '', 4.5);"
              "PRAGMA user_version = 1;"));
  Reports reports;
  {
    History history(dir.path(), reports.Reporter());
    ASSERT_TRUE(history.IsOpen());
    ASSERT_TRUE(history.Record(Lookup("NEW")));
    const std::vector<HistoryRecord> all = history.Newest();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].entry, QStringLiteral("OLD"));
    EXPECT_EQ(all[1].reason, QString());
    EXPECT_EQ(all[0].reason, Lookup("NEW").reason);
    EXPECT_EQ(Query(file, "PRAGMA journal_mode"), QStringLiteral("wal"));
  }
  EXPECT_EQ(Query(file, "PRAGMA user_version"), QString::number(History::kSchemaVersion));
  EXPECT_EQ(Query(file, "SELECT name FROM sqlite_master WHERE type = 'index'"),
            QStringLiteral("lookups_by_time"));
  EXPECT_TRUE(reports.messages.isEmpty());
  EXPECT_TRUE(SetAsideFiles(dir.path()).isEmpty());
}

TEST(History, ConcurrentWritersInThreadsAndProcessesLoseNothing) {
  QTemporaryDir dir;  // no history yet: the writers also race to create it
  constexpr int kPerWriter = 150;
  std::vector<QProcess*> processes;
  for (int p = 0; p < 2; ++p) {
    auto* process = new QProcess;
    process->start(
        QStringLiteral(QUARVEL_HELPER_PATH),
        {"history", dir.path(), QString::number(kPerWriter), QStringLiteral("P%1-").arg(p)});
    processes.push_back(process);
  }
  std::vector<std::thread> threads;
  std::atomic<int> failures = 0;
  std::atomic<int> reported = 0;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      History history(dir.path(), [&](const QString&) { ++reported; });
      for (int i = 0; i < kPerWriter; ++i)
        if (!history.Record(Lookup(QStringLiteral("T%1-%2").arg(t).arg(i), i))) ++failures;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (QProcess* process : processes) {
    ASSERT_TRUE(process->waitForFinished(60000));
    EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().constData();
    delete process;
  }
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(reported, 0);
  History history(dir.path());
  EXPECT_EQ(history.Newest().size(), 5u * kPerWriter);
  EXPECT_EQ(Query(history.FilePath(), "SELECT COUNT(DISTINCT entry) FROM lookups"),
            QString::number(5 * kPerWriter));
  EXPECT_TRUE(SetAsideFiles(dir.path()).isEmpty());
}

TEST(History, ADamagedFileIsSalvagedReportedOnceAndKeptBesideUnchanged) {
  QTemporaryDir dir;
  const QString file = dir.filePath("history.sqlite3");
  QByteArray garbage(8192, '\0');
  for (int i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 131) % 251);
  WriteFile(file, garbage);
  WriteFile(file + "-wal", "not a log of the fresh history");

  Reports reports;
  {
    History history(dir.path(), reports.Reporter());
    ASSERT_TRUE(history.IsOpen());
    ASSERT_EQ(reports.messages.size(), 1);
    EXPECT_TRUE(reports.messages[0].contains(history.DamagedCopyPath()));
    EXPECT_EQ(testing::ReadWholeFile(history.DamagedCopyPath()), garbage);
    EXPECT_EQ(testing::ReadWholeFile(history.DamagedCopyPath() + "-wal"),
              QByteArray("not a log of the fresh history"));
    EXPECT_TRUE(history.Record(Lookup("A")));
    EXPECT_EQ(history.Newest().size(), 1u);
  }
  // Another damaged one: a real history cut in half. What still reads of
  // it is in the fresh one; it gets a name of its own, and the first one
  // kept stays as it was.
  QFile::remove(file);
  const QByteArray whole = WrittenHistory(dir.path(), 400);
  ASSERT_GT(whole.size(), 8192);
  WriteFile(file, whole.left(whole.size() / 2));
  Reports again;
  History history(dir.path(), again.Reporter());
  EXPECT_TRUE(history.IsOpen());
  ASSERT_EQ(again.messages.size(), 1);
  const QStringList aside =
      SetAsideFiles(dir.path()).filter(QRegularExpression("damaged-[0-9TZ-]+$"));
  ASSERT_EQ(aside.size(), 2) << aside.join(' ').toStdString();
  EXPECT_EQ(testing::ReadWholeFile(dir.filePath(aside[0])).size() +
                testing::ReadWholeFile(dir.filePath(aside[1])).size(),
            garbage.size() + whole.size() / 2);
  const std::vector<HistoryRecord> salvaged = history.Newest();
  ASSERT_GT(salvaged.size(), 50u);
  EXPECT_LT(salvaged.size(), 400u);
  EXPECT_TRUE(again.messages[0].contains(QStringLiteral("%1 lookups").arg(salvaged.size())))
      << again.messages[0].toStdString();
  EXPECT_EQ(salvaged.back().entry, QStringLiteral("R0"));
  EXPECT_EQ(salvaged.back().reason, Lookup("R0").reason);
  EXPECT_TRUE(history.Record(Lookup("NEW", 1000000)));
  EXPECT_EQ(history.Newest(1)[0].entry, QStringLiteral("NEW"));
}

TEST(History, ASymlinkIsLeftAloneWithItsTarget) {
  QTemporaryDir dir;
  const QString outside = dir.filePath("outside.txt");
  WriteFile(outside, "precious");
  QDir().mkpath(dir.filePath("data"));
  ASSERT_TRUE(QFile::link(outside, dir.filePath("data/history.sqlite3")));
  Reports reports;
  History history(dir.filePath("data"), reports.Reporter());
  EXPECT_FALSE(history.IsOpen());
  EXPECT_EQ(reports.messages.size(), 1);
  EXPECT_FALSE(history.Record(Lookup("A")));
  EXPECT_EQ(testing::ReadWholeFile(outside), QByteArray("precious"));
  EXPECT_TRUE(QFileInfo(history.FilePath()).isSymLink());
  EXPECT_TRUE(SetAsideFiles(dir.filePath("data")).isEmpty());
}

// Restores the umask when it goes out of scope.
struct Umask {
  explicit Umask(mode_t mask) : old(umask(mask)) {}
  ~Umask() { umask(old); }
  mode_t old;
};

mode_t Mode(const QString& path) {
  struct stat info {};
  return lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(History, AReaderListsWhatReadsAndChangesNothing) {
  struct Case {
    const char* name;
    std::function<void(const QString& folder)> make;
    HistoryState state;
    int rows;  // -1: some, not all of 400
    int reports;
  };
  const auto file = [](const QString& folder) { return QDir(folder).filePath(History::kFileName); };
  const Case cases[] = {
      {"missing", [](const QString&) {}, HistoryState::Missing, 0, 0},
      {"healthy", [](const QString& f) { WrittenHistory(f, 5); }, HistoryState::Open, 5, 0},
      {"read only",
       [&](const QString& f) {
         WrittenHistory(f, 5);
         QFile::setPermissions(file(f), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
       },
       HistoryState::Open, 5, geteuid() == 0 ? 0 : 1},
      {"cut short",
       [&](const QString& f) {
         const QByteArray whole = WrittenHistory(f, 400);
         WriteFile(file(f), whole.left(whole.size() / 2));
       },
       HistoryState::Damaged, -1, 1},
      {"not a database", [&](const QString& f) { WriteFile(file(f), QByteArray(5000, 'x')); },
       HistoryState::Damaged, 0, 1},
      {"pages overwritten",
       [&](const QString& f) {
         QByteArray bytes = WrittenHistory(f, 400);
         for (qsizetype page = 4096 * 3; page + 4096 <= bytes.size(); page += 4096 * 2)
           bytes.replace(page + 8, 200, QByteArray(200, '\x55'));
         WriteFile(file(f), bytes);
       },
       HistoryState::Damaged, -1, 1},
      {"schema 2, no reason",
       [&](const QString& f) {
         ASSERT_TRUE(Execute(file(f),
                             "CREATE TABLE lookups (id INTEGER PRIMARY KEY, finished_at TEXT, "
                             "source TEXT, entry TEXT, \"check\" TEXT, path TEXT, outcome TEXT, "
                             "model TEXT, serial TEXT, warranty_end TEXT, picture TEXT, seconds "
                             "REAL); INSERT INTO lookups (entry) VALUES ('OLD'); "
                             "PRAGMA user_version = 2;"));
       },
       HistoryState::Open, 1, 0},
      {"symbolic link", [&](const QString& f) { QFile::link(f + "/../elsewhere", file(f)); },
       HistoryState::Unusable, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    c.make(dir.path());
    const auto before = Snapshot(dir.path());
    Reports reports;
    {
      History history(dir.path(), reports.Reporter(), HistoryAccess::ReadOnly);
      EXPECT_EQ(history.State(), c.state);
      const std::vector<HistoryRecord> rows = history.Newest();
      if (c.rows >= 0) {
        EXPECT_EQ(rows.size(), static_cast<size_t>(c.rows));
      } else {
        EXPECT_GT(rows.size(), 50u);
        EXPECT_LT(rows.size(), 400u);
        EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
          return a.finishedAt > b.finishedAt;
        }));
      }
      for (const HistoryRecord& row : rows) {
        EXPECT_TRUE(row.entry.startsWith('R') || row.entry == "OLD") << row.entry.toStdString();
      }
      if (!rows.empty()) {
        EXPECT_EQ(rows.back().reason, rows.back().entry == "OLD" ? QString() : Lookup("R").reason);
      }
      EXPECT_FALSE(history.Record(Lookup("NEW")));
      EXPECT_EQ(reports.messages.size(), c.reports) << reports.messages.join('\n').toStdString();
      EXPECT_FALSE(reports.messages.join(' ').contains('\n'));  // one line each
      if (c.state == HistoryState::Damaged) {
        EXPECT_TRUE(
            reports.messages[0].contains(QStringLiteral("the %1 lookups").arg(rows.size())));
      }
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
  }

  // A writer at work: what is still in its log is read too.
  QTemporaryDir dir;
  History writer(dir.path());
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(writer.Record(Lookup(QStringLiteral("W%1").arg(i), i)));
  EXPECT_EQ(History(dir.path(), {}, HistoryAccess::ReadOnly).Newest().size(), 3u);
}

TEST(History, AWriterLeavesAFileItCannotWriteAsItIs) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("data");
  const QString file = QDir(folder).filePath(History::kFileName);
  const QByteArray bytes = WrittenHistory(folder, 3);
  const auto before = Snapshot(folder);
  if (geteuid() == 0) {
    // Root writes any file: the writer runs as nobody, in its own folder,
    // on root's history.
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    QProcess writer;
    writer.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                             QStringLiteral(QUARVEL_HELPER_PATH), "history", folder, "2", "N"});
    ASSERT_TRUE(writer.waitForFinished(30000));
    EXPECT_EQ(writer.exitCode(), 1);
    const QString said = QString::fromUtf8(writer.readAllStandardError());
    EXPECT_EQ(said.count('\n'), 1) << said.toStdString();
    EXPECT_TRUE(said.contains("cannot be written")) << said.toStdString();
  } else {
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner));
    Reports reports;
    History history(folder, reports.Reporter());
    EXPECT_FALSE(history.IsOpen());
    EXPECT_FALSE(history.Record(Lookup("N")));
    ASSERT_EQ(reports.messages.size(), 1);
    EXPECT_TRUE(reports.messages[0].contains("cannot be written"));
  }
  EXPECT_EQ(testing::ReadWholeFile(file), bytes);
  EXPECT_EQ(Snapshot(folder).size(), before.size());
  EXPECT_TRUE(SetAsideFiles(folder).isEmpty());
}

TEST(History, ItsFolderAndFilesArePrivateWhateverTheUmask) {
  const Umask open(0);
  QTemporaryDir dir;
  const QString folder = dir.filePath("data/quarvel");
  History history(folder);
  ASSERT_TRUE(history.Record(Lookup("A")));
  EXPECT_EQ(Mode(folder), 0700u);
  for (const char* suffix : {"", "-wal", "-shm"})
    EXPECT_EQ(Mode(history.FilePath() + suffix), 0600u) << suffix;
  // Made by someone else with a wider mode: narrowed as it is opened.
  const QString made = dir.filePath("made/" + QString(History::kFileName));
  WrittenHistory(dir.filePath("made"), 1);
  ASSERT_EQ(chmod(QFile::encodeName(made).constData(), 0644), 0);
  History reopened(dir.filePath("made"));
  EXPECT_EQ(Mode(made), 0600u);
  // A fresh file made from a damaged one, too.
  QDir().mkpath(dir.filePath("damaged"));
  WriteFile(dir.filePath("damaged/" + QString(History::kFileName)), QByteArray(3000, 'x'));
  History salvaged(dir.filePath("damaged"), [](const QString&) {});
  ASSERT_TRUE(salvaged.IsOpen());
  EXPECT_EQ(Mode(salvaged.FilePath()), 0600u);
}

TEST(History, ANewerSchemaIsLeftAlone) {
  QTemporaryDir dir;
  const QString file = dir.filePath("history.sqlite3");
  ASSERT_TRUE(Execute(file, "CREATE TABLE future (x); PRAGMA user_version = 99;"));
  Reports reports;
  History history(dir.path(), reports.Reporter());
  EXPECT_FALSE(history.IsOpen());
  EXPECT_FALSE(history.Record(Lookup("A")));
  ASSERT_EQ(reports.messages.size(), 1);
  EXPECT_TRUE(reports.messages[0].contains(QStringLiteral("newer")));
  EXPECT_TRUE(SetAsideFiles(dir.path()).isEmpty());
  EXPECT_EQ(Query(file, "PRAGMA user_version"), QStringLiteral("99"));
}

TEST(History, FailuresNeverThrowAndAreReportedOnce) {
  QTemporaryDir dir;
  WriteFile(dir.filePath("blocked"), "a file where the folder should be");
  Reports reports;
  History unopenable(dir.filePath("blocked/quarvel"), reports.Reporter());
  EXPECT_FALSE(unopenable.IsOpen());
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(unopenable.Record(Lookup("A")));
  EXPECT_TRUE(unopenable.Newest().empty());
  EXPECT_EQ(reports.messages.size(), 1);

  Reports writes;
  History history(dir.filePath("ok"), writes.Reporter());
  ASSERT_TRUE(history.IsOpen());
  ASSERT_TRUE(Execute(history.FilePath(), "DROP TABLE lookups"));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(history.Record(Lookup("A")));
  ASSERT_EQ(writes.messages.size(), 1);
  EXPECT_TRUE(writes.messages[0].contains(QStringLiteral("could not be recorded")));
}

}  // namespace
}  // namespace quarvel
