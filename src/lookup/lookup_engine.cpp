#include "lookup/lookup_engine.h"

#include "lookup/comprehensive_site.h"
#include "lookup/official_site.h"

namespace quarvel {

namespace {

// Shows nothing: a batch's lookups are told by their endings alone.
class NoView : public LookupView {
 public:
  void Tell(Notice) override {}
  void Sound(Notice) override {}
  void SetVisible(LookupControl, bool) override {}
  void SetCaption(LookupControl, const QString&) override {}
  void SetResultPicture(const QByteArray&) override {}
};

}  // namespace

LookupEngine::LookupEngine(Config config, LookupTimings timings, EntrySource& entries,
                           LookupView* view, BrowserPort& lookupBrowser,
                           BrowserPort& warrantyBrowser, Fetch fetch, QObject* parent)
    : QObject(parent),
      noView_(view ? nullptr : std::make_unique<NoView>()),
      context_(std::make_unique<SiteContext>(SiteContext{
          std::move(config), timings, &entries, view ? view : noView_.get(), std::move(fetch)})) {
  // The sites, in the order of their radio buttons.
  AddSite(new ComprehensiveSite(*context_, lookupBrowser, this));
  AddSite(new OfficialSite(*context_, warrantyBrowser, this));
}

LookupEngine::~LookupEngine() {
  // The sites go first: they refer to the context.
  for (LookupSite* site : sites_) delete site;
}

void LookupEngine::AddSite(LookupSite* site) {
  site->setParent(this);
  sites_.push_back(site);
  connect(site, &LookupSite::Ended, this, &LookupEngine::Ended);
}

LookupSite* LookupEngine::Site(LookupPath path) const {
  for (LookupSite* site : sites_)
    if (site->path() == path) return site;
  return nullptr;
}

const Config& LookupEngine::config() const { return context_->config; }

const LookupTimings& LookupEngine::timings() const { return context_->timings; }

void LookupEngine::StopAll() {
  for (LookupSite* site : sites_) site->Stop();
}

}  // namespace quarvel
