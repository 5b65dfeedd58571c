// CSV writing and reading, the batch input, resuming an output and the row writers.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "base/records/csv.h"
#include "support/test_pictures.h"

namespace quarvel::csv {
namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

QList<QStringList> Records(const QByteArray& text) {
  Reader reader(text);
  QList<QStringList> records;
  QStringList fields;
  while (reader.Next(&fields) == Reader::Status::Record) records.append(fields);
  return records;
}

QStringList Row(const QString& entry) {
  return {entry,  "ok", "comprehensive", "found", "M", "S", "W", "", "2024-01-01T00:00:00.000Z",
          "1.00", ""};
}

class MemorySink : public RowSink {
 public:
  bool Write(const QByteArray& row) override {
    if (failAfter >= 0 && writes.size() >= failAfter) return false;
    writes.append(row);
    return true;
  }
  QString Error() const override { return QStringLiteral("full"); }
  QList<QByteArray> writes;
  int failAfter = -1;
};

TEST(Csv, RecordsAreQuotedOnlyWhereNeededAndEndInCrLf) {
  EXPECT_EQ(FormatRecord({"a", "", "b c"}), QByteArray("a,,b c\r\n"));
  EXPECT_EQ(FormatRecord({"a,b", "say \"hi\"", "two\nlines", "cr\r"}),
            QByteArray("\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\"\r\n"));
  EXPECT_EQ(FormatRecord({"型号"}), QByteArray("\xE5\x9E\x8B\xE5\x8F\xB7\r\n"));
  EXPECT_EQ(FormatRecord(BatchHeader()),
            QByteArray("entry,check,path,outcome,model,serial,warranty_end,picture,finished_at,"
                       "seconds,warranty_end_date\r\n"));
}

TEST(Csv, WhatIsWrittenReadsBackUnchanged) {
  const QList<QStringList> records = {
      {"", "x"}, {"\"", "\"\"", ",", " lead", "trail "}, {"line\r\nbreak", "查询成功", "a\"b"}};
  QByteArray text;
  for (const QStringList& record : records) text += FormatRecord(record);
  EXPECT_EQ(Records(text), records);
}

TEST(Csv, TheReaderTakesOtherLineEndsAndTellsACutOffRecord) {
  EXPECT_EQ(Records("a,b\nc\rd\r\n"), (QList<QStringList>{{"a", "b"}, {"c"}, {"d"}}));
  // Lenient: a quote inside an unquoted field, text after a closing quote.
  EXPECT_EQ(Records("a\"b,\"c\"d\n"), (QList<QStringList>{{"a\"b", "cd"}}));

  Reader cut("a,b\r\nc,d");
  QStringList fields;
  ASSERT_EQ(cut.Next(&fields), Reader::Status::Record);
  EXPECT_TRUE(cut.Terminated());
  EXPECT_EQ(cut.Position(), 5);
  ASSERT_EQ(cut.Next(&fields), Reader::Status::Record);
  EXPECT_FALSE(cut.Terminated());
  EXPECT_EQ(cut.Next(&fields), Reader::Status::End);

  Reader halfCrLf("a\r");
  ASSERT_EQ(halfCrLf.Next(&fields), Reader::Status::Record);
  EXPECT_FALSE(halfCrLf.Terminated());
  Reader open("a,\"b\r\nc");
  EXPECT_EQ(open.Next(&fields), Reader::Status::OpenQuote);
}

TEST(BatchInput, LinesCommentsBlanksBomAndCrLf) {
  const BatchInput input = ReadBatchInput(
      "\xEF\xBB\xBF# handsets to check\r\n"
      "  C39XK0ABHG7F  \r\n"
      "\r\n"
      "   \t\r\n"
      "#356789104523671\r\n"
      "35 678910 452367 3\r\n"
      "F17ZP1QWN73D");
  EXPECT_TRUE(input.error.isEmpty());
  EXPECT_EQ(input.entries, (QStringList{"C39XK0ABHG7F", "35 678910 452367 3", "F17ZP1QWN73D"}));
  EXPECT_TRUE(ReadBatchInput("").entries.isEmpty());
  EXPECT_TRUE(ReadBatchInput("\n\n# only\n").entries.isEmpty());
}

TEST(BatchInput, TheFirstColumnOfACsvAndItsHeader) {
  EXPECT_EQ(
      ReadBatchInput("Serial,Model\nC39XK0ABHG7F,Handset\n\"DNPQ2LL8JCLM\",\"a,\nb\"\n").entries,
      (QStringList{"C39XK0ABHG7F", "DNPQ2LL8JCLM"}));
  // An earlier batch output as input.
  QByteArray output =
      FormatRecord(BatchHeader()) + FormatRecord(Row("A1")) + FormatRecord(Row("B2"));
  EXPECT_EQ(ReadBatchInput(output).entries, (QStringList{"A1", "B2"}));
  // Only a first line names a column; a quote in a comment opens nothing.
  EXPECT_EQ(ReadBatchInput("# don't \"quote\nA1\nserial\n").entries, (QStringList{"A1", "serial"}));
  EXPECT_EQ(ReadBatchInput(",x\nA1,y\n").entries, (QStringList{"A1"}));

  const BatchInput open = ReadBatchInput("A1\nB2\n\"C3,x\nD4\n");
  EXPECT_TRUE(open.entries.isEmpty());
  EXPECT_EQ(open.error, QStringLiteral("line 3: a quoted field is not closed"));
}

TEST(BatchInput, Utf16WithItsByteOrderMark) {
  QStringEncoder little(QStringConverter::Utf16LE);
  QStringEncoder big(QStringConverter::Utf16BE);
  const QString text = QStringLiteral("序列号\r\nC39XK0ABHG7F\r\n");
  EXPECT_EQ(ReadBatchInput("\xFF\xFE" + QByteArray(little(text))).entries,
            QStringList{"C39XK0ABHG7F"});
  EXPECT_EQ(ReadBatchInput("\xFE\xFF" + QByteArray(big(text))).entries,
            QStringList{"C39XK0ABHG7F"});
}

TEST(BatchInput, WhatIsNoTextIsRefusedBeforeAnyEntry) {
  QStringEncoder little(QStringConverter::Utf16LE);
  const QByteArray utf16 = little(QStringLiteral("序列号\r\nC39XK0ABHG7F\r\n"));
  const struct {
    QByteArray content;
    const char* says;  // null: accepted
  } cases[] = {
      {QByteArray("A1\nB2\0C3\n", 9), "line 2: a NUL byte"},
      {QByteArray("\177ELF\x02\x01\x01\0\0\0", 10), "a program (ELF)"},
      {QByteArray("PK\x03\x04\x14\0\x06\0", 8), "a ZIP archive"},
      {"%PDF-1.7\nA1\n", "a PDF document"},
      {"A1\nB2\xC3(\n", "line 2: not UTF-8"},
      {"A1\n\xC0\xAF\n", "line 2: not UTF-8"},        // an overlong "/"
      {"\xED\xA0\x80\n", "line 1: not UTF-8"},        // a surrogate
      {"A1\nB2\xE5\x9E", "line 2: not UTF-8"},        // cut inside a character
      {utf16, "line 1: a NUL byte"},                  // UTF-16LE without its BOM
      {"\xFF\xFE" + utf16.chopped(1), "not UTF-16"},  // an odd byte at the end
      {"\xFF\xFE" + utf16, nullptr},
      {"\xEF\xBB\xBF\xE5\xBA\x8F\xE5\x88\x97\xE5\x8F\xB7\nC39XK0ABHG7F\n", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.toHex(' ').toStdString());
    const BatchInput input = ReadBatchInput(c.content);
    if (!c.says) {
      EXPECT_TRUE(input.error.isEmpty()) << input.error.toStdString();
      EXPECT_EQ(input.entries, QStringList{"C39XK0ABHG7F"});
      continue;
    }
    EXPECT_TRUE(input.error.contains(QLatin1String(c.says))) << input.error.toStdString();
    EXPECT_TRUE(input.entries.isEmpty());
  }
}

// Values a page or an input may hold that a spreadsheet would run.
const QStringList& FormulaLike() {
  static const QStringList values = {
      "=HYPERLINK(\"http://x\")", "+1", "-X", "@SUM(A1)", "\tT", "\rR", "'-Q", "''=W"};
  return values;
}

TEST(Csv, ACellASpreadsheetWouldRunGetsAnApostropheUnlessRaw) {
  const struct {
    QString cell;
    QByteArray guarded;
  } cases[] = {
      {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {"+1", "'+1"},
      {"-X", "'-X"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tT", "'\tT"},
      {"\rR", "\"'\rR\""},
      {"'-Q", "''-Q"},  // so that it reads back as it was
      {"''=W", "'''=W"},
      {"a=b+c-d@e\tf", "a=b+c-d@e\tf"},
      {"'quoted", "'quoted"},
      {"'", "'"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cell.toStdString());
    EXPECT_EQ(FormatRecord({c.cell, "x"}), c.guarded + ",x\r\n");
    EXPECT_EQ(Records(FormatRecord({c.cell}, Cells::Raw)), QList<QStringList>{{c.cell}});
  }
  EXPECT_EQ(FormatRecord({"-1", "=2", "+3"}, Cells::Raw), QByteArray("-1,=2,+3\r\n"));
}

TEST(ExistingOutput, ResumeKnowsEntriesWrittenGuardedRawOrBeforeTheGuard) {
  const QStringList entries = FormulaLike() + QStringList{"A1", "'plain"};
  const QByteArray header = FormatRecord(BatchHeader());
  QByteArray guarded = header, raw = header;
  for (const QString& entry : entries) {
    QStringList row = Row(entry);
    row[4] = "-cmd|' /C calc'!A0";  // a page's value: the resume looks at the entry only
    guarded += FormatRecord(row);
    raw += FormatRecord(row, Cells::Raw);
  }
  EXPECT_EQ(ReadExistingOutput(guarded, BatchHeader()).done, entries);
  EXPECT_EQ(ReadBatchInput(guarded).entries, entries);  // an output as the next input
  // Raw rows, as the batch wrote them before the guard: the same entries,
  // except those that begin with apostrophes and a formula character, which
  // read as guarded ones.
  QStringList fromRaw = entries;
  fromRaw.replace(fromRaw.indexOf("'-Q"), "-Q");
  fromRaw.replace(fromRaw.indexOf("''=W"), "'=W");
  EXPECT_EQ(ReadExistingOutput(raw, BatchHeader()).done, fromRaw);

  // The rows to look up again are named by their entries as given.
  QTemporaryDir dir;
  const QString path = dir.filePath("out.csv");
  QStringList timedOut = Row("-X");
  timedOut[3] = "timed_out";
  WriteFile(path, header + FormatRecord(Row("=1")) + FormatRecord(timedOut));
  OutputFile file;
  QString error;
  ASSERT_TRUE(file.Open(path, BatchHeader(), &error, {"timed_out"})) << error.toStdString();
  EXPECT_EQ(file.Done(), (QStringList{"=1", "-X"}));
  EXPECT_EQ(file.Retry(), QStringList{"-X"});
}

// What Python's csv module, as a script reading the output would use it,
// makes of guarded rows: every cell whole, with its apostrophe where one was put.
TEST(Csv, PythonReadsGuardedRowsCleanly) {
  QTemporaryDir dir;
  const QString path = dir.filePath("out.csv");
  const QStringList cells = FormulaLike() + QStringList{"a,b\r\nc", "查询成功", ""};
  WriteFile(path, FormatRecord(BatchHeader()) + FormatRecord(cells));
  QProcess python;
  python.start("python3", {"-c",
                           "import csv, json, sys\n"
                           "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                           "    print(json.dumps(list(csv.reader(f, strict=True))))",
                           path});
  if (!python.waitForStarted()) GTEST_SKIP() << "no python3";
  ASSERT_TRUE(python.waitForFinished(20000));
  ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
  const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].toVariant().toStringList(), BatchHeader());
  QStringList expected;
  for (const QString& cell : cells)
    expected.append(FormulaLike().contains(cell) ? "'" + cell : cell);
  EXPECT_EQ(rows[1].toVariant().toStringList(), expected);
}

TEST(ExistingOutput, ANewEmptyOrHalfHeaderedFileGetsTheHeader) {
  for (const QByteArray& content :
       {QByteArray(), QByteArray("entry,che"), QByteArray("\xEF\xBB\xBF"),
        FormatRecord(BatchHeader()).chopped(1)}) {
    const ExistingOutput out = ReadExistingOutput(content, BatchHeader());
    EXPECT_TRUE(out.usable);
    EXPECT_TRUE(out.writeHeader) << content.constData();
    EXPECT_EQ(out.keepBytes, 0);
  }
}

TEST(ExistingOutput, CompleteRowsAreDoneAndACutOffLastRowIsDropped) {
  const QByteArray header = FormatRecord(BatchHeader());
  const QByteArray a = FormatRecord(Row("A1"));
  const QByteArray b = FormatRecord(Row("B,\"2\"\r\nx"));  // quoted, with a line break inside
  const QByteArray good = header + a + b;
  ExistingOutput out = ReadExistingOutput(good, BatchHeader());
  EXPECT_EQ(out.done, (QStringList{"A1", "B,\"2\"\r\nx"}));
  EXPECT_EQ(out.keepBytes, good.size());
  EXPECT_FALSE(out.writeHeader);

  const QByteArray c = FormatRecord(Row("C3"));
  // Cut anywhere inside the last row: after its first byte, inside a quoted
  // line break, between CR and LF.
  for (qsizetype cut = 1; cut < b.size(); ++cut) {
    out = ReadExistingOutput(header + a + b.left(cut), BatchHeader());
    EXPECT_TRUE(out.usable);
    EXPECT_EQ(out.done, QStringList{"A1"}) << cut;
    EXPECT_EQ(out.keepBytes, header.size() + a.size()) << cut;
  }
  out = ReadExistingOutput("\xEF\xBB\xBF" + good + "\r\n" + c.left(4), BatchHeader());
  EXPECT_EQ(out.done.size(), 2);
  EXPECT_EQ(out.keepBytes, 3 + good.size() + 2);
}

TEST(ExistingOutput, AFileThatIsNoBatchOutputIsRefused) {
  const ExistingOutput foreign = ReadExistingOutput("C39XK0ABHG7F\nF17ZP1QWN73D\n", BatchHeader());
  EXPECT_FALSE(foreign.usable);
  EXPECT_TRUE(foreign.error.contains(QStringLiteral("first line")));
  const ExistingOutput wrongRow =
      ReadExistingOutput(FormatRecord(BatchHeader()) + "A1,ok,x\r\n", BatchHeader());
  EXPECT_FALSE(wrongRow.usable);
  EXPECT_EQ(wrongRow.error, QStringLiteral("line 2 has 3 fields, not 11"));
}

// An output written before warranty_end_date: continued, and looked up
// again, in the current form, each old row's cells as they were.
TEST(OutputFile, AnOlderOutputGetsTheNewColumnForEveryRow) {
  const QStringList oldHeader = BatchHeader().mid(0, 10);
  const auto oldRow = [](const QString& entry, const QString& outcome, const QString& end) {
    QStringList row = Row(entry).mid(0, 10);
    row[3] = outcome;
    row[6] = end;
    return FormatRecord(row, Cells::Raw);
  };
  const QByteArray rows = oldRow("-A1", "found", "2027年3月18日") + oldRow("B2", "timed_out", "") +
                          oldRow("C3", "found", "2026年 12月30日").replace("\r\n", "\n");
  const QByteArray old = "\xEF\xBB\xBF" + FormatRecord(oldHeader) + rows + "D4,ok,comp";
  EXPECT_FALSE(ReadExistingOutput(old, BatchHeader()).usable);
  QTemporaryDir dir;
  const QString path = dir.filePath("out.csv");
  for (const bool retry : {false, true}) {
    SCOPED_TRACE(retry);
    WriteFile(path, old);
    OutputFile file;
    QString error;
    ASSERT_TRUE(file.Open(path, BatchHeader(), &error,
                          retry ? QStringList{"timed_out"} : QStringList(), OlderBatchOutput()))
        << error.toStdString();
    EXPECT_EQ(file.Done(), (QStringList{"-A1", "B2", "C3"}));
    EXPECT_EQ(file.Outcomes(), (QStringList{"found", "timed_out", "found"}));
    EXPECT_EQ(file.Retry(), retry ? QStringList{"B2"} : QStringList());
    const QByteArray upgraded = "\xEF\xBB\xBF" + FormatRecord(BatchHeader()) +
                                oldRow("-A1", "found", "2027年3月18日").chopped(2) +
                                ",2027-03-18\r\n" + oldRow("B2", "timed_out", "").chopped(2) +
                                ",\r\n" + oldRow("C3", "found", "2026年 12月30日").chopped(2) +
                                ",2026-12-30\r\n";
    EXPECT_EQ(testing::ReadWholeFile(path), upgraded);
    ASSERT_TRUE(file.WriteRow(0, FormatRecord(Row("B2"))));
    EXPECT_EQ(ReadExistingOutput(testing::ReadWholeFile(path), BatchHeader()).done,
              retry ? (QStringList{"-A1", "B2", "C3"}) : (QStringList{"-A1", "B2", "C3", "B2"}));
  }
}

TEST(OutputFile, CreatesResumesAndLocks) {
  QTemporaryDir dir;
  const QString path = dir.filePath("out.csv");
  {
    OutputFile file;
    QString error;
    ASSERT_TRUE(file.Open(path, BatchHeader(), &error)) << error.toStdString();
    EXPECT_TRUE(file.Done().isEmpty());
    ASSERT_TRUE(file.Write(FormatRecord(Row("A1"))));
    EXPECT_EQ(testing::ReadWholeFile(path), FormatRecord(BatchHeader()) + FormatRecord(Row("A1")));

    OutputFile second;
    EXPECT_FALSE(second.Open(path, BatchHeader(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("another batch"))) << error.toStdString();
  }
  // A crash left half a row.
  WriteFile(path, testing::ReadWholeFile(path) + "B2,ok,comprehensive,fou");
  {
    OutputFile file;
    QString error;
    ASSERT_TRUE(file.Open(path, BatchHeader(), &error));
    EXPECT_EQ(file.Done(), QStringList{"A1"});
    ASSERT_TRUE(file.Write(FormatRecord(Row("B2"))));
  }
  EXPECT_EQ(testing::ReadWholeFile(path),
            FormatRecord(BatchHeader()) + FormatRecord(Row("A1")) + FormatRecord(Row("B2")));

  const QByteArray list = "C39XK0ABHG7F\n";
  WriteFile(dir.filePath("list.txt"), list);
  OutputFile foreign;
  QString error;
  EXPECT_FALSE(foreign.Open(dir.filePath("list.txt"), BatchHeader(), &error));
  EXPECT_TRUE(error.contains(QStringLiteral("refusing")));
  EXPECT_EQ(testing::ReadWholeFile(dir.filePath("list.txt")), list);
  OutputFile folder;
  EXPECT_FALSE(folder.Open(dir.path(), BatchHeader(), &error));
}

TEST(FdSink, AWriteThatFailsHalfWayLeavesNoPartOfTheRow) {
  QTemporaryDir dir;
  const QString path = dir.filePath("out.csv");
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_APPEND, 0644);
  ASSERT_GE(fd, 0);
  FdSink sink(fd, true);
  ASSERT_TRUE(sink.Write("first row\r\n"));
  // The file may grow to 16 bytes: the next row is cut by the system.
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 16;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = sink.Write("second row, too long\r\n");
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  ::close(fd);
  EXPECT_FALSE(written);
  EXPECT_FALSE(sink.Error().isEmpty());
  EXPECT_EQ(testing::ReadWholeFile(path), QByteArray("first row\r\n"));
}

TEST(OrderedRows, ARowThatFinishesEarlyWaitsForTheEarlierOnes) {
  MemorySink sink;
  OrderedRows rows(&sink);
  EXPECT_TRUE(rows.Put(2, "c\r\n"));
  EXPECT_TRUE(rows.Put(1, "b\r\n"));
  EXPECT_TRUE(sink.writes.isEmpty());
  EXPECT_EQ(rows.Waiting(), 2);
  EXPECT_TRUE(rows.Put(0, "a\r\n"));
  EXPECT_EQ(sink.writes, (QList<QByteArray>{"a\r\n", "b\r\n", "c\r\n"}));  // one write a row
  EXPECT_TRUE(rows.Put(4, "e\r\n"));
  EXPECT_TRUE(rows.FlushWaiting());
  EXPECT_EQ(sink.writes.last(), QByteArray("e\r\n"));
  EXPECT_EQ(rows.Waiting(), 0);

  MemorySink full;
  full.failAfter = 1;
  OrderedRows failing(&full);
  EXPECT_TRUE(failing.Put(0, "a\r\n"));
  EXPECT_FALSE(failing.Put(1, "b\r\n"));
  EXPECT_FALSE(failing.Put(2, "c\r\n"));
  EXPECT_EQ(full.writes.size(), 1);
}

}  // namespace
}  // namespace quarvel::csv
