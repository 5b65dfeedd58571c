#include "lookup/lookup_site.h"

#include <QTimer>

#include "base/lookup_paths.h"

namespace quarvel {

LookupSite::LookupSite(LookupPath path, EntryRule rule, const SiteContext& context,
                       BrowserPort& browser, QObject* parent)
    : QObject(parent),
      context_(context),
      view_(*context.view),
      browser_(browser),
      entries_(*context.entries),
      path_(path),
      rule_(rule) {}

QString LookupSite::Entry() const {
  const QString typed = entries_.EntryText();
  return rule_ == EntryRule::TrailingSpacesRemoved ? TrimTrailingSpaces(typed) : typed;
}

void LookupSite::End(LookupEnd end) {
  end.path = path_;
  end.milliseconds = since_.isValid() ? since_.elapsed() : 0;
  emit Ended(end);
}

QTimer* LookupSite::MakeDeadline(const char* objectName) {
  auto* deadline = new QTimer(this);
  deadline->setObjectName(QString::fromUtf8(objectName));
  deadline->setSingleShot(true);
  return deadline;
}

}  // namespace quarvel
