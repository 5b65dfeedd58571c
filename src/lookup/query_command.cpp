// The query command and the hidden test button.
#include <QTimer>

#include "base/cues.h"
#include "base/handler_gate.h"
#include "base/logging.h"
#include "base/lookup_paths.h"
#include "base/picture.h"
#include "base/safe_file.h"
#include "base/timer_interval.h"
#include "lookup/lookup_engine.h"
#include "lookup/visibility.h"

namespace quarvel {
namespace {

constexpr int kEnterKey = 13;

}  // namespace

void LookupEngine::RunQuery() {
  view_.SetStatus(QString());
  if (view_.EntryText().isEmpty()) {
    view_.SetStatus(QStringLiteral("什么都不输入 查个PP啊"));
    return;
  }
  if (view_.ComprehensiveChosen()) {
    RunComprehensiveQuery();
  } else if (view_.OfficialChosen()) {
    RunOfficialQuery();
  }
}

void LookupEngine::RunComprehensiveQuery() {
  view_.PlayCue(cue::kQuerying);
  // A query still pending on this path must not read the page being replaced.
  StopLookup();
  lookupSince_.start();
  lookupBrowser_.Navigate(LookupPageUrl(config_, TrimTrailingSpaces(view_.EntryText())));
  PauseHoldingHandlers(timings_.pauseMs);
  SetTimerInterval(lookupResultTimer_, timings_.lookupPollMs);
  lookupDeadline_->start(timings_.lookupTimeoutMs);
  visibility::Apply(view_, visibility::kComprehensiveBusy);
}

void LookupEngine::RunOfficialQuery() {
  view_.PlayCue(cue::kQuerying);
  view_.SetVisible(LookupControl::ScreenshotButton, false);
  warrantySince_.start();
  SetTimerInterval(warrantyFormTimer_, timings_.formPollMs);
  warrantyDeadline_->start(timings_.warrantyTimeoutMs);
  visibility::Apply(view_, visibility::kOfficialBusy);
}

void LookupEngine::OnSerialKeyDown(int keyCode) {
  if (keyCode == kEnterKey) RunQuery();
}

void LookupEngine::OnImageTestClick() {
  const QString url = SamplePictureUrl(config_);
  view_.SetResultPicture(fetch_(url, timings_.fetchTimeoutMs));
  // The second fetch goes to the file; a failed one leaves the previous file.
  const QByteArray bytes = fetch_(url, timings_.fetchTimeoutMs);
  if (bytes.isEmpty()) {
    qCWarning(lcFiles) << "the sample picture did not come; 01.jpg is left as it was";
    return;
  }
  const QString path = DataFilePath(kSamplePictureFile);
  if (path.isEmpty() || !ReplaceFile(path, bytes))
    qCWarning(lcFiles) << "the sample picture could not be stored";
}

void LookupEngine::StopLookup() {
  SetTimerInterval(lookupResultTimer_, 0);
  lookupDeadline_->stop();
}

void LookupEngine::StopAll() {
  StopLookup();
  SetTimerInterval(warrantyFormTimer_, 0);
  StopWarranty();
}

void LookupEngine::StopWarranty() {
  SetTimerInterval(warrantyResultTimer_, 0);
  warrantyDeadline_->stop();
}

}  // namespace quarvel
