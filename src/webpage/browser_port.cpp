#include "webpage/browser_port.h"

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
    if (view) helper_.AttachToBrowserWindow(GetControlWindowHandle(view));
  }
  PageRead Text() override { return Read(helper_.TryGetPageText()); }
  PageRead Html() override { return Read(helper_.TryGetPageHtml()); }
  bool FillTextInput(const QString& identifier, const QString& value) override {
    return helper_.FillTextInput(identifier, value);
  }
  bool ClickElement(const QString& identifier) override { return helper_.ClickElement(identifier); }

 private:
  WebPageHelper helper_;
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
