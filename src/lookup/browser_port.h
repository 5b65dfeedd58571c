#pragma once

#include <QPointer>
#include <QWebEngineView>

#include "lookup/lookup_ports.h"

namespace quarvel {

// A hidden browser as the lookup engine sees it: each Attach() is a fresh
// page helper bound to the document the browser shows.
class WebBrowserPort : public BrowserPort {
 public:
  explicit WebBrowserPort(QWebEngineView* view) : view_(view) {}
  ~WebBrowserPort() override;
  WebBrowserPort(const WebBrowserPort&) = delete;
  WebBrowserPort& operator=(const WebBrowserPort&) = delete;
  std::unique_ptr<PageVisit> Attach() override;
  void Navigate(const QString& url) override;
  void SetHome(const QString& url) override;
  void OnPageReplaced(Replaced handler) override;

 private:
  QPointer<QWebEngineView> view_;
  QMetaObject::Connection replaced_;
};

}  // namespace quarvel
