// The tag strip: where its buttons stand on both tablets, the titles of each kind of list, the
// highlight moving with a tap and the delegate told, and a second list replacing the first.
#include "order/TapsScrollView.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using core::Value;
using kt::TapsScrollView;

struct Recorder : kt::TapsScrollViewDelegate {
  std::vector<std::pair<int32_t, int32_t>> chosen;
  void didSelectedTheItemOfIndex(int32_t index, int32_t tap) override { chosen.emplace_back(index, tap); }
};

gfx::Color hex(const char* text) { return *kt::ColorHexadecimal::colorWithHexString(text); }

Value::Array texts(std::initializer_list<const char*> titles) {
  Value::Array list;
  for (const char* title : titles) list.emplace_back(title);
  return list;
}

class TapsScrollViewTest : public support::ScreenTest {
 protected:
  // A strip across the top of a dark window, as the ordering screens show it.
  std::shared_ptr<TapsScrollView> makeStrip(int32_t tap, const Value::Array& list) {
    window().setBackgroundColor(gfx::Color::black());
    auto strip = TapsScrollView::create({0, 20, window().bounds().width(), kt::pick(29.5, 39)});
    strip->setIdexOfTap(tap);
    strip->setDelegate(&recorder);
    window().addSubview(strip);
    strip->setTagMessage(list);
    render();
    return strip;
  }
  static std::vector<std::shared_ptr<ui::Button>> buttonsOf(const TapsScrollView& strip) {
    std::vector<std::shared_ptr<ui::Button>> buttons;
    for (const auto& view : strip.scrollV_bg()->subviews())
      if (auto button = std::dynamic_pointer_cast<ui::Button>(view)) buttons.push_back(button);
    return buttons;
  }
  static void expectChosen(const std::vector<std::shared_ptr<ui::Button>>& buttons, size_t chosen) {
    for (size_t i = 0; i < buttons.size(); ++i) {
      const bool on = i == chosen;
      EXPECT_EQ(buttons[i]->titleColorForState(ui::ControlStateNormal), hex(on ? "ffffff" : "93979c")) << i;
      EXPECT_EQ(buttons[i]->backgroundImageForState(ui::ControlStateNormal),
                gfx::Image::named(on ? "ConditionBg_Selected" : "ConditionBg_Normal"))
          << i;
    }
  }
  Recorder recorder;
};

TEST_F(TapsScrollViewTest, ButtonsStepAlongTheStripOnBothTablets) {
  const auto list = texts({"全部", "大厅", "二楼", "三楼", "VIP区"});
  ASSERT_TRUE(gfx::Image::named("ConditionBg_Normal") && gfx::Image::named("ConditionBg_Selected"));
  for (bool large : {false, true}) {
    if (large) setDevice(support::Device::LargeTablet);
    auto strip = makeStrip(TapsScrollView::Texts, list);
    support::expectRect(strip->scrollV_bg()->frame(), large ? 127 : 95.5, 0, large ? 1366 : 1024, large ? 39 : 29.5);
    // On the large tablet (5 x 72.5 + 23) x 1.333 = 513.8715, cut to 513.
    EXPECT_EQ(strip->scrollV_bg()->contentSize(), (large ? gfx::Size{513, 39} : gfx::Size{5 * 72.5 + 23, 29.5}));
    auto buttons = buttonsOf(*strip);
    ASSERT_EQ(buttons.size(), 5u);
    const double largeXs[] = {30, 126, 223, 319, 416};  // 30 + floor(i x 72.5 x 1.333)
    for (size_t i = 0; i < buttons.size(); ++i) {
      const double x = large ? largeXs[i] : 23 + 72.5 * static_cast<double>(i);
      support::expectRect(buttons[i]->frame(), x, 0, large ? 88 : 66.5, large ? 39 : 29.5, "button");
      EXPECT_EQ(buttons[i]->tag(), 1000 + static_cast<int>(i));
      EXPECT_EQ(buttons[i]->titleForState(ui::ControlStateNormal), *list[i].asString());
    }
    expectChosen(buttons, 0);
    screenshot(large ? "large" : "standard");
  }
}

TEST_F(TapsScrollViewTest, TitlesFollowTheKindOfList) {
  auto titlesFor = [&](int32_t tap, const Value::Array& list) {
    auto strip = makeStrip(tap, list);
    std::vector<std::string> shown;
    for (const auto& button : buttonsOf(*strip)) shown.push_back(button->titleForState(0).value_or("<none>"));
    EXPECT_EQ(shown, strip->arr_target()) << tap;
    strip->removeFromSuperview();
    return shown;
  };
  using D = Value::Dictionary;
  // Room areas: the "text" of each "RoomArea_Name"; anything else shows as "" in its place.
  EXPECT_EQ(titlesFor(101, {Value(D{{"RoomArea_Name", D{{"text", "一楼"}}}}), Value(D{{"RoomArea_Name", "二楼"}}),
                            Value(D{{"RoomArea_Name", D{{"text", 3}}}}), Value("散台"),
                            Value(D{{"RoomArea_Name", D{{"text", "顶楼"}}}})}),
            (std::vector<std::string>{"一楼", "", "", "", "顶楼"}));
  // Room classes: the text itself, or the "text" of a dictionary.
  EXPECT_EQ(titlesFor(102, {Value(D{{"RoomClass_Name", "小包"}}), Value(D{{"RoomClass_Name", D{{"text", "中包"}}}}),
                            Value(D{{"RoomClass_Name", Value::Array{}}}), Value(D{})}),
            (std::vector<std::string>{"小包", "中包", "", ""}));
  EXPECT_EQ(titlesFor(103, {Value("可用"), Value(7), Value("已订")}), (std::vector<std::string>{"可用", "", "已订"}));

  // Any other kind makes no button, though the strip is laid out for the entries.
  auto strip = makeStrip(104, texts({"甲", "乙"}));
  EXPECT_TRUE(buttonsOf(*strip).empty());
  EXPECT_TRUE(strip->arr_target().empty());
  EXPECT_EQ(strip->scrollV_bg()->contentSize().width, 2 * 72.5 + 23);
}

TEST_F(TapsScrollViewTest, ATapMovesTheHighlightAndTellsTheDelegate) {
  auto strip = makeStrip(TapsScrollView::RoomClasses,
                         {Value(Value::Dictionary{{"RoomClass_Name", "小包"}}),
                          Value(Value::Dictionary{{"RoomClass_Name", "中包"}}),
                          Value(Value::Dictionary{{"RoomClass_Name", "大包"}})});
  // A button lying on the strip itself is one of its tags too.
  auto loose = ui::Button::create(ui::ButtonType::Custom, {0, 0, 60, 29.5});
  loose->setTitleColor(hex("ffffff"));
  strip->addSubview(loose);
  auto buttons = buttonsOf(*strip);
  ASSERT_EQ(buttons.size(), 3u);

  tap(*buttons[2]);
  expectChosen(buttons, 2);
  EXPECT_EQ(loose->titleColorForState(ui::ControlStateNormal), hex("93979c"));
  EXPECT_EQ(loose->backgroundImageForState(ui::ControlStateNormal), gfx::Image::named("ConditionBg_Normal"));
  screenshot("third_chosen");
  tap(*buttons[0]);
  expectChosen(buttons, 0);
  tap(*buttons[0]);
  EXPECT_EQ(recorder.chosen, (std::vector<std::pair<int32_t, int32_t>>{{2, 102}, {0, 102}, {0, 102}}));

  // A delegate that has gone is not told; the highlight still moves.
  {
    Recorder gone;
    strip->setDelegate(&gone);
  }
  EXPECT_EQ(strip->delegate(), nullptr);
  tap(*buttons[1]);
  expectChosen(buttons, 1);
  EXPECT_EQ(recorder.chosen.size(), 3u);
}

TEST_F(TapsScrollViewTest, ASecondListReplacesTheFirst) {
  auto strip = makeStrip(TapsScrollView::Texts, texts({"一", "二", "三", "四"}));
  const std::shared_ptr<ui::ScrollView> first = strip->scrollV_bg();
  strip->setTagMessage(texts({"甲", "乙"}));
  render();
  EXPECT_EQ(first->superview(), nullptr);
  EXPECT_EQ(strip->subviews().size(), 1u);
  EXPECT_EQ(strip->arr_target(), (std::vector<std::string>{"甲", "乙"}));
  EXPECT_EQ(strip->scrollV_bg()->contentSize().width, 2 * 72.5 + 23);
  auto buttons = buttonsOf(*strip);
  ASSERT_EQ(buttons.size(), 2u);
  tap(*buttons[1]);
  expectChosen(buttons, 1);
  EXPECT_EQ(recorder.chosen, (std::vector<std::pair<int32_t, int32_t>>{{1, 103}}));
}

}  // namespace
