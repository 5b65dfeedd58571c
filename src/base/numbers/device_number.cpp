#include "base/numbers/device_number.h"

#include <QStringBuilder>

#include <array>

namespace quarvel {
namespace {

// The date characters of the 12-character serial format: character 4 holds
// the year and the half of it, character 5 the week within that half.
//
// Where the table comes from: the year and week code tables that repair and
// resale trade references publish for this format (the serial-number
// decoding guides used by refurbishers and second-hand dealers); the tables
// in those references agree with each other. They cover 2010 to 2019; the
// format stayed in use into 2021, and its year characters repeat every ten
// years, so C, D, F and G also stand for 2020 and 2021. A character that is
// not in a table is reported as not known; nothing is guessed.
struct YearCode {
  char code;
  int year;  // the first year it stands for
  int half;  // 1: January to June, 2: July to December
};
constexpr std::array<YearCode, 20> kYearCodes = {{
    {'C', 2010, 1}, {'D', 2010, 2}, {'F', 2011, 1}, {'G', 2011, 2}, {'H', 2012, 1},
    {'J', 2012, 2}, {'K', 2013, 1}, {'L', 2013, 2}, {'M', 2014, 1}, {'N', 2014, 2},
    {'P', 2015, 1}, {'Q', 2015, 2}, {'R', 2016, 1}, {'S', 2016, 2}, {'T', 2017, 1},
    {'V', 2017, 2}, {'W', 2018, 1}, {'X', 2018, 2}, {'Y', 2019, 1}, {'Z', 2019, 2},
}};
// The last year in which the format was still issued.
constexpr int kLastTwelveCharacterYear = 2021;

// Week characters in order: weeks 1 to 27 of the first half; in the second
// half the same characters stand for weeks 27 to 53 (26 added).
constexpr char kWeekCodes[] = "123456789CDFGHJKLMNPQRTVWXY";

const YearCode* FindYear(QChar c) {
  for (const YearCode& code : kYearCodes)
    if (c == QLatin1Char(code.code)) return &code;
  return nullptr;
}

int WeekInHalf(QChar c) {
  for (int i = 0; kWeekCodes[i]; ++i)
    if (c == QLatin1Char(kWeekCodes[i])) return i + 1;
  return 0;
}

bool IsSeparator(char16_t u) {
  return u == ' ' || u == '\t' || u == '-' || u == 0x00A0 || u == 0x3000 ||
         (u >= 0x2010 && u <= 0x2015) || u == 0x2212 || u == 0xFF0D;
}

QString Describe(const QString& text, qsizetype i) {
  const QChar c = text[i];
  char32_t code = c.unicode();
  if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
    code = QChar::surrogateToUcs4(c, text[i + 1]);
  if (code >= 0x20 && code != 0x7F && code != '\'' && QChar::isPrint(code))
    return QLatin1Char('\'') % QString::fromUcs4(&code, 1) % QLatin1Char('\'');
  return QStringLiteral("U+%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
}

QString YearText(const QList<int>& years) {
  QString text;
  for (qsizetype i = 0; i < years.size(); ++i) {
    if (i) text += QStringLiteral(" or ");
    text += QString::number(years[i]);
  }
  return text;
}

void CheckImei(NumberCheck& check) {
  const QString& digits = check.compact;
  check.tac = digits.left(8);
  check.snr = digits.mid(8, 6);
  check.expectedCheckDigit = LuhnCheckDigit(QStringView(digits).left(14));
  const QString full = digits.left(14) + QChar(u'0' + check.expectedCheckDigit);
  const QString split =
      QStringLiteral("TAC ") % check.tac % QStringLiteral(", serial ") % check.snr;
  if (digits.size() == 15) {
    check.kind = NumberKind::Imei;
    check.checkDigit = digits[14].unicode() - u'0';
    const bool good = check.checkDigit == check.expectedCheckDigit;
    check.verdict = QLatin1String(good ? kVerdictOk : kVerdictBadCheckDigit);
    check.details = split % QStringLiteral(", check digit ") % QString::number(check.checkDigit);
    if (!good) check.details += QStringLiteral(" (should be %1)").arg(check.expectedCheckDigit);
  } else if (digits.size() == 14) {
    check.kind = NumberKind::Imei;
    check.verdict = QLatin1String(kVerdictMissingCheckDigit);
    check.details = split % QStringLiteral(", no check digit: it is ") %
                    QString::number(check.expectedCheckDigit) % QStringLiteral(" (") % full %
                    QLatin1Char(')');
  } else {
    check.kind = NumberKind::ImeiSv;
    check.svn = digits.mid(14, 2);
    check.verdict = QLatin1String(kVerdictOk);
    check.details = split % QStringLiteral(", software version ") % check.svn %
                    QStringLiteral("; the IMEI is ") % full;
  }
}

void CheckSerial(NumberCheck& check) {
  const QString& s = check.compact;
  check.kind = NumberKind::Serial;
  check.format = static_cast<int>(s.size());
  check.verdict = QLatin1String(kVerdictOk);
  if (s.size() == 10) {
    check.details = QStringLiteral("10-character format (the newer, random one); it holds no date");
    return;
  }
  if (s.size() == 11) {
    check.details = QStringLiteral("11-character format (the older one); no date decoded");
    return;
  }
  check.details = QStringLiteral("12-character format (factory ") % s.left(3) %
                  QStringLiteral(", date ") % s.mid(3, 2) % QStringLiteral(", unit ") %
                  s.mid(5, 3) % QStringLiteral(", model ") % s.mid(8, 4) % QStringLiteral("): ");
  const YearCode* year = FindYear(s[3]);
  const int weekInHalf = WeekInHalf(s[4]);
  if (!year) {
    check.details += QStringLiteral("year not known (") % Describe(s, 3) %
                     QStringLiteral(" is not a year character); week not known");
    return;
  }
  check.years = {year->year};
  if (year->year + 10 <= kLastTwelveCharacterYear) check.years.append(year->year + 10);
  check.half = year->half;
  if (!weekInHalf) {
    check.details +=
        QStringLiteral("made in the ") % QLatin1String(year->half == 1 ? "first" : "second") %
        QStringLiteral(" half of ") % YearText(check.years) % QStringLiteral("; week not known (") %
        Describe(s, 4) % QStringLiteral(" is not a week character)");
    return;
  }
  check.week = weekInHalf + (year->half == 2 ? 26 : 0);
  check.details += QStringLiteral("made in ") % YearText(check.years) % QStringLiteral(", week ") %
                   QString::number(check.week);
}

void AppendNotes(NumberCheck& check) {
  if (check.separators)
    check.details += QStringLiteral("; %1 separator%2 removed")
                         .arg(check.separators)
                         .arg(check.separators == 1 ? "" : "s");
  if (check.lowerCase) check.details += QStringLiteral("; lower case read as upper case");
  if (check.wideForms) check.details += QStringLiteral("; full-width characters read as ASCII");
}

// A JSON string: quotes, backslashes and control characters escaped, the
// rest as UTF-8 (runs of plain text are converted at once, so surrogate pairs
// stay whole).
void AppendJsonText(QByteArray& out, const QString& text) {
  out += '"';
  qsizetype run = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    QByteArray escape;
    if (u == '"') {
      escape = "\\\"";
    } else if (u == '\\') {
      escape = "\\\\";
    } else if (u == '\n') {
      escape = "\\n";
    } else if (u == '\t') {
      escape = "\\t";
    } else if (u < 0x20 || u == 0x7F || u == 0x2028 || u == 0x2029) {
      escape = "\\u" + QByteArray::number(static_cast<uint>(u), 16).rightJustified(4, '0');
    } else {
      continue;
    }
    out += QStringView(text).sliced(run, i - run).toUtf8();
    out += escape;
    run = i + 1;
  }
  out += QStringView(text).sliced(run).toUtf8();
  out += '"';
}

void Member(QByteArray& out, const char* name, const QString& value) {
  out += ",\"";
  out += name;
  out += "\":";
  AppendJsonText(out, value);
}

void Member(QByteArray& out, const char* name, int value) {
  out += ",\"";
  out += name;
  out += "\":";
  out += QByteArray::number(value);
}

}  // namespace

QString KindName(NumberKind kind) {
  switch (kind) {
    case NumberKind::Imei:
      return QStringLiteral("imei");
    case NumberKind::ImeiSv:
      return QStringLiteral("imeisv");
    case NumberKind::Serial:
      return QStringLiteral("serial");
    case NumberKind::Unknown:
      break;
  }
  return QStringLiteral("unknown");
}

EntryForLookup ForLookup(const QString& entry, bool check) {
  EntryForLookup out;
  for (const QChar c : entry) {
    const QChar::Category category = c.category();
    if (category == QChar::Other_Control || category == QChar::Separator_Line ||
        category == QChar::Separator_Paragraph || c == QChar(0x85)) {
      out.reason = QStringLiteral("the entry holds a control character");
      return out;
    }
  }
  if (entry.size() > kMaxEntryLength) {
    out.reason = QStringLiteral("the entry is longer than %1 characters").arg(kMaxEntryLength);
    return out;
  }
  if (!check) {
    out.send = true;
    out.form = entry;
    return out;
  }
  const NumberCheck number = CheckNumber(entry);
  if (number.kind == NumberKind::Imei &&
      number.verdict == QLatin1String(kVerdictMissingCheckDigit) &&
      number.expectedCheckDigit >= 0) {
    out.send = true;
    out.form = number.compact + QString::number(number.expectedCheckDigit);
    return out;
  }
  if (!number.Ok()) {
    out.reason = QStringLiteral("the offline check: %1").arg(number.verdict);
    return out;
  }
  out.send = true;
  out.form = number.compact;
  return out;
}

int LuhnCheckDigit(QStringView digits) {
  // Counting from the right, every second digit of the number without its
  // check digit is doubled, starting with the rightmost.
  int sum = 0;
  bool doubled = true;
  for (qsizetype i = digits.size() - 1; i >= 0; --i, doubled = !doubled) {
    int d = digits[i].unicode() - u'0';
    if (doubled) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
    sum += d;
  }
  return (10 - sum % 10) % 10;
}

bool LuhnValid(QStringView digits) {
  if (digits.size() < 2) return false;
  return LuhnCheckDigit(digits.first(digits.size() - 1)) == digits.back().unicode() - u'0';
}

NumberCheck CheckNumber(const QString& entry) {
  NumberCheck check;
  check.entry = entry;
  check.compact.reserve(entry.size());
  qsizetype firstBad = -1;
  qsizetype bad = 0;
  bool letters = false;
  for (qsizetype i = 0; i < entry.size(); ++i) {
    char16_t u = entry[i].unicode();
    if (u >= 0xFF10 && u <= 0xFF5A) {  // full-width forms
      const char16_t narrow = u - 0xFF10 + u'0';
      if ((narrow >= '0' && narrow <= '9') || (narrow >= 'A' && narrow <= 'Z') ||
          (narrow >= 'a' && narrow <= 'z')) {
        u = narrow;
        check.wideForms = true;
      }
    }
    if (u >= 'a' && u <= 'z') {
      u = u - 'a' + 'A';
      check.lowerCase = true;
    }
    if (u >= '0' && u <= '9') {
      check.compact += QChar(u);
    } else if (u >= 'A' && u <= 'Z') {
      check.compact += QChar(u);
      letters = true;
    } else if (IsSeparator(u)) {
      ++check.separators;
    } else {
      if (firstBad < 0) firstBad = i;
      // A surrogate pair is one character.
      if (!(entry[i].isLowSurrogate() && i > 0 && entry[i - 1].isHighSurrogate())) ++bad;
    }
  }

  const qsizetype length = check.compact.size() + bad;
  if (firstBad >= 0) {
    if (!letters && length >= 14 && length <= 16)
      check.kind = length == 16 ? NumberKind::ImeiSv : NumberKind::Imei;
    else if (length >= 10 && length <= 12)
      check.kind = NumberKind::Serial;
    check.verdict = QLatin1String(kVerdictBadCharacter);
    check.details = Describe(entry, firstBad) % QStringLiteral(" at position ") %
                    QString::number(firstBad + 1) %
                    QStringLiteral(" is not a letter, a digit or a separator");
  } else if (check.compact.isEmpty()) {
    check.verdict = QLatin1String(kVerdictEmpty);
    check.details = QStringLiteral("nothing to check");
  } else if (!letters) {
    if (length >= 14 && length <= 16) {
      CheckImei(check);
    } else {
      check.verdict = QLatin1String(kVerdictBadLength);
      check.details = QString::number(length) % QLatin1String(length == 1 ? " digit" : " digits") %
                      QStringLiteral(
                          "; an IMEI has 15 (14 without its check digit, "
                          "16 with a software version)");
    }
  } else if (length >= 10 && length <= 12) {
    CheckSerial(check);
  } else {
    check.verdict = QLatin1String(kVerdictBadLength);
    check.details = QString::number(length) %
                    QLatin1String(length == 1 ? " letter or digit" : " letters and digits") %
                    QStringLiteral("; a serial number has 10, 11 or 12");
  }
  AppendNotes(check);
  return check;
}

QString OneLineField(const QString& text) {
  QString out = text;
  for (QChar& c : out)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.unicode() == 0x2028 || c.unicode() == 0x2029)
      c = QChar(QChar::ReplacementCharacter);
  return out;
}

QString FormatCheckLine(const NumberCheck& check) {
  return OneLineField(check.entry) % QLatin1Char('\t') % KindName(check.kind) % QLatin1Char('\t') %
         check.verdict % QLatin1Char('\t') % check.details;
}

QByteArray FormatCheckJson(const NumberCheck& check) {
  QByteArray out = "{\"entry\":";
  AppendJsonText(out, check.entry);
  Member(out, "kind", KindName(check.kind));
  Member(out, "verdict", check.verdict);
  Member(out, "details", check.details);
  Member(out, "compact", check.compact);
  Member(out, "separators", check.separators);
  if (check.lowerCase) out += ",\"lower_case\":true";
  if (check.wideForms) out += ",\"full_width\":true";
  if (!check.tac.isEmpty()) {
    Member(out, "tac", check.tac);
    Member(out, "snr", check.snr);
    if (check.checkDigit >= 0) Member(out, "check_digit", check.checkDigit);
    Member(out, "expected_check_digit", check.expectedCheckDigit);
    if (!check.svn.isEmpty()) Member(out, "svn", check.svn);
  }
  if (check.format) {
    Member(out, "format", check.format);
    if (!check.years.isEmpty()) {
      out += ",\"years\":[";
      for (qsizetype i = 0; i < check.years.size(); ++i) {
        if (i) out += ',';
        out += QByteArray::number(check.years[i]);
      }
      out += ']';
      Member(out, "half", check.half);
    }
    if (check.week) Member(out, "week", check.week);
  }
  out += '}';
  return out;
}

}  // namespace quarvel
