// The batch runner on fake engines: rows in input order, history, progress,
// stopping, resuming, engines that misbehave.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <thread>

#include "base/gate/handler_gate.h"
#include "base/numbers/device_number.h"
#include "base/records/csv.h"
#include "base/records/history.h"
#include "batch/batch_runner.h"
#include "batch/progress.h"
#include "batch/site_pace.h"
#include "cli/fake_lookup.h"

namespace quarvel {
namespace {

using testing::FakeLookup;
using testing::FakePlan;
using testing::FakeShared;

class MemorySink : public csv::RowSink {
 public:
  bool Write(const QByteArray& row) override {
    if (failAt >= 0 && writes.size() == failAt) return false;
    writes.append(row);
    return true;
  }
  QString Error() const override { return QStringLiteral("disk full"); }
  bool ReaderGone() const override { return readerGone; }
  QList<QByteArray> writes;
  int failAt = -1;
  bool readerGone = false;
};

QStringList Fields(const QByteArray& row) {
  csv::Reader reader(row);
  QStringList fields;
  reader.Next(&fields);
  return fields;
}

QStringList EntriesOf(const QList<QByteArray>& rows) {
  QStringList entries;
  for (const QByteArray& row : rows) entries.append(Fields(row).value(0));
  return entries;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Batch {
  int Run(const QStringList& entries) {
    Progress progress([this](const QByteArray& text) { progressText += text; }, false,
                      static_cast<int>(entries.size()), 0);
    BatchRunner runner(settings, FakeLookup::Factory(shared), &sink, history.get(), &progress);
    if (whileRunning) QTimer::singleShot(0, [&] { whileRunning(runner); });
    const int status = runner.Run(entries);
    undecided = runner.Undecided();
    return status;
  }
  int undecided = -1;
  QTemporaryDir dir;
  std::shared_ptr<FakeShared> shared = std::make_shared<FakeShared>();
  BatchSettings settings;
  MemorySink sink;
  QByteArray progressText;
  std::unique_ptr<History> history = std::make_unique<History>(dir.filePath("data"));
  std::function<void(BatchRunner&)> whileRunning;
};

TEST(BatchRunner, EveryEntryGetsARowAndAHistoryRecord) {
  Batch batch;
  batch.settings.pictureFolder = batch.dir.filePath("data/pictures");
  batch.settings.path = LookupPath::Official;
  batch.shared->plan = [](const LookupRequest& request) {
    FakePlan plan;
    plan.delayMs = 5;
    if (request.entry == QLatin1String("C39XK0ABHG7F")) {
      plan.outcome = {OutcomeKind::Found,
                      "Handset 14 Pro",
                      "C39XK0ABHG7F",
                      "2027年3月18日",
                      request.pictureFile,
                      {},
                      {}};
    } else if (request.entry.startsWith(QLatin1String("356"))) {
      plan.outcome.kind = OutcomeKind::Rejected;
    }
    return plan;
  };
  const QStringList entries = {"C39XK0ABHG7F", "356789104523671", "../../etc/pass wd"};
  ASSERT_EQ(batch.Run(entries), 0);

  ASSERT_EQ(batch.sink.writes.size(), 3);
  EXPECT_EQ(EntriesOf(batch.sink.writes), entries);
  const QStringList found = Fields(batch.sink.writes[0]);
  ASSERT_EQ(found.size(), 11);
  EXPECT_EQ(found[10], "2027-03-18");
  EXPECT_EQ(found.mid(0, 7), (QStringList{"C39XK0ABHG7F", "ok", "official", "found",
                                          "Handset 14 Pro", "C39XK0ABHG7F", "2027年3月18日"}));
  EXPECT_EQ(found[7], batch.shared->started[0].pictureFile);
  EXPECT_TRUE(QDateTime::fromString(found[8], Qt::ISODateWithMs).isValid());
  EXPECT_GE(found[9].toDouble(), 0.004);
  EXPECT_EQ(Fields(batch.sink.writes[1]).mid(1, 3),
            (QStringList{"bad_check_digit", "official", "rejected"}));
  EXPECT_EQ(Fields(batch.sink.writes[2])[3], QStringLiteral("not_found"));

  // Each entry has a picture file of its own, in the picture folder, whatever the entry holds.
  QSet<QString> pictures;
  for (const LookupRequest& request : batch.shared->started) {
    const QFileInfo info(request.pictureFile);
    EXPECT_EQ(info.absolutePath(), QDir(batch.settings.pictureFolder).absolutePath());
    EXPECT_TRUE(QRegularExpression("^batch-[0-9TZ]+-[0-9]+-[0-9]{5}(-[A-Za-z0-9]+)?\\.jpg$")
                    .match(info.fileName())
                    .hasMatch())
        << info.fileName().toStdString();
    pictures.insert(request.pictureFile);
  }
  EXPECT_EQ(pictures.size(), 3);

  const std::vector<HistoryRecord> records = batch.history->Newest();
  ASSERT_EQ(records.size(), 3u);
  QStringList recorded;
  for (const HistoryRecord& record : records) {
    EXPECT_EQ(record.source, HistorySource::Batch);
    EXPECT_EQ(record.path, QStringLiteral("official"));
    recorded.append(record.entry);
  }
  recorded.sort();
  QStringList sorted = entries;
  sorted.sort();
  EXPECT_EQ(recorded, sorted);
  EXPECT_EQ(records.back().check, CheckNumber(records.back().entry).verdict);
  // Not on a terminal: one summary line at the end, none for each entry.
  EXPECT_EQ(batch.progressText.count(" done"), 1) << batch.progressText.constData();
  EXPECT_TRUE(batch.progressText.startsWith("3/3 done, ")) << batch.progressText.constData();
}

TEST(BatchRunner, JobsRunSideBySideAndRowsStayInInputOrder) {
  Batch batch;
  batch.settings.jobs = 3;
  // The first entry takes longest: the others finish first and wait.
  batch.shared->plan = [&](const LookupRequest& request) {
    FakePlan plan;
    plan.delayMs = request.entry == QLatin1String("E0") ? 200 : 10;
    return plan;
  };
  QStringList entries;
  for (int i = 0; i < 8; ++i) entries.append(QStringLiteral("E%1").arg(i));
  int writtenBeforeFirstFinished = -1;
  batch.whileRunning = [&](BatchRunner&) {
    QTimer::singleShot(150, [&] { writtenBeforeFirstFinished = batch.sink.writes.size(); });
  };
  ASSERT_EQ(batch.Run(entries), 0);
  EXPECT_EQ(batch.shared->mostRunning, 3);
  EXPECT_EQ(writtenBeforeFirstFinished, 0);
  EXPECT_EQ(EntriesOf(batch.sink.writes), entries);
  for (const QByteArray& row : batch.sink.writes) {
    EXPECT_TRUE(row.endsWith("\r\n"));
    EXPECT_EQ(Fields(row).size(), 11);
  }
}

TEST(BatchRunner, AStopWritesWhatFinishedAndAResumeDoesTheRest) {
  QTemporaryDir dir;
  const QString path = dir.filePath("out.csv");
  const QStringList entries = {"S0", "S1", "S2", "S3", "S4"};
  Batch batch;
  batch.settings.jobs = 2;
  batch.shared->plan = [](const LookupRequest& request) {
    FakePlan plan;
    plan.delayMs =
        request.entry == QLatin1String("S0") || request.entry == QLatin1String("S4") ? 5000 : 10;
    return plan;
  };
  {
    csv::OutputFile file;
    QString error;
    ASSERT_TRUE(file.Open(path, csv::BatchHeader(), &error));
    Progress progress([](const QByteArray&) {}, false, 5, 0);
    BatchRunner runner(batch.settings, FakeLookup::Factory(batch.shared), &file,
                       batch.history.get(), &progress);
    // SIGTERM once S1 to S3 are done (they wait for S0 to be written).
    QTimer poll;
    poll.start(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (batch.history->Newest().size() >= 3) {
        poll.stop();
        std::raise(SIGTERM);
      }
    });
    EXPECT_EQ(runner.Run(entries), 128 + SIGTERM);
    EXPECT_EQ(runner.Finished(), 3);
  }
  EXPECT_EQ(batch.shared->cancels, 2);  // S0 and S4 were running: abandoned
  const csv::ExistingOutput after = csv::ReadExistingOutput(ReadFile(path), csv::BatchHeader());
  ASSERT_TRUE(after.usable);
  EXPECT_EQ(after.keepBytes, ReadFile(path).size());  // no partial row
  EXPECT_EQ(after.done, (QStringList{"S1", "S2", "S3"}));

  // The same command again.
  batch.shared->plan = [](const LookupRequest&) { return FakePlan{}; };
  csv::OutputFile file;
  QString error;
  ASSERT_TRUE(file.Open(path, csv::BatchHeader(), &error));
  const QStringList todo = EntriesToDo(entries, file.Done());
  EXPECT_EQ(todo, (QStringList{"S0", "S4"}));
  Progress progress([](const QByteArray&) {}, false, 5, 3);
  BatchRunner runner(batch.settings, FakeLookup::Factory(batch.shared), &file, nullptr, &progress);
  EXPECT_EQ(runner.Run(todo), 0);
  QStringList all = csv::ReadExistingOutput(ReadFile(path), csv::BatchHeader()).done;
  all.sort();
  EXPECT_EQ(all, entries);
}

TEST(BatchRunner, ResumingAfterACrashCutsTheHalfWrittenRow) {
  QTemporaryDir dir;
  const QString path = dir.filePath("out.csv");
  const QStringList entries = {"A", "B", "C"};
  {
    QFile crashed(path);
    ASSERT_TRUE(crashed.open(QIODevice::WriteOnly));
    crashed.write(csv::FormatRecord(csv::BatchHeader()));
    crashed.write(csv::FormatRecord({"A", "bad_length", "comprehensive", "found", "", "", "", "",
                                     "2024-01-01T00:00:00.000Z", "1.00", ""}));
    crashed.write("B,bad_length,comprehensive,\"half");
  }
  csv::OutputFile file;
  QString error;
  ASSERT_TRUE(file.Open(path, csv::BatchHeader(), &error));
  const QStringList todo = EntriesToDo(entries, file.Done());
  ASSERT_EQ(todo, (QStringList{"B", "C"}));
  Batch batch;
  Progress progress([](const QByteArray&) {}, false, 3, 1);
  BatchRunner runner(batch.settings, FakeLookup::Factory(batch.shared), &file, nullptr, &progress);
  ASSERT_EQ(runner.Run(todo), 0);

  const QByteArray content = ReadFile(path);
  EXPECT_EQ(content.count("entry,check,path"), 1);
  EXPECT_FALSE(content.contains("half"));
  const csv::ExistingOutput out = csv::ReadExistingOutput(content, csv::BatchHeader());
  EXPECT_EQ(out.done, entries);
  EXPECT_EQ(out.keepBytes, content.size());
}

TEST(BatchRunner, EnginesThatHangCallTwiceOrFailAreHandled) {
  Batch hanging;
  hanging.settings.entryTimeoutMs = 50;
  hanging.shared->plan = [](const LookupRequest& request) {
    FakePlan plan;
    plan.answer = request.entry != QLatin1String("HANG");
    return plan;
  };
  ASSERT_EQ(hanging.Run({"HANG", "NEXT"}), 0);
  EXPECT_EQ(hanging.undecided, 1);
  ASSERT_EQ(hanging.sink.writes.size(), 2);
  EXPECT_EQ(Fields(hanging.sink.writes[0])[3], QStringLiteral("timed_out"));
  EXPECT_EQ(Fields(hanging.sink.writes[1])[3], QStringLiteral("not_found"));
  EXPECT_EQ(hanging.shared->cancels, 1);

  // An engine that answers inside Start, and twice.
  class Eager : public EntryLookup {
   public:
    void Start(const LookupRequest&, Done done) override {
      done(LookupOutcome{OutcomeKind::Found, {}, {}, {}, {}, {}, {}});
      done(LookupOutcome{OutcomeKind::Rejected, {}, {}, {}, {}, {}, {}});
    }
    void Cancel() override {}
  };
  MemorySink sink;
  Progress progress([](const QByteArray&) {}, false, 3, 0);
  BatchRunner eager(
      {}, [](int) { return std::make_unique<Eager>(); }, &sink, nullptr, &progress);
  ASSERT_EQ(eager.Run({"1", "2", "3"}), 0);
  ASSERT_EQ(sink.writes.size(), 3);
  for (const QByteArray& row : sink.writes) EXPECT_EQ(Fields(row)[3], QStringLiteral("found"));

  // An engine that breaks down: the batch stops with what is done written.
  Batch broken;
  broken.shared->plan = [](const LookupRequest& request) {
    FakePlan plan;
    if (request.entry == QLatin1String("BROKEN")) plan.outcome.failure = "the engine ended";
    return plan;
  };
  EXPECT_EQ(broken.Run({"1", "BROKEN", "3"}), 1);
  EXPECT_EQ(EntriesOf(broken.sink.writes), QStringList{"1"});
  // The message as the engine gave it: the program's name is the caller's.
  EXPECT_TRUE(broken.progressText.contains("the engine ended\n")) << broken.progressText.data();

  // No engine at all; an output that cannot be written.
  BatchRunner none(
      {}, [](int) { return nullptr; }, &sink, nullptr, &progress);
  EXPECT_EQ(none.Run({"1"}), 1);
  Batch full;
  full.sink.failAt = 1;
  full.settings.jobs = 2;
  EXPECT_EQ(full.Run({"1", "2", "3", "4"}), 1);
  EXPECT_EQ(full.sink.writes.size(), 1);
  EXPECT_TRUE(full.progressText.contains("disk full"));
  EXPECT_EQ(full.shared->running, 0);  // nothing left running
  // Rows to a pipe whose reader went away: the batch ends, without a word.
  Batch closed;
  closed.sink.failAt = 1;
  closed.sink.readerGone = true;
  EXPECT_EQ(closed.Run({"1", "2", "3"}), 141);
  EXPECT_EQ(closed.sink.writes.size(), 1);
  EXPECT_FALSE(closed.progressText.contains("disk full"));
  EXPECT_EQ(closed.shared->running, 0);
}

TEST(BatchRunner, AnEndedLookupLeavesNothingBehindAndWhatTheHistoryLacksIsSaid) {
  Batch batch;
  batch.history = std::make_unique<History>(QString(), [](const QString&) {});  // takes none
  batch.settings.entryTimeoutMs = 1000;
  batch.settings.pictureFolder = batch.dir.filePath("pictures");
  batch.shared->plan = [](const LookupRequest& request) {
    FakePlan plan;
    plan.delayMs = request.entry == QLatin1String("FIRST") ? 20 : 0;
    if (request.entry == QLatin1String("NOT_CONVERTED")) {  // stored, but named by no row
      QFile(request.pictureFile).open(QIODevice::WriteOnly);
      plan.outcome.kind = OutcomeKind::PictureFailed;
    }
    return plan;
  };
  // Handlers held past both the first answer and its deadline: the deadline's
  // tick comes after the answer, and must not end the next entry.
  batch.whileRunning = [](BatchRunner&) { PauseHoldingHandlers(1500); };
  ASSERT_EQ(batch.Run({"FIRST", "SECOND", "NOT_CONVERTED"}), 1);
  ASSERT_EQ(batch.sink.writes.size(), 3);
  EXPECT_EQ(Fields(batch.sink.writes[1])[3], QStringLiteral("not_found"));
  EXPECT_EQ(batch.shared->cancels, 0);
  EXPECT_EQ(Fields(batch.sink.writes[2])[3], QStringLiteral("picture_failed"));
  EXPECT_TRUE(QDir(batch.settings.pictureFolder).isEmpty());
  EXPECT_TRUE(
      batch.progressText.contains("3 of 3 finished lookups could not be recorded in the "
                                  "history\n"))
      << batch.progressText.toStdString();
}

TEST(BatchRunner, EntriesAlreadyDoneAreCountedLikeAMultiset) {
  EXPECT_EQ(EntriesToDo({"A", "B", "A", "C", "A"}, {"A", "C", "X"}), (QStringList{"B", "A", "A"}));
  EXPECT_EQ(EntriesToDo({"A"}, {}), QStringList{"A"});
}

TEST(Progress, DoneTotalRateAndTimeLeft) {
  EXPECT_EQ(Progress::Line(0, 10, 0, 0), QStringLiteral("0/10 done, rate not known yet"));
  EXPECT_EQ(Progress::Line(5, 10, 5, 60000),
            QStringLiteral("5/10 done, 5.0 entries/min, 0:01:00 left"));
  // Resumed: only this run's entries make the rate.
  EXPECT_EQ(Progress::Line(7, 10, 2, 60000),
            QStringLiteral("7/10 done, 2.0 entries/min, 0:01:30 left"));
  EXPECT_EQ(Progress::Line(10, 1000, 10, 60000),
            QStringLiteral("10/1000 done, 10.0 entries/min, 1:39:00 left"));
  EXPECT_EQ(Progress::Line(10, 10, 10, 120000), QStringLiteral("10/10 done, 5.0 entries/min"));

  QByteArray terminal;
  Progress inPlace([&](const QByteArray& text) { terminal += text; }, true, 2, 0);
  inPlace.Start();
  inPlace.EntryDone();
  inPlace.Message(QStringLiteral("note"));
  inPlace.EntryDone();
  EXPECT_FALSE(terminal.contains("done\n"));
  EXPECT_TRUE(terminal.startsWith("\r0/2 done"));
  EXPECT_TRUE(terminal.contains("\r\x1b[Knote\n\r1/2 done"));
  inPlace.Finish();
  EXPECT_TRUE(terminal.endsWith("\x1b[K\n"));

  QByteArray plain;
  Progress lines([&](const QByteArray& text) { plain += text; }, false, 2, 0, "prog: ");
  lines.Start();
  lines.Message(QStringLiteral("note"));
  lines.EntryDone();
  lines.Finish();
  // To a file or pipe: the message, and one summary line at the end.
  EXPECT_FALSE(plain.contains('\r'));
  EXPECT_EQ(plain, "prog: note\n1/2 done, rate not known yet\n") << plain.data();

  // Quiet: errors alone, not even the summary.
  QByteArray quiet;
  Progress errors([&](const QByteArray& text) { quiet += text; }, true, 2, 0, "prog: ");
  errors.BeQuiet();
  errors.Start();
  errors.Message(QStringLiteral("note"));
  errors.EntryDone();
  errors.Error(QStringLiteral("disk full"));
  errors.Finish();
  EXPECT_EQ(quiet, "prog: disk full\n");
}

// A batch in a process of its own, stopped by SIGTERM and killed outright.
TEST(BatchRunner, AnotherProcessStoppedOrKilledContinuesWithoutLossOrDuplicates) {
  QTemporaryDir dir;
  QStringList entries;
  QByteArray input;
  for (int i = 0; i < 24; ++i) {
    entries.append(QStringLiteral("K%1").arg(i, 2, 10, QLatin1Char('0')));
    input += entries.last().toUtf8() + "\n";
  }
  QFile inputFile(dir.filePath("in.txt"));
  ASSERT_TRUE(inputFile.open(QIODevice::WriteOnly));
  inputFile.write(input);
  inputFile.close();
  const QString output = dir.filePath("out.csv");
  const auto start = [&](QProcess& process) {
    process.start(QStringLiteral(QUARVEL_HELPER_PATH),
                  {"batch", inputFile.fileName(), output, "2", "40"});
    ASSERT_TRUE(process.waitForStarted());
  };
  const auto rowsSoFar = [&] {
    return csv::ReadExistingOutput(ReadFile(output), csv::BatchHeader()).done.size();
  };
  const auto waitForRows = [&](qsizetype rows) {
    for (int i = 0; i < 500 && rowsSoFar() < rows; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return rowsSoFar() >= rows;
  };

  QProcess first;
  start(first);
  ASSERT_TRUE(waitForRows(4));
  first.terminate();  // SIGTERM
  ASSERT_TRUE(first.waitForFinished(10000));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 143);
  EXPECT_EQ(csv::ReadExistingOutput(ReadFile(output), csv::BatchHeader()).keepBytes,
            ReadFile(output).size());

  QProcess second;
  start(second);
  const qsizetype before = rowsSoFar();
  ASSERT_TRUE(waitForRows(before + 4));
  second.kill();  // SIGKILL: a crash
  ASSERT_TRUE(second.waitForFinished(10000));
  {
    QFile torn(output);  // and a row torn by it
    ASSERT_TRUE(torn.open(QIODevice::Append));
    torn.write("K99,ok,comprehensive,fo");
  }

  QProcess third;
  start(third);
  ASSERT_TRUE(third.waitForFinished(20000));
  EXPECT_EQ(third.exitCode(), 0) << third.readAllStandardError().constData();
  const QByteArray content = ReadFile(output);
  const csv::ExistingOutput out = csv::ReadExistingOutput(content, csv::BatchHeader());
  EXPECT_EQ(out.keepBytes, content.size());
  QStringList done = out.done;
  done.sort();
  EXPECT_EQ(done, entries);
  EXPECT_EQ(content.count("entry,check,path"), 1);
}

TEST(SitePace, TheBucketSpacesLookupsAndAPauseHoldsThemAll) {
  SitePace none;
  none.Take(0);
  EXPECT_EQ(none.WaitMs(0), 0);
  SitePace pace(30);  // one every 2 s
  EXPECT_EQ(pace.WaitMs(0), 0);
  pace.Take(0);
  EXPECT_EQ(pace.WaitMs(500), 1500);
  pace.Take(2000);
  EXPECT_EQ(pace.WaitMs(2000), 2000);
  pace.Take(10000);  // idle slots do not pile up
  EXPECT_EQ(pace.WaitMs(10000), 2000);
  pace.PauseUntil(30000);
  pace.PauseUntil(20000);  // the later pause wins
  EXPECT_EQ(pace.WaitMs(12000), 18000);
  const std::pair<int, qint64> backOffs[] = {
      {1, 2000}, {2, 4000}, {3, 8000}, {7, 120000}, {40, 120000}};
  for (const auto& [attempt, ms] : backOffs) EXPECT_EQ(SitePace::BackOffMs(attempt), ms);
}

TEST(BatchRunner, PassingFailuresAreTriedAgainAfterTheWaitThenEndTimedOut) {
  Batch batch;
  batch.settings.retries = 2;
  batch.settings.jobs = 2;
  batch.shared->plan = [&](const LookupRequest& request) {
    const auto tries =
        std::count_if(batch.shared->started.begin(), batch.shared->started.end(),
                      [&](const LookupRequest& r) { return r.entry == request.entry; });
    FakePlan plan;
    plan.delayMs = 2;
    plan.outcome.kind = OutcomeKind::Found;
    if (request.entry == QLatin1String("WAITS") && tries < 3) {
      plan.outcome = {OutcomeKind::TimedOut, {}, {}, {}, {}, "the site answered HTTP 429", {}, 150};
    } else if (request.entry == QLatin1String("NEVER")) {
      plan.outcome = {OutcomeKind::TimedOut, {}, {}, {}, {}, "the page got no answer", {}, 50};
    }
    return plan;
  };
  ASSERT_EQ(batch.Run({"WAITS", "NEVER", "PLAIN"}), 0);
  EXPECT_EQ(batch.undecided, 1);  // NEVER, whose tries ran out
  ASSERT_EQ(batch.sink.writes.size(), 3);
  EXPECT_EQ(Fields(batch.sink.writes[0])[3], QStringLiteral("found"));
  EXPECT_EQ(Fields(batch.sink.writes[1])[3], QStringLiteral("timed_out"));
  EXPECT_EQ(Fields(batch.sink.writes[2])[3], QStringLiteral("found"));
  QStringList started;
  for (const LookupRequest& r : batch.shared->started) started.append(r.entry);
  EXPECT_EQ(started.count("WAITS"), 3);
  EXPECT_EQ(started.count("NEVER"), 3);  // the first try and two more
  EXPECT_EQ(started.count("PLAIN"), 1);
  EXPECT_TRUE(
      batch.progressText.contains("waiting 0.1 s for the site (the site answered HTTP 429)"))
      << batch.progressText.toStdString();
  EXPECT_TRUE(batch.progressText.contains("NEVER: timed_out (the page got no answer)"));
  const std::vector<HistoryRecord> records = batch.history->Newest();
  EXPECT_EQ(records.size(), 3u);  // one record an entry, whatever the tries
}

}  // namespace
}  // namespace quarvel
