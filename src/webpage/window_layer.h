#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QWidget;

namespace quarvel {

class PageSession;

// Native-style window handles for widgets: small integers that stay unique
// for the life of the process and turn invalid when their widget is destroyed.

// The handle of a widget, allocated on first use.
qint64 WindowHandleOf(QWidget* widget);

// The widget behind a handle, or nullptr for 0, an unknown or a stale handle.
QWidget* WidgetFromHandle(qint64 handle);

// Window validity check: true while the handle names a live widget.
bool IsWindowHandle(qint64 handle);

// Child enumeration in a stable order (the order of creation): with
// childAfter 0 the first child of parent, else the child after childAfter.
// 0 at the end, or when either handle is not valid.
qint64 FindChildWindow(qint64 parent, qint64 childAfter);

// The class name of a window, at most 49 bytes. The widget that hosts a
// loaded page is "Internet Explorer_Server"; a widget may name its own class
// with the "windowClass" property; other widgets give their Qt class name.
QString WindowClassName(qint64 handle);

inline constexpr char kBrowserServerClass[] = "Internet Explorer_Server";

// The document request: asks the page hosted by a server window for its
// document, waiting at most timeoutMs. nullptr when the window hosts no page
// or the page does not answer in time; *answered is false for the latter.
std::shared_ptr<PageSession> RequestDocument(qint64 serverWindow, int timeoutMs,
                                             bool* answered = nullptr);

}  // namespace quarvel
