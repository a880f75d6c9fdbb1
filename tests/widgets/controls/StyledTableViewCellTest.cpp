// The styled cell on its own: positions and extra heights from the table, the content view moved
// onto the card (once), the border, shadow and selection gradient as drawn, and the plain-table
// edge shadows.
#include "widgets/controls/StyledTableViewCell.h"

#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "widgets/controls/StyledDrawing.h"
#include "widgets/feedback/LayerPixels.h"

namespace {

using kt::StyledTableViewCell;
using kt::testing::pixelAt;

// Sections of 1, 2 and 3 rows.
struct Rows : ui::TableViewDataSource {
  int numberOfSectionsInTableView(ui::TableView&) override { return 3; }
  int numberOfRowsInSection(ui::TableView&, int section) override { return section + 1; }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView&, const ui::IndexPath&) override {
    return ui::TableViewCell::create();
  }
};

struct Table {
  explicit Table(ui::TableViewStyle style) : view(ui::TableView::create(gfx::Rect(0, 0, 320, 400), style)) {
    view->setDataSource(&rows);
  }
  Rows rows;
  std::shared_ptr<ui::TableView> view;
};

// A 300 x 60 cell prepared for a row, white card on a clear cell, laid out.
std::shared_ptr<StyledTableViewCell> preparedCell(Table& table, ui::IndexPath path) {
  auto cell = StyledTableViewCell::create();
  cell->setFrame(gfx::Rect(0, 0, 300, 60));
  cell->setBackgroundColor(gfx::Color::clear());
  cell->setCustomBackgroundColor(gfx::Color::whiteColor());
  cell->prepareForTableView(*table.view, path);
  cell->layoutIfNeeded();
  return cell;
}

TEST(StyledTableViewCellTest, PositionAndExtraHeightFollowTheRowsOfTheSection) {
  Table grouped(ui::TableViewStyle::Grouped), plain(ui::TableViewStyle::Plain);
  struct Case {
    ui::IndexPath path;
    int32_t position;
    double groupedHeight;
  };
  for (const Case& c : {Case{{0, 0}, kt::StyledTableViewCellPositionAlone, 8},
                        Case{{1, 0}, kt::StyledTableViewCellPositionTop, 4},
                        Case{{1, 1}, kt::StyledTableViewCellPositionBottom, 4},
                        Case{{2, 1}, kt::StyledTableViewCellPositionMiddle, 0}}) {
    EXPECT_EQ(StyledTableViewCell::positionForTableView(*grouped.view, c.path), c.position) << c.path.row;
    EXPECT_EQ(StyledTableViewCell::neededHeightForIndexPath(*grouped.view, c.path), c.groupedHeight);
    EXPECT_EQ(StyledTableViewCell::neededHeightForIndexPath(*plain.view, c.path), 0);
  }
  EXPECT_EQ(StyledTableViewCell::neededHeightForPosition(7, ui::TableViewStyle::Grouped), 0);
}

TEST(StyledTableViewCellTest, ContentViewMovesOntoTheCardOnceAndStaysThereOnLaterLayouts) {
  Table grouped(ui::TableViewStyle::Grouped), plain(ui::TableViewStyle::Plain);
  auto alone = preparedCell(grouped, {0, 0});
  EXPECT_EQ(alone->contentView()->frame(), gfx::Rect(4, 6, 292, 48));
  for (int i = 0; i < 3; ++i) {
    alone->setNeedsLayout();
    alone->layoutIfNeeded();
  }
  EXPECT_EQ(alone->contentView()->frame(), gfx::Rect(4, 6, 292, 48));  // not shrunk again

  auto middle = preparedCell(grouped, {2, 1});
  EXPECT_EQ(middle->contentView()->frame(), gfx::Rect(4, 2, 292, 56));
  EXPECT_EQ(middle->innerFrame(), gfx::Rect(4, 0, 292, 59));

  // Plain: no margin, no radius, no shadow even when asked for.
  auto flat = preparedCell(plain, {1, 0});
  EXPECT_EQ(flat->contentView()->frame(), gfx::Rect(0, 2, 300, 56));
  EXPECT_FALSE(flat->dropsShadow());
  EXPECT_EQ(flat->cornerRadius(), 0);
}

TEST(StyledTableViewCellTest, BorderShadowAndSeparatorAreDrawnAroundTheGroupedCard) {
  Table grouped(ui::TableViewStyle::Grouped);
  auto cell = preparedCell(grouped, {0, 0});
  auto image = kt::testing::render(*cell->styledBackground()->layer());
  ASSERT_TRUE(image);
  EXPECT_EQ(pixelAt(*image, 150, 30).r, 255);  // the white fill of the card (4, 4, 292, 52)
  // The shadow falls one point down: darker below the card than above it.
  const auto below = pixelAt(*image, 150, 57), above = pixelAt(*image, 150, 2);
  EXPECT_GT(below.a, 20);
  EXPECT_GT(below.a, above.a);
  EXPECT_LT(below.r, 80);

  // Without the shadow the border is 2 wide on the card's edge, in 0xBCBCBC, and nothing lies
  // outside it.
  cell->setDropsShadow(false);
  cell->styledBackground()->setNeedsDisplay();
  auto flat = kt::testing::render(*cell->styledBackground()->layer());
  const auto border = pixelAt(*flat, 150, 3);
  EXPECT_GT(border.a, 240);
  EXPECT_NEAR(border.r, 188, 8);
  EXPECT_NEAR(border.b, 188, 8);
  EXPECT_EQ(pixelAt(*flat, 150, 57).a, 0);
  EXPECT_EQ(pixelAt(*flat, 150, 1).a, 0);

  // The separator strokes the bottom edge of a Top card (4, 4, 292, 56) unless switched off.
  auto top = preparedCell(grouped, {1, 0});
  EXPECT_LT(pixelAt(*kt::testing::render(*top->styledBackground()->layer()), 150, 59).g, 242);
  top->setShowsCustomSeparator(false);
  top->styledBackground()->setNeedsDisplay();
  EXPECT_EQ(pixelAt(*kt::testing::render(*top->styledBackground()->layer()), 150, 59).g, 255);
}

TEST(StyledTableViewCellTest, SelectedBackgroundRunsTheSelectionGradientDownTheCardUnlessSelectionIsOff) {
  Table grouped(ui::TableViewStyle::Grouped);
  auto cell = preparedCell(grouped, {0, 0});
  auto* selected = cell->styledSelectedBackground();
  selected->setFrame(cell->bounds());
  selected->setAlpha(1);  // as when the row is selected
  auto image = kt::testing::render(*selected->layer());
  const auto top = pixelAt(*image, 150, 7), bottom = pixelAt(*image, 150, 53);
  EXPECT_LT(top.r, 20);
  EXPECT_NEAR(top.g, 137, 12);  // 0x0089F9 at the top ...
  EXPECT_NEAR(bottom.g, 84, 12);  // ... 0x0054EA at the bottom
  EXPECT_GT(bottom.b, 220);

  cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  selected->setAlpha(1);
  selected->setNeedsDisplay();
  EXPECT_EQ(pixelAt(*kt::testing::render(*selected->layer()), 150, 30).g, 255);  // the plain white fill

  // Only one normal gradient colour: still the fill; both: the gradient.
  cell->setGradientStartColor(gfx::Color::red());
  EXPECT_FALSE(cell->newNormalGradient());
  cell->setGradientEndColor(gfx::Color::red());
  cell->styledBackground()->setNeedsDisplay();
  EXPECT_EQ(pixelAt(*kt::testing::render(*cell->styledBackground()->layer()), 150, 30).g, 0);
}

TEST(StyledTableViewCellTest, EdgeShadowsGoOnlyOnPlainTables) {
  EXPECT_EQ(kt::colorWithHex(0x0089F9), gfx::Color(0, 137 / 255.0, 249 / 255.0, 1));
  Table plain(ui::TableViewStyle::Plain), grouped(ui::TableViewStyle::Grouped);
  kt::dropShadows(*plain.view);
  ASSERT_TRUE(plain.view->tableHeaderView());
  EXPECT_EQ(plain.view->tableHeaderView()->frame().height(), 25);
  EXPECT_EQ(plain.view->contentInset(), (gfx::EdgeInsets{-25, 0, -25, 0}));
  kt::dropShadows(*grouped.view);
  EXPECT_FALSE(grouped.view->tableHeaderView());
  EXPECT_EQ(grouped.view->contentInset(), gfx::EdgeInsets{});
}

}  // namespace
