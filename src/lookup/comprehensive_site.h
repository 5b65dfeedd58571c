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

  // Tick of 时钟1: polls the lookup-site page and ends the query.
  void OnTick();

 private:
  enum class Stored { Yes, NoPicture, NotWritten };
  Stored StoreHandsetPicture(const QString& serial, QByteArray* shown, QString* stored);

  QTimer* timer_;     // 时钟1
  QTimer* deadline_;  // LookupDeadline
  LookupQuery query_;
};

}  // namespace quarvel
