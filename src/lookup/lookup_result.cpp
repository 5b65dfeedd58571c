// The end of a comprehensive query: the lookup site's page in WebBrowser1.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/browser.h"
#include "app/controls.h"
#include "app/http_fetch.h"
#include "app/log.h"
#include "app/main_window.h"
#include "app/picture.h"
#include "app/safe_file.h"
#include "lookup/lookup_paths.h"
#include "lookup/tick_handlers.h"
#include "system/voice.h"
#include "webpage/web_page_helper.h"

namespace quarvel {
namespace {

void StopLookup(MainWindow& w) {
  SetTimerInterval(w.LookupResultTimer, 0);
  w.LookupDeadline->stop();
}

void HideResultAndBusy(MainWindow& w) {
  w.ResultPicture->hide();
  w.BusyLabel->hide();
  w.BusyAnimation->hide();
  w.WatermarkLabel->hide();
}

enum class Stored { Yes, NoPicture, NotWritten };

// Fetches the handset picture and stores it in the data folder as JPEG: the
// bytes as they came, converted in place, read back into *shown. NoPicture,
// with the previous file left as it was, when no picture came; NotWritten,
// with what came in *shown, when the file could not be written or converted.
Stored StoreHandsetPicture(MainWindow& w, const QString& serial, QByteArray* shown) {
  FetchLimits limits;
  limits.total = std::chrono::milliseconds(w.timings.fetchTimeoutMs);
  const QByteArray bytes = HttpGetBytes(HandsetPictureUrl(w.config(), serial), limits);
  if (DecodePicture(bytes).isNull()) return Stored::NoPicture;
  *shown = bytes;
  const QString path = DataFilePath(kHandsetPictureFile);
  if (path.isEmpty() || !ReplaceFile(path, bytes) || !ConvertImageFile(path, path, 75)) {
    qCWarning(lcLookup) << "the handset picture could not be stored";
    return Stored::NotWritten;
  }
  const std::optional<QByteArray> back = ReadRegularFile(path);
  if (!back) return Stored::NotWritten;
  *shown = *back;
  return Stored::Yes;
}

}  // namespace

void OnLookupResultTick(MainWindow& w) {
  WebPageHelper page;
  page.AttachToBrowserWindow(GetControlWindowHandle(w.LookupBrowser));
  const QString text = page.GetPageText();

  if (text.isEmpty()) {
    StopLookup(w);
    w.SetStatus(QStringLiteral("请正确输入"));
    PlayCue(w, cue::kEnterCorrectly);
    HideResultAndBusy(w);
  } else if (text.contains(QStringLiteral("查找结果"))) {
    StopLookup(w);
    const QString serial = TrimTrailingSpaces(w.SerialInput->text());
    QByteArray picture;
    const Stored stored = StoreHandsetPicture(w, serial, &picture);
    if (stored == Stored::NoPicture) {
      w.SetStatus(QStringLiteral("图片获取失败"));
      PlayCue(w, cue::kFailed);
      HideResultAndBusy(w);
      return;
    }
    SetPicture(w.ResultPicture, picture);
    if (stored == Stored::Yes) {
      w.SetStatus(QStringLiteral("查询成功"));
      PlayCue(w, cue::kSuccess);
    } else {
      // The picture is shown, but the lookup is not told as a success.
      w.SetStatus(QStringLiteral("图片保存失败"));
      PlayCue(w, cue::kFailed);
    }
    w.BusyAnimation->hide();
    w.BusyLabel->hide();
    w.ResultPicture->show();
    w.WatermarkLabel->show();
    w.ScreenshotButton->show();
    Navigate(w.LookupBrowser, w.config().portalHost);
  } else if (text.contains(QStringLiteral("抱歉，没有找到"))) {
    w.SetStatus(QStringLiteral("抱歉，没有找到此系列号相关信息"));
    StopLookup(w);
    HideResultAndBusy(w);
    PlayCue(w, cue::kFailed);
  }
  // Anything else: still loading; the next tick looks again.
}

void OnLookupTimedOut(MainWindow& w) {
  if (!w.LookupResultTimer->isActive()) return;
  StopLookup(w);
  w.BusyAnimation->hide();
  w.BusyLabel->hide();
  w.SetStatus(QStringLiteral("查询超时，请重试"));
  PlayCue(w, cue::kFailed);
}

}  // namespace quarvel
