#include "base/text/date_text.h"

#include <QDate>
#include <QRegularExpression>

namespace quarvel {

QString IsoDate(const QString& text) {
  // Digits of any script as ASCII ones, and no spaces of any kind.
  QString compact;
  for (const QChar c : text) {
    if (c.isSpace()) continue;
    compact += c.isDigit() ? QChar(u'0' + c.digitValue()) : c;
  }
  static const QRegularExpression chinese(QStringLiteral("^(\\d{4})年(\\d{1,2})月(\\d{1,2})日?$"));
  static const QRegularExpression numeric(
      QStringLiteral("^(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})$"));
  QRegularExpressionMatch match = chinese.match(compact);
  int month = 2, day = 3;
  if (!match.hasMatch()) {
    match = numeric.match(compact);
    month = 3, day = 4;
  }
  if (!match.hasMatch()) return {};
  const QDate date(match.captured(1).toInt(), match.captured(month).toInt(),
                   match.captured(day).toInt());
  return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

}  // namespace quarvel
