#include "base/text/text_between.h"

namespace quarvel {

QByteArray TextBetween(const QByteArray& text, const QByteArray& startMarker,
                       const QByteArray& endMarker) {
  const qsizetype start = text.indexOf(startMarker);
  if (start < 0) return {};
  // The tail after the marker: its rightmost (length - p - marker length + 1)
  // bytes, p being the 1-based position of the marker.
  const qsizetype p = start + 1;
  const QByteArray tail = text.right(text.size() - p - startMarker.size() + 1);
  const qsizetype end = tail.indexOf(endMarker);
  if (end < 0) return {};
  return tail.left(end);
}

QString TextBetween(const QString& text, const QString& startMarker, const QString& endMarker) {
  return QString::fromUtf8(TextBetween(text.toUtf8(), startMarker.toUtf8(), endMarker.toUtf8()));
}

}  // namespace quarvel
