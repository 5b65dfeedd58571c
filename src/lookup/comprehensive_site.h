#pragma once

#include "lookup/lookup_site.h"

namespace quarvel {

// The comprehensive query ("综合查询"): the lookup site's page for the entry
// in WebBrowser1, polled by 时钟1 until it shows a result (whose picture is
// fetched and stored), says nothing was found, or is empty. The entry loses
// its trailing spaces.
class ComprehensiveSite : public LookupSite {
  Q_OBJECT
 public:
  ComprehensiveSite(const SiteContext& context, BrowserPort& browser, QObject* parent);

  void Start(const LookupQuery& query) override;
  void Stop() override;
  bool Running() const override;
  void OnPageLoaded() override { OnTick(); }

  // Tick of 时钟1: polls the lookup-site page and ends the query.
  void OnTick();

 private:
  // TryAgain: at a batch's pace, the picture did not come for a passing
  // reason (pictureFailure_, retryAfterMs_ say which).
  enum class Stored { Yes, NoPicture, NotWritten, TryAgain };
  // Back to the portal, as the result page is not kept.
  void LeaveResultPage();
  Stored StoreHandsetPicture(const QString& serial, QByteArray* shown, QString* stored);

  QTimer* timer_;     // 时钟1
  QTimer* deadline_;  // LookupDeadline
  QString pictureFailure_;
  int retryAfterMs_ = 0;
  LookupQuery query_;
};

}  // namespace quarvel
