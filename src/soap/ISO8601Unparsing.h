#pragma once

#include "platform/core/Date.h"

#include <string>
#include <string_view>

namespace kt {

// Writes a date as ISO 8601 text in UTC: the calendar date ("2026-03-05T10:20:30Z"), the week
// date ("2026-W10-04T10:20:30Z") or the ordinal date ("2026-064T10:20:30Z"), each with or without
// the time of day. The separator goes into the date pattern as it is.
namespace ISO8601Unparsing {

std::string ISO8601DateStringWithTime(const core::Date& date, bool includeTime, char16_t timeSeparator);
std::string ISO8601WeekDateStringWithTime(const core::Date& date, bool includeTime, char16_t timeSeparator);
std::string ISO8601OrdinalDateStringWithTime(const core::Date& date, bool includeTime, char16_t timeSeparator);

std::string ISO8601DateStringWithTime(const core::Date& date, bool includeTime);
std::string ISO8601WeekDateStringWithTime(const core::Date& date, bool includeTime);
std::string ISO8601OrdinalDateStringWithTime(const core::Date& date, bool includeTime);

std::string ISO8601DateStringWithTimeSeparator(const core::Date& date, char16_t timeSeparator);
std::string ISO8601WeekDateStringWithTimeSeparator(const core::Date& date, char16_t timeSeparator);
std::string ISO8601OrdinalDateStringWithTimeSeparator(const core::Date& date, char16_t timeSeparator);

std::string ISO8601DateString(const core::Date& date);
std::string ISO8601WeekDateString(const core::Date& date);
std::string ISO8601OrdinalDateString(const core::Date& date);

// The date pattern with every ":" replaced by the separator; the pattern itself for ":".
std::string prepareDateFormatWithTimeSeparator(std::string_view pattern, char16_t timeSeparator);

}  // namespace ISO8601Unparsing

}  // namespace kt
