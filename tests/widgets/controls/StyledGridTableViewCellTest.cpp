// Grid and segmented cells on the screen, driven by touches: which column a touch selects, what
// the action hears, how the selection clears (or stays, for segments), cells without columns,
// and the selection gradient as drawn.
#include "widgets/controls/StyledGridTableViewCell.h"

#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using kt::StyledGridTableViewCell;
using kt::StyledSegmentedControlTableViewCell;

struct Heard {
  std::optional<ui::IndexPath> path;
  int32_t column = -1;
};

class GridCellTest : public support::ScreenTest {
 protected:
  // A 300 x 60 cell at (100, 100) on the window, standing for a plain table row, so that its
  // columns fill it.
  template <class Cell>
  std::shared_ptr<Cell> show(std::shared_ptr<Cell> cell, int32_t columns) {
    cell->setFrame(gfx::Rect(100, 100, 300, 60));
    cell->setCustomBackgroundColor(gfx::Color::whiteColor());
    if (columns >= 0) {
      cell->setNumberOfElements(columns);
      for (int32_t i = 0; i < columns; ++i) cell->setText("列" + std::to_string(i), i);
    }
    cell->setActionBlock([this](const std::optional<ui::IndexPath>& path, int32_t column) {
      heard.push_back({path, column});
    });
    window().addSubview(cell);
    render();
    return cell;
  }
  // A point in column `i` of three on the cell above, `dy` below its middle.
  static gfx::Point inColumn(int i, double dy = 0) { return gfx::Point{100 + 50 + 99.6 * i, 130 + dy}; }

  std::vector<Heard> heard;
};

TEST_F(GridCellTest, TouchSelectsTheColumnUnderTheFingerAndLiftingInsideFiresWithTheRow) {
  auto cell = show(StyledGridTableViewCell::create(), 3);
  EXPECT_FLOAT_EQ(cell->gridSubview()->segmentWidth(), float((300 - 1) / 3.0f));
  tap(inColumn(1));
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].column, 1);
  EXPECT_FALSE(heard[0].path);  // never prepared for a table
  wait(0.5);
  EXPECT_EQ(cell->gridSubview()->selectedSegment(), 1);  // kept until the screen deselects

  // The selection gradient fills the selected column only, and the text turns white there.
  auto shot = screenshot("grid-selected");
  const uint32_t selected = colorAt(*shot, inColumn(1, 25));
  EXPECT_GT(selected & 0xff, 0xd0u);
  EXPECT_LT((selected >> 16) & 0xff, 0x20u);
  EXPECT_EQ(colorAt(*shot, inColumn(0, 25)), 0xffffffffu);

  bool done = false;
  cell->deselectAnimated(true, [&] { done = true; });
  EXPECT_TRUE(runUntil([&] { return done; }));
  EXPECT_EQ(cell->gridSubview()->selectedSegment(), -1);
}

TEST_F(GridCellTest, DraggingClearsTheSelectionWithoutFiringAndTheRightEdgeSelectsNothing) {
  auto cell = show(StyledGridTableViewCell::create(), 3);
  drag(inColumn(0), inColumn(0, 200));
  EXPECT_TRUE(heard.empty());
  EXPECT_TRUE(runUntil([&] { return cell->gridSubview()->selectedSegment() == -1; }));

  tap(gfx::Point{100 + 299.5, 130});  // at the last column's right edge (3 x 99.67 = 299)
  EXPECT_TRUE(heard.empty());
  EXPECT_EQ(cell->gridSubview()->selectedSegment(), -1);
}

TEST_F(GridCellTest, TextsComeInColumnOrderAndTheNoHighlightStyleFiresWithoutAGradient) {
  auto cell = show(StyledGridTableViewCell::create(), 3);
  cell->setDetailText("beyond the columns", 5);
  EXPECT_EQ(cell->texts(), (std::vector<std::string>{"列0", "列1", "列2"}));
  EXPECT_TRUE(cell->detailTexts().empty());
  cell->setElementSelectionStyle(0);
  tap(inColumn(2));
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].column, 2);
  auto shot = screenshot("grid-no-highlight");
  EXPECT_EQ(colorAt(*shot, inColumn(2, 25)), 0xffffffffu);
}

TEST_F(GridCellTest, SegmentsKeepOneSelectedAndLiftingInsideOrOutsideFires) {
  auto cell = show(StyledSegmentedControlTableViewCell::create(), -1);
  cell->setTitles({"全部", "热门", "新歌"});
  EXPECT_EQ(cell->selectedIndex(), 0);
  EXPECT_EQ(cell->titles().size(), 3u);
  tap(inColumn(2));
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].column, 2);
  EXPECT_EQ(cell->selectedIndex(), 2);
  wait(0.5);
  EXPECT_EQ(cell->gridSubview()->selectedSegment(), 2);  // survives the lift

  drag(inColumn(1), inColumn(1, 200));
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1].column, 1);
  wait(0.5);
  EXPECT_EQ(cell->selectedIndex(), 1);
  EXPECT_EQ(cell->gridSubview()->selectedSegment(), 1);
}

TEST_F(GridCellTest, NoTitlesDrawOnlyTheBackgroundAndTakeNoTouch) {
  auto cell = show(StyledSegmentedControlTableViewCell::create(), -1);
  cell->setTitles({});
  EXPECT_EQ(cell->selectedIndex(), 0);
  EXPECT_EQ(cell->gridSubview()->segmentWidth(), 0);
  tap(gfx::Point{250, 130});
  EXPECT_TRUE(heard.empty());
  auto shot = screenshot("segments-empty");
  for (double x : {102.0, 150.0, 250.0, 398.0}) EXPECT_EQ(colorAt(*shot, gfx::Point{x, 130}), 0xffffffffu) << x;
}

TEST(StyledGridTableViewCellTest, ABackgroundSetThroughThePlainViewReachesTheColumns) {
  auto cell = StyledGridTableViewCell::create();
  ui::View& plain = *cell;
  plain.setBackgroundColor(gfx::Color::red());
  ASSERT_TRUE(cell->customView());
  EXPECT_EQ(cell->customView()->backgroundColor(), gfx::Color::red());
}

TEST_F(GridCellTest, TheSegmentActionDoesNotKeepItsCellAlive) {
  std::weak_ptr<StyledSegmentedControlTableViewCell> weak;
  {
    auto cell = StyledSegmentedControlTableViewCell::create();
    cell->setActionBlock([](const std::optional<ui::IndexPath>&, int32_t) {});
    weak = cell;
  }
  EXPECT_TRUE(weak.expired());
}

}  // namespace
