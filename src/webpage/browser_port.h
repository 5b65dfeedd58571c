#pragma once

#include <QPointer>

#include "base/lookup_ports.h"

class QWebEngineView;

namespace quarvel {

// A hidden browser as the lookup engine sees it: each Attach() is a fresh
// page helper bound to the document the browser shows.
class WebBrowserPort : public BrowserPort {
 public:
  explicit WebBrowserPort(QWebEngineView* view) : view_(view) {}
  std::unique_ptr<PageVisit> Attach() override;
  void Navigate(const QString& url) override;

 private:
  QPointer<QWebEngineView> view_;
};

}  // namespace quarvel
