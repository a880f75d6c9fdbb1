#include "widgets/feedback/PRRefreshBackFooter.h"

#include <gtest/gtest.h>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "support/ScopedEnv.h"
#include "support/UiHarness.h"
#include "widgets/feedback/BundlePRRefresh.h"
#include "widgets/feedback/PRRefreshBackNormalFooter.h"
#include "widgets/feedback/RefreshTestSupport.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace {

using kt::PRRefreshBackNormalFooter;
using kt::PRRefreshFooter;
using kt::PRRefreshState;
using refresh_test::PanFinger;

class PRRefreshBackFooterTest : public support::ScreenTest {
 protected:
  PRRefreshBackFooterTest() {
    kt::pr_resetRefreshResources();
    m_table = ui::TableView::create(gfx::Rect(0, 0, 400, 600));
    m_table->setDataSource(&m_rows);
    windowPtr()->addSubview(m_table);
  }
  ~PRRefreshBackFooterTest() override { kt::pr_resetRefreshResources(); }

  void attach(int rows) {
    m_rows.count = rows;
    m_table->reloadData();
    m_footer = PRRefreshFooter::footerWithRefreshingBlock<PRRefreshBackNormalFooter>([this] { ++m_loads; });
    kt::setMj_footer(*m_table, m_footer);
    render();
  }
  // From the current offset, pulls the content up by `travel` points of finger and lets go.
  void pullUpAndRelease(double travel) {
    PanFinger finger(*m_table);
    finger.moveTo(-travel);
    finger.lift();
    wait(1.0);
  }

  support::ScopedEnv m_language{"LANGUAGE", "fr_FR:en_US"};
  refresh_test::Rows m_rows;
  std::shared_ptr<ui::TableView> m_table;
  std::shared_ptr<PRRefreshBackNormalFooter> m_footer;
  int m_loads = 0;
};

TEST_F(PRRefreshBackFooterTest, ATallListLoadsWhenPulledFortyFourPointsPastItsEndAndGivesTheInsetBack) {
  attach(30);  // 1320 points in 600
  EXPECT_EQ(kt::pr_y(*m_footer), 1320);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  EXPECT_EQ(m_footer->happenOffsetY(), 720);
  m_table->setContentOffset({0, 720});

  PanFinger finger(*m_table);
  finger.moveTo(-80);  // 40 points past the end
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  EXPECT_NEAR(m_footer->pullingPercent(), 40.0 / 44, 1e-9);
  EXPECT_EQ(m_footer->stateLabel().text(), "Drag up for more");
  finger.moveTo(-100);  // 50 points
  EXPECT_EQ(m_footer->state(), PRRefreshState::Pulling);
  EXPECT_EQ(m_footer->stateLabel().text(), "Let go for more");
  EXPECT_TRUE(m_footer->arrowView().transform().isIdentity());
  finger.lift();
  wait(1.0);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  EXPECT_EQ(m_loads, 1);
  EXPECT_EQ(m_table->contentInset().bottom, 44);
  EXPECT_EQ(m_footer->lastBottomDelta(), 44);
  // The pull's bounce comes to rest by its own motion, within a hair of the edge the footer set.
  EXPECT_NEAR(m_table->contentOffset().y, 764, 1e-6);
  EXPECT_EQ(m_footer->lastRefreshCount(), 30);

  m_footer->endRefreshing();
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);  // deferred
  wait(1.0);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  EXPECT_EQ(m_table->contentOffset().y, 720);
  EXPECT_FALSE(m_footer->arrowView().isHidden());
}

TEST_F(PRRefreshBackFooterTest, LettingGoShortOfTheFooterDoesNotLoad) {
  attach(30);
  m_table->setContentOffset({0, 720});
  pullUpAndRelease(60);  // 30 points
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  EXPECT_EQ(m_loads, 0);
  EXPECT_EQ(m_table->contentOffset().y, 720);
}

TEST_F(PRRefreshBackFooterTest, AShortListHoldsTheFooterAtTheBottomOfTheView) {
  attach(3);  // 132 points in 600
  EXPECT_EQ(kt::pr_y(*m_footer), 600);
  EXPECT_EQ(m_footer->heightForContentBreakView(), -468);
  EXPECT_EQ(m_footer->happenOffsetY(), 0);
  pullUpAndRelease(100);
  ASSERT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  EXPECT_EQ(m_table->contentInset().bottom, 512);
  EXPECT_EQ(m_table->contentOffset().y, 44);

  m_footer->endRefreshingWithNoMoreData();
  wait(1.0);
  EXPECT_EQ(m_footer->state(), PRRefreshState::NoMoreData);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  EXPECT_EQ(m_footer->stateLabel().text(), "That's the whole list");
  EXPECT_TRUE(m_footer->arrowView().isHidden());

  // With no more data the footer follows the pull but never loads.
  PanFinger finger(*m_table);
  finger.moveTo(-200);
  EXPECT_GT(m_footer->pullingPercent(), 1);
  EXPECT_EQ(m_footer->state(), PRRefreshState::NoMoreData);
  finger.lift();
  wait(1.0);
  EXPECT_EQ(m_loads, 1);
}

TEST_F(PRRefreshBackFooterTest, EndingALoadThatAddedRowsKeepsTheContentWhereItIs) {
  attach(30);
  m_table->setContentOffset({0, 720});
  pullUpAndRelease(100);
  ASSERT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  // The list is on its way up when the new rows arrive: re-setting the offset stops it there.
  m_table->setContentOffset({0, 700});
  m_table->setContentOffset({0, 0}, true);
  m_rows.count = 40;
  m_table->reloadData();
  m_footer->endRefreshing();
  wait(1.0);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  EXPECT_GT(m_table->contentOffset().y, 0);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
}

TEST_F(PRRefreshBackFooterTest, EndingALoadThatAddedNoRowsLeavesTheOffsetAlone) {
  attach(30);
  m_table->setContentOffset({0, 720});
  pullUpAndRelease(100);
  ASSERT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  m_table->setContentOffset({0, 700});
  m_table->setContentOffset({0, 0}, true);
  m_footer->endRefreshing();
  wait(1.0);
  EXPECT_EQ(m_table->contentOffset().y, 0);
}

TEST_F(PRRefreshBackFooterTest, TheArrowRestsTurnedAndCentresWithoutTheText) {
  attach(30);
  EXPECT_FALSE(m_footer->arrowView().transform().isIdentity());
  m_footer->stateLabel().setHidden(true);
  m_footer->setNeedsLayout();
  m_footer->layoutIfNeeded();
  EXPECT_EQ(m_footer->arrowView().center(), (gfx::Point{200, 22}));
  EXPECT_EQ(m_footer->loadingView().center(), (gfx::Point{200, 22}));
}

// The wheel stops at the end of the list: the footer is never pulled, and a pull after it loads.
TEST_F(PRRefreshBackFooterTest, TheWheelStopsAtTheEndWithoutPullingTheFooter) {
  attach(30);
  for (int i = 0; i < 20; ++i) wheel({200, 300}, {0, 1});
  EXPECT_EQ(m_table->contentOffset().y, 720);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  wait(1.0);
  EXPECT_EQ(m_loads, 0);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  pullUpAndRelease(100);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  EXPECT_TRUE(runUntil([&] { return m_loads == 1; }));
}

}  // namespace
