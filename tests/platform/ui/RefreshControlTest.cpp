#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Label.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/ScrollView.h"
#include "support/UiHarness.h"

namespace {

using ui::RefreshControl;
using ui::ScrollView;

class RefreshControlTest : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    scroll = std::make_shared<ScrollView>(gfx::Rect(0, 0, 400, 500));
    scroll->setContentSize(gfx::Size{400, 1500});
    window->addSubview(scroll);
    control = RefreshControl::create();
    control->addTarget(this, [this](ui::Control& c, const ui::Event*) {
      ++valueChanged;
      refreshingInAction = static_cast<RefreshControl&>(c).isRefreshing();
    }, ui::ControlEventValueChanged);
    scroll->addSubview(control);
  }

  std::shared_ptr<ScrollView> scroll;
  std::shared_ptr<RefreshControl> control;
  int valueChanged = 0;
  bool refreshingInAction = false;
};

TEST_F(RefreshControlTest, SitsAboveTheContentAcrossTheScrollView) {
  EXPECT_EQ(control->scrollView(), scroll.get());
  EXPECT_EQ(control->frame(), gfx::Rect(0, -RefreshControl::Height, 400, RefreshControl::Height));
  EXPECT_FALSE(control->isRefreshing());
  EXPECT_EQ(control->pullDistance(), 0);
  // It takes no touches of its own.
  EXPECT_EQ(control->hitTest(gfx::Point{200, 30}, nullptr), nullptr);
}

TEST_F(RefreshControlTest, BeginAndEndMoveTheTopInsetAndSendNoEvent) {
  scroll->setContentInset(gfx::EdgeInsets{64, 0, 10, 0});
  control->beginRefreshing();
  EXPECT_TRUE(control->isRefreshing());
  EXPECT_TRUE(control->spinner()->isAnimating());
  EXPECT_EQ(scroll->contentInset().top, 64 + RefreshControl::Height);
  EXPECT_EQ(scroll->contentInset().bottom, 10);

  control->beginRefreshing();  // again: no second inset
  EXPECT_EQ(scroll->contentInset().top, 64 + RefreshControl::Height);

  control->endRefreshing();
  EXPECT_FALSE(control->isRefreshing());
  EXPECT_FALSE(control->spinner()->isAnimating());
  EXPECT_EQ(scroll->contentInset().top, 64);
  control->endRefreshing();  // again: nothing
  EXPECT_EQ(scroll->contentInset().top, 64);
  EXPECT_EQ(valueChanged, 0);
}

TEST_F(RefreshControlTest, EndingSlidesTheContentBackOnlyWhenItShowsTheControl) {
  support::VirtualClock clock;
  control->beginRefreshing();
  scroll->setContentOffset(gfx::Point{0, -RefreshControl::Height});
  EXPECT_EQ(control->pullDistance(), RefreshControl::Height);
  control->endRefreshing();
  // The model value is the resting place at once; the layer gets there over the animation.
  EXPECT_EQ(scroll->contentOffset().y, 0);
  EXPECT_FALSE(scroll->layer()->animationKeys().empty());
  core::Clock::advance(RefreshControl::EndAnimationDuration + 0.1);
  support::drainMainLoop();
  EXPECT_TRUE(scroll->layer()->animationKeys().empty());

  // Scrolled down into the content: ending leaves the offset alone.
  control->beginRefreshing();
  scroll->setContentOffset(gfx::Point{0, 300});
  control->endRefreshing();
  EXPECT_EQ(scroll->contentOffset().y, 300);
}

TEST_F(RefreshControlTest, RemovalGivesTheInsetBackAndReattachingTakesItAgain) {
  control->beginRefreshing();
  control->removeFromSuperview();
  EXPECT_EQ(scroll->contentInset().top, 0);
  EXPECT_EQ(control->scrollView(), nullptr);
  // Offsets of the old scroll view no longer reach it.
  scroll->setContentOffset(gfx::Point{0, -200});
  EXPECT_EQ(control->pullDistance(), 0);

  auto other = std::make_shared<ScrollView>(gfx::Rect(0, 0, 300, 300));
  other->addSubview(control);
  EXPECT_TRUE(control->isRefreshing());
  EXPECT_EQ(other->contentInset().top, RefreshControl::Height);
  EXPECT_EQ(control->frame().width(), 300);
  control->endRefreshing();
  EXPECT_EQ(other->contentInset().top, 0);
}

TEST_F(RefreshControlTest, SpinnerFadesInWithThePullWithoutDragging) {
  scroll->setContentOffset(gfx::Point{0, -30});
  EXPECT_DOUBLE_EQ(control->spinner()->alpha(), 0.5);
  // Past the threshold, but no finger on the content: nothing begins.
  scroll->setContentOffset(gfx::Point{0, -120});
  EXPECT_DOUBLE_EQ(control->spinner()->alpha(), 1.0);
  EXPECT_FALSE(control->isRefreshing());
  EXPECT_EQ(valueChanged, 0);
}

TEST_F(RefreshControlTest, TintAndTitle) {
  EXPECT_EQ(control->tintColor(), gfx::Color::gray());
  control->setTintColor(gfx::Color::red());
  EXPECT_EQ(control->spinner()->color(), gfx::Color::red());
  EXPECT_TRUE(control->titleLabel()->isHidden());
  control->setAttributedTitle(std::string("松开刷新"));
  EXPECT_FALSE(control->titleLabel()->isHidden());
  EXPECT_EQ(control->titleLabel()->text(), "松开刷新");
  EXPECT_EQ(control->titleLabel()->textColor(), gfx::Color::red());
  control->layoutIfNeeded();
  // The spinner moves up to make room for the title under it.
  EXPECT_LT(control->spinner()->frame().maxY(), control->titleLabel()->frame().minY());
  control->setAttributedTitle(std::nullopt);
  EXPECT_TRUE(control->titleLabel()->isHidden());
}

class RefreshControlScreenTest : public support::ScreenTest {
 protected:
  RefreshControlScreenTest() {
    scroll = std::make_shared<ScrollView>(gfx::Rect(0, 0, 400, 600));
    scroll->setContentSize(gfx::Size{400, 2000});
    scroll->setBackgroundColor(gfx::Color::whiteColor());
    auto content = ui::View::create(gfx::Rect(0, 0, 400, 2000));
    content->setBackgroundColor(gfx::Color::rgba(0.9, 0.95, 1));
    scroll->addSubview(content);
    window().addSubview(scroll);
    control = RefreshControl::create();
    control->setAttributedTitle(std::string("Refreshing"));
    control->addTarget(this, [this](ui::Control& c, const ui::Event*) {
      ++valueChanged;
      refreshingInAction = static_cast<RefreshControl&>(c).isRefreshing();
    }, ui::ControlEventValueChanged);
    scroll->addSubview(control);
    render();
  }

  std::shared_ptr<ScrollView> scroll;
  std::shared_ptr<RefreshControl> control;
  int valueChanged = 0;
  bool refreshingInAction = false;
};

TEST_F(RefreshControlScreenTest, PullingPastTheThresholdRefreshesOnceAndRestsBelowTheSpinner) {
  drag(gfx::Point{200, 100}, gfx::Point{200, 500}, 20);
  EXPECT_EQ(valueChanged, 1);
  EXPECT_TRUE(refreshingInAction);
  EXPECT_TRUE(control->isRefreshing());
  wait(2);
  // Released: the content settles with the control showing.
  EXPECT_EQ(scroll->contentOffset().y, -RefreshControl::Height);
  screenshot("refreshing");

  // A second pull while refreshing sends nothing more.
  drag(gfx::Point{200, 100}, gfx::Point{200, 500}, 20);
  wait(2);
  EXPECT_EQ(valueChanged, 1);

  control->endRefreshing();
  wait(1);
  EXPECT_EQ(scroll->contentOffset().y, 0);
  EXPECT_EQ(scroll->contentInset().top, 0);

  // A fresh pull refreshes again.
  drag(gfx::Point{200, 100}, gfx::Point{200, 500}, 20);
  EXPECT_EQ(valueChanged, 2);
}

TEST_F(RefreshControlScreenTest, AShortPullDoesNotRefresh) {
  drag(gfx::Point{200, 100}, gfx::Point{200, 140}, 10);
  wait(1);
  EXPECT_EQ(valueChanged, 0);
  EXPECT_FALSE(control->isRefreshing());
  EXPECT_EQ(scroll->contentOffset().y, 0);
}

}  // namespace
