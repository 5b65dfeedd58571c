#include "gui/sharing/capture.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>

#include "base/files/safe_file.h"
#include "gui/notices.h"
#include "gui/sharing/picture_encoding.h"
#include "gui/sharing/save_dialog.h"
#include "gui/sharing/selection_state.h"

namespace quarvel {

namespace {

// A grab that shows nothing: what a desktop that keeps its screen from
// programs hands out instead of a picture.
bool AllBlack(const QPixmap& pixmap) {
  const QImage image = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (qRed(line[x]) | qGreen(line[x]) | qBlue(line[x])) return false;
  }
  return true;
}

// The selection in the snapshot's own (device) pixels.
QRect DevicePixels(const QRect& logical, qreal ratio) {
  return QRectF(QPointF(logical.topLeft()) * ratio, QSizeF(logical.size()) * ratio).toRect();
}

}  // namespace

QPixmap GrabPrimaryScreen() {
  // A Wayland compositor gives programs no picture of the screen.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return {};
  QScreen* screen = QGuiApplication::primaryScreen();
  QPixmap grab = screen ? screen->grabWindow(0) : QPixmap();
  return grab.isNull() || AllBlack(grab) ? QPixmap() : grab;
}

QRect SelectionRect() {
  const SelectionState& s = selectionState;
  return QRect(QPoint(std::min(s.startX, s.endX), std::min(s.startY, s.endY)),
               QSize(std::abs(s.endX - s.startX), std::abs(s.endY - s.startY)));
}

void OnScreenshotClick(QPointer<CaptureOverlayWindow>& overlay, CaptureServices services) {
  if (overlay) {  // a capture is still open: select again on it
    if (overlay->Screenshot) overlay->Screenshot->hide();
    overlay->show();
    overlay->activateWindow();
    return;
  }
  const QPixmap snapshot = services.grabScreen ? services.grabScreen() : QPixmap();
  if (snapshot.isNull()) {
    // No frozen black screen: say why there is nothing to select on.
    if (services.setStatus) services.setStatus(*StatusOf(Notice::CaptureRefused));
    if (services.playCue) services.playCue(*CueOf(Notice::CaptureRefused));
    return;
  }
  overlay = new CaptureOverlayWindow(snapshot, std::move(services));
}

// --- OverlayCanvas -------------------------------------------------------------

OverlayCanvas::OverlayCanvas(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("画板1"));
  setCursor(Qt::CrossCursor);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void OverlayCanvas::Draw(QPainter& painter) const {
  painter.drawPixmap(0, 0, background_);
  const QRect r = SelectionRect();
  if (!outlined_ || r.isEmpty()) return;
  // The outline lies on the selection's own border pixels, so that a copy of
  // the selection holds all four of its edges.
  const QColor red(255, 0, 0);
  painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), red);
  painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), red);
  painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), red);
  painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), red);
}

qreal OverlayCanvas::PixelRatio() const {
  return background_.isNull() ? 1.0 : background_.devicePixelRatio();
}

QImage OverlayCanvas::Displayed() const {
  // In the snapshot's device pixels: nothing is scaled on the way.
  const qreal ratio = PixelRatio();
  QImage image((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::black);
  QPainter painter(&image);
  Draw(painter);
  return image;
}

void OverlayCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  Draw(painter);
}

void OverlayCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  static_cast<CaptureOverlayWindow*>(window())->OnCanvasPress(event->position().toPoint().x(),
                                                              event->position().toPoint().y());
}

void OverlayCanvas::mouseMoveEvent(QMouseEvent* event) {
  static_cast<CaptureOverlayWindow*>(window())->OnCanvasMove(event->position().toPoint().x(),
                                                             event->position().toPoint().y());
  if (selectionState.dragging & 1) {
    outlined_ = true;
    update();
  }
}

void OverlayCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  static_cast<CaptureOverlayWindow*>(window())->OnCanvasRelease(event->position().toPoint().x(),
                                                                event->position().toPoint().y());
}

// --- CaptureOverlayWindow ------------------------------------------------------

CaptureOverlayWindow::CaptureOverlayWindow(const QPixmap& snapshot, CaptureServices services)
    : QWidget(nullptr, Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("CaptureOverlayWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setAccessibleName(QStringLiteral("截图"));
  Canvas = new OverlayCanvas(this);
  Canvas->setAccessibleName(QStringLiteral("截图区域"));
  // Cover the screen, freeze it once, then load the (hidden) preview window.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 380, 314);
  setGeometry(area);
  Canvas->SetBackground(snapshot);
  setWindowState(Qt::WindowMaximized);
  Screenshot = new ScreenshotWindow(this, std::move(services));
  show();
  activateWindow();
}

CaptureOverlayWindow::~CaptureOverlayWindow() = default;

void CaptureOverlayWindow::OnCanvasPress(int x, int y) {
  selectionState.dragging = 1;
  selectionState.startX = x;
  selectionState.startY = y;
  // A press without a drag selects nothing, not the corner of an old selection.
  selectionState.endX = x;
  selectionState.endY = y;
}

void CaptureOverlayWindow::OnCanvasMove(int x, int y) {
  if (!(selectionState.dragging & 1)) return;
  selectionState.endX = x;
  selectionState.endY = y;
}

void CaptureOverlayWindow::OnCanvasRelease(int, int) {
  selectionState.dragging = 0;
  const QRect selection = SelectionRect();
  if (selection.width() <= 0 || selection.height() <= 0) {
    Canvas->update();
    return;  // nothing selected: the overlay stays for another try
  }
  if (!Screenshot) return;
  Screenshot->SetOuterSize(selection.width() + 24, selection.height() + 105);
  Screenshot->SetPreview(Canvas->Displayed().copy(DevicePixels(selection, Canvas->PixelRatio())));
  hide();
  Screenshot->show();
  Screenshot->activateWindow();
}

void CaptureOverlayWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Canvas->setGeometry(0, 0, width(), height());
}

void CaptureOverlayWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
  // Escape abandons the capture, as closing the preview window would, and
  // ends a drag in progress: the next overlay starts without a held button.
  selectionState.dragging = 0;
  hide();
  if (Screenshot)
    Screenshot->deleteLater();  // takes the overlay with it
  else
    deleteLater();
}

// --- ScreenshotWindow ----------------------------------------------------------

namespace {

const char kSaveFilter[] = "tal截图(png)(*.png)|*.png|GIF 文件(*.gif)|*.gif|JPEG 文件(*.jpg)|*.jpg";

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const QRect& r) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setAccessibleName(caption);
  button->setGeometry(r);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

ScreenshotWindow::ScreenshotWindow(CaptureOverlayWindow* overlay, CaptureServices services)
    : QWidget(nullptr), overlay_(overlay), services_(std::move(services)) {
  setObjectName(QStringLiteral("ScreenshotWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("tal-截图"));
  setAccessibleName(windowTitle());
  RecaptureButton = Button(this, "按钮1", QStringLiteral("截图"), {16, 8, 80, 32});
  SaveButton = Button(this, "按钮2", QStringLiteral("保存"), {112, 8, 80, 32});
  PreviewCanvas = new QLabel(this);
  PreviewCanvas->setObjectName(QStringLiteral("画板1"));
  PreviewCanvas->setAccessibleName(QStringLiteral("截图预览"));
  PreviewCanvas->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  PreviewCanvas->setGeometry(24, 64, 488, 320);
  connect(RecaptureButton, &QPushButton::clicked, this, &ScreenshotWindow::OnRecapture);
  connect(SaveButton, &QPushButton::clicked, this, &ScreenshotWindow::OnSave);
  move(50, 50);
  SetOuterSize(540, 457);
}

void ScreenshotWindow::SetOuterSize(int width, int height) {
  outerSize_ = QSize(width, height);
  const QSize decorations = frameGeometry().size() - geometry().size();
  resize(width - decorations.width(), height - decorations.height());
}

void ScreenshotWindow::SetPreview(const QImage& picture) {
  preview_ = picture;
  PreviewCanvas->setPixmap(QPixmap::fromImage(picture));
}

void ScreenshotWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The canvas keeps the selection's size wherever the frame is dragged.
  PreviewCanvas->setGeometry(QRect(QPoint(4, 40), SelectionRect().size()));
}

void ScreenshotWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  SetOuterSize(outerSize_.width(), outerSize_.height());  // decorations are known now
}

ScreenshotWindow::~ScreenshotWindow() {
  if (overlay_) overlay_->deleteLater();
}

void ScreenshotWindow::OnRecapture() {
  hide();
  if (overlay_) {
    overlay_->show();
    overlay_->activateWindow();
  }
}

void ScreenshotWindow::OnSave() {
  const int n = static_cast<int>(QRandomGenerator::global()->bounded(1, 1001));
  lastProposedName = QStringLiteral("tal Quarvel") + QString::number(n);
  if (!services_.saveDialog) return;
  const auto choice = services_.saveDialog->Ask(
      this, {QStringLiteral("另存为"), QString::fromUtf8(kSaveFilter), 0, lastProposedName});
  if (!choice) return;  // cancelled: nothing written, shown or played

  // Written to exactly the path the user confirmed (the dialog asked before
  // replacing it), encoded as the type its name says, or else as the chosen
  // type. Changing the name here would write a file nobody was asked about.
  const QString path = choice->path;
  SaveType type = static_cast<SaveType>(std::clamp(choice->filterIndex, 0, 2));
  TypeFromFileName(path, &type);
  const QByteArray bytes = EncodePicture(preview_, type);

  // The user chose the path; still, a failed write leaves no partial file.
  const bool saved = !bytes.isEmpty() && ReplaceFile(path, bytes);
  if (services_.playCue)
    services_.playCue(*CueOf(saved ? Notice::ScreenshotSaved : Notice::ScreenshotAbandoned));
}

}  // namespace quarvel
