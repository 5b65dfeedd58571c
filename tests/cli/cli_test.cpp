// quarvel-cli as a user runs it: without a display, from a shell.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "base/records/history.h"

namespace quarvel {
namespace {

struct Result {
  int status = -1;
  QString out;
  QString err;
};

class Cli : public ::testing::Test {
 protected:
  Result Run(const QStringList& arguments, const QByteArray& input = {},
             const QMap<QString, QString>& extra = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QUARVEL_LOOKUP_HOST",
                             "QUARVEL_WARRANTY_HOST", "QUARVEL_PORTAL_HOST"})
      environment.remove(QString::fromLatin1(name));
    environment.insert("XDG_DATA_HOME", data.path());
    for (auto it = extra.begin(); it != extra.end(); ++it) environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUARVEL_CLI_PATH), arguments);
    if (!process.waitForStarted()) return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(20000)) return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
  }

  void ExpectUsage(const QStringList& arguments, const QString& says,
                   const QMap<QString, QString>& extra = {}) {
    const Result result = Run(arguments, {}, extra);
    EXPECT_EQ(result.status, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(result.err.startsWith(QStringLiteral("quarvel-cli: "))) << result.err.toStdString();
    EXPECT_TRUE(result.err.endsWith(QStringLiteral("; try --help\n"))) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(says)) << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty());
  }

  QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // Every name under the data home, with its permissions.
  QStringList Names() {
    QStringList names;
    QDirIterator it(data.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      it.next();
      names << it.filePath() + QString::number(it.fileInfo().permissions().toInt(), 16);
    }
    names.sort();
    return names;
  }

  // The whole output as one JSON document, which must be an array.
  QJsonArray ParsedArray(const QString& out) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
    EXPECT_TRUE(document.isArray()) << out.toStdString();
    return document.array();
  }

  // One JSON object a line, as an array.
  static QJsonArray JsonLines(const QString& out) {
    QJsonArray objects;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
      objects.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return objects;
  }

  QTemporaryDir data;
};

TEST_F(Cli, HelpAndVersionWithoutADisplay) {
  const Result help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* word :
       {"check", "batch", "history", "--json", "--jobs", "--output", "--limit", "--lookup-host",
        "--warranty-host", "--portal-host", "QUARVEL_PORTAL_HOST"})
    EXPECT_TRUE(help.out.contains(QLatin1String(word))) << word;
  EXPECT_TRUE(help.err.isEmpty());
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, QStringLiteral("quarvel-cli " QUARVEL_VERSION "\n"));
}

TEST_F(Cli, CheckPrintsALinePerEntryAndTellsByItsStatus) {
  const Result good = Run({"check", "356789104523673", "C39XK0ABHG7F"});
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.out,
            QStringLiteral("356789104523673\timei\tok\tTAC 35678910, serial 452367, check digit 3\n"
                           "C39XK0ABHG7F\tserial\tok\t12-character format (factory C39, date XK, "
                           "unit 0AB, model HG7F): made in 2018, week 42\n"));
  const Result bad = Run({"check", "356789104523673", "356789104523671"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out.count('\n'), 2);
  EXPECT_TRUE(bad.out.contains(QStringLiteral("356789104523671\timei\tbad_check_digit\t")));

  // Standard input: blank lines and comments skipped; entries kept as typed.
  // --json is one document, --json-lines an object a line.
  const QByteArray input = "# list\n35 678910 452367 3\n\nc39xk0abhg7f\r\n";
  const Result piped = Run({"check", "--json"}, input);
  EXPECT_EQ(piped.status, 0);
  const QJsonArray objects = ParsedArray(piped.out);
  ASSERT_EQ(objects.size(), 2);
  const QJsonObject first = objects[0].toObject();
  EXPECT_EQ(first.value("entry").toString(), QStringLiteral("35 678910 452367 3"));
  EXPECT_EQ(first.value("verdict").toString(), QStringLiteral("ok"));
  EXPECT_EQ(first.value("separators").toInt(), 3);
  EXPECT_EQ(objects[1].toObject().value("kind").toString(), QStringLiteral("serial"));
  const Result lines = Run({"check", "--json-lines"}, input);
  EXPECT_EQ(lines.status, 0);
  EXPECT_EQ(JsonLines(lines.out), objects);
  ExpectUsage({"check", "--json", "--json-lines", "X"}, "do not go together");
}

TEST_F(Cli, CheckReadsStandardInputAsABatchDoesAndSaysWhatItDid) {
  const Result empty = Run({"check"}, "# nothing\n\n");
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.err, QStringLiteral("quarvel-cli: no entries on standard input\n"));
  EXPECT_EQ(Run({"check", "-"}, "").status, 2);

  // '-' in its place among the arguments; a comma's columns after the first
  // are not checked, and that is said once.
  const Result mixed =
      Run({"check", "C39XK0ABHG7F\r\n", "-", "W8812345ABC"}, "35417803,6859789\nA,B\n");
  EXPECT_EQ(mixed.status, 1);
  const QStringList lines = mixed.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4) << mixed.out.toStdString();
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("C39XK0ABHG7F\tserial\tok\t")));
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("35417803\tunknown\tbad_length\t")));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("A\t")));
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("W8812345ABC\tserial\tok\t")));
  EXPECT_EQ(mixed.err, QStringLiteral("quarvel-cli: standard input: reading the first column of "
                                      "comma-separated lines (2 lines)\n"));
  ExpectUsage({"check", "-", "-"}, "can be read only once");

  QProcess full;
  full.setStandardOutputFile(QStringLiteral("/dev/full"));
  full.start(QStringLiteral(QUARVEL_CLI_PATH), {"check", "C39XK0ABHG7F"});
  ASSERT_TRUE(full.waitForFinished(20000));
  EXPECT_EQ(full.exitCode(), 1);
  EXPECT_TRUE(
      full.readAllStandardError().startsWith("quarvel-cli: cannot write to standard output"));
}

TEST_F(Cli, HistoryListsNewestFirstAsTextOrCsv) {
  const Result empty = Run({"history"});
  EXPECT_EQ(empty.status, 0);
  EXPECT_TRUE(empty.out.isEmpty());
  EXPECT_TRUE(empty.err.isEmpty());
  EXPECT_EQ(Run({"history", "--json"}).out, QStringLiteral("[]\n"));  // a document still
  EXPECT_FALSE(QFileInfo::exists(data.filePath("quarvel")));  // a reader creates nothing
  {
    History history(data.filePath("quarvel"));
    ASSERT_TRUE(history.IsOpen());
    for (int i = 0; i < 3; ++i) {
      HistoryRecord record;
      record.finishedAt = QDateTime::fromMSecsSinceEpoch(1714566896000 + i * 1000, Qt::UTC);
      record.entry = QStringLiteral("E%1").arg(i);
      record.model = QStringLiteral("tab\there, \"quoted\"");
      record.outcome = QStringLiteral("found");
      record.seconds = 5;
      record.warrantyEnd = i == 2 ? QStringLiteral("2027年3月18日") : QString();
      record.reason = i == 2 ? QStringLiteral("page stopped answering") : QString();
      history.Record(record);
    }
  }
  const Result text = Run({"history", "--limit", "2"});
  EXPECT_EQ(text.status, 0);
  const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("2024-05-01T12:34:58.000Z\twindow\tE2\t")));
  EXPECT_EQ(lines[0].count('\t'), 11);
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\t5.00\tpage stopped answering")));
  EXPECT_TRUE(lines[1].contains(QStringLiteral("\tE1\t")));

  const Result csv = Run({"history", "--csv"});
  EXPECT_EQ(csv.status, 0);
  EXPECT_TRUE(csv.out.startsWith(QStringLiteral(
      "finished_at,source,entry,check,path,outcome,model,serial,warranty_end,picture,seconds,"
      "reason,warranty_end_date\r\n"
      "2024-05-01T12:34:58.000Z,window,E2,,,found,\"tab\there, \"\"quoted\"\"\",,2027年3月18日,,"
      "5.00,page stopped answering,2027-03-18\r\n"
      "2024-05-01T12:34:57.000Z,window,E1,,,found,\"tab\there, \"\"quoted\"\"\",,,,5.00,,\r\n")));
  EXPECT_EQ(csv.out.count(QStringLiteral("\r\n")), 4);

  // One it may only read is listed and stays as it is.
  const QString file = data.filePath("quarvel/history.sqlite3");
  ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));
  const QByteArray bytes = Bytes(file);
  const QStringList names = Names();
  const Result readOnly = Run({"history"});
  EXPECT_EQ(readOnly.status, 0);
  EXPECT_TRUE(readOnly.out.startsWith(text.out)) << readOnly.out.toStdString();
  EXPECT_EQ(readOnly.out.count('\n'), 3);
  EXPECT_EQ(Bytes(file), bytes);
  EXPECT_EQ(Names(), names);
}

TEST_F(Cli, ADamagedHistoryIsReportedAndLeftAsItIs) {
  QDir().mkpath(data.filePath("quarvel"));
  QFile file(data.filePath("quarvel/history.sqlite3"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("this is not a database at all, but it is somebody's file");
  file.close();
  const QStringList names = Names();
  const Result result = Run({"history"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.err.startsWith(QStringLiteral("quarvel-cli: the history ")))
      << result.err.toStdString();
  EXPECT_TRUE(result.err.contains(QStringLiteral("damaged")));
  EXPECT_EQ(result.err.count('\n'), 1);
  EXPECT_TRUE(result.out.isEmpty());
  EXPECT_EQ(Bytes(file.fileName()), "this is not a database at all, but it is somebody's file");
  EXPECT_EQ(Names(), names);
}

TEST_F(Cli, HistoryFiltersAsJsonOrJsonLines) {
  {
    History history(data.filePath("quarvel"));
    ASSERT_TRUE(history.IsOpen());
    const struct {
      const char* entry;
      const char* finished;
      const char* outcome;
    } records[] = {{"C39XK0ABHG7F", "2024-05-01T08:00:00Z", "found"},
                   {"c39xk0abhg7f", "2024-05-02T08:00:00Z", "timed_out"},
                   {"356789104523673", "2024-05-03T08:00:00Z", "found"}};
    for (const auto& r : records) {
      HistoryRecord record;
      record.entry = QString::fromLatin1(r.entry);
      record.finishedAt = QDateTime::fromString(r.finished, Qt::ISODate);
      record.outcome = QString::fromLatin1(r.outcome);
      record.reason = QStringLiteral("line\nbreak \"quoted\"");
      record.seconds = 1.5;
      if (record.entry == QLatin1String("C39XK0ABHG7F"))
        record.warrantyEnd = QStringLiteral("2026年12月30日");
      history.Record(record);
    }
  }
  const struct {
    QStringList filters;
    QStringList entries;  // newest first
  } cases[] = {
      {{}, {"356789104523673", "c39xk0abhg7f", "C39XK0ABHG7F"}},
      {{"--entry", "XK0a"}, {"c39xk0abhg7f", "C39XK0ABHG7F"}},
      {{"--outcome", "found"}, {"356789104523673", "C39XK0ABHG7F"}},
      {{"--since", "2024-05-02T08:00:00Z"}, {"356789104523673", "c39xk0abhg7f"}},
      {{"--since", "2024-05-02"}, {"356789104523673"}},  // local midnight: 12:00Z
      {{"--since", "2024-05-02 10:00+02:00"}, {"356789104523673", "c39xk0abhg7f"}},
      {{"--entry", "c39", "--outcome", "found", "--since", "2024-04-30"}, {"C39XK0ABHG7F"}},
      {{"--outcome", "found", "--limit", "1"}, {"356789104523673"}},
      {{"--outcome", "rejected"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filters.join(' ').toStdString());
    const Result result = Run(QStringList{"history", "--json"} + c.filters, {}, {{"TZ", "UTC+12"}});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    const QJsonArray objects = ParsedArray(result.out);  // [] when none
    QStringList entries;
    for (const QJsonValue& value : objects) {
      const QJsonObject object = value.toObject();
      EXPECT_EQ(object.value("reason").toString(), QStringLiteral("line\nbreak \"quoted\""));
      EXPECT_EQ(object.value("seconds").toDouble(), 1.5);
      EXPECT_TRUE(object.value("finished_at").toString().endsWith('Z'));
      EXPECT_EQ(object.value("warranty_end_date"),
                object.value("entry").toString() == QLatin1String("C39XK0ABHG7F")
                    ? QJsonValue(QStringLiteral("2026-12-30"))
                    : QJsonValue());
      entries.append(object.value("entry").toString());
    }
    EXPECT_EQ(entries, c.entries);
    const Result lines =
        Run(QStringList{"history", "--json-lines"} + c.filters, {}, {{"TZ", "UTC+12"}});
    EXPECT_EQ(JsonLines(lines.out), objects);
  }
}

// A failed write of standard output is exit status 1 and a message, whatever
// the command.
TEST_F(Cli, AFailedWriteOfStandardOutputIsAnError) {
  {
    History history(data.filePath("quarvel"));
    HistoryRecord record;
    record.finishedAt = QDateTime::currentDateTimeUtc();
    record.entry = QStringLiteral("C39XK0ABHG7F");
    ASSERT_TRUE(history.Record(record));
  }
  QFile(data.filePath("empty.txt")).open(QIODevice::WriteOnly);
  const QStringList commands[] = {{"--version"},
                                  {"--help"},
                                  {"help", "batch"},
                                  {"check", "C39XK0ABHG7F"},
                                  {"history", "--json"},
                                  {"completions", "fish"},
                                  {"batch", data.filePath("empty.txt")}};
  for (const QStringList& arguments : commands) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("XDG_DATA_HOME", data.path());
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(QUARVEL_CLI_PATH), arguments);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("quarvel-cli: cannot write to standard output: ")))
        << err.toStdString();
  }
}

// A batch's exit status says whether its output needs another look: rows of
// an earlier run count as well as the entries looked up now (none here).
TEST_F(Cli, BatchExitsWithOneWhileARowOfItsOutputIsUndecided) {
  QFile input(data.filePath("in.txt"));
  ASSERT_TRUE(input.open(QIODevice::WriteOnly));
  input.write("C39XK0ABHG7F\n");
  input.close();
  const struct {
    const char* outcome;
    int status;
  } cases[] = {{"found", 0}, {"bad_input", 0}, {"timed_out", 1}, {"picture_failed", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    QFile output(data.filePath("out.csv"));
    ASSERT_TRUE(output.open(QIODevice::WriteOnly | QIODevice::Truncate));
    output.write(
        QByteArray("entry,check,path,outcome,model,serial,warranty_end,picture,finished_at,seconds,"
                   "warranty_end_date\r\nC39XK0ABHG7F,ok,comprehensive,") +
        c.outcome + ",,,,,2024-05-01T12:00:00.000Z,1.00,\r\n");
    output.close();
    const Result result = Run({"batch", "--output", output.fileName(), input.fileName()});
    EXPECT_EQ(result.status, c.status) << result.err.toStdString();
    EXPECT_EQ(result.err.contains("1 of 1 entries ended without a decision"), c.status == 1)
        << result.err.toStdString();
  }
}

// Standard output a pipe whose reader has gone (`| head -1`): the command
// ends at once, says nothing and exits as a shell expects (128 + SIGPIPE).
TEST_F(Cli, AClosedPipeEndsTheCommandQuietlyWith141) {
  QFile(data.filePath("empty.txt")).open(QIODevice::WriteOnly);
  QByteArray many;
  for (int i = 0; i < 20000; ++i) many += "C39XK0ABHG7F\n";
  const struct {
    QStringList arguments;
    QByteArray input;
  } cases[] = {{{"--help"}, {}},
               {{"check", "-"}, many},
               {{"check", "--json", "C39XK0ABHG7F"}, {}},
               {{"history", "--json"}, {}},
               {{"completions", "bash"}, {}},
               {{"batch", data.filePath("empty.txt")}, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // the reader is gone before the first write
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("XDG_DATA_HOME", data.path());
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([end = ends[1]] { dup2(end, 1); });
    process.start(QStringLiteral(QUARVEL_CLI_PATH), c.arguments);
    close(ends[1]);
    ASSERT_TRUE(process.waitForStarted());
    process.write(c.input);
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 141);
    EXPECT_EQ(process.readAllStandardError(), QByteArray());
  }
}

// An unusable data folder: nothing is written, there nor anywhere else. The
// batch goes on without pictures or history; `history` says why it lists nothing.
TEST_F(Cli, AnUnusableDataFolderIsNamedAndNothingIsWrittenElsewhere) {
  const QString folder = data.filePath("quarvel");
  const struct {
    const char* name;
    std::function<void()> make;
    const char* says;
  } cases[] = {
      {"dangling link", [&] { QFile::link(data.filePath("nowhere"), folder); }, "symbolic link"},
      {"regular file", [&] { QFile(folder).open(QIODevice::WriteOnly); }, "no folder"},
      {"another user's",
       [&] {
         QDir().mkdir(folder);
         ASSERT_EQ(chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
       },
       "another user"},
  };
  QFile(data.filePath("empty.txt")).open(QIODevice::WriteOnly);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name == std::string("another user's") && geteuid() != 0) continue;  // root only
    QDir(folder).removeRecursively();
    QFile::remove(folder);
    c.make();
    const QStringList names = Names();
    const Result history = Run({"history"});
    EXPECT_EQ(history.status, 1);
    EXPECT_TRUE(history.err.contains(folder) && history.err.contains(c.says))
        << history.err.toStdString();
    const Result batch =
        Run({"batch", "--output", data.filePath("out.csv"), data.filePath("empty.txt")});
    EXPECT_EQ(batch.status, 0);
    EXPECT_TRUE(batch.err.contains(folder) && batch.err.contains("pictures are not kept"))
        << batch.err.toStdString();
    QFile::remove(data.filePath("out.csv"));
    EXPECT_EQ(Names(), names);
    EXPECT_EQ(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    EXPECT_FALSE(QFileInfo::exists(data.filePath("nowhere")));
    EXPECT_FALSE(QFileInfo::exists("/pictures"));
  }
}

// Under a umask that takes nothing away, what the batch creates in the data
// folder is private, and its CSV at most 0644.
TEST_F(Cli, ModesAreFixedWhateverTheUmask) {
  QFile(data.filePath("empty.txt")).open(QIODevice::WriteOnly);
  const mode_t old = umask(0);
  const Result batch =
      Run({"batch", "--output", data.filePath("out.csv"), data.filePath("empty.txt")});
  umask(old);
  EXPECT_EQ(batch.status, 0) << batch.err.toStdString();
  const struct {
    const char* path;
    mode_t mode;
  } cases[] = {{"quarvel", 0700},
               {"quarvel/pictures", 0700},
               {"quarvel/history.sqlite3", 0600},
               {"out.csv", 0644}};
  for (const auto& c : cases) {
    struct stat info {};
    ASSERT_EQ(lstat(QFile::encodeName(data.filePath(c.path)).constData(), &info), 0) << c.path;
    EXPECT_EQ(info.st_mode & 07777, c.mode) << c.path;
  }
}

TEST_F(Cli, BadUsageSaysWhatIsWrongAndExitsWithTwo) {
  ExpectUsage({}, "no command given");
  ExpectUsage({"lookup"}, "'lookup' is not a command");
  // Options the parser does not know, as they were typed.
  ExpectUsage({"--no-such-option"}, "Unknown option '--no-such-option'; try --help");
  ExpectUsage({"-V"}, "Unknown option '-V'; try --help");
  ExpectUsage({"check", "-xV", "X"}, "Unknown options '-x', '-V'; try --help");
  ExpectUsage({"history", "--jobs", "2"}, "--jobs is not an option of history");
  ExpectUsage({"history", "--csv", "--json"}, "do not go together");
  ExpectUsage({"history", "--since", "yesterday"}, "--since wants a date");
  ExpectUsage({"history", "--outcome", "lost"}, "--outcome is one of found, not_found");
  ExpectUsage({"check", "--limit", "3", "X"}, "--limit is not an option of check");
  ExpectUsage({"history", "--limit", "0"}, "--limit");
  ExpectUsage({"history", "--limit", "many"}, "--limit");
  ExpectUsage({"history", "extra"}, "history takes no entries");
  ExpectUsage({"batch"}, "INPUT");
  ExpectUsage({"batch", "a", "b"}, "one INPUT");
  ExpectUsage({"batch", "--jobs", "0", "in.txt"}, "--jobs");
  ExpectUsage({"batch", "--jobs", "17", "in.txt"}, "--jobs");
  ExpectUsage({"batch", "--path", "fastest", "in.txt"}, "--path");
  ExpectUsage({"batch", "--rate", "1e-300", "in.txt"}, "--rate wants lookups a minute, at least");
  ExpectUsage({"check", "--lookup-host", "http://x", "X"}, "'http://x' is not a host");
  ExpectUsage({"check", "X"}, "'bad host' is not a host", {{"QUARVEL_PORTAL_HOST", "bad host"}});
  // Good hosts are taken by every command.
  EXPECT_EQ(Run({"check", "--warranty-host", "127.0.0.1:9", "C39XK0ABHG7F"}, {},
                {{"QUARVEL_LOOKUP_HOST", "localhost:8080"}})
                .status,
            0);
}

// Each command's help, asked for either way: the same text, with the
// command's own options and none of another command's.
TEST_F(Cli, EachCommandHelpsWithItsOwnOptions) {
  const struct {
    const char* command;
    QStringList own;
    QStringList others;
  } cases[] = {
      {"check", {"--json"}, {"--csv", "--limit", "--jobs", "--output", "--lookup-host"}},
      {"batch",
       {"--path", "--jobs", "--output", "--retry-failed", "--lookup-host", "--portal-host",
        "Default: comprehensive."},
       {"--json", "--csv", "--limit"}},
      {"history",
       {"--csv", "--json", "--limit", "--entry", "--since", "--outcome", "timed_out"},
       {"--jobs", "--path", "--lookup-host"}},
      {"completions", {"bash|zsh|fish"}, {"--json", "--lookup-host"}},
      {"help", {"--help"}, {"--json", "--csv", "--jobs", "--lookup-host"}},
  };
  const Result program = Run({"--help"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const Result asOption = Run({c.command, "--help"});
    const Result asCommand = Run({"help", c.command});
    EXPECT_EQ(asOption.status, 0);
    EXPECT_EQ(asCommand.status, 0);
    EXPECT_EQ(asOption.out, asCommand.out);
    EXPECT_TRUE(asOption.err.isEmpty() && asCommand.err.isEmpty());
    EXPECT_TRUE(asOption.out.startsWith(QStringLiteral("Usage: quarvel-cli %1").arg(c.command)))
        << asOption.out.toStdString();
    for (const QString& option : c.own)
      EXPECT_TRUE(asOption.out.contains(option)) << option.toStdString();
    for (const QString& option : c.others)
      EXPECT_FALSE(asOption.out.contains(option)) << option.toStdString();
  }
  const Result help = Run({"help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, program.out);
  EXPECT_TRUE(program.out.contains(QStringLiteral("help [COMMAND]")));
  EXPECT_TRUE(program.out.contains(
      QStringLiteral("Defaults: --path comprehensive, --jobs 1, --retries 2.")));
  EXPECT_EQ(Run({"--help", "batch"}).out, Run({"batch", "--help"}).out);
  // help reads no hosts, so a wrong one in the environment does not stop it.
  EXPECT_EQ(Run({"help", "check"}, {}, {{"QUARVEL_LOOKUP_HOST", "bad host"}}).status, 0);
  ExpectUsage({"help", "nosuch"}, "'nosuch' is not a command");
  ExpectUsage({"nosuch", "--help"}, "'nosuch' is not a command");
  ExpectUsage({"help", "check", "batch"}, "help takes one COMMAND");

  // Each command refuses the options of the others, by name.
  const struct {
    QStringList arguments;
    const char* says;
  } misplaced[] = {
      {{"check", "--csv", "X"}, "--csv is not an option of check"},
      {{"history", "--path", "official"}, "--path is not an option of history"},
      {{"batch", "--limit", "2", "in.txt"}, "--limit is not an option of batch"},
      {{"help", "--jobs", "2"}, "--jobs is not an option of help"},
      {{"help", "--lookup-host", "localhost", "check"}, "--lookup-host is not an option of help"},
  };
  for (const auto& c : misplaced) ExpectUsage(c.arguments, c.says);
}

// Batches against the demo site run in tests/gui/batch_test.cpp.
TEST_F(Cli, BatchSaysWhatIsWrongWithItsInput) {
  const QString input = data.filePath("in.txt");
  QFile file(input);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("C39XK0ABHG7F\n");
  file.close();
  const Result missing = Run({"batch", data.filePath("absent.txt")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(missing.err.contains(QStringLiteral("cannot read")));
  const Result unclosed = Run({"batch", "-"}, "A\n\"B\n");
  EXPECT_EQ(unclosed.status, 2);
  EXPECT_TRUE(unclosed.err.contains(
      QStringLiteral("standard input: line 2: a quoted field is not closed")));
  ExpectUsage({"batch", "--output", input, input}, "is the input");
}

// A file that is no text is refused by name before anything starts, and the
// output is not created.
TEST_F(Cli, BatchRefusesAnInputThatIsNoText) {
  const QString input = data.filePath("handsets.csv");
  QFile file(input);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray("\177ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x02\0>\0", 20));
  file.close();
  const QString output = data.filePath("out.csv");
  const Result result = Run({"batch", "--raw-cells", "--output", output, input});
  EXPECT_EQ(result.status, 2);
  EXPECT_TRUE(result.err.contains(input) && result.err.contains(QStringLiteral("ELF")))
      << result.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(output));
  EXPECT_TRUE(Run({"batch", "--help"}).out.contains(QStringLiteral("--raw-cells")));
}

}  // namespace
}  // namespace quarvel
