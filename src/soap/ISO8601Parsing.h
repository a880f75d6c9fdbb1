#pragma once

#include "platform/core/Date.h"

#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>

namespace kt {

// Reads ISO 8601 date and time text: calendar, ordinal and week dates, extended and basic, with
// reduced precision and implied century, year, month or week, then an optional time of day and
// zone. Reading stops at the first byte no rule takes; the range tells how much was used.
// Missing parts come from today in the device's time zone, which is also the zone of a time
// without one. The lenient mode (the default) takes a few more shapes than the strict one.
namespace ISO8601Parsing {

inline constexpr size_t kNotFound = std::numeric_limits<size_t>::max();

// Counted in bytes: location is the leading white space, length runs from the first byte that
// is not white space to where reading stopped. {kNotFound, 0} when the text is refused.
struct Range {
  size_t location = kNotFound;
  size_t length = 0;
  bool operator==(const Range&) const = default;
};

// The strict mode ignores the separator and reads ":".
std::optional<core::Date> dateWithString(std::string_view text, bool strictly, char16_t timeSeparator, Range* range);
std::optional<core::Date> dateWithString(std::string_view text);
std::optional<core::Date> dateWithString(std::string_view text, bool strictly);
std::optional<core::Date> dateWithString(std::string_view text, bool strictly, Range* range);
std::optional<core::Date> dateWithString(std::string_view text, char16_t timeSeparator, Range* range);
std::optional<core::Date> dateWithString(std::string_view text, char16_t timeSeparator);
std::optional<core::Date> dateWithString(std::string_view text, Range* range);

}  // namespace ISO8601Parsing

}  // namespace kt
