// Dates: the texts of the patterns the program reads and writes, ISO 8601 texts, and the same
// texts as a property list's <date>. A date that reads writes out in its pattern and reads back
// as the same date; a property list date writes out and reads back.

#include <cmath>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "platform/core/Date.h"
#include "platform/core/PropertyList.h"
#include "platform/core/Value.h"

namespace {

using core::Date;

constexpr std::string_view kPatterns[] = {
    "yyyy-MM-dd'T'HH:mm:ss'Z'",  // property lists
    "yyyy-MM-dd HH:mm:ss Z",     // the text form of a date in a value
    "yyyy-MM-dd HH:mm:ss",       // the image cache's access dates
    "yyyy-MM-dd HH:mm:ss.SSS",
    "d/M/yy",
};

void checkPattern(std::string_view text, std::string_view pattern) {
  for (Date::Zone zone : {Date::Zone::Utc, Date::Zone::Local}) {
    const std::optional<Date> date = Date::parse(text, pattern, zone);
    if (!date) continue;
    const std::string written = date->format(pattern, zone);
    const std::optional<Date> again = Date::parse(written, pattern, zone);
    KT_FUZZ_CHECK(again.has_value());
    KT_FUZZ_CHECK(again->format(pattern, zone) == written);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::bytes(data, size);
  for (std::string_view pattern : kPatterns) checkPattern(text, pattern);

  if (const std::optional<Date> date = Date::parseIso8601(text)) {
    // Every date the reader accepts is one the writer can write, to the second it rounds to.
    const std::optional<std::string> written = date->iso8601();
    KT_FUZZ_CHECK(written.has_value());
    const std::optional<Date> again = Date::parseIso8601(*written);
    KT_FUZZ_CHECK(again.has_value());
    const int64_t milliseconds = std::llround(date->timeIntervalSince1970() * 1000.0);
    const int64_t seconds = milliseconds / 1000 - (milliseconds % 1000 < 0 ? 1 : 0);
    KT_FUZZ_CHECK(again->timeIntervalSince1970() == static_cast<double>(seconds));
    date->description();
  }

  const std::string plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<date>" +
                            std::string(text) + "</date>\n</plist>\n";
  if (const std::optional<core::Value> value = core::PropertyList::parse(plist)) {
    KT_FUZZ_CHECK(value->isDate());
    const std::optional<std::string> written = core::PropertyList::serialize(*value);
    KT_FUZZ_CHECK(written.has_value());
    const std::optional<core::Value> again = core::PropertyList::parse(*written);
    KT_FUZZ_CHECK(again && again->isDate());
    KT_FUZZ_CHECK(core::PropertyList::serialize(*again) == written);
  }
  return 0;
}
