#include "widgets/feedback/PRRefreshHeader.h"

#include <gtest/gtest.h>

#include "platform/core/Clock.h"
#include "platform/core/Date.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "support/ScopedEnv.h"
#include "support/UiHarness.h"
#include "widgets/feedback/BundlePRRefresh.h"
#include "widgets/feedback/PRRefreshNormalHeader.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"
#include "widgets/feedback/RefreshTestSupport.h"

namespace {

using kt::PRRefreshHeader;
using kt::PRRefreshNormalHeader;
using kt::PRRefreshState;
using refresh_test::PanFinger;

class PRRefreshHeaderTest : public support::ScreenTest {
 protected:
  PRRefreshHeaderTest() {
    kt::pr_resetRefreshResources();
    m_table = ui::TableView::create(gfx::Rect(0, 0, 400, 600));
    m_table->setDataSource(&m_rows);
    windowPtr()->addSubview(m_table);
    m_table->setContentInset({10, 0, 0, 0});
    m_table->setContentOffset({0, -10});
    m_header = PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>([this] { ++m_refreshes; });
    kt::setMj_header(*m_table, m_header);
    render();
  }
  ~PRRefreshHeaderTest() override { kt::pr_resetRefreshResources(); }

  support::ScopedEnv m_language{"LANGUAGE", "en_US"};
  refresh_test::Rows m_rows{30};
  std::shared_ptr<ui::TableView> m_table;
  std::shared_ptr<PRRefreshNormalHeader> m_header;
  int m_refreshes = 0;
};

TEST_F(PRRefreshHeaderTest, PullPastTheThresholdAndLetGoRefreshesOnceAndGivesTheInsetBackExactly) {
  EXPECT_EQ(m_header->frame(), gfx::Rect(0, -54, 400, 54));
  PanFinger finger(*m_table);
  finger.moveTo(60);  // 30 points of pull
  EXPECT_EQ(m_header->state(), PRRefreshState::Idle);
  EXPECT_NEAR(m_header->pullingPercent(), 30.0 / 54, 1e-9);
  finger.moveTo(140);  // 70 points: past 54
  EXPECT_EQ(m_header->state(), PRRefreshState::Pulling);
  EXPECT_EQ(m_header->stateLabel().text(), "Let go to update");
  finger.moveTo(100);  // back to 50
  EXPECT_EQ(m_header->state(), PRRefreshState::Idle);
  finger.moveTo(140);
  finger.lift();
  wait(1.0);
  EXPECT_EQ(m_header->state(), PRRefreshState::Refreshing);
  EXPECT_EQ(m_refreshes, 1);
  EXPECT_EQ(m_table->contentInset().top, 64);
  EXPECT_EQ(m_table->contentOffset().y, -64);
  EXPECT_EQ(m_header->stateLabel().text(), "Updating the list…");
  EXPECT_TRUE(m_header->loadingView().isAnimating());
  EXPECT_TRUE(m_header->arrowView().isHidden());

  // While refreshing, scrolling keeps the inset between the recorded one and 54 more.
  m_table->setContentOffset({0, -30});
  EXPECT_EQ(m_table->contentInset().top, 30);
  EXPECT_EQ(m_header->insetTDelta(), -20);
  m_table->setContentOffset({0, 200});
  EXPECT_EQ(m_table->contentInset().top, 10);
  m_table->setContentOffset({0, -100});
  EXPECT_EQ(m_table->contentInset().top, 64);

  // Ending is deferred to the main queue; then the inset is given back and the date kept.
  m_header->endRefreshing();
  EXPECT_EQ(m_header->state(), PRRefreshState::Refreshing);
  wait(1.0);
  EXPECT_EQ(m_header->state(), PRRefreshState::Idle);
  EXPECT_EQ(m_table->contentInset().top, 10);
  EXPECT_EQ(m_table->contentOffset().y, -10);
  EXPECT_EQ(m_refreshes, 1);
  EXPECT_TRUE(m_header->lastUpdatedTime().has_value());
  EXPECT_EQ(m_header->pullingPercent(), 0.0);
  EXPECT_FALSE(m_header->loadingView().isAnimating());
  EXPECT_FALSE(m_header->arrowView().isHidden());
}

TEST_F(PRRefreshHeaderTest, APullThatStopsShortGoesBackWithoutRefreshing) {
  PanFinger finger(*m_table);
  finger.moveTo(100);  // 50 points
  EXPECT_EQ(m_header->state(), PRRefreshState::Idle);
  finger.lift();
  wait(1.0);
  EXPECT_EQ(m_header->state(), PRRefreshState::Idle);
  EXPECT_EQ(m_refreshes, 0);
  EXPECT_LT(m_header->pullingPercent(), 1);
  EXPECT_EQ(m_table->contentInset().top, 10);
  EXPECT_EQ(m_table->contentOffset().y, -10);
}

TEST_F(PRRefreshHeaderTest, ARealDragRefreshes) {
  drag({200, 100}, {200, 400}, 10);
  wait(1.0);
  EXPECT_EQ(m_header->state(), PRRefreshState::Refreshing);
  EXPECT_EQ(m_refreshes, 1);
}

TEST_F(PRRefreshHeaderTest, BeginRefreshingOffScreenWaitsUntilDrawn) {
  m_table->removeFromSuperview();
  m_header->beginRefreshing();
  EXPECT_EQ(m_header->state(), PRRefreshState::WillRefresh);
  EXPECT_TRUE(m_header->isRefreshing());
  EXPECT_EQ(m_header->stateLabel().text(), "");  // no title for WillRefresh
  wait(1.0);
  EXPECT_EQ(m_refreshes, 0);

  windowPtr()->addSubview(m_table);
  render();
  EXPECT_EQ(m_header->state(), PRRefreshState::Refreshing);
  wait(1.0);
  EXPECT_EQ(m_refreshes, 1);

  // Already refreshing: a second begin off screen does not go back to WillRefresh.
  m_table->removeFromSuperview();
  m_header->beginRefreshing();
  EXPECT_EQ(m_header->state(), PRRefreshState::Refreshing);
}

TEST_F(PRRefreshHeaderTest, HiddenOrDisabledHeadersIgnoreTheOffset) {
  auto pullFar = [&] {
    PanFinger finger(*m_table);
    finger.moveTo(140);
    EXPECT_EQ(m_header->state(), PRRefreshState::Idle);
    finger.lift();
    wait(1.0);
  };
  m_header->setHidden(true);
  pullFar();
  m_header->setHidden(false);
  m_header->setUserInteractionEnabled(false);
  pullFar();
  EXPECT_EQ(m_refreshes, 0);
}

TEST_F(PRRefreshHeaderTest, OpacityFollowsThePullOnlyWhenAskedAndNotWhileRefreshing) {
  m_header->setAutomaticallyChangeAlpha(true);
  EXPECT_EQ(m_header->alpha(), 0);
  PanFinger finger(*m_table);
  finger.moveTo(54);  // 27 points
  EXPECT_NEAR(m_header->alpha(), 0.5, 1e-9);
  finger.moveTo(140);
  finger.lift();
  wait(1.0);
  ASSERT_TRUE(m_header->isRefreshing());
  m_header->setPullingPercent(0.2);
  m_header->setAutomaticallyChangeAlpha(false);
  EXPECT_EQ(m_header->alpha(), 1.0);
}

TEST_F(PRRefreshHeaderTest, TitlesFollowTheStateAndMissingTextsAreIgnored) {
  EXPECT_EQ(m_header->stateLabel().text(), "Drag down to update the list");
  m_header->setTitle(std::nullopt, PRRefreshState::Idle);
  EXPECT_EQ(m_header->stateLabel().text(), "Drag down to update the list");
  m_header->setTitle("Pull", PRRefreshState::Idle);
  EXPECT_EQ(m_header->stateLabel().text(), "Pull");
  EXPECT_EQ(m_header->stateTitles().size(), 3u);
}

TEST_F(PRRefreshHeaderTest, LastUpdatedTextForNoDateTodayThisYearAndEarlier) {
  auto& defaults = core::UserDefaults::standard();
  defaults.removeObjectForKey(PRRefreshHeader::LastUpdatedTimeKey);
  m_header->setLastUpdatedTimeKey(PRRefreshHeader::LastUpdatedTimeKey);
  EXPECT_EQ(m_header->lastUpdatedTimeLabel().text(), "Last update: none yet");

  // Today at noon, on the controllable clock.
  core::Date now = core::Date::now();
  double sinceMidnight = std::stoi(now.format("HH")) * 3600 + std::stoi(now.format("mm")) * 60 + std::stoi(now.format("ss"));
  core::Clock::advance(24 * 3600 - sinceMidnight + 12 * 3600);
  now = core::Date::now();
  ASSERT_EQ(now.format("HH"), "12");

  auto textFor = [&](core::Date date) {
    defaults.setObject(PRRefreshHeader::LastUpdatedTimeKey, core::Value(date));
    m_header->setLastUpdatedTimeKey(PRRefreshHeader::LastUpdatedTimeKey);
    return m_header->lastUpdatedTimeLabel().text();
  };
  EXPECT_EQ(textFor(now - 3600), "Last update: today 11:00");
  core::Date sameYear = now - 2 * 86400;
  if (sameYear.format("yyyy") != now.format("yyyy")) sameYear = now + 2 * 86400;
  EXPECT_EQ(textFor(sameYear), "Last update: " + sameYear.format("MM-dd") + " 12:00");
  core::Date earlier = now - 400 * 86400;
  EXPECT_EQ(textFor(earlier), "Last update: " + earlier.format("yyyy-MM-dd") + " 12:00");

  // A block of the application's makes the whole text.
  m_header->setLastUpdatedTimeText([](const std::optional<core::Date>& date) { return date ? "set" : "unset"; });
  EXPECT_EQ(textFor(now), "set");
}

TEST_F(PRRefreshHeaderTest, ArrowAndSpinnerSitLeftOfTheTexts) {
  m_header->layoutIfNeeded();
  gfx::Point arrow = m_header->arrowView().center();
  EXPECT_LT(arrow.x, 200 - 25);
  EXPECT_EQ(arrow.y, 27);
  EXPECT_EQ(m_header->loadingView().center(), arrow);
  // Without the state text the arrow is centred.
  m_header->stateLabel().setHidden(true);
  m_header->setNeedsLayout();
  m_header->layoutIfNeeded();
  EXPECT_EQ(m_header->arrowView().center(), (gfx::Point{200, 27}));
}

TEST_F(PRRefreshHeaderTest, AChangedSpinnerStyleTakesTheOldSpinnerOff) {
  ui::ActivityIndicatorView* old = &m_header->loadingView();
  m_header->setActivityIndicatorViewStyle(ui::ActivityIndicatorStyle::WhiteLarge);
  for (const auto& sub : m_header->subviews()) EXPECT_NE(sub.get(), old);
  EXPECT_EQ(m_header->loadingView().style(), ui::ActivityIndicatorStyle::WhiteLarge);
}

// The wheel stops at the top of the list: the header is never pulled, and a pull after it refreshes.
TEST_F(PRRefreshHeaderTest, TheWheelStopsAtTheTopWithoutPullingTheHeader) {
  EXPECT_FALSE(wheel({200, 300}, {0, -1}));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(wheel({200, 300}, {0, 1}));
  EXPECT_EQ(m_table->contentOffset().y, 134);
  for (int i = 0; i < 5; ++i) wheel({200, 300}, {0, -1});
  EXPECT_EQ(m_table->contentOffset().y, -10);
  EXPECT_EQ(m_header->state(), PRRefreshState::Idle);
  EXPECT_EQ(m_header->pullingPercent(), 0.0);
  wait(1.0);
  EXPECT_EQ(m_refreshes, 0);
  EXPECT_EQ(m_table->contentInset().top, 10);
  PanFinger finger(*m_table);
  finger.moveTo(140);
  finger.lift();
  wait(1.0);
  EXPECT_EQ(m_header->state(), PRRefreshState::Refreshing);
  EXPECT_EQ(m_refreshes, 1);
}

}  // namespace
