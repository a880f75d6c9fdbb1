#include "platform/ui/ScrollView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

// A scroll view whose drag steps the test drives by hand, counting its layout passes.
class DrivenScrollView : public ui::ScrollView {
 public:
  using ui::ScrollView::ScrollView;
  using ui::ScrollView::beginDragging;
  using ui::ScrollView::dragTo;
  using ui::ScrollView::endDragging;
  using ui::ScrollView::touchDown;
  using ui::ScrollView::touchUp;

  void layoutSubviews() override { ++layouts; }
  int layouts = 0;

  // A whole gesture: down, drag by `travel` (the finger's), release with `velocity` (the
  // content's, points per millisecond).
  void fling(gfx::Point travel, gfx::Point velocity) {
    touchDown();
    beginDragging();
    dragTo(travel);
    endDragging(velocity);
    touchUp();
  }
};

class Recorder : public ui::ScrollViewDelegate {
 public:
  void scrollViewDidScroll(ui::ScrollView&) override { add("scroll"); }
  void scrollViewWillBeginDragging(ui::ScrollView& s) override {
    events.push_back("willBeginDragging");
    draggingAtBegin = s.isDragging();
  }
  void scrollViewWillEndDragging(ui::ScrollView&, gfx::Point velocity, gfx::Point& target) override {
    events.push_back("willEndDragging");
    releaseVelocity = velocity;
    offeredTarget = target;
    if (newTarget) target = *newTarget;
  }
  void scrollViewDidEndDragging(ui::ScrollView& s, bool decelerate) override {
    events.push_back(decelerate ? "didEndDragging(decelerate)" : "didEndDragging");
    if (onDidEndDragging) onDidEndDragging(s);
  }
  void scrollViewWillBeginDecelerating(ui::ScrollView& s) override {
    events.push_back("willBeginDecelerating");
    deceleratingAtBegin = s.isDecelerating();
  }
  void scrollViewDidEndDecelerating(ui::ScrollView& s) override {
    events.push_back("didEndDecelerating");
    deceleratingAtEnd = s.isDecelerating();
  }
  void scrollViewDidEndScrollingAnimation(ui::ScrollView&) override { events.push_back("didEndScrollingAnimation"); }

  // Runs of did-scroll calls collapse into one "scroll..." entry.
  void add(const std::string& e) {
    ++scrolls;
    if (events.empty() || events.back() != "scroll...") events.push_back("scroll...");
    (void)e;
  }

  std::vector<std::string> events;
  int scrolls = 0;
  bool draggingAtBegin = false;
  bool deceleratingAtBegin = false;
  bool deceleratingAtEnd = true;
  gfx::Point releaseVelocity;
  gfx::Point offeredTarget;
  std::optional<gfx::Point> newTarget;
  std::function<void(ui::ScrollView&)> onDidEndDragging;
};

class ScrollViewTest : public support::ScreenTest {
 protected:
  ScrollViewTest() {
    scroll = std::make_shared<DrivenScrollView>(gfx::Rect(100, 100, 400, 300));
    scroll->setContentSize({400, 2000});
    scroll->setDelegate(&recorder);
    window().addSubview(scroll);
    render();
  }
  ~ScrollViewTest() override { scroll->setDelegate(nullptr); }

  gfx::Point offset() const { return scroll->contentOffset(); }

  std::shared_ptr<DrivenScrollView> scroll;
  Recorder recorder;
};

// ---- Offset, observers and the layout pass ----

TEST_F(ScrollViewTest, EveryOffsetChangeAsksForALayoutPassAndTellsObservers) {
  int before = scroll->layouts;
  std::vector<std::pair<gfx::Point, gfx::Point>> seen;
  auto owner = std::make_shared<int>(0);
  scroll->addContentOffsetObserver(owner, [&](gfx::Point o, gfx::Point n) { seen.push_back({o, n}); });

  scroll->setContentOffset({0, 50});
  EXPECT_TRUE(scroll->needsLayout());
  render();
  EXPECT_EQ(scroll->layouts, before + 1);
  EXPECT_EQ(scroll->bounds().origin, (gfx::Point{0, 50}));

  scroll->setContentOffset({0, 50});  // no change: nothing
  render();
  EXPECT_EQ(scroll->layouts, before + 1);
  scroll->setContentOffset({0, 80});
  render();
  EXPECT_EQ(scroll->layouts, before + 2);

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, (gfx::Point{0, 0}));
  EXPECT_EQ(seen[0].second, (gfx::Point{0, 50}));
  EXPECT_EQ(seen[1].first, (gfx::Point{0, 50}));
  EXPECT_EQ(seen[1].second, (gfx::Point{0, 80}));
  EXPECT_EQ(recorder.scrolls, 2);

  scroll->removeObservers(owner);
  scroll->setContentOffset({0, 0});
  EXPECT_EQ(seen.size(), 2u);

  // An observer whose owner has gone is not called (nothing it captured is touched).
  auto gone = std::make_shared<int>(0);
  int calls = 0;
  scroll->addContentOffsetObserver(gone, [&calls](gfx::Point, gfx::Point) { ++calls; });
  gone.reset();
  scroll->setContentOffset({0, 30});
  EXPECT_EQ(calls, 0);
}

TEST_F(ScrollViewTest, DecelerationLaysOutOnEveryFrame) {
  scroll->setContentOffset({0, 500});
  render();
  int before = scroll->layouts;
  scroll->fling({0, 0}, {0, 1.0});
  int frames = 0;
  while (scroll->isDecelerating() && frames < 1000) {
    wait(1.0 / 60);
    ++frames;
  }
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_GT(frames, 10);
  // One pass per frame that moved the content (the last frames may not move it).
  EXPECT_GE(scroll->layouts - before, frames - 2);
}

TEST_F(ScrollViewTest, InsetsWidenTheRangeAndAreObserved) {
  EXPECT_EQ(scroll->minimumContentOffset(), (gfx::Point{0, 0}));
  EXPECT_EQ(scroll->maximumContentOffset(), (gfx::Point{0, 1700}));
  std::vector<gfx::EdgeInsets> seen;
  auto owner = std::make_shared<int>(0);
  scroll->addContentInsetObserver(owner, [&](const gfx::EdgeInsets& o, const gfx::EdgeInsets& n) {
    seen.push_back(o);
    seen.push_back(n);
  });
  scroll->setContentInset({54, 10, 44, 20});
  EXPECT_EQ(scroll->minimumContentOffset(), (gfx::Point{-10, -54}));
  EXPECT_EQ(scroll->maximumContentOffset(), (gfx::Point{20, 1744}));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], gfx::EdgeInsets{});
  EXPECT_EQ(seen[1], (gfx::EdgeInsets{54, 10, 44, 20}));
  scroll->setContentInset({54, 10, 44, 20});
  EXPECT_EQ(seen.size(), 2u);

  // Dragging down into the top inset does not bounce: it is part of the range.
  scroll->setBounces(false);
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, 40});
  EXPECT_EQ(offset().y, -40);
  scroll->dragTo({0, 100});
  EXPECT_EQ(offset().y, -54);
  scroll->endDragging({0, 0});
  scroll->touchUp();
  wait(1);
  EXPECT_EQ(offset().y, -54);
  scroll->removeObservers(owner);
}

TEST_F(ScrollViewTest, ContentSizeAndReloadsAreObserved) {
  std::vector<std::pair<gfx::Size, gfx::Size>> sizes;
  auto owner = std::make_shared<int>(0);
  scroll->addContentSizeObserver(owner, [&](gfx::Size o, gfx::Size n) { sizes.push_back({o, n}); });
  const gfx::Size before = scroll->contentSize();
  scroll->setContentSize({before.width, 300});
  scroll->setContentSize({before.width, 300});
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].first, before);
  EXPECT_EQ(sizes[0].second, (gfx::Size{before.width, 300}));
  scroll->removeObservers(owner);
  scroll->setContentSize({before.width, 400});
  EXPECT_EQ(sizes.size(), 1u);

  // Tables tell the reload observers once their rows are read again.
  struct Rows : ui::TableViewDataSource {
    int numberOfRowsInSection(ui::TableView&, int) override { return count; }
    std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView&, const ui::IndexPath&) override {
      return ui::TableViewCell::create(ui::TableViewCellStyle::Default, "");
    }
    int count = 3;
  } rows;
  auto table = ui::TableView::create(gfx::Rect(0, 0, 100, 100));
  table->setDataSource(&rows);
  std::vector<int> seen;
  table->addReloadObserver(owner, [&] { seen.push_back(table->numberOfRowsInSection(0)); });
  rows.count = 5;
  table->reloadData();
  EXPECT_EQ(seen, std::vector<int>{5});
  owner.reset();  // gone: dropped unheard
  table->reloadData();
  EXPECT_EQ(seen, std::vector<int>{5});
}

// ---- Dragging ----

TEST_F(ScrollViewTest, DragFollowsTheFingerAndBandsPastTheEdges) {
  scroll->touchDown();
  EXPECT_TRUE(scroll->isTracking());
  EXPECT_FALSE(scroll->isDragging());
  scroll->beginDragging();
  EXPECT_TRUE(scroll->isDragging());
  EXPECT_TRUE(recorder.draggingAtBegin);

  scroll->dragTo({0, -120});  // finger up: content offset grows
  EXPECT_EQ(offset(), (gfx::Point{0, 120}));
  scroll->dragTo({30, -200});  // the content fits horizontally: no sideways move
  EXPECT_EQ(offset(), (gfx::Point{0, 200}));
  scroll->dragTo({0, 100});  // 100 past the top edge: half of it
  EXPECT_EQ(offset(), (gfx::Point{0, -50}));

  scroll->setBounces(false);
  scroll->dragTo({0, 120});
  EXPECT_EQ(offset(), (gfx::Point{0, 0}));
  scroll->dragTo({0, 110});  // turning back moves the content at once
  EXPECT_EQ(offset(), (gfx::Point{0, 10}));
  scroll->endDragging({0, 0});
  scroll->touchUp();
  EXPECT_FALSE(scroll->isDragging());
  EXPECT_FALSE(scroll->isTracking());
}

TEST_F(ScrollViewTest, ContentThatFitsOnlyScrollsWhenAlwaysBouncing) {
  scroll->setContentSize({400, 200});
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, -100});
  EXPECT_EQ(offset(), (gfx::Point{0, 0}));
  scroll->endDragging({0, 1});
  scroll->touchUp();
  EXPECT_FALSE(scroll->isDecelerating());

  scroll->setAlwaysBounceVertical(true);
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, 80});
  EXPECT_EQ(offset(), (gfx::Point{0, -40}));
  scroll->endDragging({0, 0});
  scroll->touchUp();
  EXPECT_TRUE(scroll->isDecelerating());
  wait(2);
  EXPECT_EQ(offset(), (gfx::Point{0, 0}));
}

TEST_F(ScrollViewTest, DirectionalLockKeepsTheFirstDirection) {
  scroll->setContentSize({2000, 2000});
  scroll->setDirectionalLockEnabled(true);
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, -60});
  scroll->dragTo({-50, -100});
  EXPECT_EQ(offset(), (gfx::Point{0, 100}));
  scroll->endDragging({0.5, 0});
  scroll->touchUp();
  EXPECT_FALSE(scroll->isDecelerating());  // the sideways speed does not count

  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({-40, -40});  // diagonal: free
  scroll->dragTo({-100, -60});
  EXPECT_EQ(offset(), (gfx::Point{100, 160}));
  scroll->endDragging({0, 0});
  scroll->touchUp();
}

TEST_F(ScrollViewTest, ADragRebasesWhenSomeoneElseMovesTheContent) {
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, -100});
  scroll->setContentOffset({0, 500});
  scroll->dragTo({0, -130});
  EXPECT_EQ(offset(), (gfx::Point{0, 530}));
  scroll->endDragging({0, 0});
  scroll->touchUp();

  // A wider inset while pulled past the top (a refresh header appearing) does not make it jump.
  scroll->setContentOffset({0, 0});
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, 160});
  EXPECT_EQ(offset().y, -80);
  scroll->setContentInset({60, 0, 0, 0});
  scroll->dragTo({0, 160});
  EXPECT_EQ(offset().y, -80);
  scroll->dragTo({0, 180});
  EXPECT_EQ(offset().y, -90);
  scroll->endDragging({0, 0});
  scroll->touchUp();
}

// ---- Release and deceleration ----

TEST_F(ScrollViewTest, DelegateCallsComeInTheOrderOfTheGesture) {
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, -50});
  scroll->dragTo({0, -100});
  scroll->endDragging({0, 1.5});
  EXPECT_TRUE(recorder.deceleratingAtBegin);
  scroll->touchUp();
  wait(6);
  std::vector<std::string> expected{"willBeginDragging",        "scroll...", "willEndDragging",
                                    "didEndDragging(decelerate)", "willBeginDecelerating", "scroll...",
                                    "didEndDecelerating"};
  EXPECT_EQ(recorder.events, expected);
  EXPECT_FALSE(recorder.deceleratingAtEnd);
  EXPECT_EQ(recorder.releaseVelocity, (gfx::Point{0, 1.5}));

  // A release without speed inside the range: no deceleration.
  recorder.events.clear();
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, 20});
  scroll->endDragging({0, 0});
  scroll->touchUp();
  wait(1);
  expected = {"willBeginDragging", "scroll...", "willEndDragging", "didEndDragging"};
  EXPECT_EQ(recorder.events, expected);
}

TEST_F(ScrollViewTest, ReleaseWithSpeedDeceleratesAndStopsInRange) {
  scroll->setContentOffset({0, 400});
  scroll->fling({0, 0}, {0, 1.0});
  EXPECT_TRUE(scroll->isDecelerating());
  // The offered target is where free deceleration would end: about v / -ln(rate) further on.
  double expected = 400 + 1.0 / -std::log(ui::ScrollView::DecelerationRateNormal);
  EXPECT_NEAR(recorder.offeredTarget.y, expected, 1);
  wait(0.1);
  double early = offset().y;
  EXPECT_GT(early, 450);
  wait(6);
  EXPECT_FALSE(scroll->isDecelerating());
  // It slows until the speed is negligible: near the projection, short of it.
  EXPECT_NEAR(offset().y, expected, 8);
  EXPECT_LE(offset().y, expected);

  // A fast rate stops sooner.
  scroll->setDecelerationRate(ui::ScrollView::DecelerationRateFast);
  double start = offset().y;
  scroll->fling({0, 0}, {0, 1.0});
  wait(3);
  EXPECT_NEAR(offset().y - start, 100, 5);
}

TEST_F(ScrollViewTest, AFlickAtTheEdgeOvershootsAndSettlesOnTheEdge) {
  scroll->setContentOffset({0, 1600});
  scroll->fling({0, 0}, {0, 3.0});
  double furthest = 0;
  for (int i = 0; i < 300 && scroll->isDecelerating(); ++i) {
    wait(1.0 / 60);
    furthest = std::max(furthest, offset().y);
  }
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_GT(furthest, 1710);
  EXPECT_LT(furthest, 1800);
  EXPECT_EQ(offset().y, 1700);
  EXPECT_EQ(recorder.offeredTarget.y, 1700);  // the target is in range

  // Without bouncing it stops at the edge.
  scroll->setBounces(false);
  scroll->setContentOffset({0, 1600});
  scroll->fling({0, 0}, {0, 3.0});
  for (int i = 0; i < 300 && scroll->isDecelerating(); ++i) {
    wait(1.0 / 60);
    EXPECT_LE(offset().y, 1700);
  }
  EXPECT_EQ(offset().y, 1700);
}

TEST_F(ScrollViewTest, ReleasePastAnEdgeSpringsBack) {
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, 160});
  EXPECT_EQ(offset().y, -80);
  scroll->endDragging({0, 0});
  scroll->touchUp();
  EXPECT_EQ(recorder.events[recorder.events.size() - 2], "didEndDragging(decelerate)");
  EXPECT_EQ(recorder.offeredTarget.y, 0);
  wait(0.1);
  double mid = offset().y;
  EXPECT_GT(mid, -80);
  EXPECT_LT(mid, 0);
  wait(2);
  EXPECT_EQ(offset().y, 0);
  EXPECT_EQ(recorder.events.back(), "didEndDecelerating");

  // The edge moves while springing back (a refresh header widening the inset): it lands on the new edge.
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, 200});
  scroll->endDragging({0, 0});
  scroll->setContentInset({54, 0, 0, 0});
  scroll->touchUp();
  wait(2);
  EXPECT_EQ(offset().y, -54);
}

TEST_F(ScrollViewTest, TheDelegateMayChooseWhereDecelerationStops) {
  scroll->setContentOffset({0, 300});
  recorder.newTarget = gfx::Point{0, 700};
  scroll->fling({0, 0}, {0, 0.2});
  wait(3);
  EXPECT_EQ(offset().y, 700);
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_EQ(recorder.events.back(), "didEndDecelerating");

  // Even with no speed at all.
  recorder.newTarget = gfx::Point{0, 100};
  scroll->fling({0, 0}, {0, 0});
  wait(3);
  EXPECT_EQ(offset().y, 100);
}

TEST_F(ScrollViewTest, PagingLandsOnPageBoundaries) {
  scroll->setContentSize({400 * 5, 300});
  scroll->setPagingEnabled(true);
  // Slow releases land on the nearest page.
  scroll->fling({-150, 0}, {0, 0});
  EXPECT_EQ(recorder.offeredTarget.x, 0);
  wait(2);
  EXPECT_EQ(offset().x, 0);
  scroll->fling({-250, 0}, {0.05, 0});
  wait(2);
  EXPECT_EQ(offset().x, 400);
  // A flick turns one page in its direction, however fast.
  scroll->fling({-50, 0}, {5, 0});
  EXPECT_EQ(recorder.offeredTarget.x, 800);
  wait(2);
  EXPECT_EQ(offset().x, 800);
  scroll->fling({50, 0}, {-0.5, 0});
  wait(2);
  EXPECT_EQ(offset().x, 400);
  // Never past the last page.
  scroll->setContentOffset({1600, 0});
  scroll->fling({-60, 0}, {3, 0});
  wait(2);
  EXPECT_EQ(offset().x, 1600);
  EXPECT_EQ(recorder.events.back(), "didEndDecelerating");
}

TEST_F(ScrollViewTest, ATouchStopsDecelerationAtOnce) {
  scroll->setContentOffset({0, 200});
  scroll->fling({0, 0}, {0, 2});
  wait(0.2);
  ASSERT_TRUE(scroll->isDecelerating());
  scroll->touchDown();
  EXPECT_FALSE(scroll->isDecelerating());
  double stopped = offset().y;
  wait(1);
  EXPECT_EQ(offset().y, stopped);
  scroll->touchUp();
  wait(1);
  EXPECT_EQ(offset().y, stopped);
  EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "didEndDecelerating"), 0);

  // Stopped past an edge, lifting lets it spring back.
  scroll->touchDown();
  scroll->beginDragging();
  scroll->setContentOffset({0, 0});
  scroll->dragTo({0, 200});
  scroll->endDragging({0, 0});
  scroll->touchUp();
  wait(0.05);
  scroll->touchDown();
  double held = offset().y;
  EXPECT_LT(held, 0);
  wait(0.5);
  EXPECT_EQ(offset().y, held);
  scroll->touchUp();
  wait(2);
  EXPECT_EQ(offset().y, 0);
}

TEST_F(ScrollViewTest, SettingTheOffsetStopsDeceleration) {
  scroll->fling({0, 0}, {0, 2});
  wait(0.1);
  scroll->setContentOffset({0, 50});
  EXPECT_FALSE(scroll->isDecelerating());
  wait(1);
  EXPECT_EQ(offset().y, 50);

  // A delegate that places the content when the drag ends wins over the deceleration.
  recorder.onDidEndDragging = [](ui::ScrollView& s) { s.setContentOffset({0, 10}, true); };
  recorder.events.clear();
  scroll->fling({0, -50}, {0, 2});
  wait(1);
  EXPECT_EQ(offset().y, 10);
  EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "willBeginDecelerating"), 0);
  EXPECT_EQ(recorder.events.back(), "didEndScrollingAnimation");
}

// ---- Animated offsets and scrolling to a rect ----

TEST_F(ScrollViewTest, AnimatedOffsetEasesOutAndEndsWithACall) {
  scroll->setContentOffset({0, 600}, true);
  EXPECT_EQ(offset().y, 0);  // it starts on the next frame
  wait(0.15);
  double half = offset().y;
  EXPECT_GT(half, 300);  // ease out: more than half the way at half the time
  EXPECT_LT(half, 600);
  EXPECT_TRUE(recorder.events.empty() || recorder.events.back() == "scroll...");
  wait(0.2);
  EXPECT_EQ(offset().y, 600);
  EXPECT_EQ(recorder.events.back(), "didEndScrollingAnimation");
  wait(0.5);
  EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "didEndScrollingAnimation"), 1);

  // Without animation: at once, and no end call; to the same place: nothing.
  recorder.events.clear();
  scroll->setContentOffset({0, 100}, false);
  EXPECT_EQ(offset().y, 100);
  scroll->setContentOffset({0, 100}, true);
  wait(0.5);
  std::vector<std::string> expected{"scroll..."};
  EXPECT_EQ(recorder.events, expected);

  // A new animation replaces one in flight; a touch stops it.
  scroll->setContentOffset({0, 1000}, true);
  wait(0.1);
  scroll->setContentOffset({0, 0}, true);
  wait(0.5);
  EXPECT_EQ(offset().y, 0);
  scroll->setContentOffset({0, 1000}, true);
  wait(0.1);
  scroll->touchDown();
  double held = offset().y;
  wait(0.5);
  EXPECT_EQ(offset().y, held);
  scroll->touchUp();
}

TEST_F(ScrollViewTest, ScrollRectToVisibleMovesTheLeast) {
  scroll->setContentSize({1200, 2000});
  scroll->scrollRectToVisible(gfx::Rect(10, 500, 50, 40), false);
  EXPECT_EQ(offset(), (gfx::Point{0, 240}));  // bottom edge of the rect at the bottom
  scroll->scrollRectToVisible(gfx::Rect(10, 100, 50, 40), false);
  EXPECT_EQ(offset(), (gfx::Point{0, 100}));  // top edge at the top
  scroll->scrollRectToVisible(gfx::Rect(10, 150, 50, 40), false);
  EXPECT_EQ(offset(), (gfx::Point{0, 100}));  // already visible
  scroll->scrollRectToVisible(gfx::Rect(500, 120, 100, 40), false);
  EXPECT_EQ(offset(), (gfx::Point{200, 100}));
  scroll->scrollRectToVisible(gfx::Rect(0, 1990, 50, 400), false);
  EXPECT_EQ(offset(), (gfx::Point{0, 1700}));  // clamped to the range
  scroll->scrollRectToVisible(gfx::Rect(0, 0, 10, 10), true);
  EXPECT_EQ(offset().y, 1700);
  wait(0.5);
  EXPECT_EQ(offset(), (gfx::Point{0, 0}));
  EXPECT_EQ(recorder.events.back(), "didEndScrollingAnimation");
}

// ---- Scroll indicators ----

TEST_F(ScrollViewTest, IndicatorsShowWhileScrollingAndFadeAfter) {
  auto content = ui::View::create(gfx::Rect(0, 0, 400, 2000));
  content->setBackgroundColor(gfx::Color(0.9, 0.9, 1));
  scroll->addSubview(content);
  size_t before = scroll->subviews().size();

  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, -850});
  ASSERT_EQ(scroll->subviews().size(), before + 1);  // only vertical: the content fits across
  auto bar = scroll->subviews().back();
  gfx::Rect f = bar->frame();
  EXPECT_EQ(f.width(), 2.5);
  EXPECT_NEAR(f.maxX(), scroll->bounds().maxX() - 2.5, 1e-9);
  // 300 of 2000 visible, half way down the range: the bar is in the middle of the track.
  EXPECT_NEAR(f.height(), (300 - 5) * 0.15, 1e-9);
  EXPECT_NEAR(f.midY() - scroll->bounds().minY(), 150, 1);
  EXPECT_FALSE(bar->isUserInteractionEnabled());

  // Content added while shown goes below it again on the next move.
  auto late = ui::View::create(gfx::Rect(0, 900, 10, 10));
  scroll->addSubview(late);
  scroll->dragTo({0, -860});
  EXPECT_EQ(scroll->subviews().back(), bar);
  screenshot("dragging");

  // Past the edge it shrinks.
  scroll->dragTo({0, -1700 - 200});
  EXPECT_LT(bar->frame().height(), (300 - 5) * 0.15);
  EXPECT_NEAR(bar->frame().maxY(), scroll->bounds().maxY() - 2.5, 1e-6);

  scroll->endDragging({0, 0});
  scroll->touchUp();
  wait(0.2);
  EXPECT_EQ(bar->superview(), scroll.get());  // still there while springing back
  wait(2);
  EXPECT_FALSE(scroll->isDecelerating());
  EXPECT_EQ(bar->superview(), nullptr);
  EXPECT_EQ(scroll->subviews().size(), before + 1);  // the content views stay

  // Turned off: none.
  scroll->setShowsVerticalScrollIndicator(false);
  scroll->fling({0, 30}, {0, 0});
  EXPECT_EQ(scroll->subviews().size(), before + 1);
}

TEST_F(ScrollViewTest, IndicatorsKeepInsideTheirInsetsOnBothAxes) {
  scroll->setContentSize({800, 600});
  scroll->setScrollIndicatorInsets({10, 0, 20, 30});
  scroll->touchDown();
  scroll->beginDragging();
  scroll->dragTo({0, 0});
  auto subs = scroll->subviews();
  ASSERT_EQ(subs.size(), 2u);
  gfx::Rect h = subs[0]->frame(), v = subs[1]->frame();
  if (h.width() < h.height()) std::swap(h, v);
  EXPECT_EQ(v.width(), 2.5);
  EXPECT_EQ(h.height(), 2.5);
  EXPECT_NEAR(v.maxX(), 400 - 30 - 2.5, 1e-9);
  EXPECT_NEAR(v.minY(), 10 + 2.5, 1e-9);
  EXPECT_NEAR(h.maxY(), 300 - 20 - 2.5, 1e-9);
  EXPECT_NEAR(h.minX(), 2.5, 1e-9);
  // The bars leave the corner to each other.
  EXPECT_LE(v.maxY(), h.minY());
  EXPECT_LE(h.maxX(), v.minX());
  scroll->endDragging({0, 0});
  scroll->touchUp();
}

}  // namespace
