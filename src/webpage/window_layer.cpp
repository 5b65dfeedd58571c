#include "webpage/window_layer.h"

#include <QHash>
#include <QPointer>
#include <QVariant>
#include <QWebEngineView>
#include <QWidget>

#include "webpage/page_automation.h"

namespace quarvel {
namespace {

const char kHandleProperty[] = "quarvelWindowHandle";

QHash<qint64, QPointer<QWidget>>& Handles() {
  static QHash<qint64, QPointer<QWidget>> handles;
  return handles;
}

// The browser whose page a widget hosts, if it is a browser's page widget.
QWebEngineView* HostedBrowser(QWidget* widget) {
  auto* view = qobject_cast<QWebEngineView*>(widget->parentWidget());
  return view && view->focusProxy() == widget ? view : nullptr;
}

}  // namespace

qint64 WindowHandleOf(QWidget* widget) {
  if (!widget) return 0;
  const QVariant known = widget->property(kHandleProperty);
  if (known.isValid()) return known.toLongLong();
  static qint64 next = 0x10010;
  const qint64 handle = next;
  next += 4;
  widget->setProperty(kHandleProperty, handle);
  Handles().insert(handle, widget);
  QObject::connect(widget, &QObject::destroyed, [handle] { Handles().remove(handle); });
  return handle;
}

QWidget* WidgetFromHandle(qint64 handle) {
  const auto it = Handles().constFind(handle);
  return it == Handles().constEnd() ? nullptr : it->data();
}

bool IsWindowHandle(qint64 handle) { return WidgetFromHandle(handle) != nullptr; }

qint64 FindChildWindow(qint64 parent, qint64 childAfter) {
  QWidget* parentWidget = WidgetFromHandle(parent);
  if (!parentWidget) return 0;
  QWidget* after = childAfter ? WidgetFromHandle(childAfter) : nullptr;
  if (childAfter && (!after || after->parentWidget() != parentWidget)) return 0;
  bool passed = after == nullptr;
  for (QObject* child : parentWidget->children()) {
    if (!child->isWidgetType()) continue;
    auto* widget = static_cast<QWidget*>(child);
    if (widget->isWindow()) continue;  // owned top-level windows are not children
    if (passed) return WindowHandleOf(widget);
    passed = widget == after;
  }
  return 0;
}

QString WindowClassName(qint64 handle) {
  QWidget* widget = WidgetFromHandle(handle);
  if (!widget) return {};
  QString name;
  if (HostedBrowser(widget)) {
    name = QString::fromLatin1(kBrowserServerClass);
  } else if (const QVariant own = widget->property("windowClass"); own.isValid()) {
    name = own.toString();
  } else {
    name = QString::fromLatin1(widget->metaObject()->className());
  }
  // A 50-byte buffer: 49 bytes and the terminating zero.
  QByteArray bytes = name.toUtf8();
  if (bytes.size() > 49) bytes.truncate(49);
  return QString::fromUtf8(bytes);
}

std::shared_ptr<PageSession> RequestDocument(qint64 serverWindow, int timeoutMs, bool* answered) {
  if (answered) *answered = true;
  QWidget* widget = WidgetFromHandle(serverWindow);
  QWebEngineView* view = widget ? HostedBrowser(widget) : nullptr;
  if (!view) return nullptr;
  PageSession::OpenResult result;
  auto session = PageSession::Open(view->page(), timeoutMs, &result);
  if (answered) *answered = result != PageSession::OpenResult::NoAnswer;
  return session;
}

}  // namespace quarvel
