#include <gtest/gtest.h>

#include "app/WGActionSheet.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

#include <memory>

namespace kt {
namespace {

using support::Device;

class WGActionSheetTest : public support::ScreenTest {
 protected:
  // A 300-point panel with a caption, as a screen would hand it over.
  static std::shared_ptr<ui::View> panel() {
    auto view = ui::View::create(gfx::Rect(40, 10, 600, 300));
    view->setBackgroundColor(gfx::Color::rgba(0.2, 0.4, 0.8));
    auto caption = ui::Label::create(gfx::Rect(20, 20, 300, 40));
    caption->setText("选择包厢服务");
    caption->setTextColor(gfx::Color::whiteColor());
    view->addSubview(caption);
    return view;
  }
};

TEST_F(WGActionSheetTest, TakesTheViewsFrameAndKeepsTheViewAtItsOrigin) {
  auto content = panel();
  auto sheet = WGActionSheet::create(content);
  EXPECT_EQ(sheet->frame(), gfx::Rect(40, 10, 600, 300));
  ASSERT_TRUE(sheet->backgroundColor());
  EXPECT_EQ(*sheet->backgroundColor(), gfx::Color::clear());
  ASSERT_EQ(sheet->subviews().size(), 1u);
  EXPECT_EQ(sheet->subviews()[0], content);
  EXPECT_EQ(content->frame(), gfx::Rect(40, 10, 600, 300));

  auto later = std::make_shared<WGActionSheet>();
  auto other = ui::View::create(gfx::Rect(0, 0, 200, 120));
  later->addTheSubview(other);
  EXPECT_EQ(later->frame(), gfx::Rect(0, 0, 200, 120));
  EXPECT_EQ(other->superview(), later.get());
}

class WGActionSheetShowTest : public WGActionSheetTest, public ::testing::WithParamInterface<Device> {};

TEST_P(WGActionSheetShowTest, SlidesUpOverAVeilAndATapSlidesItAway) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  const gfx::Rect wf = window().frame();
  auto sheet = WGActionSheet::create(panel());
  std::weak_ptr<WGActionSheet> weak = sheet;
  sheet->show();
  auto holder = sheet->holder();
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->superview(), &window());
  EXPECT_EQ(holder->frame(), window().bounds());
  ASSERT_EQ(holder->subviews().size(), 2u);
  auto veil = holder->subviews()[0];
  EXPECT_EQ(holder->subviews()[1], sheet);
  EXPECT_EQ(sheet->frame(), gfx::Rect(0, wf.size.height - 300, wf.size.width, 300));  // model value

  wait(0.02);  // just started: still near the bottom edge, the veil light
  EXPECT_GT(sheet->layer()->presentation().position.y, wf.size.height - 300 + 150 + 100);
  ASSERT_TRUE(veil->layer()->presentation().backgroundColor);
  EXPECT_LT(veil->layer()->presentation().backgroundColor->a(), 0.2);

  wait(0.4);
  EXPECT_EQ(*veil->layer()->presentation().backgroundColor, gfx::Color::white(0, 0.4));
  EXPECT_DOUBLE_EQ(sheet->layer()->presentation().position.y, wf.size.height - 150);
  screenshot(large ? "action_sheet_12_9" : "action_sheet");

  // A second show while it is up changes nothing.
  sheet->show();
  EXPECT_EQ(window().subviews().size(), 1u);
  EXPECT_EQ(sheet->holder(), holder);
  EXPECT_EQ(sheet->frame(), gfx::Rect(0, wf.size.height - 300, wf.size.width, 300));

  sheet.reset();  // the window keeps it while it is shown
  ASSERT_FALSE(weak.expired());
  tap(gfx::Point{wf.size.width / 2, 100});
  auto shown = weak.lock();
  ASSERT_TRUE(shown);
  // Off the bottom edge, as tall as the holder; the veil keeps its colour.
  EXPECT_EQ(shown->frame(), gfx::Rect(0, wf.size.height, wf.size.width, holder->frame().size.height));
  EXPECT_EQ(*veil->backgroundColor(), gfx::Color::white(0, 0.4));
  EXPECT_TRUE(holder->superview());
  shown.reset();
  wait(0.35);
  EXPECT_FALSE(holder->superview());
  EXPECT_TRUE(window().subviews().empty());
  holder.reset();
  veil.reset();
  EXPECT_TRUE(weak.expired());
}

INSTANTIATE_TEST_SUITE_P(Devices, WGActionSheetShowTest, ::testing::Values(Device::Standard, Device::LargeTablet),
                         [](const auto& info) { return info.param == Device::Standard ? "Standard" : "LargeTablet"; });

TEST_F(WGActionSheetTest, TouchesUnderTheVeilAreBlockedAndItCanBeShownAgain) {
  auto under = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(0, 0, 200, 200));
  int underTaps = 0;
  under->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++underTaps; }, ui::ControlEventTouchUpInside);
  window().addSubview(under);

  auto sheet = WGActionSheet::create(panel());
  sheet->show();
  wait(0.45);
  tap(gfx::Point{100, 100});
  EXPECT_EQ(underTaps, 0);
  wait(0.35);
  EXPECT_FALSE(sheet->holder());
  ASSERT_EQ(window().subviews().size(), 1u);

  sheet->show();
  ASSERT_TRUE(sheet->holder());
  EXPECT_EQ(window().subviews().size(), 2u);
  EXPECT_EQ(sheet->superview(), sheet->holder().get());
  sheet->dismiss();
  wait(0.35);
  EXPECT_EQ(window().subviews().size(), 1u);
  tap(gfx::Point{100, 100});
  EXPECT_EQ(underTaps, 1);

  sheet->dismiss();  // not shown: nothing happens
  EXPECT_EQ(window().subviews().size(), 1u);
}

}  // namespace
}  // namespace kt
