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
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;

namespace quarvel {

class BatchRunner;
class History;
class Progress;
class SaveDialog;

// The rows of a batch as the window shows them, in the order they come: each
// row keeps every field of the batch output, and shows entry, outcome, model,
// serial, warranty end and seconds. The runner writes into it as into a file.
class BatchResults : public QAbstractTableModel, public csv::RowSink {
 public:
  enum Column { Entry, Outcome, Model, Serial, WarrantyEnd, Seconds, kColumns };

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  bool Write(const QByteArray& row) override;
  QString Error() const override { return {}; }

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
// by the batch engine of `quarvel-cli batch`, in hidden browsers of its own,
// while the main window stays usable. Stop abandons the running entry as the
// command line's Ctrl+C does; Continue looks up what has no row yet; the rows
// are saved as the batch's CSV. Lookups go into the history. Keeps its size
// and place between starts.
class BatchWindow : public KeptWindow {
  Q_OBJECT
 public:
  struct Services {
    std::shared_ptr<SaveDialog> saveDialog;  // empty: the platform's
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
  // A run ended, with the status `quarvel-cli batch` would exit with.
  void BatchFinished(int status);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnClosing() override;

 private:
  std::optional<QStringList> ListEntries();
  void Run(const QStringList& todo);
  void OnFinished(int status);
  void ShowProgress();
  void ShowRunning(bool running);
  void SetStatus(const QString& text);

  Config config_;
  QString dataFolder_;
  Services services_;
  QLabel* progressText_;
  QLabel* status_;
  BatchResults results_;
  std::unique_ptr<History> history_;
  std::unique_ptr<Progress> progress_;
  std::unique_ptr<BatchRunner> runner_;  // goes before what it writes to
  QStringList entries_;                  // the list of the last start
  int doneAtStart_ = 0;
  QElapsedTimer clock_;
};

}  // namespace quarvel
