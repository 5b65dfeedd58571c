#include "webpage/browser.h"

#include "base/config/logging.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QUrl>
#include <QWebEngineCertificateError>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "base/net/http_fetch.h"
#include "webpage/page_keeper.h"
#include "webpage/window_layer.h"

namespace quarvel {
namespace {

// Why a load that failed never reached its site ("connection refused:
// 127.0.0.1:18080"), from the engine's network error codes; empty for a load
// that reached it (an HTTP status, a reset after connecting, a stopped load).
QString UnreachableReason(const QWebEngineLoadingInfo& info) {
  if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) return {};
  const int code = info.errorCode();
  const char* what = nullptr;
  switch (code) {
    case -102:
      what = "connection refused";
      break;
    case -104:
      what = "connection failed";
      break;
    case -105:
    case -137:
      what = "name not resolved";
      break;
    case -106:
      what = "no network";
      break;
    case -108:
      what = "address invalid";
      break;
    case -109:
      what = "no route to host";
      break;
    case -118:
      what = "connection timed out";
      break;
    case -312:
      what = "port not allowed";
      break;
    case -107:
    case -113:
      what = "TLS refused";
      break;
    default:
      if (code <= -200 && code > -300) what = "certificate refused";
  }
  if (!what) return {};
  const QUrl& url = info.url();
  const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
  return QStringLiteral("%1: %2:%3").arg(QString::fromLatin1(what), url.host()).arg(port);
}

// The page of a browser nobody looks at: it answers every dialog itself, as
// a user who dismisses it would, and notes it in the log. No message box,
// file chooser or window reaches the screen, and a page that asks again and
// again only costs a line of log now and then.
class HiddenBrowserPage : public QWebEnginePage {
 public:
  HiddenBrowserPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    // A page's script opens no window at all: refused before the engine makes
    // anything for it, so that a page opening windows in a loop costs no more
    // than a loop.
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    connect(this, &QWebEnginePage::loadStarted, this, [this] { answered_ = 0; });
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
      if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus) {
        failure_ = 0;
        unreachable_.clear();
        return;
      }
      unreachable_ = UnreachableReason(info);
      switch (info.errorDomain()) {
        case QWebEngineLoadingInfo::HttpStatusCodeDomain:
          failure_ = info.errorCode() >= 400 ? info.errorCode() : 0;
          break;
        case QWebEngineLoadingInfo::ConnectionErrorDomain:
        case QWebEngineLoadingInfo::HttpErrorDomain:
          // A port the browser refuses to ask (-312) stays refused: no try
          // changes that.
          failure_ = info.errorCode() == -312 ? 0 : kLoadGotNoAnswer;
          break;
        case QWebEngineLoadingInfo::InternalErrorDomain:
          // The engine's own codes for a connection that failed on the way
          // (failed, timed out, not connected, network changed); a load the
          // program stopped (aborted) is none.
          failure_ = QList<int>{-2, -7, -15, -21}.contains(info.errorCode()) ? kLoadGotNoAnswer : 0;
          break;
        default:
          failure_ = 0;
      }
    });
    connect(this, &QWebEnginePage::certificateError, this,
            [this](QWebEngineCertificateError error) {
              // Judged for each request on its own (redirect hops included): the
              // error carries the URL of the request whose certificate failed.
              if (error.isOverridable() && IsLoopbackHost(error.url().host())) {
                error.acceptCertificate();
              } else {
                qCInfo(lcWebPage).noquote() << Who() << "refused the certificate of"
                                            << error.url().toString() << "-" << error.description();
                error.rejectCertificate();
              }
            });
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, Feature feature) {
              Note("a permission request", origin, QString::number(feature));
              setFeaturePermission(origin, feature, PermissionDeniedByUser);
            });
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [this](const QUrl& url, QAuthenticator* authenticator) {
              Note("a log-in request", url, authenticator->realm());
              *authenticator = QAuthenticator();  // a null authenticator cancels
            });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl& url, QAuthenticator* authenticator, const QString& proxyHost) {
              Note("a proxy log-in request", url, proxyHost);
              *authenticator = QAuthenticator();
            });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [this](QWebEngineFullScreenRequest request) {
              Note("a full-screen request", request.origin(), QString());
              request.reject();
            });
  }

 public:
  int failure() const { return failure_; }
  const QString& unreachable() const { return unreachable_; }
  void ForgetFailure() {
    failure_ = 0;
    unreachable_.clear();
  }

 protected:
  void javaScriptAlert(const QUrl& origin, const QString& message) override {
    Note("alert", origin, message);
  }

  bool javaScriptConfirm(const QUrl& origin, const QString& message) override {
    // A beforeunload question comes here too, in this fixed wording. Leaving
    // is allowed: a page must not keep the program's own navigation from
    // happening, or the next query would read the old page.
    if (message == LeaveQuestion()) {
      Note("beforeunload", origin, QString());
      return true;
    }
    Note("confirm", origin, message);
    return false;
  }

  bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString&,
                        QString*) override {
    Note("prompt", origin, message);
    return false;  // the page receives null
  }

  QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override {
    Note("a file chooser", url(), QString());
    return {};
  }

  QWebEnginePage* createWindow(WebWindowType) override {
    Note("a new window", url(), QString());
    return nullptr;
  }

 private:
  static QString LeaveQuestion() {
    return QCoreApplication::translate(
        "QWebEnginePage",
        "Are you sure you want to leave this page? Changes that you made may not be saved.");
  }

  QString Who() const { return parent() ? parent()->objectName() : QStringLiteral("browser"); }

  void Note(const char* what, const QUrl& origin, const QString& text) {
    ++answered_;
    if (answered_ <= kLoggedInFull) {
      qCInfo(lcWebPage).noquote() << Who() << "answered" << what << "from" << origin.toString()
                                  << (text.isEmpty() ? QString() : ": " + text.left(200));
    } else if (answered_ % 1000 == 0) {
      qCInfo(lcWebPage).noquote() << Who() << "answered" << answered_ << "dialogs of"
                                  << url().toString();
    }
  }

  static constexpr int kLoggedInFull = 20;  // per page load; then every thousandth
  int answered_ = 0;
  int failure_ = 0;      // of the last load, as LoadFailure gives it
  QString unreachable_;  // of the last load, as Unreachable gives it
};

}  // namespace

void Navigate(QWebEngineView* browser, const QString& url) {
  QString text = url.trimmed();
  if (!text.contains(QStringLiteral("://"))) text.prepend(QStringLiteral("http://"));
  // Taken as encoded: a URL built with its escapes goes out exactly so.
  browser->setUrl(QUrl::fromEncoded(text.toUtf8(), QUrl::TolerantMode));
}

qint64 GetControlWindowHandle(QWebEngineView* browser) { return WindowHandleOf(browser); }

int LoadFailure(const QWebEngineView* browser) {
  const auto* page = browser ? dynamic_cast<const HiddenBrowserPage*>(browser->page()) : nullptr;
  return page ? page->failure() : 0;
}

QString Unreachable(const QWebEngineView* browser) {
  const auto* page = browser ? dynamic_cast<const HiddenBrowserPage*>(browser->page()) : nullptr;
  return page ? page->unreachable() : QString();
}

void ForgetLoadFailure(QWebEngineView* browser) {
  if (auto* page = browser ? dynamic_cast<HiddenBrowserPage*>(browser->page()) : nullptr)
    page->ForgetFailure();
}

QWebEngineView* CreateBrowser(QWidget* parent, const QString& objectName) {
  auto* view = new QWebEngineView(parent);
  view->setObjectName(objectName);
  view->setAccessibleName(objectName);
  view->setFocusPolicy(Qt::StrongFocus);
  const auto makePage = [](QWebEngineView* owner) -> QWebEnginePage* {
    return new HiddenBrowserPage(QWebEngineProfile::defaultProfile(), owner);
  };
  view->setPage(makePage(view));
  new PageKeeper(view, makePage);
  return view;
}

}  // namespace quarvel
