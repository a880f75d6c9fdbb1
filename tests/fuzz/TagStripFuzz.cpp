// The tag strip's lists: whatever the entries hold, every kind of list shows one button per entry
// (none for a kind it does not know), in entry order, titled with the text the entry gives or "".

#include "FuzzCheck.h"
#include "order/TapsScrollView.h"
#include "platform/core/Json.h"
#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<core::Value> reply = core::Json::parse(fuzz::bytes(data, size), nullptr, true);
  if (!reply || !reply->isArray()) return 0;
  const core::Value::Array& list = *reply->asArray();
  auto strip = kt::TapsScrollView::create({0, 0, 600, 30});
  for (int32_t tap : {101, 102, 103, 0}) {
    strip->setIdexOfTap(tap);
    strip->setTagMessage(list);
    const auto& titles = strip->arr_target();
    KT_FUZZ_CHECK(titles.size() == (tap == 0 ? 0 : list.size()));
    const auto& buttons = strip->scrollV_bg()->subviews();
    KT_FUZZ_CHECK(buttons.size() == titles.size());
    for (size_t i = 0; i < buttons.size(); ++i) {
      const auto* button = dynamic_cast<const ui::Button*>(buttons[i].get());
      KT_FUZZ_CHECK(button && button->tag() == 1000 + static_cast<int>(i));
      KT_FUZZ_CHECK(button->titleForState(ui::ControlStateNormal) == titles[i]);
    }
    if (tap == 103)
      for (size_t i = 0; i < list.size(); ++i) KT_FUZZ_CHECK(!list[i].isString() || titles[i] == *list[i].asString());
  }
  return 0;
}
