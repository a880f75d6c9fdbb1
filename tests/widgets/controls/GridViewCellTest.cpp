// The grid cell's content view: where a new one goes, and that it takes the old one's place.
#include "widgets/controls/GridViewCell.h"

#include <gtest/gtest.h>

#include "support/RectExpectations.h"

namespace {

TEST(GridViewCellTest, ContentViewTakesTheBoundsThenTheOldContentsPlace) {
  auto cell = kt::GridViewCell::create({10, 20, 200, 150});
  EXPECT_FALSE(cell->autoresizesSubviews());
  EXPECT_EQ(cell->contentView(), nullptr);
  EXPECT_EQ(cell->reuseIdentifier(), "");

  auto first = ui::View::create({5, 5, 1, 1});
  first->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
  cell->setContentView(first);
  support::expectRect(first->frame(), 0, 0, 200, 150, "first");
  EXPECT_EQ(first->autoresizingMask(), ui::AutoresizingNone);
  EXPECT_EQ(first->superview(), cell.get());

  first->setFrame({8, 9, 100, 50});
  auto second = ui::View::create();
  cell->setContentView(second);
  support::expectRect(second->frame(), 8, 9, 100, 50, "second");
  EXPECT_EQ(first->superview(), nullptr);
  EXPECT_EQ(cell->subviews().size(), 1u);
  EXPECT_EQ(cell->contentView(), second);

  cell->setContentView(nullptr);
  EXPECT_TRUE(cell->subviews().empty());
}

}  // namespace
