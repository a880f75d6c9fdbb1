#include "widgets/feedback/PRRefreshNormalHeader.h"

#include <gtest/gtest.h>

#include "platform/ui/ScrollView.h"
#include "support/ScopedEnv.h"
#include "support/UiHarness.h"
#include "widgets/feedback/BundlePRRefresh.h"
#include "widgets/feedback/PRRefreshAutoNormalFooter.h"
#include "widgets/feedback/RefreshTestSupport.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

namespace {

using kt::PRRefreshState;
using refresh_test::PanFinger;

// A song list filling the screen with the header and footer of the song screens, shot in each
// state on both tablets.
class PRRefreshNormalHeaderScreens : public support::ScreenTest, public ::testing::WithParamInterface<support::Device> {
 protected:
  PRRefreshNormalHeaderScreens() {
    kt::pr_resetRefreshResources();
    setDevice(GetParam());
    m_table = ui::TableView::create(window().bounds());
    m_table->setDataSource(&m_rows);
    windowPtr()->addSubview(m_table);
    m_table->reloadData();
    m_header = kt::PRRefreshHeader::headerWithRefreshingBlock<kt::PRRefreshNormalHeader>(nullptr);
    m_footer = kt::PRRefreshFooter::footerWithRefreshingBlock<kt::PRRefreshAutoNormalFooter>(nullptr);
    kt::setMj_header(*m_table, m_header);
    kt::setMj_footer(*m_table, m_footer);
    render();
  }
  ~PRRefreshNormalHeaderScreens() override { kt::pr_resetRefreshResources(); }

  std::string shot(const std::string& state) {
    return std::string(GetParam() == support::Device::Standard ? "standard-" : "large-") + state;
  }

  support::ScopedEnv m_language{"LANGUAGE", "zh_CN.UTF-8"};
  refresh_test::Rows m_rows{40};
  std::shared_ptr<ui::TableView> m_table;
  std::shared_ptr<kt::PRRefreshNormalHeader> m_header;
  std::shared_ptr<kt::PRRefreshAutoNormalFooter> m_footer;
};

TEST_P(PRRefreshNormalHeaderScreens, HeaderStates) {
  PanFinger finger(*m_table);
  finger.moveTo(90);  // 45 points: the header in view, at rest
  wait(0.3);
  ASSERT_EQ(m_header->state(), PRRefreshState::Idle);
  screenshot(shot("header-idle"));
  finger.moveTo(160);
  wait(0.3);
  ASSERT_EQ(m_header->state(), PRRefreshState::Pulling);
  screenshot(shot("header-pulling"));
  finger.lift();
  wait(1.0);
  ASSERT_EQ(m_header->state(), PRRefreshState::Refreshing);
  screenshot(shot("header-refreshing"));
}

TEST_P(PRRefreshNormalHeaderScreens, FooterStates) {
  // At the end of the list without loading: the footer at rest.
  m_footer->setAutomaticallyRefresh(false);
  m_table->setContentOffset(m_table->maximumContentOffset());
  wait(0.3);
  screenshot(shot("footer-idle"));
  m_footer->beginRefreshing();
  wait(0.3);
  ASSERT_EQ(m_footer->state(), PRRefreshState::Refreshing);
  screenshot(shot("footer-refreshing"));
  m_footer->endRefreshingWithNoMoreData();
  wait(0.3);
  screenshot(shot("footer-no-more-data"));
}

INSTANTIATE_TEST_SUITE_P(Tablets, PRRefreshNormalHeaderScreens,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
