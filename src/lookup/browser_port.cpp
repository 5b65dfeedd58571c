#include "lookup/browser_port.h"

#include <QWebEngineView>

#include "base/gate/handler_gate.h"
#include "webpage/browser.h"
#include "webpage/page_keeper.h"
#include "webpage/web_page_helper.h"

namespace quarvel {
namespace {

PageRead Read(const std::optional<QString>& read) {
  return read ? PageRead{true, *read} : PageRead{false, QString()};
}

class HelperVisit : public PageVisit {
 public:
  HelperVisit(QWebEngineView* view, WebBrowserPort::Documents* documents) : documents_(documents) {
    // A page about to be replaced (its renderer died or hung) is not read:
    // what it gives is no page's text, and its lookup ends with the reason.
    const PageKeeper* keeper = PageKeeper::Of(view);
    lost_ = keeper && keeper->ReplacementPending();
    if (view && !lost_) helper_.AttachToBrowserWindow(GetControlWindowHandle(view));
    helper_.ReadParsedDocumentsOnly();
    if (documents->leaving.isEmpty() || lost_) return;
    const QString token = helper_.DocumentToken();
    if (token.isEmpty() || token == documents->leaving)
      lost_ = true;  // the old document, or none yet: the next visit looks again
    else
      documents->leaving.clear();
  }
  PageRead Text() override { return lost_ ? PageRead{} : Read(helper_.TryGetPageText()); }
  PageRead Html() override { return lost_ ? PageRead{} : Read(helper_.TryGetPageHtml()); }
  bool FillTextInput(const QString& identifier, const QString& value) override {
    return !lost_ && helper_.FillTextInput(identifier, value);
  }
  bool ClickElement(const QString& identifier) override {
    if (lost_) return false;
    // The load a click starts may begin while the click is still under way.
    documents_->clicked = helper_.DocumentToken();
    const bool clicked = helper_.ClickElement(identifier);
    if (!clicked) documents_->clicked.clear();
    return clicked;
  }

 private:
  WebPageHelper helper_;
  WebBrowserPort::Documents* documents_;
  bool lost_ = false;
};

}  // namespace

WebBrowserPort::WebBrowserPort(QWebEngineView* view) : view_(view) {
  if (!view_) return;
  // A load that starts after a click leaves the clicked document behind,
  // whether the click sent the form or the page's script did so later.
  started_ = QObject::connect(view_, &QWebEngineView::loadStarted, view_, [this] {
    if (documents_.clicked.isEmpty()) return;
    documents_.leaving = documents_.clicked;
    documents_.clicked.clear();
  });
}

std::unique_ptr<PageVisit> WebBrowserPort::Attach() {
  return std::make_unique<HelperVisit>(view_, &documents_);
}

void WebBrowserPort::Navigate(const QString& url) {
  if (!view_) return;
  // Whatever the page was still loading stops first, so that no document of
  // an earlier navigation (the start page after a result, the page of a
  // query that timed out) comes in after this one was asked for and is taken
  // for it.
  view_->page()->triggerAction(QWebEnginePage::Stop);
  WebPageHelper helper;
  if (!(PageKeeper::Of(view_) && PageKeeper::Of(view_)->ReplacementPending()))
    helper.AttachToBrowserWindow(GetControlWindowHandle(view_));
  documents_.leaving = helper.DocumentToken();
  documents_.clicked.clear();
  // Only a load of this navigation tells how it failed.
  ForgetLoadFailure(view_);
  quarvel::Navigate(view_, url);
}

int WebBrowserPort::LoadFailure() {
  if (!view_) return 0;
  const int failure = quarvel::LoadFailure(view_);
  return failure == kLoadGotNoAnswer ? kNoAnswer : failure;
}

QString WebBrowserPort::Unreachable() { return view_ ? quarvel::Unreachable(view_) : QString(); }

WebBrowserPort::~WebBrowserPort() {
  QObject::disconnect(started_);
  QObject::disconnect(replaced_);
  QObject::disconnect(loaded_);
}

void WebBrowserPort::OnLoaded(Loaded handler, bool failuresOnly) {
  QObject::disconnect(loaded_);
  if (!view_) return;
  loaded_ = QObject::connect(view_, &QWebEngineView::loadFinished, view_,
                             [this, failuresOnly, handler = std::move(handler)](bool ok) {
                               if (ok && failuresOnly) return;
                               // One delivery however many loads end during a wait.
                               if (handler) HandlerGate::Deliver(&loaded_, handler);
                             });
}

void WebBrowserPort::SetHome(const QString& url) {
  if (PageKeeper* keeper = PageKeeper::Of(view_)) keeper->SetHome(url);
}

void WebBrowserPort::OnPageReplaced(Replaced handler) {
  QObject::disconnect(replaced_);
  if (PageKeeper* keeper = PageKeeper::Of(view_))
    replaced_ = QObject::connect(keeper, &PageKeeper::PageReplaced, keeper,
                                 [handler = std::move(handler)](const QString& reason) {
                                   if (handler) handler(reason);
                                 });
}

}  // namespace quarvel
