// The official-site query: the warranty form in WebBrowser2, then its result.
#include "lookup/official_site.h"

#include <QTimer>

#include "base/gate/handler_gate.h"
#include "base/gate/timer_interval.h"
#include "lookup/lookup_pages.h"
#include "lookup/visibility.h"

namespace quarvel {
namespace {

// Why a page after the form was sent, neither a result nor a rejection, is no
// result: a changed result page still shows what stands around its values
// (the model's start marker, the line before the expiry date) without the
// "预计到期日" that makes a result. A page with "预计到期日" is a result even
// when a cut marker is missing, and never gets here.
const char* ResultPageFailure(const QString& html) {
  if (html.contains(QStringLiteral("id=productname>"))) return kResultWithoutDateMarker;
  if (html.contains(QStringLiteral("有限保修中的硬件维修和服务")))
    return kResultWithoutModelAndDateMarkers;
  return kNoResult;
}

}  // namespace

OfficialSite::OfficialSite(const SiteContext& context, BrowserPort& browser, QObject* parent)
    : LookupSite(LookupPath::Official, EntryRule::AsTyped, context, browser, parent),
      formTimer_(new QTimer(this)),
      resultTimer_(new QTimer(this)),
      deadline_(MakeDeadline("WarrantyDeadline")) {
  formTimer_->setObjectName(QStringLiteral("时钟3"));
  resultTimer_->setObjectName(QStringLiteral("时钟2"));
  ConnectTick(formTimer_, this, [this] { OnFormTick(); });
  ConnectTick(resultTimer_, this, [this] { OnResultTick(); });
  // A fresh page goes back to the warranty page, so that the path can start again.
  browser_.SetHome(context_.config.WarrantyPageUrl());
}

void OfficialSite::Start(const LookupQuery& /*query*/) {
  view_.Sound(Notice::Querying);
  view_.SetVisible(LookupControl::ScreenshotButton, false);
  // A query still pending on this path ends nothing more: its ticks stop.
  Stop();
  const int query = StartClock();
  // Every query starts from the form: after a rejection, a time-out or a
  // replaced page the browser may show anything else.
  if (!FormOnItsWay()) {
    formOnItsWay_ = true;
    browser_.Navigate(context_.config.WarrantyPageUrl());
  }
  if (!StillCurrent({query, false})) return;  // a query begun while the page was read
  SetTimerInterval(formTimer_, context_.timings.formPollMs);
  deadline_->start(context_.timings.warrantyTimeoutMs);
  visibility::Apply(view_, visibility::kOfficialBusy);
}

void OfficialSite::Stop() {
  SetTimerInterval(formTimer_, 0);
  SetTimerInterval(resultTimer_, 0);
  deadline_->stop();
}

bool OfficialSite::FormOnItsWay() {
  // Sent there by this site, with no click since and no failed load.
  if (formOnItsWay_ && browser_.Unreachable().isEmpty()) return true;
  const auto page = browser_.Attach();
  const PageRead html = page->Html();
  return html.readable && HasWarrantyForm(html.text);
}

bool OfficialSite::Running() const { return formTimer_->isActive() || resultTimer_->isActive(); }

void OfficialSite::OnPageLoaded() {
  if (formTimer_->isActive())
    OnFormTick();
  else if (resultTimer_->isActive())
    OnResultTick();
}

void OfficialSite::OnFormTick() {
  const Turn turn = BeginTurn();
  if (EndedOnLoadFailure()) return;
  const auto page = browser_.Attach();
  if (!StillCurrent(turn)) return;  // another query began while the page was found
  const PageRead html = page->Html();
  if (!HasWarrantyForm(html.text)) {  // polls again later
    SawUndecidedPage(html, PageFormat::Html, kNoSerialForm);
    return;
  }
  SetTimerInterval(formTimer_, 0);
  ForgetLastPage();  // the result page is what counts from here
  page->FillTextInput(QStringLiteral("2"), Entry());
  formOnItsWay_ = false;
  page->ClickElement(QStringLiteral("1"));
  SetTimerInterval(resultTimer_, context_.timings.resultPollMs);
}

void OfficialSite::OnResultTick() {
  const Turn turn = BeginTurn();
  if (EndedOnLoadFailure()) return;
  const auto page = browser_.Attach();
  if (!StillCurrent(turn)) return;  // another query began while the page was found
  const PageRead html = page->Html();
  if (!html.readable) {  // not readable yet: the next tick reads again
    SawUndecidedPage(html, PageFormat::Html, kNoPageAtAll);
    return;
  }
  const WarrantyPage result = ParseWarrantyPage(html.text);
  LookupEnd end;
  end.entry = Entry();

  switch (result.kind) {
    case WarrantyPage::Kind::Result:
      view_.SetCaption(LookupControl::ModelLabel, QStringLiteral("产品型号：") + result.model);
      view_.SetCaption(LookupControl::SerialLabel, QStringLiteral("系列号：") + end.entry);
      view_.SetCaption(LookupControl::WarrantyEndLabel,
                       QStringLiteral("保修截止：") + result.warrantyEnd);
      visibility::Apply(view_, visibility::kWarrantyLabels);
      view_.Tell(Notice::Found);
      view_.Sound(Notice::Found);
      visibility::Apply(view_, visibility::kWarrantyBusyEnded);
      SetTimerInterval(resultTimer_, 0);
      deadline_->stop();
      visibility::Apply(view_, visibility::kWarrantyButtons);
      browser_.Navigate(context_.config.WarrantyPageUrl());
      formOnItsWay_ = true;
      end.kind = OutcomeKind::Found;
      end.model = result.model;
      end.serial = end.entry;
      end.warrantyEnd = result.warrantyEnd;
      End(end);
      break;
    case WarrantyPage::Kind::Rejected:
      SetTimerInterval(resultTimer_, 0);
      deadline_->stop();
      view_.Tell(Notice::EnterCorrectly);
      view_.Sound(Notice::EnterCorrectly);
      visibility::Apply(view_, visibility::kWarrantyRejected);
      end.kind = OutcomeKind::Rejected;
      End(end);
      break;
    case WarrantyPage::Kind::Other:  // not a result page yet
      SawUndecidedPage(html, PageFormat::Html, ResultPageFailure(html.text));
      break;
  }
}

}  // namespace quarvel
