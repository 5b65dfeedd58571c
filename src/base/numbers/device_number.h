#pragma once

// The offline check of an entry: is it an IMEI, an IMEISV or a handset serial
// number, and is it well formed? No network, no state; microseconds per entry.
#include <QByteArray>
#include <QList>
#include <QString>

namespace quarvel {

enum class NumberKind { Imei, ImeiSv, Serial, Unknown };

// "imei", "imeisv", "serial", "unknown".
QString KindName(NumberKind kind);

// The verdicts: "ok", or what is wrong.
inline constexpr char kVerdictOk[] = "ok";
inline constexpr char kVerdictEmpty[] = "empty";
inline constexpr char kVerdictBadCharacter[] = "bad_character";
inline constexpr char kVerdictBadLength[] = "bad_length";
inline constexpr char kVerdictBadCheckDigit[] = "bad_check_digit";
inline constexpr char kVerdictMissingCheckDigit[] = "missing_check_digit";
// A serial whose date characters are ones its format never uses.
inline constexpr char kVerdictBadDate[] = "bad_date";

// What the check found out about one entry.
struct NumberCheck {
  QString entry;    // as given
  QString compact;  // without separators, letters in upper case, full-width forms narrowed
  NumberKind kind = NumberKind::Unknown;
  QString verdict;  // one of the kVerdict* texts
  QString details;  // one line for people, never a tab or a line break

  int separators = 0;      // spaces (every Unicode space separator) and dashes removed
  bool lowerCase = false;  // lower-case letters were read as upper case
  bool wideForms = false;  // full-width digits or letters were read as ASCII

  // IMEI (15 or 14 digits) and IMEISV (16 digits): type allocation code,
  // serial part, software version.
  QString tac;
  QString snr;
  QString svn;
  int checkDigit = -1;          // as given; -1 when the entry has none
  int expectedCheckDigit = -1;  // computed from the first 14 digits

  // Serial numbers: the length class (10, 11 or 12) and, for the 11- and
  // 12-character formats, the date it was made. `years` holds every year the
  // year character can stand for (empty: not known); `week` is 1 to 53, 0
  // when not known. A date character the format never uses makes the verdict
  // bad_date.
  int format = 0;
  QList<int> years;
  int half = 0;  // 1 or 2 (the 12-character format); 0 when not known
  int week = 0;

  bool Ok() const { return verdict == QLatin1String(kVerdictOk); }
};

NumberCheck CheckNumber(const QString& entry);

// An entry as a batch sends it. Control characters (line ends, NUL, line
// separators ...) and entries longer than kMaxEntryLength are never sent.
// With `check`, an entry must pass CheckNumber (a 14-digit IMEI passes and is
// completed with its check digit) and goes in its compact form; without it,
// the entry goes as given.
struct EntryForLookup {
  bool send = false;
  QString form;    // what the lookup receives
  QString reason;  // why it is not sent
};
inline constexpr int kMaxEntryLength = 64;
EntryForLookup ForLookup(const QString& entry, bool check);

// The Luhn check digit that completes `digits` (ASCII digits only).
int LuhnCheckDigit(QStringView digits);

// True when the last digit of `digits` is the Luhn check digit of the others.
bool LuhnValid(QStringView digits);

// entry, kind, verdict and details, tab-separated, without a line end; the
// entry and the details as OneLineField writes them.
QString FormatCheckLine(const NumberCheck& check);

// One JSON object on one line (UTF-8, no line end).
QByteArray FormatCheckJson(const NumberCheck& check);

// Text safe for one field of a tab-separated line, whatever it holds: a
// backslash, a tab, CR and LF are written \\, \t, \r and \n; the other
// control characters (C0, DEL, C1 such as U+0085) and the line and paragraph
// separators U+2028 and U+2029 as \uXXXX (upper-case hex).
QString OneLineField(const QString& text);

}  // namespace quarvel
