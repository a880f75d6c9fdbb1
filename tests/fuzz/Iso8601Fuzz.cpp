// ISO 8601 dates: the input is date text, read in the lenient mode with ":", "." and its first
// byte as the time separator, and in the strict mode. The range stays within the text and is the
// leading white space and the bytes read; the bytes read alone give the same date; a date with
// a four-digit year reads back from each of the three written forms.

#include <cmath>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "platform/core/Clock.h"
#include "soap/ISO8601Parsing.h"
#include "soap/ISO8601Unparsing.h"

namespace {

using kt::ISO8601Parsing::Range;

// The week and ordinal forms write the year as a plain number, so only four-digit years read back.
constexpr double kFirstYear1000 = -30610224000;  // 1000-01-01T00:00:00Z
constexpr double kAfterYear9999 = 253402300800;

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void check(std::string_view text, bool strict, char16_t separator) {
  Range range;
  const std::optional<core::Date> date = kt::ISO8601Parsing::dateWithString(text, strict, separator, &range);
  if (!date) {
    KT_FUZZ_CHECK(range == (Range{kt::ISO8601Parsing::kNotFound, 0}));
    return;
  }
  const std::string_view readable = text.substr(0, text.find('\0'));
  KT_FUZZ_CHECK(range.location + range.length <= readable.size());
  for (size_t i = 0; i < range.location; ++i) KT_FUZZ_CHECK(isSpace(readable[i]));
  KT_FUZZ_CHECK(range.location == readable.size() || !isSpace(readable[range.location]));
  const double t = date->timeIntervalSince1970();
  KT_FUZZ_CHECK(std::isfinite(t) && t == std::floor(t));

  Range again;
  const std::string_view used = readable.substr(0, range.location + range.length);
  KT_FUZZ_CHECK(kt::ISO8601Parsing::dateWithString(used, strict, separator, &again) == date);
  KT_FUZZ_CHECK(again == range);

  if (t >= kFirstYear1000 && t < kAfterYear9999) {
    using namespace kt::ISO8601Unparsing;
    KT_FUZZ_CHECK(kt::ISO8601Parsing::dateWithString(ISO8601DateString(*date)) == date);
    KT_FUZZ_CHECK(kt::ISO8601Parsing::dateWithString(ISO8601WeekDateString(*date)) == date);
    KT_FUZZ_CHECK(kt::ISO8601Parsing::dateWithString(ISO8601OrdinalDateString(*date)) == date);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // "Today" stays the same day for the whole run.
  static const bool frozen = (core::Clock::setVirtual(true), true);
  (void)frozen;
  const std::string_view text = fuzz::bytes(data, size);
  check(text, false, u':');
  check(text, false, u'.');
  check(text, true, u':');
  if (size > 1) check(text.substr(1), false, data[0]);
  return 0;
}
