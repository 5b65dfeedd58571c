// Result sharing: the copied text, the capture overlay, the screenshot window
// and saving, on real windows with a known snapshot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "base/files/picture.h"
#include "gui/controls/controls.h"
#include "gui/sharing/capture.h"
#include "gui/sharing/copy_result.h"
#include "gui/sharing/picture_encoding.h"
#include "gui/sharing/save_dialog.h"
#include "gui/sharing/selection_state.h"
#include "gui/shell/main_window.h"
#include "gui/voice/voice.h"
#include "support/main_window_controls.h"
#include "support/offline_config.h"
#include "support/wait.h"

namespace quarvel {
namespace {

// A snapshot whose every pixel tells where it lies.
QPixmap KnownSnapshot(int shade = 0) {
  QImage image(800, 600, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, qRgb(x % 256, y % 256, (shade + x / 256 * 40 + y / 256 * 80) % 256));
  return QPixmap::fromImage(image);
}

class AnsweringDialog : public SaveDialog {
 public:
  std::optional<SaveChoice> Ask(QWidget*, const SaveRequest& request) override {
    requests.push_back(request);
    return answer;
  }
  std::optional<SaveChoice> answer;
  std::vector<SaveRequest> requests;
};

TEST(CopyResult, JoinsTheCaptionsAsShownWithTheSignature) {
  EXPECT_EQ(CopyResultText("A", "B", "C"),
            QStringLiteral("A\r\n\r\nB\r\n\r\nC\r\n\r\n信息来至 tal Quarvel  "));
  const QString empty = CopyResultText({}, {}, {});
  EXPECT_EQ(empty, QStringLiteral("\r\n\r\n\r\n\r\n\r\n\r\n信息来至 tal Quarvel  "));
  EXPECT_EQ(empty.count(QStringLiteral("\r\n")), 6);

  MainWindow window(testing::OfflineConfig());

  const testing::MainWindowControls ui(window);
  SetCaption(ui.ModelLabel, QStringLiteral("产品型号：iPhone 14 Pro"));
  SetCaption(ui.SerialLabel, QStringLiteral("系列号：C39XK0ABHG7F"));
  SetCaption(ui.WarrantyEndLabel, QStringLiteral("保修截止：2027年3月18日"));
  ui.CopyButton->show();
  ui.CopyButton->click();
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            QStringLiteral("产品型号：iPhone 14 Pro\r\n\r\n系列号：C39XK0ABHG7F\r\n\r\n"
                           "保修截止：2027年3月18日\r\n\r\n信息来至 tal Quarvel  "));
  EXPECT_EQ(window.Status(), QStringLiteral("复制成功"));
  EXPECT_TRUE(ui.CuePlayer->Url().endsWith(QStringLiteral("复制信息成功.mp3")));

  // Empty captions: copied as empty lines, and still confirmed.
  SetCaption(ui.ModelLabel, {});
  SetCaption(ui.SerialLabel, {});
  SetCaption(ui.WarrantyEndLabel, {});
  window.SetStatus({});
  ui.CopyButton->click();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), empty);
  EXPECT_EQ(window.Status(), QStringLiteral("复制成功"));
}

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSelectionState();
    dialog = std::make_shared<AnsweringDialog>();
    WindowServices services;
    services.grabScreen = [this] { return snapshot; };
    services.saveDialog = dialog;
    window = std::make_unique<MainWindow>(testing::OfflineConfig(), services);
    ui = std::make_unique<testing::MainWindowControls>(*window);
    window->show();
    ui->ScreenshotButton->show();
    ui->ScreenshotButton->click();
    overlay = window->captureOverlay;
    ASSERT_TRUE(overlay);
  }

  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(overlay->Canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(overlay->Canvas, (from + to) / 2);
    QTest::mouseMove(overlay->Canvas, to);
    QTest::mouseRelease(overlay->Canvas, Qt::LeftButton, {}, to);
  }

  ScreenshotWindow* Shot() { return overlay->Screenshot; }

  // Abandons the open capture and starts the next on the current snapshot.
  void CaptureAgain() {
    QPointer<ScreenshotWindow> shot = Shot();
    QTest::keyClick(overlay, Qt::Key_Escape);
    ASSERT_TRUE(testing::WaitFor([&] { return overlay.isNull() && shot.isNull(); }));
    ui->ScreenshotButton->click();
    overlay = window->captureOverlay;
  }

  QPixmap snapshot = KnownSnapshot();
  std::shared_ptr<AnsweringDialog> dialog;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<testing::MainWindowControls> ui;
  QPointer<CaptureOverlayWindow> overlay;
};

TEST_F(CaptureTest, TheOverlayCoversTheScreenWithAFrozenSnapshotAndACrosshair) {
  EXPECT_TRUE(overlay->isVisible());
  EXPECT_TRUE(overlay->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(overlay->size(), QGuiApplication::primaryScreen()->size());
  EXPECT_EQ(overlay->Canvas->geometry(), QRect(QPoint(0, 0), overlay->size()));
  EXPECT_EQ(overlay->Canvas->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(overlay->Canvas->background().toImage(), snapshot.toImage());
  ASSERT_TRUE(Shot());
  EXPECT_FALSE(Shot()->isVisible());  // loaded hidden
  EXPECT_EQ(Shot()->windowTitle(), QStringLiteral("tal-截图"));
}

TEST_F(CaptureTest, TheWorkedExampleCopiesTheSelectedRegionIntoTheResizedPreview) {
  QTest::mouseMove(overlay->Canvas, {40, 40});  // no button: nothing recorded
  EXPECT_EQ(selectionState.dragging, 0);
  EXPECT_EQ(selectionState.endX, 0);

  Drag({100, 50}, {300, 250});
  EXPECT_EQ(selectionState.dragging, 0);
  EXPECT_EQ(selectionState.startX, 100);
  EXPECT_EQ(selectionState.startY, 50);
  EXPECT_EQ(selectionState.endX, 300);
  EXPECT_EQ(selectionState.endY, 250);
  EXPECT_FALSE(overlay->isVisible());
  ASSERT_TRUE(Shot()->isVisible());
  EXPECT_EQ(Shot()->frameGeometry().size(), QSize(224, 305));
  EXPECT_EQ(Shot()->PreviewCanvas->geometry(), QRect(4, 40, 200, 200));

  const QImage preview = Shot()->preview();
  ASSERT_EQ(preview.size(), QSize(200, 200));
  const QImage source = snapshot.toImage();
  for (const QPoint p : {QPoint(1, 1), QPoint(100, 100), QPoint(198, 198), QPoint(57, 163)})
    EXPECT_EQ(preview.pixel(p), source.pixel(p + QPoint(100, 50))) << p.x() << "," << p.y();
  EXPECT_EQ(preview.pixel(0, 0), qRgb(255, 0, 0));  // the outline, as displayed
  EXPECT_EQ(preview.pixel(0, 120), qRgb(255, 0, 0));
}

TEST_F(CaptureTest, DraggingUpAndLeftSelectsTheSameRegion) {
  Drag({300, 250}, {100, 50});
  ASSERT_TRUE(Shot()->isVisible());
  EXPECT_EQ(Shot()->frameGeometry().size(), QSize(224, 305));
  EXPECT_EQ(Shot()->PreviewCanvas->geometry(), QRect(4, 40, 200, 200));
  EXPECT_EQ(Shot()->preview().pixel(10, 10), snapshot.toImage().pixel(110, 60));
}

TEST_F(CaptureTest, ASelectionWithoutAreaLeavesTheOverlayOpen) {
  Drag({100, 50}, {300, 250});
  Shot()->RecaptureButton->click();
  // A click without a drag: not the corner of the previous selection.
  QTest::mouseClick(overlay->Canvas, Qt::LeftButton, {}, {500, 400});
  EXPECT_TRUE(overlay->isVisible());
  EXPECT_FALSE(Shot()->isVisible());
  Drag({120, 70}, {400, 70});  // a line: no height
  EXPECT_TRUE(overlay->isVisible());
  EXPECT_FALSE(Shot()->isVisible());
}

TEST_F(CaptureTest, RecaptureShowsTheSameSnapshotAndManualResizeKeepsTheCanvas) {
  Drag({100, 50}, {300, 250});
  snapshot = KnownSnapshot(99);  // the screen changes meanwhile
  Shot()->RecaptureButton->click();
  EXPECT_FALSE(Shot()->isVisible());
  EXPECT_TRUE(overlay->isVisible());
  EXPECT_EQ(overlay->Canvas->background().toImage(), KnownSnapshot().toImage());

  Drag({10, 20}, {60, 100});
  EXPECT_EQ(Shot()->frameGeometry().size(), QSize(74, 185));
  Shot()->resize(600, 500);
  EXPECT_EQ(Shot()->PreviewCanvas->geometry(), QRect(4, 40, 50, 80));
}

TEST_F(CaptureTest, EscapeAbandonsTheCapture) {
  QPointer<ScreenshotWindow> shot = Shot();
  QTest::keyClick(overlay, Qt::Key_Escape);
  EXPECT_FALSE(overlay && overlay->isVisible());
  EXPECT_TRUE(testing::WaitFor([&] { return overlay.isNull() && shot.isNull(); }));
  // The next capture starts afresh.
  ui->ScreenshotButton->click();
  EXPECT_TRUE(window->captureOverlay);
}

TEST_F(CaptureTest, EscapeInTheMiddleOfADragEndsTheDrag) {
  QTest::mousePress(overlay->Canvas, Qt::LeftButton, {}, {100, 50});
  QTest::mouseMove(overlay->Canvas, {200, 150});
  ASSERT_EQ(selectionState.dragging, 1);
  CaptureAgain();
  ASSERT_TRUE(overlay);
  EXPECT_EQ(selectionState.dragging, 0);
  // No button is held on the new overlay: a plain move draws no box.
  QTest::mouseMove(overlay->Canvas, {300, 250});
  EXPECT_EQ(selectionState.endX, 200);
  const QImage shown = overlay->Canvas->Displayed();
  const QImage source = snapshot.toImage();
  for (const QPoint p : {QPoint(100, 50), QPoint(100, 200), QPoint(299, 249), QPoint(200, 50)})
    EXPECT_EQ(shown.pixel(p), source.pixel(p)) << p.x() << "," << p.y();
}

TEST_F(CaptureTest, TheCopiedSelectionHoldsTheWholeOutline) {
  Drag({100, 50}, {300, 250});
  const QImage preview = Shot()->preview();
  ASSERT_EQ(preview.size(), QSize(200, 200));
  const QRgb red = qRgb(255, 0, 0);
  for (int i : {0, 57, 199}) {
    EXPECT_EQ(preview.pixel(i, 0), red) << "top " << i;
    EXPECT_EQ(preview.pixel(i, 199), red) << "bottom " << i;
    EXPECT_EQ(preview.pixel(0, i), red) << "left " << i;
    EXPECT_EQ(preview.pixel(199, i), red) << "right " << i;
  }
  // One pixel in, the snapshot: the outline is one pixel wide.
  const QImage source = snapshot.toImage();
  EXPECT_EQ(preview.pixel(1, 1), source.pixel(101, 51));
  EXPECT_EQ(preview.pixel(198, 198), source.pixel(298, 248));
  // Outside the selection the overlay shows the snapshot only.
  const QImage shown = overlay->Canvas->Displayed();
  EXPECT_EQ(shown.pixel(300, 250), source.pixel(300, 250));
  EXPECT_EQ(shown.pixel(300, 100), source.pixel(300, 100));
}

TEST_F(CaptureTest, AtTwoDevicePixelsPerPixelTheSelectionKeepsItsDevicePixels) {
  QImage big(1600, 1200, QImage::Format_RGB32);
  for (int y = 0; y < big.height(); ++y)
    for (int x = 0; x < big.width(); ++x) big.setPixel(x, y, qRgb(x % 256, y % 256, x / 256 * 30));
  snapshot = QPixmap::fromImage(big);
  snapshot.setDevicePixelRatio(2);
  CaptureAgain();
  ASSERT_TRUE(overlay);
  Drag({100, 50}, {300, 250});  // 200 x 200 on screen, 400 x 400 device pixels
  ASSERT_TRUE(Shot()->isVisible());
  EXPECT_EQ(Shot()->PreviewCanvas->geometry(), QRect(4, 40, 200, 200));
  const QImage preview = Shot()->preview();
  ASSERT_EQ(preview.size(), QSize(400, 400));
  for (const QPoint p : {QPoint(5, 5), QPoint(201, 333), QPoint(394, 394)})
    EXPECT_EQ(preview.pixel(p), big.pixel(p + QPoint(200, 100))) << p.x() << "," << p.y();
  EXPECT_EQ(preview.pixel(399, 399), qRgb(255, 0, 0));

  QTemporaryDir dir;
  dialog->answer = SaveChoice{dir.filePath("hidpi.png"), 0};
  Shot()->SaveButton->click();
  QFile file(dir.filePath("hidpi.png"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(DecodePicture(file.readAll()).size(), QSize(400, 400));
}

TEST_F(CaptureTest, WithoutASnapshotNoBlackOverlayOpensAndTheUserIsTold) {
  snapshot = QPixmap();  // what a desktop that refuses screen grabs gives
  CaptureAgain();
  EXPECT_FALSE(overlay);
  for (QWidget* top : QApplication::topLevelWidgets())
    EXPECT_FALSE(qobject_cast<CaptureOverlayWindow*>(top) && top->isVisible());
  EXPECT_EQ(window->Status(), QStringLiteral("无法截图：此桌面不允许程序截屏"));
  EXPECT_TRUE(ui->CuePlayer->Url().endsWith(QStringLiteral("已放弃截图.mp3")));
}

TEST_F(CaptureTest, SavingWritesOnlyTheConfirmedFile) {
  Drag({100, 50}, {300, 250});
  QTemporaryDir dir;
  // A file the dialog never asked about stays as it is.
  QFile other(dir.filePath("foo.txt.png"));
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write("keep me");
  other.close();
  dialog->answer = SaveChoice{dir.filePath("foo.txt"), 0};
  Shot()->SaveButton->click();
  ASSERT_TRUE(other.open(QIODevice::ReadOnly));
  EXPECT_EQ(other.readAll(), QByteArray("keep me"));
  QFile confirmed(dir.filePath("foo.txt"));
  ASSERT_TRUE(confirmed.open(QIODevice::ReadOnly));
  EXPECT_EQ(SniffPicture(confirmed.readAll()), PictureFormat::Png);  // the chosen type
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(CaptureTest, EachTypeIsSavedInItsOwnFormatAndCancelWritesNothing) {
  Drag({100, 50}, {300, 250});
  QTemporaryDir dir;
  struct Case {
    QString name;
    int filter;
    PictureFormat format;
    QString written;
  } cases[] = {{"a.png", 0, PictureFormat::Png, "a.png"},
               {"b", 1, PictureFormat::Gif, "b"},  // the name as confirmed
               {"c", 2, PictureFormat::Jpeg, "c"},
               {"d.gif", 0, PictureFormat::Gif, "d.gif"},
               {"e.txt", 0, PictureFormat::Png, "e.txt"}};
  for (const Case& c : cases) {
    dialog->answer = SaveChoice{dir.filePath(c.name), c.filter};
    ui->CuePlayer->Play(QString());
    Shot()->SaveButton->click();
    QFile file(dir.filePath(c.written));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.written.toStdString();
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(SniffPicture(bytes), c.format) << c.written.toStdString();
    EXPECT_EQ(DecodePicture(bytes).size(), QSize(200, 200));
    EXPECT_TRUE(ui->CuePlayer->Url().endsWith(QStringLiteral("截图成功.mp3")));
  }
  EXPECT_TRUE(Shot()->isVisible());  // stays open for more saves

  const SaveRequest& asked = dialog->requests.back();
  EXPECT_EQ(asked.title, QStringLiteral("另存为"));
  EXPECT_EQ(asked.initialFilter, 0);
  EXPECT_EQ(QtFilters(asked.filter),
            (QStringList{"tal截图(png)(*.png)", "GIF 文件(*.gif)", "JPEG 文件(*.jpg)"}));
  QStringList suffixes;
  for (const QString& filter : QtFilters(asked.filter)) suffixes << FilterExtension(filter);
  EXPECT_EQ(suffixes, (QStringList{"png", "gif", "jpg"}));  // what a bare name is given
  for (const SaveRequest& request : dialog->requests) {
    ASSERT_TRUE(request.proposedName.startsWith(QStringLiteral("tal Quarvel")));
    const int n = request.proposedName.mid(11).toInt();
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 1000);
    EXPECT_EQ(QString::number(n), request.proposedName.mid(11));  // no leading zeros
  }

  const int files = static_cast<int>(QDir(dir.path()).entryList(QDir::Files).size());
  dialog->answer.reset();
  ui->CuePlayer->Play(QString());
  Shot()->SaveButton->click();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), files);
  EXPECT_TRUE(ui->CuePlayer->Url().isEmpty());  // silent
}

TEST_F(CaptureTest, AnUnwritablePathPlaysTheAbandonCueAndLeavesNoPartialFile) {
  Drag({100, 50}, {300, 250});
  dialog->answer = SaveChoice{QStringLiteral("/nonexistent-dir/x.png"), 0};
  Shot()->SaveButton->click();
  EXPECT_TRUE(ui->CuePlayer->Url().endsWith(QStringLiteral("已放弃截图.mp3")));

  // The chosen name is taken by a folder: the write fails after encoding.
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken.png"));
  dialog->answer = SaveChoice{dir.filePath("taken.png"), 0};
  ui->CuePlayer->Play(QString());
  Shot()->SaveButton->click();
  EXPECT_TRUE(ui->CuePlayer->Url().endsWith(QStringLiteral("已放弃截图.mp3")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"taken.png"});
}

TEST_F(CaptureTest, ClosingThePreviewDestroysTheOverlayToo) {
  Drag({100, 50}, {300, 250});
  QPointer<ScreenshotWindow> shot = Shot();
  shot->close();
  EXPECT_TRUE(testing::WaitFor([&] { return overlay.isNull() && shot.isNull(); }));
}

}  // namespace
}  // namespace quarvel
