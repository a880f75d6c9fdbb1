#include "platform/ui/Switch.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"

using gfx::Rect;

using SwitchInWindow = uitest::WindowTest;

TEST_F(SwitchInWindow, ATapTogglesAndSendsValueChanged) {
  auto sw = ui::Switch::create(Rect(100, 100, 10, 10));
  EXPECT_EQ(sw->frame(), Rect(100, 100, 51, 31));
  window->addSubview(sw);
  int changes = 0;
  sw->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++changes; }, ui::ControlEventValueChanged);
  EXPECT_FALSE(sw->isOn());
  EXPECT_LT(sw->thumbRect().midX(), 25.5);
  window->tap(uitest::centerInWindow(*sw));
  EXPECT_TRUE(sw->isOn());
  EXPECT_EQ(changes, 1);
  EXPECT_GT(sw->thumbRect().midX(), 25.5);
  EXPECT_EQ(sw->thumbView()->frame(), sw->thumbRect());
  window->tap({0, 0});  // elsewhere
  EXPECT_EQ(changes, 1);
  // A drag that ends far away does not toggle.
  auto t = window->beginTouch(uitest::centerInWindow(*sw));
  window->moveTouch(t, {400, 400});
  window->endTouch(t);
  EXPECT_TRUE(sw->isOn());
  // Set in code: no event.
  sw->setOn(false, true);
  EXPECT_FALSE(sw->isOn());
  EXPECT_EQ(changes, 1);
}

TEST_F(SwitchInWindow, TrackShowsTheOnTint) {
  auto sw = ui::Switch::create();
  sw->setOnTintColor(gfx::Color::red());
  window->addSubview(sw);
  sw->setOn(true);
  auto image = uitest::render(*sw);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelAt(8, 15), 0xFFFF0000u);
  sw->setOn(false);
  image = uitest::render(*sw);
  EXPECT_EQ(image->pixelAt(8, 15) & 0x00FFFFFF, 0x00FFFFFFu);
}
