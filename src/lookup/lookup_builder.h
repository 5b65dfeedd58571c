#pragma once

#include <QPointer>
#include <QWebEngineView>

#include <memory>

#include "lookup/browser_port.h"
#include "lookup/lookup_engine.h"

class QWidget;

namespace quarvel {

// The picture fetch of the program: a GET within the time given.
Fetch DefaultFetch();

// One lookup engine with everything it runs on, made alike for the window and
// for batches: the two hidden browsers (WebBrowser1 for the lookup site,
// WebBrowser2 for the warranty page, at the layout's sizes) under
// browserParent, their ports, the sites and the engine.
class LookupRig {
 public:
  // The engine is a child of engineParent when one is given (its timers are
  // then found among that object's children).
  LookupRig(QWidget* browserParent, Config config, LookupTimings timings, EntrySource& entries,
            LookupView* view, Fetch fetch = DefaultFetch(), QObject* engineParent = nullptr);
  ~LookupRig();
  LookupRig(const LookupRig&) = delete;
  LookupRig& operator=(const LookupRig&) = delete;

  QWebEngineView* lookupBrowser() const { return lookupBrowser_; }
  QWebEngineView* warrantyBrowser() const { return warrantyBrowser_; }
  LookupEngine& engine() const { return *engine_; }

  // Loads the page the site of path starts from, once: the portal in the
  // lookup browser, the warranty page (which the official path relies on)
  // in the other.
  void LoadStartPage(LookupPath path);

 private:
  QPointer<QWebEngineView> lookupBrowser_, warrantyBrowser_;
  WebBrowserPort lookupPort_, warrantyPort_;
  QPointer<LookupEngine> engine_;
  bool lookupLoaded_ = false, warrantyLoaded_ = false;
};

}  // namespace quarvel
