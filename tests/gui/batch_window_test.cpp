// The batch window on the demo site: a dropped list, a batch run to its end,
// Stop and Continue, the saved CSV, its place between starts.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "base/records/history.h"
#include "gui/secondary_windows/batch_window.h"
#include "gui/sharing/save_dialog.h"
#include "support/demo_sites.h"
#include "support/wait.h"

namespace quarvel {
namespace {

class AnsweringDialog : public SaveDialog {
 public:
  std::optional<SaveChoice> Ask(QWidget*, const SaveRequest&) override { return answer; }
  std::optional<SaveChoice> answer;
};

class BatchWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, data.filePath("config"));
    services.saveDialog = dialog;
  }

  std::unique_ptr<BatchWindow> Open() {
    auto window =
        std::make_unique<BatchWindow>(sites.MakeConfig(), data.filePath("quarvel"), services);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    return window;
  }

  static QStringList Column(BatchWindow& window, int column) {
    QStringList cells;
    for (int row = 0; row < window.results().rowCount(); ++row)
      cells << window.results().index(row, column).data().toString();
    return cells;
  }

  testing::DemoSites sites;
  QTemporaryDir data;
  std::shared_ptr<AnsweringDialog> dialog = std::make_shared<AnsweringDialog>();
  BatchWindow::Services services;
};

TEST_F(BatchWindowTest, ADroppedFileFillsTheListAndTheWindowKeepsItsPlace) {
  struct Case {
    QByteArray content;
    QString list;
  };
  const Case cases[] = {
      {"C39XK0ABHG7F\r\n# a note\r\n\r\nF17ZP1QWN73D\r\n", "C39XK0ABHG7F\nF17ZP1QWN73D"},
      {"serial,shop\r\n\"C39XK0ABHG7F\",north\r\n'=1,x\r\n", "C39XK0ABHG7F\n'=1"},
  };
  {
    auto window = Open();
    for (const Case& c : cases) {
      const QString file = data.filePath("list.csv");
      QFile out(file);
      ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
      out.write(c.content);
      out.close();
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(file)});
      QWidget* target = window->ListInput->viewport();
      QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(target, &enter);
      QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(target, &drop);
      EXPECT_EQ(window->ListInput->toPlainText(), c.list);
      EXPECT_TRUE(window->Status().endsWith("读入 2 条")) << window->Status().toStdString();
    }
    window->setGeometry(70, 40, 640, 480);
    window->close();
  }
  auto again = Open();
  EXPECT_EQ(again->geometry(), QRect(70, 40, 640, 480));
  // Escape closes it; nothing was started.
  QTest::keyClick(again->ListInput, Qt::Key_Escape);
  EXPECT_FALSE(again->isVisible());
}

TEST_F(BatchWindowTest, EnterRunsTheListToTheEndAndTheRowsAreSavedAndRecorded) {
  auto window = Open();
  window->ListInput->setPlainText("C39XK0ABHG7F\nNOTKNOWN1234\n12");
  QSignalSpy ended(window.get(), &BatchWindow::BatchFinished);
  QTest::keyClick(window->ComprehensiveOption, Qt::Key_Return);
  ASSERT_TRUE(window->Running());
  EXPECT_FALSE(window->StartButton->isEnabled());
  ASSERT_TRUE(testing::WaitFor([&] { return !ended.isEmpty(); }, 60000));
  EXPECT_EQ(ended.first().first().toInt(), 0);
  EXPECT_EQ(Column(*window, BatchResults::Entry),
            (QStringList{"C39XK0ABHG7F", "NOTKNOWN1234", "12"}));
  EXPECT_EQ(Column(*window, BatchResults::Outcome),
            (QStringList{"found", "not_found", "bad_input"}));
  EXPECT_TRUE(window->ProgressLine().startsWith("已完成 3/3，每分钟 "))
      << window->ProgressLine().toStdString();
  EXPECT_EQ(window->Status(), QStringLiteral("批量查询完成：3 条"));

  dialog->answer = SaveChoice{data.filePath("out"), 0};
  window->SaveButton->click();
  QFile saved(data.filePath("out.csv"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = saved.readAll().split('\n');
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(lines[0],
            "entry,check,path,outcome,model,serial,warranty_end,picture,finished_at,"
            "seconds,warranty_end_date\r");
  EXPECT_TRUE(lines[1].startsWith("C39XK0ABHG7F,ok,comprehensive,found,"));
  // Recorded as a batch's lookups are.
  History history(data.filePath("quarvel"), {}, HistoryAccess::ReadOnly);
  const std::vector<HistoryRecord> recorded = history.Newest();
  ASSERT_EQ(recorded.size(), 3u);
  EXPECT_EQ(recorded.back().entry, "C39XK0ABHG7F");
  EXPECT_EQ(recorded.back().source, HistorySource::Batch);
}

TEST_F(BatchWindowTest, StopThenContinueGivesEveryRowOnce) {
  auto window = Open();
  const QStringList entries{"C39XK0ABHG7F", "F17ZP1QWN73D", "NOTKNOWN1234"};
  window->ListInput->setPlainText(entries.join('\n'));
  QSignalSpy ended(window.get(), &BatchWindow::BatchFinished);
  window->StartButton->click();
  ASSERT_TRUE(testing::WaitFor([&] { return window->results().rowCount() >= 1; }, 60000));
  window->StopButton->click();
  ASSERT_TRUE(testing::WaitFor([&] { return !ended.isEmpty(); }, 10000));
  EXPECT_EQ(ended.takeFirst().first().toInt(), 128 + 15);  // as SIGTERM stops the command
  ASSERT_LT(window->results().rowCount(), 3);
  EXPECT_TRUE(window->Status().startsWith("已停止")) << window->Status().toStdString();

  window->ContinueButton->click();
  ASSERT_TRUE(testing::WaitFor([&] { return !ended.isEmpty(); }, 60000));
  EXPECT_EQ(ended.first().first().toInt(), 0);
  EXPECT_EQ(Column(*window, BatchResults::Entry), entries);
  window->ContinueButton->click();
  EXPECT_EQ(window->Status(), QStringLiteral("列表中的每一条都已查询"));
}

}  // namespace
}  // namespace quarvel
