#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

namespace quarvel {

// Native-style window handles for widgets: small integers that stay unique
// for the life of the process and turn invalid when their widget is destroyed.

// The handle of a widget, allocated on first use.
qint64 WindowHandleOf(QWidget* widget);

// The widget behind a handle, or nullptr for 0, an unknown or a stale handle.
QWidget* WidgetFromHandle(qint64 handle);

// Window validity check: true while the handle names a live widget.
bool IsWindowHandle(qint64 handle);

}  // namespace quarvel
