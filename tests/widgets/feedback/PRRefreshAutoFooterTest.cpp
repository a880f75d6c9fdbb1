#include "widgets/feedback/PRRefreshAutoFooter.h"

#include <gtest/gtest.h>

#include "platform/ui/Label.h"
#include "support/ScopedEnv.h"
#include "support/UiHarness.h"
#include "widgets/feedback/BundlePRRefresh.h"
#include "widgets/feedback/PRRefreshAutoNormalFooter.h"
#include "widgets/feedback/RefreshTestSupport.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace {

using kt::PRRefreshAutoNormalFooter;
using kt::PRRefreshFooter;
using kt::PRRefreshState;
using refresh_test::PanFinger;

// A 600-point table of 30 rows (1320 points): the whole footer is in view from offset 764.
class PRRefreshAutoFooterTest : public support::ScreenTest {
 protected:
  PRRefreshAutoFooterTest() {
    kt::pr_resetRefreshResources();
    m_table = ui::TableView::create(gfx::Rect(0, 0, 400, 600));
    m_table->setDataSource(&m_rows);
    windowPtr()->addSubview(m_table);
    m_table->reloadData();
    m_footer = PRRefreshFooter::footerWithRefreshingBlock<PRRefreshAutoNormalFooter>([this] { ++m_loads; });
    kt::setMj_footer(*m_table, m_footer);
    render();
  }
  ~PRRefreshAutoFooterTest() override { kt::pr_resetRefreshResources(); }

  void setRows(int rows) {
    m_rows.count = rows;
    m_table->reloadData();
  }

  support::ScopedEnv m_language{"LANGUAGE", "en_GB.UTF-8"};
  refresh_test::Rows m_rows{30};
  std::shared_ptr<ui::TableView> m_table;
  std::shared_ptr<PRRefreshAutoNormalFooter> m_footer;
  int m_loads = 0;
};

TEST_F(PRRefreshAutoFooterTest, TakesFortyFourPointsBelowTheLastRow) {
  EXPECT_EQ(m_table->contentInset().bottom, 44);
  EXPECT_EQ(m_footer->frame(), gfx::Rect(0, 1320, 400, 44));
  setRows(20);
  EXPECT_EQ(kt::pr_y(*m_footer), 880);
  // Taken off, it gives the points back.
  kt::setMj_footer(*m_table, nullptr);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  EXPECT_EQ(kt::pr_footer(*m_table), nullptr);
}

TEST_F(PRRefreshAutoFooterTest, ScrollingDownToTheFooterLoadsOnceAndCallsBackHalfASecondLater) {
  m_table->setContentOffset({0, 700});
  m_table->setContentOffset({0, 763});
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  m_table->setContentOffset({0, 764});
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  EXPECT_EQ(m_footer->stateLabel().text(), "Fetching more…");
  EXPECT_TRUE(m_footer->loadingView().isAnimating());
  wait(0.45);
  EXPECT_EQ(m_loads, 0);
  wait(0.1);
  // The main queue's delayed blocks arrive from their own thread.
  EXPECT_TRUE(runUntil([&] { return m_loads == 1; }));
  m_table->setContentOffset({0, 790});
  wait(1.0);
  EXPECT_EQ(m_loads, 1);

  int ended = 0;
  m_footer->endRefreshingWithCompletionBlock([&] { ++ended; });
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);  // at once
  EXPECT_EQ(ended, 1);
  EXPECT_FALSE(m_footer->loadingView().isAnimating());
  EXPECT_EQ(m_footer->stateLabel().text(), "Tap or scroll on for more");
}

TEST_F(PRRefreshAutoFooterTest, OnlyAGrowingOffsetLoads) {
  m_footer->setAutomaticallyRefresh(false);
  m_table->setContentOffset({0, 800});
  m_footer->setAutomaticallyRefresh(true);
  m_table->setContentOffset({0, 780});  // bouncing back from the end
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  m_table->setContentOffset({0, 790});
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
}

TEST_F(PRRefreshAutoFooterTest, HalfTheFooterInViewIsEnoughAtHalfPercent) {
  m_footer->setTriggerAutomaticallyRefreshPercent(0.5);
  EXPECT_EQ(m_footer->appearencePercentTriggerAutoRefresh(), 0.5);
  m_table->setContentOffset({0, 741});
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  m_table->setContentOffset({0, 742});
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
}

TEST_F(PRRefreshAutoFooterTest, AFooterStillAtTheTopDoesNotLoad) {
  kt::setPr_y(*m_footer, 0);
  m_table->setContentOffset({0, 900});
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
}

TEST_F(PRRefreshAutoFooterTest, AShortListLoadsOnlyWhenPushedUpAndLetGo) {
  setRows(3);
  m_table->setContentOffset({0, 30});
  m_table->setContentOffset({0, 60});
  m_table->setContentOffset({0, 0});
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  PanFinger finger(*m_table);
  finger.moveTo(-40);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  finger.lift();
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  wait(0.6);
  EXPECT_TRUE(runUntil([&] { return m_loads == 1; }));
}

TEST_F(PRRefreshAutoFooterTest, ALongListLoadsWhenLetGoAtItsEndEvenWithoutAutomaticLoading) {
  m_footer->setAutomaticallyRefresh(false);
  m_table->setContentOffset({0, 700});
  {
    PanFinger finger(*m_table);
    finger.moveTo(-50);  // offset 750: short of 764
    finger.lift();
  }
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  PanFinger finger(*m_table);
  finger.moveTo(-20);  // past the end
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  finger.lift();
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
}

TEST_F(PRRefreshAutoFooterTest, HidingGivesTheInsetBackOnceAndShowingTakesItAgain) {
  m_table->setContentOffset({0, 764});
  ASSERT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  m_footer->setHidden(true);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  m_footer->setHidden(true);
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  kt::setPr_y(*m_footer, 5);
  m_footer->setHidden(false);
  EXPECT_EQ(m_table->contentInset().bottom, 44);
  EXPECT_EQ(kt::pr_y(*m_footer), 1320);
  m_footer->setHidden(false);
  EXPECT_EQ(m_table->contentInset().bottom, 44);

  // Hidden, it still follows the content's size.
  m_footer->setHidden(true);
  setRows(10);
  EXPECT_EQ(kt::pr_y(*m_footer), 440);
  // With interaction disabled it follows nothing.
  m_footer->setUserInteractionEnabled(false);
  setRows(12);
  EXPECT_EQ(kt::pr_y(*m_footer), 440);
}

TEST_F(PRRefreshAutoFooterTest, AutomaticallyHiddenFollowsTheReloads) {
  setRows(0);
  EXPECT_FALSE(m_footer->isHidden());  // not asked to
  m_footer->setAutomaticallyHidden(true);
  setRows(0);
  EXPECT_TRUE(m_footer->isHidden());
  EXPECT_EQ(m_table->contentInset().bottom, 0);
  setRows(5);
  EXPECT_FALSE(m_footer->isHidden());
  EXPECT_EQ(m_table->contentInset().bottom, 44);
  EXPECT_EQ(kt::pr_totalDataCount(*m_table), 5);
}

TEST_F(PRRefreshAutoFooterTest, NoMoreDataIgnoresScrollingAndTaps) {
  m_footer->endRefreshingWithNoMoreData();
  EXPECT_EQ(m_footer->state(), PRRefreshState::NoMoreData);
  EXPECT_EQ(m_footer->stateLabel().text(), "That's the whole list");
  m_table->setContentOffset({0, 800});
  EXPECT_EQ(m_footer->state(), PRRefreshState::NoMoreData);
  render();
  tap(m_footer->stateLabel());
  EXPECT_EQ(m_footer->state(), PRRefreshState::NoMoreData);
  wait(1.0);
  EXPECT_EQ(m_loads, 0);

  m_footer->resetNoMoreData();
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  tap(m_footer->stateLabel());
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  wait(0.6);
  EXPECT_TRUE(runUntil([&] { return m_loads == 1; }));
}

// The wheel reaches the footer as scrolling does: the notch that brings it in view loads once, and
// notches at the end (where the list takes no more) load nothing more.
TEST_F(PRRefreshAutoFooterTest, TheWheelDownToTheFooterLoadsOnce) {
  for (int i = 0; i < 15; ++i) EXPECT_TRUE(wheel({200, 300}, {0, 1}));
  EXPECT_EQ(m_table->contentOffset().y, 720);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  EXPECT_TRUE(wheel({200, 300}, {0, 1}));
  EXPECT_EQ(m_table->contentOffset().y, 764);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  EXPECT_FALSE(wheel({200, 300}, {0, 1}));
  wait(0.6);
  EXPECT_TRUE(runUntil([&] { return m_loads == 1; }));

  // The rows came and the footer is idle again: the wheel goes on down the longer list.
  setRows(40);
  m_footer->endRefreshing();
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
  EXPECT_TRUE(wheel({200, 300}, {0, 1}));
  EXPECT_EQ(m_table->contentOffset().y, 812);
  wait(1.0);
  EXPECT_EQ(m_loads, 1);
  EXPECT_EQ(m_footer->state(), PRRefreshState::Idle);
}

}  // namespace
