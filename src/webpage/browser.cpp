#include "webpage/browser.h"

#include <QUrl>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/http_fetch.h"
#include "webpage/window_layer.h"

namespace quarvel {

void Navigate(QWebEngineView* browser, const QString& url) {
  QString text = url.trimmed();
  if (!text.contains(QStringLiteral("://"))) text.prepend(QStringLiteral("http://"));
  browser->setUrl(QUrl(text));
}

qint64 GetControlWindowHandle(QWebEngineView* browser) { return WindowHandleOf(browser); }

QWebEngineView* CreateBrowser(QWidget* parent, const QString& objectName) {
  auto* view = new QWebEngineView(parent);
  view->setObjectName(objectName);
  view->setAccessibleName(objectName);
  view->setFocusPolicy(Qt::StrongFocus);
  QObject::connect(view->page(), &QWebEnginePage::certificateError,
                   [](QWebEngineCertificateError error) {
                     if (IsLoopbackHost(error.url().host()))
                       error.acceptCertificate();
                     else
                       error.rejectCertificate();
                   });
  return view;
}

}  // namespace quarvel
