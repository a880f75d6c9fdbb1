// The flow pager on the offscreen screen: which pages exist at an offset and how they are
// recycled, flips by drags and by calls with what the delegate hears, reloads, the shrunk and
// faded neighbours, and owners that go away.
#include "widgets/controls/FlowPagerView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/core/Log.h"
#include "platform/core/Value.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using kt::FlowPagerView;
using Range = FlowPagerView::Range;

// Pages tagged 100 + index, taken from the reuse list when it has one.
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
  gfx::Color colour{0.8, 0.1, 0.1, 1};
  bool nullPages = false;
  std::vector<int64_t> asked;
};

// Records each report with the pager's index and dot at that moment.
struct Flips : kt::FlowPagerViewDelegate {
  gfx::Size sizeForPageInFlowView(FlowPagerView&) override { return {800, 550}; }
  void didScrollToPage(FlowPagerView& flow, int64_t page) override {
    pages.push_back(page);
    indexWhenTold.push_back(flow.currentPageIndex());
    dotWhenTold.push_back(flow.pageControl()->currentPage());
  }
  std::vector<int64_t> pages, indexWhenTold;
  std::vector<int> dotWhenTold;
};

class FlowPagerTest : public support::ScreenTest {
 protected:
  // As the recommended-dishes screen sets it up, unless told otherwise.
  std::shared_ptr<FlowPagerView> show(int orientation = 0, std::optional<gfx::Rect> frame = {}) {
    auto flow = std::make_shared<FlowPagerView>(frame.value_or(window().bounds()));
    flow->setDataSource(&pages);
    flow->setDelegate(&flips);
    flow->setPageControl(dots);
    flow->setMinimumPageAlpha(0.5);
    flow->setMinimumPageScale(0.9);
    flow->setOrientation(orientation);
    window().addSubview(flow);
    settle();
    return flow;
  }
  // Until every motion and page animation is over.
  void settle() {
    runUntil([this] {
      for (const auto& flow : findViews<FlowPagerView>())
        if (flow->scrollView()->isDecelerating() || flow->scrollView()->isDragging()) return false;
      return true;
    });
    wait(0.5);
    render();
  }
  void swipe(double fromX, double toX, int steps = 6) {
    drag({fromX, midY()}, {toX, midY()}, steps);
    settle();
  }
  static std::vector<int> placed(const FlowPagerView& flow) {
    std::vector<int> indexes;
    for (const auto& v : flow.scrollView()->subviews())
      if (v->tag() >= 100) indexes.push_back(v->tag() - 100);
    std::sort(indexes.begin(), indexes.end());
    return indexes;
  }
  double midY() const { return window().bounds().height() / 2; }
  static std::vector<int> rgb(uint32_t c) { return {int(c >> 16) & 0xFF, int(c >> 8) & 0xFF, int(c) & 0xFF}; }
  static void expectColour(uint32_t actual, std::vector<int> expected, const char* what) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(rgb(actual)[i], expected[i], 2) << what << " channel " << i;
  }

  Pages pages;
  Flips flips;
  std::shared_ptr<ui::PageControl> dots = ui::PageControl::create();
};

class FlowPagerFramesTest : public FlowPagerTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(FlowPagerFramesTest, TheScrollViewIsCentredAndThePagesNearTheVisibleSpanArePlaced) {
  setDevice(GetParam());
  auto flow = show();
  const double w = window().bounds().width(), h = window().bounds().height();
  EXPECT_EQ(flow->scrollView()->contentSize(), (gfx::Size{8000, 550}));
  EXPECT_EQ(dots->numberOfPages(), 10);
  EXPECT_EQ(pages.asked, (std::vector<int64_t>{0, 1, 2}));
  const struct {
    double offset;
    Range range;
  } table[] = {{0, {0, 3}}, {800, {0, 4}}, {2400, {1, 5}}, {7200, {7, 3}}, {0, {0, 3}}};
  for (const auto& row : table) {
    flow->scrollView()->setContentOffset({row.offset, 0});
    support::expectRect(flow->scrollView()->frame(), (w - 800) / 2, (h - 550) / 2, 800, 550, "scroll view");
    EXPECT_EQ(flow->visibleRange(), row.range) << "offset " << row.offset;
    std::vector<int> expected;
    for (size_t i = row.range.location; i < row.range.location + row.range.length; ++i) expected.push_back(int(i));
    EXPECT_EQ(placed(*flow), expected) << "offset " << row.offset;
  }
  flow->scrollView()->setContentOffset({2400, 0});
  settle();
  screenshot("page-3");
}

INSTANTIATE_TEST_SUITE_P(BothTablets, FlowPagerFramesTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

// A scene as a storyboard registers it: its view holds a pager built from the archived frame.
struct PagerScene : ui::ViewController {
  void loadView() override {
    setView(ui::View::create(gfx::Rect(0, 0, 1024, 768)));
    core::Value frame;
    for (auto [key, value] : {std::pair{"X", 0}, {"Y", 136}, {"Width", 1024}, {"Height", 550}}) frame.set(key, value);
    core::Value coder;
    coder.set("frame", frame);
    pager = FlowPagerView::initWithCoder(coder);
    view()->addSubview(pager);
  }
  std::shared_ptr<FlowPagerView> pager;
};

TEST_F(FlowPagerTest, AStoryboardSceneBuildsItsPagerFromTheArchivedFrame) {
  ui::Storyboard::registerStoryboard("Pager", [](ui::Storyboard& board) {
    board.registerScene("Flow", [] { return std::make_shared<PagerScene>(); });
  });
  auto scene = std::dynamic_pointer_cast<PagerScene>(ui::Storyboard::named("Pager")->instantiate("Flow"));
  ui::Storyboard::unregisterStoryboard("Pager");
  ASSERT_TRUE(scene);
  window().addSubview(scene->view());
  scene->pager->setDataSource(&pages);
  scene->pager->setDelegate(&flips);
  settle();
  EXPECT_EQ(scene->pager->frame(), gfx::Rect(0, 136, 1024, 550));
  EXPECT_EQ(scene->pager->visibleRange(), (Range{0, 3}));

  int logged = 0;
  auto previous = core::setLogSink([&](const std::string&) { ++logged; });
  EXPECT_EQ(FlowPagerView::initWithCoder(core::Value("frame"))->frame(), gfx::Rect());
  core::setLogSink(previous);
  EXPECT_EQ(logged, 1);
}

TEST_F(FlowPagerTest, RecycledPagesComeBackLastInFirstOut) {
  auto flow = show();
  auto page0 = flow->cellAtIndex(0);
  for (size_t i = 3; i < 10; ++i) EXPECT_EQ(flow->cellAtIndex(i), nullptr) << i;
  flow->scrollView()->setContentOffset({2400, 0});  // pages 1 to 5: page 0 is recycled
  EXPECT_EQ(page0->superview(), nullptr);
  auto page3 = flow->cellAtIndex(3), page4 = flow->cellAtIndex(4), page5 = flow->cellAtIndex(5);
  // Back at the start page 0 is built from the recycled view, then 3, 4 and 5 are recycled.
  flow->scrollView()->setContentOffset({0, 0});
  EXPECT_EQ(flow->cellAtIndex(0), page0);
  for (const auto& page : {page5, page4, page3}) EXPECT_EQ(flow->dequeueReusableCell(), page);
  EXPECT_EQ(flow->dequeueReusableCell(), nullptr);
}

TEST_F(FlowPagerTest, DragsReportOnlyARealChangeOfPageAfterTheDotsAndBeforeTheIndexMoves) {
  auto flow = show();
  // Begun on the right-hand neighbour, beside the scroll view: the pages still move.
  EXPECT_EQ(flow->hitTest({1000, midY()}, nullptr), flow->scrollView());
  EXPECT_EQ(flow->hitTest({512, midY()}, nullptr), flow->cellAtIndex(0));
  swipe(1000, 600);
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 800);
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1}));
  EXPECT_EQ(flips.indexWhenTold, (std::vector<int64_t>{0}));
  EXPECT_EQ(flips.dotWhenTold, (std::vector<int>{1}));
  EXPECT_EQ(flow->currentPageIndex(), 1);

  // A flip by call moves the pages but neither the index nor the dots, and reports nothing.
  flow->scrollToPage(3);
  settle();
  flow->scrollToPage(10);  // beyond the last page: ignored
  settle();
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 2400);
  EXPECT_EQ(placed(*flow), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(flow->currentPageIndex(), 1);
  EXPECT_EQ(dots->currentPage(), 1);

  // Short drags that come back to rest on page 3: the first reports it, the second does not.
  for (int i = 0; i < 2; ++i) swipe(500, 470, 20);
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 2400);
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1, 3}));
  EXPECT_EQ(dots->currentPage(), 3);
  swipe(40, 500);  // on the left-hand neighbour
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1, 3, 2}));
  EXPECT_EQ(flow->currentPageIndex(), 2);

  flow->setHidden(true);
  EXPECT_EQ(flow->hitTest({512, midY()}, nullptr), nullptr);
  EXPECT_EQ(show(0, gfx::Rect(0, 0, 1000, 600))->hitTest({1010, 300}, nullptr), nullptr);
}

TEST_F(FlowPagerTest, NeighboursShrinkAndFadeByTheirDistanceAsTheyStandNow) {
  pages.colour = gfx::Color(0.1, 0.2, 0.8, 1);
  auto flow = show();
  support::expectRect(flow->cellAtIndex(0)->frame(), 0, 0, 800, 550, "page 0");
  support::expectRect(flow->cellAtIndex(1)->frame(), 840, 40, 720, 470, "page 1");
  EXPECT_DOUBLE_EQ(flow->cellAtIndex(1)->alpha(), 0.5);
  auto shot = screenshot("middle-and-faded-neighbour");
  expectColour(colorAt(*shot, {512, midY()}), {26, 51, 204}, "middle page");
  expectColour(colorAt(*shot, {1000, midY()}), {140, 153, 229}, "right neighbour at half opacity");
  expectColour(colorAt(*shot, {1000, 109 + 30}), {255, 255, 255}, "above the neighbour's inset");
  expectColour(colorAt(*shot, {100, midY()}), {255, 255, 255}, "nothing left of the first page");

  // Measured from where each page stands (840 and 0), not from its slot, so the inset changes
  // step by step from one refresh to the next.
  flow->scrollView()->setContentOffset({800, 0});
  support::expectRectNear(flow->cellAtIndex(1)->frame(), 802, 2, 796, 546, "page 1 coming in");
  EXPECT_NEAR(flow->cellAtIndex(1)->alpha(), 0.975, 1e-9);
  support::expectRect(flow->cellAtIndex(0)->frame(), 40, 40, 720, 470, "page 0 going out");
  flow->setNeedsLayout();
  flow->layoutIfNeeded();
  support::expectRectNear(flow->cellAtIndex(1)->frame(), 800.1, 0.1, 799.8, 549.8, "page 1 in");
  support::expectRectNear(flow->cellAtIndex(0)->frame(), 38, 38, 724, 474, "page 0 out");

  // Both at 1.0: nothing is resized or faded.
  flow->setMinimumPageAlpha(1.0);
  flow->setMinimumPageScale(1.0);
  flow->reloadData();
  settle();
  flow->scrollView()->setContentOffset({400, 0});
  support::expectRect(flow->cellAtIndex(2)->frame(), 1600, 0, 800, 550, "plain page 2");
  EXPECT_DOUBLE_EQ(flow->cellAtIndex(2)->alpha(), 1.0);
}

TEST_F(FlowPagerTest, VerticalPagesStackWithTheSameInsetOnBothAxes) {
  pages.count = 5;
  auto flow = show(FlowPagerView::OrientationVertical);
  EXPECT_EQ(flow->scrollView()->contentSize(), (gfx::Size{800, 2750}));
  EXPECT_EQ(placed(*flow), (std::vector<int>{0, 1, 2}));  // start y -109, end y 659
  support::expectRect(flow->cellAtIndex(1)->frame(), 27.5, 577.5, 745, 495, "page 1");
  drag({512, 700}, {512, 200}, 6);
  settle();
  EXPECT_EQ(flow->scrollView()->contentOffset(), (gfx::Point{0, 550}));
  EXPECT_EQ(flips.pages, (std::vector<int64_t>{1}));
}

TEST_F(FlowPagerTest, AReloadTakesTheOldPagesOffAndStartsAnEmptyReuseList) {
  auto flow = show();
  flow->scrollView()->setContentOffset({2400, 0});
  ASSERT_EQ(flow->reusableCellCount(), 1u);
  std::vector<std::shared_ptr<ui::View>> old;
  for (size_t i = 1; i <= 5; ++i) old.push_back(flow->cellAtIndex(i));

  pages.count = 4;
  pages.colour = gfx::Color(0.1, 0.2, 0.8, 1);
  flow->reloadData();
  settle();
  for (const auto& v : old) EXPECT_EQ(v->superview(), nullptr);
  EXPECT_EQ(dots->numberOfPages(), 4);
  EXPECT_EQ(flow->scrollView()->contentSize(), (gfx::Size{3200, 550}));
  EXPECT_EQ(flow->scrollView()->contentOffset().x, 2400);
  EXPECT_EQ(placed(*flow), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(flow->reusableCellCount(), 0u);
  // Where the old page 4 stood, right of the new last page, the screen is blank.
  auto shot = screenshot("reloaded-four-pages");
  expectColour(colorAt(*shot, {1000, midY()}), {255, 255, 255}, "right of the last page");
}

TEST_F(FlowPagerTest, NoPagesNullPagesAndOwnersThatGoAwayAreHarmless) {
  pages.count = 0;
  auto empty = show();
  EXPECT_EQ(empty->visibleRange(), Range{});
  EXPECT_EQ(dots->numberOfPages(), 0);
  empty->scrollToPage(0);
  swipe(1000, 300);
  EXPECT_TRUE(flips.pages.empty());
  EXPECT_TRUE(pages.asked.empty());
  pages.count = -3;  // no pages either
  empty->reloadData();
  settle();
  EXPECT_EQ(empty->pageCount(), 0);
  pages.count = 3;
  pages.nullPages = true;  // the slots stay empty
  empty->reloadData();
  settle();
  EXPECT_EQ(pages.asked, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(empty->cellAtIndex(0), nullptr);
  empty->removeFromSuperview();

  pages.count = 10;
  pages.nullPages = false;
  auto source = std::make_unique<Pages>();
  auto delegate = std::make_unique<Flips>();
  auto flow = show();
  flow->setDataSource(source.get());
  flow->setDelegate(delegate.get());
  source.reset();
  delegate.reset();
  EXPECT_EQ(flow->dataSource(), nullptr);
  EXPECT_EQ(flow->delegate(), nullptr);
  // Placed pages stay; new ones cannot be had. A flip still moves the index, unreported.
  flow->scrollView()->setContentOffset({800, 0});
  EXPECT_EQ(placed(*flow), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(flow->cellAtIndex(3), nullptr);
  swipe(800, 300);
  EXPECT_EQ(flow->currentPageIndex(), 2);
  // A reload without them keeps the count and size it had.
  flow->reloadData();
  settle();
  EXPECT_EQ(flow->pageCount(), 10);
  EXPECT_EQ(flow->pageSize(), (gfx::Size{800, 550}));
}

}  // namespace
