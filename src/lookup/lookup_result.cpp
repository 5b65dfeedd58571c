// The end of a comprehensive query: the lookup site's page in WebBrowser1.
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>

#include "app/browser.h"
#include "app/controls.h"
#include "app/http_fetch.h"
#include "app/main_window.h"
#include "app/picture.h"
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

// Fetches the handset picture into the data folder as JPEG; false, with the
// previous file left as it was, when no picture came.
bool StoreHandsetPicture(MainWindow& w, const QString& serial, QByteArray* shown) {
  const QByteArray bytes = HttpGetBytes(HandsetPictureUrl(w.config(), serial));
  if (DecodePicture(bytes).isNull()) return false;
  const QString path = DataFilePath(kHandsetPictureFile);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    *shown = bytes;  // the file could not be written: show what came
    return true;
  }
  ConvertImageFile(path, path, 75);
  QFile back(path);
  *shown = back.open(QIODevice::ReadOnly) ? back.readAll() : bytes;
  return true;
}

}  // namespace

void OnLookupResultTick(MainWindow& w) {
  WebPageHelper page;
  page.AttachToBrowserWindow(GetControlWindowHandle(w.LookupBrowser));
  const std::optional<QString> read = page.TryGetPageText();
  if (!read) return;  // not readable yet: the next tick reads again
  const QString& text = *read;

  if (text.isEmpty()) {
    StopLookup(w);
    w.SetStatus(QStringLiteral("请正确输入"));
    PlayCue(w, cue::kEnterCorrectly);
    HideResultAndBusy(w);
  } else if (text.contains(QStringLiteral("查找结果"))) {
    StopLookup(w);
    const QString serial = TrimTrailingSpaces(w.SerialInput->text());
    QByteArray picture;
    if (!StoreHandsetPicture(w, serial, &picture)) {
      w.SetStatus(QStringLiteral("图片获取失败"));
      PlayCue(w, cue::kFailed);
      HideResultAndBusy(w);
      return;
    }
    SetPicture(w.ResultPicture, picture);
    w.SetStatus(QStringLiteral("查询成功"));
    PlayCue(w, cue::kSuccess);
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
