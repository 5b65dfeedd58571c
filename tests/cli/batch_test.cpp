// quarvel-cli batch end to end: the real lookup engine in hidden windows
// against the demo sites, resuming after a kill, and the history.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTemporaryDir>

#include <csignal>
#include <utility>

#include <sys/types.h>

#include "support/demo_sites.h"
#include "support/silent_server.h"
#include "support/wait.h"

namespace quarvel {
namespace {

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QFile input(dir.filePath("entries.txt"));
    ASSERT_TRUE(input.open(QIODevice::WriteOnly));
    input.write("# trade-ins\nC39XK0ABHG7F\n\nF17ZP1QWN73D\nNOTKNOWN1234\n");
  }

  // Starts quarvel-cli with the demo's hosts and a data folder of its own.
  void Start(QProcess& process, QStringList arguments) {
    const Config config = sites.MakeConfig();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    environment.remove("DISPLAY");
    process.setProcessEnvironment(environment);
    arguments << "--lookup-host" << config.lookupHost << "--warranty-host" << config.warrantyHost
              << "--portal-host" << config.portalHost;
    process.start(QStringLiteral(QUARVEL_CLI_PATH), arguments);
    ASSERT_TRUE(process.waitForStarted());
  }

  QStringList Rows() {
    QFile output(dir.filePath("out.csv"));
    if (!output.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(output.readAll()).split("\r\n", Qt::SkipEmptyParts);
  }

  testing::DemoSites sites;
  QTemporaryDir dir;
};

TEST_F(BatchTest, EveryEntryGetsOneRowAfterAKillAndEveryRowIsInTheHistory) {
  const QStringList batch{"batch", "--output", dir.filePath("out.csv"),
                          dir.filePath("entries.txt")};
  QProcess first;
  Start(first, batch);
  // Killed once the first row is out: the second run goes on from there.
  ASSERT_TRUE(testing::WaitFor([&] { return Rows().size() >= 2; }, 30000));
  ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
  first.waitForFinished();

  QProcess second;
  Start(second, batch);
  ASSERT_TRUE(second.waitForFinished(60000));
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

  const QStringList rows = Rows();
  ASSERT_EQ(rows.size(), 4) << rows.join('\n').toStdString();
  EXPECT_EQ(rows[0],
            "entry,check,path,outcome,model,serial,warranty_end,picture,finished_at,seconds,"
            "warranty_end_date");
  EXPECT_TRUE(rows[1].startsWith("C39XK0ABHG7F,ok,comprehensive,found,,C39XK0ABHG7F,,"))
      << rows[1].toStdString();
  EXPECT_TRUE(rows[2].startsWith("F17ZP1QWN73D,ok,comprehensive,found,,F17ZP1QWN73D,,"));
  EXPECT_TRUE(rows[3].startsWith("NOTKNOWN1234,ok,comprehensive,not_found,,,,,"));
  // Each found entry has a picture of its own.
  const QString picture = rows[1].section(',', 7, 7);
  EXPECT_TRUE(picture.startsWith(dir.filePath("data")));
  EXPECT_TRUE(QFile::exists(picture));
  EXPECT_NE(picture, rows[2].section(',', 7, 7));

  QProcess history;
  Start(history, {"history", "--csv"});
  ASSERT_TRUE(history.waitForFinished(10000));
  const QString listed = QString::fromUtf8(history.readAllStandardOutput());
  for (const char* entry : {"C39XK0ABHG7F", "F17ZP1QWN73D", "NOTKNOWN1234"})
    EXPECT_TRUE(listed.contains(QString::fromLatin1(entry))) << entry;
}

TEST_F(BatchTest, APageThatHangsCostsItsOwnRowAndRetryFailedRedoesItInPlace) {
  QFile input(dir.filePath("entries.txt"));
  ASSERT_TRUE(input.open(QIODevice::WriteOnly | QIODevice::Truncate));
  input.write("C39XK0ABHG7F\nSPINNER00001\nF17ZP1QWN73D\n");
  input.close();
  sites.OverrideLookup("/index.php/iphone/SPINNER00001",
                       "<h1>查找结果</h1><script>setTimeout(function(){while(true){}},0)</script>");
  const QStringList batch{
      "batch", "--jobs", "2", "--output", dir.filePath("out.csv"), dir.filePath("entries.txt")};
  QProcess first;
  Start(first, batch);
  ASSERT_TRUE(first.waitForFinished(90000));
  // An entry without a decision: a script can tell that the batch needs
  // another look.
  EXPECT_EQ(first.exitCode(), 1);
  const QByteArray err = first.readAllStandardError();
  // Its page hangs once its result is read: whether that came before the
  // hang (no picture) or not (the page stopped answering), the hang costs
  // this entry alone.
  EXPECT_TRUE(err.contains("SPINNER00001: timed_out (page stopped answering)") ||
              err.contains("SPINNER00001,ok,comprehensive,picture_failed") ||
              Rows().value(2).startsWith("SPINNER00001,ok,comprehensive,picture_failed,"))
      << err.toStdString();
  EXPECT_TRUE(err.contains("1 of 3 entries ended without a decision")) << err.toStdString();
  const QStringList before = Rows();
  ASSERT_EQ(before.size(), 4) << before.join('\n').toStdString();
  EXPECT_TRUE(before[1].startsWith("C39XK0ABHG7F,ok,comprehensive,found,"));
  EXPECT_TRUE(before[2].startsWith("SPINNER00001,ok,comprehensive,timed_out,") ||
              before[2].startsWith("SPINNER00001,ok,comprehensive,picture_failed,"))
      << before[2].toStdString();
  EXPECT_TRUE(before[3].startsWith("F17ZP1QWN73D,ok,comprehensive,found,"));

  // The page answers now (not found: a decision): only that row is looked up
  // again, in its place, and the batch ends with 0.
  sites.OverrideLookup("/index.php/iphone/SPINNER00001", "<p>抱歉，没有找到</p>");
  QProcess again;
  Start(again, QStringList{"--retry-failed"} + batch.mid(0, 1) + batch.mid(3));
  ASSERT_TRUE(again.waitForFinished(60000));
  EXPECT_EQ(again.exitCode(), 0) << again.readAllStandardError().toStdString();
  const QStringList after = Rows();
  ASSERT_EQ(after.size(), 4) << after.join('\n').toStdString();
  EXPECT_EQ(after[1], before[1]);
  EXPECT_TRUE(after[2].startsWith("SPINNER00001,ok,comprehensive,not_found,"))
      << after[2].toStdString();
  EXPECT_EQ(after[3], before[3]);
}

TEST_F(BatchTest, EntriesAreCheckedAndCleanedBeforeTheyTravel) {
  QFile input(dir.filePath("entries.txt"));
  ASSERT_TRUE(input.open(QIODevice::WriteOnly | QIODevice::Truncate));
  input.write("c39 xk0 abh g7f\nf17zp1qwn73d\nabc\n35678910452367\n");
  input.close();
  QProcess process;
  Start(process,
        {"batch", "--jobs", "2", "--output", dir.filePath("out.csv"), dir.filePath("entries.txt")});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  const QStringList rows = Rows();
  ASSERT_EQ(rows.size(), 5) << rows.join('\n').toStdString();
  // The entry column keeps the input's form; the lookup got the clean one.
  EXPECT_TRUE(rows[1].startsWith("c39 xk0 abh g7f,ok,comprehensive,found,,C39XK0ABHG7F,"))
      << rows[1].toStdString();
  EXPECT_TRUE(rows[2].startsWith("f17zp1qwn73d,ok,comprehensive,found,"));
  EXPECT_TRUE(rows[3].startsWith("abc,bad_length,comprehensive,bad_input,"))
      << rows[3].toStdString();
  EXPECT_TRUE(rows[4].startsWith(
      "35678910452367,missing_check_digit,comprehensive,found,,356789104523673,"))
      << rows[4].toStdString();
}

TEST_F(BatchTest, AnOfficialEntryStartsFromTheFormWhateverTheLastOneLeft) {
  // A rejection page without the serial form: the next entry must not wait
  // for a form that never comes.
  sites.OverrideWarrantyResult("BADXK0REJECT", "<p>请输入有效的序列号。</p>");
  QFile input(dir.filePath("entries.txt"));
  ASSERT_TRUE(input.open(QIODevice::WriteOnly | QIODevice::Truncate));
  input.write("BADXK0REJECT\nC39XK0ABHG7F\n");
  input.close();
  QProcess process;
  Start(process, {"batch", "--path", "official", "--output", dir.filePath("out.csv"),
                  dir.filePath("entries.txt")});
  ASSERT_TRUE(process.waitForFinished(60000));
  const QStringList rows = Rows();
  ASSERT_EQ(rows.size(), 3) << rows.join('\n').toStdString();
  EXPECT_TRUE(rows[1].startsWith("BADXK0REJECT,ok,official,rejected,"));
  EXPECT_TRUE(rows[2].startsWith("C39XK0ABHG7F,ok,official,found,iPhone 14 Pro,"))
      << rows[2].toStdString();
}

TEST_F(BatchTest, TheOfficialPathCutsModelAndWarrantyEndWithTwoJobs) {
  QProcess process;
  Start(process, {"batch", "--path", "official", "--jobs", "2", "--output", dir.filePath("out.csv"),
                  dir.filePath("entries.txt")});
  ASSERT_TRUE(process.waitForFinished(90000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  const QStringList rows = Rows();
  ASSERT_EQ(rows.size(), 4);
  EXPECT_TRUE(
      rows[1].startsWith("C39XK0ABHG7F,ok,official,found,iPhone 14 Pro,C39XK0ABHG7F,"
                         "2027年3月18日,,"))
      << rows[1].toStdString();
  EXPECT_TRUE(rows[1].endsWith(",2027-03-18")) << rows[1].toStdString();
  EXPECT_TRUE(rows[2].startsWith("F17ZP1QWN73D,ok,official,found,iPhone 13,F17ZP1QWN73D,"));
  EXPECT_TRUE(rows[3].startsWith("NOTKNOWN1234,ok,official,rejected,"));
}

TEST_F(BatchTest, JobsRunSideBySideAndEachFoundEntryKeepsThePictureOfItsSerial) {
  QFile input(dir.filePath("entries.txt"));
  ASSERT_TRUE(input.open(QIODevice::Append));
  input.write("C39XK0ABHG7F\nF17ZP1QWN73D\n");
  input.close();
  QProcess process;
  Start(process,
        {"batch", "--jobs", "3", "--output", dir.filePath("out.csv"), dir.filePath("entries.txt")});
  ASSERT_TRUE(process.waitForFinished(90000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();

  const QStringList rows = Rows();
  ASSERT_EQ(rows.size(), 6) << rows.join('\n').toStdString();
  QStringList pictures;
  for (int i : {1, 2, 4, 5}) {
    EXPECT_TRUE(rows[i].startsWith(i % 3 == 1
                                       ? "C39XK0ABHG7F,ok,comprehensive,found,,C39XK0ABHG7F,,"
                                       : "F17ZP1QWN73D,ok,comprehensive,found,,F17ZP1QWN73D,,"))
        << rows[i].toStdString();
    pictures.append(rows[i].section(',', 7, 7));
  }
  EXPECT_TRUE(rows[3].startsWith("NOTKNOWN1234,ok,comprehensive,not_found,"));
  // Each found entry's picture is its own, and is the picture of its serial.
  EXPECT_EQ(QSet<QString>(pictures.begin(), pictures.end()).size(), 4);
  const auto bytes = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  };
  EXPECT_FALSE(bytes(pictures[0]).isEmpty());
  EXPECT_EQ(bytes(pictures[0]), bytes(pictures[2]));
  EXPECT_EQ(bytes(pictures[1]), bytes(pictures[3]));
  EXPECT_NE(bytes(pictures[0]), bytes(pictures[1]));
}

TEST_F(BatchTest, UnkeptPicturesAreNamedByNoRowAndEachAttemptFetchesOnce) {
  ASSERT_TRUE(QDir().mkpath(dir.filePath("data/quarvel")) && QDir().mkpath(dir.filePath("away")));
  ASSERT_TRUE(QFile::link(dir.filePath("away"), dir.filePath("data/quarvel/pictures")));
  const auto picture = [](const char* serial) {
    return std::string("/index.php/pic/iphone/") + serial + ".png";
  };
  // Without its <img>, so that the browser does not take the one 429.
  sites.OverrideLookup("/index.php/iphone/F17ZP1QWN73D", "<h1>查找结果</h1>");
  sites.ThrottleLookup(picture("F17ZP1QWN73D"), 1, "1");
  QProcess process;
  Start(process,
        {"batch", "--jobs", "2", "--output", dir.filePath("out.csv"), dir.filePath("entries.txt")});
  ASSERT_TRUE(process.waitForFinished(90000));
  const QString said = QString::fromUtf8(process.readAllStandardError());
  EXPECT_EQ(process.exitCode(), 0) << said.toStdString();
  EXPECT_EQ(said.count("pictures are not kept"), 1) << said.toStdString();
  EXPECT_TRUE(said.contains("waiting 1 s for the site (the picture site answered HTTP 429)"));
  const QStringList found = Rows().filter(",found,");
  ASSERT_EQ(found.size(), 2) << Rows().join('\n').toStdString();
  for (const QString& row : found) EXPECT_EQ(row.section(',', 7, 7), "") << row.toStdString();
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("data/quarvel/验证码.jpg")));
  EXPECT_TRUE(QDir(dir.filePath("away")).isEmpty());
  const std::pair<const char*, int> fetched[] = {
      {"C39XK0ABHG7F", 1}, {"F17ZP1QWN73D", 2}, {"NOTKNOWN1234", 0}};
  for (const auto& [serial, times] : fetched)
    EXPECT_EQ(sites.Fetches(picture(serial)), times) << serial;
}

TEST_F(BatchTest, ASiteThatAsksToWaitIsWaitedForAndOneThatResetsIsTriedThenTimedOut) {
  // 429 once, then the page: found, and the wait is told. (The browser engine
  // gives no response headers, so the batch's back-off, 2 s, applies; a
  // picture's Retry-After is read by the fetch, tests/base/fetch_test.cpp.)
  sites.ThrottleLookup("/index.php/iphone/C39XK0ABHG7F", 1, "2");
  QFile input(dir.filePath("one.txt"));
  ASSERT_TRUE(input.open(QIODevice::WriteOnly));
  input.write("c39 xk0 abh g7f\n");
  input.close();
  QProcess waits;
  Start(waits, {"batch", "--output", dir.filePath("out.csv"), dir.filePath("one.txt")});
  ASSERT_TRUE(waits.waitForFinished(60000));
  const QString said = QString::fromUtf8(waits.readAllStandardError());
  EXPECT_EQ(waits.exitCode(), 0) << said.toStdString();
  EXPECT_TRUE(said.contains("waiting 2 s for the site (the site answered HTTP 429)"))
      << said.toStdString();
  ASSERT_EQ(Rows().size(), 2);
  EXPECT_TRUE(Rows()[1].startsWith("c39 xk0 abh g7f,ok,comprehensive,found,"))
      << Rows()[1].toStdString();

  // Every connection reset: tried once more after a back-off, then timed_out;
  // the row is written and the batch ends with 1, as one with no decision.
  testing::ResettingServer resetting;
  QProcess process;
  process.setProcessEnvironment([&] {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    return environment;
  }());
  process.start(QStringLiteral(QUARVEL_CLI_PATH),
                {"batch", "--retries", "1", "--output", dir.filePath("reset.csv"),
                 dir.filePath("one.txt"), "--lookup-host", resetting.Host(), "--portal-host",
                 resetting.Host(), "--warranty-host", resetting.Host()});
  ASSERT_TRUE(process.waitForFinished(90000));
  const QString progress = QString::fromUtf8(process.readAllStandardError());
  EXPECT_EQ(process.exitCode(), 1) << progress.toStdString();
  EXPECT_TRUE(progress.contains("waiting 2 s for the site (the page got no answer)"))
      << progress.toStdString();
  EXPECT_TRUE(progress.contains("c39 xk0 abh g7f: timed_out (the page got no answer)"))
      << progress.toStdString();
  QFile reset(dir.filePath("reset.csv"));
  ASSERT_TRUE(reset.open(QIODevice::ReadOnly));
  const QStringList rows = QString::fromUtf8(reset.readAll()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 2);
  EXPECT_TRUE(rows[1].startsWith("c39 xk0 abh g7f,ok,comprehensive,timed_out,"))
      << rows[1].toStdString();
  EXPECT_GE(resetting.Resets(), 2);
}

TEST_F(BatchTest, ASiteThatCannotBeReachedIsNamedAndTriedAgainAsJsonProgressTells) {
  QTcpServer closed;
  closed.listen(QHostAddress::LocalHost);
  const QString host = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
  closed.close();
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("XDG_DATA_HOME", dir.filePath("data"));
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(QUARVEL_CLI_PATH),
                {"batch", "--retries", "1", "--progress", "json", "--path", "official", "-",
                 "--lookup-host", host, "--portal-host", host, "--warranty-host", host});
  process.write("C39XK0ABHG7F\n");
  process.closeWriteChannel();
  ASSERT_TRUE(process.waitForFinished(60000));
  QStringList messages, rows;
  for (const QByteArray& line : process.readAllStandardError().split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonObject event = QJsonDocument::fromJson(line).object();
    ASSERT_FALSE(event.isEmpty()) << line.toStdString();
    if (event["event"] == "message") messages << event["text"].toString();
    if (event["event"] == "row") rows << event["fields"].toVariant().toStringList().join(',');
  }
  const QString refused = "connection refused: " + host;
  EXPECT_TRUE(messages.contains("waiting 2 s for the site (" + refused +
                                "); C39XK0ABHG7F is "
                                "tried again"))
      << messages.join('\n').toStdString();
  EXPECT_TRUE(messages.contains("C39XK0ABHG7F: timed_out (" + refused + ")"))
      << messages.join('\n').toStdString();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_TRUE(rows[0].startsWith("C39XK0ABHG7F,ok,official,timed_out,")) << rows[0].toStdString();
}

}  // namespace
}  // namespace quarvel
