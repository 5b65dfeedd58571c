#pragma once

#include <QPointer>
#include <QWebEngineView>

#include "lookup/lookup_ports.h"

namespace quarvel {

// A hidden browser as the lookup engine sees it: each Attach() is a fresh
// page helper bound to the document the browser shows.
//
// A query reads only the page it brought: after Navigate, the document it
// left is not read (nor filled or clicked), and after a click that starts a
// load, neither is the document that was clicked. A document still being
// parsed is not readable. A form answered in place by the page's own script
// (no load) is read as it stands.
class WebBrowserPort : public BrowserPort {
 public:
  explicit WebBrowserPort(QWebEngineView* view);
  ~WebBrowserPort() override;
  WebBrowserPort(const WebBrowserPort&) = delete;
  WebBrowserPort& operator=(const WebBrowserPort&) = delete;
  std::unique_ptr<PageVisit> Attach() override;
  void Navigate(const QString& url) override;
  void SetHome(const QString& url) override;
  void OnPageReplaced(Replaced handler) override;
  int LoadFailure() override;
  QString Unreachable() override;
  void OnLoaded(Loaded handler, bool failuresOnly = false) override;

  // What the visits share: the documents set aside.
  struct Documents {
    // The document being left (its token), until another is seen.
    QString leaving;
    // The document a click went to, set aside as soon as a load starts.
    QString clicked;
  };

 private:
  QPointer<QWebEngineView> view_;
  QMetaObject::Connection replaced_;
  QMetaObject::Connection loaded_;
  QMetaObject::Connection started_;
  Documents documents_;
};

}  // namespace quarvel
