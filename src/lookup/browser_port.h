#pragma once

#include <QPointer>
#include <QWebEngineView>

#include "lookup/lookup_ports.h"

namespace quarvel {

// A hidden browser as the lookup engine sees it: each Attach() is a fresh
// page helper bound to the document the browser shows.
class WebBrowserPort : public BrowserPort {
 public:
  // With afterNavigation, reads go as a batch wants them (LookupTimings::
  // Batch): after Navigate, the document it left is not read (nor filled or
  // clicked), and a document still being parsed is not readable.
  explicit WebBrowserPort(QWebEngineView* view, bool afterNavigation = false)
      : view_(view), afterNavigation_(afterNavigation) {}
  ~WebBrowserPort() override;
  WebBrowserPort(const WebBrowserPort&) = delete;
  WebBrowserPort& operator=(const WebBrowserPort&) = delete;
  std::unique_ptr<PageVisit> Attach() override;
  void Navigate(const QString& url) override;
  void SetHome(const QString& url) override;
  void OnPageReplaced(Replaced handler) override;
  int LoadFailure() override;
  void OnLoaded(Loaded handler) override;

 private:
  QPointer<QWebEngineView> view_;
  QMetaObject::Connection replaced_;
  QMetaObject::Connection loaded_;
  const bool afterNavigation_;
  // The document the last Navigate left (its token), until another is seen.
  QString leaving_;
};

}  // namespace quarvel
