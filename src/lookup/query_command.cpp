// The query command and the hidden test button.

#include "base/config/logging.h"
#include "base/files/picture.h"
#include "base/files/safe_file.h"
#include "lookup/lookup_engine.h"
#include "lookup/lookup_paths.h"
#include "lookup/lookup_site.h"

namespace quarvel {
namespace {

constexpr int kEnterKey = 13;

}  // namespace

void LookupEngine::RunQuery(const LookupQuery& query) {
  LookupView& view = *context_->view;
  view.Tell(Notice::Cleared);
  const std::optional<LookupPath> chosen = context_->entries->ChosenPath();
  if (context_->entries->EntryText().isEmpty()) {
    view.Tell(Notice::NothingEntered);
    // Ended like every other query, though no site was asked.
    LookupEnd end;
    end.path = chosen.value_or(LookupPath::Comprehensive);
    end.kind = OutcomeKind::BadInput;
    emit Ended(end);
    return;
  }
  if (LookupSite* site = chosen ? Site(*chosen) : nullptr) site->Start(query);
}

void LookupEngine::OnSerialKeyDown(int keyCode) {
  if (keyCode == kEnterKey) RunQuery();
}

void LookupEngine::OnImageTestClick() {
  const SiteContext& c = *context_;
  const QString url = SamplePictureUrl(c.config);
  c.view->SetResultPicture(c.fetch(url, c.timings.fetchTimeoutMs).body);
  // The second fetch goes to the file; a failed one leaves the previous file.
  const QByteArray bytes = c.fetch(url, c.timings.fetchTimeoutMs).body;
  if (bytes.isEmpty()) {
    qCWarning(lcFiles) << "the sample picture did not come; 01.jpg is left as it was";
    return;
  }
  const QString path = DataFilePath(kSamplePictureFile);
  if (path.isEmpty() || !ReplaceFile(path, bytes))
    qCWarning(lcFiles) << "the sample picture could not be stored";
}

}  // namespace quarvel
