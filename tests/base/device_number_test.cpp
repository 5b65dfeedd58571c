// The offline check against hand-worked numbers and known-bad ones.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "base/numbers/device_number.h"

namespace quarvel {
namespace {

TEST(Luhn, HandWorkedCheckDigits) {
  // 4 9 0 1 5 4 2 0 3 2 3 7 5 1: every second digit from the right doubled
  // (1 7 2 0 4 1 9 -> 2 14 4 0 8 2 18, digit sums 2+5+4+0+8+2+9 = 30), the
  // others added as they are (5+3+3+2+5+0+4 = 22): 52, so 8 makes 60.
  EXPECT_EQ(LuhnCheckDigit(u"49015420323751"), 8);
  EXPECT_EQ(LuhnCheckDigit(u"35678910452367"), 3);
  EXPECT_EQ(LuhnCheckDigit(u"01275800989603"), 5);
  EXPECT_EQ(LuhnCheckDigit(u"0000000000000"), 0);
  EXPECT_TRUE(LuhnValid(u"79927398713"));
  EXPECT_FALSE(LuhnValid(u"79927398710"));
  EXPECT_FALSE(LuhnValid(u"5"));
}

TEST(Luhn, EverySingleDigitErrorAndMostSwapsAreCaught) {
  const QString good = QStringLiteral("356789104523673");
  ASSERT_TRUE(LuhnValid(good));
  for (int i = 0; i < good.size(); ++i) {
    for (char d = '0'; d <= '9'; ++d) {
      if (good[i] == QLatin1Char(d)) continue;
      QString typo = good;
      typo[i] = QLatin1Char(d);
      EXPECT_FALSE(LuhnValid(typo)) << typo.toStdString();
    }
  }
  for (int i = 0; i + 1 < good.size(); ++i) {
    QString swapped = good;
    std::swap(swapped[i], swapped[i + 1]);
    if (swapped == good || (good.mid(i, 2) == u"09" || good.mid(i, 2) == u"90")) continue;
    EXPECT_FALSE(LuhnValid(swapped)) << swapped.toStdString();
  }
}

TEST(CheckNumber, FifteenDigitsAreAnImeiWithItsSplitAndCheckDigit) {
  const NumberCheck good = CheckNumber(QStringLiteral("356789104523673"));
  EXPECT_EQ(good.kind, NumberKind::Imei);
  EXPECT_EQ(good.verdict, kVerdictOk);
  EXPECT_EQ(good.tac, QStringLiteral("35678910"));
  EXPECT_EQ(good.snr, QStringLiteral("452367"));
  EXPECT_EQ(good.checkDigit, 3);
  EXPECT_EQ(good.details, QStringLiteral("TAC 35678910, serial 452367, check digit 3"));

  // The number the demo used to ship fails its own check digit.
  const NumberCheck bad = CheckNumber(QStringLiteral("356789104523671"));
  EXPECT_EQ(bad.kind, NumberKind::Imei);
  EXPECT_EQ(bad.verdict, kVerdictBadCheckDigit);
  EXPECT_EQ(bad.checkDigit, 1);
  EXPECT_EQ(bad.expectedCheckDigit, 3);
  EXPECT_TRUE(bad.details.endsWith(QStringLiteral("check digit 1 (should be 3)")));
  EXPECT_TRUE(CheckNumber(QStringLiteral("012758009896035")).Ok());
}

TEST(CheckNumber, FourteenDigitsGetTheirCheckDigitAndSixteenAreAnImeisv) {
  const NumberCheck short_ = CheckNumber(QStringLiteral("35678910452367"));
  EXPECT_EQ(short_.kind, NumberKind::Imei);
  EXPECT_EQ(short_.verdict, kVerdictMissingCheckDigit);
  EXPECT_EQ(short_.expectedCheckDigit, 3);
  EXPECT_EQ(short_.checkDigit, -1);
  EXPECT_TRUE(short_.details.contains(QStringLiteral("it is 3 (356789104523673)")));

  const NumberCheck sv = CheckNumber(QStringLiteral("3567891045236712"));
  EXPECT_EQ(sv.kind, NumberKind::ImeiSv);
  EXPECT_EQ(sv.verdict, kVerdictOk);
  EXPECT_EQ(sv.svn, QStringLiteral("12"));
  EXPECT_EQ(sv.snr, QStringLiteral("452367"));
  EXPECT_TRUE(
      sv.details.contains(QStringLiteral("software version 12; the IMEI is 356789104523673")));

  for (const QString& wrong : QStringList{"3567891045236", "35678910452367123", "1"}) {
    const NumberCheck check = CheckNumber(wrong);
    EXPECT_EQ(check.kind, NumberKind::Unknown) << wrong.toStdString();
    EXPECT_EQ(check.verdict, kVerdictBadLength) << wrong.toStdString();
    EXPECT_TRUE(check.details.startsWith(QString::number(wrong.size()) +
                                         (wrong.size() == 1 ? " digit;" : " digits;")));
  }
}

TEST(CheckNumber, SeparatorsWideFormsAndLowerCaseAreAcceptedAndReported) {
  for (const QString& typed : QStringList{"35-678910-452367-3", "35 678910 452367 3",
                                          "35\u2013678910\u00A0452367\u205F3"}) {
    const NumberCheck check = CheckNumber(typed);
    EXPECT_EQ(check.verdict, kVerdictOk) << typed.toStdString();
    EXPECT_EQ(check.compact, QStringLiteral("356789104523673"));
    EXPECT_EQ(check.separators, 3);
    EXPECT_TRUE(check.details.endsWith(QStringLiteral("; 3 separators removed")));
    EXPECT_EQ(check.entry, typed);
  }
  EXPECT_TRUE(
      CheckNumber(QStringLiteral("3567891045236-73")).details.endsWith(u"1 separator removed"));

  const NumberCheck wide = CheckNumber(QStringLiteral("３５６７８９１０４５２３６７３"));
  EXPECT_EQ(wide.verdict, kVerdictOk);
  EXPECT_TRUE(wide.wideForms);
  const NumberCheck lower = CheckNumber(QStringLiteral("c39xk0abhg7f"));
  EXPECT_EQ(lower.verdict, kVerdictOk);
  EXPECT_TRUE(lower.lowerCase);
  EXPECT_EQ(lower.compact, QStringLiteral("C39XK0ABHG7F"));
  EXPECT_TRUE(lower.details.endsWith(QStringLiteral("lower case read as upper case")));

  const NumberCheck blank = CheckNumber(QStringLiteral(" - "));
  EXPECT_EQ(blank.verdict, kVerdictEmpty);
  EXPECT_EQ(CheckNumber(QString()).verdict, kVerdictEmpty);
}

TEST(CheckNumber, TwelveCharacterSerialsDecodeTheirYearAndWeek) {
  struct Case {
    const char* serial;
    QList<int> years;
    int half;
    int week;
  };
  // Character 4 is the year and half, character 5 the week in that half.
  const Case cases[] = {
      {"C39XK0ABHG7F", {2018}, 2, 42},        // X: 2018 second half; K: 16th, + 26
      {"DNPQ2LL8JCLM", {2015}, 2, 28},        // Q: 2015 second half; 2: + 26
      {"F17ZP1QWN73D", {2019}, 2, 46},        // Z: 2019 second half; P: 20th
      {"G6TC91ABCDEF", {2010, 2020}, 1, 9},   // C repeats ten years later
      {"ABCGY1234567", {2011, 2021}, 2, 53},  // Y: the 27th week character
      {"ABCHY1234567", {2012}, 1, 27},        // H was not reached again
      {"ABCT11234567", {2017}, 1, 1},
  };
  for (const Case& c : cases) {
    const NumberCheck check = CheckNumber(QString::fromLatin1(c.serial));
    EXPECT_EQ(check.kind, NumberKind::Serial) << c.serial;
    EXPECT_EQ(check.verdict, kVerdictOk) << c.serial;
    EXPECT_EQ(check.format, 12);
    EXPECT_EQ(check.years, c.years) << c.serial;
    EXPECT_EQ(check.half, c.half) << c.serial;
    EXPECT_EQ(check.week, c.week) << c.serial;
  }
  EXPECT_EQ(CheckNumber(QStringLiteral("C39XK0ABHG7F")).details,
            QStringLiteral("12-character format (factory C39, date XK, unit 0AB, model HG7F): "
                           "made in 2018, week 42"));
  EXPECT_TRUE(CheckNumber(QStringLiteral("G6TC91ABCDEF"))
                  .details.endsWith(u"made in 2010 or 2020, week 9"));
}

// Entry -> kind, verdict, a part of the details, and the date decoded.
TEST(CheckNumber, TheTableOfEntries) {
  struct Row {
    const char16_t* entry;
    NumberKind kind;
    const char* verdict;
    const char16_t* details;
    QList<int> years = {};
    int week = 0;
  };
  const NumberKind serial = NumberKind::Serial;
  const Row rows[] = {
      // Date characters the 12-character format never uses.
      {u"C39OI0ABHG7F", serial, kVerdictBadDate,
       u": year character 'O' is never used; week character 'I' is never used"},
      {u"C39AK0ABHG7F", serial, kVerdictBadDate, u": year character 'A' is never used"},
      {u"C39BK0ABHG7F", serial, kVerdictBadDate, u"year character 'B'"},
      {u"C39EK0ABHG7F", serial, kVerdictBadDate, u"year character 'E'"},
      {u"C39UK0ABHG7F", serial, kVerdictBadDate, u"year character 'U'"},
      {u"C3911ABCDEFG", serial, kVerdictBadDate, u"year character '1' is never used"},
      {u"C39X0ABCHG7F",
       serial,
       kVerdictBadDate,
       u": the second half of 2018, but week character '0' is never used",
       {2018}},
      {u"C39XSABCHG7F", serial, kVerdictBadDate, u"week character 'S'", {2018}},
      {u"C39XZABCHG7F", serial, kVerdictBadDate, u"week character 'Z'", {2018}},
      {u"C39XAABCHG7F", serial, kVerdictBadDate, u"week character 'A'", {2018}},
      // The 11-character format: year digit, then two week digits.
      {u"W8812345ABC",
       serial,
       kVerdictOk,
       u"11-character format (factory W8, date 812, unit 345, model ABC): made in 2008, week 12",
       {2008},
       12},
      {u"YM353ABCDEF", serial, kVerdictOk, u"made in 2003, week 53", {2003}, 53},
      {u"4H901ABCDEF", serial, kVerdictOk, u"made in 2009, week 1", {2009}, 1},
      {u"W8012345ABC", serial, kVerdictOk, u"made in 2000 or 2010, week 12", {2000, 2010}, 12},
      {u"W8252345ABC", serial, kVerdictOk, u"made in 2002 or 2012, week 52", {2002, 2012}, 52},
      {u"W8X12345ABC", serial, kVerdictBadDate, u": year character 'X' is never used"},
      {u"W8800345ABC", serial, kVerdictBadDate, u"week '00' is never used"},
      {u"W8854345ABC", serial, kVerdictBadDate, u"week '54' is never used"},
      {u"W88A2345ABC", serial, kVerdictBadDate, u"week 'A2' is never used"},
      // Every space separator is one; other invisible characters are not.
      {u"C39XK0\u2000ABHG7F\u200A", serial, kVerdictOk, u"; 2 separators removed", {2018}, 42},
      {u"35\u1680678910\u202F452367\u205F3", NumberKind::Imei, kVerdictOk, u"3 separators"},
      {u"C39XK0\u200BABHG7F", serial, kVerdictBadCharacter, u"U+200B at position 7"},
      {u"C39XK0\u2028ABHG7F", serial, kVerdictBadCharacter, u"U+2028 at position 7"},
      // A tab is refused, and neither it nor a line end counts toward the kind.
      {u"C39XK0\tABHG7F", serial, kVerdictBadCharacter, u"U+0009 at position 7"},
      {u"3567891045\t23673", NumberKind::Imei, kVerdictBadCharacter, u"U+0009 at position 11"},
      {u"356789104523673\n", NumberKind::Imei, kVerdictBadCharacter, u"U+000A at position 16"},
      {u"356789104523673\r\n", NumberKind::Imei, kVerdictBadCharacter, u"U+000D"},
  };
  for (const Row& row : rows) {
    const QString entry = QString::fromUtf16(row.entry);
    const NumberCheck check = CheckNumber(entry);
    const std::string name = entry.toStdString();
    EXPECT_EQ(check.kind, row.kind) << name;
    EXPECT_EQ(check.verdict, QLatin1String(row.verdict)) << name;
    EXPECT_TRUE(check.details.contains(QString::fromUtf16(row.details)))
        << check.details.toStdString();
    EXPECT_EQ(check.years, row.years) << name;
    EXPECT_EQ(check.week, row.week) << name;
  }

  // Every character the published decoders refuse, and only those.
  const QString neverYear = QStringLiteral("0123456789ABEIOU");
  const QString neverWeek = QStringLiteral("0ABEIOUSZ");
  for (char c = '0'; c <= 'Z'; c = c == '9' ? 'A' : c + 1) {
    const QString year = QStringLiteral("C39%1K0ABHG7F").arg(QLatin1Char(c));
    EXPECT_EQ(CheckNumber(year).Ok(), !neverYear.contains(QLatin1Char(c))) << year.toStdString();
    const QString week = QStringLiteral("C39X") + QLatin1Char(c) + QStringLiteral("0ABHG7F");
    EXPECT_EQ(CheckNumber(week).Ok(), !neverWeek.contains(QLatin1Char(c))) << week.toStdString();
  }
  // Every Unicode space separator alike.
  for (const char16_t space : {u' ', u'\u00A0', u'\u1680', u'\u2000', u'\u2005', u'\u2009',
                               u'\u200A', u'\u202F', u'\u205F', u'\u3000'})
    EXPECT_EQ(
        CheckNumber(QStringLiteral("C39XK0") + QChar(space) + QStringLiteral("ABHG7F")).separators,
        1)
        << static_cast<int>(space);
}

TEST(CheckNumber, SerialLengthClassesAndCharacterSet) {
  const NumberCheck eleven = CheckNumber(QStringLiteral("W8815ABCXYZ"));
  EXPECT_EQ(eleven.kind, NumberKind::Serial);
  EXPECT_EQ(eleven.format, 11);
  EXPECT_TRUE(eleven.Ok());
  EXPECT_EQ(eleven.years, QList<int>{2008});
  EXPECT_EQ(eleven.week, 15);
  const NumberCheck ten = CheckNumber(QStringLiteral("H7QX9P2LMN"));
  EXPECT_EQ(ten.format, 10);
  EXPECT_TRUE(ten.Ok());

  for (const QString& wrong : QStringList{"C39XK0ABH", "C39XK0ABHG7FX", "ABC"}) {
    const NumberCheck check = CheckNumber(wrong);
    EXPECT_EQ(check.kind, NumberKind::Unknown) << wrong.toStdString();
    EXPECT_EQ(check.verdict, kVerdictBadLength) << wrong.toStdString();
  }

  const NumberCheck underscore = CheckNumber(QStringLiteral("C39XK0AB_G7F"));
  EXPECT_EQ(underscore.kind, NumberKind::Serial);
  EXPECT_EQ(underscore.verdict, kVerdictBadCharacter);
  EXPECT_EQ(underscore.details,
            QStringLiteral("'_' at position 9 is not a letter, a digit or a separator"));
  const NumberCheck chinese = CheckNumber(QStringLiteral("查询"));
  EXPECT_EQ(chinese.kind, NumberKind::Unknown);
  EXPECT_TRUE(chinese.details.startsWith(QStringLiteral("'查' at position 1")));
  const NumberCheck control = CheckNumber(QStringLiteral("35678910\n452367"));
  EXPECT_EQ(control.kind, NumberKind::Imei);
  EXPECT_EQ(control.verdict, kVerdictBadCharacter);
  EXPECT_TRUE(control.details.startsWith(QStringLiteral("U+000A at position 9")));
  // A character outside the basic plane counts once.
  const NumberCheck emoji = CheckNumber(QStringLiteral("C39XK0ABHG7\U0001F600"));
  EXPECT_EQ(emoji.kind, NumberKind::Serial);
  EXPECT_EQ(emoji.verdict, kVerdictBadCharacter);
}

TEST(CheckNumber, TheTabLineHasFourFieldsWhateverTheEntryHolds) {
  EXPECT_EQ(
      FormatCheckLine(CheckNumber(QStringLiteral("356789104523673"))),
      QStringLiteral("356789104523673\timei\tok\tTAC 35678910, serial 452367, check digit 3"));
  for (const QString& entry :
       QStringList{"3567891\t04523673", "a\nb\rc", "\u2028x", "x\u0085\u2029\u009F\u000B"}) {
    const QString line = FormatCheckLine(CheckNumber(entry));
    EXPECT_EQ(line.count(QLatin1Char('\t')), 3) << entry.toStdString();
    for (const QChar c : line)
      EXPECT_FALSE(c.unicode() < 0x20 && c != QLatin1Char('\t')) << line.toStdString();
    EXPECT_FALSE(line.contains(QChar(0x85)) || line.contains(QChar(0x2028)) ||
                 line.contains(QChar(0x2029)));
  }
  EXPECT_EQ(
      FormatCheckLine(CheckNumber(QStringLiteral("a\\\u2028\u0085\tb\n"))),
      QStringLiteral("a\\\\\\u2028\\u0085\\tb\\n\tunknown\tbad_character\t'\\\\' at position 2 "
                     "is not a letter, a digit or a separator; lower case read as upper case"));
}

TEST(CheckNumber, TheJsonLineParsesBackToTheSameValues) {
  for (const QString& entry : QStringList{"35-678910-452367-3", "3567891045236712", "C39XK0ABHG7F",
                                          "\"q\\\u0001查\U0001F600"}) {
    const NumberCheck check = CheckNumber(entry);
    const QByteArray line = FormatCheckJson(check);
    EXPECT_FALSE(line.contains('\n'));
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line.constData();
    EXPECT_EQ(object.value("entry").toString(), entry);
    EXPECT_EQ(object.value("kind").toString(), KindName(check.kind));
    EXPECT_EQ(object.value("verdict").toString(), check.verdict);
    EXPECT_EQ(object.value("details").toString(), check.details);
  }
  const QJsonObject imei =
      QJsonDocument::fromJson(FormatCheckJson(CheckNumber(QStringLiteral("356789104523671"))))
          .object();
  EXPECT_EQ(imei.value("tac").toString(), QStringLiteral("35678910"));
  EXPECT_EQ(imei.value("check_digit").toInt(), 1);
  EXPECT_EQ(imei.value("expected_check_digit").toInt(), 3);
  const QJsonObject serial =
      QJsonDocument::fromJson(FormatCheckJson(CheckNumber(QStringLiteral("G6TC91ABCDEF"))))
          .object();
  EXPECT_EQ(serial.value("years").toVariant().toList(), (QVariantList{2010, 2020}));
  EXPECT_EQ(serial.value("week").toInt(), 9);
}

}  // namespace
}  // namespace quarvel

namespace quarvel {
namespace {

TEST(ForLookup, EntriesGoCleanOrNotAtAll) {
  struct Case {
    const char16_t* entry;
    bool check;
    bool send;
    const char16_t* form;  // or a part of the reason
  };
  const Case cases[] = {
      {u"C39XK0ABHG7F", true, true, u"C39XK0ABHG7F"},
      {u"c39xk0abhg7f", true, true, u"C39XK0ABHG7F"},
      {u"C39 XK0 ABH G7F", true, true, u"C39XK0ABHG7F"},
      {u"C39-XK0-ABHG7F", true, true, u"C39XK0ABHG7F"},
      {u"Ｃ３９ＸＫ０ＡＢＨＧ７Ｆ", true, true, u"C39XK0ABHG7F"},
      {u"35678910452367", true, true, u"356789104523673"},  // completed
      {u"356789104523674", true, false, u"bad_check_digit"},
      {u"abc", true, false, u"bad_length"},
      {u"bad!", true, false, u"offline check"},
      {u"abc", false, true, u"abc"},  // without the check: as given
      {u"C39XK0\nABHG7F", false, false, u"control character"},
      {u"C39XK0\u2028ABHG7F", true, false, u"control character"},
      {u"C39XK0\0ABHG7F", true, false, u"control character"},
  };
  for (const Case& c : cases) {
    const QString entry = QString::fromUtf16(c.entry, c.entry == cases[12].entry ? 13 : -1);
    const EntryForLookup out = ForLookup(entry, c.check);
    EXPECT_EQ(out.send, c.send) << entry.toStdString();
    if (c.send)
      EXPECT_EQ(out.form, QString::fromUtf16(c.form)) << entry.toStdString();
    else
      EXPECT_TRUE(out.reason.contains(QString::fromUtf16(c.form))) << out.reason.toStdString();
  }
  EXPECT_FALSE(ForLookup(QString(65, u'A'), false).send);  // overlong, even unchecked
  EXPECT_TRUE(ForLookup(QString(64, u'A'), false).send);
}

}  // namespace
}  // namespace quarvel
