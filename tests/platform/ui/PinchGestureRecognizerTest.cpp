#include "platform/ui/PinchGestureRecognizer.h"

#include <gtest/gtest.h>

#include <numbers>
#include <vector>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/ui/RotationGestureRecognizer.h"
#include "platform/ui/Touch.h"

using gfx::Point;
using gfx::Rect;
using State = ui::GestureRecognizerState;

namespace {

struct Simultaneous : ui::GestureRecognizerDelegate {
  bool shouldRecognizeSimultaneouslyWithGestureRecognizer(ui::GestureRecognizer&, ui::GestureRecognizer&) override {
    return true;
  }
};

class TwoFingers : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    view = ui::View::create(Rect(0, 0, 800, 600));
    window->addSubview(view);
  }
  std::shared_ptr<ui::View> view;
};

}  // namespace

TEST_F(TwoFingers, PinchScalesByTheFingersDistance) {
  auto pinch = std::make_shared<ui::PinchGestureRecognizer>();
  std::vector<State> states;
  std::vector<double> scales;
  pinch->addTarget(this, [&](ui::GestureRecognizer&) {
    states.push_back(pinch->state());
    scales.push_back(pinch->scale());
  });
  view->addGestureRecognizer(pinch);

  auto a = window->beginTouch({300, 300});
  auto b = window->beginTouch({400, 300});
  window->moveTouch(b, {402, 300});  // within the start threshold
  EXPECT_TRUE(states.empty());
  window->moveTouch(b, {450, 300});
  ASSERT_EQ(states, std::vector<State>{State::Began});
  EXPECT_DOUBLE_EQ(scales.back(), 1.5);
  window->moveTouch(a, {250, 300});
  EXPECT_DOUBLE_EQ(scales.back(), 2.0);
  // Set back to 1: later scales are relative to the distance now.
  pinch->setScale(1);
  window->moveTouch(b, {350, 300});
  EXPECT_DOUBLE_EQ(scales.back(), 0.5);
  window->endTouch(a);
  EXPECT_EQ(states, (std::vector<State>{State::Began, State::Changed, State::Changed, State::Ended}));
  window->endTouch(b);
  EXPECT_EQ(pinch->state(), State::Possible);
  EXPECT_DOUBLE_EQ(pinch->scale(), 1);

  // One finger alone never pinches.
  auto c = window->beginTouch({300, 300});
  window->moveTouch(c, {500, 500});
  window->endTouch(c);
  EXPECT_EQ(states.size(), 4u);
}

TEST_F(TwoFingers, PinchVelocityIsScalePerSecond) {
  support::VirtualClock clock;
  auto pinch = std::make_shared<ui::PinchGestureRecognizer>();
  view->addGestureRecognizer(pinch);
  auto a = window->beginTouch({300, 300});
  auto b = window->beginTouch({400, 300});
  core::Clock::advance(0.1);
  window->moveTouch(b, {420, 300});
  core::Clock::advance(0.1);
  window->moveTouch(b, {440, 300});
  EXPECT_NEAR(pinch->velocity(), 2.0, 1e-6);  // 0.2 of scale in 0.1 s
  window->endTouch(a);
  window->endTouch(b);
}

TEST_F(TwoFingers, RotationFollowsTheLineBetweenTheFingers) {
  auto rotation = std::make_shared<ui::RotationGestureRecognizer>();
  std::vector<State> states;
  rotation->addTarget(this, [&](ui::GestureRecognizer&) { states.push_back(rotation->state()); });
  view->addGestureRecognizer(rotation);

  auto a = window->beginTouch({300, 300});
  auto b = window->beginTouch({400, 300});
  window->moveTouch(b, {400, 302});  // about 1 degree: not yet
  EXPECT_TRUE(states.empty());
  window->moveTouch(b, {300, 400});  // a quarter turn about a, clockwise on the screen
  ASSERT_EQ(states, std::vector<State>{State::Began});
  EXPECT_NEAR(rotation->rotation(), std::numbers::pi / 2, 1e-9);
  // On past the half turn: no jump at +-pi.
  window->moveTouch(b, {200, 301});
  window->moveTouch(b, {200, 299});
  EXPECT_NEAR(rotation->rotation(), std::numbers::pi + 0.01, 1e-3);
  rotation->setRotation(0);
  window->moveTouch(b, {300, 200});
  EXPECT_NEAR(rotation->rotation(), std::numbers::pi / 2 - 0.01, 1e-3);
  window->endTouch(b);
  EXPECT_EQ(states.back(), State::Ended);
  window->endTouch(a);
  EXPECT_EQ(rotation->rotation(), 0);
}

TEST_F(TwoFingers, PinchAndRotationTogetherOnlyWhenAllowed) {
  auto pinch = std::make_shared<ui::PinchGestureRecognizer>();
  auto rotation = std::make_shared<ui::RotationGestureRecognizer>();
  int pinches = 0, rotations = 0;
  pinch->addTarget(this, [&](ui::GestureRecognizer&) { ++pinches; });
  rotation->addTarget(this, [&](ui::GestureRecognizer&) { ++rotations; });
  view->addGestureRecognizer(pinch);
  view->addGestureRecognizer(rotation);

  // Spreading and turning at once: whichever begins first wins (the pinch, here).
  auto a = window->beginTouch({300, 300});
  auto b = window->beginTouch({400, 300});
  window->moveTouch(b, {450, 350});
  window->moveTouch(b, {420, 420});
  window->endTouch(a);
  window->endTouch(b);
  EXPECT_EQ(pinches, 3);
  EXPECT_EQ(rotations, 0);

  Simultaneous both;
  rotation->setDelegate(&both);
  pinches = 0;
  a = window->beginTouch({300, 300});
  b = window->beginTouch({400, 300});
  window->moveTouch(b, {450, 350});
  window->moveTouch(b, {420, 420});
  window->endTouch(a);
  window->endTouch(b);
  EXPECT_EQ(pinches, 3);
  EXPECT_EQ(rotations, 3);
}
