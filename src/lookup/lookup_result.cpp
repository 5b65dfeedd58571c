// The end of a comprehensive query: the lookup site's page in WebBrowser1.
#include <QTimer>

#include "base/cues.h"
#include "base/logging.h"
#include "base/lookup_pages.h"
#include "base/lookup_paths.h"
#include "base/picture.h"
#include "base/safe_file.h"
#include "lookup/lookup_engine.h"
#include "lookup/visibility.h"

namespace quarvel {

// Fetches the handset picture and stores it in the data folder as JPEG: the
// bytes as they came, converted in place, read back into *shown. NoPicture,
// with the previous file left as it was, when no picture came; NotWritten,
// with what came in *shown, when the file could not be written or converted.
LookupEngine::Stored LookupEngine::StoreHandsetPicture(const QString& serial, QByteArray* shown,
                                                       QString* stored) {
  const QByteArray bytes = fetch_(HandsetPictureUrl(config_, serial), timings_.fetchTimeoutMs);
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
  *stored = path;
  return Stored::Yes;
}

void LookupEngine::OnLookupResultTick() {
  const auto page = lookupBrowser_.Attach();
  const PageRead text = page->Text();
  if (!text.readable) return;  // not readable yet: the next tick reads again
  LookupEnd end;
  end.path = LookupPath::Comprehensive;
  end.entry = view_.EntryText();

  switch (ClassifyLookupSitePage(text.text)) {
    case LookupSitePage::Empty:
      StopLookup();
      view_.SetStatus(QStringLiteral("请正确输入"));
      view_.PlayCue(cue::kEnterCorrectly);
      visibility::Apply(view_, visibility::kLookupFailed);
      end.kind = OutcomeKind::BadInput;
      End(end, lookupSince_);
      break;
    case LookupSitePage::Result: {
      StopLookup();
      end.entry = TrimTrailingSpaces(view_.EntryText());
      QByteArray picture;
      const Stored stored = StoreHandsetPicture(end.entry, &picture, &end.picture);
      if (stored == Stored::NoPicture) {
        view_.SetStatus(QStringLiteral("图片获取失败"));
        view_.PlayCue(cue::kFailed);
        visibility::Apply(view_, visibility::kLookupFailed);
        // The result page does not stay in the browser on this branch either.
        lookupBrowser_.Navigate(config_.portalHost);
        end.kind = OutcomeKind::PictureFailed;
        End(end, lookupSince_);
        return;
      }
      view_.SetResultPicture(picture);
      if (stored == Stored::Yes) {
        view_.SetStatus(QStringLiteral("查询成功"));
        view_.PlayCue(cue::kSuccess);
      } else {
        // The picture is shown, but the lookup is not told as a success.
        view_.SetStatus(QStringLiteral("图片保存失败"));
        view_.PlayCue(cue::kFailed);
      }
      visibility::Apply(view_, visibility::kLookupShown);
      lookupBrowser_.Navigate(config_.portalHost);
      end.kind = stored == Stored::Yes ? OutcomeKind::Found : OutcomeKind::PictureFailed;
      End(end, lookupSince_);
      break;
    }
    case LookupSitePage::NotFound:
      view_.SetStatus(QStringLiteral("抱歉，没有找到此系列号相关信息"));
      StopLookup();
      visibility::Apply(view_, visibility::kLookupFailed);
      view_.PlayCue(cue::kFailed);
      end.kind = OutcomeKind::NotFound;
      End(end, lookupSince_);
      break;
    case LookupSitePage::Other:
      break;  // still loading: the next tick looks again
  }
}

void LookupEngine::OnLookupTimedOut() { EndLookupWithoutResult(QString()); }

void LookupEngine::OnLookupPageLost(const QString& reason) { EndLookupWithoutResult(reason); }

void LookupEngine::EndLookupWithoutResult(const QString& reason) {
  if (!lookupResultTimer_->isActive()) return;
  StopLookup();
  visibility::Apply(view_, visibility::kBusyEnded);
  view_.SetStatus(QStringLiteral("查询超时，请重试"));
  view_.PlayCue(cue::kFailed);
  LookupEnd end;
  end.path = LookupPath::Comprehensive;
  end.entry = TrimTrailingSpaces(view_.EntryText());
  end.kind = OutcomeKind::TimedOut;
  end.reason = reason;
  End(end, lookupSince_);
}

}  // namespace quarvel
