#include "lookup/lookup_builder.h"

#include <QWebEngineView>

#include "base/net/http_fetch.h"
#include "webpage/browser.h"

namespace quarvel {
namespace {

QWebEngineView* MakeBrowser(QWidget* parent, const char* name, int width, int height) {
  QWebEngineView* view = CreateBrowser(parent, QString::fromUtf8(name));
  view->resize(width, height);
  return view;
}

}  // namespace

Fetch DefaultFetch() {
  return [](const QString& url, int timeoutMs) {
    FetchLimits limits;
    limits.total = std::chrono::milliseconds(timeoutMs);
    return HttpGet(url, limits);
  };
}

LookupRig::LookupRig(QWidget* browserParent, Config config, LookupTimings timings,
                     EntrySource& entries, LookupView* view, Fetch fetch, QObject* engineParent)
    : lookupBrowser_(MakeBrowser(browserParent, "WebBrowser1", 100, 100)),
      warrantyBrowser_(MakeBrowser(browserParent, "WebBrowser2", 432, 416)),
      lookupPort_(lookupBrowser_),
      warrantyPort_(warrantyBrowser_),
      engine_(new LookupEngine(std::move(config), timings, entries, view, lookupPort_,
                               warrantyPort_, std::move(fetch), engineParent)) {}

LookupRig::~LookupRig() { delete engine_.data(); }

void LookupRig::LoadStartPage(LookupPath path) {
  if (path == LookupPath::Comprehensive && !lookupLoaded_) {
    lookupPort_.Navigate(engine_->config().portalHost);
    lookupLoaded_ = true;
  } else if (path == LookupPath::Official && !warrantyLoaded_) {
    warrantyPort_.Navigate(engine_->config().WarrantyPageUrl());
    warrantyLoaded_ = true;
  }
}

}  // namespace quarvel
