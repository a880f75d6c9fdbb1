#include "platform/ui/Storyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Nib.h"
#include "platform/ui/StoryboardSegue.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

class Scene : public ui::ViewController {
 public:
  using ui::ViewController::ViewController;
  void prepareForSegue(ui::StoryboardSegue& segue, ui::Responder* sender) override {
    prepared.push_back(segue.identifier());
    lastSender = sender;
    segue.destinationViewController()->setTitle("prepared by source");
  }
  bool shouldPerformSegueWithIdentifier(const std::string& id, ui::Responder*) override { return id != "blocked"; }

  std::vector<std::string> prepared;
  ui::Responder* lastSender = nullptr;
  std::shared_ptr<ui::Label> nameLabel;  // an outlet a nib sets
};

// Shows its destination by adding the destination's view to the source's, at once.
class OverlaySegue : public ui::StoryboardSegue {
 public:
  using ui::StoryboardSegue::StoryboardSegue;
  void perform() override {
    ++performed;
    sourceViewController()->view()->addSubview(destinationViewController()->view());
  }
  static inline int performed = 0;
};

class StoryboardTest : public support::ScreenTest {
 protected:
  StoryboardTest() {
    ui::Storyboard::registerStoryboard("Main", [](ui::Storyboard& board) {
      board.registerScene("Menu", [] { return std::make_shared<Scene>(); });
      board.registerScene("Detail", [] { return std::make_shared<Scene>(); });
      board.registerScene("Nav", [] {
        auto nav = std::make_shared<ui::NavigationController>();
        return nav;
      });
      board.setInitial("Menu");
      board.registerSegue("Menu", "push", "Detail", ui::Storyboard::SegueKind::Push);
      board.registerSegue("Menu", "modal", "Detail", ui::Storyboard::SegueKind::Modal);
      board.registerSegue("Menu", "blocked", "Detail", ui::Storyboard::SegueKind::Modal);
      board.registerSegue("Menu", "overlay", "Detail", ui::Storyboard::SegueKind::Custom,
                          [](const std::string& id, auto source, auto destination) {
                            return std::make_shared<OverlaySegue>(id, source, destination);
                          });
      board.registerSegue("Menu", "broken", "Missing", ui::Storyboard::SegueKind::Push);
    });
    OverlaySegue::performed = 0;
  }
  ~StoryboardTest() override {
    ui::Storyboard::reset();
    ui::Nib::reset();
  }
};

TEST_F(StoryboardTest, ScenesAreMadeByIdentifierAndKnowTheirStoryboard) {
  EXPECT_EQ(ui::Storyboard::named("Nope"), nullptr);
  auto board = ui::Storyboard::named("Main");
  ASSERT_TRUE(board);
  auto menu = board->instantiateInitialViewController();
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->storyboard(), board);
  EXPECT_EQ(menu->storyboardIdentifier(), "Menu");
  auto detail = board->instantiate("Detail");
  EXPECT_NE(detail, board->instantiate("Detail"));
  EXPECT_EQ(board->instantiate("Unknown"), nullptr);
  EXPECT_EQ(std::make_shared<ui::Storyboard>("Empty")->instantiateInitialViewController(), nullptr);
}

TEST_F(StoryboardTest, PushAndModalSeguesPrepareThenShowTheDestination) {
  auto board = ui::Storyboard::named("Main");
  auto menu = std::static_pointer_cast<Scene>(board->instantiate("Menu"));
  auto nav = std::make_shared<ui::NavigationController>(menu);
  window().setRootViewController(nav);
  wait(0.05);

  auto sender = ui::View::create();
  menu->performSegueWithIdentifier("push", sender.get());
  EXPECT_EQ(menu->prepared, std::vector<std::string>({"push"}));
  EXPECT_EQ(menu->lastSender, sender.get());
  ASSERT_EQ(nav->viewControllers().size(), 2u);
  EXPECT_EQ(nav->topViewController()->title(), "prepared by source");
  wait(0.5);

  nav->popViewControllerAnimated(false);
  menu->performSegueWithIdentifier("modal", nullptr);
  wait(0.5);
  ASSERT_TRUE(menu->presentedViewController());
  EXPECT_EQ(menu->presentedViewController()->title(), "prepared by source");
  menu->dismissViewControllerAnimated(false);
  wait(0.05);

  // Unknown identifiers, missing destinations and controllers not from a storyboard do nothing.
  menu->performSegueWithIdentifier("nowhere", nullptr);
  menu->performSegueWithIdentifier("broken", nullptr);
  std::make_shared<Scene>()->performSegueWithIdentifier("push", nullptr);
  EXPECT_EQ(menu->prepared.size(), 2u);
  EXPECT_EQ(nav->viewControllers().size(), 1u);

  // A segue the user sets off asks first; a programmatic one does not.
  menu->triggerSegueWithIdentifier("blocked", nullptr);
  EXPECT_EQ(menu->prepared.size(), 2u);
  menu->performSegueWithIdentifier("blocked", nullptr);
  EXPECT_EQ(menu->prepared.size(), 3u);
  wait(0.5);
}

TEST_F(StoryboardTest, CustomSegueRunsItsOwnTransition) {
  auto menu = std::static_pointer_cast<Scene>(ui::Storyboard::named("Main")->instantiate("Menu"));
  window().setRootViewController(menu);
  menu->performSegueWithIdentifier("overlay", nullptr);
  EXPECT_EQ(OverlaySegue::performed, 1);
  EXPECT_EQ(menu->prepared, std::vector<std::string>({"overlay"}));
  EXPECT_EQ(menu->view()->subviews().size(), 1u);
}

TEST_F(StoryboardTest, NibsBuildTopLevelObjectsAndSetOutlets) {
  EXPECT_TRUE(ui::Nib::load("Missing", nullptr).empty());
  ui::Nib::registerNib("Card", [](ui::Responder* owner) {
    auto root = ui::View::create(gfx::Rect(0, 0, 300, 200));
    auto label = ui::Label::create(gfx::Rect(10, 10, 200, 30));
    label->setText("Room 8");
    root->addSubview(label);
    if (auto* scene = dynamic_cast<Scene*>(owner)) scene->nameLabel = label;
    return ui::Nib::Objects{root, label};
  });
  auto objects = ui::Nib::load("Card", nullptr);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_TRUE(std::dynamic_pointer_cast<ui::View>(objects[0]));

  // A controller with a nib name takes the nib's first view as its own, outlets set.
  auto scene = std::make_shared<Scene>("Card");
  auto& v = scene->view();
  EXPECT_EQ(v->frame(), gfx::Rect(0, 0, 300, 200));
  ASSERT_TRUE(scene->nameLabel);
  EXPECT_EQ(scene->nameLabel->superview(), v.get());
  EXPECT_EQ(v->nextResponder(), scene.get());
  EXPECT_TRUE(ui::Nib::exists("Card"));
}

}  // namespace
