// The comprehensive query: the lookup site's page in WebBrowser1.
#include "lookup/comprehensive_site.h"

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
  SetTimerInterval(timer_, 0);
  deadline_->stop();
}

bool ComprehensiveSite::Running() const { return timer_->isActive(); }

// Fetches the handset picture and stores it as JPEG where the query says (the
// data folder's 验证码.jpg by default): the bytes as they came, converted in
// place, read back into *shown. NoPicture, with the previous file left as it
// was, when no picture came; NotWritten, with what came in *shown, when the
// file could not be written or converted.
ComprehensiveSite::Stored ComprehensiveSite::StoreHandsetPicture(const QString& serial,
                                                                 QByteArray* shown,
                                                                 QString* stored) {
  const HttpReply reply =
      context_.fetch(HandsetPictureUrl(context_.config, serial), context_.timings.fetchTimeoutMs);
  if (reply.transient && AtBatchPace()) {
    retryAfterMs_ = RetryAfterMs(reply);
    pictureFailure_ = reply.status
                          ? QStringLiteral("the picture site answered HTTP %1").arg(reply.status)
                          : QStringLiteral("the picture got no answer");
    return Stored::TryAgain;
  }
  const QByteArray& bytes = reply.body;
  if (DecodePicture(bytes).isNull()) return Stored::NoPicture;
  *shown = bytes;
  if (query_.keepNoPicture) return Stored::Yes;  // found, with no file to name
  const QString path =
      query_.pictureFile.isEmpty() ? DataFilePath(kHandsetPictureFile) : query_.pictureFile;
  if (path.isEmpty() || !ReplaceFile(path, bytes) || !ConvertImageFile(path, path, 75)) {
    qCWarning(lcLookup) << "the handset picture could not be stored";
    return Stored::NotWritten;
  }
  const std::optional<QByteArray> back = ReadRegularFile(path);
  if (!back) return Stored::NotWritten;
  *shown = *back;
  *stored = path;
  return Stored::Yes;
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
      QByteArray picture;
      const Stored stored = StoreHandsetPicture(end.entry, &picture, &end.picture);
      if (stored == Stored::TryAgain) {
        EndForRetry(pictureFailure_, retryAfterMs_);
        return;
      }
      if (stored == Stored::NoPicture) {
        view_.Tell(Notice::PictureNotFetched);
        view_.Sound(Notice::PictureNotFetched);
        visibility::Apply(view_, visibility::kLookupFailed);
        // The result page does not stay in the browser on this branch either.
        LeaveResultPage();
        end.kind = OutcomeKind::PictureFailed;
        End(end);
        return;
      }
      view_.SetResultPicture(picture);
      if (stored == Stored::Yes) {
        view_.Tell(Notice::Found);
        view_.Sound(Notice::Found);
      } else {
        // The picture is shown, but the lookup is not told as a success.
        view_.Tell(Notice::PictureNotSaved);
        view_.Sound(Notice::PictureNotSaved);
      }
      visibility::Apply(view_, visibility::kLookupShown);
      LeaveResultPage();
      end.kind = stored == Stored::Yes ? OutcomeKind::Found : OutcomeKind::PictureFailed;
      End(end);
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
