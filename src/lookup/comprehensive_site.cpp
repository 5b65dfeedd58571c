// The comprehensive query: the lookup site's page in WebBrowser1.
#include "lookup/comprehensive_site.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include "base/config/logging.h"
#include "base/files/picture.h"
#include "base/files/safe_file.h"
#include "base/gate/handler_gate.h"
#include "base/gate/timer_interval.h"
#include "lookup/lookup_pages.h"
#include "lookup/lookup_paths.h"
#include "lookup/visibility.h"

namespace quarvel {

ComprehensiveSite::ComprehensiveSite(const SiteContext& context, BrowserPort& browser,
                                     QObject* parent)
    : LookupSite(LookupPath::Comprehensive, EntryRule::TrailingSpacesRemoved, context, browser,
                 parent),
      timer_(new QTimer(this)),
      deadline_(MakeDeadline("LookupDeadline")) {
  timer_->setObjectName(QStringLiteral("时钟1"));
  ConnectTick(timer_, this, [this] { OnTick(); });
  // A fresh page goes where start-up sent this browser.
  browser_.SetHome(context_.config.portalHost);
}

void ComprehensiveSite::Start(const LookupQuery& query) {
  view_.Sound(Notice::Querying);
  // A query still pending on this path must not read the page being replaced.
  Stop();
  query_ = query;
  StartClock();
  browser_.Navigate(LookupPageUrl(context_.config, Entry()));
  if (context_.timings.pauseMs > 0) PauseHoldingHandlers(context_.timings.pauseMs);
  SetTimerInterval(timer_, context_.timings.lookupPollMs);
  deadline_->start(context_.timings.lookupTimeoutMs);
  visibility::Apply(view_, visibility::kComprehensiveBusy);
}

void ComprehensiveSite::Stop() {
  picturePending_ = 0;  // a picture on its way ends nothing any more
  SetTimerInterval(timer_, 0);
  deadline_->stop();
}

bool ComprehensiveSite::Running() const { return timer_->isActive(); }

// Fetches the handset picture and stores it as JPEG at path (the data
// folder's 验证码.jpg by default): the bytes as they came, converted in place,
// read back to be shown. NoPicture, with the previous file left as it was,
// when no picture came; NotWritten, with what came to be shown, when the file
// could not be written or converted. Touches nothing of the site: at a
// batch's pace it runs on a worker thread.
ComprehensiveSite::PictureWork ComprehensiveSite::StoreHandsetPicture(const Fetch& fetch,
                                                                      const QString& url,
                                                                      int timeoutMs, bool batchPace,
                                                                      const QString& path) {
  PictureWork work;
  const HttpReply reply = fetch(url, timeoutMs);
  if (reply.transient && batchPace) {
    work.stored = Stored::TryAgain;
    work.retryAfterMs = RetryAfterMs(reply);
    work.failure = reply.status
                       ? QStringLiteral("the picture site answered HTTP %1").arg(reply.status)
                       : QStringLiteral("the picture got no answer");
    return work;
  }
  const QByteArray& bytes = reply.body;
  if (DecodePicture(bytes).isNull()) return work;
  work.shown = bytes;
  work.stored = Stored::Yes;
  if (path.isNull()) return work;  // found, with no file to name
  if (path.isEmpty() || !ReplaceFile(path, bytes) || !ConvertImageFile(path, path, 75)) {
    qCWarning(lcLookup) << "the handset picture could not be stored";
    work.stored = Stored::NotWritten;
    return work;
  }
  const std::optional<QByteArray> back = ReadRegularFile(path);
  if (!back) {
    work.stored = Stored::NotWritten;
    return work;
  }
  work.shown = *back;
  work.file = path;
  return work;
}

void ComprehensiveSite::ShowResult(LookupEnd end, const PictureWork& work) {
  if (work.stored == Stored::TryAgain) {
    EndForRetry(work.failure, work.retryAfterMs);
    return;
  }
  if (work.stored == Stored::NoPicture) {
    view_.Tell(Notice::PictureNotFetched);
    view_.Sound(Notice::PictureNotFetched);
    visibility::Apply(view_, visibility::kLookupFailed);
    // The result page does not stay in the browser on this branch either.
    LeaveResultPage();
    end.kind = OutcomeKind::PictureFailed;
    End(end);
    return;
  }
  view_.SetResultPicture(work.shown);
  if (work.stored == Stored::Yes) {
    view_.Tell(Notice::Found);
    view_.Sound(Notice::Found);
  } else {
    // The picture is shown, but the lookup is not told as a success.
    view_.Tell(Notice::PictureNotSaved);
    view_.Sound(Notice::PictureNotSaved);
  }
  visibility::Apply(view_, visibility::kLookupShown);
  LeaveResultPage();
  end.picture = work.file;
  end.kind = work.stored == Stored::Yes ? OutcomeKind::Found : OutcomeKind::PictureFailed;
  End(end);
}

void ComprehensiveSite::LeaveResultPage() {
  // At a batch's pace the next entry's navigation leaves it, at once.
  if (!AtBatchPace()) browser_.Navigate(context_.config.portalHost);
}

void ComprehensiveSite::OnTick() {
  const Turn turn = BeginTurn();
  if (EndedOnLoadFailure()) return;
  const auto page = browser_.Attach();
  if (!StillCurrent(turn)) return;  // another query began while the page was found
  const PageRead text = page->Text();
  if (!text.readable) {  // not readable yet: the next tick reads again
    SawUndecidedPage(text, PageFormat::Text, kNoPageAtAll);
    return;
  }
  LookupEnd end;
  end.entry = Entry();

  switch (ClassifyLookupSitePage(text.text)) {
    case LookupSitePage::Empty:
      Stop();
      view_.Tell(Notice::EnterCorrectly);
      view_.Sound(Notice::EnterCorrectly);
      visibility::Apply(view_, visibility::kLookupFailed);
      end.kind = OutcomeKind::BadInput;
      End(end);
      break;
    case LookupSitePage::Result: {
      Stop();
      // Where the picture goes: a null path keeps none.
      const QString path = query_.keepNoPicture
                               ? QString()
                               : (query_.pictureFile.isEmpty() ? DataFilePath(kHandsetPictureFile)
                                                               : query_.pictureFile);
      const QString url = HandsetPictureUrl(context_.config, end.entry);
      const int timeoutMs = context_.timings.fetchTimeoutMs;
      if (!AtBatchPace()) {
        // The window waits for its picture, as it always has.
        ShowResult(end, StoreHandsetPicture(context_.fetch, url, timeoutMs, false,
                                            path.isNull() ? QStringLiteral("") : path));
        return;
      }
      // At a batch's pace the fetch, the writes and the conversion go on on
      // a worker thread, and the other engines' handlers run meanwhile; the
      // ending comes back as a handler of its own.
      picturePending_ = turn.query;
      QThreadPool::globalInstance()->start([self = QPointer<ComprehensiveSite>(this),
                                            fetch = context_.fetch, url, timeoutMs, path, end,
                                            query = turn.query] {
        PictureWork work = StoreHandsetPicture(fetch, url, timeoutMs, true, path);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, end, query, work = std::move(work)] {
              HandlerGate::Deliver(nullptr, [self, end, query, work] {
                if (!self || self->picturePending_ != query) return;  // stopped meanwhile
                self->picturePending_ = 0;
                self->ShowResult(end, work);
              });
            },
            Qt::QueuedConnection);
      });
      break;
    }
    case LookupSitePage::NotFound:
      view_.Tell(Notice::NotFound);
      Stop();
      visibility::Apply(view_, visibility::kLookupFailed);
      view_.Sound(Notice::NotFound);
      end.kind = OutcomeKind::NotFound;
      End(end);
      break;
    case LookupSitePage::Other:  // still loading: the next tick looks again
      SawUndecidedPage(text, PageFormat::Text, kNoResult);
      break;
  }
}

}  // namespace quarvel
