#include "base/numbers/device_number.h"

#include <QStringBuilder>

#include <algorithm>
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

// The older 11-character serial format: two characters of factory, the
// year's last digit, the week as two digits (01 to 53), three of unit and
// three of model. `W8812345ABC` was made in week 12 of 2008.
//
// Its digit names the year within a decade, and the decoders published for
// the older 11-character serial format read it in the 2000s (8 is 2008).
// The 12-character format took over from 2010, but not on every product at
// once: this check takes the older one as issued up to 2012, so 0, 1 and 2
// may also stand for 2010 to 2012. Both years are given then, the 2000s
// first, as the 12-character format gives its repeated years.
constexpr int kFirstElevenCharacterDecade = 2000;
constexpr int kLastElevenCharacterYear = 2012;

// Every space separator of Unicode (U+0020, U+00A0, U+1680, U+2000 to U+200A,
// U+202F, U+205F, U+3000) and the dashes. A tab is not one: it is refused as
// every other control character is, as a batch refuses to send it, and as it
// would split a field of the tab-separated output.
bool IsSeparator(char16_t u) {
  if (u < 0x80) return u == ' ' || u == '-';
  return (u >= 0x2010 && u <= 0x2015) || u == 0x2212 || u == 0xFF0D ||
         QChar::category(u) == QChar::Separator_Space;
}

QString Describe(const QString& text, qsizetype i) {
  const QChar c = text[i];
  char32_t code = c.unicode();
  if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
    code = QChar::surrogateToUcs4(c, text[i + 1]);
  // Line and paragraph separators, invisible formatting characters and
  // combining marks are named by their code point, as control characters are.
  const QChar::Category category = QChar::category(code);
  const bool shown = category != QChar::Separator_Line && category != QChar::Separator_Paragraph &&
                     category != QChar::Other_Format && category != QChar::Mark_NonSpacing &&
                     category != QChar::Mark_Enclosing;
  if (code >= 0x20 && code != 0x7F && code != '\'' && QChar::isPrint(code) && shown)
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

QString Never(const QString& what, const QString& s, qsizetype i) {
  return what % QLatin1Char(' ') % Describe(s, i) % QStringLiteral(" is never used");
}

void CheckElevenCharacterSerial(NumberCheck& check) {
  const QString& s = check.compact;
  check.details = QStringLiteral("11-character format (factory ") % s.left(2) %
                  QStringLiteral(", date ") % s.mid(2, 3) % QStringLiteral(", unit ") %
                  s.mid(5, 3) % QStringLiteral(", model ") % s.mid(8, 3) % QStringLiteral("): ");
  QStringList wrong;
  if (!s[2].isDigit()) wrong.append(Never(QStringLiteral("year character"), s, 2));
  const bool weekDigits = s[3].isDigit() && s[4].isDigit();
  const int week = weekDigits ? s.mid(3, 2).toInt() : 0;
  if (week < 1 || week > 53)
    wrong.append(QStringLiteral("week '") % s.mid(3, 2) %
                 QStringLiteral("' is never used (weeks run from 01 to 53)"));
  if (!wrong.isEmpty()) {
    check.verdict = QLatin1String(kVerdictBadDate);
    check.details += wrong.join(QStringLiteral("; "));
    return;
  }
  const int digit = s[2].unicode() - u'0';
  check.years = {kFirstElevenCharacterDecade + digit};
  if (kFirstElevenCharacterDecade + 10 + digit <= kLastElevenCharacterYear)
    check.years.append(kFirstElevenCharacterDecade + 10 + digit);
  check.week = week;
  check.details += QStringLiteral("made in ") % YearText(check.years) % QStringLiteral(", week ") %
                   QString::number(check.week);
}

void CheckTwelveCharacterSerial(NumberCheck& check) {
  const QString& s = check.compact;
  check.details = QStringLiteral("12-character format (factory ") % s.left(3) %
                  QStringLiteral(", date ") % s.mid(3, 2) % QStringLiteral(", unit ") %
                  s.mid(5, 3) % QStringLiteral(", model ") % s.mid(8, 4) % QStringLiteral("): ");
  // The compact form holds only digits and letters, and the tables hold
  // every character the format uses there: one outside them is a serial the
  // format never made (for the year a digit, A, B, E, I, O or U; for the
  // week 0, A, B, E, I, O, U, S or Z).
  const YearCode* year = FindYear(s[3]);
  const int weekInHalf = WeekInHalf(s[4]);
  if (year) {
    check.years = {year->year};
    if (year->year + 10 <= kLastTwelveCharacterYear) check.years.append(year->year + 10);
    check.half = year->half;
  }
  if (!year || !weekInHalf) {
    check.verdict = QLatin1String(kVerdictBadDate);
    QStringList wrong;
    if (!year) wrong.append(Never(QStringLiteral("year character"), s, 3));
    if (!weekInHalf) wrong.append(Never(QStringLiteral("week character"), s, 4));
    if (year)
      check.details +=
          QStringLiteral("the ") % QLatin1String(year->half == 1 ? "first" : "second") %
          QStringLiteral(" half of ") % YearText(check.years) % QStringLiteral(", but ");
    check.details += wrong.join(QStringLiteral("; "));
    return;
  }
  check.week = weekInHalf + (year->half == 2 ? 26 : 0);
  check.details += QStringLiteral("made in ") % YearText(check.years) % QStringLiteral(", week ") %
                   QString::number(check.week);
}

void CheckSerial(NumberCheck& check) {
  check.kind = NumberKind::Serial;
  check.format = static_cast<int>(check.compact.size());
  check.verdict = QLatin1String(kVerdictOk);
  if (check.format == 10)
    check.details = QStringLiteral("10-character format (the newer, random one); it holds no date");
  else if (check.format == 11)
    CheckElevenCharacterSerial(check);
  else
    CheckTwelveCharacterSerial(check);
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
      // What the kind is guessed from: a surrogate pair is one character, and
      // a control or formatting character (a tab, a line end) stands for none.
      const QChar::Category category = QChar::category(u);
      if (!(entry[i].isLowSurrogate() && i > 0 && entry[i - 1].isHighSurrogate()) &&
          category != QChar::Other_Control && category != QChar::Other_Format &&
          category != QChar::Separator_Line && category != QChar::Separator_Paragraph)
        ++bad;
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
  const auto escaped = [](char16_t u) {
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029 || u == '\\';
  };
  if (std::none_of(text.begin(), text.end(), [&](QChar c) { return escaped(c.unicode()); }))
    return text;
  QString out;
  out.reserve(text.size() + 8);
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (!escaped(u))
      out += c;
    else if (u == '\\')
      out += QLatin1String("\\\\");
    else if (u == '\t')
      out += QLatin1String("\\t");
    else if (u == '\n')
      out += QLatin1String("\\n");
    else if (u == '\r')
      out += QLatin1String("\\r");
    else
      out +=
          QLatin1String("\\u") %
          QString::number(static_cast<uint>(u), 16).toUpper().rightJustified(4, QLatin1Char('0'));
  }
  return out;
}

QString FormatCheckLine(const NumberCheck& check) {
  return OneLineField(check.entry) % QLatin1Char('\t') % KindName(check.kind) % QLatin1Char('\t') %
         check.verdict % QLatin1Char('\t') % OneLineField(check.details);
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
      if (check.half) Member(out, "half", check.half);
    }
    if (check.week) Member(out, "week", check.week);
  }
  out += '}';
  return out;
}

}  // namespace quarvel
