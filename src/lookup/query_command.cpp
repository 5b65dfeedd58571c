#include "lookup/query_command.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "app/browser.h"
#include "app/controls.h"
#include "app/handler_gate.h"
#include "app/http_fetch.h"
#include "app/log.h"
#include "app/main_window.h"
#include "app/picture.h"
#include "app/safe_file.h"
#include "lookup/lookup_paths.h"
#include "system/voice.h"

namespace quarvel {
namespace {

constexpr int kEnterKey = 13;

void RunComprehensiveQuery(MainWindow& w) {
  PlayCue(w, cue::kQuerying);
  // A query still pending on this path must not read the page being replaced.
  SetTimerInterval(w.LookupResultTimer, 0);
  w.LookupDeadline->stop();
  Navigate(w.LookupBrowser, LookupPageUrl(w.config(), TrimTrailingSpaces(w.SerialInput->text())));
  PauseHoldingHandlers(w.timings.pauseMs);
  SetTimerInterval(w.LookupResultTimer, w.timings.lookupPollMs);
  w.LookupDeadline->start(w.timings.lookupTimeoutMs);
  w.ResultPicture->hide();
  w.BusyAnimation->show();
  w.BusyLabel->show();
  w.ModelLabel->hide();
  w.WarrantyEndLabel->hide();
  w.SerialLabel->hide();
  w.MonthTableButton->hide();
  w.CopyButton->hide();
}

void RunOfficialQuery(MainWindow& w) {
  PlayCue(w, cue::kQuerying);
  w.ScreenshotButton->hide();
  SetTimerInterval(w.WarrantyFormTimer, w.timings.formPollMs);
  w.WarrantyDeadline->start(w.timings.warrantyTimeoutMs);
  w.BusyAnimation->show();
  w.BusyLabel->show();
  w.ResultPicture->hide();
  w.MonthTableButton->hide();
  w.CopyButton->hide();
  w.ModelLabel->hide();
  w.WarrantyEndLabel->hide();
  w.SerialLabel->hide();
}

}  // namespace

void RunQuery(MainWindow& w) {
  w.SetStatus(QString());
  if (w.SerialInput->text().isEmpty()) {
    w.SetStatus(QStringLiteral("什么都不输入 查个PP啊"));
    return;
  }
  if (w.ComprehensiveQueryRadio->isChecked()) {
    RunComprehensiveQuery(w);
  } else if (w.OfficialQueryRadio->isChecked()) {
    RunOfficialQuery(w);
  }
}

void OnSerialKeyDown(MainWindow& w, int keyCode) {
  if (keyCode == kEnterKey) RunQuery(w);
}

void OnImageTestClick(MainWindow& w) {
  const QString url = SamplePictureUrl(w.config());
  FetchLimits limits;
  limits.total = std::chrono::milliseconds(w.timings.fetchTimeoutMs);
  SetPicture(w.ResultPicture, HttpGetBytes(url, limits));
  // The second fetch goes to the file; a failed one leaves the previous file.
  const QByteArray bytes = HttpGetBytes(url, limits);
  if (bytes.isEmpty()) {
    qCWarning(lcFiles) << "the sample picture did not come; 01.jpg is left as it was";
    return;
  }
  const QString path = DataFilePath(kSamplePictureFile);
  if (path.isEmpty() || !ReplaceFile(path, bytes))
    qCWarning(lcFiles) << "the sample picture could not be stored";
}

}  // namespace quarvel
