// Banner page addresses: the input is the "pic" text of a banner item. The page loads it with its
// spaces removed and only as an http or https URL; anything else loads nothing.

#include <string>

#include "FuzzCheck.h"
#include "platform/core/Value.h"
#include "songs/BannerWebPage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string pic(fuzz::bytes(data, size));
  const core::Value item(core::Value::Dictionary{{"pic", core::Value(pic)}});
  const std::optional<net::URL> address = kt::BannerWebPage::addressOf(item);
  if (!address) return 0;
  KT_FUZZ_CHECK(address->scheme() == "http" || address->scheme() == "https");
  std::string spaceless = pic;
  std::erase(spaceless, ' ');
  KT_FUZZ_CHECK(address->absoluteString() == spaceless);
  return 0;
}
