// JSON: whatever the reader takes must be a whole JSON text (checked against nlohmann's
// validator over the same bytes) in valid UTF-8 without a zero byte, and a value read must write
// out and read back as the same value, its text stable from then on.

#include <nlohmann/json.hpp>

#include "FuzzCheck.h"
#include "platform/core/Json.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::bytes(data, size);
  const std::optional<core::Value> fragment = core::Json::parse(text, nullptr, true);
  const std::optional<core::Value> document = core::Json::parse(text);
  if (!fragment) {
    KT_FUZZ_CHECK(!document);
    return 0;
  }
  KT_FUZZ_CHECK(core::isValidUtf8(text));
  // A zero byte stands nowhere in a JSON text (in strings it must be escaped); the validator
  // stops at one, so it is checked here.
  KT_FUZZ_CHECK(text.find('\0') == std::string_view::npos);
  KT_FUZZ_CHECK(nlohmann::json::accept(text.begin(), text.end()));
  KT_FUZZ_CHECK(document.has_value() == (fragment->isArray() || fragment->isDictionary()));

  const std::optional<std::string> written = core::Json::serialize(*fragment, nullptr, false, true);
  // Only reals out of range (read as infinities) have no JSON form.
  if (!written) return 0;
  const std::optional<core::Value> again = core::Json::parse(*written, nullptr, true);
  KT_FUZZ_CHECK(again.has_value());
  KT_FUZZ_CHECK(*again == *fragment);
  KT_FUZZ_CHECK(core::Json::serialize(*again, nullptr, false, true) == written);
  const std::optional<std::string> pretty = core::Json::serialize(*fragment, nullptr, true, true);
  KT_FUZZ_CHECK(pretty && core::Json::parse(*pretty, nullptr, true) == again);
  return 0;
}
