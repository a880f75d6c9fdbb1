// The grid on the offscreen screen, set up as the staff screens set it up: the cells of the pages
// around the one shown, recycling while paging, reloads, edit mode and its delete buttons, taps,
// scrolling to an item, a change of orientation and owners that go away.
#include "widgets/controls/GridView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"
#include "widgets/controls/GridViewCell.h"
#include "widgets/controls/GridViewLayoutStrategyFactory.h"

namespace {

using kt::GridView;
using kt::GridViewCell;

// Cells with a numbered label, taken from the pool when it has one.
struct Staff : kt::GridViewDataSource {
  int64_t numberOfItemsInGridView(GridView&) override { return count; }
  gfx::Size sizeForItemsInInterfaceOrientation(GridView&, ui::InterfaceOrientation) override {
    ++sizeAsked;
    return size;
  }
  std::shared_ptr<GridViewCell> cellForItemAtIndex(GridView& grid, int64_t index) override {
    asked.push_back(index);
    auto cell = grid.dequeueReusableCell();
    if (cell) {
      ++reused;
    } else {
      ++made;
      cell = GridViewCell::create();
      auto label = ui::Label::create();
      label->setTextAlignment(gfx::TextAlignment::Center);
      label->setFont(gfx::Font::boldSystemFont(48));
      label->setTextColor(gfx::Color::whiteColor());
      cell->setContentView(label);
    }
    auto label = std::static_pointer_cast<ui::Label>(cell->contentView());
    label->setText(std::to_string(index));
    label->setBackgroundColor(gfx::Color::rgba(0.15 + 0.08 * double(index % 8), 0.3, 0.6, 1));
    return cell;
  }
  int64_t count = 20;
  gfx::Size size{208, 395};
  int made = 0, reused = 0, sizeAsked = 0;
  std::vector<int64_t> asked;
};

struct Actions : kt::GridViewActionDelegate {
  std::vector<int64_t> taps, deletes;
  std::vector<bool> edits;
  int emptyTaps = 0;
  // Everything a delegate can hear; processing deletes turns edit mode on.
  void listen() {
    didTapOnItemAtIndex = [this](GridView&, int64_t p) { taps.push_back(p); };
    GridViewDidTapOnEmptySpace = [this](GridView&) { ++emptyTaps; };
    processDeleteActionForItemAtIndex = [this](GridView&, int64_t p) { deletes.push_back(p); };
    changedEdit = [this](GridView&, bool edit) { edits.push_back(edit); };
  }
};

class GridViewTest : public support::ScreenTest {
 protected:
  // As the staff screen sets its grid up.
  std::shared_ptr<GridView> show(int type = 2) {
    auto grid = GridView::create(window().bounds());
    grid->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
    grid->setBackgroundColor(gfx::Color::clear());
    window().addSubview(grid);
    grid->setLayoutStrategy(kt::GridViewLayoutStrategyFactory::strategyFromType(type));
    grid->setStyle(1);
    grid->setShowFullSizeViewWithAlphaWhenTransforming(false);
    grid->setItemSpacing(35);
    grid->setMinEdgeInsets({5, 5, 5, 5});
    grid->setCenterGrid(true);
    grid->setDataSource(&staff);
    grid->setShowsHorizontalScrollIndicator(false);
    settle();
    return grid;
  }
  void settle() {
    runUntil([this] {
      for (const auto& grid : findViews<GridView>())
        if (grid->isDecelerating() || grid->isDragging()) return false;
      return true;
    });
    wait(0.5);
    render();
  }
  // One page on: a swipe from right to left (or back).
  void page(bool forward = true) {
    const double w = window().bounds().width(), y = window().bounds().height() / 2;
    if (forward) {
      drag({w * 0.8, y}, {w * 0.2, y}, 8);
    } else {
      drag({w * 0.2, y}, {w * 0.8, y}, 8);
    }
    settle();
  }
  // The positions that have cells, in ascending order.
  static std::vector<int64_t> loaded(GridView& grid) {
    std::vector<int64_t> positions;
    for (const auto& cell : grid.itemSubviews()) positions.push_back(grid.positionForItemSubview(*cell));
    std::sort(positions.begin(), positions.end());
    return positions;
  }
  static std::vector<int64_t> run(int64_t from, int64_t to) {
    std::vector<int64_t> v;
    for (int64_t p = from; p < to; ++p) v.push_back(p);
    return v;
  }

  Staff staff;
  Actions actions;
};

class GridViewPagesTest : public GridViewTest, public ::testing::WithParamInterface<support::Device> {};

// 1024 x 768: one row of four a page. 1366 x 1024: two rows of five.
TEST_P(GridViewPagesTest, ThePagedGridPlacesThePagesAroundTheOneShown) {
  setDevice(GetParam());
  const bool large = GetParam() == support::Device::LargeTablet;
  auto grid = show();
  const double w = window().bounds().width();
  EXPECT_TRUE(grid->isPagingEnabled());
  EXPECT_EQ(grid->contentSize(), (gfx::Size{w * (large ? 2 : 5), window().bounds().height()}));
  EXPECT_EQ(loaded(*grid), run(0, large ? 20 : 12));
  // Centred: (1024 - 937) / 2 and (768 - 395) / 2; (1366 - 1180) / 2 and (1024 - 825) / 2.
  support::expectRect(grid->cellForItemAtIndex(0)->frame(), large ? 93 : 43, large ? 99 : 186, 208, 395, "0");
  support::expectRect(grid->cellForItemAtIndex(5)->frame(), large ? 93 : w + 43 + 243, large ? 529 : 186, 208, 395,
                      "5");
  EXPECT_EQ(grid->cellForItemAtIndex(0)->tag(), 50);
  EXPECT_EQ(grid->cellForItemAtIndex(0)->contentView()->frame(), (gfx::Rect{0, 0, 208, 395}));
  screenshot("first-page");

  page();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{w, 0}));
  EXPECT_EQ(loaded(*grid), run(0, large ? 20 : 12));
  screenshot("second-page");
}

INSTANTIATE_TEST_SUITE_P(BothTablets, GridViewPagesTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

TEST_F(GridViewTest, PagingThroughRecyclesTheCellsOfPagesLeftBehind) {
  auto grid = show();
  EXPECT_EQ(staff.made, 12);
  EXPECT_EQ(staff.reused, 0);
  const std::vector<std::vector<int64_t>> expected{run(0, 12), run(4, 16), run(8, 20), run(12, 20)};
  for (size_t i = 0; i < expected.size(); ++i) {
    if (i > 0) page();
    EXPECT_EQ(grid->contentOffset().x, 1024.0 * double(i + (i > 0 ? 1 : 0)));
    EXPECT_EQ(loaded(*grid), expected[i]) << "page " << i;
    if (i == 0) page();  // page 1 loads what page 0 loaded
  }
  // No cell was made after the first pages: the later ones came from the pool.
  EXPECT_EQ(staff.made, 12);
  EXPECT_EQ(staff.reused, 8);
  for (const auto& cell : grid->itemSubviews()) {
    const int64_t p = grid->positionForItemSubview(*cell);
    EXPECT_EQ(std::static_pointer_cast<ui::Label>(cell->contentView())->text(), std::to_string(p));
    support::expectRect(cell->frame(), 1024.0 * double(p / 4) + 43 + 243.0 * double(p % 4), 186, 208, 395, "cell");
  }
  // Back to the start: the cells of the first page come back from the pool too.
  for (int i = 0; i < 4; ++i) page(false);
  EXPECT_EQ(grid->contentOffset().x, 0);
  EXPECT_EQ(loaded(*grid), run(0, 12));
  EXPECT_EQ(staff.made, 12);
  EXPECT_EQ(staff.reused, 8 + 12);
}

// The paged grid scrolls only across: a notch of the wheel turns a page either way, and the cells
// follow as after a swipe.
TEST_F(GridViewTest, TheWheelTurnsThePagesANotchAPage) {
  auto grid = show();
  EXPECT_TRUE(wheel({512, 384}, {0, 1}));
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{1024, 0}));
  EXPECT_EQ(loaded(*grid), run(0, 12));
  EXPECT_TRUE(wheel({512, 384}, {0, 1}));
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{2048, 0}));
  EXPECT_EQ(loaded(*grid), run(4, 16));
  EXPECT_TRUE(wheel({512, 384}, {0, -1}));
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{1024, 0}));
}

TEST_F(GridViewTest, AReloadWithFewerItemsClampsTheOffsetAndReusesTheCells) {
  auto grid = show();
  for (int i = 0; i < 4; ++i) page();
  ASSERT_EQ(grid->contentOffset().x, 4096);
  const int made = staff.made;

  staff.count = 6;
  grid->reloadData();
  EXPECT_EQ(grid->contentSize().width, 2048);
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{1024, 0}));
  EXPECT_EQ(loaded(*grid), run(0, 6));
  EXPECT_EQ(staff.made, made);
  EXPECT_EQ(grid->firstPositionLoaded(), 0);

  staff.count = 0;
  grid->reloadData();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{0, 0}));
  EXPECT_TRUE(grid->itemSubviews().empty());
  // Every cell went to the pool, ready for the next reload.
  int pooled = 0;
  while (grid->dequeueReusableCell()) ++pooled;
  EXPECT_EQ(pooled, made);
  EXPECT_EQ(grid->dequeueReusableCell(), nullptr);
}

TEST_F(GridViewTest, APooledCellCanBeAskedForByItsIdentifier) {
  auto grid = show();
  grid->cellForItemAtIndex(3)->setReuseIdentifier("staff");
  auto tagged = grid->cellForItemAtIndex(3);
  staff.count = 0;
  grid->reloadData();
  EXPECT_EQ(grid->dequeueReusableCellWithIdentifier("photo"), nullptr);
  EXPECT_EQ(grid->dequeueReusableCellWithIdentifier("staff"), tagged);
  EXPECT_EQ(grid->dequeueReusableCellWithIdentifier("staff"), nullptr);
  // Pooled cells come back clear and opaque whatever they were made.
  auto other = grid->dequeueReusableCell();
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, tagged);
  EXPECT_EQ(other->alpha(), 1);
  EXPECT_EQ(other->backgroundColor(), gfx::Color::clear());
}

TEST_F(GridViewTest, TheGridHoldsItsDataSourceAndDelegateWeakly) {
  auto grid = GridView::create(window().bounds());
  window().addSubview(grid);
  {
    Staff shortLived;
    Actions listener;
    listener.listen();
    grid->setActionDelegate(&listener);
    grid->setDataSource(&shortLived);
    render();
    // Four a row, rows 0 to 2 (the row below the screen included).
    EXPECT_EQ(loaded(*grid), run(0, 12));
    EXPECT_EQ(grid->dataSource(), &shortLived);
  }
  EXPECT_EQ(grid->dataSource(), nullptr);
  EXPECT_EQ(grid->actionDelegate(), nullptr);
  grid->reloadData();
  render();
  EXPECT_TRUE(grid->itemSubviews().empty());
  // No items of no size: only the centred margins are left.
  EXPECT_EQ(grid->contentSize(), (gfx::Size{1024, 768}));
  tap({500, 300});  // nobody to tell
  grid->setEditing(true);
  EXPECT_FALSE(grid->isEditing());
}

TEST_F(GridViewTest, EditModeNeedsADeleteHandlerAndShowsButtonsWhereDeletingIsAllowed) {
  auto grid = show();
  grid->setActionDelegate(&actions);
  grid->setEditing(true);  // no delete handler: no edit mode
  EXPECT_FALSE(grid->isEditing());
  EXPECT_FALSE(grid->cellForItemAtIndex(0)->isEditing());

  // A data source that does not say whether an item can go lets every item go.
  actions.listen();
  grid->setEditing(true);
  EXPECT_TRUE(grid->isEditing());
  EXPECT_EQ(actions.edits, (std::vector<bool>{true}));
  for (const auto& cell : grid->itemSubviews()) {
    EXPECT_TRUE(cell->isEditing());
    EXPECT_EQ(cell->deleteButton()->alpha(), 1);
  }
  render();
  screenshot("editing");
  grid->cellForItemAtIndex(2)->deleteButton()->sendActionsForControlEvents(ui::ControlEventTouchUpInside);
  EXPECT_EQ(actions.deletes, (std::vector<int64_t>{2}));
  grid->setEditing(false);

  // Odd items only.
  staff.canDeleteItemAtIndex = [](GridView&, int64_t index) { return index % 2 == 1; };
  grid->setEditing(true);
  EXPECT_FALSE(grid->cellForItemAtIndex(2)->isEditing());
  EXPECT_TRUE(grid->cellForItemAtIndex(3)->isEditing());
  grid->cellForItemAtIndex(2)->actionDelete();
  grid->cellForItemAtIndex(3)->actionDelete();
  EXPECT_EQ(actions.deletes, (std::vector<int64_t>{2, 3}));
  // Cells made while editing come in editing.
  page();
  page();
  EXPECT_TRUE(grid->cellForItemAtIndex(13)->isEditing());
  EXPECT_FALSE(grid->cellForItemAtIndex(14)->isEditing());
  // Taps on items do nothing while editing.
  tap(*grid->cellForItemAtIndex(13));
  EXPECT_TRUE(actions.taps.empty());
  // A cell taken back into the pool leaves edit mode and forgets its delete block.
  auto cell = grid->cellForItemAtIndex(13);
  staff.count = 0;
  grid->reloadData();
  EXPECT_FALSE(cell->isEditing());
  EXPECT_FALSE(cell->deleteBlock());
}

TEST_F(GridViewTest, TapsReachTheItemOrTheEmptySpace) {
  auto grid = show();
  actions.listen();
  grid->setActionDelegate(&actions);
  tap({100, 300});
  tap({43 + 243 + 10, 300});
  EXPECT_EQ(actions.taps, (std::vector<int64_t>{0, 1}));
  EXPECT_FALSE(grid->cellForItemAtIndex(0)->isHighlighted());
  tap({20, 300});     // left margin
  tap({100, 700});    // under the row
  EXPECT_EQ(actions.emptyTaps, 2);
  EXPECT_EQ(actions.taps.size(), 2u);

  // A tap on empty space ends edit mode when asked to.
  grid->setDisableEditOnEmptySpaceTap(true);
  grid->setEditing(true);
  ASSERT_TRUE(grid->isEditing());
  tap({20, 300});
  EXPECT_FALSE(grid->isEditing());
  EXPECT_EQ(actions.emptyTaps, 3);
}

TEST_F(GridViewTest, ALongPressOnAnItemTurnsEditModeOnWhenAsked) {
  auto grid = show();
  actions.listen();
  grid->setActionDelegate(&actions);
  longPress({100, 300}, 0.5);
  EXPECT_FALSE(grid->isEditing());  // not asked for
  grid->setEnableEditOnLongPress(true);
  longPress({20, 300}, 0.5);
  EXPECT_FALSE(grid->isEditing());  // not on an item
  longPress({100, 300}, 0.5);
  EXPECT_TRUE(grid->isEditing());
  EXPECT_TRUE(grid->cellForItemAtIndex(0)->isEditing());
}

TEST_F(GridViewTest, ScrollingToAnItemShowsItsOwnPage) {
  auto grid = show();
  grid->scrollToObjectAtIndex(9, GridView::ScrollPosition::None, false);
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{2048, 0}));
  EXPECT_EQ(loaded(*grid), run(4, 16));
  grid->scrollToObjectAtIndex(4, GridView::ScrollPosition::Middle, true);
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{1024, 0}));
  grid->scrollToObjectAtIndex(-3, GridView::ScrollPosition::Top, false);
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{0, 0}));
  grid->scrollToObjectAtIndex(500, GridView::ScrollPosition::Bottom, false);
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{4096, 0}));
  // The page rectangle of a point rounds up to whole pages.
  EXPECT_EQ(grid->rectForPoint({1500, 0}, true), (gfx::Rect{2048, 0, 1024, 768}));
  EXPECT_EQ(grid->rectForPoint({1024, 0}, true), (gfx::Rect{1024, 0, 1024, 768}));
}

TEST_F(GridViewTest, AfterTheOrientationChangesTheItemSizeIsAskedAgainAndThePageSnaps) {
  auto grid = show();
  const int asked = staff.sizeAsked;
  render();
  EXPECT_EQ(staff.sizeAsked, asked);  // an ordinary pass does not ask

  grid->contentOffset(gfx::Point{1500, 0});
  EXPECT_EQ(loaded(*grid), run(0, 12));
  staff.size = {200, 300};
  core::NotificationCenter::defaultCenter().post(ui::Application::WillChangeStatusBarOrientationNotification);
  grid->setNeedsLayout();
  grid->layoutIfNeeded();
  EXPECT_EQ(staff.sizeAsked, asked + 1);
  EXPECT_NE(grid->layer()->animationForKey("rotationAnimation"), nullptr);
  support::expectRect(grid->cellForItemAtIndex(4)->bounds(), 0, 0, 200, 300, "new size");
  settle();
  EXPECT_EQ(grid->contentOffset(), (gfx::Point{2048, 0}));
}

TEST_F(GridViewTest, AMemoryWarningEmptiesThePool) {
  auto grid = show();
  page();
  page();
  core::NotificationCenter::defaultCenter().post(ui::Application::DidReceiveMemoryWarningNotification);
  EXPECT_EQ(grid->dequeueReusableCell(), nullptr);
  EXPECT_EQ(loaded(*grid), run(4, 16));
}

TEST_F(GridViewTest, TheDefaultVerticalGridLoadsOnlyExistingItems) {
  auto grid = GridView::create(window().bounds());
  window().addSubview(grid);
  EXPECT_EQ(grid->layoutStrategy()->type(), 0);
  EXPECT_FALSE(grid->isPagingEnabled());
  EXPECT_EQ(grid->itemSpacing(), 10);
  EXPECT_EQ(grid->style(), 1);
  EXPECT_DOUBLE_EQ(grid->minimumPressDuration(), 0.2);
  EXPECT_TRUE(grid->centerGrid());
  EXPECT_FALSE(grid->clipsToBounds());
  EXPECT_EQ(grid->mainSuperView(), grid.get());
  EXPECT_EQ(grid->dequeueReusableCell(), nullptr);

  staff.count = 7;
  staff.size = {100, 100};
  grid->setDataSource(&staff);
  render();
  // Nine a row (9 x 110 - 10 = 980 of 1014): one row, centred.
  EXPECT_EQ(loaded(*grid), run(0, 7));
  EXPECT_EQ(grid->contentSize(), (gfx::Size{1024, 768}));

  // Swapping in a paged strategy pages and relays the cells.
  grid->setLayoutStrategy(kt::GridViewLayoutStrategyFactory::strategyFromType(3));
  EXPECT_TRUE(grid->isPagingEnabled());
  grid->setLayoutStrategy(nullptr);
  EXPECT_FALSE(grid->isPagingEnabled());
  render();
  tap({100, 300});
}

}  // namespace
