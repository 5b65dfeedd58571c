#pragma once

#include <QByteArray>
#include <QString>

namespace quarvel {

// GBK (code page 936) bytes of a text, for tests that hold text against the
// bytes a Chinese Windows system has. Characters GBK cannot hold become '?'.
QByteArray ToGbk(const QString& text);
QString FromGbk(const QByteArray& bytes);

}  // namespace quarvel
