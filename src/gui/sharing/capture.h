#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace quarvel {

class SaveDialog;
class ScreenshotWindow;

// What a capture needs from the rest of the program.
struct CaptureServices {
  std::function<QPixmap()> grabScreen;                     // the whole primary screen
  std::shared_ptr<SaveDialog> saveDialog;                  // the save-as dialog
  std::function<void(const QString& cueLiteral)> playCue;  // voice cues
  std::function<void(const QString& text)> setStatus;      // the main window's status message
};

// The whole primary screen at full size, in device pixels; null where the
// desktop gives programs no picture of the screen.
QPixmap GrabPrimaryScreen();

// The selection of the capture, normalised: dragging up or to the left gives
// the same rectangle as dragging down and to the right.
QRect SelectionRect();

class CaptureOverlayWindow;

// Click of 按钮3: opens the capture overlay on a fresh snapshot, or brings
// back the one still open; overlay holds it while it lives. Without a
// snapshot no overlay opens: the status says why and the abandon cue plays.
void OnScreenshotClick(QPointer<CaptureOverlayWindow>& overlay, CaptureServices services);

// The canvas of the overlay: the frozen snapshot and the selection outline.
class OverlayCanvas : public QWidget {
  Q_OBJECT
 public:
  explicit OverlayCanvas(QWidget* parent);
  void SetBackground(const QPixmap& snapshot) { background_ = snapshot; }
  const QPixmap& background() const { return background_; }
  // The canvas as displayed: the snapshot and the last outline, in the
  // snapshot's device pixels.
  QImage Displayed() const;
  // Device pixels per canvas pixel.
  qreal PixelRatio() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Draw(QPainter& painter) const;
  QPixmap background_;
  bool outlined_ = false;
};

// A borderless window over the whole screen on which the user drags the
// rectangle to capture.
class CaptureOverlayWindow : public QWidget {
  Q_OBJECT
 public:
  CaptureOverlayWindow(const QPixmap& snapshot, CaptureServices services);
  ~CaptureOverlayWindow() override;

  void OnCanvasPress(int x, int y);
  void OnCanvasMove(int x, int y);
  void OnCanvasRelease(int x, int y);

  OverlayCanvas* Canvas;  // 画板1
  QPointer<ScreenshotWindow> Screenshot;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// Shows the selected region, lets the user select again and saves it.
class ScreenshotWindow : public QWidget {
  Q_OBJECT
 public:
  ScreenshotWindow(CaptureOverlayWindow* overlay, CaptureServices services);
  ~ScreenshotWindow() override;  // destroys the overlay too

  // Outer size, frame included.
  void SetOuterSize(int width, int height);
  void SetPreview(const QImage& picture);
  const QImage& preview() const { return preview_; }

  void OnSave();
  void OnRecapture();

  QPushButton* RecaptureButton;  // 按钮1
  QPushButton* SaveButton;       // 按钮2
  QLabel* PreviewCanvas;         // 画板1

  // What the save dialog proposes: "tal Quarvel" and a number from 1 to 1000.
  QString lastProposedName;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QPointer<CaptureOverlayWindow> overlay_;
  CaptureServices services_;
  QImage preview_;
  QSize outerSize_;
};

}  // namespace quarvel
