// The end of a comprehensive query: the lookup site's page in WebBrowser1.
#include <QFile>
#include <QSaveFile>
#include <QTimer>

#include "base/cues.h"
#include "base/lookup_pages.h"
#include "base/lookup_paths.h"
#include "base/picture.h"
#include "lookup/lookup_engine.h"
#include "lookup/visibility.h"

namespace quarvel {

// Fetches the handset picture into the data folder as JPEG; false, with the
// previous file left as it was, when no picture came.
bool LookupEngine::StoreHandsetPicture(const QString& serial, QByteArray* shown, QString* stored) {
  const QByteArray bytes = fetch_(HandsetPictureUrl(config_, serial));
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
  *stored = path;
  return true;
}

void LookupEngine::OnLookupResultTick() {
  const auto page = lookupBrowser_.Attach();
  const PageRead text = page->Text();
  LookupEnd end;
  end.path = LookupEnd::Path::Comprehensive;
  end.entry = view_.EntryText();

  switch (ClassifyLookupSitePage(text.text)) {
    case LookupSitePage::Empty:
      StopLookup();
      view_.SetStatus(QStringLiteral("请正确输入"));
      view_.PlayCue(cue::kEnterCorrectly);
      visibility::Apply(view_, visibility::kLookupFailed);
      end.outcome = LookupEnd::Outcome::BadInput;
      End(end, lookupSince_);
      break;
    case LookupSitePage::Result: {
      StopLookup();
      end.entry = TrimTrailingSpaces(view_.EntryText());
      QByteArray picture;
      if (!StoreHandsetPicture(end.entry, &picture, &end.picture)) {
        view_.SetStatus(QStringLiteral("图片获取失败"));
        view_.PlayCue(cue::kFailed);
        visibility::Apply(view_, visibility::kLookupFailed);
        end.outcome = LookupEnd::Outcome::PictureFailed;
        End(end, lookupSince_);
        return;
      }
      view_.SetResultPicture(picture);
      view_.SetStatus(QStringLiteral("查询成功"));
      view_.PlayCue(cue::kSuccess);
      visibility::Apply(view_, visibility::kLookupShown);
      lookupBrowser_.Navigate(config_.portalHost);
      end.outcome = LookupEnd::Outcome::Found;
      End(end, lookupSince_);
      break;
    }
    case LookupSitePage::NotFound:
      view_.SetStatus(QStringLiteral("抱歉，没有找到此系列号相关信息"));
      StopLookup();
      visibility::Apply(view_, visibility::kLookupFailed);
      view_.PlayCue(cue::kFailed);
      end.outcome = LookupEnd::Outcome::NotFound;
      End(end, lookupSince_);
      break;
    case LookupSitePage::Other:
      break;  // still loading: the next tick looks again
  }
}

void LookupEngine::OnLookupTimedOut() {
  if (!lookupResultTimer_->isActive()) return;
  StopLookup();
  visibility::Apply(view_, visibility::kBusyEnded);
  view_.SetStatus(QStringLiteral("查询超时，请重试"));
  view_.PlayCue(cue::kFailed);
  LookupEnd end;
  end.path = LookupEnd::Path::Comprehensive;
  end.entry = TrimTrailingSpaces(view_.EntryText());
  end.outcome = LookupEnd::Outcome::TimedOut;
  End(end, lookupSince_);
}

}  // namespace quarvel
