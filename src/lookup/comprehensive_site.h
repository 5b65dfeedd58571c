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
  // reason (failure and retryAfterMs say which).
  enum class Stored { Yes, NoPicture, NotWritten, TryAgain };
  struct PictureWork {
    Stored stored = Stored::NoPicture;
    QByteArray shown;  // what the picture box shows
    QString file;      // the stored file, when one was written
    QString failure;
    int retryAfterMs = 0;
  };
  static PictureWork StoreHandsetPicture(const Fetch& fetch, const QString& url, int timeoutMs,
                                         bool batchPace, const QString& path);
  // The result's ending, once its picture is stored (or is not).
  void ShowResult(LookupEnd end, const PictureWork& work);
  // Back to the portal, as the result page is not kept.
  void LeaveResultPage();

  QTimer* timer_;     // 时钟1
  QTimer* deadline_;  // LookupDeadline
  LookupQuery query_;
  int picturePending_ = 0;  // the query whose picture is on its way; 0 for none
};

}  // namespace quarvel
