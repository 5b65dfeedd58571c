#pragma once

#include <QByteArray>
#include <QString>

namespace quarvel {

// GBK (code page 936) bytes of a text; used only where text crosses a
// Windows ANSI boundary. Characters GBK cannot hold become '?'.
QByteArray ToGbk(const QString& text);
QString FromGbk(const QByteArray& bytes);

}  // namespace quarvel
