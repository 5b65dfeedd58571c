#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <functional>
#include <memory>

#include "app/config.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMovie;
class QPushButton;
class QRadioButton;
class QTimer;
class QWebEngineView;

namespace quarvel {

class AboutWindow;
class CaptureOverlayWindow;
class SaveDialog;
class CuePlayerWidget;
class MonthTableWindow;
class OutputVolume;
class RegistryApi;

// The status bar: panel 0 always reads "状态：", panel 1 carries every
// status message of the program.
class StatusPanels : public QWidget {
  Q_OBJECT
 public:
  explicit StatusPanels(QWidget* parent);
  void SetText(const QString& text);
  QString Text() const;
  QLabel* panel0;
  QLabel* panel1;
};

// Periods of the lookup paths. Tests may shorten them.
struct LookupTimings {
  int lookupPollMs = 1000;        // 时钟1
  int formPollMs = 10000;         // 时钟3
  int resultPollMs = 1000;        // 时钟2
  int pauseMs = 3000;             // after navigating the lookup browser
  int lookupTimeoutMs = 60000;    // comprehensive path without a result
  int warrantyTimeoutMs = 90000;  // official-site path without a result
  int fetchTimeoutMs = 10000;     // a picture fetch, redirects included
};

// Starts a program as a new process without waiting; false when it could not start.
using ProcessLauncher = std::function<bool(const QString& program)>;

// The main window. Controls carry their layout names as object names
// ("按钮1", "编辑框1", "时钟1" …) and their roles as member names.
class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(Config config, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Creation handler: skin, start pages, welcome cue.
  void OnCreated();

  // Lifecycle handlers.
  void OnKeyDown(int keyCode);
  void OnMoved();
  void OnClosed();

  void SetStatus(const QString& text);
  QString Status() const;

  const Config& config() const { return config_; }
  OutputVolume& outputVolume() { return *outputVolume_; }
  void SetOutputVolume(std::unique_ptr<OutputVolume> volume);
  ProcessLauncher launcher;  // used by the restart command
  LookupTimings timings;
  std::unique_ptr<RegistryApi> registry;  // used at creation

  // The outer (frame) geometry: left, top, width, height.
  QRect Frame() const;

  // Secondary windows, while they are open.
  QPointer<AboutWindow> aboutWindow;
  QPointer<MonthTableWindow> monthTableWindow;
  QPointer<CaptureOverlayWindow> captureOverlay;

  // Screen capture: the snapshot source and the save dialog (tests replace them).
  std::function<QPixmap()> screenGrabber;
  std::shared_ptr<SaveDialog> saveDialog;

  // Controls on the window.
  QLabel* SerialPromptLabel;              // 透明标签1
  QLineEdit* SerialInput;                 // 编辑框1
  QPushButton* QueryButton;               // 按钮1
  QRadioButton* ComprehensiveQueryRadio;  // 单选框1
  QRadioButton* OfficialQueryRadio;       // 单选框2
  QGroupBox* ResultGroup;                 // 分组框1
  QPushButton* CopyButton;                // 按钮5
  QPushButton* ScreenshotButton;          // 按钮3
  QPushButton* MonthTableButton;          // 按钮4
  StatusPanels* StatusBar;                // 状态条1
  QPushButton* ImageTestButton;           // 按钮2
  QWebEngineView* LookupBrowser;          // WebBrowser1
  QWebEngineView* WarrantyBrowser;        // WebBrowser2
  QTimer* LookupResultTimer;              // 时钟1
  QTimer* WarrantyResultTimer;            // 时钟2
  QTimer* WarrantyFormTimer;              // 时钟3
  QTimer* LookupDeadline;                 // ends a comprehensive query without result
  QTimer* WarrantyDeadline;               // ends an official-site query without result
  // Inside the result group.
  QLabel* ModelLabel;        // 产品型号
  QLabel* SerialLabel;       // 系列号
  QLabel* WarrantyEndLabel;  // 保修截止
  QLabel* BusyAnimation;     // 图片框2
  QLabel* BusyLabel;         // 透明标签2
  QLabel* ResultPicture;     // 图片框1
  // Inside the result picture.
  QLabel* WatermarkLabel;      // 透明标签3
  CuePlayerWidget* CuePlayer;  // 播放器1

  // Menu bar.
  QMenu* MainMenu;
  QAction* VoiceOffItem;
  QAction* VoiceOnItem;
  QAction* RestartItem;
  QAction* ExitItem;
  QMenu* HelpMenu;
  QAction* InstructionsItem;
  QAction* AboutItem;

  static constexpr int kWidth = 382;
  static constexpr int kHeight = 340;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void BuildMenus();
  void ConnectHandlers();
  void FixOuterSize();

  Config config_;
  std::unique_ptr<OutputVolume> outputVolume_;
  QMovie* busyMovie_ = nullptr;
  bool closed_ = false;
};

// The custom mouse cursor of the main window (32 x 32, hot spot 9, 5).
QCursor LayoutCursor();

}  // namespace quarvel
