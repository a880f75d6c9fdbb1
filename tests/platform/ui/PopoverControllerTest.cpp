#include "platform/ui/PopoverController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using Card = ui::PopoverCardView;
const gfx::Rect Screen(0, 0, 1024, 768);

TEST(PopoverPlacement, PrefersBelowThenAboveThenTheSides) {
  // Room below: the arrow points up at the anchor, the card centred under it.
  auto p = Card::place(gfx::Rect(500, 20, 24, 24), gfx::Size{300, 200}, ui::PopoverArrowDirectionAny, Screen);
  EXPECT_EQ(p.arrowDirection, ui::PopoverArrowDirectionUp);
  EXPECT_EQ(p.frame, gfx::Rect(362, 44, 300, 200 + Card::ArrowHeight));
  EXPECT_EQ(p.contentFrame, gfx::Rect(0, Card::ArrowHeight, 300, 200));
  EXPECT_DOUBLE_EQ(p.arrowOffset, 150);

  // At the bottom edge: above it.
  p = Card::place(gfx::Rect(500, 720, 24, 24), gfx::Size{300, 200}, ui::PopoverArrowDirectionAny, Screen);
  EXPECT_EQ(p.arrowDirection, ui::PopoverArrowDirectionDown);
  EXPECT_EQ(p.frame.maxY(), 720);
  EXPECT_EQ(p.contentFrame.y(), 0);

  // Too tall for above or below, at the right edge: to its left, arrow pointing right.
  p = Card::place(gfx::Rect(990, 300, 24, 24), gfx::Size{300, 700}, ui::PopoverArrowDirectionAny, Screen);
  EXPECT_EQ(p.arrowDirection, ui::PopoverArrowDirectionRight);
  EXPECT_EQ(p.frame.maxX(), 990);
  EXPECT_GE(p.frame.minY(), Card::ScreenMargin);
  EXPECT_LE(p.frame.maxY(), 768 - Card::ScreenMargin);
  EXPECT_NEAR(p.frame.y() + p.arrowOffset, 312, 0.001);

  // At the left edge, sides only: to its right, arrow pointing left.
  p = Card::place(gfx::Rect(10, 300, 24, 24), gfx::Size{300, 200}, ui::PopoverArrowDirectionLeft | ui::PopoverArrowDirectionRight,
                  Screen);
  EXPECT_EQ(p.arrowDirection, ui::PopoverArrowDirectionLeft);
  EXPECT_EQ(p.frame.x(), 34);
  EXPECT_EQ(p.contentFrame.x(), Card::ArrowHeight);
  EXPECT_EQ(p.frame.midY(), 312);
}

TEST(PopoverPlacement, StaysOnScreenNearCornersAndShrinksWhenNothingFits) {
  // Top right corner: the card is pushed left, the arrow still points at the anchor.
  auto p = Card::place(gfx::Rect(1000, 5, 20, 20), gfx::Size{300, 200}, ui::PopoverArrowDirectionAny, Screen);
  EXPECT_EQ(p.arrowDirection, ui::PopoverArrowDirectionUp);
  EXPECT_EQ(p.frame.maxX(), 1024 - Card::ScreenMargin);
  EXPECT_LE(p.frame.x() + p.arrowOffset, 1014 - Card::CornerRadius);
  EXPECT_GT(p.arrowOffset, 250);

  // Only "down" allowed but the anchor is at the top: the card shrinks into the room above it.
  p = Card::place(gfx::Rect(500, 100, 24, 24), gfx::Size{300, 200}, ui::PopoverArrowDirectionDown, Screen);
  EXPECT_EQ(p.arrowDirection, ui::PopoverArrowDirectionDown);
  EXPECT_EQ(p.frame.minY(), Card::ScreenMargin);
  EXPECT_EQ(p.frame.maxY(), 100);
  EXPECT_EQ(p.contentFrame.height(), 90 - Card::ArrowHeight);

  // No direction given counts as any.
  p = Card::place(gfx::Rect(500, 20, 24, 24), gfx::Size{300, 200}, 0, Screen);
  EXPECT_EQ(p.arrowDirection, ui::PopoverArrowDirectionUp);
}

class Content : public ui::ViewController {
 public:
  void loadView() override {
    auto v = ui::View::create(gfx::Rect(0, 0, 200, 120));
    v->setBackgroundColor(gfx::Color::rgba(0.95, 0.95, 1));
    auto label = ui::Label::create(gfx::Rect(20, 40, 160, 30));
    label->setText("Popover content");
    v->addSubview(label);
    setView(v);
  }
  void viewDidAppear(bool) override { ++appeared; }
  void viewDidDisappear(bool) override { ++disappeared; }
  int appeared = 0;
  int disappeared = 0;
};

class Recorder : public ui::PopoverControllerDelegate {
 public:
  bool popoverControllerShouldDismissPopover(ui::PopoverController&) override {
    log.push_back("should");
    return allow;
  }
  void popoverControllerDidDismissPopover(ui::PopoverController&) override { log.push_back("did"); }
  std::vector<std::string> log;
  bool allow = true;
};

class PopoverControllerTest : public support::ScreenTest {
 protected:
  PopoverControllerTest() {
    anchor = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(100, 200, 120, 44));
    anchor->setTitle("Anchor");
    anchor->setBackgroundColor(gfx::Color::lightGray());
    window().addSubview(anchor);
    content = std::make_shared<Content>();
    popover = ui::PopoverController::create(content);
    popover->setDelegate(&delegate);
  }
  std::shared_ptr<ui::Button> anchor;
  std::shared_ptr<Content> content;
  std::shared_ptr<ui::PopoverController> popover;
  Recorder delegate;
};

TEST_F(PopoverControllerTest, ShowsTheContentInACardPointingAtTheRect) {
  popover->setPopoverContentSize(gfx::Size{300, 180});
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionLeft, true);
  wait(0.5);
  ASSERT_TRUE(popover->isPopoverVisible());
  EXPECT_EQ(popover->popoverArrowDirection(), ui::PopoverArrowDirectionLeft);
  EXPECT_EQ(content->appeared, 1);
  auto card = popover->card();
  ASSERT_TRUE(card);
  EXPECT_EQ(card->frame().x(), 220);
  EXPECT_EQ(content->view()->frame().size, (gfx::Size{300, 180}));
  EXPECT_TRUE(content->view()->isDescendantOf(card.get()));
  screenshot("left-arrow");

  // A new size while visible places the card again.
  popover->setPopoverContentSize(gfx::Size{200, 100}, false);
  EXPECT_EQ(card->frame().width(), 200 + ui::PopoverCardView::ArrowHeight);
  EXPECT_EQ(content->view()->frame().size, (gfx::Size{200, 100}));
}

TEST_F(PopoverControllerTest, AnOutsideTapAsksFirstAndStaysWhenToldNo) {
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionAny, false);
  EXPECT_EQ(popover->popoverArrowDirection(), ui::PopoverArrowDirectionUp);
  delegate.allow = false;
  tap(gfx::Point{900, 700});
  wait(0.5);
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"should"}));
  EXPECT_TRUE(popover->isPopoverVisible());
  // A tap inside the card is the content's.
  tap(*content->view());
  EXPECT_EQ(delegate.log.size(), 1u);

  delegate.allow = true;
  tap(gfx::Point{900, 700});
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"should", "should"}));  // did after the fade
  wait(0.5);
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"should", "should", "did"}));
  EXPECT_FALSE(popover->isPopoverVisible());
  EXPECT_EQ(popover->card(), nullptr);
  EXPECT_EQ(content->disappeared, 1);
  EXPECT_EQ(content->view()->superview(), nullptr);
}

TEST_F(PopoverControllerTest, DismissingFromCodeSendsNoDelegateCalls) {
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionAny, true);
  wait(0.5);
  popover->dismissPopoverAnimated(true);
  EXPECT_TRUE(popover->isPopoverVisible());  // until the fade ends
  wait(0.5);
  EXPECT_FALSE(popover->isPopoverVisible());
  EXPECT_TRUE(delegate.log.empty());
  popover->dismissPopoverAnimated(false);  // not visible: nothing
  // Shown again, and dismissed at once.
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionAny, false);
  EXPECT_TRUE(popover->isPopoverVisible());
  popover->dismissPopoverAnimated(false);
  EXPECT_FALSE(popover->isPopoverVisible());
  EXPECT_TRUE(delegate.log.empty());
  EXPECT_EQ(content->appeared, 2);
  EXPECT_EQ(content->disappeared, 2);
}

TEST_F(PopoverControllerTest, PassthroughViewsKeepTheirTouchesAndThePopoverStays) {
  int taps = 0;
  auto other = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(800, 600, 100, 44));
  other->addTarget(this, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
  window().addSubview(other);
  popover->setPassthroughViews({other});
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionAny, false);
  tap(*other);
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(popover->isPopoverVisible());
  EXPECT_TRUE(delegate.log.empty());
  // Dropped by its maker, the visible popover stays until dismissed.
  std::weak_ptr<ui::PopoverController> weak = popover;
  popover.reset();
  ASSERT_FALSE(weak.expired());
  tap(gfx::Point{900, 300});
  wait(0.5);
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"should", "did"}));
  support::drainMainLoop();
  EXPECT_TRUE(weak.expired());
}

}  // namespace

TEST_F(PopoverControllerTest, TheSizeIsTheOneSetElseTheContentsPreferredElseItsViewsElseTheDefault) {
  // The content's view is 200 x 120 once loaded; nothing loads it just to ask.
  auto fresh = std::make_shared<Content>();
  auto other = ui::PopoverController::create(fresh);
  EXPECT_EQ(other->popoverContentSize(), ui::PopoverController::DefaultContentSize);
  EXPECT_FALSE(fresh->isViewLoaded());
  fresh->view();
  EXPECT_EQ(other->popoverContentSize(), (gfx::Size{200, 120}));
  fresh->setPreferredContentSize(gfx::Size{260, 0});  // half set: not used
  EXPECT_EQ(other->popoverContentSize(), (gfx::Size{200, 120}));
  fresh->setPreferredContentSize(gfx::Size{260, 300});
  EXPECT_EQ(fresh->preferredContentSize(), (gfx::Size{260, 300}));
  EXPECT_EQ(other->popoverContentSize(), (gfx::Size{260, 300}));
  other->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionLeft, false);
  EXPECT_EQ(fresh->view()->frame().size, (gfx::Size{260, 300}));
  other->setPopoverContentSize(gfx::Size{240, 100});
  EXPECT_EQ(other->popoverContentSize(), (gfx::Size{240, 100}));
  EXPECT_EQ(fresh->view()->frame().size, (gfx::Size{240, 100}));
  other->dismissPopoverAnimated(false);
}
