#include "soap/ISO8601Parsing.h"

namespace kt::ISO8601Parsing {

std::optional<core::Date> dateWithString(std::string_view, bool, char16_t, Range* range) {
  if (range) *range = Range{};
  return std::nullopt;
}

std::optional<core::Date> dateWithString(std::string_view text) { return dateWithString(text, false, u':', nullptr); }
std::optional<core::Date> dateWithString(std::string_view text, bool strictly) {
  return dateWithString(text, strictly, u':', nullptr);
}
std::optional<core::Date> dateWithString(std::string_view text, bool strictly, Range* range) {
  return dateWithString(text, strictly, u':', range);
}
std::optional<core::Date> dateWithString(std::string_view text, char16_t timeSeparator, Range* range) {
  return dateWithString(text, false, timeSeparator, range);
}
std::optional<core::Date> dateWithString(std::string_view text, char16_t timeSeparator) {
  return dateWithString(text, false, timeSeparator, nullptr);
}
std::optional<core::Date> dateWithString(std::string_view text, Range* range) {
  return dateWithString(text, false, u':', range);
}

}  // namespace kt::ISO8601Parsing
