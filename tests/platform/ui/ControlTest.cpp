#include "platform/ui/Control.h"

#include <gtest/gtest.h>

#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/Touch.h"

using gfx::Point;
using gfx::Rect;
using ui::Control;

namespace {

class ControlTracking : public uitest::WindowTest {
 protected:
  void SetUp() override {
    uitest::WindowTest::SetUp();
    control = std::make_shared<Control>(Rect(200, 200, 100, 40));
    window->addSubview(control);
    control->addTarget(this, [this](Control& sender, const ui::Event* event) {
      lastSender = &sender;
      lastEvent = event;
    }, ui::ControlEventAllEvents);
    control->addTarget(&events, [this](Control&, const ui::Event*) { ++calls; }, ui::ControlEventAllEvents);
    // A recorder per event bit.
    for (unsigned bit = 0; bit < 13; ++bit) {
      control->addTarget(&events, [this, bit](Control&, const ui::Event*) { events.push_back(1u << bit); }, 1u << bit);
    }
  }
  void TearDown() override {
    control.reset();
    uitest::WindowTest::TearDown();
  }

  std::shared_ptr<Control> control;
  std::vector<unsigned> events;
  int calls = 0;
  Control* lastSender = nullptr;
  const ui::Event* lastEvent = nullptr;
};

}  // namespace

TEST_F(ControlTracking, TapInsideSendsDownThenUpInside) {
  auto t = window->beginTouch({250, 220});
  EXPECT_TRUE(control->isHighlighted());
  EXPECT_TRUE(control->isTracking());
  EXPECT_EQ(control->state(), unsigned(ui::ControlStateHighlighted));
  window->endTouch(t);
  EXPECT_FALSE(control->isHighlighted());
  EXPECT_EQ(events, (std::vector<unsigned>{ui::ControlEventTouchDown, ui::ControlEventTouchUpInside}));
  EXPECT_EQ(lastSender, control.get());
  EXPECT_NE(lastEvent, nullptr);
  // A quick second tap also sends touch-down-repeat.
  events.clear();
  window->tap({251, 221});
  EXPECT_EQ(events, (std::vector<unsigned>{ui::ControlEventTouchDown, ui::ControlEventTouchDownRepeat,
                                           ui::ControlEventTouchUpInside}));
}

TEST_F(ControlTracking, DragUsesTheSeventyPointMargin) {
  auto t = window->beginTouch({250, 220});
  window->moveTouch(t, {260, 225});  // inside
  window->moveTouch(t, {365, 220});  // 65 right of the bounds: still inside
  EXPECT_TRUE(control->isHighlighted());
  window->moveTouch(t, {375, 220});  // 75 right: outside
  EXPECT_FALSE(control->isHighlighted());
  window->moveTouch(t, {380, 220});
  window->moveTouch(t, {250, 150});  // 50 above: inside again
  window->endTouch(t);
  EXPECT_EQ(events, (std::vector<unsigned>{ui::ControlEventTouchDown, ui::ControlEventTouchDragInside,
                                           ui::ControlEventTouchDragInside, ui::ControlEventTouchDragExit,
                                           ui::ControlEventTouchDragOutside, ui::ControlEventTouchDragEnter,
                                           ui::ControlEventTouchUpInside}));
  events.clear();
  t = window->beginTouch({250, 220});
  window->moveTouch(t, {250, 400});
  window->endTouch(t);
  EXPECT_EQ(events.back(), unsigned(ui::ControlEventTouchUpOutside));
}

TEST_F(ControlTracking, CancelSendsTouchCancel) {
  auto t = window->beginTouch({250, 220});
  window->cancelTouch(t);
  EXPECT_EQ(events, (std::vector<unsigned>{ui::ControlEventTouchDown, ui::ControlEventTouchCancel}));
  EXPECT_FALSE(control->isHighlighted());
  EXPECT_FALSE(control->isTracking());
}

TEST_F(ControlTracking, DisabledControlsTakeNoTouches) {
  control->setEnabled(false);
  EXPECT_EQ(control->state(), unsigned(ui::ControlStateDisabled));
  window->tap({250, 220});
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(window->hitTest({250, 220}, nullptr).get(), window.get());
}

TEST_F(ControlTracking, RemovingTargetsByOwnerAndEvents) {
  EXPECT_EQ(control->allControlEvents(), unsigned(ui::ControlEventAllEvents));
  control->removeTarget(this);
  control->removeTarget(&events, ui::ControlEventTouchDown);
  window->tap({250, 220});
  EXPECT_EQ(events, (std::vector<unsigned>{ui::ControlEventTouchUpInside}));
  EXPECT_EQ(calls, 1);  // the catch-all lost touch-down only
  size_t before = control->targetCount();
  control->removeTarget(&events);
  EXPECT_EQ(control->targetCount(), before - 13);
  control->addTarget(this, [](Control&, const ui::Event*) {}, ui::ControlEventValueChanged);
  control->removeTarget(nullptr);
  EXPECT_EQ(control->targetCount(), 0u);
  EXPECT_EQ(control->allControlEvents(), 0u);
}

TEST_F(ControlTracking, AnActionMayRemoveItsControl) {
  control->addTarget(nullptr, [](Control& c, const ui::Event*) { c.removeFromSuperview(); },
                     ui::ControlEventTouchUpInside);
  std::weak_ptr<Control> weak = control;
  control.reset();
  window->tap({250, 220});
  support::drainMainLoop();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(events.back(), unsigned(ui::ControlEventTouchUpInside));
}

TEST_F(ControlTracking, StatesCombineAsBits) {
  control->setSelected(true);
  control->setHighlighted(true);
  EXPECT_EQ(control->state(), unsigned(ui::ControlStateSelected | ui::ControlStateHighlighted));
  control->setEnabled(false);
  EXPECT_EQ(control->state(), unsigned(ui::ControlStateSelected | ui::ControlStateDisabled));
  control->sendActionsForControlEvents(ui::ControlEventValueChanged);
  EXPECT_EQ(events, (std::vector<unsigned>{ui::ControlEventValueChanged}));
}
