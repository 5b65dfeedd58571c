#include "gui/shell/main_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMovie>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QWebEngineView>

#include "base/config/logging.h"
#include "base/config/start_state.h"
#include "base/files/data_folder.h"
#include "base/files/run_directory.h"
#include "base/gate/handler_gate.h"
#include "base/net/http_fetch.h"
#include "base/records/history.h"
#include "gui/controls/controls.h"
#include "gui/notices.h"
#include "gui/secondary_windows/about_window.h"
#include "gui/secondary_windows/batch_window.h"
#include "gui/secondary_windows/docking.h"
#include "gui/secondary_windows/history_window.h"
#include "gui/secondary_windows/month_table_window.h"
#include "gui/sharing/capture.h"
#include "gui/sharing/copy_result.h"
#include "gui/sharing/save_dialog.h"
#include "gui/shell/menu_commands.h"
#include "gui/shell/skin.h"
#include "gui/voice/voice.h"
#include "lookup/lookup_builder.h"
#include "lookup/lookup_record.h"
#include "webpage/browser.h"

namespace quarvel {
namespace {

constexpr int kEndKey = 35;

// Virtual-key code of a Qt key, for the handlers that test key codes. Only
// space, digits and letters share their character code with their key code;
// punctuation such as '#' (character code 35, the code of End) has none here.
int VirtualKeyCode(const QKeyEvent* event) {
  const int key = event->key();
  switch (key) {
    case Qt::Key_End:
      return kEndKey;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    default:
      if (key == Qt::Key_Space || (key >= Qt::Key_0 && key <= Qt::Key_9) ||
          (key >= Qt::Key_A && key <= Qt::Key_Z))
        return key;
      return 0;
  }
}

template <typename W>
W* Place(W* widget, const char* name, int x, int y, int w, int h) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(x, y, w, h);
  return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int x, int y,
                        int w, int h) {
  auto* button = Place(new QPushButton(caption, parent), name, x, y, w, h);
  // A button with a caption is read by its caption; only one without is named.
  if (caption.isEmpty()) button->setAccessibleName(QString::fromUtf8(name));
  button->setFocusPolicy(Qt::StrongFocus);
  button->setAutoDefault(false);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                  int h) {
  auto* label = Place(new QLabel(parent), name, x, y, w, h);
  SetCaption(label, caption);  // also its accessible name, whenever it changes
  return label;
}

// The status bar as screen readers see it: a status bar, read as its label
// and the current message.
class StatusBarAccessible : public QAccessibleWidget {
 public:
  explicit StatusBarAccessible(StatusPanels* panels)
      : QAccessibleWidget(panels, QAccessible::StatusBar) {}
  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Name) return QAccessibleWidget::text(t);
    const auto* panels = static_cast<const StatusPanels*>(widget());
    return panels->panel0->text() + panels->Text();
  }
};

QAccessibleInterface* StatusBarFactory(const QString& key, QObject* object) {
  auto* panels = qobject_cast<StatusPanels*>(object);
  if (!panels || key != QLatin1String(StatusPanels::staticMetaObject.className())) return nullptr;
  return new StatusBarAccessible(panels);
}

}  // namespace

QCursor LayoutCursor() { return QCursor(QPixmap(QStringLiteral(":/layout/cursor.png")), 9, 5); }

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {
  static const bool factoryInstalled = (QAccessible::installFactory(StatusBarFactory), true);
  Q_UNUSED(factoryInstalled);
  panel0 = new QLabel(QStringLiteral("状态："), this);
  panel0->setGeometry(0, 0, 50, 20);
  panel1 = new QLabel(this);
  panel1->setGeometry(50, 0, 2600, 20);
  for (QLabel* panel : {panel0, panel1}) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setIndent(3);
    panel->setTextFormat(Qt::PlainText);  // messages may quote page text
  }
  panel0->setAccessibleName(panel0->text());
}

void StatusPanels::SetText(const QString& text) {
  const bool repeated = panel1->accessibleName() == text;
  panel1->setText(text);
  // The message is the panel's name; a new name is announced, and so is the
  // same message written again.
  panel1->setAccessibleName(text);
  if (repeated) {
    QAccessibleEvent event(panel1, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  }
}

QString StatusPanels::Text() const { return panel1->text(); }

MainWindow::MainWindow(Config config, WindowServices services, QWidget* parent)
    : QMainWindow(parent), config_(std::move(config)), services_(std::move(services)) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QStringLiteral("Quarvel by：tal"));
  setAccessibleName(windowTitle());
  setCursor(LayoutCursor());
  BuildControls();
  BuildMenus();
  platform_ = services_.makePlatform(
      [output = CuePlayer->audioOutput()](uint32_t value) { SetPlayerVolume(output, value); });
  if (!services_.launcher) services_.launcher = StartDetached;
  if (!services_.grabScreen) services_.grabScreen = GrabPrimaryScreen;
  if (!services_.saveDialog) services_.saveDialog = std::make_shared<PlatformSaveDialog>();
  connect(engine_, &LookupEngine::Ended, this,
          [this](const LookupEnd& end) { RecordInHistory(end); });
  ConnectHandlers();
  // Placed so that the about window and the month table, docked to it, open
  // wholly on the screen.
  const QScreen* screen = QGuiApplication::primaryScreen();
  move(screen ? StartPosition(screen->availableGeometry(), QSize(kWidth, kHeight))
              : QPoint(50, 50));
  resize(kWidth, kHeight);
  FixOuterSize();
  qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
  history_.reset();
  delete aboutWindow.data();
  delete monthTableWindow.data();
  delete historyWindow.data();
  delete batchWindow.data();
  if (captureOverlay) {
    QPointer<CaptureOverlayWindow> overlay = captureOverlay;
    delete overlay->Screenshot.data();
    delete overlay.data();
  }
}

void MainWindow::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);
  const QCursor custom = LayoutCursor();

  SerialPromptLabel = MakeLabel(client, "透明标签1", QStringLiteral("系列号："), 8, 16, 48, 24);
  SetTextColour(SerialPromptLabel, 255, 168, 255);
  SerialPromptLabel->setCursor(custom);

  SerialInput = Place(new QLineEdit(client), "编辑框1", 64, 9, 128, 24);
  SerialInput->setAccessibleName(QStringLiteral("系列号："));
  SerialInput->setMaxLength(32767);
  SerialInput->setCursor(custom);
  SerialPromptLabel->setBuddy(SerialInput);

  QueryButton = MakeButton(client, "按钮1", QStringLiteral("查询"), 200, 2, 64, 32);
  QueryButton->setCursor(custom);

  ComprehensiveQueryRadio =
      Place(new QRadioButton(QStringLiteral("综合查询"), client), "单选框1", 48, 43, 88, 16);
  ComprehensiveQueryRadio->setChecked(true);
  OfficialQueryRadio =
      Place(new QRadioButton(QStringLiteral("官网查询"), client), "单选框2", 144, 44, 80, 16);
  for (QRadioButton* radio : {ComprehensiveQueryRadio, OfficialQueryRadio}) {
    radio->setFocusPolicy(Qt::StrongFocus);
  }

  ResultGroup = Place(new QGroupBox(client), "分组框1", -2, 80, 384, 143);
  ResultGroup->setAccessibleName(QStringLiteral("分组框1"));

  CopyButton = MakeButton(client, "按钮5", QStringLiteral("复制信息"), 184, 224, 80, 24);
  ScreenshotButton = MakeButton(client, "按钮3", QStringLiteral("截图"), 264, 223, 80, 24);
  MonthTableButton = MakeButton(client, "按钮4", QStringLiteral("月份对照"), 264, 224, 80, 24);
  for (QPushButton* button : {CopyButton, ScreenshotButton, MonthTableButton}) {
    button->setCursor(Qt::PointingHandCursor);
    button->hide();
  }

  StatusBar = Place(new StatusPanels(client), "状态条1", 0, 234, 487, 20);
  StatusBar->setCursor(custom);
  // The result buttons reach into the status bar: they stay on top, clickable.
  for (QPushButton* button : {CopyButton, ScreenshotButton, MonthTableButton}) button->raise();

  ImageTestButton = MakeButton(client, "按钮2", QString(), 440, 304, 80, 32);
  // The hidden browsers come with the engine that drives them.
  rig_ = std::make_unique<LookupRig>(
      client, config_, services_.timings, static_cast<EntrySource&>(*this),
      static_cast<LookupView*>(this), services_.fetch ? services_.fetch : DefaultFetch(), this);
  engine_ = &rig_->engine();
  LookupBrowser = rig_->lookupBrowser();
  LookupBrowser->move(784, 216);
  WarrantyBrowser = rig_->warrantyBrowser();
  WarrantyBrowser->move(504, -8);

  // Inside the result group.
  ModelLabel = MakeLabel(ResultGroup, "产品型号", QString(), 24, 16, 152, 24);
  SerialLabel = MakeLabel(ResultGroup, "系列号", QString(), 24, 56, 248, 32);
  WarrantyEndLabel = MakeLabel(ResultGroup, "保修截止", QString(), 24, 101, 208, 24);
  for (QLabel* label : {ModelLabel, SerialLabel, WarrantyEndLabel}) {
    SetTextColour(label, 255, 255, 0);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->hide();
  }

  BusyAnimation = Place(new QLabel(ResultGroup), "图片框2", 112, 56, 144, 16);
  BusyAnimation->setAccessibleName(QStringLiteral("正在查询"));
  busyMovie_ = new QMovie(QStringLiteral(":/layout/busy.gif"), QByteArray(), BusyAnimation);
  BusyAnimation->setMovie(busyMovie_);
  BusyAnimation->setCursor(custom);
  BusyAnimation->hide();

  BusyLabel =
      MakeLabel(ResultGroup, "透明标签2", QStringLiteral("正在查询!请稍候...."), 135, 79, 121, 16);
  SetTextColour(BusyLabel, 255, 255, 0);
  BusyLabel->setCursor(custom);
  BusyLabel->hide();

  ResultPicture = Place(new QLabel(ResultGroup), "图片框1", 0, 5, 352, 152);
  ResultPicture->setAccessibleName(QStringLiteral("查询结果图片"));
  ResultPicture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ResultPicture->setCursor(custom);

  // Inside the result picture.
  WatermarkLabel = MakeLabel(ResultPicture, "透明标签3",
                             QStringLiteral("信息来至 \r\n\r\ntal Quarvel"), 24, 32, 104, 80);
  SetTextColour(WatermarkLabel, 255, 0, 0);
  WatermarkLabel->hide();

  CuePlayer = Place(new CuePlayerWidget(ResultPicture), "播放器1", 152, 64, 100, 100);
  CuePlayer->setAccessibleName(QStringLiteral("播放器1"));
  CuePlayer->setFocusPolicy(Qt::TabFocus);
  CuePlayer->setCursor(custom);
  CuePlayer->hide();

  // Result labels and busy indicators stay in front of the picture box.
  ModelLabel->raise();
  SerialLabel->raise();
  WarrantyEndLabel->raise();
  BusyAnimation->raise();
  BusyLabel->raise();

  QWidget* const order[] = {SerialInput,        QueryButton,     ComprehensiveQueryRadio,
                            OfficialQueryRadio, CopyButton,      ScreenshotButton,
                            MonthTableButton,   ImageTestButton, CuePlayer,
                            LookupBrowser,      WarrantyBrowser};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainWindow::ConnectHandlers() {
  const auto onClick = [this](QPushButton* button, void (*handler)(MainWindow&)) {
    connect(button, &QPushButton::clicked, this, [this, button, handler] {
      HandlerGate::Deliver(button, [this, handler] { handler(*this); });
    });
  };
  connect(QueryButton, &QPushButton::clicked, this,
          [this] { HandlerGate::Deliver(QueryButton, [this] { engine_->RunQuery(); }); });
  connect(ImageTestButton, &QPushButton::clicked, this, [this] {
    HandlerGate::Deliver(ImageTestButton, [this] { engine_->OnImageTestClick(); });
  });
  onClick(MonthTableButton, OnMonthTableClick);
  onClick(CopyButton, [](MainWindow& w) {
    const ResultCaptions shown = w.ResultTexts();
    OnCopyClick(w, shown.model, shown.serial, shown.warrantyEnd);
  });
  onClick(ScreenshotButton, [](MainWindow& w) {
    CaptureServices capture;
    capture.grabScreen = w.services_.grabScreen;
    capture.saveDialog = w.services_.saveDialog;
    capture.playCue = [&w](const QString& cueLiteral) { w.PlayCue(cueLiteral); };
    capture.setStatus = [&w](const QString& text) { w.SetStatus(text); };
    OnScreenshotClick(w.captureOverlay, std::move(capture));
  });
}

void MainWindow::BuildMenus() {
  const auto Gated = [this](void (*handler)(MainWindow&)) {
    return [this, handler] { HandlerGate::Deliver(nullptr, [this, handler] { handler(*this); }); };
  };
  MainMenu = menuBar()->addMenu(QStringLiteral("菜单"));
  MainMenu->setObjectName(QStringLiteral("MainMenu"));
  VoiceOffItem = MainMenu->addAction(QStringLiteral("关闭语音"), this,
                                     Gated([](MainWindow& w) { OnVoiceOff(w.platform(), w); }));
  VoiceOnItem = MainMenu->addAction(QStringLiteral("开启语音"), this,
                                    Gated([](MainWindow& w) { OnVoiceOn(w.platform(), w); }));
  RestartItem = MainMenu->addAction(QStringLiteral("重启"), this, Gated(OnRestart));
  ExitItem = MainMenu->addAction(QStringLiteral("退出"), this, Gated(OnExit));
  HistoryItem = MainMenu->addAction(QStringLiteral("查询记录"), this, Gated(OnHistory));
  BatchItem = MainMenu->addAction(QStringLiteral("批量查询"), this, Gated(OnBatch));
  HelpMenu = menuBar()->addMenu(QStringLiteral("帮助"));
  HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
  InstructionsItem = HelpMenu->addAction(QStringLiteral("使用说明"), this, Gated(OnInstructions));
  AboutItem = HelpMenu->addAction(QStringLiteral("关于"), this, Gated(OnAbout));
  const char* const names[] = {"VoiceOffItem", "VoiceOnItem", "RestartItem",      "ExitItem",
                               "HistoryItem",  "BatchItem",   "InstructionsItem", "AboutItem"};
  QAction* const items[] = {VoiceOffItem, VoiceOnItem, RestartItem,      ExitItem,
                            HistoryItem,  BatchItem,   InstructionsItem, AboutItem};
  for (size_t i = 0; i < std::size(items); ++i) items[i]->setObjectName(names[i]);
}

void MainWindow::OnCreated() {
  AttachSkin(RunPath(QStringLiteral("\\魔兽争霸.she")));
  platform_->SilenceNavigationClick();
  Navigate(LookupBrowser, config_.portalHost);
  Announce(*this, Notice::Welcome);
  Navigate(WarrantyBrowser, config_.WarrantyPageUrl());
}

void MainWindow::OnKeyDown(int keyCode) {
  if (keyCode == kEndKey) ScreenshotButton->setFocus(Qt::OtherFocusReason);
}

void MainWindow::OnMoved() {
  const QRect frame = Frame();
  if (monthTableWindow) MoveDocked(monthTableWindow, MonthTableDock(frame), frame);
  if (aboutWindow)
    MoveDocked(aboutWindow, AboutDock(frame, aboutWindow->frameGeometry().width(), 20), frame);
}

void MainWindow::OnClosed() {
  closed_ = true;
  if (aboutWindow) aboutWindow->close();
  if (monthTableWindow) monthTableWindow->close();
  if (historyWindow) historyWindow->close();  // keeps its place for the next start
  if (batchWindow) batchWindow->close();      // stops its batch, too
  QCoreApplication::exit(0);
}

void MainWindow::SetStatus(const QString& text) { StatusBar->SetText(text); }

QString MainWindow::Status() const { return StatusBar->Text(); }

void MainWindow::PlayCue(const QString& cueLiteral) { CuePlayer->Play(RunPath(cueLiteral)); }

MainWindow::ResultCaptions MainWindow::ResultTexts() const {
  return {Caption(ModelLabel), Caption(SerialLabel), Caption(WarrantyEndLabel)};
}

QString MainWindow::EntryText() { return SerialInput->text(); }

std::optional<LookupPath> MainWindow::ChosenPath() {
  if (ComprehensiveQueryRadio->isChecked()) return LookupPath::Comprehensive;
  if (OfficialQueryRadio->isChecked()) return LookupPath::Official;
  return std::nullopt;
}

QWidget* MainWindow::ControlFor(LookupControl control) const {
  switch (control) {
    case LookupControl::ResultPicture:
      return ResultPicture;
    case LookupControl::BusyAnimation:
      return BusyAnimation;
    case LookupControl::BusyLabel:
      return BusyLabel;
    case LookupControl::WatermarkLabel:
      return WatermarkLabel;
    case LookupControl::ModelLabel:
      return ModelLabel;
    case LookupControl::SerialLabel:
      return SerialLabel;
    case LookupControl::WarrantyEndLabel:
      return WarrantyEndLabel;
    case LookupControl::ScreenshotButton:
      return ScreenshotButton;
    case LookupControl::MonthTableButton:
      return MonthTableButton;
    case LookupControl::CopyButton:
      return CopyButton;
  }
  return nullptr;
}

void MainWindow::Tell(Notice notice) {
  if (const std::optional<QString> status = StatusOf(notice)) SetStatus(*status);
}

void MainWindow::Sound(Notice notice) {
  if (const std::optional<QString> cue = CueOf(notice)) PlayCue(*cue);
}

void MainWindow::SetVisible(LookupControl control, bool visible) {
  ControlFor(control)->setVisible(visible);
}

void MainWindow::SetCaption(LookupControl label, const QString& caption) {
  if (auto* widget = qobject_cast<QLabel*>(ControlFor(label))) quarvel::SetCaption(widget, caption);
}

void MainWindow::RecordInHistory(const LookupEnd& end) {
  if (end.entry.isEmpty()) return;  // nothing was looked up
  if (!history_) {
    history_ = std::make_unique<History>(
        DataFolder(), [](const QString& problem) { qCWarning(lcLookup).noquote() << problem; });
  }
  LookupOutcome outcome = end.outcome();
  if (!outcome.picture.isEmpty()) {
    // The window's picture file is replaced by the next lookup: the row
    // keeps a copy of its own, so that it always shows this handset.
    QString problem;
    outcome.picture = KeepOwnPicture(DataFolder(), outcome.picture, end.entry, &problem);
    if (outcome.picture.isEmpty()) qCWarning(lcLookup).noquote() << problem;
  }
  history_->Record(FinishedLookup(HistorySource::Window, end.entry, end.path, outcome,
                                  end.milliseconds / 1000.0));
  if (historyWindow) historyWindow->Refresh();
}

void MainWindow::SetResultPicture(const QByteArray& bytes) { SetPicture(ResultPicture, bytes); }

QRect MainWindow::Frame() const { return frameGeometry(); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    // Each key press is seen once: by the focus widget, or by the window
    // itself when nothing inside it has the focus.
    const bool first = widget == QApplication::focusWidget() ||
                       (widget == this && QApplication::focusWidget() == nullptr);
    const int keyCode = VirtualKeyCode(static_cast<QKeyEvent*>(event));
    if (first && widget->window() == this) {
      HandlerGate::Deliver(nullptr, [this, keyCode] { OnKeyDown(keyCode); });
    }
    if (widget == SerialInput) {
      HandlerGate::Deliver(nullptr, [this, keyCode] { engine_->OnSerialKeyDown(keyCode); });
    }
  } else if (watched == BusyAnimation) {
    if (event->type() == QEvent::Show)
      busyMovie_->start();
    else if (event->type() == QEvent::Hide)
      busyMovie_->stop();
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  OnMoved();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!closed_) OnClosed();
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FixOuterSize();
}

void MainWindow::FixOuterSize() { quarvel::FixOuterSize(this, kWidth, kHeight); }

}  // namespace quarvel
