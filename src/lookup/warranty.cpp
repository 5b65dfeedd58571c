// The official-site query: the warranty form in WebBrowser2, then its result.
#include <QTimer>

#include "base/cues.h"
#include "base/lookup_pages.h"
#include "base/timer_interval.h"
#include "lookup/lookup_engine.h"
#include "lookup/visibility.h"

namespace quarvel {

void LookupEngine::OnWarrantyFormTick() {
  const auto page = warrantyBrowser_.Attach();
  const PageRead html = page->Html();
  if (!HasWarrantyForm(html.text)) return;  // polls again later
  SetTimerInterval(warrantyFormTimer_, 0);
  const QString serial = view_.EntryText();  // exactly as typed
  page->FillTextInput(QStringLiteral("2"), serial);
  page->ClickElement(QStringLiteral("1"));
  SetTimerInterval(warrantyResultTimer_, timings_.resultPollMs);
}

void LookupEngine::OnWarrantyResultTick() {
  const auto page = warrantyBrowser_.Attach();
  const PageRead html = page->Html();
  if (!html.readable) return;  // not readable yet: the next tick reads again
  const WarrantyPage result = ParseWarrantyPage(html.text);
  LookupEnd end;
  end.path = LookupPath::Official;
  end.entry = view_.EntryText();

  switch (result.kind) {
    case WarrantyPage::Kind::Result:
      view_.SetCaption(LookupControl::ModelLabel, QStringLiteral("产品型号：") + result.model);
      view_.SetCaption(LookupControl::SerialLabel, QStringLiteral("系列号：") + end.entry);
      view_.SetCaption(LookupControl::WarrantyEndLabel,
                       QStringLiteral("保修截止：") + result.warrantyEnd);
      visibility::Apply(view_, visibility::kWarrantyLabels);
      view_.SetStatus(QStringLiteral("查询成功"));
      view_.PlayCue(cue::kSuccess);
      visibility::Apply(view_, visibility::kWarrantyBusyEnded);
      StopWarranty();
      visibility::Apply(view_, visibility::kWarrantyButtons);
      warrantyBrowser_.Navigate(config_.WarrantyPageUrl());
      end.kind = OutcomeKind::Found;
      end.model = result.model;
      end.serial = end.entry;
      end.warrantyEnd = result.warrantyEnd;
      End(end, warrantySince_);
      break;
    case WarrantyPage::Kind::Rejected:
      StopWarranty();
      view_.SetStatus(QStringLiteral("请正确输入"));
      view_.PlayCue(cue::kEnterCorrectly);
      visibility::Apply(view_, visibility::kWarrantyRejected);
      end.kind = OutcomeKind::Rejected;
      End(end, warrantySince_);
      break;
    case WarrantyPage::Kind::Other:
      break;  // not a result page yet
  }
}

void LookupEngine::OnWarrantyTimedOut() { EndWarrantyWithoutResult(QString()); }

void LookupEngine::OnWarrantyPageLost(const QString& reason) { EndWarrantyWithoutResult(reason); }

void LookupEngine::EndWarrantyWithoutResult(const QString& reason) {
  if (!warrantyFormTimer_->isActive() && !warrantyResultTimer_->isActive()) return;
  SetTimerInterval(warrantyFormTimer_, 0);
  SetTimerInterval(warrantyResultTimer_, 0);
  visibility::Apply(view_, visibility::kBusyEnded);
  view_.SetStatus(QStringLiteral("查询超时，请重试"));
  view_.PlayCue(cue::kFailed);
  LookupEnd end;
  end.path = LookupPath::Official;
  end.entry = view_.EntryText();
  end.kind = OutcomeKind::TimedOut;
  end.reason = reason;
  End(end, warrantySince_);
}

}  // namespace quarvel
