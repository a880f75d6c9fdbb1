// Property lists: a document that reads must write out, and what is written must read back and
// write out to the same text again (dates keep whole seconds, so the first writing is the
// reference). Binary property lists are recognised by their "bplist" start and refused.

#include "FuzzCheck.h"
#include "platform/core/PropertyList.h"
#include "platform/core/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::bytes(data, size);
  const std::optional<core::Value> value = core::PropertyList::parse(bytes);
  if (bytes.substr(0, 6) == "bplist") KT_FUZZ_CHECK(!value);
  if (!value) return 0;
  const std::optional<std::string> written = core::PropertyList::serialize(*value);
  KT_FUZZ_CHECK(written.has_value());
  const std::optional<core::Value> again = core::PropertyList::parse(*written);
  KT_FUZZ_CHECK(again.has_value());
  KT_FUZZ_CHECK(core::PropertyList::serialize(*again) == written);
  return 0;
}
