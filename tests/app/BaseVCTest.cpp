#include <gtest/gtest.h>

#include "app/APPFont.h"
#include "app/BaseModel.h"
#include "app/BaseNavController.h"
#include "app/BaseVC.h"
#include "app/HUDClass.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"
#include "widgets/feedback/AOProgressHUD.h"

#include <memory>
#include <string>

namespace kt {
namespace {

using support::Device;

using support::expectRect;

// A song screen that counts its bar button taps.
class CountingScreen : public BaseVC {
 public:
  void leftBarButtonClick() override { ++left; }
  void rightBarButtonClick() override { ++right; }
  int left = 0;
  int right = 0;
};

class BaseVCTest : public support::ScreenTest {
 protected:
  ~BaseVCTest() override { AOProgressHUD::resetSharedView(); }

  // The screen at the root of a navigation controller in the window, laid out and shown.
  template <class T = BaseVC>
  std::shared_ptr<T> showScreen() {
    auto screen = std::make_shared<T>();
    m_nav = std::make_shared<ui::NavigationController>(screen);
    window().setRootViewController(m_nav);
    render();
    return screen;
  }

  std::shared_ptr<ui::NavigationController> m_nav;
};

class BaseVCFramesTest : public BaseVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(BaseVCFramesTest, BarAndContentTakeTheFramesOfTheTabletSize) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto screen = showScreen();
  const auto& root = screen->view();

  EXPECT_TRUE(m_nav->isNavigationBarHidden());
  EXPECT_EQ(ui::Application::shared().statusBarStyle(), ui::StatusBarStyle::LightContent);
  EXPECT_EQ(screen->preferredStatusBarStyle(), ui::StatusBarStyle::LightContent);
  EXPECT_EQ(root->backgroundColor(), gfx::Color::black());

  // The bar first, then the content area.
  ASSERT_EQ(root->subviews().size(), 2u);
  EXPECT_EQ(root->subviews()[0], screen->navBarView());
  EXPECT_EQ(root->subviews()[1], screen->bgView());

  const auto& bar = *screen->navBarView();
  if (large) expectRect(bar.frame(), 0, 0, 1364, 105, "navBarView");
  else expectRect(bar.frame(), 0, 0, 1024, 79, "navBarView");
  EXPECT_EQ(bar.backgroundColor(), gfx::Color::whiteColor());
  EXPECT_DOUBLE_EQ(bar.alpha(), 0.8);

  // The bar's rows in order.
  ASSERT_EQ(bar.subviews().size(), 6u);
  EXPECT_EQ(bar.subviews()[0], screen->imgV_navBar());
  EXPECT_EQ(bar.subviews()[1], screen->imgV_left());
  EXPECT_EQ(bar.subviews()[2], screen->btn_leftBar());
  EXPECT_EQ(bar.subviews()[3], screen->imgV_right());
  EXPECT_EQ(bar.subviews()[4], screen->btn_rightBar());
  EXPECT_EQ(bar.subviews()[5], screen->label_navTitle());

  struct Row {
    const ui::View* view;
    gfx::Rect standard, large;
  } rows[] = {
      {screen->imgV_navBar().get(), {0, 0, 1024, 79}, {0, 0, 1364, 105}},
      {screen->imgV_left().get(), {25, 31.5, 16, 30}, {33, 42, 21, 40}},
      {screen->btn_leftBar().get(), {5, 24, 80, 45}, {6, 32, 106, 60}},
      {screen->imgV_right().get(), {969, 32, 30, 30}, {1291, 42, 39, 40}},
      {screen->btn_rightBar().get(), {939, 24, 80, 45}, {1251, 32, 106, 60}},
      {screen->label_navTitle().get(), {412, 24.5, 200, 44}, {549, 32, 266, 58}},
      {screen->bgView().get(), {0, 79, 1024, 689}, {0, 105, 1364, 919}},
      {screen->imgV_baseBgHeng().get(), {0, 0, 1024, 689}, {0, 0, 1364, 919}},
  };
  for (const Row& row : rows) {
    const gfx::Rect& r = large ? row.large : row.standard;
    expectRect(row.view->frame(), r.x(), r.y(), r.width(), r.height(), "bar or content row");
  }
  EXPECT_EQ(screen->imgV_baseBgHeng()->superview(), screen->bgView().get());
  EXPECT_EQ(screen->bgView()->backgroundColor(), gfx::Color::black());

  // Images: the bar background, the arrow and the content background; none on the right.
  EXPECT_NE(screen->imgV_navBar()->image(), nullptr);
  EXPECT_NE(screen->imgV_left()->image(), nullptr);
  EXPECT_NE(screen->imgV_baseBgHeng()->image(), nullptr);
  EXPECT_EQ(screen->imgV_right()->image(), nullptr);

  // Invisible buttons, and no title until one is set.
  EXPECT_FALSE(screen->btn_leftBar()->currentTitle());
  EXPECT_EQ(screen->btn_leftBar()->currentImage(), nullptr);
  EXPECT_EQ(screen->label_navTitle()->text(), "");
  EXPECT_EQ(screen->label_navTitle()->textAlignment(), gfx::TextAlignment::Center);

  auto empty = screenshot("base_screen");
  ASSERT_NE(empty, nullptr);
  // The content area covers the white window below the bar.
  EXPECT_NE(colorAt(*empty, gfx::Point{500, 400}), 0xFFFFFFFFu);

  screen->setNavTitle("已点歌曲", gfx::Color::whiteColor(), APPFont::getSysFont_size36());
  EXPECT_EQ(screen->label_navTitle()->text(), "已点歌曲");
  EXPECT_EQ(screen->label_navTitle()->textColor(), gfx::Color::whiteColor());
  ASSERT_NE(screen->label_navTitle()->font(), nullptr);
  EXPECT_DOUBLE_EQ(screen->label_navTitle()->font()->pointSize(), large ? 23 : 22);
  EXPECT_EQ(findViewByText("已点歌曲"), screen->label_navTitle());
  screenshot("base_screen_titled");
}

INSTANTIATE_TEST_SUITE_P(Devices, BaseVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet),
                         [](const auto& info) { return info.param == Device::Standard ? "Standard" : "LargeTablet"; });

TEST_F(BaseVCTest, AModeOtherThanExactlyThe12Point9InchOneTakesTheStandardFrames) {
  ui::Screen::main().setMode(gfx::Size{2732, 2048}, 2);
  auto screen = std::make_shared<BaseVC>();
  screen->view();
  expectRect(screen->navBarView()->frame(), 0, 0, 1024, 79, "navBarView");
  expectRect(screen->bgView()->frame(), 0, 79, 1024, 689, "bgView");
  expectRect(screen->btn_rightBar()->frame(), 939, 24, 80, 45, "btn_rightBar");
}

TEST_F(BaseVCTest, BarButtonsCallTheScreensActionsUntilHidden) {
  auto screen = showScreen<CountingScreen>();
  tap(*screen->btn_leftBar());
  EXPECT_EQ(screen->left, 1);
  EXPECT_EQ(screen->right, 0);
  tap(*screen->btn_rightBar());
  EXPECT_EQ(screen->left, 1);
  EXPECT_EQ(screen->right, 1);

  const gfx::Rect leftFrame = screen->btn_leftBar()->frame();
  screen->hideLeftBarButton();
  EXPECT_TRUE(screen->imgV_left()->isHidden());
  EXPECT_FALSE(screen->btn_leftBar()->isEnabled());
  EXPECT_FALSE(screen->btn_leftBar()->isHidden());
  EXPECT_EQ(screen->btn_leftBar()->frame(), leftFrame);
  tap(gfx::Point{45, 46});
  EXPECT_EQ(screen->left, 1);
  tap(*screen->btn_rightBar());
  EXPECT_EQ(screen->right, 2);  // the other one still works

  screen->hideRightBarButton();
  EXPECT_TRUE(screen->imgV_right()->isHidden());
  EXPECT_FALSE(screen->btn_rightBar()->isEnabled());
  tap(gfx::Point{979, 46});
  EXPECT_EQ(screen->right, 2);
}

TEST_F(BaseVCTest, TheBaseScreensOwnButtonsAreInertAndOutlivingThemIsSafe) {
  auto screen = showScreen();
  auto left = screen->btn_leftBar();
  tap(*left);  // nothing to do, nothing breaks
  EXPECT_EQ(m_nav->viewControllers().size(), 1u);
  // A button kept beyond its screen calls nothing.
  auto counting = std::make_shared<CountingScreen>();
  counting->view();
  auto kept = counting->btn_leftBar();
  counting.reset();
  kept->sendActionsForControlEvents(ui::ControlEventTouchUpInside);
}

TEST_F(BaseVCTest, SettingHideTabBarWithoutATabBarControllerOnlyRecordsTheFlag) {
  auto screen = showScreen();
  EXPECT_FALSE(screen->hideTabBar());
  const gfx::Rect before = screen->view()->frame();
  screen->setHideTabBar(true);
  EXPECT_TRUE(screen->hideTabBar());
  screen->setHideTabBar(false);
  EXPECT_FALSE(screen->hideTabBar());
  EXPECT_EQ(screen->view()->frame(), before);
  // Under the platform's own tab bar controller there is no bar of the system's to move.
  auto inner = std::make_shared<BaseVC>();
  auto innerNav = std::make_shared<ui::NavigationController>(inner);
  auto plainTabs = std::make_shared<ui::TabBarController>();
  plainTabs->setViewControllers({innerNav});
  window().setRootViewController(plainTabs);
  render();
  const gfx::Rect platformBar = plainTabs->tabBar().frame();
  inner->setHideTabBar(true);
  EXPECT_TRUE(inner->hideTabBar());
  EXPECT_EQ(plainTabs->tabBar().frame(), platformBar);
  // Before it is in a navigation controller, too.
  auto loose = std::make_shared<BaseVC>();
  loose->setHideTabBar(true);
  EXPECT_TRUE(loose->hideTabBar());
}

TEST_F(BaseVCTest, TheProgressOverlayGoesWhenTheScreenIsCoveredOrPopped) {
  auto screen = showScreen();
  HUDClass::showHud();
  wait(0.3);
  ASSERT_TRUE(AOProgressHUD::isVisible());
  m_nav->pushViewController(std::make_shared<BaseVC>(), true);
  wait(0.6);
  EXPECT_FALSE(AOProgressHUD::isVisible());

  // The pushed screen's overlay goes when it is popped.
  HUDClass::showHud();
  wait(0.3);
  ASSERT_TRUE(AOProgressHUD::isVisible());
  m_nav->popViewControllerAnimated(true);
  wait(0.6);
  EXPECT_FALSE(AOProgressHUD::isVisible());
  EXPECT_EQ(m_nav->topViewController(), screen.get());
}

TEST_F(BaseVCTest, BaseNavControllerIsAPlainNavigationController) {
  auto screen = std::make_shared<BaseVC>();
  auto nav = std::make_shared<BaseNavController>(screen);
  window().setRootViewController(nav);
  render();
  EXPECT_EQ(nav->topViewController(), screen.get());
  EXPECT_TRUE(nav->isNavigationBarHidden());
}

TEST(BaseModelTest, ModelWithDictMakesTheAskedClassFromTheDictionary) {
  struct Song : BaseModel {
    explicit Song(const core::Value& dict) : BaseModel(dict), name(dict["name"].stringValue()) {}
    std::string name;
  };
  const core::Value dict(core::Value::Dictionary{{"name", "月亮代表我的心"}});
  std::shared_ptr<Song> song = BaseModel::modelWithDict<Song>(dict);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->name, "月亮代表我的心");
  EXPECT_NE(BaseModel::modelWithDict(dict), nullptr);
}

}  // namespace
}  // namespace kt
