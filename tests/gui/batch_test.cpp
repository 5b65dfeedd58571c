// quarvel-cli batch end to end: the real lookup engine in hidden windows
// against the demo sites, resuming after a kill, and the history.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

#include "support/demo_sites.h"
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
            "entry,check,path,outcome,model,serial,warranty_end,picture,finished_at,seconds");
  EXPECT_TRUE(rows[1].startsWith("C39XK0ABHG7F,ok,comprehensive,found,,,,"))
      << rows[1].toStdString();
  EXPECT_TRUE(rows[2].startsWith("F17ZP1QWN73D,ok,comprehensive,found,,,,"));
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
  EXPECT_TRUE(rows[2].startsWith("F17ZP1QWN73D,ok,official,found,iPhone 13,F17ZP1QWN73D,"));
  EXPECT_TRUE(rows[3].startsWith("NOTKNOWN1234,ok,official,rejected,"));
}

}  // namespace
}  // namespace quarvel
