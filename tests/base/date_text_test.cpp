// Dates as the sites write them, as ISO 8601.
#include <gtest/gtest.h>

#include "base/text/date_text.h"

namespace quarvel {
namespace {

TEST(IsoDate, TheFormsASiteWritesAndWhatNamesNoDate) {
  const struct {
    const char* text;
    const char* iso;  // empty: no date
  } cases[] = {
      {"2027年3月18日", "2027-03-18"},
      {"2026年12月30日", "2026-12-30"},
      {" 2025 年 06 月 02 日\n", "2025-06-02"},
      {"２０２７年３月１８日", "2027-03-18"},
      {"2027年3月18", "2027-03-18"},
      {"2028年2月29日", "2028-02-29"},
      {"2027-03-18", "2027-03-18"},
      {"2027/3/8", "2027-03-08"},
      {"2027.12.1", "2027-12-01"},
      {"", ""},
      {"2027年2月29日", ""},  // not a leap year
      {"2027年13月1日", ""},
      {"2027年0月1日", ""},
      {"27年3月18日", ""},
      {"2027年3月", ""},
      {"2027-03/18", ""},
      {"2027年3月18日已过期", ""},
      {"预计到期日：2027年3月18日", ""},
      {"2027年3月18日<BR>", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsoDate(QString::fromUtf8(c.text)), QString::fromUtf8(c.iso)) << c.text;
}

}  // namespace
}  // namespace quarvel
