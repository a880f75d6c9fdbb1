#pragma once

#include "platform/core/Date.h"
#include "platform/core/TimeZone.h"

#include <cstdint>

namespace core {

// The Gregorian calendar in a time zone. Its rules hold for every year, those before 1582 and
// year 0 (1 BC) included. Whole seconds: fractions of a second are dropped when a date is split.
class Calendar {
 public:
  struct Components {
    int64_t year = 0;
    int64_t month = 0;  // 1-12
    int64_t day = 0;    // 1-31
    int64_t hour = 0;
    int64_t minute = 0;
    int64_t second = 0;
    int weekday = 0;    // 1 = Sunday ... 7 = Saturday
    int dayOfYear = 0;  // 1 = 1 January
  };

  explicit Calendar(TimeZone zone = TimeZone::defaultTimeZone()) : m_zone(zone) {}

  const TimeZone& timeZone() const { return m_zone; }
  void setTimeZone(const TimeZone& zone) { m_zone = zone; }

  // The date's fields in the calendar's zone. Times beyond about three billion years either way
  // are read as that limit, and a time that is not a number as 1970.
  Components components(const Date& date) const;

  // Lenient: a field beyond its range carries into the next larger one (month 13 is January of
  // the next year, day 0 the last day of the month before, hour 25 one in the morning of the
  // next day). A local time that the zone skips moves forward by the gap; one it repeats is the
  // first of the two. Fields up to 2^32 in size either way.
  Date dateFromComponents(int64_t year, int64_t month, int64_t day, int64_t hour = 0, int64_t minute = 0,
                          int64_t second = 0) const;

  static bool isLeapYear(int64_t year);
  static int daysInYear(int64_t year) { return isLeapYear(year) ? 366 : 365; }

 private:
  TimeZone m_zone;
};

}  // namespace core
