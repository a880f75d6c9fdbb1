#include "platform/ui/TabBarController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using Calls = std::vector<std::string>;

class Tab : public ui::ViewController {
 public:
  Tab(std::string name, Calls* calls) : m_name(std::move(name)), m_calls(calls) {}
  void viewWillAppear(bool) override { add("willAppear"); }
  void viewDidAppear(bool) override { add("didAppear"); }
  void viewWillDisappear(bool) override { add("willDisappear"); }
  void viewDidDisappear(bool) override { add("didDisappear"); }

 private:
  void add(const std::string& what) { m_calls->push_back(m_name + "." + what); }
  std::string m_name;
  Calls* m_calls;
};

class Gate : public ui::TabBarControllerDelegate {
 public:
  explicit Gate(Calls* calls) : m_calls(calls) {}
  bool shouldSelectViewController(ui::TabBarController&, ui::ViewController& vc) override {
    m_calls->push_back("should " + vc.title().value_or("?"));
    return allow;
  }
  void didSelectViewController(ui::TabBarController&, ui::ViewController& vc) override {
    m_calls->push_back("did " + vc.title().value_or("?"));
  }
  bool allow = true;

 private:
  Calls* m_calls;
};

class TabBarControllerTest : public support::ScreenTest {
 protected:
  std::shared_ptr<Tab> make(const std::string& name) {
    auto t = std::make_shared<Tab>(name, &calls);
    t->setTitle(name);
    return t;
  }
  Calls calls;
};

TEST_F(TabBarControllerTest, SelectionSwitchesScreensWithAppearanceCallbacks) {
  auto tabs = std::make_shared<ui::TabBarController>();
  auto a = make("a");
  auto b = make("b");
  tabs->setViewControllers({a, b});
  EXPECT_EQ(tabs->selectedIndex(), 0u);
  EXPECT_EQ(a->tabBarController(), tabs.get());
  window().setRootViewController(tabs);
  wait(0.05);
  EXPECT_EQ(calls, Calls({"a.willAppear", "a.didAppear"}));
  EXPECT_EQ(tabs->tabBar().frame(), gfx::Rect(0, 768 - 49, 1024, 49));

  calls.clear();
  tabs->setSelectedIndex(1);
  EXPECT_EQ(calls, Calls({"a.willDisappear", "b.willAppear", "a.didDisappear", "b.didAppear"}));
  EXPECT_EQ(tabs->selectedViewController(), b.get());
  EXPECT_EQ(tabs->tabBar().selectedIndex(), 1u);
  EXPECT_EQ(a->view()->superview(), nullptr);

  // Out of range and the same index change nothing.
  calls.clear();
  tabs->setSelectedIndex(5);
  tabs->setSelectedIndex(1);
  EXPECT_TRUE(calls.empty());

  // Replacing the list keeps the selection on a screen still there, else the first.
  auto c = make("c");
  tabs->setViewControllers({c, b});
  EXPECT_EQ(tabs->selectedIndex(), 1u);
  EXPECT_EQ(a->parentViewController(), nullptr);
  tabs->setViewControllers({c});
  EXPECT_EQ(tabs->selectedViewController(), c.get());
  EXPECT_EQ(c->appearanceState(), ui::ViewController::AppearanceState::Appeared);
  EXPECT_EQ(b->appearanceState(), ui::ViewController::AppearanceState::Disappeared);
}

TEST_F(TabBarControllerTest, TappingAnItemAsksAndTellsTheDelegate) {
  auto tabs = std::make_shared<ui::TabBarController>();
  auto a = make("a");
  auto b = make("b");
  tabs->setViewControllers({a, b});
  window().setRootViewController(tabs);
  wait(0.05);
  Gate gate(&calls);
  tabs->setDelegate(&gate);
  calls.clear();
  gate.allow = false;
  tap(*tabs->tabBar().buttonForItem(1));
  EXPECT_EQ(calls, Calls({"should b"}));
  EXPECT_EQ(tabs->selectedViewController(), a.get());
  calls.clear();
  gate.allow = true;
  tap(*tabs->tabBar().buttonForItem(1));
  EXPECT_EQ(calls, Calls({"should b", "a.willDisappear", "b.willAppear", "a.didDisappear", "b.didAppear", "did b"}));
  // Programmatic selection does not involve the delegate.
  calls.clear();
  tabs->setSelectedIndex(0);
  EXPECT_EQ(calls, Calls({"b.willDisappear", "a.willAppear", "b.didDisappear", "a.didAppear"}));
  tabs->setDelegate(nullptr);
}

TEST_F(TabBarControllerTest, ItemsShowTitlesBadgesAndReselectingANavigationTabPopsToItsRoot) {
  auto root = make("root");
  auto nav = std::make_shared<ui::NavigationController>(root);
  nav->tabBarItem()->setTitle("Songs");
  auto other = make("other");
  other->tabBarItem()->setTag(7);
  auto tabs = std::make_shared<ui::TabBarController>();
  tabs->setViewControllers({nav, other});
  window().setRootViewController(tabs);
  wait(0.05);
  EXPECT_EQ(tabs->tabBar().items().size(), 2u);
  EXPECT_EQ(tabs->tabBar().items()[1]->tag(), 7);
  EXPECT_EQ(tabs->tabBar().buttonForItem(0)->titleLabel()->text(), "Songs");
  auto badge = tabs->tabBar().badgeForItem(1);
  EXPECT_TRUE(badge->isHidden());
  other->tabBarItem()->setBadgeValue("3");
  EXPECT_FALSE(badge->isHidden());
  EXPECT_EQ(badge->text(), "3");

  nav->pushViewController(make("deeper"), false);
  tap(*tabs->tabBar().buttonForItem(0));
  wait(0.5);
  EXPECT_EQ(nav->viewControllers().size(), 1u);

  // The screens may move and hide the bar.
  tabs->tabBar().setFrame(gfx::Rect(0, 768, 1024, 49));
  tabs->tabBar().setHidden(true);
  EXPECT_EQ(tabs->contentFrame(), gfx::Rect(0, 0, 1024, 768));
  screenshot("tabs");
}

}  // namespace
