#include "platform/ui/NavigationController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using Calls = std::vector<std::string>;

class Screen : public ui::ViewController {
 public:
  Screen(std::string name, Calls* calls, gfx::Color colour = gfx::Color::whiteColor())
      : m_name(std::move(name)), m_calls(calls), m_colour(colour) {}
  void viewDidLoad() override {
    view()->setBackgroundColor(m_colour);
    add("load");
  }
  void viewWillAppear(bool) override {
    add(std::string("willAppear") + (isMovingToParentViewController() ? "+moving" : ""));
  }
  void viewDidAppear(bool) override { add("didAppear"); }
  void viewWillDisappear(bool) override {
    add(std::string("willDisappear") + (isMovingFromParentViewController() ? "+moving" : ""));
  }
  void viewDidDisappear(bool) override { add("didDisappear"); }
  void didMoveToParentViewController(ui::ViewController* p) override { add(p ? "didMove" : "didMoveNull"); }

 private:
  void add(const std::string& what) { m_calls->push_back(m_name + "." + what); }
  std::string m_name;
  Calls* m_calls;
  gfx::Color m_colour;
};

class ShowRecorder : public ui::NavigationControllerDelegate {
 public:
  explicit ShowRecorder(Calls* calls) : m_calls(calls) {}
  void willShowViewController(ui::NavigationController&, ui::ViewController& vc, bool) override {
    m_calls->push_back(std::string("delegate.willShow ") + (vc.title() ? *vc.title() : "?"));
  }
  void didShowViewController(ui::NavigationController&, ui::ViewController& vc, bool) override {
    m_calls->push_back(std::string("delegate.didShow ") + (vc.title() ? *vc.title() : "?"));
  }

 private:
  Calls* m_calls;
};

class NavigationControllerTest : public support::ScreenTest {
 protected:
  std::shared_ptr<Screen> make(const std::string& name, gfx::Color colour = gfx::Color::whiteColor()) {
    auto s = std::make_shared<Screen>(name, &calls, colour);
    s->setTitle(name);
    return s;
  }
  // A navigation controller over `root` as the window's root, shown.
  std::shared_ptr<ui::NavigationController> install(const std::shared_ptr<Screen>& root) {
    auto nav = std::make_shared<ui::NavigationController>(root);
    window().setRootViewController(nav);
    wait(0.05);
    calls.clear();
    return nav;
  }
  Calls calls;
};

TEST_F(NavigationControllerTest, AnimatedPushSlidesInWithCallbacksAtStartAndEnd) {
  auto a = make("a", gfx::Color::blue());
  auto nav = install(a);
  ShowRecorder shows(&calls);
  nav->setDelegate(&shows);
  auto b = make("b", gfx::Color::red());
  nav->pushViewController(b, true);
  EXPECT_EQ(calls, Calls({"delegate.willShow b", "b.load", "a.willDisappear", "b.willAppear+moving"}));
  EXPECT_EQ(nav->topViewController(), b.get());
  EXPECT_EQ(b->navigationController(), nav.get());
  EXPECT_TRUE(nav->isTransitioning());

  wait(0.17);
  double mid = b->view()->layer()->presentation().position.x;
  EXPECT_GT(mid, 512);
  EXPECT_LT(mid, 512 + 1024);
  auto midImage = screenshot("push-mid");
  ASSERT_TRUE(midImage);
  // Left of the incoming screen the outgoing one still shows.
  EXPECT_EQ(colorAt(*midImage, gfx::Point{10, 400}), 0xff0000ffu);

  wait(0.25);
  EXPECT_FALSE(nav->isTransitioning());
  EXPECT_EQ(calls, Calls({"delegate.willShow b", "b.load", "a.willDisappear", "b.willAppear+moving",
                          "a.didDisappear", "b.didAppear", "b.didMove", "delegate.didShow b"}));
  EXPECT_EQ(a->view()->superview(), nullptr);
  EXPECT_EQ(b->view()->frame(), nav->view()->bounds());
  auto after = screenshot("push-after");
  ASSERT_TRUE(after);
  EXPECT_EQ(colorAt(*after, gfx::Point{10, 400}), 0xffff0000u);
  nav->setDelegate(nullptr);
}

TEST_F(NavigationControllerTest, PushOrPopWhileAnimatingIsRefused) {
  auto a = make("a");
  auto nav = install(a);
  auto b = make("b");
  auto c = make("c");
  nav->pushViewController(b, true);
  nav->pushViewController(c, true);
  EXPECT_EQ(nav->popViewControllerAnimated(true), nullptr);
  wait(0.5);
  EXPECT_EQ(nav->viewControllers().size(), 2u);
  EXPECT_FALSE(c->isViewLoaded());
  // The same controller twice is refused too.
  nav->pushViewController(b, false);
  EXPECT_EQ(nav->viewControllers().size(), 2u);
}

TEST_F(NavigationControllerTest, PopReturnsThePoppedScreenAndNeverTheRoot) {
  auto a = make("a");
  auto nav = install(a);
  auto b = make("b");
  nav->pushViewController(b, false);
  calls.clear();
  auto popped = nav->popViewControllerAnimated(true);
  EXPECT_EQ(popped, b);
  EXPECT_EQ(calls, Calls({"b.willDisappear+moving", "a.willAppear"}));
  wait(0.5);
  EXPECT_EQ(calls, Calls({"b.willDisappear+moving", "a.willAppear", "b.didDisappear", "a.didAppear", "b.didMoveNull"}));
  EXPECT_EQ(b->parentViewController(), nullptr);
  EXPECT_EQ(b->navigationController(), nullptr);
  EXPECT_EQ(nav->popViewControllerAnimated(false), nullptr);
  EXPECT_EQ(nav->topViewController(), a.get());
}

TEST_F(NavigationControllerTest, PopToTellsOnlyTheVisibleScreens) {
  auto a = make("a");
  auto nav = install(a);
  auto b = make("b");
  auto c = make("c");
  auto d = make("d");
  nav->setViewControllers({a, b, c, d}, false);
  EXPECT_FALSE(b->isViewLoaded());
  calls.clear();
  auto popped = nav->popToViewController(b.get(), false);
  ASSERT_EQ(popped.size(), 2u);
  EXPECT_EQ(popped[0], c);
  EXPECT_EQ(popped[1], d);
  EXPECT_EQ(calls, Calls({"b.load", "d.willDisappear+moving", "b.willAppear", "d.didDisappear", "b.didAppear",
                          "c.didMoveNull", "d.didMoveNull"}));
  EXPECT_TRUE(nav->popToViewController(make("x").get(), false).empty());
  EXPECT_TRUE(nav->popToViewController(b.get(), false).empty());
  auto toRoot = nav->popToRootViewControllerAnimated(true);
  ASSERT_EQ(toRoot.size(), 1u);
  wait(0.5);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(a->appearanceState(), ui::ViewController::AppearanceState::Appeared);
  EXPECT_EQ(b->appearanceState(), ui::ViewController::AppearanceState::Disappeared);
}

TEST_F(NavigationControllerTest, OffScreenChangesWaitForTheControllerToAppear) {
  auto a = make("a");
  auto b = make("b");
  auto nav = std::make_shared<ui::NavigationController>(a);
  nav->pushViewController(b, true);
  EXPECT_EQ(calls, Calls({"a.didMove", "b.didMove"}));
  calls.clear();
  window().setRootViewController(nav);
  wait(0.05);
  EXPECT_EQ(calls, Calls({"b.load", "b.willAppear", "b.didAppear"}));
  EXPECT_FALSE(a->isViewLoaded());
  EXPECT_EQ(nav->visibleViewController(), b.get());
}

TEST_F(NavigationControllerTest, BarSitsBelowTheStatusBarAndItsBackButtonPops) {
  auto a = make("a");
  auto nav = install(a);
  ui::NavigationBar& bar = nav->navigationBar();
  render();
  EXPECT_EQ(bar.frame(), gfx::Rect(0, 20, 1024, 44));
  EXPECT_TRUE(bar.backButton()->isHidden());
  // Translucent by default: the content runs under the bar.
  EXPECT_EQ(nav->contentFrame(), gfx::Rect(0, 0, 1024, 768));
  bar.setTranslucent(false);
  EXPECT_EQ(nav->contentFrame(), gfx::Rect(0, 64, 1024, 704));

  auto b = make("b");
  nav->pushViewController(b, false);
  render();
  EXPECT_EQ(b->view()->frame(), gfx::Rect(0, 64, 1024, 704));
  EXPECT_FALSE(bar.backButton()->isHidden());
  EXPECT_EQ(bar.titleLabel()->text(), "b");
  b->setTitle("B!");
  EXPECT_EQ(bar.titleLabel()->text(), "B!");
  tap(*bar.backButton());
  wait(0.5);
  EXPECT_EQ(nav->topViewController(), a.get());

  nav->setNavigationBarHidden(true, true);
  EXPECT_TRUE(nav->isNavigationBarHidden());
  wait(0.5);
  EXPECT_TRUE(bar.isHidden());
  EXPECT_EQ(a->view()->frame(), gfx::Rect(0, 0, 1024, 768));
  nav->setNavigationBarHidden(false, false);
  EXPECT_FALSE(bar.isHidden());
  EXPECT_TRUE(nav->isToolbarHidden());
}

TEST_F(NavigationControllerTest, VisibleControllerIsWhatIsPresentedOverTheStack) {
  auto a = make("a");
  auto nav = install(a);
  EXPECT_EQ(nav->visibleViewController(), a.get());
  auto modal = make("m");
  a->presentViewController(modal, false);
  wait(0.05);
  EXPECT_EQ(nav->visibleViewController(), modal.get());
  EXPECT_EQ(nav->presentedViewController(), modal.get());
}

}  // namespace
