#include "platform/ui/ViewController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using Calls = std::vector<std::string>;

// Writes each callback it receives to a shared list as "name.callback".
class Recorder : public ui::ViewController {
 public:
  Recorder(std::string name, Calls* calls) : m_name(std::move(name)), m_calls(calls) {}
  void viewDidLoad() override { add("load"); }
  void viewWillAppear(bool) override { add("willAppear"); }
  void viewDidAppear(bool) override { add("didAppear"); }
  void viewWillDisappear(bool) override { add("willDisappear"); }
  void viewDidDisappear(bool) override { add("didDisappear"); }
  void didReceiveMemoryWarning() override { add("memoryWarning"); }
  void willMoveToParentViewController(ui::ViewController* p) override { add(p ? "willMove" : "willMoveNull"); }
  void didMoveToParentViewController(ui::ViewController* p) override { add(p ? "didMove" : "didMoveNull"); }
  ui::StatusBarStyle preferredStatusBarStyle() const override { return style; }

  ui::StatusBarStyle style = ui::StatusBarStyle::Default;

 private:
  void add(const std::string& what) { m_calls->push_back(m_name + "." + what); }
  std::string m_name;
  Calls* m_calls;
};

class ViewControllerTest : public support::ScreenTest {
 protected:
  std::shared_ptr<Recorder> make(const std::string& name) { return std::make_shared<Recorder>(name, &calls); }
  // Installs a root controller and lets its did-appear arrive.
  std::shared_ptr<Recorder> installRoot() {
    auto root = make("a");
    window().setRootViewController(root);
    wait(0.05);
    calls.clear();
    return root;
  }
  Calls calls;
};

TEST_F(ViewControllerTest, ViewLoadsLazilyOnceWithThePlatformDefaults) {
  auto vc = make("a");
  EXPECT_FALSE(vc->isViewLoaded());
  EXPECT_TRUE(calls.empty());
  auto& v = vc->view();
  ASSERT_TRUE(v);
  EXPECT_TRUE(vc->isViewLoaded());
  vc->view();
  EXPECT_EQ(calls, Calls({"a.load"}));
  EXPECT_EQ(v->frame(), ui::Screen::main().bounds());
  EXPECT_FALSE(v->backgroundColor().has_value());
  EXPECT_EQ(v->nextResponder(), vc.get());
}

TEST_F(ViewControllerTest, RootControllerFillsTheWindowAndAppearsOnce) {
  auto a = make("a");
  window().setRootViewController(a);
  EXPECT_EQ(calls, Calls({"a.load", "a.willAppear"}));
  EXPECT_EQ(a->view()->superview(), &window());
  EXPECT_EQ(a->view()->frame(), window().bounds());
  EXPECT_EQ(a->nextResponder(), &window());
  wait(0.05);
  EXPECT_EQ(calls, Calls({"a.load", "a.willAppear", "a.didAppear"}));

  calls.clear();
  auto b = make("b");
  window().setRootViewController(b);
  wait(0.05);
  EXPECT_EQ(calls, Calls({"a.willDisappear", "a.didDisappear", "b.load", "b.willAppear", "b.didAppear"}));
  EXPECT_EQ(a->view()->superview(), nullptr);
}

TEST_F(ViewControllerTest, AnimatedPresentAndDismissRunTheCallbacksInOrder) {
  auto a = installRoot();
  auto b = make("b");
  bool presented = false;
  a->presentViewController(b, true, [&] { presented = true; });
  EXPECT_EQ(calls, Calls({"b.load", "a.willDisappear", "b.willAppear"}));
  EXPECT_TRUE(b->isBeingPresented());
  EXPECT_EQ(a->presentedViewController(), b.get());
  EXPECT_EQ(b->presentingViewController(), a.get());

  // Half way the new screen is on its way up from the bottom.
  wait(0.15);
  double centreY = b->view()->layer()->presentation().position.y;
  EXPECT_GT(centreY, 384);
  EXPECT_LT(centreY, 384 + 768);
  EXPECT_FALSE(presented);

  wait(0.3);
  EXPECT_TRUE(presented);
  EXPECT_FALSE(b->isBeingPresented());
  EXPECT_EQ(calls, Calls({"b.load", "a.willDisappear", "b.willAppear", "b.didAppear", "a.didDisappear"}));
  EXPECT_EQ(b->view()->frame(), window().bounds());
  EXPECT_TRUE(a->view()->isHidden());

  calls.clear();
  bool dismissed = false;
  b->dismissViewControllerAnimated(true, [&] { dismissed = true; });
  EXPECT_EQ(calls, Calls({"b.willDisappear", "a.willAppear"}));
  EXPECT_TRUE(b->isBeingDismissed());
  EXPECT_FALSE(a->view()->isHidden());
  wait(0.45);
  EXPECT_TRUE(dismissed);
  EXPECT_EQ(calls, Calls({"b.willDisappear", "a.willAppear", "b.didDisappear", "a.didAppear"}));
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(b->presentingViewController(), nullptr);
  EXPECT_EQ(b->view()->superview(), nullptr);
}

TEST_F(ViewControllerTest, UnanimatedPresentationCompletesOnTheNextTurn) {
  auto a = installRoot();
  auto b = make("b");
  int completions = 0;
  a->presentViewController(b, false, [&] { ++completions; });
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(b->view()->frame(), window().bounds());
  wait(0.02);
  EXPECT_EQ(completions, 1);
  // The presented controller can dismiss itself; the presenter dismisses what it presents.
  a->dismissViewControllerAnimated(false, [&] { ++completions; });
  wait(0.02);
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(calls, Calls({"b.load", "a.willDisappear", "b.willAppear", "b.didAppear", "a.didDisappear",
                          "b.willDisappear", "a.willAppear", "b.didDisappear", "a.didAppear"}));
}

TEST_F(ViewControllerTest, PresentingIsRefusedWhileBusyOrOffScreen) {
  auto a = installRoot();
  auto b = make("b");
  auto c = make("c");
  a->presentViewController(b, true);
  // A second presentation while the first runs, and from a controller not in a window.
  a->presentViewController(c, true);
  make("x")->presentViewController(c, false);
  wait(0.5);
  EXPECT_EQ(a->presentedViewController(), b.get());
  EXPECT_FALSE(c->isViewLoaded());
  // Already presenting: refused too.
  a->presentViewController(c, false);
  EXPECT_EQ(a->presentedViewController(), b.get());
  // The presented one may present in turn.
  b->presentViewController(c, false);
  wait(0.05);
  EXPECT_EQ(b->presentedViewController(), c.get());
  // Dismissing from the bottom takes the whole chain off.
  a->dismissViewControllerAnimated(false);
  wait(0.05);
  EXPECT_EQ(a->presentedViewController(), nullptr);
  EXPECT_EQ(c->presentingViewController(), nullptr);
  EXPECT_EQ(c->view()->superview(), nullptr);
  EXPECT_EQ(b->view()->superview(), nullptr);
  EXPECT_FALSE(a->view()->isHidden());
}

TEST_F(ViewControllerTest, DismissingWhatIsNoLongerPresentedIsHarmlessAndCompletes) {
  auto a = installRoot();
  int completions = 0;
  a->dismissViewControllerAnimated(true, [&] { ++completions; });
  EXPECT_EQ(completions, 0);
  wait(0.02);
  EXPECT_EQ(completions, 1);

  auto b = make("b");
  a->presentViewController(b, true);
  // Asked for during the presentation: it follows it.
  b->dismissViewControllerAnimated(true, [&] { ++completions; });
  wait(1.0);
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(a->presentedViewController(), nullptr);
  calls.clear();
  // b is no longer presented: nothing happens, the completion still runs.
  b->dismissViewControllerAnimated(true, [&] { ++completions; });
  b->dismissModalViewControllerAnimated(false);
  wait(0.5);
  EXPECT_EQ(completions, 3);
  EXPECT_TRUE(calls.empty());
}

TEST_F(ViewControllerTest, FormSheetIsACentredCardOverADimmedScreen) {
  auto a = installRoot();
  auto b = make("b");
  b->setModalPresentationStyle(ui::ModalPresentationStyle::FormSheet);
  a->presentViewController(b, false);
  wait(0.05);
  EXPECT_EQ(b->view()->frame(), gfx::Rect((1024 - 540) / 2.0, (768 - 620) / 2.0, 540, 620));
  // The presenter stays on screen and is told nothing.
  EXPECT_EQ(calls, Calls({"b.load", "b.willAppear", "b.didAppear"}));
  EXPECT_FALSE(a->view()->isHidden());
  auto image = screenshot("form-sheet");
  ASSERT_TRUE(image);
  // Outside the card the white screen is dimmed.
  uint32_t corner = colorAt(*image, gfx::Point{5, 5});
  EXPECT_LT((corner >> 16) & 0xff, 0xc0u);
  calls.clear();
  b->dismissViewControllerAnimated(false);
  wait(0.05);
  EXPECT_EQ(calls, Calls({"b.willDisappear", "b.didDisappear"}));
  EXPECT_EQ(window().subviews().size(), 1u);
}

TEST_F(ViewControllerTest, PresentedNavigationControllerForwardsAppearanceToItsTop) {
  auto a = installRoot();
  auto c = make("c");
  auto nav = std::make_shared<ui::NavigationController>(c);
  a->presentViewController(nav, true);
  wait(0.5);
  EXPECT_EQ(calls, Calls({"c.willMove", "c.didMove", "c.load", "a.willDisappear", "c.willAppear", "c.didAppear",
                   "a.didDisappear"}));
  EXPECT_EQ(c->presentingViewController(), a.get());
  calls.clear();
  // The screen inside dismisses its container.
  c->dismissViewControllerAnimated(true);
  wait(0.5);
  EXPECT_EQ(calls, Calls({"c.willDisappear", "a.willAppear", "c.didDisappear", "a.didAppear"}));
  EXPECT_EQ(a->presentedViewController(), nullptr);
}

TEST_F(ViewControllerTest, StatusBarFollowsTheTopFullScreenController) {
  auto a = installRoot();
  EXPECT_EQ(ui::Application::shared().statusBarStyle(), ui::StatusBarStyle::Default);
  a->style = ui::StatusBarStyle::LightContent;
  a->setNeedsStatusBarAppearanceUpdate();
  EXPECT_EQ(ui::Application::shared().statusBarStyle(), ui::StatusBarStyle::LightContent);

  auto b = make("b");
  a->presentViewController(b, false);
  wait(0.05);
  EXPECT_EQ(ui::Application::shared().statusBarStyle(), ui::StatusBarStyle::Default);
  b->dismissViewControllerAnimated(false);
  wait(0.05);
  EXPECT_EQ(ui::Application::shared().statusBarStyle(), ui::StatusBarStyle::LightContent);

  // A navigation controller with its bar hidden lets its top screen decide.
  auto top = make("t");
  top->style = ui::StatusBarStyle::LightContent;
  auto nav = std::make_shared<ui::NavigationController>(top);
  window().setRootViewController(nav);
  wait(0.05);
  EXPECT_EQ(ui::Application::shared().statusBarStyle(), ui::StatusBarStyle::Default);
  nav->setNavigationBarHidden(true, false);
  nav->setNeedsStatusBarAppearanceUpdate();
  EXPECT_EQ(ui::Application::shared().statusBarStyle(), ui::StatusBarStyle::LightContent);
}

TEST_F(ViewControllerTest, TitleIsObservableAndSharedWithTheItems) {
  auto vc = make("a");
  std::vector<std::string> seen;
  auto owner = std::make_shared<int>(0);
  vc->addTitleObserver(owner, [&](const std::optional<std::string>& o, const std::optional<std::string>& n) {
    seen.push_back(o.value_or("-") + ">" + n.value_or("-"));
  });
  vc->setTitle("One");
  vc->setTitle("One");
  vc->setTitle("Two");
  vc->removeTitleObservers(owner);
  vc->setTitle(std::nullopt);
  EXPECT_EQ(seen, std::vector<std::string>({"->One", "One>Two"}));
  // An observer outliving its owner is dropped unheard.
  auto gone = std::make_shared<int>(0);
  vc->addTitleObserver(gone, [&](const std::optional<std::string>&, const std::optional<std::string>&) {
    seen.push_back("late");
  });
  gone.reset();
  vc->setTitle("Late");
  EXPECT_EQ(seen.size(), 2u);
  vc->setTitle("Three");
  EXPECT_EQ(vc->navigationItem().title(), "Three");
  EXPECT_EQ(vc->tabBarItem()->title(), "Three");
}

TEST_F(ViewControllerTest, ChildrenMemoryWarningAndRotation) {
  auto parent = make("p");
  auto child = make("c");
  parent->addChildViewController(child);
  parent->addChildViewController(child);
  EXPECT_EQ(parent->childViewControllers().size(), 1u);
  EXPECT_EQ(child->parentViewController(), parent.get());
  child->removeFromParentViewController();
  EXPECT_EQ(child->parentViewController(), nullptr);
  EXPECT_EQ(calls, Calls({"c.willMove", "c.didMoveNull"}));

  calls.clear();
  ui::Application::shared().receiveMemoryWarning();
  EXPECT_EQ(calls.size(), 2u);

  struct Landscape : ui::ViewController {
    Landscape() {
      shouldAutorotateToInterfaceOrientation = [](ui::InterfaceOrientation o) {
        return o == ui::InterfaceOrientation::LandscapeLeft || o == ui::InterfaceOrientation::LandscapeRight;
      };
    }
    // A mask that says otherwise: the older question wins while it is answered.
    unsigned supportedInterfaceOrientations() const override {
      return ui::OrientationMaskPortrait;
    }
  };
  Landscape old;
  EXPECT_TRUE(old.supportsInterfaceOrientation(ui::InterfaceOrientation::LandscapeLeft));
  EXPECT_FALSE(old.supportsInterfaceOrientation(ui::InterfaceOrientation::Portrait));
  EXPECT_TRUE(child->supportsInterfaceOrientation(ui::InterfaceOrientation::Portrait));
  // No longer answered: the mask decides again.
  old.shouldAutorotateToInterfaceOrientation = nullptr;
  EXPECT_TRUE(old.supportsInterfaceOrientation(ui::InterfaceOrientation::Portrait));
  EXPECT_FALSE(old.supportsInterfaceOrientation(ui::InterfaceOrientation::LandscapeLeft));
}

}  // namespace
