#include "soap/ISO8601Parsing.h"

#include "SoapDateTestSupport.h"
#include "platform/core/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kt {
namespace {

using ISO8601Parsing::dateWithString;
using ISO8601Parsing::kNotFound;
using ISO8601Parsing::Range;
using testing::utc;

struct Case {
  std::string_view text;
  const char* expected;  // UTC; null when the text is refused
  size_t used;           // bytes read after the leading white space
};

// Today is 5 March 2026 and the device's zone is eight hours ahead of UTC, so local midnight of
// 5 March is 2026-03-04T16:00:00Z.
class ISO8601ParsingTest : public testing::FixedNowTest {
 protected:
  void check(const std::vector<Case>& cases, bool strict, char16_t separator = u':') {
    for (const Case& c : cases) {
      Range range;
      const std::optional<core::Date> date = dateWithString(c.text, strict, separator, &range);
      if (!c.expected) {
        EXPECT_EQ(date, std::nullopt) << c.text;
        EXPECT_EQ(range, (Range{kNotFound, 0})) << c.text;
        continue;
      }
      ASSERT_TRUE(date) << c.text;
      EXPECT_EQ(*date, utc(c.expected)) << c.text << " gave " << date->description();
      EXPECT_EQ(range.length, c.used) << c.text;
    }
  }
};

TEST_F(ISO8601ParsingTest, CalendarDates) {
  check({{"2026-03-05", "2026-03-04T16:00:00Z", 10},
         {"20260305", "2026-03-04T16:00:00Z", 8}, {"2026-0305", "2026-03-04T16:00:00Z", 9},
         {"2026-03", "2026-02-28T16:00:00Z", 7}, {"2026", "2025-12-31T16:00:00Z", 4},
         {"2026-", "2025-12-31T16:00:00Z", 5}, {"2026-03-5", "2026-03-04T16:00:00Z", 9},
         {"260305", "2026-03-04T16:00:00Z", 6}, {"26-03", "2026-02-28T16:00:00Z", 5},
         {"26-03-05", "2026-03-04T16:00:00Z", 8}, {"26-0305", "2026-03-04T16:00:00Z", 7},
         {"26-3", "2026-02-28T16:00:00Z", 4}, {"-26", "2025-12-31T16:00:00Z", 3},
         {"-26-03", "2026-02-28T16:00:00Z", 6}, {"-6", "2025-12-31T16:00:00Z", 2},
         {"-2603", "2026-02-28T16:00:00Z", 5}, {"-2603-05", "2026-03-04T16:00:00Z", 8},
         {"--03", "2026-02-28T16:00:00Z", 4}, {"--03-09", "2026-03-08T16:00:00Z", 7},
         {"--0309", "2026-03-08T16:00:00Z", 6}, {"---09", "2026-03-08T16:00:00Z", 5},
         // Fields out of range carry over.
         {"2026-02-30", "2026-03-01T16:00:00Z", 10}, {"2026-13-01", "2026-12-31T16:00:00Z", 10},
         {"2026-00-00", "2025-11-29T16:00:00Z", 10},
         // The reading stops at the first byte no rule takes.
         {"2026-03-05X", "2026-03-04T16:00:00Z", 10}, {"2026-03-05T", "2026-03-04T16:00:00Z", 11}},
        false);
}

TEST_F(ISO8601ParsingTest, OrdinalDates) {
  check({{"2026-064", "2026-03-04T16:00:00Z", 8},
         {"2026064", "2026-03-04T16:00:00Z", 7}, {"26-064", "2026-03-04T16:00:00Z", 6},
         {"-064", "2026-03-04T16:00:00Z", 4}, {"--064", "2026-03-04T16:00:00Z", 5},
         {"2024-366", "2024-12-30T16:00:00Z", 8}, {"2026-366", "2026-12-31T16:00:00Z", 8},
         {"2026-000", "2025-12-30T16:00:00Z", 8}, {"---064", nullptr, 0}},
        false);
  check({{"2026-365", "2026-12-30T16:00:00Z", 8},
         {"2024-366", "2024-12-30T16:00:00Z", 8}, {"2026-366", nullptr, 0},
         {"2026366", nullptr, 0}, {"-366", nullptr, 0},
         {"---064", "2026-03-04T16:00:00Z", 6}},
        true);
}

TEST_F(ISO8601ParsingTest, WeekDates) {
  check({{"2026-W01-4", "2025-12-31T16:00:00Z", 10},
         {"2026W014", "2025-12-31T16:00:00Z", 8}, {"2026-W10-4", "2026-03-04T16:00:00Z", 10},
         {"2026-W10", "2026-03-01T16:00:00Z", 8}, {"2020-W53-7", "2021-01-02T16:00:00Z", 10},
         {"2027-W00-5", "2026-12-31T16:00:00Z", 10}, {"26W104", "2026-03-04T16:00:00Z", 6},
         {"26-W10-4", "2026-03-04T16:00:00Z", 8}, {"-W10-4", "2026-03-04T16:00:00Z", 6},
         {"-W05", "2026-01-25T16:00:00Z", 4}, {"-W-3", "2025-12-30T16:00:00Z", 4},
         {"--W-3", "2025-12-30T16:00:00Z", 5}, {"2026-W", "2025-12-31T16:00:00Z", 6},
         {"-6W10", "2025-12-31T16:00:00Z", 2}, {"W10", nullptr, 0},
         {"--W10", nullptr, 0}},
        false);
  check({{"-6W10", "2026-03-01T16:00:00Z", 5},
         {"-6-W10-4", "2026-03-04T16:00:00Z", 8}, {"2026-W10-4", "2026-03-04T16:00:00Z", 10},
         {"-6", nullptr, 0}, {"6W10", nullptr, 0},
         {"--W-3", nullptr, 0}, {"2026-W", nullptr, 0}},
        true);
}

TEST_F(ISO8601ParsingTest, TimesOfDayAndZones) {
  check({{"2026-03-05T10:20:30Z", "2026-03-05T10:20:30Z", 20},
         {"2026-03-05 10:20:30+05:30", "2026-03-05T04:50:30Z", 25},
         {"2026-03-05T10:20:30-0130", "2026-03-05T11:50:30Z", 24},
         {"2026-03-05T10:20:30+05", "2026-03-05T05:20:30Z", 22}, {"2026-03-05T10:20", "2026-03-05T02:20:00Z", 16},
         {"2026-03-05T10Z", "2026-03-05T10:00:00Z", 14},
         // Without a separator only the hour is read.
         {"20260305T102030Z", "2026-03-05T02:00:00Z", 11},
         // A minute fraction becomes seconds; fractions of a second are dropped.
         {"2026-03-05T10:30.5", "2026-03-05T02:30:30Z", 18}, {"2026-03-05T10:20:15.75", "2026-03-05T02:20:15Z", 22},
         {"2026-03-05T25:00Z", "2026-03-06T01:00:00Z", 17},
         // A sign without digits is passed, and the device's zone stays.
         {"2026-03-05T10:20:30+", "2026-03-05T02:20:30Z", 20},
         // An offset the platform refuses also leaves the device's zone.
         {"2026-03-05T10:20:30+19", "2026-03-05T02:20:30Z", 22}, {"2026-03-05T10:20:30z", "2026-03-05T02:20:30Z", 19},
         // A time of day alone is today's.
         {"T10:20", "2026-03-05T02:20:00Z", 6}, {"T10:20:30+05:30", "2026-03-05T04:50:30Z", 15},
         {"T", nullptr, 0}, {"Tx", nullptr, 0}},
        false);
  // The lenient mode reads another separator; "." and "," take two-digit fields.
  check({{"2026-03-05T10.30.15", "2026-03-05T02:30:15Z", 19},
         {"2026-03-05T10.30.15+05.30", "2026-03-05T05:00:15Z", 25}},
        false, u'.');
  check({{"2026-03-05T10,3,15Z", "2026-03-05T10:03:15Z", 19}}, false, u',');
  // The strict mode always reads ":".
  check({{"2026-03-05T10.30.15", "2026-03-05T02:00:00Z", 13}}, true, u'.');
}

TEST_F(ISO8601ParsingTest, LeadingSpaceZeroBytesAndRefusedTexts) {
  Range range;
  EXPECT_EQ(dateWithString(" \t2026-03-05T10Z", &range), utc("2026-03-05T10:00:00Z"));
  EXPECT_EQ(range, (Range{2, 14}));
  EXPECT_EQ(dateWithString(" 2026-03-05", true, &range), std::nullopt);
  EXPECT_EQ(range, (Range{kNotFound, 0}));
  // A zero byte ends the text.
  EXPECT_EQ(dateWithString(std::string_view("2026-03-05\0T10Z", 15), &range), utc("2026-03-04T16:00:00Z"));
  EXPECT_EQ(range, (Range{0, 10}));
  // A separator never matches the end of the text.
  EXPECT_EQ(dateWithString(std::string_view("T10", 3), u'\0'), utc("2026-03-05T02:00:00Z"));

  check({{"", nullptr, 0},
         {"   ", nullptr, 0}, {"x", nullptr, 0},
         {"2026-2", nullptr, 0}, {"2026-03456", nullptr, 0},
         {"12345", nullptr, 0}, {"123456789", nullptr, 0},
         {"123", nullptr, 0}, {"----05", nullptr, 0},
         {"---2603", nullptr, 0}, {"-202603", nullptr, 0},
         {"26-3", "2026-02-28T16:00:00Z", 4}},
        false);
  check({{"26-3", nullptr, 0}, {"-", nullptr, 0}}, true);
}

// Settled behaviour: a two-digit century names that century's first year, whatever today is;
// -YYMM takes the current century like -YY; long digit runs wrap in 32 bits.
TEST_F(ISO8601ParsingTest, CenturyAndYearDigitsDoNotDependOnTodaysYear) {
  check({{"19", "1899-12-31T16:00:00Z", 2}, {"20-", "1999-12-31T16:00:00Z", 3}}, false);
  setNow("2151-06-01T00:00:00Z");
  check({{"19", "1899-12-31T16:00:00Z", 2},
         {"-2603", "2126-02-28T16:00:00Z", 5}, {"-26", "2125-12-31T16:00:00Z", 3},
         {"260305", "2126-03-04T16:00:00Z", 6}, {"-6", "2155-12-31T16:00:00Z", 2}},
        false);

  // 99999999999 wraps to 1215752191: that many days from 1 March, counted in whole days.
  const auto date = dateWithString("2026-03-99999999999");
  ASSERT_TRUE(date);
  EXPECT_EQ(*date, utc("2026-02-28T16:00:00Z") + 1215752190.0 * 86400);
}

TEST_F(ISO8601ParsingTest, DeviceZoneWithSummerTime) {
  setZone("EST5EDT,M3.2.0,M11.1.0");
  EXPECT_EQ(dateWithString("2026-07-01T12:00"), utc("2026-07-01T16:00:00Z"));
  EXPECT_EQ(dateWithString("2026-01-01T12:00"), utc("2026-01-01T17:00:00Z"));
  EXPECT_EQ(dateWithString("2026-07-01T12:00Z"), utc("2026-07-01T12:00:00Z"));
}

TEST_F(ISO8601ParsingTest, DiagnosticLines) {
  std::vector<std::string> lines;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { lines.push_back(line); });
  dateWithString("-26-03");
  dateWithString("26-0305T10");
  core::setLogSink(previous);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "(-26-03) found 2 digits and one hyphen, so this is either -YY or -YY-MM; segment (year) is 26",
                       "(-26-03) month is 3",
                       "(26-0305T10) parsing month; segment is 305 and ch is T10",
                   }));
}

}  // namespace
}  // namespace kt
