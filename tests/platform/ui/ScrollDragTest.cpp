// Real touches through the window and the scroll view's pan recogniser.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

class States : public ui::ScrollViewDelegate {
 public:
  void scrollViewDidScroll(ui::ScrollView& s) override {
    if (events.empty() || events.back() != "scroll...") events.push_back("scroll...");
    if (s.isDragging()) draggedScrolls++;
  }
  void scrollViewWillBeginDragging(ui::ScrollView& s) override {
    events.push_back("willBeginDragging");
    trackingAtBegin = s.isTracking();
  }
  void scrollViewWillEndDragging(ui::ScrollView&, gfx::Point v, gfx::Point&) override {
    events.push_back("willEndDragging");
    velocity = v;
  }
  void scrollViewDidEndDragging(ui::ScrollView&, bool decelerate) override {
    events.push_back(decelerate ? "didEndDragging(decelerate)" : "didEndDragging");
  }
  void scrollViewWillBeginDecelerating(ui::ScrollView&) override { events.push_back("willBeginDecelerating"); }
  void scrollViewDidEndDecelerating(ui::ScrollView&) override { events.push_back("didEndDecelerating"); }

  std::vector<std::string> events;
  int draggedScrolls = 0;
  bool trackingAtBegin = false;
  gfx::Point velocity;
};

class ScrollDragTest : public support::ScreenTest {
 protected:
  ScrollDragTest() {
    scroll = std::make_shared<ui::ScrollView>(gfx::Rect(100, 100, 400, 500));
    scroll->setContentSize({400, 3000});
    scroll->setDelegate(&states);
    // Stripes so a screenshot shows where the content is.
    for (int i = 0; i < 30; ++i) {
      auto stripe = ui::View::create(gfx::Rect(0, i * 100, 400, 100));
      stripe->setBackgroundColor(i % 2 ? gfx::Color(0.85, 0.9, 1) : gfx::Color(1, 0.95, 0.85));
      scroll->addSubview(stripe);
    }
    window().addSubview(scroll);
    render();
  }
  ~ScrollDragTest() override { scroll->setDelegate(nullptr); }

  double offsetY() const { return scroll->contentOffset().y; }

  std::shared_ptr<ui::ScrollView> scroll;
  States states;
};

TEST_F(ScrollDragTest, TheContentStaysUnderTheFinger) {
  auto touch = window().beginTouch({300, 500});
  EXPECT_TRUE(scroll->isTracking());
  EXPECT_FALSE(scroll->isDragging());
  wait(1.0 / 60);
  window().moveTouch(touch, {300, 495});  // under the pan's threshold: nothing moves
  EXPECT_EQ(offsetY(), 0);
  EXPECT_FALSE(scroll->isDragging());
  for (double y = 480; y >= 200; y -= 40) {
    wait(1.0 / 60);
    window().moveTouch(touch, {300, y});
    EXPECT_TRUE(scroll->isDragging());
    EXPECT_EQ(offsetY(), 500 - y);
  }
  // Held still, then lifted: no speed, no deceleration.
  wait(0.3);
  window().endTouch(touch);
  EXPECT_FALSE(scroll->isDragging());
  EXPECT_FALSE(scroll->isTracking());
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_EQ(offsetY(), 300);
  EXPECT_TRUE(states.trackingAtBegin);
  std::vector<std::string> expected{"willBeginDragging", "scroll...", "willEndDragging", "didEndDragging"};
  EXPECT_EQ(states.events, expected);
}

TEST_F(ScrollDragTest, AFlickDeceleratesInTheGesturesOrderAndStopsInRange) {
  drag({300, 550}, {300, 250}, 6);
  EXPECT_GT(states.velocity.y, 1);  // points per millisecond, the way the offset grows
  EXPECT_TRUE(scroll->isDecelerating());
  double released = offsetY();
  EXPECT_EQ(released, 300);
  wait(0.5);
  EXPECT_GT(offsetY(), released + 200);
  wait(8);
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_GE(offsetY(), 0);
  EXPECT_LE(offsetY(), 2500);
  std::vector<std::string> expected{"willBeginDragging",     "scroll...", "willEndDragging", "didEndDragging(decelerate)",
                                    "willBeginDecelerating", "scroll...", "didEndDecelerating"};
  EXPECT_EQ(states.events, expected);
  screenshot("after-flick");
}

TEST_F(ScrollDragTest, PullingPastTheTopRubberBandsBack) {
  auto touch = window().beginTouch({300, 200});
  for (int i = 1; i <= 10; ++i) {
    wait(1.0 / 60);
    window().moveTouch(touch, {300, 200 + i * 20.0});
  }
  EXPECT_EQ(offsetY(), -100);  // 200 points of finger travel, half of it shown
  auto image = screenshot("pulled");
  ASSERT_TRUE(image);
  // Above the content the window's white shows through; the vertical bar sits at the right.
  EXPECT_EQ(colorAt(*image, {300, 150}), 0xFFFFFFFFu);
  wait(0.3);
  window().endTouch(touch);
  EXPECT_TRUE(scroll->isDecelerating());
  wait(2);
  EXPECT_EQ(offsetY(), 0);
  EXPECT_EQ(states.events.back(), "didEndDecelerating");
}

TEST_F(ScrollDragTest, PagingTurnsOnePagePerFlick) {
  scroll->setContentSize({400 * 4, 500});
  scroll->setPagingEnabled(true);
  drag({450, 300}, {250, 300}, 4);
  wait(2);
  EXPECT_EQ(scroll->contentOffset().x, 400);
  drag({450, 300}, {150, 300}, 2);
  wait(2);
  EXPECT_EQ(scroll->contentOffset().x, 800);
  // A slow half-page drag back, held before lifting, returns to the nearest page.
  auto touch = window().beginTouch({200, 300});
  for (int i = 1; i <= 8; ++i) {
    wait(1.0 / 60);
    window().moveTouch(touch, {200 + i * 20.0, 300});
  }
  wait(0.3);
  window().endTouch(touch);
  wait(2);
  EXPECT_EQ(scroll->contentOffset().x, 800);
}

TEST_F(ScrollDragTest, ATouchWhileDeceleratingStopsTheContent) {
  drag({300, 550}, {300, 250}, 4);
  wait(0.3);
  ASSERT_TRUE(scroll->isDecelerating());
  auto touch = window().beginTouch({300, 300});
  EXPECT_FALSE(scroll->isDecelerating());
  double held = offsetY();
  wait(0.5);
  EXPECT_EQ(offsetY(), held);
  window().endTouch(touch);
  wait(1);
  EXPECT_EQ(offsetY(), held);
  EXPECT_FALSE(scroll->isTracking());
}

TEST_F(ScrollDragTest, DisabledScrollingIgnoresDrags) {
  scroll->setScrollEnabled(false);
  EXPECT_FALSE(scroll->panGestureRecognizer()->isEnabled());
  drag({300, 500}, {300, 200});
  wait(1);
  EXPECT_EQ(offsetY(), 0);
  EXPECT_TRUE(states.events.empty());
  scroll->setScrollEnabled(true);
  drag({300, 500}, {300, 400});
  EXPECT_NE(offsetY(), 0);
}

TEST_F(ScrollDragTest, ButtonsInsideTakeTapsAndGiveUpDrags) {
  auto button = ui::Button::create(ui::ButtonType::System, gfx::Rect(50, 200, 200, 80));
  button->setTitle("Press", ui::ControlStateNormal);
  int inside = 0, cancelled = 0;
  button->addTarget(this, [&](ui::Control&, const ui::Event*) { ++inside; }, ui::ControlEventTouchUpInside);
  button->addTarget(this, [&](ui::Control&, const ui::Event*) { ++cancelled; }, ui::ControlEventTouchCancel);
  scroll->addSubview(button);
  render();

  tap(*button);
  EXPECT_EQ(inside, 1);
  EXPECT_EQ(offsetY(), 0);
  EXPECT_FALSE(scroll->isTracking());

  // A drag that begins on the button scrolls and cancels the button's tracking.
  gfx::Point start = button->convertPointTo(button->bounds().center(), nullptr);
  auto touch = window().beginTouch(start);
  EXPECT_TRUE(button->isTracking());
  for (int i = 1; i <= 6; ++i) {
    wait(1.0 / 60);
    window().moveTouch(touch, {start.x, start.y - i * 15.0});
  }
  EXPECT_EQ(offsetY(), 90);
  EXPECT_FALSE(button->isTracking());
  EXPECT_FALSE(button->isHighlighted());
  EXPECT_EQ(cancelled, 1);
  window().endTouch(touch);
  EXPECT_EQ(inside, 1);
  wait(3);

  // Content that may not be cancelled keeps its touch: no scrolling.
  scroll->setContentOffset({0, 0});
  scroll->setCanCancelContentTouches(false);
  double before = offsetY();
  drag(start, {start.x, start.y - 100});
  EXPECT_EQ(offsetY(), before);
  EXPECT_EQ(inside, 2);  // lifted within the button's tracking margin
}

}  // namespace
