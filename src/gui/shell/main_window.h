#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <functional>
#include <memory>

#include "base/config/config.h"
#include "lookup/lookup_engine.h"
#include "platform/platform_services.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMovie;
class QPushButton;
class QRadioButton;
class QUrl;
class QWebEngineView;

namespace quarvel {

class AboutWindow;
class CaptureOverlayWindow;
class SaveDialog;
class CuePlayerWidget;
class History;
class BatchWindow;
class HistoryWindow;
class MonthTableWindow;
class LookupRig;

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

// Starts a program with arguments as a new process without waiting; false when
// it could not start.
using ProcessLauncher = std::function<bool(const QString& program, const QStringList& arguments)>;

// Makes the platform backend; given the cue player's own volume control.
using PlatformFactory = std::function<std::unique_ptr<PlatformServices>(CuePlayerVolume)>;

// What the window uses of the world outside it, built once and given at
// construction (tests give doubles).
struct WindowServices {
  PlatformFactory makePlatform = MakePlatformServices;
  ProcessLauncher launcher;                  // the restart command; empty: start detached
  std::function<QPixmap()> grabScreen;       // the capture's snapshot; empty: the primary screen
  std::shared_ptr<SaveDialog> saveDialog;    // empty: the platform's save dialog
  Fetch fetch;                               // empty: HttpGetBytes
  std::function<bool(const QUrl&)> openUrl;  // a history row's picture; empty: the desktop's
  LookupTimings timings;
};

// The main window: a view. Its controls carry their layout names as object
// names ("按钮1", "编辑框1" …; the timers 时钟1 to 时钟3 belong to the lookup
// engine it owns) and are reached by those names from outside.
class MainWindow : public QMainWindow, public Announcer, private EntrySource, private LookupView {
  Q_OBJECT
 public:
  explicit MainWindow(Config config, WindowServices services = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Creation handler: skin, start pages, welcome cue.
  void OnCreated();

  // Lifecycle handlers.
  void OnKeyDown(int keyCode);
  void OnMoved();
  void OnClosed();

  void SetStatus(const QString& text) override;
  QString Status() const;
  // Plays one cue given relative to the run directory.
  void PlayCue(const QString& cueLiteral) override;

  // The three result labels' captions, as displayed.
  struct ResultCaptions {
    QString model, serial, warrantyEnd;
  };
  ResultCaptions ResultTexts() const;

  const Config& config() const { return config_; }
  const WindowServices& services() const { return services_; }
  PlatformServices& platform() { return *platform_; }
  LookupEngine& lookups() { return *engine_; }

  // The outer (frame) geometry: left, top, width, height.
  QRect Frame() const;

  // Secondary windows, while they are open.
  QPointer<AboutWindow> aboutWindow;
  QPointer<MonthTableWindow> monthTableWindow;
  QPointer<HistoryWindow> historyWindow;
  QPointer<BatchWindow> batchWindow;
  QPointer<CaptureOverlayWindow> captureOverlay;

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

  // What the lookup engine reads and shows.
  QString EntryText() override;
  std::optional<LookupPath> ChosenPath() override;
  void Tell(Notice notice) override;
  void Sound(Notice notice) override;
  void SetVisible(LookupControl control, bool visible) override;
  void SetCaption(LookupControl label, const QString& caption) override;
  void SetResultPicture(const QByteArray& bytes) override;
  QWidget* ControlFor(LookupControl control) const;
  // Every finished lookup goes into the history shared with quarvel-cli.
  void RecordInHistory(const LookupEnd& end);

  Config config_;
  WindowServices services_;
  std::unique_ptr<PlatformServices> platform_;
  QMovie* busyMovie_ = nullptr;
  bool closed_ = false;

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
  QAction* HistoryItem;
  QAction* BatchItem;
  QMenu* HelpMenu;
  QAction* InstructionsItem;
  QAction* AboutItem;

  // The lookups: the two hidden browsers, their ports and the engine.
  std::unique_ptr<LookupRig> rig_;
  LookupEngine* engine_ = nullptr;
  std::unique_ptr<History> history_;  // opened with the first finished lookup
};

// The custom mouse cursor of the main window (32 x 32, hot spot 9, 5).
QCursor LayoutCursor();

}  // namespace quarvel
