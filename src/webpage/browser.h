#pragma once

#include <QString>
#include <QtGlobal>

class QWebEngineView;
class QWidget;

namespace quarvel {

// Starts loading url in the browser and returns at once. A bare host such as
// "127.0.0.1:18081" is taken as an http address; surrounding spaces are dropped.
// The URL is taken as encoded: its percent escapes go out as they are.
void Navigate(QWebEngineView* browser, const QString& url);

// The native window handle of the browser control (not of the page's inner
// server window): what the page-automation attachment is given.
qint64 GetControlWindowHandle(QWebEngineView* browser);

// How the last load of the browser's page failed: the HTTP status (400 or
// more) the site answered with, kLoadGotNoAnswer when no answer came (no
// connection, a reset, a time-out), 0 when it loaded, is loading, or the
// browser was not made by CreateBrowser.
inline constexpr int kLoadGotNoAnswer = -1;
int LoadFailure(const QWebEngineView* browser);
// Why the last load of the browser's page never reached its site, as
// "connection refused: 127.0.0.1:18080" (refused, no route, a name not
// resolved, TLS or its certificate refused); empty when it reached it, is
// loading, or failed otherwise.
QString Unreachable(const QWebEngineView* browser);
// LoadFailure gives 0, and Unreachable nothing, until a load fails again.
void ForgetLoadFailure(QWebEngineView* browser);

// Creates a browser control with the program's settings, on the default
// profile: a certificate error is accepted only for a request to a loopback
// host (the bundled demo site), and the page answers its own dialogs (alert,
// confirm, prompt, beforeunload, file choosers, new windows) without showing
// any, noting each in the "quarvel.webpage" log. A PageKeeper replaces a
// page that stops answering or loses its render process.
QWebEngineView* CreateBrowser(QWidget* parent, const QString& objectName);

}  // namespace quarvel
