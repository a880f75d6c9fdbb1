// Locale names from the environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG): a name that reads
// gives a well-formed language tag, and the tag read again is itself.

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "platform/core/Locale.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::bytes(data, size);
  const std::optional<std::string> tag = core::languageTagFromLocale(text);
  if (!tag) return 0;
  KT_FUZZ_CHECK(!tag->empty() && tag->size() <= text.size() + 5);
  for (char c : *tag) {
    KT_FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-');
  }
  KT_FUZZ_CHECK(core::languageTagFromLocale(*tag) == tag);
  return 0;
}
