// The keyboard-avoiding scroll view (the table view shares its keyboard handling): the offset that
// brings an input into view, the content kept as large as the frame, the inset made and put back
// around the keyboard (and left alone when nothing was saved), keyboard frames at y = 0, and
// editing ended by a touch.
#include <gtest/gtest.h>

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/KeyboardAvoider.h"
#include "widgets/controls/KeyboardAvoidingScrollView.h"
#include "widgets/controls/KeyboardAvoidingTableView.h"

namespace {

using kt::KeyboardAvoider;
using kt::KeyboardAvoidingScrollView;

void postKeyboard(const char* name, const gfx::Rect& end) {
  core::Value info;
  info.set(ui::Keyboard::FrameEndUserInfoKey, ui::Keyboard::valueFromRect(end));
  info.set(ui::Keyboard::AnimationDurationUserInfoKey, 0.25);
  info.set(ui::Keyboard::AnimationCurveUserInfoKey, 7);
  core::NotificationCenter::defaultCenter().post(name, nullptr, info);
}

TEST(KeyboardAvoiderTest, IdealOffsetCentresFitsAndClamps) {
  // Centred in the space: 300 - floor((250 - 40) / 2).
  EXPECT_EQ(KeyboardAvoider::idealOffset(1000, 300, 40, 250), 195);
  // Too low to reach the top of the space: the end of the content.
  EXPECT_EQ(KeyboardAvoider::idealOffset(1000, 900, 40, 250), 750);
  // Taller than the space: by its top.
  EXPECT_EQ(KeyboardAvoider::idealOffset(1000, 300, 400, 250), 300);
  // Near the top: never above the content.
  EXPECT_EQ(KeyboardAvoider::idealOffset(1000, 20, 40, 250), 0);
  // Content shorter than the space.
  EXPECT_EQ(KeyboardAvoider::idealOffset(100, 50, 20, 250), 0);
}

class KeyboardAvoidingViewTest : public support::ScreenTest {
 protected:
  KeyboardAvoidingViewTest() { ui::Keyboard::shared().reset(); }
  ~KeyboardAvoidingViewTest() override { ui::Keyboard::shared().reset(); }

  // A full-screen scroll view 1000 points of content high with a field at y = 300.
  void makeScrollView(const gfx::Rect& frame = gfx::Rect(0, 0, 1024, 768)) {
    scroll = KeyboardAvoidingScrollView::create(frame);
    scroll->setContentSize(gfx::Size{1024, 1000});
    field = ui::TextField::create(gfx::Rect(100, 300, 400, 40));
    field->setBorderStyle(ui::TextBorderStyle::RoundedRect);
    scroll->addSubview(field);
    window().addSubview(scroll);
    render();
  }

  std::shared_ptr<KeyboardAvoidingScrollView> scroll;
  std::shared_ptr<ui::TextField> field;
};

TEST_F(KeyboardAvoidingViewTest, ScrollContentIsNeverSmallerThanTheFrame) {
  auto view = KeyboardAvoidingScrollView::create(gfx::Rect(0, 0, 300, 200));
  EXPECT_EQ(view->contentSize(), (gfx::Size{300, 200}));
  view->setContentSize(gfx::Size{100, 500});
  EXPECT_EQ(view->contentSize(), (gfx::Size{300, 500}));
  view->setFrame(gfx::Rect(0, 0, 150, 100));
  EXPECT_EQ(view->contentSize(), (gfx::Size{150, 500}));
  view->setFrame(gfx::Rect(0, 0, 400, 600));
  EXPECT_EQ(view->contentSize(), (gfx::Size{400, 600}));
  EXPECT_EQ(view->originalContentSize(), (gfx::Size{100, 500}));
}

TEST_F(KeyboardAvoidingViewTest, EditingMakesRoomAndTheKeyboardGoingPutsTheInsetBack) {
  makeScrollView();
  scroll->setContentInset(gfx::EdgeInsets{20, 0, 5, 0});
  scroll->adjustOffsetToIdealIfNeeded();
  EXPECT_EQ(scroll->contentOffset().y, 0);
  tap(*field);
  ASSERT_TRUE(field->isFirstResponder());
  ASSERT_TRUE(ui::Keyboard::shared().isVisible());
  // The keyboard covers the bottom 352 points: the inset reaches its top edge.
  EXPECT_EQ(scroll->contentInset(), (gfx::EdgeInsets{20, 0, 352, 0}));
  EXPECT_EQ(scroll->keyboardRect(), gfx::Rect(0, 416, 1024, 352));
  wait(0.5);
  // 416 points of space: 300 - floor((416 - 40) / 2).
  EXPECT_EQ(scroll->contentOffset().y, 112);

  // Re-aimed after the owner moved the field: too low for the top of 768 - 20 - 352 points.
  field->setFrame(gfx::Rect(100, 900, 400, 40));
  scroll->adjustOffsetToIdealIfNeeded();
  wait(0.5);
  EXPECT_EQ(scroll->contentOffset().y, 1000 - 396);

  // A keyboard that changes while up keeps the inset saved first.
  postKeyboard(ui::Keyboard::WillShowNotification, gfx::Rect(0, 368, 1024, 400));
  EXPECT_EQ(scroll->contentInset().bottom, 400);
  EXPECT_EQ(scroll->avoider().priorInset(), (gfx::EdgeInsets{20, 0, 5, 0}));

  // A touch on the view itself ends the editing, and the keyboard goes.
  tap(gfx::Point{800, 100});
  EXPECT_FALSE(field->isFirstResponder());
  EXPECT_FALSE(ui::Keyboard::shared().isVisible());
  EXPECT_EQ(scroll->contentInset(), (gfx::EdgeInsets{20, 0, 5, 0}));
  EXPECT_FALSE(scroll->avoider().isPriorInsetSaved());
}

TEST_F(KeyboardAvoidingViewTest, AKeyboardForAnInputElsewhereLeavesTheOwnersInsetAlone) {
  makeScrollView(gfx::Rect(0, 0, 500, 768));
  scroll->setContentInset(gfx::EdgeInsets{20, 0, 5, 0});
  auto outside = ui::TextField::create(gfx::Rect(600, 100, 300, 40));
  window().addSubview(outside);
  tap(*outside);
  ASSERT_TRUE(ui::Keyboard::shared().isVisible());
  EXPECT_TRUE(scroll->avoider().isKeyboardVisible());
  EXPECT_EQ(scroll->contentInset(), (gfx::EdgeInsets{20, 0, 5, 0}));
  // A frame change while it is up makes room for it; its going puts the owner's inset back.
  scroll->setFrame(gfx::Rect(0, 0, 500, 700));
  EXPECT_EQ(scroll->contentInset(), (gfx::EdgeInsets{20, 0, 284, 0}));
  ui::Keyboard::shared().hide();
  EXPECT_FALSE(scroll->avoider().isKeyboardVisible());
  EXPECT_EQ(scroll->contentInset(), (gfx::EdgeInsets{20, 0, 5, 0}));
}

TEST_F(KeyboardAvoidingViewTest, KeyboardAtTheTopLiesAtTheBottomAndTheInsetMayBeNegative) {
  // A view whose bottom is 300: the keyboard's top edge (416) lies below it.
  makeScrollView(gfx::Rect(0, 0, 1024, 300));
  ASSERT_TRUE(field->becomeFirstResponder());
  postKeyboard(ui::Keyboard::WillShowNotification, gfx::Rect(50, 0, 1024, 352));
  EXPECT_EQ(scroll->keyboardRect(), gfx::Rect(0, 416, 1024, 352));
  EXPECT_EQ(scroll->contentInset().bottom, -116);
  // A frame change while the keyboard is up follows the keyboard.
  scroll->setFrame(gfx::Rect(0, 0, 1024, 700));
  EXPECT_EQ(scroll->contentInset().bottom, 284);
}

TEST_F(KeyboardAvoidingViewTest, ATableResizedByItsSuperviewFollowsTheKeyboard) {
  auto holder = ui::View::create(gfx::Rect(0, 0, 1024, 700));
  auto table = kt::KeyboardAvoidingTableView::create(holder->bounds());
  table->setAutoresizingMask(ui::AutoresizingFlexibleHeight);
  holder->addSubview(table);
  window().addSubview(holder);
  render();
  postKeyboard(ui::Keyboard::WillShowNotification, gfx::Rect(0, 416, 1024, 352));
  holder->setFrame(gfx::Rect(0, 0, 1024, 600));
  render();
  EXPECT_EQ(table->frame().height(), 600);
  EXPECT_EQ(table->contentInset().bottom, 184);
  // Moved, not resized, by its superview: the keyboard covers 100 points more.
  table->setAutoresizingMask(ui::AutoresizingFlexibleTopMargin);
  holder->setFrame(gfx::Rect(0, 0, 1024, 700));
  EXPECT_EQ(table->frame(), gfx::Rect(0, 100, 1024, 600));
  EXPECT_EQ(table->contentInset().bottom, 284);
}

}  // namespace
