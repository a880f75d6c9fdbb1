#include "soap/ISO8601Unparsing.h"

namespace kt::ISO8601Unparsing {

std::string ISO8601DateStringWithTime(const core::Date&, bool, char16_t) { return {}; }
std::string ISO8601WeekDateStringWithTime(const core::Date&, bool, char16_t) { return {}; }
std::string ISO8601OrdinalDateStringWithTime(const core::Date&, bool, char16_t) { return {}; }

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

std::string prepareDateFormatWithTimeSeparator(std::string_view pattern, char16_t) { return std::string(pattern); }

}  // namespace kt::ISO8601Unparsing
