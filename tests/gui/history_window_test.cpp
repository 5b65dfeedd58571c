// The history window on a history of its own: live rows, filter, copy,
// export, pictures, its place between starts.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "base/records/history.h"
#include "base/records/history_model.h"
#include "base/settings/window_settings.h"
#include "gui/secondary_windows/history_window.h"
#include "gui/sharing/save_dialog.h"
#include "gui/shell/main_window.h"
#include "support/offline_config.h"
#include "support/wait.h"

namespace quarvel {
namespace {

class AnsweringDialog : public SaveDialog {
 public:
  std::optional<SaveChoice> Ask(QWidget*, const SaveRequest&) override { return answer; }
  std::optional<SaveChoice> answer;
};

class HistoryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data.isValid());
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, data.filePath("config"));
    services.saveDialog = dialog;
    services.openUrl = [this](const QUrl& url) {
      opened << url.toLocalFile();
      return true;
    };
  }

  QString Folder() const { return data.filePath("quarvel"); }

  // A lookup `seconds` after the first one, as any writer records it.
  void Add(const QString& entry, int seconds, const QString& outcome = "found",
           const QString& model = "Handset 15", const QString& picture = {}) {
    HistoryRecord record;
    record.finishedAt = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC).addSecs(seconds);
    record.entry = entry;
    record.path = "official";
    record.outcome = outcome;
    record.model = model;
    record.picture = picture;
    record.seconds = 1.5;
    ASSERT_TRUE(writer.Record(record));
  }

  std::unique_ptr<HistoryWindow> Open() {
    auto window = std::make_unique<HistoryWindow>(Folder(), services);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    return window;
  }

  QStringList Entries(HistoryWindow& window) {
    QStringList entries;
    for (int row = 0; row < window.model().rowCount(); ++row)
      entries << window.model().Record(row).entry;
    return entries;
  }

  QTemporaryDir data;
  History writer{data.filePath("quarvel")};
  std::shared_ptr<AnsweringDialog> dialog = std::make_shared<AnsweringDialog>();
  HistoryWindow::Services services;
  QStringList opened;
};

TEST_F(HistoryWindowTest, TheMenuOpensItAndAFinishedLookupComesInAtTheTop) {
  Add("AAA", 0);
  Add("BBB", 60);
  MainWindow main(testing::OfflineConfig());
  auto* item = main.findChild<QAction*>("HistoryItem");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->text(), QStringLiteral("查询记录"));
  item->trigger();
  QPointer<HistoryWindow> window = main.historyWindow;
  ASSERT_TRUE(window && window->isVisible());
  EXPECT_EQ(Entries(*window), (QStringList{"BBB", "AAA"}));
  EXPECT_EQ(window->Status(), QStringLiteral("共 2 条记录"));

  // Recorded by another writer, as a batch elsewhere does: seen by the watch.
  Add("CCC", 120);
  EXPECT_TRUE(testing::WaitFor([&] { return window->model().rowCount() == 3; }, 3000));
  EXPECT_EQ(Entries(*window), (QStringList{"CCC", "BBB", "AAA"}));
  EXPECT_EQ(window->Status(), QStringLiteral("共 3 条记录"));
  // One that finished earlier than the newest shown still lands in its place.
  Add("MID", 90);
  window->Refresh();
  EXPECT_EQ(Entries(*window), (QStringList{"CCC", "MID", "BBB", "AAA"}));

  QTest::keyClick(window->Table, Qt::Key_Escape);
  EXPECT_TRUE(testing::WaitFor([&] { return window.isNull(); }));
}

TEST_F(HistoryWindowTest, FilterCopyAndExportGiveTheShownRowsWithGuardedCells) {
  Add("F1AAA", 0, "found", "Handset 15");
  Add("T2BBB", 10, "timed_out", "=HYPERLINK(\"x\")");
  Add("F3CCC", 20, "found", "Handset 14 Pro");
  Add("N4AAA", 30, "not_found", "");
  auto window = Open();

  struct Case {
    QString text, outcome;
    QStringList entries;
  };
  const Case cases[] = {
      {"", "", {"N4AAA", "F3CCC", "T2BBB", "F1AAA"}},
      {"aaa", "", {"N4AAA", "F1AAA"}},           // entry text, any case
      {"14 pro", "", {"F3CCC"}},                 // model text
      {"", "found", {"F3CCC", "F1AAA"}},         // outcome alone
      {"handset", "found", {"F3CCC", "F1AAA"}},  // both
      {"zzz", "", {}},
  };
  for (const Case& c : cases) {
    window->FilterInput->setText(c.text);
    window->OutcomeFilter->setCurrentIndex(window->OutcomeFilter->findData(c.outcome));
    QTest::keyClick(window->FilterInput, Qt::Key_Return);
    EXPECT_EQ(Entries(*window), c.entries)
        << c.text.toStdString() << "/" << c.outcome.toStdString();
  }
  EXPECT_EQ(window->Status(), QStringLiteral("共 0 条记录（全部 4 条）"));

  window->FilterInput->clear();
  window->OutcomeFilter->setCurrentIndex(window->OutcomeFilter->findData("timed_out"));
  ASSERT_EQ(Entries(*window), QStringList{"T2BBB"});
  window->Table->selectRow(0);
  window->CopyButton->click();
  const QStringList copied = QGuiApplication::clipboard()->text().split('\t');
  ASSERT_EQ(copied.size(), HistoryModel::kColumns);
  EXPECT_EQ(copied[HistoryModel::Entry], "T2BBB");
  EXPECT_EQ(window->Status(), QStringLiteral("已复制 1 行"));

  const QString file = data.filePath("export");  // the suffix is added
  dialog->answer = SaveChoice{file, 0};
  QTest::keyClick(window->ExportButton, Qt::Key_Return);
  QFile written(file + ".csv");
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = written.readAll().split('\n');
  ASSERT_EQ(lines.size(), 3);  // header, one row, the end after the last CRLF
  EXPECT_TRUE(lines[0].startsWith("finished_at,source,entry,"));
  EXPECT_TRUE(lines[1].startsWith("2024-05-01T12:00:10.000Z,window,T2BBB,"));
  EXPECT_TRUE(lines[1].contains(",\"'=HYPERLINK(\"\"x\"\")\","));  // a formula stays text
  EXPECT_EQ(window->Status(), QStringLiteral("已导出 1 行到 %1.csv").arg(file));
}

TEST_F(HistoryWindowTest, EnterOpensTheRowsPictureAndTheWindowKeepsItsPlace) {
  const QString picture = data.filePath("p.png");
  QImage(40, 20, QImage::Format_RGB32).save(picture);
  Add("NOPIC", 0);
  Add("PIC", 10, "found", "Handset", picture);
  {
    auto window = Open();
    EXPECT_FALSE(window->model()
                     .data(window->model().index(0, HistoryModel::Picture), Qt::DecorationRole)
                     .isNull());
    window->Table->setFocus();
    window->Table->setCurrentIndex(window->model().index(0, 0));
    QTest::keyClick(window->Table, Qt::Key_Return);
    EXPECT_EQ(opened, QStringList{picture});
    window->Table->setCurrentIndex(window->model().index(1, 0));
    window->PictureButton->click();
    EXPECT_EQ(window->Status(), QStringLiteral("这条记录没有图片"));
    window->setGeometry(60, 50, 600, 400);
    window->close();
  }
  auto again = Open();
  EXPECT_EQ(again->geometry(), QRect(60, 50, 600, 400));
  again->close();

  // A kept size and place the screen does not have: on its available area.
  QWidget huge;
  huge.setGeometry(5000, -4000, 99999, 99999);
  SaveWindowGeometry(QStringLiteral("HistoryWindow"), huge.saveGeometry());
  auto fitted = Open();
  const QRect available = fitted->screen()->availableGeometry();
  EXPECT_TRUE(available.contains(fitted->frameGeometry()));
}

}  // namespace
}  // namespace quarvel
