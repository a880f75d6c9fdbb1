#include "platform/core/Date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using core::Date;

constexpr Date::Zone kUtc = Date::Zone::Utc;
constexpr double kFirst = -62167219200;  // 0000-01-01T00:00:00Z
constexpr double kLast = 253402300799;   // 9999-12-31T23:59:59Z
const char* const kFull = "yyyy-MM-dd HH:mm:ss.SSS";

// Times on both sides of the first and last second a property list can hold, a tenth of a
// millisecond apart, so that rounding to the millisecond lands on each side of each edge.
std::vector<double> timesAroundTheEdges() {
  std::vector<double> times;
  for (double edge : {kFirst, kLast + 1}) {
    for (int k = -20; k <= 20; ++k) times.push_back(edge + k * 0.0001);
  }
  return times;
}

TEST(DateFormatTest, MillisecondsAreRoundedNotCut) {
  // 1.001 is stored as 1.00099999...: cutting it wrote ".000".
  EXPECT_EQ(Date(1.001).format("ss.SSS", kUtc), "01.001");
  EXPECT_EQ(Date(1796626800.001).format(kFull, kUtc), "2026-12-07 07:00:00.001");
  EXPECT_EQ(Date(0.0294).format("ss.SSS", kUtc), "00.029");
  EXPECT_EQ(Date(0.0296).format("ss.SSS", kUtc), "00.030");

  // Every millisecond of a second is written as itself and read back as the same time.
  for (double base : {0.0, 1796626800.0, -31536000.0}) {
    for (int k = 0; k < 1000; ++k) {
      char expected[8];
      std::snprintf(expected, sizeof expected, "%03d", k);
      Date d(base + k / 1000.0);
      ASSERT_EQ(d.format("SSS", kUtc), expected) << base << " + " << k << " ms";
      auto back = Date::parse(d.format(kFull, kUtc), kFull, kUtc);
      ASSERT_TRUE(back);
      ASSERT_EQ(back->format(kFull, kUtc), d.format(kFull, kUtc));
    }
  }
}

TEST(DateFormatTest, RoundingCarriesIntoEveryLargerField) {
  EXPECT_EQ(Date(59.9996).format(kFull, kUtc), "1970-01-01 00:01:00.000");
  EXPECT_EQ(Date(3599.9996).format(kFull, kUtc), "1970-01-01 01:00:00.000");
  EXPECT_EQ(Date(86399.9996).format(kFull, kUtc), "1970-01-02 00:00:00.000");
  EXPECT_EQ(Date(1798761599.9996).format(kFull, kUtc), "2027-01-01 00:00:00.000");
  EXPECT_EQ(Date(1798761599.9994).format(kFull, kUtc), "2026-12-31 23:59:59.999");
  // A pattern without milliseconds shows the same second as one with them.
  EXPECT_EQ(Date(59.9996).format("mm:ss", kUtc), "01:00");
  // Before 1970 the fraction still counts forward from the whole second below.
  EXPECT_EQ(Date(-0.0004).format(kFull, kUtc), "1970-01-01 00:00:00.000");
  EXPECT_EQ(Date(-0.0006).format(kFull, kUtc), "1969-12-31 23:59:59.999");
  EXPECT_EQ(Date(-1.25).format(kFull, kUtc), "1969-12-31 23:59:58.750");
}

TEST(DateParseTest, SecondSixtyIsRefusedAtAnyTimeOfDay) {
  for (const char* time : {"12:59:60", "23:59:60", "00:00:60"}) {
    const std::string text = std::string("2026-12-07 ") + time;
    EXPECT_FALSE(Date::parse(text, "yyyy-MM-dd HH:mm:ss", kUtc)) << text;
    EXPECT_FALSE(Date::parse(text, "yyyy-MM-dd HH:mm:ss")) << text;
    EXPECT_FALSE(Date::parse(text + " +0800", "yyyy-MM-dd HH:mm:ss Z")) << text;
    const std::string iso = std::string("2026-12-07T") + time;
    EXPECT_FALSE(Date::parseIso8601(iso + "Z")) << iso;
    EXPECT_FALSE(Date::parseIso8601(iso + ".5+08:00")) << iso;
  }
  EXPECT_EQ(Date::parse("2026-12-07 23:59:59", "yyyy-MM-dd HH:mm:ss", kUtc), Date(1796687999));
  EXPECT_EQ(Date::parseIso8601("2026-12-07T23:59:59Z"), Date(1796687999));
}

TEST(DateIso8601Test, OnlyTheYears0000To9999AreReadOrWritten) {
  // An offset that moves the time past either end would be written as "10000-..." or "-001-...".
  EXPECT_FALSE(Date::parseIso8601("9999-12-31T23:59:59-23:59"));
  EXPECT_FALSE(Date::parseIso8601("9999-12-31T23:00:00-01:00"));
  EXPECT_FALSE(Date::parseIso8601("0000-01-01T00:00:00+00:01"));
  EXPECT_FALSE(Date::parseIso8601("0000-01-01T23:58:59+23:59"));
  // A fraction that rounds up into the year 10000 is refused too.
  EXPECT_FALSE(Date::parseIso8601("9999-12-31T23:59:59.9996Z"));
  EXPECT_FALSE(Date::parseIso8601("9999-12-31T23:59:59.99999999999999999999Z"));

  EXPECT_EQ(Date::parseIso8601("9999-12-31T23:59:59Z"), Date(kLast));
  EXPECT_EQ(Date::parseIso8601("9999-12-31T23:59:59+00:00"), Date(kLast));
  EXPECT_EQ(Date::parseIso8601("0000-01-01T00:00:00Z"), Date(kFirst));
  EXPECT_EQ(Date::parseIso8601("0000-01-01T00:00:00-00:01"), Date(kFirst + 60));
  EXPECT_EQ(Date::parseIso8601("9999-12-31T23:58:59+23:59"), Date(kLast - 86400));
  ASSERT_TRUE(Date::parseIso8601("9999-12-31T23:59:59.999Z"));

  EXPECT_EQ(Date(kLast).iso8601(), "9999-12-31T23:59:59Z");
  EXPECT_EQ(Date(kLast + 0.9994).iso8601(), "9999-12-31T23:59:59Z");
  EXPECT_EQ(Date(kFirst).iso8601(), "0000-01-01T00:00:00Z");
  EXPECT_EQ(Date(kFirst - 0.0004).iso8601(), "0000-01-01T00:00:00Z");
  for (double t : {kLast + 0.9996, kLast + 1, kFirst - 0.0006, kFirst - 1, 1e300, -1e300, HUGE_VAL, -HUGE_VAL,
                   std::nan("")}) {
    EXPECT_EQ(Date(t).iso8601(), std::nullopt) << t;
  }
}

TEST(DateIso8601Test, EveryWrittenDateIsReadBackAsTheSameSecond) {
  std::vector<double> times = timesAroundTheEdges();
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> anywhere(kFirst - 2 * 86400, kLast + 2 * 86400);
  for (int i = 0; i < 20000; ++i) times.push_back(anywhere(random));

  int written = 0;
  for (double t : times) {
    std::optional<std::string> text = Date(t).iso8601();
    if (!text) {
      // Only a time that rounds to a second outside the years 0000-9999 has no text.
      EXPECT_TRUE(t < kFirst - 0.0004 || t > kLast + 0.9994) << std::to_string(t);
      continue;
    }
    ++written;
    std::optional<Date> back = Date::parseIso8601(*text);
    ASSERT_TRUE(back) << *text << " from " << std::to_string(t);
    EXPECT_EQ(back->iso8601(), *text);
    EXPECT_EQ(back->timeIntervalSince1970(), std::floor(back->timeIntervalSince1970()));
    EXPECT_LE(std::fabs(back->timeIntervalSince1970() - t), 1.0) << *text;
  }
  EXPECT_GT(written, 19000);
}

TEST(DateIso8601Test, EveryDateReadCanBeWrittenAgain) {
  // Texts near both ends with any offset: each one is refused, or read as a time that is
  // written and read again unchanged.
  std::mt19937 random(1207);
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  int accepted = 0, refused = 0;
  for (int i = 0; i < 20000; ++i) {
    const bool nearEnd = pick(0, 1) == 1;
    const int year = nearEnd ? 9999 : 0;
    const int month = nearEnd ? 12 : 1;
    const int day = nearEnd ? pick(30, 31) : pick(1, 2);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month, day, pick(0, 23),
                  pick(0, 59), pick(0, 59), pick(0, 999), pick(0, 1) ? '+' : '-', pick(0, 23), pick(0, 59));
    std::optional<Date> d = Date::parseIso8601(text);
    if (!d) {
      ++refused;
      continue;
    }
    ++accepted;
    std::optional<std::string> again = d->iso8601();
    ASSERT_TRUE(again) << text;
    std::optional<Date> back = Date::parseIso8601(*again);
    ASSERT_TRUE(back) << text << " written as " << *again;
    EXPECT_EQ(back->iso8601(), again);
  }
  // Both outcomes are common, so both sides of each edge were tried.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 1000);
}

}  // namespace
