#include "webpage/window_layer.h"

#include <QHash>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace quarvel {
namespace {

const char kHandleProperty[] = "quarvelWindowHandle";

QHash<qint64, QPointer<QWidget>>& Handles() {
  static QHash<qint64, QPointer<QWidget>> handles;
  return handles;
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

}  // namespace quarvel
