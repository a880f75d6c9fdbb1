// The flow pager on the offscreen screen: which pages exist at an offset and how they are
// recycled, flips by drags and by calls with what the delegate hears, reloads, the shrunk and
// faded neighbours, and owners that go away.
#include "widgets/controls/FlowPagerView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/PageControl.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using kt::FlowPagerView;

const gfx::Color kRed(0.8, 0.1, 0.1, 1);
const gfx::Color kBlue(0.1, 0.2, 0.8, 1);

// Pages tagged 100 + index in one colour, taken from the reuse list when it has one.
struct Pages : kt::FlowPagerViewDataSource {
  int64_t numberOfPagesInFlowView(FlowPagerView&) override { return count; }
  std::shared_ptr<ui::View> cellForPageAtIndex(FlowPagerView& flow, int64_t index) override {
    asked.push_back(index);
    if (nullPages) return nullptr;
    auto page = flow.dequeueReusableCell();
    if (!page) page = ui::View::create();
    page->setTag(100 + static_cast<int>(index));
    page->setBackgroundColor(colour);
    return page;
  }
  int64_t count = 10;
  gfx::Color colour = kRed;
  bool nullPages = false;
  std::vector<int64_t> asked;
};

// Records each report with what the pager and its dots showed at that moment.
struct Flips : kt::FlowPagerViewDelegate {
  gfx::Size sizeForPageInFlowView(FlowPagerView&) override { return size; }
  void didScrollToPage(FlowPagerView& flow, int64_t page) override {
    pages.push_back(page);
    indexWhenTold.push_back(flow.currentPageIndex());
    dotWhenTold.push_back(flow.pageControl() ? flow.pageControl()->currentPage() : -1);
  }
  gfx::Size size{800, 550};
  std::vector<int64_t> pages, indexWhenTold;
  std::vector<int> dotWhenTold;
};

class FlowPagerTest : public support::ScreenTest {
 protected:
  // A pager filling the window, as the recommended-dishes screen sets it up.
  std::shared_ptr<FlowPagerView> show(double alpha = 0.5, double scale = 0.9, int orientation = 0) {
    auto flow = std::make_shared<FlowPagerView>(window().bounds());
    flow->setDataSource(&pages);
    flow->setDelegate(&flips);
    flow->setPageControl(dots);
    flow->setMinimumPageAlpha(alpha);
    flow->setMinimumPageScale(scale);
    flow->setOrientation(orientation);
    window().addSubview(flow);
    flow->reloadData();
    settle();
    return flow;
  }
  // Runs until every motion and page animation is over.
  void settle() {
    runUntil([this] {
      for (const auto& flow : findViews<FlowPagerView>()) {
        if (flow->scrollView()->isDecelerating() || flow->scrollView()->isDragging()) return false;
      }
      return true;
    });
    wait(0.5);
    render();
  }
  static std::vector<int> placed(const FlowPagerView& flow) {
    std::vector<int> tags;
    for (const auto& v : flow.scrollView()->subviews()) {
      if (v->tag() >= 100) tags.push_back(v->tag() - 100);
    }
    std::sort(tags.begin(), tags.end());
    return tags;
  }
  double midY() const { return window().bounds().height() / 2; }

  Pages pages;
  Flips flips;
  std::shared_ptr<ui::PageControl> dots = ui::PageControl::create();
};

TEST_F(FlowPagerTest, PlacesTheVisiblePagesAndOneEachSideAndRecyclesTheRestLastInFirstOut) {
  auto flow = show();
  EXPECT_EQ(flow->pageCount(), 10);
  EXPECT_EQ(dots->numberOfPages(), 10);
  EXPECT_EQ(flow->scrollView()->contentSize(), (gfx::Size{8000, 550}));
  EXPECT_EQ(pages.asked, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(flow->visibleRange(), (FlowPagerView::Range{0, 3}));
  EXPECT_EQ(placed(*flow), (std::vector<int>{0, 1, 2}));
  for (size_t i = 3; i < 10; ++i) EXPECT_EQ(flow->cellAtIndex(i), nullptr) << i;

  // At page 3 pages 2 to 4 show in part; 1 and 5 are added, page 0 goes to the reuse list.
  auto page0 = flow->cellAtIndex(0);
  flow->scrollView()->setContentOffset({2400, 0});
  EXPECT_EQ(flow->visibleRange(), (FlowPagerView::Range{1, 5}));
  EXPECT_EQ(placed(*flow), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(page0->superview(), nullptr);
  EXPECT_EQ(flow->reusableCellCount(), 1u);

  // Back at the start, page 0 is built from the recycled view, then 3, 4 and 5 are recycled.
  auto page3 = flow->cellAtIndex(3), page4 = flow->cellAtIndex(4), page5 = flow->cellAtIndex(5);
  flow->scrollView()->setContentOffset({0, 0});
  EXPECT_EQ(flow->cellAtIndex(0), page0);
  EXPECT_EQ(page0->tag(), 100);
  EXPECT_EQ(placed(*flow), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(flow->dequeueReusableCell(), page5);
  EXPECT_EQ(flow->dequeueReusableCell(), page4);
  EXPECT_EQ(flow->dequeueReusableCell(), page3);
  EXPECT_EQ(flow->dequeueReusableCell(), nullptr);
}

TEST_F(FlowPagerTest, DragsReportOnlyARealChangeOfPageAfterTheDotsAndBeforeTheIndexMoves) {
  auto flow = show();
  // Started on the right-hand neighbour, beside the scroll view: the pages still move.
  drag({1000, midY()}, {600, midY()}, 6);
  settle();
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 800);
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1}));
  EXPECT_EQ(flips.indexWhenTold, (std::vector<int64_t>{0}));
  EXPECT_EQ(flips.dotWhenTold, (std::vector<int>{1}));
  EXPECT_EQ(flow->currentPageIndex(), 1);

  // A flip by call moves the pages but neither the index nor the dots, and reports nothing.
  flow->scrollToPage(3);
  settle();
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 2400);
  EXPECT_EQ(placed(*flow), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(flow->currentPageIndex(), 1);
  EXPECT_EQ(dots->currentPage(), 1);
  EXPECT_EQ(flips.pages.size(), 1u);
  flow->scrollToPage(10);  // beyond the last page
  settle();
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 2400);

  // Short drags that come back to rest on page 3: the first reports it, the second does not.
  for (int i = 0; i < 2; ++i) {
    drag({500, midY()}, {470, midY()}, 20);
    settle();
    EXPECT_EQ(flow->scrollView()->contentOffset().x, 2400);
  }
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1, 3}));
  EXPECT_EQ(flow->currentPageIndex(), 3);
  EXPECT_EQ(dots->currentPage(), 3);

  // Back the other way, on the left neighbour.
  drag({40, midY()}, {500, midY()}, 6);
  settle();
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1, 3, 2}));
}

TEST_F(FlowPagerTest, NeighboursShrinkAndFadeByDistanceAndAPageComingToRestGrowsBackStepByStep) {
  auto flow = show();
  support::expectRect(flow->cellAtIndex(0)->frame(), 0, 0, 800, 550, "page 0");
  support::expectRect(flow->cellAtIndex(1)->frame(), 840, 40, 720, 470, "page 1");
  support::expectRect(flow->cellAtIndex(2)->frame(), 1640, 40, 720, 470, "page 2");
  EXPECT_DOUBLE_EQ(flow->cellAtIndex(0)->alpha(), 1.0);
  EXPECT_DOUBLE_EQ(flow->cellAtIndex(1)->alpha(), 0.5);

  // The page's own position (840) is measured, not its slot (800): 40 points away.
  flow->scrollView()->setContentOffset({800, 0});
  support::expectRectNear(flow->cellAtIndex(1)->frame(), 802, 2, 796, 546, "page 1 nearly in");
  EXPECT_NEAR(flow->cellAtIndex(1)->alpha(), 0.975, 1e-9);
  support::expectRect(flow->cellAtIndex(0)->frame(), 40, 40, 720, 470, "page 0 out");
  // The leaving page is measured from where it now is too (760 points away).
  flow->setNeedsLayout();
  flow->layoutIfNeeded();
  support::expectRectNear(flow->cellAtIndex(1)->frame(), 800.1, 0.1, 799.8, 549.8, "page 1 in");
  support::expectRectNear(flow->cellAtIndex(0)->frame(), 38, 38, 724, 474, "page 0 further out");

  // Both at 1.0: nothing is ever resized or faded.
  auto plain = std::make_shared<FlowPagerView>(gfx::Rect(0, 0, 1024, 768));
  plain->setDataSource(&pages);
  plain->setDelegate(&flips);
  plain->layoutIfNeeded();
  plain->scrollView()->setContentOffset({400, 0});
  support::expectRect(plain->cellAtIndex(1)->frame(), 800, 0, 800, 550, "plain page 1");
  EXPECT_DOUBLE_EQ(plain->cellAtIndex(1)->alpha(), 1.0);
}

TEST_F(FlowPagerTest, TheNeighboursAreDrawnFadedAndInsetOnScreen) {
  pages.colour = kBlue;
  auto flow = show();
  auto shot = screenshot("middle-and-faded-neighbours");
  // The middle page in full, the right neighbour over white at half opacity from 40 points in.
  auto channels = [](uint32_t c) { return std::vector<int>{int(c >> 16) & 0xFF, int(c >> 8) & 0xFF, int(c) & 0xFF}; };
  auto expectNear = [&](uint32_t actual, std::vector<int> expected, const char* what) {
    auto got = channels(actual);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], expected[i], 2) << what << " channel " << i;
  };
  expectNear(colorAt(*shot, {512, midY()}), {26, 51, 204}, "middle page");
  expectNear(colorAt(*shot, {1000, midY()}), {(255 + 26) / 2, (255 + 51) / 2, (255 + 204) / 2}, "right neighbour");
  expectNear(colorAt(*shot, {1000, 109 + 30}), {255, 255, 255}, "above the neighbour's inset");
  expectNear(colorAt(*shot, {100, midY()}), {255, 255, 255}, "nothing left of the first page");
}

TEST_F(FlowPagerTest, AReloadTakesTheOldPagesOffAndStartsAnEmptyReuseList) {
  auto flow = show();
  flow->scrollView()->setContentOffset({2400, 0});
  ASSERT_EQ(flow->reusableCellCount(), 1u);
  std::vector<std::shared_ptr<ui::View>> old;
  for (size_t i = 0; i < 10; ++i) {
    if (auto v = flow->cellAtIndex(i)) old.push_back(v);
  }
  ASSERT_EQ(old.size(), 5u);

  pages.count = 4;
  pages.colour = kBlue;
  flow->reloadData();
  settle();
  for (const auto& v : old) EXPECT_EQ(v->superview(), nullptr);
  EXPECT_EQ(flow->pageCount(), 4);
  EXPECT_EQ(dots->numberOfPages(), 4);
  EXPECT_EQ(flow->scrollView()->contentSize(), (gfx::Size{3200, 550}));
  // Clamped to the last page (2400) and placed anew: 1 to 3, none of them recycled from before.
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 2400);
  EXPECT_EQ(placed(*flow), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(flow->scrollView()->subviews().size(), 3u);
  EXPECT_EQ(flow->reusableCellCount(), 0u);
  // Where the old page 4 stood, right of the new last page, the screen is blank.
  auto shot = screenshot("reloaded-four-pages");
  EXPECT_EQ(colorAt(*shot, {1000, midY()}), colorAt(*shot, {1000, 20}));
}

TEST_F(FlowPagerTest, NoPagesNothingToAskAndNullPagesAreHarmless) {
  pages.count = 0;
  auto flow = show();
  EXPECT_EQ(flow->visibleRange(), FlowPagerView::Range{});
  EXPECT_TRUE(placed(*flow).empty());
  EXPECT_EQ(dots->numberOfPages(), 0);
  flow->scrollToPage(0);
  drag({1000, midY()}, {300, midY()}, 6);
  settle();
  EXPECT_TRUE(flips.pages.empty());
  EXPECT_TRUE(pages.asked.empty());

  // A negative count is no pages; a null page leaves its slot empty.
  pages.count = -3;
  flow->reloadData();
  settle();
  EXPECT_EQ(flow->pageCount(), 0);
  pages.count = 3;
  pages.nullPages = true;
  flow->reloadData();
  settle();
  EXPECT_EQ(pages.asked, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(flow->cellAtIndex(0), nullptr);

  // With neither a data source nor a delegate, and no size at all.
  auto bare = std::make_shared<FlowPagerView>(gfx::Rect());
  window().addSubview(bare);
  render();
  EXPECT_EQ(bare->pageCount(), 0);
  bare->scrollToPage(0);
}

TEST_F(FlowPagerTest, ADataSourceOrDelegateThatGoesAwayIsNoLongerAsked) {
  auto source = std::make_unique<Pages>();
  auto delegate = std::make_unique<Flips>();
  auto flow = std::make_shared<FlowPagerView>(window().bounds());
  flow->setDataSource(source.get());
  flow->setDelegate(delegate.get());
  window().addSubview(flow);
  settle();
  ASSERT_EQ(placed(*flow), (std::vector<int>{0, 1, 2}));

  source.reset();
  delegate.reset();
  EXPECT_EQ(flow->dataSource(), nullptr);
  EXPECT_EQ(flow->delegate(), nullptr);
  // Pages already placed stay; new ones cannot be had and their slots stay empty.
  flow->scrollView()->setContentOffset({800, 0});
  EXPECT_EQ(placed(*flow), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(flow->cellAtIndex(3), nullptr);
  drag({800, midY()}, {300, midY()}, 6);
  settle();
  EXPECT_EQ(flow->currentPageIndex(), 2);
  // A reload without them keeps the count and size it had.
  flow->reloadData();
  settle();
  EXPECT_EQ(flow->pageCount(), 10);
  EXPECT_EQ(flow->pageSize(), (gfx::Size{800, 550}));
}

TEST_F(FlowPagerTest, VerticalPagesStackWithTheSameInsetOnBothAxes) {
  pages.count = 5;
  auto flow = show(0.5, 0.9, FlowPagerView::OrientationVertical);
  EXPECT_EQ(flow->scrollView()->contentSize(), (gfx::Size{800, 2750}));
  // start y = -109, end y = 659: pages 0 and 1, widened to 0 to 2.
  EXPECT_EQ(placed(*flow), (std::vector<int>{0, 1, 2}));
  support::expectRect(flow->cellAtIndex(1)->frame(), 27.5, 577.5, 745, 495, "page 1");
  drag({512, 700}, {512, 200}, 6);
  settle();
  EXPECT_EQ(flow->scrollView()->contentOffset(), (gfx::Point{0, 550}));
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1}));
}

TEST_F(FlowPagerTest, TouchesOutsideGetNothingAndBesideTheScrollViewGetTheScrollView) {
  auto flow = std::make_shared<FlowPagerView>(gfx::Rect(0, 0, 1000, 600));
  flow->setDataSource(&pages);
  flow->setDelegate(&flips);
  window().addSubview(flow);
  settle();
  // Scroll view at (100, 25, 800, 550).
  EXPECT_EQ(flow->hitTest({1010, 300}, nullptr), nullptr);
  EXPECT_EQ(flow->hitTest({50, 300}, nullptr), flow->scrollView());
  EXPECT_EQ(flow->hitTest({500, 10}, nullptr), flow->scrollView());
  EXPECT_EQ(flow->hitTest({500, 300}, nullptr), flow->cellAtIndex(0));
  flow->scrollView()->setContentOffset({800, 0});
  wait(0.3);
  EXPECT_EQ(flow->hitTest({500, 300}, nullptr), flow->cellAtIndex(1));
  flow->setHidden(true);
  EXPECT_EQ(flow->hitTest({500, 300}, nullptr), nullptr);
}

class FlowPagerFramesTest : public FlowPagerTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(FlowPagerFramesTest, TheScrollViewIsCentredAndThePagesFollowIt) {
  setDevice(GetParam());
  auto flow = show();
  const double w = window().bounds().width(), h = window().bounds().height();
  struct Row {
    double offset;
    FlowPagerView::Range range;
  };
  // The scroll view's frame is the same for every offset; the placed pages depend on it.
  const Row table[] = {{0, {0, 3}}, {800, {0, 4}}, {2400, {1, 5}}, {7200, {7, 3}}};
  for (const auto& row : table) {
    flow->scrollView()->setContentOffset({row.offset, 0});
    support::expectRect(flow->scrollView()->frame(), (w - 800) / 2, (h - 550) / 2, 800, 550, "scroll view");
    EXPECT_EQ(flow->visibleRange(), row.range) << "offset " << row.offset;
  }
  flow->scrollView()->setContentOffset({2400, 0});
  settle();
  screenshot("page-3");
}

INSTANTIATE_TEST_SUITE_P(BothTablets, FlowPagerFramesTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
