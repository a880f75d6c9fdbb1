// String tables: a .strings file reads as a dictionary of texts or not at all, and the bundle
// looks texts up in such a file (read from a bundle folder of the run's own) without failing.

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "FuzzCheck.h"
#include "platform/core/Bundle.h"
#include "platform/core/PropertyList.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/Value.h"

namespace {

const std::string& bundleFolder() {
  static const std::string folder = [] {
    char path[] = "/tmp/kt-fuzz-bundle-XXXXXX";
    if (!mkdtemp(path)) std::abort();
    return std::string(path);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::bytes(data, size);
  const std::optional<core::Value> table = core::PropertyList::parseStrings(bytes);
  std::string someKey = "key";
  if (table) {
    KT_FUZZ_CHECK(table->isDictionary());
    for (const auto& [key, text] : *table->asDictionary()) {
      KT_FUZZ_CHECK(core::isValidUtf8(key));
      KT_FUZZ_CHECK(text.isString() && core::isValidUtf8(*text.asString()));
      someKey = key;
    }
  }

  {
    std::ofstream out(bundleFolder() + "/Localizable.strings", std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const core::Bundle bundle(bundleFolder());
  const std::string text = bundle.localizedString(someKey, "fallback");
  if (!table || !table->contains(someKey)) KT_FUZZ_CHECK(text == "fallback");
  else KT_FUZZ_CHECK(text == (*table)[someKey].stringValue());
  return 0;
}
