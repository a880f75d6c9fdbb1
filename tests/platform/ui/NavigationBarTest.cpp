#include "platform/ui/NavigationBar.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/ScopedEnv.h"
#include "support/UiHarness.h"

namespace {

class Page : public ui::ViewController {
 public:
  explicit Page(const std::string& title) { setTitle(title); }
  void viewDidLoad() override { view()->setBackgroundColor(gfx::Color::whiteColor()); }
};

bool isRed(uint32_t c) { return ((c >> 16) & 0xFF) > 230 && ((c >> 8) & 0xFF) < 30 && (c & 0xFF) < 30; }
bool isWhite(uint32_t c) { return (c & 0xFFFFFF) == 0xFFFFFF; }
// The default tint (0, 122, 255) or close to it where the chevron's edge blends.
bool isTint(uint32_t c) { return (c & 0xFF) > 200 && ((c >> 16) & 0xFF) < 60 && ((c >> 8) & 0xFF) < 160; }

double shownAlpha(const ui::View& v) { return v.layer()->presentation().opacity; }

class NavigationBarTest : public support::ScreenTest {
 protected:
  std::shared_ptr<ui::NavigationController> install(const std::string& rootTitle) {
    auto nav = std::make_shared<ui::NavigationController>(std::make_shared<Page>(rootTitle));
    nav->navigationBar().setBarTintColor(gfx::Color::red());
    window().setRootViewController(nav);
    wait(0.05);
    return nav;
  }
  // The labels and buttons shown directly in the bar, by the text they show.
  std::vector<std::shared_ptr<ui::View>> inBar(const ui::NavigationBar& bar, const std::string& text) const {
    std::vector<std::shared_ptr<ui::View>> found;
    for (const auto& v : bar.subviews()) {
      if (v->isHidden()) continue;
      auto label = std::dynamic_pointer_cast<ui::Label>(v);
      auto button = std::dynamic_pointer_cast<ui::Button>(v);
      if ((label && label->text() == text) || (button && button->currentTitle() == text)) found.push_back(v);
    }
    return found;
  }
};

TEST_F(NavigationBarTest, BackgroundRunsUpUnderTheStatusBarWhileTheFrameStaysBelowIt) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    auto nav = install("Rooms");
    const double width = window().bounds().width();
    ui::NavigationBar& bar = nav->navigationBar();
    render();
    EXPECT_EQ(bar.frame(), gfx::Rect(0, 20, width, 44));
    EXPECT_EQ(bar.statusBandHeight(), 20);
    EXPECT_EQ(bar.backgroundView()->convertRectTo(bar.backgroundView()->bounds(), nullptr), gfx::Rect(0, 0, width, 64));
    auto image = screenshot(device == support::Device::Standard ? "status-band" : "status-band-12_9");
    ASSERT_TRUE(image);
    EXPECT_TRUE(isRed(colorAt(*image, gfx::Point{width / 2, 2})));   // the status band
    EXPECT_TRUE(isRed(colorAt(*image, gfx::Point{width - 2, 19})));
    EXPECT_TRUE(isRed(colorAt(*image, gfx::Point{width / 4, 40})));  // the bar, beside the title
    EXPECT_TRUE(isWhite(colorAt(*image, gfx::Point{width / 2, 70})));  // the content under it
  }
}

TEST_F(NavigationBarTest, NoBandWithoutAStatusBarOrAwayFromTheWindowTop) {
  auto nav = install("Rooms");
  ui::NavigationBar& bar = nav->navigationBar();
  ui::Application::shared().setStatusBarHidden(true);
  nav->view()->setNeedsLayout();
  render();
  EXPECT_EQ(bar.frame(), gfx::Rect(0, 0, 1024, 44));
  EXPECT_EQ(bar.statusBandHeight(), 0);
  EXPECT_EQ(bar.backgroundView()->convertRectTo(bar.backgroundView()->bounds(), nullptr), gfx::Rect(0, 0, 1024, 44));
  ui::Application::shared().setStatusBarHidden(false);

  // A navigation controller's view lower down in the window: its bar sits at its top, uncovered
  // band and all.
  auto holder = std::make_shared<ui::ViewController>();
  window().setRootViewController(holder);
  auto inner = std::make_shared<ui::NavigationController>(std::make_shared<Page>("Inner"));
  holder->addChildViewController(inner);
  inner->view()->setFrame(gfx::Rect(0, 200, 1024, 400));
  holder->view()->addSubview(inner->view());
  inner->didMoveToParentViewController(holder.get());
  render();
  EXPECT_EQ(inner->navigationBar().frame(), gfx::Rect(0, 0, 1024, 44));
  EXPECT_EQ(inner->navigationBar().statusBandHeight(), 0);
}

TEST_F(NavigationBarTest, BackButtonShowsAChevronAndTakesTapsFromTheBarEdge) {
  auto nav = install("Rooms");
  ui::NavigationBar& bar = nav->navigationBar();
  nav->navigationBar().setBarTintColor(std::nullopt);
  nav->pushViewController(std::make_shared<Page>("Room 12"), false);
  render();
  auto back = bar.backButton();
  ASSERT_FALSE(back->isHidden());
  EXPECT_EQ(back->currentTitle(), "Rooms");
  EXPECT_EQ(back->frame(), gfx::Rect(0, 0, ui::NavigationBar::BackButtonWidth, ui::NavigationBar::Height));
  gfx::Rect title = back->titleLabel()->convertRectTo(back->titleLabel()->bounds(), nullptr);
  auto image = screenshot("back-chevron");
  ASSERT_TRUE(image);
  // The chevron: tint-coloured pixels between the bar's edge and the title, around the bar's
  // middle line, and none above or below it.
  int tinted = 0, strayed = 0;
  for (double y = 20; y < 64; y += 0.5) {
    for (double x = 0; x < title.minX(); x += 0.5) {
      if (!isTint(colorAt(*image, gfx::Point{x, y}))) continue;
      if (y > 42 - 14 && y < 42 + 14 && x > 5) ++tinted;
      else ++strayed;
    }
  }
  EXPECT_GT(tinted, 40);
  EXPECT_EQ(strayed, 0);
  EXPECT_GE(title.minX(), 24);
  // The title is tinted too: the chevron and the title are one colour.
  EXPECT_EQ(back->titleLabel()->textColor(), back->tintColor());

  // A tap at the very edge of the bar, low down, goes back.
  tap(gfx::Point{2, 62});
  wait(0.5);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  nav->pushViewController(std::make_shared<Page>("Room 12"), false);
  render();
  tap(gfx::Point{14, 42});  // on the chevron
  wait(0.5);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_TRUE(bar.backButton()->isHidden());
}

TEST_F(NavigationBarTest, PushAndPopCrossFadeTheItems) {
  auto nav = install("Rooms");
  ui::NavigationBar& bar = nav->navigationBar();
  auto edit = ui::Button::create(ui::ButtonType::System, gfx::Rect(0, 0, 60, 30));
  edit->setTitle("Edit");
  nav->topViewController()->navigationItem().setRightBarButtonItem(edit);
  render();
  ASSERT_EQ(inBar(bar, "Edit").size(), 1u);

  nav->pushViewController(std::make_shared<Page>("Room 12"), true);
  wait(ui::NavigationController::TransitionDuration / 2);
  auto oldTitle = inBar(bar, "Rooms");  // the leaving title and the back button naming it
  auto newTitle = inBar(bar, "Room 12");
  ASSERT_EQ(newTitle.size(), 1u);
  ASSERT_EQ(oldTitle.size(), 2u);
  for (const auto& v : {oldTitle[0], oldTitle[1], newTitle[0], std::shared_ptr<ui::View>(edit)}) {
    EXPECT_GT(shownAlpha(*v), 0.05);
    EXPECT_LT(shownAlpha(*v), 0.95);
  }
  EXPECT_EQ(edit->superview(), &bar);
  screenshot("push-mid-fade");

  wait(ui::NavigationController::TransitionDuration);
  EXPECT_EQ(inBar(bar, "Room 12").size(), 1u);
  auto backNow = inBar(bar, "Rooms");
  ASSERT_EQ(backNow.size(), 1u);  // only the back button is left of the old title
  EXPECT_EQ(backNow[0], bar.backButton());
  EXPECT_DOUBLE_EQ(shownAlpha(*bar.backButton()), 1);
  EXPECT_DOUBLE_EQ(shownAlpha(*bar.titleLabel()), 1);
  EXPECT_EQ(edit->superview(), nullptr);
  screenshot("push-end");

  nav->popViewControllerAnimated(true);
  wait(ui::NavigationController::TransitionDuration / 2);
  ASSERT_EQ(inBar(bar, "Room 12").size(), 1u);
  EXPECT_NE(inBar(bar, "Room 12")[0], bar.titleLabel());
  EXPECT_LT(shownAlpha(*inBar(bar, "Room 12")[0]), 0.95);
  EXPECT_EQ(edit->superview(), &bar);
  EXPECT_LT(shownAlpha(*edit), 0.95);
  wait(ui::NavigationController::TransitionDuration);
  EXPECT_TRUE(inBar(bar, "Room 12").empty());
  EXPECT_EQ(inBar(bar, "Rooms"), std::vector<std::shared_ptr<ui::View>>{bar.titleLabel()});
  EXPECT_TRUE(bar.backButton()->isHidden());
  EXPECT_DOUBLE_EQ(shownAlpha(*edit), 1);
  EXPECT_EQ(edit->superview(), &bar);
}

TEST_F(NavigationBarTest, ChangesWithoutAnimationSwitchAtOnce) {
  auto nav = install("Rooms");
  ui::NavigationBar& bar = nav->navigationBar();
  nav->pushViewController(std::make_shared<Page>("Room 12"), false);
  EXPECT_TRUE(inBar(bar, "Room 12") == std::vector<std::shared_ptr<ui::View>>{bar.titleLabel()});
  EXPECT_EQ(inBar(bar, "Rooms").size(), 1u);  // the back button only
  EXPECT_DOUBLE_EQ(shownAlpha(*bar.titleLabel()), 1);
  // A title changed during a fade goes straight to the label on show; the fade goes on.
  nav->pushViewController(std::make_shared<Page>("Bill"), true);
  wait(0.05);
  nav->topViewController()->setTitle("Bill 2");
  EXPECT_EQ(bar.titleLabel()->text(), "Bill 2");
  wait(0.5);
  EXPECT_TRUE(inBar(bar, "Room 12") == std::vector<std::shared_ptr<ui::View>>{bar.backButton()});
  EXPECT_DOUBLE_EQ(shownAlpha(*bar.titleLabel()), 1);
}

// Under an untitled screen the back button shows the platform's word for back, in the language
// the program runs under.
TEST_F(NavigationBarTest, TheDefaultBackTitleFollowsTheLanguage) {
  for (auto [language, title] : {std::pair{"zh_CN", "返回"}, std::pair{"zh_TW:en", "返回"}, std::pair{"fr:en_GB", "Back"}}) {
    support::ScopedEnv env("LANGUAGE", language);
    auto nav = install("");
    nav->pushViewController(std::make_shared<Page>("Menu"), true);
    EXPECT_EQ(nav->navigationBar().backButton()->currentTitle(), title) << language;
    wait(0.5);
  }
}

}  // namespace
