#pragma once

#include "lookup/lookup_site.h"

namespace quarvel {

// The official-site query ("官网查询"): the maker's warranty page in
// WebBrowser2, loaded at start-up. 时钟3 waits for its serial form, fills in
// the entry exactly as typed and submits it; 时钟2 reads the result page.
class OfficialSite : public LookupSite {
  Q_OBJECT
 public:
  OfficialSite(const SiteContext& context, BrowserPort& browser, QObject* parent);

  void Start(const LookupQuery& query) override;
  void Stop() override;
  bool Running() const override;
  void OnPageLoaded() override;

  // Tick of 时钟3: waits for the warranty form, fills in the serial, submits it.
  void OnFormTick();
  // Tick of 时钟2: reads the warranty result page and ends the query.
  void OnResultTick();

 private:
  // The browser shows the form, or is loading it for this site.
  bool FormOnItsWay();

  QTimer* formTimer_;    // 时钟3
  QTimer* resultTimer_;  // 时钟2
  QTimer* deadline_;     // WarrantyDeadline
  bool formOnItsWay_ = false;
};

}  // namespace quarvel
