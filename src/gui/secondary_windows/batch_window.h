#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QMainWindow>

#include <memory>

#include "base/config/config.h"
#include "base/records/csv.h"
#include "gui/secondary_windows/kept_window.h"

class QLabel;
class QPlainTextEdit;
class QProcess;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;

namespace quarvel {

class SaveDialog;

// The rows of a batch as the window shows them, in the order they come: each
// row keeps every field of the batch output, and shows entry, outcome, model,
// serial, warranty end and seconds.
class BatchResults : public QAbstractTableModel {
 public:
  enum Column { Entry, Outcome, Model, Serial, WarrantyEnd, Seconds, kColumns };

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // A row: its fields in csv::BatchHeader's order.
  void Add(const QStringList& fields);

  void Clear();
  // The entries of the rows, as given, in row order.
  QStringList Entries() const;
  // Header and rows as the batch output (csv::BatchHeader) writes them.
  QByteArray Csv(csv::Cells cells) const;
  // The fields of row `row`, in csv::BatchHeader's order.
  const QStringList& Fields(int row) const { return rows_[row]; }

 private:
  QList<QStringList> rows_;
};

// "批量查询": a list pasted, typed or dropped (a text or CSV file) looked up
// by `quarvel-cli batch`, run as a process of its own that reports its rows
// and messages as JSON lines (--progress json), so the main window never
// waits for it. Stop abandons the running entry as a stop request to the
// command does; Continue looks up what has no row yet; the rows are saved as
// the batch's CSV. Lookups go into the history (the command records them).
// Keeps its size and place between starts.
class BatchWindow : public KeptWindow {
  Q_OBJECT
 public:
  static constexpr int kEndedAbnormally = 255;
  static constexpr int kStopWaitMs = 5000;
  static constexpr qsizetype kMaxProgressLine = 1 << 20;

  struct Services {
    std::shared_ptr<SaveDialog> saveDialog;  // empty: the platform's
    QString batchProgram;                    // empty: quarvel-cli beside this program
  };

  BatchWindow(Config config, QString dataFolder, Services services, QWidget* parent = nullptr);
  ~BatchWindow() override;

  void StartBatch();
  void StopBatch();
  void ContinueBatch();
  void SaveCsv();
  // Fills the list with the entries of a text or CSV file, read as a batch
  // reads its input.
  bool LoadFile(const QString& path);

  bool Running() const;
  QString Status() const;
  QString ProgressLine() const;
  BatchResults& results() { return results_; }

  QPlainTextEdit* ListInput;
  QRadioButton* ComprehensiveOption;
  QRadioButton* OfficialOption;
  QPushButton* StartButton;
  QPushButton* StopButton;
  QPushButton* ContinueButton;
  QPushButton* SaveButton;
  QProgressBar* ProgressBar;
  QTableView* Table;

 signals:
  // A run ended, with the status `quarvel-cli batch` exited with (kEndedAbnormally
  // when it could not start or did not end by itself).
  void BatchFinished(int status);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnClosing() override;

 private:
  std::optional<QStringList> ListEntries();
  void Run(const QStringList& todo);
  void OnFinished(int status);
  void ReadProgress();
  QString BatchProgram() const;
  void ShowProgress();
  void ShowRunning(bool running);
  void SetStatus(const QString& text);

  Config config_;
  QString dataFolder_;
  Services services_;
  QLabel* progressText_;
  QLabel* status_;
  BatchResults results_;
  std::unique_ptr<QProcess> process_;
  QByteArray stderr_;    // what came of the batch's progress, not yet a whole line
  QStringList entries_;  // the list of the last start
  int doneAtStart_ = 0;
  QElapsedTimer clock_;
};

}  // namespace quarvel
