// The grid cell: where a content view goes, the delete button and edit mode, the shake, the
// highlight through nested views, the full-size view, reuse, and the view and gesture helpers.
#include "widgets/controls/GridViewCell.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/gfx/Animation.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "support/RectExpectations.h"
#include "widgets/controls/GridViewAdditions.h"

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
  // The content under the delete button, which stays in front.
  ASSERT_EQ(cell->subviews().size(), 2u);
  EXPECT_EQ(cell->subviews()[0], second);
  EXPECT_EQ(cell->subviews()[1].get(), static_cast<ui::View*>(cell->deleteButton().get()));
  EXPECT_EQ(cell->contentView(), second);

  cell->setContentView(nullptr);
  ASSERT_EQ(cell->subviews().size(), 1u);
  EXPECT_EQ(cell->subviews()[0].get(), static_cast<ui::View*>(cell->deleteButton().get()));
}

}  // namespace

namespace {

using kt::GridViewAdditions;
using kt::GridViewCell;

bool isShaking(const ui::View& view) {
  return view.layer()->animationForKey(GridViewAdditions::ShakeAnimationKey) != nullptr;
}

TEST(GridViewCellTest, ANewCellHasAHiddenGreyDeleteButtonAtMinusFive) {
  auto cell = GridViewCell::create({0, 0, 100, 100});
  const auto& button = cell->deleteButton();
  ASSERT_NE(button, nullptr);
  support::expectRect(button->frame(), -5, -5, 35, 35, "button");
  EXPECT_EQ(button->titleForState(ui::ControlStateNormal), "X");
  EXPECT_EQ(button->backgroundColor(), gfx::Color::white(2.0 / 3.0));
  EXPECT_EQ(button->alpha(), 0);
  EXPECT_FALSE(cell->isEditing());
  EXPECT_EQ(cell->deleteButtonIcon(), nullptr);

  // An icon gives its size and takes the title away; the origin stays where it was moved.
  cell->setDeleteButtonOffset({3, 4});
  auto icon = gfx::Image::fromPixels(20, 24, std::vector<uint32_t>(20 * 24, 0xff00ff00), 1.0);
  cell->setDeleteButtonIcon(icon);
  support::expectRect(button->frame(), 3, 4, 20, 24, "icon");
  EXPECT_EQ(button->titleForState(ui::ControlStateNormal), std::nullopt);
  EXPECT_EQ(cell->deleteButtonIcon(), icon);
  EXPECT_EQ(cell->deleteButtonOffset(), (gfx::Point{3, 4}));
  cell->setDeleteButtonIcon(nullptr);
  support::expectRect(button->frame(), 3, 4, 35, 35, "no icon");
  EXPECT_EQ(button->titleForState(ui::ControlStateNormal), "X");
}

TEST(GridViewCellTest, EditingShowsTheButtonShakesTheCellAndOnlyActsOnAChange) {
  auto cell = GridViewCell::create({0, 0, 100, 100});
  auto content = ui::View::create();
  cell->setContentView(content);

  cell->setEditing(false, true);  // unchanged: nothing moves
  EXPECT_FALSE(isShaking(*cell));
  EXPECT_EQ(cell->deleteButton()->alpha(), 0);

  cell->setEditing(true);
  EXPECT_TRUE(cell->isEditing());
  EXPECT_EQ(cell->deleteButton()->alpha(), 1);
  EXPECT_TRUE(isShaking(*cell));
  EXPECT_FALSE(content->isUserInteractionEnabled());

  // Unchanged again: a removed shake is not put back.
  cell->layer()->removeAnimation(GridViewAdditions::ShakeAnimationKey);
  cell->setEditing(true);
  EXPECT_FALSE(isShaking(*cell));

  cell->setEditing(false);
  EXPECT_EQ(cell->deleteButton()->alpha(), 0);
  EXPECT_TRUE(content->isUserInteractionEnabled());
}

TEST(GridViewCellTest, ShakeRocksTheContentOnceAndAContentChangeStopsIt) {
  auto cell = GridViewCell::create({0, 0, 100, 100});
  auto content = ui::View::create();
  cell->setContentView(content);
  cell->shake(true);
  ASSERT_TRUE(isShaking(*content));
  auto first = content->layer()->animationForKey(GridViewAdditions::ShakeAnimationKey);
  cell->shake(true);
  EXPECT_EQ(content->layer()->animationForKey(GridViewAdditions::ShakeAnimationKey), first);
  auto shake = std::dynamic_pointer_cast<const gfx::BasicAnimation>(first);
  ASSERT_NE(shake, nullptr);
  EXPECT_EQ(shake->keyPath, "transform");
  EXPECT_DOUBLE_EQ(shake->duration, 0.13);
  EXPECT_TRUE(shake->autoreverses);
  EXPECT_FALSE(shake->removedOnCompletion);
  EXPECT_EQ(shake->fromValue, gfx::AnimValue(gfx::Transform3D::rotation(-0.03, 0, 0, 1)));

  // A new content view stops the old one's shake.
  cell->setContentView(ui::View::create());
  EXPECT_FALSE(cell->isInShakingMode());
  EXPECT_FALSE(isShaking(*content));
}

TEST(GridViewCellTest, HighlightReachesNestedLabelsImagesAndControls) {
  auto cell = GridViewCell::create({0, 0, 100, 100});
  auto content = ui::View::create();
  auto box = ui::View::create();
  auto inner = ui::View::create();
  auto label = ui::Label::create();
  auto image = ui::ImageView::create();
  auto button = ui::Button::create();
  content->addSubview(box);
  box->addSubview(inner);
  inner->addSubview(label);
  box->addSubview(image);
  content->addSubview(button);
  cell->setContentView(content);

  cell->setHighlighted(true);
  EXPECT_TRUE(cell->isHighlighted());
  EXPECT_TRUE(label->isHighlighted());
  EXPECT_TRUE(image->isHighlighted());
  EXPECT_TRUE(button->isHighlighted());
  cell->touchesEnded({}, nullptr);
  EXPECT_FALSE(cell->isHighlighted());
  EXPECT_FALSE(label->isHighlighted());
}

TEST(GridViewCellTest, TheWalkStopsOnlyTheLevelWhereTheFlagIsSet) {
  auto root = ui::View::create();
  auto a = ui::View::create();
  auto a1 = ui::View::create();
  auto a2 = ui::View::create();
  auto b = ui::View::create();
  a->setTag(1);
  a1->setTag(11);
  a2->setTag(12);
  b->setTag(2);
  root->addSubview(a);
  a->addSubview(a1);
  a->addSubview(a2);
  root->addSubview(b);
  std::vector<int> seen;
  GridViewAdditions::recursiveEnumerateSubviewsUsingBlock(*root, [&](ui::View& v, bool& stop) {
    seen.push_back(v.tag());
    if (v.tag() == 11) stop = true;
  });
  EXPECT_EQ(seen, (std::vector<int>{1, 11, 2}));
}

TEST(GridViewCellTest, FullSizeViewTakesTheBoundsThenCentresAtItsFullSize) {
  auto cell = GridViewCell::create({0, 0, 100, 80});
  auto content = ui::View::create();
  cell->setContentView(content);
  auto full = ui::View::create({1, 1, 2, 2});
  full->setAutoresizingMask(ui::AutoresizingFlexibleWidth);
  cell->setFullSizeView(full);
  support::expectRect(full->frame(), 0, 0, 100, 80, "placed");
  EXPECT_EQ(full->alpha(), 0);
  EXPECT_EQ(cell->defaultFullsizeViewResizingMask(), ui::AutoresizingFlexibleWidth | 45u);
  EXPECT_EQ(full->autoresizingMask(), 0u);
  EXPECT_EQ(cell->subviews().back().get(), static_cast<ui::View*>(cell->deleteButton().get()));

  cell->setFullSize({300, 200});
  cell->switchToFullSizeMode(true);
  EXPECT_TRUE(cell->isInFullSizeMode());
  EXPECT_EQ(content->alpha(), 0);
  EXPECT_EQ(full->autoresizingMask(), cell->defaultFullsizeViewResizingMask());
  cell->layoutSubviews();
  support::expectRect(full->frame(), -100, -60, 300, 200, "full size");

  cell->switchToFullSizeMode(false);
  EXPECT_FALSE(cell->isInFullSizeMode());
  EXPECT_EQ(full->autoresizingMask(), ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
  support::expectRect(full->frame(), 0, 0, 100, 80, "back");

  // Reuse forgets the full-size view, edit mode and the delete block.
  int deletes = 0;
  cell->setDeleteBlock([&](GridViewCell&) { ++deletes; });
  cell->deleteButton()->sendActionsForControlEvents(ui::ControlEventTouchUpInside);
  EXPECT_EQ(deletes, 1);
  cell->setEditing(true);
  cell->prepareForReuse();
  EXPECT_EQ(cell->fullSizeView(), nullptr);
  EXPECT_EQ(full->superview(), nullptr);
  EXPECT_EQ(cell->fullSize(), (gfx::Size{0, 0}));
  EXPECT_FALSE(cell->isEditing());
  cell->actionDelete();
  EXPECT_EQ(deletes, 1);
}

TEST(GridViewCellTest, FullSizeWithoutAFullSizeViewStillHidesTheContent) {
  auto cell = GridViewCell::create({0, 0, 100, 80});
  auto content = ui::View::create();
  cell->setContentView(content);
  cell->switchToFullSizeMode(true);
  EXPECT_TRUE(cell->isInFullSizeMode());
  EXPECT_EQ(content->alpha(), 0);
  cell->switchToFullSizeMode(false);
  EXPECT_FALSE(cell->isInFullSizeMode());
  EXPECT_EQ(content->alpha(), 1);
}

TEST(GridViewCellTest, EndCancelsAGestureAndKeepsTheRecognizerEnabled) {
  ui::PanGestureRecognizer recognizer;
  EXPECT_FALSE(GridViewAdditions::hasRecognizedValidGesture(recognizer));
  recognizer.setState(ui::GestureRecognizerState::Began);
  EXPECT_TRUE(GridViewAdditions::hasRecognizedValidGesture(recognizer));
  GridViewAdditions::end(recognizer);
  EXPECT_TRUE(recognizer.isEnabled());
  EXPECT_FALSE(GridViewAdditions::hasRecognizedValidGesture(recognizer));
}

}  // namespace
