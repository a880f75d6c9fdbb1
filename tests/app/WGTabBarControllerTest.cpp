#include <gtest/gtest.h>

#include "app/BaseVC.h"
#include "app/WGTabBar.h"
#include "app/WGTabBarController.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

#include <memory>
#include <utility>
#include <vector>

namespace kt {
namespace {

using support::Device;

using support::expectRect;

class RecordingBarDelegate : public WGTabBarDelegate {
 public:
  void didSelectedTabBar(WGTabBar& bar, int32_t tag) override { calls.emplace_back(&bar, tag); }
  std::vector<std::pair<WGTabBar*, int32_t>> calls;
};

core::Value item(const char* title, std::optional<const char*> picture, std::optional<const char*> selected) {
  core::Value::Dictionary d{{"title", title}};
  if (picture) d["picture"] = *picture;
  if (selected) d["selected"] = *selected;
  return core::Value(std::move(d));
}

std::shared_ptr<ui::Button> buttonAt(const WGTabBar& bar, size_t i) {
  return std::dynamic_pointer_cast<ui::Button>(bar.subviews().at(i));
}

class WGTabBarControllerTest : public support::ScreenTest {
 protected:
  std::shared_ptr<WGTabBarController> showTabs() {
    auto tabs = std::make_shared<WGTabBarController>();
    window().setRootViewController(tabs);
    render();
    return tabs;
  }
  // The bar's numbers are laid out for a tablet held upright.
  void usePortrait(Device device = Device::Standard) {
    ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
    setDevice(device);
  }
};

class WGTabBarLayoutTest : public WGTabBarControllerTest, public ::testing::WithParamInterface<Device> {};

TEST_P(WGTabBarLayoutTest, OneTabTwoTaggedButtonsAndTheBarFrames) {
  usePortrait(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto tabs = showTabs();

  // One tab: a navigation controller over the root screen.
  ASSERT_EQ(tabs->viewControllers().size(), 1u);
  auto* nav = dynamic_cast<ui::NavigationController*>(tabs->viewControllers()[0].get());
  ASSERT_NE(nav, nullptr);
  EXPECT_NE(dynamic_cast<BaseVC*>(nav->topViewController()), nullptr);
  EXPECT_TRUE(tabs->tabBar().isHidden());

  // Two items, one button each, tagged from 12300.
  const core::Value& items = tabs->arr_items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items.at(0)["title"], core::Value("第三个"));
  EXPECT_EQ(items.at(1)["title"], core::Value("第五个"));
  EXPECT_EQ(items.at(1)["selected"], core::Value("tabBar_icon_me_replace"));
  const WGTabBar& bar = *tabs->wgTabBar();
  EXPECT_EQ(bar.items(), items);
  ASSERT_EQ(bar.subviews().size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    auto button = buttonAt(bar, i);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->tag(), 12300 + int(i));
    EXPECT_NE(button->imageForState(ui::ControlStateNormal), nullptr);
    EXPECT_NE(button->imageForState(ui::ControlStateSelected), nullptr);
    EXPECT_FALSE(button->isSelected());
  }
  EXPECT_EQ(bar.selectedBtn(), nullptr);
  EXPECT_EQ(bar.delegate(), tabs.get());

  // Background and bar share the shown frame over the platform bar's x and width.
  const gfx::Rect system = tabs->tabBar().frame();
  const double top = large ? 1235 : 926, height = large ? 144 : 108;
  expectRect(tabs->bgView_tabBar()->frame(), system.x(), top, system.width(), height, "bgView_tabBar");
  expectRect(bar.frame(), system.x(), top, system.width(), height, "tabBar");
  EXPECT_DOUBLE_EQ(tabs->bgView_tabBar()->alpha(), 0.9999);
  EXPECT_NE(tabs->bgView_tabBar()->image(), nullptr);
  // The bar above its background, both above the tab's screen.
  const auto& views = tabs->view()->subviews();
  auto at = [&](const ui::View* v) { return std::find_if(views.begin(), views.end(), [v](auto& s) { return s.get() == v; }) - views.begin(); };
  EXPECT_LT(at(nav->view().get()), at(tabs->bgView_tabBar().get()));
  EXPECT_LT(at(tabs->bgView_tabBar().get()), at(&bar));

  // Side slot, then the taller middle slot standing above the bar's top edge.
  if (large) {
    expectRect(bar.subviews()[0]->frame(), 0, 0, 343, 132, "button 0");
    expectRect(bar.subviews()[1]->frame(), 343, -12, 335, 156, "button 1");
  } else {
    expectRect(bar.subviews()[0]->frame(), 0, 0, 258, 99, "button 0");
    expectRect(bar.subviews()[1]->frame(), 258, -9, 252, 117, "button 1");
  }
  EXPECT_EQ(bar.subviews()[1]->backgroundColor(), gfx::Color::clear());

  tabs->didSelectIndex(0);
  screenshot("tab_bar");
}

INSTANTIATE_TEST_SUITE_P(Devices, WGTabBarLayoutTest, ::testing::Values(Device::Standard, Device::LargeTablet),
                         [](const auto& info) { return info.param == Device::Standard ? "Standard" : "LargeTablet"; });

TEST_F(WGTabBarControllerTest, TappingSelectsTheButtonAndAsksForItsTabIndex) {
  usePortrait();
  auto tabs = showTabs();
  WGTabBar& bar = *tabs->wgTabBar();
  auto first = buttonAt(bar, 0), second = buttonAt(bar, 1);

  tap(*second);
  EXPECT_TRUE(second->isSelected());
  EXPECT_EQ(bar.selectedBtn(), second);
  // Index 1 has no tab: the one tab stays selected.
  EXPECT_EQ(tabs->selectedIndex(), std::optional<size_t>(0));

  tap(*first);
  EXPECT_TRUE(first->isSelected());
  EXPECT_FALSE(second->isSelected());
  EXPECT_EQ(bar.selectedBtn(), first);
  EXPECT_EQ(tabs->selectedIndex(), std::optional<size_t>(0));
}

TEST_F(WGTabBarControllerTest, SelectingByIndexDoesNotCallBackAndIgnoresIndexesWithoutAButton) {
  auto tabs = showTabs();
  WGTabBar& bar = *tabs->wgTabBar();
  RecordingBarDelegate recorder;
  bar.setDelegate(&recorder);

  tabs->didSelectIndex(1);
  EXPECT_EQ(bar.selectedBtn(), buttonAt(bar, 1));
  EXPECT_TRUE(recorder.calls.empty());
  tabs->didSelectIndex(5);
  EXPECT_EQ(bar.selectedBtn(), buttonAt(bar, 1));
  EXPECT_TRUE(buttonAt(bar, 1)->isSelected());
  EXPECT_EQ(tabs->selectedIndex(), std::optional<size_t>(0));
  bar.setDelegate(tabs.get());
}

TEST_F(WGTabBarControllerTest, TheBarMovesOutOfViewWhenAScreenAsksAndBack) {
  usePortrait();
  auto tabs = showTabs();
  auto* nav = dynamic_cast<ui::NavigationController*>(tabs->viewControllers()[0].get());
  ASSERT_NE(nav, nullptr);
  auto* home = dynamic_cast<BaseVC*>(nav->topViewController());
  ASSERT_NE(home, nullptr);
  const gfx::Rect shown = tabs->wgTabBar()->frame();
  const gfx::Rect system = tabs->tabBar().frame();

  home->setHideTabBar(true);
  EXPECT_TRUE(home->hideTabBar());
  expectRect(tabs->wgTabBar()->frame(), shown.x(), shown.y() + 108, shown.width(), 108, "hidden bar");
  expectRect(tabs->bgView_tabBar()->frame(), system.x(), tabs->view()->frame().height(), system.width(), 108,
             "hidden background");
  screenshot("tab_bar_hidden");

  home->setHideTabBar(false);
  expectRect(tabs->wgTabBar()->frame(), shown.x(), shown.y(), shown.width(), shown.height(), "shown bar");
  expectRect(tabs->bgView_tabBar()->frame(), shown.x(), shown.y(), shown.width(), shown.height(), "shown background");
}

TEST(WGTabBarTest, ButtonsAreAddedPerCallAndMissingImagesStayEmpty) {
  auto bar = WGTabBar::create(gfx::Rect(0, 0, 768, 108));
  core::Value first(core::Value::Array{item("a", "TarBar3_replace", std::nullopt), item("b", std::nullopt, "tabBar_icon_me_replace")});
  bar->setItems(first);
  bar->setItems(core::Value(core::Value::Array{item("c", "TarBar3_replace", "TarBar3_replace")}));
  ASSERT_EQ(bar->subviews().size(), 3u);
  EXPECT_EQ(bar->subviews()[0]->tag(), 12300);
  EXPECT_EQ(bar->subviews()[1]->tag(), 12301);
  EXPECT_EQ(bar->subviews()[2]->tag(), 12300);
  EXPECT_EQ(bar->items().size(), 1u);  // the last array given
  EXPECT_NE(buttonAt(*bar, 0)->imageForState(ui::ControlStateNormal), nullptr);
  // Without its own selected image a button keeps showing the normal one.
  EXPECT_EQ(buttonAt(*bar, 0)->imageForState(ui::ControlStateSelected), buttonAt(*bar, 0)->imageForState(ui::ControlStateNormal));
  EXPECT_EQ(buttonAt(*bar, 1)->imageForState(ui::ControlStateNormal), nullptr);
  EXPECT_NE(buttonAt(*bar, 1)->imageForState(ui::ControlStateSelected), nullptr);

  // A fourth subview keeps its frame; the third takes the last side slot.
  auto extra = ui::View::create(gfx::Rect(1, 2, 3, 4));
  bar->addSubview(extra);
  bar->layoutSubviews();
  expectRect(bar->subviews()[2]->frame(), 510, 0, 258, 99, "button 2");
  expectRect(extra->frame(), 1, 2, 3, 4, "extra");
}

TEST(WGTabBarTest, TapsTellTheDelegateTheIndexAndSelectEvenWithoutOne) {
  auto bar = WGTabBar::create(gfx::Rect(0, 0, 768, 108));
  bar->setItems(core::Value(core::Value::Array{item("a", "TarBar3_replace", "TarBar3_replace"),
                                               item("b", "TarBar3_replace", "TarBar3_replace"),
                                               item("c", "TarBar3_replace", "TarBar3_replace")}));
  // No delegate: the selection still changes.
  buttonAt(*bar, 2)->sendActionsForControlEvents(ui::ControlEventTouchUpInside);
  EXPECT_EQ(bar->selectedBtn(), buttonAt(*bar, 2));

  RecordingBarDelegate recorder;
  bar->setDelegate(&recorder);
  buttonAt(*bar, 1)->sendActionsForControlEvents(ui::ControlEventTouchUpInside);
  buttonAt(*bar, 0)->sendActionsForControlEvents(ui::ControlEventTouchUpInside);
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[0], std::make_pair(bar.get(), int32_t(1)));
  EXPECT_EQ(recorder.calls[1], std::make_pair(bar.get(), int32_t(0)));
  EXPECT_EQ(bar->selectedBtn(), buttonAt(*bar, 0));
  EXPECT_FALSE(buttonAt(*bar, 1)->isSelected());
  EXPECT_FALSE(buttonAt(*bar, 2)->isSelected());

  // Selection by code is not reported.
  bar->didSelectButton(2);
  EXPECT_EQ(recorder.calls.size(), 2u);
  EXPECT_TRUE(buttonAt(*bar, 2)->isSelected());
  EXPECT_FALSE(buttonAt(*bar, 0)->isSelected());
}

}  // namespace
}  // namespace kt
