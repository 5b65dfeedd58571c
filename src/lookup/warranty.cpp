// The official-site query: the warranty form in WebBrowser2, then its result.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/browser.h"
#include "app/controls.h"
#include "app/main_window.h"
#include "lookup/text_between.h"
#include "lookup/tick_handlers.h"
#include "system/voice.h"
#include "webpage/web_page_helper.h"

namespace quarvel {
namespace {

// nullopt while the page is not readable yet.
std::optional<QString> WarrantyPageHtml(MainWindow& w, WebPageHelper& page) {
  page.AttachToBrowserWindow(GetControlWindowHandle(w.WarrantyBrowser));
  return page.TryGetPageHtml();
}

void StopWarranty(MainWindow& w) {
  SetTimerInterval(w.WarrantyResultTimer, 0);
  w.WarrantyDeadline->stop();
}

}  // namespace

void OnWarrantyFormTick(MainWindow& w) {
  WebPageHelper page;
  const QString html = WarrantyPageHtml(w, page).value_or(QString());
  if (!html.contains(QStringLiteral("请输入产品的序列号"))) return;  // polls again later
  SetTimerInterval(w.WarrantyFormTimer, 0);
  const QString serial = w.SerialInput->text();  // exactly as typed
  page.FillTextInput(QStringLiteral("2"), serial);
  page.ClickElement(QStringLiteral("1"));
  SetTimerInterval(w.WarrantyResultTimer, w.timings.resultPollMs);
}

void OnWarrantyResultTick(MainWindow& w) {
  WebPageHelper page;
  const std::optional<QString> read = WarrantyPageHtml(w, page);
  if (!read) return;  // not readable yet: the next tick reads again
  const QString& html = *read;

  if (html.contains(QStringLiteral("预计到期日"))) {
    const QString model =
        TextBetween(html, QStringLiteral("id=productname>"), QStringLiteral("</SPAN></H2><SPAN"));
    SetCaption(w.ModelLabel, QStringLiteral("产品型号：") + model);
    SetCaption(w.SerialLabel, QStringLiteral("系列号：") + w.SerialInput->text());
    const QString end =
        TextBetween(html, QStringLiteral("有限保修中的硬件维修和服务。<BR>预计到期日："),
                    QStringLiteral("<BR><A href="));
    SetCaption(w.WarrantyEndLabel, QStringLiteral("保修截止：") + end);
    w.ModelLabel->show();
    w.WarrantyEndLabel->show();
    w.SerialLabel->show();
    w.SetStatus(QStringLiteral("查询成功"));
    PlayCue(w, cue::kSuccess);
    w.BusyAnimation->hide();
    w.BusyLabel->hide();
    w.WatermarkLabel->show();
    StopWarranty(w);
    w.MonthTableButton->show();
    w.CopyButton->show();
    Navigate(w.WarrantyBrowser, w.config().WarrantyPageUrl());
  } else if (html.contains(QStringLiteral("系列号无效")) ||
             html.contains(QStringLiteral("有效的序列号"))) {
    StopWarranty(w);
    w.SetStatus(QStringLiteral("请正确输入"));
    PlayCue(w, cue::kEnterCorrectly);
    w.ResultPicture->hide();
    w.BusyLabel->hide();
    w.BusyAnimation->hide();
    w.WatermarkLabel->hide();
    w.ModelLabel->hide();
    w.WarrantyEndLabel->hide();
    w.SerialLabel->hide();
  }
  // Anything else: not a result page yet.
}

void OnWarrantyTimedOut(MainWindow& w) {
  if (!w.WarrantyFormTimer->isActive() && !w.WarrantyResultTimer->isActive()) return;
  SetTimerInterval(w.WarrantyFormTimer, 0);
  SetTimerInterval(w.WarrantyResultTimer, 0);
  w.BusyAnimation->hide();
  w.BusyLabel->hide();
  w.SetStatus(QStringLiteral("查询超时，请重试"));
  PlayCue(w, cue::kFailed);
}

}  // namespace quarvel
