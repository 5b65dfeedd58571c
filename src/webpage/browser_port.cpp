#include "webpage/browser_port.h"

#include <QWebEngineView>

#include "webpage/browser.h"
#include "webpage/web_page_helper.h"

namespace quarvel {
namespace {

class HelperVisit : public PageVisit {
 public:
  explicit HelperVisit(QWebEngineView* view) {
    if (view) helper_.AttachToBrowserWindow(GetControlWindowHandle(view));
  }
  PageRead Text() override { return {true, helper_.GetPageText()}; }
  PageRead Html() override { return {true, helper_.GetPageHtml()}; }
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

}  // namespace quarvel
