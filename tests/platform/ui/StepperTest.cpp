#include "platform/ui/Stepper.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"

using gfx::Point;
using gfx::Rect;

namespace {

class StepperInWindow : public uitest::WindowTest {
 protected:
  void SetUp() override {
    uitest::WindowTest::SetUp();
    stepper = ui::Stepper::create(Rect(100, 100, 0, 0));
    window->addSubview(stepper);
    stepper->addTarget(nullptr, [this](ui::Control&, const ui::Event*) { ++changes; }, ui::ControlEventValueChanged);
  }
  void TearDown() override {
    stepper.reset();
    uitest::WindowTest::TearDown();
  }
  Point minus() const { return {120, 114}; }
  Point plus() const { return {175, 114}; }

  std::shared_ptr<ui::Stepper> stepper;
  int changes = 0;
};

}  // namespace

TEST_F(StepperInWindow, HalvesStepWithinTheRange) {
  EXPECT_EQ(stepper->frame().size, (gfx::Size{94, 29}));
  stepper->setMaximumValue(2);
  window->tap(plus());
  window->tap(plus());
  window->tap(plus());  // at the maximum: nothing
  EXPECT_DOUBLE_EQ(stepper->value(), 2);
  EXPECT_EQ(changes, 2);
  stepper->setStepValue(0.5);
  window->tap(minus());
  EXPECT_DOUBLE_EQ(stepper->value(), 1.5);
  EXPECT_EQ(changes, 3);
  // Range changes pull the value in.
  stepper->setMaximumValue(1);
  EXPECT_DOUBLE_EQ(stepper->value(), 1);
  stepper->setValue(-5);
  EXPECT_DOUBLE_EQ(stepper->value(), 0);
}

TEST_F(StepperInWindow, WrapsRoundWhenAsked) {
  stepper->setMaximumValue(3);
  stepper->setWraps(true);
  window->tap(minus());
  EXPECT_DOUBLE_EQ(stepper->value(), 3);
  window->tap(plus());
  EXPECT_DOUBLE_EQ(stepper->value(), 0);
  EXPECT_EQ(changes, 2);
}

TEST_F(StepperInWindow, AutorepeatAndNonContinuous) {
  support::VirtualClock clock;
  auto t = window->beginTouch(plus());
  EXPECT_DOUBLE_EQ(stepper->value(), 1);
  // 0.5 s before repeating, then every 0.1 s.
  ASSERT_TRUE(support::runUntil([&] { return stepper->value() >= 4; }));
  window->endTouch(t);
  EXPECT_EQ(changes, 4);
  double at = stepper->value();
  core::Clock::advance(1);
  support::drainMainLoop();
  EXPECT_DOUBLE_EQ(stepper->value(), at);

  stepper->setContinuous(false);
  changes = 0;
  t = window->beginTouch(plus());
  EXPECT_EQ(changes, 0);
  window->endTouch(t);
  EXPECT_EQ(changes, 1);
  stepper->setAutorepeat(false);
  t = window->beginTouch(minus());
  core::Clock::advance(2);
  support::drainMainLoop();
  window->endTouch(t);
  EXPECT_DOUBLE_EQ(stepper->value(), at);
}
