#include "platform/ui/TableViewCell.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

using gfx::Rect;
using ui::TableViewCell;
using ui::TableViewCellStyle;

TEST(TableViewCell, StylesPlaceTheirLabelsAndTheDefaultStyleHasNoDetail) {
  auto plain = TableViewCell::create(TableViewCellStyle::Default, "a");
  EXPECT_EQ(plain->detailTextLabel(), nullptr);
  plain->setFrame(Rect(0, 0, 320, 44));
  plain->imageView()->setImage(uitest::solidImage(30, 30, 0xFF000000u));
  plain->textLabel()->setText("Title");
  plain->layoutIfNeeded();
  EXPECT_EQ(plain->imageView()->frame(), Rect(15, 7, 30, 30));
  EXPECT_EQ(plain->textLabel()->frame(), Rect(60, 0, 320 - 60 - 15, 44));

  auto value1 = TableViewCell::create(TableViewCellStyle::Value1, "b");
  value1->setFrame(Rect(0, 0, 320, 44));
  value1->textLabel()->setText("Volume");
  value1->detailTextLabel()->setText("80");
  value1->layoutIfNeeded();
  // The detail hugs the right margin; the title ends before it.
  EXPECT_EQ(value1->detailTextLabel()->frame().maxX(), 305);
  EXPECT_LT(value1->textLabel()->frame().maxX(), value1->detailTextLabel()->frame().minX());

  auto subtitle = TableViewCell::create(TableViewCellStyle::Subtitle, "c");
  subtitle->setFrame(Rect(0, 0, 320, 60));
  subtitle->textLabel()->setText("Song");
  subtitle->detailTextLabel()->setText("Singer");
  subtitle->layoutIfNeeded();
  EXPECT_EQ(subtitle->textLabel()->frame().maxY(), subtitle->detailTextLabel()->frame().minY());
  EXPECT_NEAR(subtitle->textLabel()->frame().minY(), 60 - subtitle->detailTextLabel()->frame().maxY(), 1);
}

TEST(TableViewCell, AccessoriesNarrowTheContentAndSeparatorsFollowTheTable) {
  auto cell = TableViewCell::create(TableViewCellStyle::Default, "a");
  cell->setFrame(Rect(0, 0, 320, 44));
  cell->layoutIfNeeded();
  EXPECT_EQ(cell->contentView()->frame(), Rect(0, 0, 320, 44));
  cell->setAccessoryType(ui::TableViewCellAccessoryType::DisclosureIndicator);
  cell->layoutIfNeeded();
  EXPECT_EQ(cell->accessoryFrame(), Rect(320 - 15 - 8, 16, 8, 13));
  EXPECT_EQ(cell->contentView()->frame().width(), 320 - 15 - 8);
  auto custom = ui::View::create(Rect(0, 0, 40, 20));
  cell->setAccessoryView(custom);
  cell->layoutIfNeeded();
  EXPECT_EQ(custom->frame(), Rect(265, 12, 40, 20));
  EXPECT_EQ(custom->superview(), cell.get());

  EXPECT_TRUE(cell->separatorView()->isHidden());
  cell->setSeparator(true, gfx::Color::red(), 15);
  cell->layoutIfNeeded();
  EXPECT_FALSE(cell->separatorView()->isHidden());
  EXPECT_EQ(cell->separatorView()->frame().x(), 15);
  EXPECT_EQ(cell->separatorView()->frame().maxY(), 44);
}

TEST(TableViewCell, TheSelectedBackgroundShowsPerSelectionStyleAndReuseResetsIt) {
  auto cell = TableViewCell::create(TableViewCellStyle::Default, "a");
  cell->textLabel()->setText("x");
  EXPECT_FALSE(cell->selectedBackgroundView()->alpha() > 0);
  cell->setHighlighted(true);
  EXPECT_EQ(cell->selectedBackgroundView()->alpha(), 1);
  EXPECT_FALSE(cell->textLabel()->isHighlighted());  // gray selection keeps the text colour
  cell->setHighlighted(false);
  EXPECT_EQ(cell->selectedBackgroundView()->alpha(), 0);

  cell->setSelectionStyle(ui::TableViewCellSelectionStyle::Blue);
  cell->setSelected(true);
  EXPECT_EQ(cell->selectedBackgroundView()->alpha(), 1);
  EXPECT_EQ(cell->selectedBackgroundView()->backgroundColor(), gfx::Color(0, 0.48, 1));
  EXPECT_TRUE(cell->textLabel()->isHighlighted());

  cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  EXPECT_TRUE(cell->isSelected());
  EXPECT_EQ(cell->selectedBackgroundView()->alpha(), 0);

  cell->setSelectionStyle(ui::TableViewCellSelectionStyle::Gray);
  cell->setEditing(true);
  cell->prepareForReuse();
  EXPECT_FALSE(cell->isSelected());
  EXPECT_FALSE(cell->isEditing());
  EXPECT_EQ(cell->selectedBackgroundView()->alpha(), 0);
}
