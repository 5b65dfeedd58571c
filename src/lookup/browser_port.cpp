#include "lookup/browser_port.h"

#include <QWebEngineView>

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
  explicit HelperVisit(QWebEngineView* view) {
    // A page about to be replaced (its renderer died or hung) is not read:
    // what it gives is no page's text, and its lookup ends with the reason.
    const PageKeeper* keeper = PageKeeper::Of(view);
    lost_ = keeper && keeper->ReplacementPending();
    if (view && !lost_) helper_.AttachToBrowserWindow(GetControlWindowHandle(view));
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

std::unique_ptr<PageVisit> WebBrowserPort::Attach() { return std::make_unique<HelperVisit>(view_); }

void WebBrowserPort::Navigate(const QString& url) {
  if (view_) quarvel::Navigate(view_, url);
}

WebBrowserPort::~WebBrowserPort() { QObject::disconnect(replaced_); }

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
