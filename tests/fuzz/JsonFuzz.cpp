// JSON: whatever the reader takes must be a whole JSON text (checked against nlohmann's
// validator over the same bytes) in valid UTF-8 without a zero byte, and a value read must write
// out and read back as the same value, its text stable from then on.

#include <nlohmann/json.hpp>

#include <algorithm>

#include "FuzzCheck.h"
#include "platform/core/Json.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/Value.h"

namespace {

// The same JSON value. A whole real (read from "1.5e3" or "2.0") is written as a whole number,
// which reads back as an integer: numbers compare by value, as JSON itself does.
bool sameValue(const core::Value& a, const core::Value& b) {
  const bool numbers = (a.isInteger() || a.isReal()) && (b.isInteger() || b.isReal());
  if (numbers && a.type() != b.type()) {
    const auto& real = a.isReal() ? a : b;
    const auto& integer = a.isReal() ? b : a;
    return *real.asReal() == static_cast<double>(*integer.asInteger());
  }
  if (a.type() != b.type()) return false;
  if (const auto* x = a.asArray()) {
    const auto* y = b.asArray();
    return x->size() == y->size() && std::equal(x->begin(), x->end(), y->begin(), sameValue);
  }
  if (const auto* x = a.asDictionary()) {
    const auto* y = b.asDictionary();
    return x->size() == y->size() && std::equal(x->begin(), x->end(), y->begin(), [](const auto& p, const auto& q) {
             return p.first == q.first && sameValue(p.second, q.second);
           });
  }
  return a == b;
}

}  // namespace

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
  KT_FUZZ_CHECK(sameValue(*again, *fragment));
  KT_FUZZ_CHECK(core::Json::serialize(*again, nullptr, false, true) == written);
  const std::optional<std::string> pretty = core::Json::serialize(*fragment, nullptr, true, true);
  KT_FUZZ_CHECK(pretty && core::Json::parse(*pretty, nullptr, true) == again);
  return 0;
}
