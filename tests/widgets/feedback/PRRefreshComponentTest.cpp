#include "widgets/feedback/PRRefreshComponent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/CollectionViewCell.h"
#include "platform/ui/CollectionViewFlowLayout.h"
#include "platform/ui/Label.h"
#include "support/UiHarness.h"
#include "widgets/feedback/LabelPRRefresh.h"
#include "widgets/feedback/PRRefreshAutoNormalFooter.h"
#include "widgets/feedback/PRRefreshNormalHeader.h"
#include "widgets/feedback/RefreshTestSupport.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

namespace {

using kt::PRRefreshHeader;
using kt::PRRefreshNormalHeader;
using kt::PRRefreshState;
using refresh_test::PanFinger;

class PRRefreshComponentTest : public support::ScreenTest {
 protected:
  PRRefreshComponentTest() {
    m_table = ui::TableView::create(gfx::Rect(0, 0, 400, 600));
    m_table->setDataSource(&m_rows);
    windowPtr()->addSubview(m_table);
    render();
  }

  static std::shared_ptr<PRRefreshNormalHeader> makeHeader() {
    return PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>(nullptr);
  }

  refresh_test::Rows m_rows{30};
  std::shared_ptr<ui::TableView> m_table;
};

TEST_F(PRRefreshComponentTest, TheSlotsReplaceRemoveAndNeverDangle) {
  auto first = makeHeader();
  kt::setMj_header(*m_table, first);
  EXPECT_EQ(kt::pr_header(*m_table), first);
  EXPECT_EQ(first->superview(), m_table.get());
  kt::setMj_header(*m_table, first);  // the same: nothing happens
  EXPECT_EQ(std::count(m_table->subviews().begin(), m_table->subviews().end(), first), 1);

  auto second = makeHeader();
  kt::setHeader(*m_table, second);
  EXPECT_EQ(first->superview(), nullptr);
  EXPECT_EQ(kt::header(*m_table), second);
  kt::setMj_header(*m_table, nullptr);
  EXPECT_EQ(second->superview(), nullptr);
  EXPECT_EQ(kt::pr_header(*m_table), nullptr);

  // A control removed by other means leaves the slot empty.
  kt::setMj_header(*m_table, second);
  second->removeFromSuperview();
  second.reset();
  first.reset();
  EXPECT_EQ(kt::pr_header(*m_table), nullptr);
  m_table->setContentOffset({0, -80});
  m_table->setContentSize({400, 100});
}

TEST_F(PRRefreshComponentTest, AControlMovedIntoAPlainViewStopsObservingTheScrollView) {
  auto header = makeHeader();
  kt::setMj_header(*m_table, header);
  auto plain = ui::View::create(gfx::Rect(0, 0, 100, 100));
  windowPtr()->addSubview(plain);
  plain->addSubview(header);
  EXPECT_EQ(header->pan(), nullptr);
  EXPECT_EQ(header->scrollView(), m_table);  // still known, no longer heard
  PanFinger finger(*m_table);
  finger.moveTo(200);
  EXPECT_EQ(header->state(), PRRefreshState::Idle);
  finger.lift();
  wait(1.0);
  // Taken out of the plain view (nothing to stop) and destroyed: the scroll view goes on.
  header->removeFromSuperview();
  header.reset();
  m_table->setContentOffset({0, -30});
}

TEST_F(PRRefreshComponentTest, TheCallbacksRunLaterInOrderAndTheActionOnlyWhileItsTargetLives) {
  std::vector<std::string> calls;
  auto header = PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>([&] { calls.push_back("block"); });
  auto target = std::make_shared<int>(0);
  header->setRefreshingTarget(std::weak_ptr<int>(target), [&](kt::PRRefreshComponent& sender) {
    EXPECT_EQ(&sender, header.get());
    calls.push_back("action");
  });
  header->setBeginRefreshingCompletionBlock([&] { calls.push_back("completion"); });
  header->executeRefreshingCallback();
  EXPECT_TRUE(calls.empty());
  wait(0);
  EXPECT_EQ(calls, (std::vector<std::string>{"block", "action", "completion"}));

  calls.clear();
  target.reset();
  header->executeRefreshingCallback();
  wait(0);
  EXPECT_EQ(calls, (std::vector<std::string>{"block", "completion"}));
}

TEST_F(PRRefreshComponentTest, TotalDataCountCountsRowsOfTablesOnly) {
  auto plain = std::make_shared<ui::ScrollView>(gfx::Rect(0, 0, 100, 100));
  EXPECT_EQ(kt::pr_totalDataCount(*plain), 0);
  EXPECT_EQ(kt::pr_totalDataCount(*m_table), 30);
  auto empty = ui::TableView::create(gfx::Rect(0, 0, 100, 100));
  EXPECT_EQ(kt::pr_totalDataCount(*empty), 0);

  std::vector<int64_t> counts;
  kt::setMj_reloadDataBlock(*m_table, [&](int64_t count) { counts.push_back(count); });
  m_rows.count = 7;
  m_table->reloadData();
  m_table->reloadData();
  EXPECT_EQ(counts, (std::vector<int64_t>{7, 7}));

  // Collection views count their items and run the block on reload too.
  struct Items : ui::CollectionViewDataSource {
    int numberOfSectionsInCollectionView(ui::CollectionView&) override { return 2; }
    int numberOfItemsInSection(ui::CollectionView&, int section) override { return section == 0 ? 3 : 4; }
    std::shared_ptr<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView&, const ui::IndexPath&) override {
      return ui::CollectionViewCell::create();
    }
  } items;
  auto grid = ui::CollectionView::create(gfx::Rect(0, 0, 100, 100), std::make_shared<ui::CollectionViewFlowLayout>());
  grid->setDataSource(&items);
  kt::setMj_reloadDataBlock(*grid, [&](int64_t count) { counts.push_back(count); });
  grid->reloadData();
  EXPECT_EQ(counts.back(), 7);
  EXPECT_EQ(counts.size(), 3u);
}

TEST_F(PRRefreshComponentTest, LabelsMeasureTheirTextUnwrapped) {
  auto label = kt::pr_label();
  EXPECT_EQ(kt::pr_textWith(*label), 0);
  label->setText("Updating");
  double width = kt::pr_textWith(*label);
  EXPECT_GT(width, 30);
  label->setText("Updating the list");
  EXPECT_GT(kt::pr_textWith(*label), width);
}

}  // namespace
