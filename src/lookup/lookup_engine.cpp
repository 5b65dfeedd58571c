#include "lookup/lookup_engine.h"

#include "lookup/comprehensive_site.h"
#include "lookup/official_site.h"

namespace quarvel {

LookupEngine::LookupEngine(Config config, LookupTimings timings, LookupView& view,
                           BrowserPort& lookupBrowser, BrowserPort& warrantyBrowser, Fetch fetch,
                           QObject* parent)
    : QObject(parent),
      context_(std::make_unique<SiteContext>(
          SiteContext{std::move(config), timings, &view, std::move(fetch)})) {
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
