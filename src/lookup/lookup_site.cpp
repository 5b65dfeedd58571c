#include "lookup/lookup_site.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

#include "base/config/logging.h"
#include "base/gate/handler_gate.h"
#include "lookup/lookup_paths.h"
#include "lookup/visibility.h"

namespace quarvel {

LookupSite::LookupSite(LookupPath path, EntryRule rule, const SiteContext& context,
                       BrowserPort& browser, QObject* parent)
    : QObject(parent),
      context_(context),
      view_(*context.view),
      browser_(browser),
      entries_(*context.entries),
      path_(path),
      rule_(rule) {
  // The browser may outlive the site, or go first.
  const QPointer<LookupSite> self(this);
  browser_.OnPageReplaced([self](const QString& reason) {
    if (self) self->OnPageLost(reason);
  });
  // At a batch's pace each load moves the query on; the window's periods
  // stay, and a load there only matters when it failed.
  browser_.OnLoaded(
      [self] {
        if (!self || !self->Running() || self->EndedOnLoadFailure()) return;
        if (self->AtBatchPace()) self->OnPageLoaded();
      },
      !AtBatchPace());
}

QString LookupSite::Entry() const {
  const QString typed = entries_.EntryText();
  return rule_ == EntryRule::TrailingSpacesRemoved ? TrimTrailingSpaces(typed) : typed;
}

void LookupSite::End(LookupEnd end) {
  end.path = path_;
  if (end.entry.isEmpty()) end.entry = startEntry_;
  end.milliseconds = since_.isValid() ? since_.elapsed() : 0;
  emit Ended(end);
}

int LookupSite::StartClock() {
  since_.start();
  ForgetLastPage();
  startEntry_ = Entry();
  return ++query_;
}

void LookupSite::ForgetLastPage() {
  lastFailure_ = kNoPageAtAll;
  lastPage_.clear();
}

void LookupSite::SawUndecidedPage(const PageRead& read, PageFormat format, const char* failure) {
  const bool blank = !read.readable || read.text.isEmpty();
  lastFailure_ = blank ? kNoPageAtAll : failure;
  // Shared, not copied, unless it has to be cut.
  lastPage_ = blank ? QString() : read.text.left(kKeptPageBytes / 2);
  lastFormat_ = format;
}

QString LookupSite::DeadlineReason() {
  const QString reason = QString::fromUtf8(lastFailure_);
  const QString site = PathName(path_);
  if (lastPage_.isEmpty()) {
    qCInfo(lcLookup).noquote() << site << "got no result in its time:" << reason;
    return reason;
  }
  const QString kept = KeepDiagnosticPage(site, lastPage_, lastFormat_);
  qCInfo(lcLookup).noquote() << site << "got no result in its time:" << reason
                             << (kept.isEmpty() ? QStringLiteral("(its last page was not kept)")
                                                : QStringLiteral("(last page: %1)").arg(kept));
  return reason;
}

QTimer* LookupSite::MakeDeadline(const char* objectName) {
  auto* deadline = new QTimer(this);
  deadline->setObjectName(QString::fromUtf8(objectName));
  deadline->setSingleShot(true);
  // A deadline's tick held while its query ended must not end the next
  // one: it carries the query it fell in.
  QObject::connect(deadline, &QTimer::timeout, this, [this, deadline] {
    HandlerGate::Deliver(deadline, [self = QPointer<LookupSite>(this), query = query_] {
      if (self && self->query_ == query) self->OnTimedOut();
    });
  });
  return deadline;
}

void LookupSite::OnTimedOut() {
  if (Running()) EndWithoutResult(DeadlineReason());
}

void LookupSite::OnPageLost(const QString& reason) { EndWithoutResult(reason); }

bool LookupSite::EndedOnLoadFailure() {
  if (!Running()) return false;
  const QString unreachable = browser_.Unreachable();
  if (!AtBatchPace()) {
    if (unreachable.isEmpty()) return false;
    qCInfo(lcLookup).noquote() << PathName(path_) << "cannot reach its site:" << unreachable;
    EndTimedOut(unreachable, -1, Notice::Unreachable);
    return true;
  }
  const int failure = browser_.LoadFailure();
  if (failure == BrowserPort::kNoAnswer) {
    EndForRetry(unreachable.isEmpty() ? QStringLiteral("the page got no answer") : unreachable, 0);
    return true;
  }
  if (failure == 429 || failure == 503) {
    EndForRetry(QStringLiteral("the site answered HTTP %1").arg(failure), 0);
    return true;
  }
  if (!unreachable.isEmpty()) {  // a refused certificate: no try changes that
    EndWithoutResult(unreachable);
    return true;
  }
  return false;
}

void LookupSite::EndForRetry(const QString& reason, int retryAfterMs) {
  EndTimedOut(reason, std::max(retryAfterMs, 0));
}

void LookupSite::EndWithoutResult(const QString& reason) {
  if (Running()) EndTimedOut(reason, -1);
}

void LookupSite::EndTimedOut(const QString& reason, int retryAfterMs, Notice notice) {
  Stop();
  visibility::Apply(view_, visibility::kBusyEnded);
  view_.Tell(notice);
  view_.Sound(notice);
  LookupEnd end;
  end.entry = Entry();
  end.kind = OutcomeKind::TimedOut;
  end.reason = reason;
  end.retryAfterMs = retryAfterMs;
  End(end);
}

}  // namespace quarvel
