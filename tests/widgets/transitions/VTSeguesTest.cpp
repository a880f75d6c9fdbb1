// The fold and flip segues made by a storyboard from their class names: their starting styles,
// the checks that refuse to run and leave the stack alone, and a push and a pop that run.
#include "widgets/transitions/VTSegues.h"

#include <gtest/gtest.h>

#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/transitions/VTFlipTransition.h"

namespace {

const char* const kClasses[] = {"VTFoldSegue",      "VTFoldModalSegue",   "VTFoldNavPushSegue", "VTFoldNavPopSegue",
                                "VTFlipSegue",      "VTFlipModalSegue",   "VTFlipNavPushSegue", "VTFlipNavPopSegue"};

class SegueTest : public support::ScreenTest {
 protected:
  void SetUp() override {
    // Scene "Home" with one segue of each class to scene "Next", and back from "Next".
    ui::Storyboard::registerStoryboard("Segues", [](ui::Storyboard& board) {
      board.registerScene("Home", [] { return std::make_shared<ui::ViewController>(); });
      board.registerScene("Next", [] { return std::make_shared<ui::ViewController>(); });
      for (const char* name : kClasses) {
        board.registerSegue("Home", name, "Next", ui::Storyboard::SegueKind::Custom, kt::transitionSegueFactory(name));
        board.registerSegue("Next", name, "Home", ui::Storyboard::SegueKind::Custom, kt::transitionSegueFactory(name));
      }
    });
    board = ui::Storyboard::named("Segues");
    home = board->instantiate("Home");
    nav = std::make_shared<ui::NavigationController>(home);
    window().setRootViewController(nav);
    render();
  }
  void TearDown() override {
    wait(0.5);
    ui::Storyboard::unregisterStoryboard("Segues");
  }
  // Performs a segue, answering the reason it was refused with ("" when it ran).
  static std::string refusal(ui::StoryboardSegue& segue) {
    try {
      segue.perform();
    } catch (const kt::TransitionException& e) {
      return e.name() + ": " + e.what();
    }
    return "";
  }

  std::shared_ptr<ui::Storyboard> board;
  std::shared_ptr<ui::ViewController> home;
  std::shared_ptr<ui::NavigationController> nav;
};

TEST_F(SegueTest, EachClassStartsWithItsStyleAndOthersAreUnknown) {
  EXPECT_FALSE(kt::transitionSegueFactory("VTCubeSegue"));
  auto pop = std::dynamic_pointer_cast<kt::VTFoldNavPopSegue>(board->makeSegue(home, "VTFoldNavPopSegue"));
  ASSERT_NE(pop, nullptr);
  EXPECT_EQ(pop->style(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<kt::VTFlipNavPopSegue>(board->makeSegue(home, "VTFlipNavPopSegue"))->style(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<kt::VTFoldNavPushSegue>(board->makeSegue(home, "VTFoldNavPushSegue"))->style(), 0u);
  EXPECT_EQ(std::dynamic_pointer_cast<kt::VTFlipModalSegue>(board->makeSegue(home, "VTFlipModalSegue"))->style(), 0u);
  // The fold's base does what a plain segue does: nothing. The flip's base refuses.
  EXPECT_EQ(refusal(*board->makeSegue(home, "VTFoldSegue")), "");
  EXPECT_EQ(refusal(*board->makeSegue(home, "VTFlipSegue")),
            "Incomplete Implementation: VTFlipSegue must be subclassed and the perform method implemented.");
  wait(0.4);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

TEST_F(SegueTest, PopAndPushRefuseBeforeChangingAnything) {
  const std::string twoBlanks =
      "Invalid Operation: UINavigationController parent must have at least 2 child controllers in its stack.  "
      "Otherwise no pop can be performed.";
  EXPECT_EQ(refusal(*board->makeSegue(home, "VTFoldNavPopSegue")), twoBlanks);
  EXPECT_EQ(refusal(*board->makeSegue(home, "VTFlipNavPopSegue")), twoBlanks);
  // A source outside any navigation controller.
  auto lone = board->instantiate("Home");
  EXPECT_EQ(refusal(*board->makeSegue(lone, "VTFlipNavPopSegue")),
            "Invalid Operation: VTFlipNavPopSegue can only be performed on a child controller of a "
            "UINavigationController.");
  EXPECT_EQ(refusal(*board->makeSegue(lone, "VTFoldNavPushSegue")),
            "Invalid Operation: VTFoldNavPushSegue can only be performed on a child controller of a "
            "UINavigationController.");
  // A source that is no longer the visible controller: a sheet is shown over it.
  auto sheet = board->instantiate("Next");
  home->presentViewController(sheet, false, nullptr);
  render();
  ASSERT_NE(nav->visibleViewController(), home.get());
  EXPECT_EQ(refusal(*board->makeSegue(home, "VTFlipNavPushSegue")),
            "Invalid Operation: VTFlipNavPushSegue can only be performed from the current visibleViewController of a "
            "UINavigationController.");
  wait(0.4);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

TEST_F(SegueTest, APushThenAPopRunTheirTransitionsFromTheStoryboard) {
  auto push = std::dynamic_pointer_cast<kt::VTFlipNavPushSegue>(board->makeSegue(home, "VTFlipNavPushSegue"));
  push->setStyle(kt::flipStyleTopBottom);  // set before it runs
  push->perform();
  EXPECT_EQ(nav->viewControllers().size(), 1u);  // after the flip
  wait(0.35);
  ASSERT_EQ(nav->viewControllers().size(), 2u);
  EXPECT_EQ(nav->topViewController(), push->destinationViewController().get());
  auto pop = board->makeSegue(nav->viewControllers().back(), "VTFoldNavPopSegue");
  EXPECT_EQ(refusal(*pop), "");
  wait(0.35);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
}

}  // namespace
