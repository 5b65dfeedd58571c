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
  // leaving: when not null, the token of a document that is being left, not
  // to be read; cleared once another one is seen.
  HelperVisit(QWebEngineView* view, QString* leaving) {
    // A page about to be replaced (its renderer died or hung) is not read:
    // what it gives is no page's text, and its lookup ends with the reason.
    const PageKeeper* keeper = PageKeeper::Of(view);
    lost_ = keeper && keeper->ReplacementPending();
    if (view && !lost_) helper_.AttachToBrowserWindow(GetControlWindowHandle(view));
    if (!leaving) return;
    helper_.ReadParsedDocumentsOnly();
    if (leaving->isEmpty() || lost_) return;
    const QString token = helper_.DocumentToken();
    if (token.isEmpty() || token == *leaving)
      lost_ = true;  // the old document, or none yet: the next visit looks again
    else
      leaving->clear();
  }
  PageRead Text() override { return lost_ ? PageRead{} : Read(helper_.TryGetPageText()); }
  PageRead Html() override { return lost_ ? PageRead{} : Read(helper_.TryGetPageHtml()); }
  bool FillTextInput(const QString& identifier, const QString& value) override {
    return !lost_ && helper_.FillTextInput(identifier, value);
  }
  bool ClickElement(const QString& identifier) override {
    return !lost_ && helper_.ClickElement(identifier);
  }

 private:
  WebPageHelper helper_;
  bool lost_ = false;
};

}  // namespace

std::unique_ptr<PageVisit> WebBrowserPort::Attach() {
  return std::make_unique<HelperVisit>(view_, afterNavigation_ ? &leaving_ : nullptr);
}

void WebBrowserPort::Navigate(const QString& url) {
  if (!view_) return;
  if (afterNavigation_) {
    // Whatever the page was still loading stops first, so that no document
    // of an earlier navigation (the start page after a result, the page of
    // an entry that timed out) comes in after this one was asked for and
    // is taken for it.
    view_->page()->triggerAction(QWebEnginePage::Stop);
    WebPageHelper helper;
    if (!(PageKeeper::Of(view_) && PageKeeper::Of(view_)->ReplacementPending()))
      helper.AttachToBrowserWindow(GetControlWindowHandle(view_));
    leaving_ = helper.DocumentToken();
    // Only a load of this navigation tells how it failed.
    ForgetLoadFailure(view_);
  }
  quarvel::Navigate(view_, url);
}

int WebBrowserPort::LoadFailure() {
  if (!view_) return 0;
  const int failure = quarvel::LoadFailure(view_);
  return failure == kLoadGotNoAnswer ? kNoAnswer : failure;
}

WebBrowserPort::~WebBrowserPort() {
  QObject::disconnect(replaced_);
  QObject::disconnect(loaded_);
}

void WebBrowserPort::OnLoaded(Loaded handler) {
  QObject::disconnect(loaded_);
  if (!view_) return;
  loaded_ = QObject::connect(view_, &QWebEngineView::loadFinished, view_,
                             [this, handler = std::move(handler)] {
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
