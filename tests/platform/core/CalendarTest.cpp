#include "platform/core/Calendar.h"

#include "platform/core/Clock.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace {

using core::Calendar;
using core::Date;
using core::TimeZone;

Date utc(const char* text) { return *Date::parseIso8601(text); }

// The device's zone for one test, in POSIX form so that no zone database is needed.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) : m_env("TZ", tz) { tzset(); }
  ~ScopedTimeZone() { tzset(); }

 private:
  support::ScopedEnv m_env;
};

TEST(CalendarTest, SplitsDatesIntoFieldsInItsZone) {
  ScopedTimeZone zone("CST-8");
  const Calendar::Components c = Calendar().components(utc("2026-03-04T16:20:30Z"));
  EXPECT_EQ(c.year, 2026);
  EXPECT_EQ(c.month, 3);
  EXPECT_EQ(c.day, 5);
  EXPECT_EQ(c.hour, 0);
  EXPECT_EQ(c.minute, 20);
  EXPECT_EQ(c.second, 30);
  EXPECT_EQ(c.weekday, 5);  // Thursday
  EXPECT_EQ(c.dayOfYear, 64);

  const Calendar::Components u = Calendar(TimeZone::utc()).components(utc("2026-03-04T16:20:30Z"));
  EXPECT_EQ(u.day, 4);
  EXPECT_EQ(u.hour, 16);

  // Before 1970, and in a leap year's last day.
  const Calendar::Components old = Calendar(TimeZone::utc()).components(utc("1600-12-31T23:59:59Z"));
  EXPECT_EQ(old.year, 1600);
  EXPECT_EQ(old.dayOfYear, 366);
  EXPECT_EQ(old.weekday, 1);  // Sunday
  EXPECT_EQ(old.second, 59);

  // Not a number, and far beyond any year, still give fields.
  EXPECT_EQ(Calendar(TimeZone::utc()).components(Date(std::nan(""))).year, 1970);
  EXPECT_GT(Calendar(TimeZone::utc()).components(Date(1e300)).year, 3000000000);
}

TEST(CalendarTest, FieldsOutOfRangeCarryIntoTheNextField) {
  const Calendar calendar(TimeZone::utc());
  EXPECT_EQ(calendar.dateFromComponents(2026, 3, 5, 10, 20, 30), utc("2026-03-05T10:20:30Z"));
  EXPECT_EQ(calendar.dateFromComponents(2026, 13, 1), utc("2027-01-01T00:00:00Z"));
  EXPECT_EQ(calendar.dateFromComponents(2026, 0, 0), utc("2025-11-30T00:00:00Z"));
  EXPECT_EQ(calendar.dateFromComponents(2026, 2, 30), utc("2026-03-02T00:00:00Z"));
  EXPECT_EQ(calendar.dateFromComponents(2024, 2, 30), utc("2024-03-01T00:00:00Z"));
  EXPECT_EQ(calendar.dateFromComponents(2026, 1, -1), utc("2025-12-30T00:00:00Z"));
  EXPECT_EQ(calendar.dateFromComponents(2026, 3, 5, 25, 61, 61), utc("2026-03-06T02:02:01Z"));
  for (int64_t leap : {2024, 2000, 0, -4}) EXPECT_EQ(Calendar::daysInYear(leap), 366) << leap;
  for (int64_t common : {2026, 1900, -1}) EXPECT_EQ(Calendar::daysInYear(common), 365) << common;
  // Fields as large as 32 bits go through without overflow.
  EXPECT_EQ(calendar.dateFromComponents(1970, 1, 1 + 4294967295LL).timeIntervalSince1970(), 4294967295.0 * 86400);
}

TEST(CalendarTest, LocalTimesFollowTheZonesRules) {
  ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
  const Calendar calendar;
  EXPECT_EQ(calendar.dateFromComponents(2026, 1, 15, 12), utc("2026-01-15T17:00:00Z"));
  EXPECT_EQ(calendar.dateFromComponents(2026, 7, 15, 12), utc("2026-07-15T16:00:00Z"));
  // 2:30 on 8 March 2026 does not exist: the clocks go from 2:00 to 3:00.
  EXPECT_EQ(calendar.dateFromComponents(2026, 3, 8, 2, 30), utc("2026-03-08T07:30:00Z"));
  EXPECT_EQ(calendar.components(utc("2026-03-08T07:30:00Z")).hour, 3);
  // 1:30 on 1 November 2026 comes twice: the first, still in summer time, is taken.
  EXPECT_EQ(calendar.dateFromComponents(2026, 11, 1, 1, 30), utc("2026-11-01T05:30:00Z"));

  // East of UTC the same holds: 2:30 on 29 March 2026 is skipped there.
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  EXPECT_EQ(calendar.dateFromComponents(2026, 3, 29, 2, 30), utc("2026-03-29T01:30:00Z"));
  EXPECT_EQ(calendar.dateFromComponents(2026, 10, 25, 2, 30), utc("2026-10-25T00:30:00Z"));

  Calendar fixed;
  fixed.setTimeZone(*TimeZone::timeZoneForSecondsFromGMT(5 * 3600 + 1800));
  EXPECT_EQ(fixed.dateFromComponents(2026, 7, 15, 12), utc("2026-07-15T06:30:00Z"));
}

TEST(TimeZoneTest, FixedOffsetsReachEighteenHoursEitherWay) {
  EXPECT_EQ(TimeZone::timeZoneForSecondsFromGMT(18 * 3600)->secondsFromGMT(0), 18 * 3600);
  EXPECT_EQ(TimeZone::timeZoneForSecondsFromGMT(-18 * 3600)->secondsFromGMT(0), -18 * 3600);
  EXPECT_FALSE(TimeZone::timeZoneForSecondsFromGMT(18 * 3600 + 1));
  EXPECT_FALSE(TimeZone::timeZoneForSecondsFromGMT(-18 * 3600 - 1));
}

TEST(ClockTest, TestsCanFixTheWallClockInVirtualMode) {
  // The clock only moves forward: earlier moves (other tests, earlier repeats) stay, so the test
  // measures against where it finds the clock, and leaves the mode as it found it.
  const bool wasVirtual = core::Clock::isVirtual();
  core::Clock::setVirtual(false);
  core::Clock::setWallNow(1000);  // ignored outside virtual mode
  EXPECT_GT(core::Clock::wallNow(), 1e9);
  const double ahead = core::Clock::wallNow() - static_cast<double>(std::time(nullptr));

  core::Clock::setVirtual(true);
  const double now = core::Clock::now();
  core::Clock::setWallNow(1772712000);
  EXPECT_NEAR(Date::now().timeIntervalSince1970(), 1772712000, 0.001);
  EXPECT_EQ(core::Clock::now(), now);
  core::Clock::advance(60);
  EXPECT_NEAR(Date::now().timeIntervalSince1970(), 1772712060, 0.001);

  // Back to the real date, with the minute the clock was moved on.
  core::Clock::setVirtual(false);
  EXPECT_NEAR(core::Clock::wallNow(), static_cast<double>(std::time(nullptr)) + ahead + 60, 5);
  core::Clock::setVirtual(wasVirtual);
}

}  // namespace
