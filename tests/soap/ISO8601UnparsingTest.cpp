#include "soap/ISO8601Unparsing.h"

#include "SoapDateTestSupport.h"
#include "soap/ISO8601Parsing.h"

#include <gtest/gtest.h>

namespace kt {
namespace {

using namespace ISO8601Unparsing;
using testing::utc;

class ISO8601UnparsingTest : public testing::FixedNowTest {};

TEST_F(ISO8601UnparsingTest, TheThreeFormsWithAndWithoutTime) {
  const core::Date date = utc("2026-03-05T10:20:30Z");
  EXPECT_EQ(ISO8601DateString(date), "2026-03-05T10:20:30Z");
  EXPECT_EQ(ISO8601DateStringWithTime(date, false), "2026-03-05");
  EXPECT_EQ(ISO8601WeekDateString(date), "2026-W10-04T10:20:30Z");
  EXPECT_EQ(ISO8601WeekDateStringWithTime(date, false), "2026-W10-04");
  EXPECT_EQ(ISO8601OrdinalDateString(date), "2026-064T10:20:30Z");
  EXPECT_EQ(ISO8601OrdinalDateStringWithTime(utc("2026-01-05T10:20:30Z"), false), "2026-005");

  // Always in UTC: late evening five hours behind UTC is already the next morning.
  const core::Date evening = utc("2026-03-06T04:30:00Z");  // 23:30 on 5 March at -05:00
  setZone("EST5");
  EXPECT_EQ(ISO8601DateString(evening), "2026-03-06T04:30:00Z");
  EXPECT_EQ(ISO8601DateStringWithTime(evening, false), "2026-03-06");
  EXPECT_EQ(ISO8601WeekDateString(evening), "2026-W10-05T04:30:00Z");
  EXPECT_EQ(ISO8601OrdinalDateString(evening), "2026-065T04:30:00Z");
}

TEST_F(ISO8601UnparsingTest, TimeSeparators) {
  const core::Date date = utc("2026-03-05T10:20:30Z");
  EXPECT_EQ(ISO8601DateStringWithTimeSeparator(date, u'.'), "2026-03-05T10.20.30Z");
  EXPECT_EQ(ISO8601WeekDateStringWithTimeSeparator(date, u'.'), "2026-W10-04T10.20.30Z");
  EXPECT_EQ(ISO8601OrdinalDateStringWithTime(date, true, u'\u65f6'), "2026-064T10\u65f620\u65f630Z");
  // The separator goes into the pattern as it is: a quote makes the minutes literal text.
  EXPECT_EQ(ISO8601DateStringWithTimeSeparator(date, u'\''), "2026-03-05T10mm30Z");

  EXPECT_EQ(prepareDateFormatWithTimeSeparator("HH:mm:ss", u':'), "HH:mm:ss");
  EXPECT_EQ(prepareDateFormatWithTimeSeparator("'T'HH:mm:ss'Z'", u'-'), "'T'HH-mm-ss'Z'");
  EXPECT_EQ(prepareDateFormatWithTimeSeparator("a:b", u'\xe9'), "a\xc3\xa9" "b");
}

TEST_F(ISO8601UnparsingTest, WeeksAroundTheTurnOfTheYear) {
  const std::pair<const char*, const char*> cases[] = {
      {"2027-01-01T00:00:00Z", "2026-W53-05"},  // a Friday; 2026 begins on a Thursday
      {"2025-12-29T00:00:00Z", "2026-W01-01"},  // a Monday
      {"2026-01-02T00:00:00Z", "2026-W01-05"},
      {"2021-01-03T00:00:00Z", "2020-W53-07"},  // a Sunday
      {"2016-01-01T00:00:00Z", "2015-W53-05"},
      {"2005-01-01T00:00:00Z", "2004-W53-06"},  // a Saturday after a leap year
      {"2011-01-01T00:00:00Z", "2010-W52-06"},  // a Saturday after a common year
      {"2024-12-30T00:00:00Z", "2025-W01-01"},
      {"2019-12-31T00:00:00Z", "2020-W01-02"},
      {"2026-12-31T00:00:00Z", "2026-W53-04"},
  };
  for (const auto& [date, week] : cases) {
    EXPECT_EQ(ISO8601WeekDateStringWithTime(utc(date), false), week) << date;
  }
}

// What the writer writes, the reader reads back as the same time: every form, every day of
// several years, at a time that moves through the day.
TEST_F(ISO8601UnparsingTest, WrittenFormsReadBack) {
  const double first = utc("1999-12-01T00:00:00Z").timeIntervalSince1970();
  const double last = utc("2033-02-01T00:00:00Z").timeIntervalSince1970();
  int checked = 0;
  for (double t = first; t < last; t += 86400 + 3607) {
    const core::Date date(t);
    for (const std::string& text : {ISO8601DateString(date), ISO8601WeekDateString(date),
                                    ISO8601OrdinalDateString(date), ISO8601DateStringWithTimeSeparator(date, u'.')}) {
      const bool dotted = text.find('.') != std::string::npos;
      EXPECT_EQ(ISO8601Parsing::dateWithString(text, dotted ? u'.' : u':'), date) << text;
    }
    ++checked;
  }
  EXPECT_GT(checked, 10000);
  // Without the time, the date alone is midnight in the device's zone.
  EXPECT_EQ(ISO8601Parsing::dateWithString(ISO8601WeekDateStringWithTime(utc("2026-03-05T10:20:30Z"), false)),
            utc("2026-03-04T16:00:00Z"));
}

}  // namespace
}  // namespace kt
