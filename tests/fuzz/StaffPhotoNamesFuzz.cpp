// A member's list of photo files: the names between commas give the text back when joined again,
// and a name is a page only when it ends in ".jpg" or ".png" after something.

#include "FuzzCheck.h"
#include "order/GongGuanZhaoPianViewController.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(fuzz::bytes(data, size));
  using Photos = kt::GongGuanZhaoPianViewController;
  const std::vector<std::string> names = Photos::splitPhotoNames(text);
  KT_FUZZ_CHECK(names.size() == static_cast<size_t>(std::count(text.begin(), text.end(), ',')) + 1);
  std::string joined;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) joined += ',';
    joined += names[i];
    if (Photos::isPhotoName(names[i])) {
      const std::string& name = names[i];
      KT_FUZZ_CHECK(name.size() > 4);
      const std::string tail = name.substr(name.size() - 4);
      KT_FUZZ_CHECK(tail == ".jpg" || tail == ".png");
    }
  }
  KT_FUZZ_CHECK(joined == text);
  return 0;
}
