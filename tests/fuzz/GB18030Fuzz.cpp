// GB 18030 both ways: bytes that decode are valid UTF-8 and encode back to the same bytes; UTF-8
// text encodes, and decodes back to itself. Anything else is refused, never guessed.

#include "FuzzCheck.h"
#include "platform/core/TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::bytes(data, size);

  if (const std::optional<std::string> text = core::gb18030ToUtf8(bytes)) {
    KT_FUZZ_CHECK(core::isValidUtf8(*text));
    KT_FUZZ_CHECK(core::utf8ToGb18030(*text) == std::string(bytes));
  }

  const std::optional<std::string> encoded = core::utf8ToGb18030(bytes);
  KT_FUZZ_CHECK(encoded.has_value() == core::isValidUtf8(bytes));
  if (encoded) KT_FUZZ_CHECK(core::gb18030ToUtf8(*encoded) == std::string(bytes));

  // Lengths and ranges in UTF-16 units cut whole characters only.
  const size_t units = core::utf16Length(bytes);
  if (encoded) {
    const std::string half = core::utf16Prefix(bytes, units / 2);
    KT_FUZZ_CHECK(core::isValidUtf8(half) && bytes.substr(0, half.size()) == half);
    KT_FUZZ_CHECK(core::isValidUtf8(core::utf16Substring(bytes, units / 3, units / 2)));
  }
  return 0;
}
