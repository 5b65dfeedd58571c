#pragma once

#include <QByteArray>
#include <QString>

namespace quarvel {

// The text between the first startMarker and the first endMarker after it;
// empty when either is missing. Works on bytes (UTF-8 for the QString form).
QByteArray TextBetween(const QByteArray& text, const QByteArray& startMarker,
                       const QByteArray& endMarker);
QString TextBetween(const QString& text, const QString& startMarker, const QString& endMarker);

}  // namespace quarvel
