#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>

#include "gui/secondary_windows/kept_window.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class QUrl;

namespace quarvel {

class HistoryModel;
class SaveDialog;

// "查询记录": the lookups of the window and of batches, newest first, as
// `quarvel-cli history` lists them, taking in new ones as they end. A filter
// on entry or model text and on the outcome; the selected rows copied as
// tab-separated lines, the shown rows exported as CSV, a row's picture
// opened. Keeps its size and place between starts.
class HistoryWindow : public KeptWindow {
  Q_OBJECT
 public:
  struct Services {
    std::shared_ptr<SaveDialog> saveDialog;    // empty: the platform's
    std::function<bool(const QUrl&)> openUrl;  // empty: the desktop's viewer
  };
  static constexpr int kWatchMs = 1000;

  HistoryWindow(const QString& dataFolder, Services services, QWidget* parent = nullptr);
  ~HistoryWindow() override;

  // Takes in what was recorded since (the window calls it after each lookup;
  // lookups elsewhere are seen within kWatchMs).
  void Refresh();
  HistoryModel& model() { return *model_; }
  QString Status() const;

  // The filter as typed and chosen, at once.
  void ApplyFilter();
  void CopySelected();
  void ExportCsv();
  void OpenPicture();

  QLineEdit* FilterInput;
  QComboBox* OutcomeFilter;
  QPushButton* CopyButton;
  QPushButton* ExportButton;
  QPushButton* PictureButton;
  QTableView* Table;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnClosing() override;

 private:
  void SetStatus(const QString& text);
  void AnnounceCount();

  Services services_;
  std::unique_ptr<HistoryModel> model_;
  QLabel* status_;
  QTimer* typing_;
  qint64 announced_ = -1;
};

}  // namespace quarvel
