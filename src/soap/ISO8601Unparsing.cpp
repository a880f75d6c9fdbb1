#include "soap/ISO8601Unparsing.h"

#include "soap/ISO8601Week.h"

#include "platform/core/Calendar.h"
#include "platform/core/TextEncoding.h"

#include <cinttypes>
#include <cstdio>

namespace kt::ISO8601Unparsing {
namespace {

constexpr std::string_view kDateTimePattern = "yyyy-MM-dd'T'HH:mm:ss";
constexpr std::string_view kDatePattern = "yyyy-MM-dd";
constexpr std::string_view kTimePartPattern = "'T'HH:mm:ss'Z'";

std::string timePart(const core::Date& date, bool includeTime, char16_t timeSeparator) {
  if (!includeTime) return {};
  return date.format(prepareDateFormatWithTimeSeparator(kTimePartPattern, timeSeparator), core::Date::Zone::Utc);
}

struct WeekDate {
  int64_t year;
  int64_t week;
  int64_t weekday;  // 1 = Monday ... 7 = Sunday
};

WeekDate weekDateOf(const core::Calendar::Components& c) {
  const int64_t year = c.year;
  const int64_t day = c.dayOfYear;
  const int64_t jan1 = ISO8601Week::weekdayOfFirstJanuary(year);
  const int64_t weekday = (c.weekday + 5) % 7 + 1;
  if (jan1 > 3 && day <= 7 - jan1) {
    // The days before the year's first Monday in a year that begins on Friday to Sunday belong to
    // the last week of the year before.
    const bool longYear = jan1 == 4 || (jan1 == 5 && core::Calendar::isLeapYear(year - 1));
    return {year - 1, longYear ? 53 : 52, weekday};
  }
  const int64_t monday0 = (day + jan1 - 1) % 7;
  if (core::Calendar::daysInYear(year) - day < 3 - monday0) return {year + 1, 1, weekday};
  return {year, (day + jan1 + 6 - monday0) / 7 - (jan1 > 3 ? 1 : 0), weekday};
}

}  // namespace

std::string ISO8601DateStringWithTime(const core::Date& date, bool includeTime, char16_t timeSeparator) {
  const std::string pattern = prepareDateFormatWithTimeSeparator(includeTime ? kDateTimePattern : kDatePattern,
                                                                 timeSeparator);
  std::string text = date.format(pattern, core::Date::Zone::Utc);
  if (includeTime) text += 'Z';
  return text;
}

std::string ISO8601WeekDateStringWithTime(const core::Date& date, bool includeTime, char16_t timeSeparator) {
  const WeekDate week = weekDateOf(core::Calendar(core::TimeZone::utc()).components(date));
  char head[64];
  std::snprintf(head, sizeof head, "%" PRId64 "-W%02" PRId64 "-%02" PRId64, week.year, week.week, week.weekday);
  return head + timePart(date, includeTime, timeSeparator);
}

std::string ISO8601OrdinalDateStringWithTime(const core::Date& date, bool includeTime, char16_t timeSeparator) {
  const core::Calendar::Components c = core::Calendar(core::TimeZone::utc()).components(date);
  char head[64];
  std::snprintf(head, sizeof head, "%" PRId64 "-%03d", c.year, c.dayOfYear);
  return head + timePart(date, includeTime, timeSeparator);
}

std::string ISO8601DateStringWithTime(const core::Date& date, bool includeTime) {
  return ISO8601DateStringWithTime(date, includeTime, u':');
}
std::string ISO8601WeekDateStringWithTime(const core::Date& date, bool includeTime) {
  return ISO8601WeekDateStringWithTime(date, includeTime, u':');
}
std::string ISO8601OrdinalDateStringWithTime(const core::Date& date, bool includeTime) {
  return ISO8601OrdinalDateStringWithTime(date, includeTime, u':');
}

std::string ISO8601DateStringWithTimeSeparator(const core::Date& date, char16_t timeSeparator) {
  return ISO8601DateStringWithTime(date, true, timeSeparator);
}
std::string ISO8601WeekDateStringWithTimeSeparator(const core::Date& date, char16_t timeSeparator) {
  return ISO8601WeekDateStringWithTime(date, true, timeSeparator);
}
std::string ISO8601OrdinalDateStringWithTimeSeparator(const core::Date& date, char16_t timeSeparator) {
  return ISO8601OrdinalDateStringWithTime(date, true, timeSeparator);
}

std::string ISO8601DateString(const core::Date& date) { return ISO8601DateStringWithTime(date, true, u':'); }
std::string ISO8601WeekDateString(const core::Date& date) { return ISO8601WeekDateStringWithTime(date, true, u':'); }
std::string ISO8601OrdinalDateString(const core::Date& date) {
  return ISO8601OrdinalDateStringWithTime(date, true, u':');
}

std::string prepareDateFormatWithTimeSeparator(std::string_view pattern, char16_t timeSeparator) {
  if (timeSeparator == u':') return std::string(pattern);
  std::string replacement;
  // A lone surrogate half is no character of its own.
  const bool surrogate = timeSeparator >= 0xD800 && timeSeparator <= 0xDFFF;
  core::appendUtf8(replacement, surrogate ? 0xFFFD : timeSeparator);
  std::string out;
  for (char c : pattern) {
    if (c == ':') out += replacement;
    else out += c;
  }
  return out;
}

}  // namespace kt::ISO8601Unparsing
