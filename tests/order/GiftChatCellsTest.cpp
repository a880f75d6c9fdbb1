// The gift cell and the chat cells: their frames on both tablets, what a gift shows when keys are
// missing, and the chat bubble sized to its message.
#include <gtest/gtest.h>

#include "app/ScreenSize.h"
#include "app/SubsidiaryClass.h"
#include "order/ChatCell.h"
#include "order/GiftCell.h"
#include "order/MeChatCell.h"
#include "platform/core/Value.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using core::Value;

void expectFrame(const ui::View& view, const gfx::Rect& standard, const gfx::Rect& large, const char* what) {
  const gfx::Rect& r = kt::isTwelveNineInch() ? large : standard;
  support::expectRect(view.frame(), r.x(), r.y(), r.width(), r.height(), what);
}

Value message(Value text) { return Value(Value::Dictionary{{"msg", std::move(text)}}); }

class GiftChatCellsTest : public support::ScreenTest {
 protected:
  void show(const std::vector<std::shared_ptr<ui::View>>& views, const std::string& name) {
    window().setBackgroundColor(gfx::Color::black());
    for (const auto& view : views) window().addSubview(view);
    render();
    screenshot(name);
    for (const auto& view : views) view->removeFromSuperview();
  }
};

TEST_F(GiftChatCellsTest, GiftCellOnBothTablets) {
  for (bool large : {false, true}) {
    if (large) setDevice(support::Device::LargeTablet);
    auto cell = kt::GiftCell::create(kt::pick({0, 0, 256, 278}, {0, 0, 341, 370}));
    EXPECT_TRUE(cell->imgV_selected()->isHidden());
    EXPECT_EQ(cell->imgV_selected()->image(), gfx::Image::named("Gift_selected"));
    EXPECT_EQ(cell->imgV_photo()->image(), gfx::Image::named("Gift_1"));
    expectFrame(*cell->imgV_selected(), {0, 0, 256, 278}, {0, 0, 341, 370}, "selected");
    expectFrame(*cell->imgV_photo(), {60, 45, 136, 144}, {79, 60, 181, 192}, "photo");
    expectFrame(*cell->label_name(), {0, 209, 256, 30}, {0, 278, 341, 40}, "name");
    expectFrame(*cell->label_price(), {0, 244, 256, 20}, {0, 325, 341, 26}, "price");
    EXPECT_EQ(cell->label_price()->textAlignment(), gfx::TextAlignment::Center);
    cell->label_name()->setText("金话筒");
    cell->label_price()->setText("￥:88");

    auto bare = kt::GiftCell::create(kt::pick({256, 0, 256, 278}, {341, 0, 341, 370}));
    bare->assignMyCell(Value(Value::Dictionary{{"giftPrice", Value(int64_t{5})}}));
    EXPECT_EQ(bare->label_name()->text(), "");
    EXPECT_EQ(bare->label_price()->text(), "￥:5");
    EXPECT_EQ(bare->imgV_photo()->image(), nullptr);  // no placeholder and nothing to fetch
    bare->assignMyCell(Value());
    EXPECT_EQ(bare->label_price()->text(), "￥:");
    show({cell, bare}, large ? "gift-large" : "gift-standard");
  }
}

TEST_F(GiftChatCellsTest, ChatBubblesFitTheirMessages) {
  const std::string longText(60, 'W');
  for (bool large : {false, true}) {
    if (large) setDevice(support::Device::LargeTablet);
    SCOPED_TRACE(large ? "large" : "standard");
    auto other = kt::ChatCell::create();
    auto own = kt::MeChatCell::create();
    // New cells: the full-width bubble of one line.
    expectFrame(*other->view_bg(), {153, 36, 546, 72}, {203, 48, 727, 96}, "new bubble");
    expectFrame(*own->view_bg(), {67, 36, 546, 72}, {89, 48, 727, 96}, "new own bubble");
    expectFrame(*own->imgV_portrait(), {640, 36, 72, 72}, {853, 48, 95, 96}, "own portrait");
    EXPECT_EQ(other->imgV_portrait()->layer()->cornerRadius(), kt::pick(36, 48));

    // No text (missing, or not text): the bubble is the margins alone, the user's keeps its right edge.
    own->setupMyController(message(Value(int64_t{42})));
    EXPECT_EQ(own->label_msg()->text(), "");
    expectFrame(*own->view_bg(), {504, 36, 110, 72}, {671, 48, 146, 96}, "empty own bubble");
    other->setupMyController(Value());
    expectFrame(*other->view_bg(), {153, 36, 110, 72}, {203, 48, 146, 96}, "empty bubble");

    const int n = kt::pick(22, 23);
    const double w = kt::SubsidiaryClass::fontWidth("晚上好", n, kt::pick(30, 40));
    own->setupMyController(message(Value("晚上好")));
    expectFrame(*own->label_msg(), {55, 21, w, 30}, {73, 28, w, 40}, "short label");
    expectFrame(*own->view_bg(), {504 - w, 36, w + 110, 72}, {671 - w, 48, w + 146, 96}, "short own bubble");

    const double h = kt::SubsidiaryClass::fontHeight(longText, n, kt::pick(436, 581));
    ASSERT_GT(h, kt::pick(30, 40));
    other->setupMyController(message(Value(longText)));
    expectFrame(*other->label_msg(), {55, 21, 436, h}, {73, 28, 581, h}, "wrapped label");
    expectFrame(*other->view_bg(), {153, 36, 546, h + 42}, {203, 48, 727, h + 56}, "wrapped bubble");

    other->setFrame({0, 0, window().bounds().width(), kt::pick(36, 48) + other->view_bg()->frame().height() + 10});
    own->setFrame({0, other->frame().height(), window().bounds().width(), kt::pick(130, 170)});
    show({other, own}, large ? "chat-large" : "chat-standard");
  }
}

}  // namespace
