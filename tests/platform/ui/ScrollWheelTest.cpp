// The mouse wheel and the touchpad through the display: the scroll views under the pointer.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ScrollView.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

constexpr double Notch = ui::ScrollView::WheelNotchPoints;

class Heard : public ui::ScrollViewDelegate {
 public:
  void scrollViewDidScroll(ui::ScrollView& s) override {
    ++scrolls;
    if (s.isDragging()) ++dragged;
    if (events.empty() || events.back() != "scroll...") events.push_back("scroll...");
  }
  void scrollViewWillBeginDragging(ui::ScrollView&) override { events.push_back("willBeginDragging"); }
  void scrollViewDidEndDragging(ui::ScrollView&, bool) override { events.push_back("didEndDragging"); }
  void scrollViewWillBeginDecelerating(ui::ScrollView&) override { events.push_back("willBeginDecelerating"); }
  void scrollViewDidEndDecelerating(ui::ScrollView&) override { events.push_back("didEndDecelerating"); }

  std::vector<std::string> events;
  int scrolls = 0;
  int dragged = 0;
};

std::shared_ptr<ui::ScrollView> scrollView(const gfx::Rect& frame, gfx::Size content) {
  auto scroll = std::make_shared<ui::ScrollView>(frame);
  scroll->setContentSize(content);
  return scroll;
}

class ScrollWheelTest : public support::ScreenTest {
 protected:
  ScrollWheelTest() {
    list->setDelegate(&heard);
    window().addSubview(list);
    render();
  }
  ~ScrollWheelTest() override { list->setDelegate(nullptr); }

  gfx::Point offset() const { return list->contentOffset(); }

  // A 400 x 500 list at (100, 100), 3000 points long: it rests from 0 to 2500.
  std::shared_ptr<ui::ScrollView> list = scrollView(gfx::Rect(100, 100, 400, 500), {400, 3000});
  Heard heard;
};

TEST_F(ScrollWheelTest, NotchesMoveTheListUnderThePointerWithinItsRange) {
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(wheel({300, 300}, {0, 1}));
  EXPECT_EQ(offset(), (gfx::Point{0, 5 * Notch}));
  // The delegate hears each move as it hears a drag's, though nothing is dragged.
  EXPECT_EQ(heard.scrolls, 5);
  EXPECT_EQ(heard.dragged, 0);
  EXPECT_EQ(heard.events, std::vector<std::string>{"scroll..."});
  EXPECT_FALSE(list->isDecelerating());
  // A touchpad's fraction of a notch moves by that fraction.
  EXPECT_TRUE(wheel({300, 300}, {0, -0.25}));
  EXPECT_EQ(offset().y, 4.75 * Notch);
  // Beside the list nothing moves.
  EXPECT_FALSE(wheel({50, 300}, {0, 1}));
  EXPECT_FALSE(wheel({600, 300}, {0, 1}));
  EXPECT_EQ(offset().y, 4.75 * Notch);

  // Past either end the list stops at it; once there, it takes no more that way.
  for (int i = 0; i < 10; ++i) wheel({300, 300}, {0, -1});
  EXPECT_EQ(offset(), (gfx::Point{0, 0}));
  EXPECT_FALSE(wheel({300, 300}, {0, -1}));
  EXPECT_TRUE(wheel({300, 300}, {0, 100}));
  EXPECT_EQ(offset(), (gfx::Point{0, 2500}));
  EXPECT_FALSE(wheel({300, 300}, {0, 1}));
  // Across it cannot move at all.
  EXPECT_FALSE(wheel({300, 300}, {1, 0}));
  wait(1);
  EXPECT_EQ(offset(), (gfx::Point{0, 2500}));
}

TEST_F(ScrollWheelTest, TheWheelPutsContentLeftPastAnEdgeBackInRange) {
  // Pulled down past the top and let go: the content springs back from -100.
  auto touch = window().beginTouch({300, 200});
  for (int i = 1; i <= 10; ++i) {
    wait(1.0 / 60);
    window().moveTouch(touch, {300, 200 + i * 20.0});
  }
  wait(0.3);
  window().endTouch(touch);
  ASSERT_TRUE(list->isDecelerating());
  ASSERT_LT(offset().y, -50);
  heard.events.clear();
  EXPECT_TRUE(wheel({300, 300}, {0, 1}));
  EXPECT_EQ(offset().y, 0);
  EXPECT_FALSE(list->isDecelerating());
  // The delegate told the deceleration began hears it end.
  EXPECT_EQ(heard.events, (std::vector<std::string>{"scroll...", "didEndDecelerating"}));
  wait(1);
  EXPECT_EQ(offset().y, 0);
}

TEST_F(ScrollWheelTest, AnInnerViewAtItsEndOrThatCannotMoveThatWayPassesTheWheelOn) {
  // A 200-point box inside the list, 400 points long (it rests from 0 to 200), and a strip that
  // only moves across.
  auto box = scrollView(gfx::Rect(50, 20, 300, 200), {300, 400});
  auto strip = scrollView(gfx::Rect(0, 300, 400, 100), {1200, 100});
  list->addSubview(box);
  list->addSubview(strip);
  render();
  const gfx::Point overBox{300, 200}, overStrip{300, 450};

  for (int i = 0; i < 4; ++i) EXPECT_TRUE(wheel(overBox, {0, 1}));
  EXPECT_EQ(box->contentOffset().y, 4 * Notch);
  EXPECT_EQ(offset().y, 0);
  // The fifth notch takes the box to its end (8 points); the next goes to the list.
  EXPECT_TRUE(wheel(overBox, {0, 1}));
  EXPECT_EQ(box->contentOffset().y, 200);
  EXPECT_EQ(offset().y, 0);
  EXPECT_TRUE(wheel(overBox, {0, 1}));
  EXPECT_EQ(box->contentOffset().y, 200);
  EXPECT_EQ(offset().y, Notch);
  // Back up: the box first, as it can move that way.
  EXPECT_TRUE(wheel({300, 200 - Notch}, {0, -1}));
  EXPECT_EQ(box->contentOffset().y, 200 - Notch);
  EXPECT_EQ(offset().y, Notch);

  // Over the strip the wheel moves the list; a sideways swipe moves the strip, and a slanted one
  // both, each the way it can.
  list->setContentOffset({0, 0});
  EXPECT_TRUE(wheel(overStrip, {0, 1}));
  EXPECT_EQ(offset().y, Notch);
  EXPECT_EQ(strip->contentOffset().x, 0);
  list->setContentOffset({0, 0});
  EXPECT_TRUE(wheel(overStrip, {0.5, 0.5}));
  EXPECT_EQ(strip->contentOffset(), (gfx::Point{Notch / 2, 0}));
  EXPECT_EQ(offset(), (gfx::Point{0, Notch / 2}));
  // With the list at its top the strip still takes no up and down.
  list->setContentOffset({0, 0});
  EXPECT_FALSE(wheel(overStrip, {0, -1}));
  EXPECT_EQ(strip->contentOffset(), (gfx::Point{Notch / 2, 0}));

  // A box with scrolling disabled is passed over; so is one that takes no touches (the hit test
  // finds the list), while a view over the box that takes none lets the wheel through to it.
  list->setContentOffset({0, 0});
  box->setContentOffset({0, 0});
  box->setScrollEnabled(false);
  EXPECT_TRUE(wheel(overBox, {0, 1}));
  EXPECT_EQ(box->contentOffset().y, 0);
  EXPECT_EQ(offset().y, Notch);
  box->setScrollEnabled(true);
  box->setUserInteractionEnabled(false);
  EXPECT_TRUE(wheel({300, 200 - Notch}, {0, 1}));
  EXPECT_EQ(box->contentOffset().y, 0);
  EXPECT_EQ(offset().y, 2 * Notch);
  box->setUserInteractionEnabled(true);
  list->setContentOffset({0, 0});
  auto glass = ui::View::create(gfx::Rect(0, 0, 400, 500));
  glass->setUserInteractionEnabled(false);
  list->addSubview(glass);
  EXPECT_TRUE(wheel(overBox, {0, 1}));
  EXPECT_EQ(box->contentOffset().y, Notch);
  EXPECT_EQ(offset().y, 0);
}

TEST_F(ScrollWheelTest, APagingViewTurnsAPageANotchAndSettlesLikeAFlick) {
  auto pages = scrollView(gfx::Rect(0, 0, 400, 500), {1600, 500});
  pages->setPagingEnabled(true);
  Heard pageHeard;
  pages->setDelegate(&pageHeard);
  list->addSubview(pages);
  render();

  EXPECT_TRUE(wheel({300, 300}, {1, 0}));
  EXPECT_TRUE(pages->isDecelerating());
  wait(2);
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{400, 0}));
  EXPECT_FALSE(pages->isDecelerating());
  EXPECT_EQ(pageHeard.events, (std::vector<std::string>{"willBeginDecelerating", "scroll...", "didEndDecelerating"}));

  // A touchpad's fractions turn a page once they add up to a notch; turning back starts again.
  EXPECT_TRUE(wheel({300, 300}, {-0.4, 0}));
  EXPECT_TRUE(wheel({300, 300}, {-0.4, 0}));
  EXPECT_TRUE(wheel({300, 300}, {0.4, 0}));
  EXPECT_TRUE(wheel({300, 300}, {-0.4, 0}));
  EXPECT_TRUE(wheel({300, 300}, {-0.4, 0}));
  EXPECT_FALSE(pages->isDecelerating());
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{400, 0}));
  EXPECT_TRUE(wheel({300, 300}, {-0.4, 0}));
  wait(2);
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{0, 0}));
  // What does not add up to a notch is forgotten after a pause.
  EXPECT_TRUE(wheel({300, 300}, {0.8, 0}));
  wait(0.5);
  EXPECT_TRUE(wheel({300, 300}, {0.8, 0}));
  wait(2);
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{0, 0}));

  // Quick notches add up from the page being settled on, to the last page and no further.
  pageHeard.events.clear();
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(wheel({300, 300}, {1, 0}));
    wait(1.0 / 60);
  }
  EXPECT_FALSE(wheel({300, 300}, {1, 0}));
  wait(2);
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{1200, 0}));
  EXPECT_EQ(pageHeard.events, (std::vector<std::string>{"willBeginDecelerating", "scroll...", "didEndDecelerating"}));

  // Up and down the pages cannot move: the list takes it.
  EXPECT_TRUE(wheel({300, 300}, {0, 1}));
  EXPECT_EQ(offset().y, Notch);
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{1200, 0}));
  pages->setDelegate(nullptr);
}

TEST_F(ScrollWheelTest, WhereNothingScrollsUpAndDownTheWheelMovesWhatScrollsAcross) {
  // Pages beside the list, in a box that does not scroll.
  auto box = scrollView(gfx::Rect(550, 100, 400, 300), {400, 300});
  auto pages = scrollView(gfx::Rect(0, 0, 400, 300), {1600, 300});
  pages->setPagingEnabled(true);
  box->addSubview(pages);
  window().addSubview(box);
  render();
  EXPECT_TRUE(wheel({700, 200}, {0, 1}));
  wait(2);
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{400, 0}));
  EXPECT_TRUE(wheel({700, 200}, {0, -1}));
  wait(2);
  EXPECT_EQ(pages->contentOffset(), (gfx::Point{0, 0}));
  EXPECT_FALSE(wheel({700, 200}, {0, -1}));
  EXPECT_EQ(offset(), (gfx::Point{0, 0}));
}

}  // namespace
