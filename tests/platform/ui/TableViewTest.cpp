#include "platform/ui/TableView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "support/RunUntil.h"
#include "support/UiHarness.h"

using gfx::Rect;
using ui::IndexPath;
using ui::TableView;
using ui::TableViewCell;

namespace {

// Sections of named rows; cells come from a registered factory and show their row's name.
class Rows : public ui::TableViewDataSource {
 public:
  std::vector<std::vector<std::string>> sections;
  std::vector<std::optional<std::string>> headerTitles, footerTitles;
  int cellRequests = 0;
  std::vector<std::pair<ui::TableViewCellEditingStyle, IndexPath>> commits;

  static Rows numbered(int count, int sectionCount = 1) {
    Rows r;
    for (int s = 0; s < sectionCount; ++s) {
      r.sections.emplace_back();
      for (int i = 0; i < count; ++i) r.sections.back().push_back(std::to_string(s) + ":" + std::to_string(i));
    }
    return r;
  }
  int numberOfSectionsInTableView(TableView&) override { return int(sections.size()); }
  int numberOfRowsInSection(TableView&, int s) override { return int(sections[size_t(s)].size()); }
  std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& t, const IndexPath& ip) override {
    ++cellRequests;
    auto cell = t.dequeueReusableCellWithIdentifier("Row", ip);
    cell->textLabel()->setText(sections[size_t(ip.section)][size_t(ip.row)]);
    return cell;
  }
  std::optional<std::string> titleForHeaderInSection(TableView&, int s) override {
    return size_t(s) < headerTitles.size() ? headerTitles[size_t(s)] : std::nullopt;
  }
  std::optional<std::string> titleForFooterInSection(TableView&, int s) override {
    return size_t(s) < footerTitles.size() ? footerTitles[size_t(s)] : std::nullopt;
  }
  void commitEditingStyle(TableView&, ui::TableViewCellEditingStyle style, const IndexPath& ip) override {
    commits.emplace_back(style, ip);
  }
};

// Records the selection callbacks in order and may redirect or refuse.
class Recorder : public ui::TableViewDelegate {
 public:
  std::vector<std::string> log;
  std::function<std::optional<IndexPath>(const IndexPath&)> redirect;
  std::function<std::optional<double>(const IndexPath&)> rowHeight;
  std::optional<IndexPath> willSelectRowAtIndexPath(TableView&, const IndexPath& ip) override {
    log.push_back("willSelect " + ip.description());
    return redirect ? redirect(ip) : ip;
  }
  void didSelectRowAtIndexPath(TableView&, const IndexPath& ip) override { log.push_back("didSelect " + ip.description()); }
  std::optional<IndexPath> willDeselectRowAtIndexPath(TableView&, const IndexPath& ip) override {
    log.push_back("willDeselect " + ip.description());
    return ip;
  }
  void didDeselectRowAtIndexPath(TableView&, const IndexPath& ip) override {
    log.push_back("didDeselect " + ip.description());
  }
  std::optional<double> heightForRowAtIndexPath(TableView&, const IndexPath& ip) override {
    return rowHeight ? rowHeight(ip) : std::nullopt;
  }
};

class TableViewFixture : public uitest::WindowTest {
 protected:
  void SetUp() override {
    uitest::WindowTest::SetUp();
    table = TableView::create(Rect(0, 0, 320, 440));
    table->registerClass("Row", [this] {
      ++made;
      return TableViewCell::create(ui::TableViewCellStyle::Default, "Row");
    });
    window->addSubview(table);
  }
  void TearDown() override {
    table.reset();
    uitest::WindowTest::TearDown();
  }
  void show(Rows& rows, ui::TableViewDelegate* delegate = nullptr) {
    table->setDataSource(&rows);
    table->setDelegate(delegate);
    table->reloadData();
    window->layoutAndDisplayIfNeeded();
  }
  // The text of each visible cell, top to bottom, checked against the rows they are placed at.
  std::vector<std::string> visibleTexts() {
    std::vector<std::string> out;
    for (auto& ip : table->indexPathsForVisibleRows()) {
      auto cell = table->cellForRowAtIndexPath(ip);
      EXPECT_EQ(cell->frame(), table->rectForRowAtIndexPath(ip)) << ip.description();
      EXPECT_EQ(cell->superview(), table.get());
      out.push_back(cell->textLabel()->text());
    }
    return out;
  }
  size_t cellSubviews() const {
    return size_t(std::count_if(table->subviews().begin(), table->subviews().end(), [](auto& v) {
      return dynamic_cast<TableViewCell*>(v.get()) != nullptr;
    }));
  }
  void tapRow(const IndexPath& ip) {
    Rect r = table->rectForRowAtIndexPath(ip);
    window->tap(table->convertPointTo(r.center(), nullptr));
  }

  support::VirtualClock clock;
  std::shared_ptr<TableView> table;
  int made = 0;
};

using TableViewRows = TableViewFixture;
using TableViewUpdates = TableViewFixture;
using TableViewSelection = TableViewFixture;
using TableViewSections = TableViewFixture;

}  // namespace

TEST_F(TableViewRows, TenThousandRowsHaveCellsOnlyForTheVisibleOnesAndReuseThemWhileScrolling) {
  Rows rows = Rows::numbered(10000);
  show(rows);
  EXPECT_EQ(table->contentSize(), (gfx::Size{320, 440000}));
  EXPECT_EQ(table->visibleCells().size(), 10u);
  EXPECT_EQ(cellSubviews(), 10u);
  EXPECT_EQ(visibleTexts().front(), "0:0");

  // Scroll down frame by frame by uneven steps, then jump far and back.
  for (double y = 0; y < 3000; y += 37) {
    table->setContentOffset({0, y});
    window->layoutAndDisplayIfNeeded();
    size_t first = size_t(y / 44), last = size_t((y + 440 - 1e-9) / 44);
    ASSERT_EQ(table->visibleCells().size(), last - first + 1) << y;
    ASSERT_EQ(cellSubviews(), last - first + 1) << y;
    ASSERT_EQ(table->indexPathsForVisibleRows().front(), (IndexPath{0, int(first)}));
  }
  table->setContentOffset({0, 439560});  // the last screen
  window->layoutAndDisplayIfNeeded();
  auto texts = visibleTexts();
  ASSERT_EQ(texts.size(), 10u);
  EXPECT_EQ(texts.back(), "0:9999");
  table->setContentOffset({0, 22});
  auto back = visibleTexts();
  ASSERT_EQ(back.size(), 11u);  // two half rows at the edges
  EXPECT_EQ(back.front(), "0:0");
  EXPECT_EQ(back.back(), "0:10");
  // Never more cells made than one screen plus the row that straddles an edge.
  EXPECT_LE(made, 12);
  EXPECT_EQ(size_t(made), table->cellsMadeByFactories());
}

TEST_F(TableViewRows, DelegateHeightsWinOverTheRowHeightAndDriveGeometry) {
  Rows rows = Rows::numbered(6);
  Recorder delegate;
  // Even rows 30 points; odd rows take the table's row height.
  delegate.rowHeight = [](const IndexPath& ip) -> std::optional<double> {
    if (ip.row % 2 == 0) return 30.0;
    return std::nullopt;
  };
  table->setRowHeight(60);
  show(rows, &delegate);
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}), Rect(0, 0, 320, 30));
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 1}), Rect(0, 30, 320, 60));
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 4}), Rect(0, 180, 320, 30));
  EXPECT_EQ(table->contentSize().height, 270);
  EXPECT_EQ(table->indexPathForRowAtPoint({10, 89.5}), (IndexPath{0, 1}));
  EXPECT_EQ(table->indexPathForRowAtPoint({10, 90}), (IndexPath{0, 2}));
  EXPECT_EQ(table->indexPathForRowAtPoint({10, 270}), std::nullopt);
  EXPECT_EQ(table->indexPathForRowAtPoint({-1, 10}), std::nullopt);
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 6}), Rect());
  EXPECT_EQ(table->rectForRowAtIndexPath({1, 0}), Rect());
  // Without delegate heights the row height alone counts.
  table->setDelegate(nullptr);
  table->reloadData();
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 4}), Rect(0, 240, 320, 60));
  EXPECT_EQ(visibleTexts().size(), 6u);
}

TEST_F(TableViewRows, DequeueReturnsPooledCellsPreparedForReuseAndNullWithoutAFactory) {
  struct CountingCell : TableViewCell {
    CountingCell() : TableViewCell(ui::TableViewCellStyle::Default, "Counted") {}
    void prepareForReuse() override {
      ++prepared;
      TableViewCell::prepareForReuse();
    }
    int prepared = 0;
  };
  EXPECT_EQ(table->dequeueReusableCellWithIdentifier("Counted"), nullptr);
  // With an index path, an unregistered identifier still gives a cell.
  auto fallback = table->dequeueReusableCellWithIdentifier("Counted", IndexPath{0, 0});
  ASSERT_TRUE(fallback);
  EXPECT_EQ(fallback->reuseIdentifier(), "Counted");

  struct Source : ui::TableViewDataSource {
    int numberOfRowsInSection(TableView&, int) override { return 100; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& t, const IndexPath&) override {
      auto c = t.dequeueReusableCellWithIdentifier("Counted");
      if (!c) c = std::make_shared<CountingCell>();
      return c;
    }
  } source;
  table->setDataSource(&source);
  window->layoutAndDisplayIfNeeded();
  auto first = std::dynamic_pointer_cast<CountingCell>(table->cellForRowAtIndexPath({0, 0}));
  ASSERT_TRUE(first);
  first->setSelected(true);
  table->setContentOffset({0, 440});  // a whole screen further: every cell comes from the pool
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), nullptr);
  auto reused = table->visibleCells();
  EXPECT_TRUE(std::find(reused.begin(), reused.end(), first) != reused.end());
  EXPECT_EQ(first->prepared, 1);
  EXPECT_FALSE(first->isSelected());
  EXPECT_EQ(table->indexPathForCell(*first).has_value(), true);
}

TEST_F(TableViewRows, ScrollToRowPlacesItAtTheTopMiddleOrBottomWithinTheContent) {
  Rows rows = Rows::numbered(100);
  show(rows);
  table->scrollToRowAtIndexPath({0, 50}, ui::TableViewScrollPosition::Top, false);
  EXPECT_EQ(table->contentOffset().y, 2200);
  table->scrollToRowAtIndexPath({0, 50}, ui::TableViewScrollPosition::Middle, false);
  EXPECT_EQ(table->contentOffset().y, 2200 - (440 - 44) / 2.0);
  table->scrollToRowAtIndexPath({0, 50}, ui::TableViewScrollPosition::Bottom, false);
  EXPECT_EQ(table->contentOffset().y, 2244 - 440);
  // Already visible: None leaves the offset alone; above: it comes to the top.
  table->scrollToRowAtIndexPath({0, 45}, ui::TableViewScrollPosition::None, false);
  EXPECT_EQ(table->contentOffset().y, 2244 - 440);
  table->scrollToRowAtIndexPath({0, 10}, ui::TableViewScrollPosition::None, false);
  EXPECT_EQ(table->contentOffset().y, 440);
  // Clamped to the content.
  table->scrollToRowAtIndexPath({0, 99}, ui::TableViewScrollPosition::Top, false);
  EXPECT_EQ(table->contentOffset().y, 4400 - 440);
  table->scrollToRowAtIndexPath({0, 100}, ui::TableViewScrollPosition::Top, false);  // out of range: ignored
  EXPECT_EQ(table->contentOffset().y, 4400 - 440);
  EXPECT_EQ(visibleTexts().back(), "0:99");
}

TEST_F(TableViewUpdates, InsertAndDeleteKeepEachCellWithItsRow) {
  Rows rows = Rows::numbered(20);
  show(rows);
  auto cell3 = table->cellForRowAtIndexPath({0, 3});
  auto cell1 = table->cellForRowAtIndexPath({0, 1});
  table->selectRowAtIndexPath(IndexPath{0, 5}, false, ui::TableViewScrollPosition::None);

  rows.sections[0].insert(rows.sections[0].begin() + 1, {"new A", "new B"});
  int before = rows.cellRequests;
  table->insertRowsAtIndexPaths({{0, 1}, {0, 2}}, ui::TableViewRowAnimation::None);
  EXPECT_EQ(table->numberOfRowsInSection(0), 22);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 5}), cell3);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 3}), cell1);
  EXPECT_EQ(cell3->frame(), table->rectForRowAtIndexPath({0, 5}));
  EXPECT_EQ(rows.cellRequests - before, 2);  // only the new rows were asked for
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 7}));
  auto texts = visibleTexts();
  ASSERT_GE(texts.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 6),
            (std::vector<std::string>{"0:0", "new A", "new B", "0:1", "0:2", "0:3"}));

  rows.sections[0].erase(rows.sections[0].begin() + 3);  // "0:1"
  table->deleteRowsAtIndexPaths({{0, 3}}, ui::TableViewRowAnimation::None);
  // The deleted row's cell went to the pool and came back for the row that moved into view.
  EXPECT_EQ(table->indexPathForCell(*cell1), (IndexPath{0, 9}));
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 4}), cell3);
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 6}));
  EXPECT_EQ(visibleTexts()[3], "0:2");

  // Deleting the selected row drops the selection.
  rows.sections[0].erase(rows.sections[0].begin() + 6);
  table->deleteRowsAtIndexPaths({{0, 6}}, ui::TableViewRowAnimation::None);
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
}

TEST_F(TableViewUpdates, BatchedChangesUseOldIndexesForDeletesAndNewOnesForInserts) {
  Rows rows = Rows::numbered(3, 3);
  show(rows);
  auto s2r0 = table->cellForRowAtIndexPath({2, 0});
  ASSERT_TRUE(s2r0);
  // Delete section 0 and row 1 of section 1; insert a row at the top of (new) section 0.
  rows.sections.erase(rows.sections.begin());
  rows.sections[0].erase(rows.sections[0].begin() + 1);
  rows.sections[0].insert(rows.sections[0].begin(), "top");
  table->beginUpdates();
  table->deleteSections({0}, ui::TableViewRowAnimation::Fade);
  table->deleteRowsAtIndexPaths({{1, 1}}, ui::TableViewRowAnimation::Fade);
  table->insertRowsAtIndexPaths({{0, 0}}, ui::TableViewRowAnimation::Fade);
  EXPECT_EQ(table->numberOfSections(), 3);  // nothing applied before endUpdates
  table->endUpdates();
  EXPECT_EQ(table->numberOfSections(), 2);
  EXPECT_EQ(table->cellForRowAtIndexPath({1, 0}), s2r0);
  auto texts = visibleTexts();
  ASSERT_GE(texts.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 6),
            (std::vector<std::string>{"top", "1:0", "1:2", "2:0", "2:1", "2:2"}));
  // The new row fades in; the leaving cells fade out and return to the pool when done.
  auto top = table->cellForRowAtIndexPath({0, 0});
  EXPECT_TRUE(top->layer()->hasAnimations());
  core::Clock::advance(0.5);
  support::drainMainLoop();
  EXPECT_EQ(cellSubviews(), table->visibleCells().size());
}

TEST_F(TableViewUpdates, CountsThatDoNotMatchTheChangesFallBackToAReload) {
  Rows rows = Rows::numbered(5);
  show(rows);
  rows.sections[0].push_back("x");
  rows.sections[0].push_back("y");
  table->insertRowsAtIndexPaths({{0, 5}}, ui::TableViewRowAnimation::None);  // two were added, one announced
  EXPECT_EQ(table->numberOfRowsInSection(0), 7);
  EXPECT_EQ(visibleTexts().size(), 7u);
  EXPECT_EQ(visibleTexts().back(), "y");
}

TEST_F(TableViewUpdates, ReloadSectionsAsksAgainOnlyForThoseSections) {
  Rows rows = Rows::numbered(3, 3);
  show(rows);
  auto keep = table->cellForRowAtIndexPath({0, 1});
  auto old = table->cellForRowAtIndexPath({1, 1});
  rows.sections[1] = {"a", "b", "c", "d"};
  int before = rows.cellRequests;
  table->reloadSections({1}, ui::TableViewRowAnimation::None);
  EXPECT_EQ(table->numberOfRowsInSection(1), 4);
  EXPECT_EQ(rows.cellRequests - before, 4);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 1}), keep);
  EXPECT_EQ(table->cellForRowAtIndexPath({1, 1})->textLabel()->text(), "b");
  EXPECT_EQ(table->rectForRowAtIndexPath({2, 0}).y(), 7 * 44);
  EXPECT_EQ(visibleTexts()[7], "2:0");
  (void)old;
  // Reloading a row gives it a fresh cell from the data source.
  rows.sections[2][0] = "changed";
  table->reloadRowsAtIndexPaths({{2, 0}}, ui::TableViewRowAnimation::Fade);
  EXPECT_EQ(table->cellForRowAtIndexPath({2, 0})->textLabel()->text(), "changed");
}

TEST_F(TableViewSelection, TapsSelectAndDeselectInThePlatformsOrder) {
  Rows rows = Rows::numbered(5);
  Recorder delegate;
  show(rows, &delegate);
  tapRow({0, 1});
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"willSelect {0, 1}", "didSelect {0, 1}"}));
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 1})->isSelected());
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 1})->isHighlighted());
  delegate.log.clear();
  tapRow({0, 3});
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"willSelect {0, 3}", "willDeselect {0, 1}", "didDeselect {0, 1}",
                                                    "didSelect {0, 3}"}));
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 1})->isSelected());
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 3}));

  // Deselection in code tells the delegate nothing.
  delegate.log.clear();
  table->deselectRowAtIndexPath({0, 3}, true);
  EXPECT_TRUE(delegate.log.empty());
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 3})->isSelected());

  // willSelect may redirect or refuse.
  delegate.redirect = [](const IndexPath& ip) -> std::optional<IndexPath> {
    if (ip.row == 0) return std::nullopt;
    return IndexPath{0, 4};
  };
  tapRow({0, 0});
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
  tapRow({0, 2});
  EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath{0, 4}));
  EXPECT_EQ(delegate.log.back(), "didSelect {0, 4}");
}

TEST_F(TableViewSelection, DragsAndDisabledSelectionSelectNothingAndMultipleSelectionToggles) {
  Rows rows = Rows::numbered(5);
  Recorder delegate;
  show(rows, &delegate);
  // A touch that moves away is not a tap; while it is down the row is highlighted.
  gfx::Point p = table->convertPointTo(table->rectForRowAtIndexPath({0, 2}).center(), nullptr);
  auto touch = window->beginTouch(p);
  EXPECT_TRUE(table->cellForRowAtIndexPath({0, 2})->isHighlighted());
  window->moveTouch(touch, {p.x, p.y + 60});
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 2})->isHighlighted());
  window->endTouch(touch);
  EXPECT_TRUE(delegate.log.empty());

  table->setAllowsSelection(false);
  tapRow({0, 2});
  EXPECT_TRUE(delegate.log.empty());

  table->setAllowsMultipleSelection(true);
  tapRow({0, 1});
  tapRow({0, 3});
  EXPECT_EQ(table->indexPathsForSelectedRows(), (std::vector<IndexPath>{{0, 1}, {0, 3}}));
  delegate.log.clear();
  tapRow({0, 1});
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"willDeselect {0, 1}", "didDeselect {0, 1}"}));
  EXPECT_EQ(table->indexPathsForSelectedRows(), (std::vector<IndexPath>{{0, 3}}));
  // reloadData clears the selection.
  table->reloadData();
  EXPECT_TRUE(table->indexPathsForSelectedRows().empty());
}

TEST_F(TableViewSelection, EditingControlsCommitInsteadOfSelecting) {
  Rows rows = Rows::numbered(3);
  Recorder delegate;
  show(rows, &delegate);
  table->setEditing(true, false);
  auto cell = table->cellForRowAtIndexPath({0, 1});
  window->layoutAndDisplayIfNeeded();
  EXPECT_TRUE(cell->isEditing());
  EXPECT_EQ(cell->contentView()->frame().x(), TableViewCell::EditingIndent);
  Rect r = table->rectForRowAtIndexPath({0, 1});
  window->tap(table->convertPointTo({10, r.midY()}, nullptr));
  ASSERT_EQ(rows.commits.size(), 1u);
  EXPECT_EQ(rows.commits[0].first, ui::TableViewCellEditingStyle::Delete);
  EXPECT_EQ(rows.commits[0].second, (IndexPath{0, 1}));
  tapRow({0, 2});  // no selection while editing by default
  EXPECT_TRUE(delegate.log.empty());
  table->setEditing(false, false);
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(cell->contentView()->frame().x(), 0);
}

TEST_F(TableViewSections, PlainHeadersOnlyForTitledSectionsAndTheyStayOnTopWhileTheirRowsShow) {
  Rows rows = Rows::numbered(10, 3);
  rows.headerTitles = {"First", std::nullopt, "Third"};
  rows.footerTitles = {std::nullopt, "Footnote", std::nullopt};
  show(rows);
  EXPECT_EQ(table->rectForHeaderInSection(0), Rect(0, 0, 320, 22));
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}).y(), 22);
  EXPECT_EQ(table->rectForHeaderInSection(1).height(), 0);
  EXPECT_EQ(table->rectForFooterInSection(1), Rect(0, 22 + 440 + 440, 320, 22));
  EXPECT_EQ(table->rectForHeaderInSection(2), Rect(0, 22 + 440 + 440 + 22, 320, 22));
  EXPECT_EQ(table->contentSize().height, 22 * 3 + 440 * 3);
  auto header = table->headerViewForSection(0);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->frame(), Rect(0, 0, 320, 22));
  EXPECT_FALSE(table->headerViewForSection(2));

  // Scrolled into section 0: its header sticks to the top of the visible area.
  table->setContentOffset({0, 100});
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(table->headerViewForSection(0)->frame().y(), 100);
  // The header is drawn over the rows.
  auto& subs = table->subviews();
  auto headerAt = std::find(subs.begin(), subs.end(), table->headerViewForSection(0));
  auto rowAt = std::find(subs.begin(), subs.end(), table->cellForRowAtIndexPath({0, 5}));
  EXPECT_GT(headerAt - subs.begin(), rowAt - subs.begin());
  // Near the end of section 0 it stops with the section's last row.
  table->setContentOffset({0, 450});
  window->layoutAndDisplayIfNeeded();
  EXPECT_EQ(table->headerViewForSection(0)->frame().y(), 440);
  table->setContentOffset({0, 600});
  window->layoutAndDisplayIfNeeded();
  ASSERT_TRUE(table->footerViewForSection(1));
  EXPECT_EQ(table->footerViewForSection(1)->frame().y(), 902);
  table->setContentOffset({0, 22 + 880 + 22 + 50});
  window->layoutAndDisplayIfNeeded();
  EXPECT_FALSE(table->headerViewForSection(0));
  EXPECT_EQ(table->headerViewForSection(2)->frame().y(), 22 + 880 + 22 + 50);
}

TEST_F(TableViewSections, GroupedSectionsAreSpacedAndDelegateViewsAndHeightsWin) {
  struct Headers : Recorder {
    std::optional<double> heightForHeaderInSection(TableView&, int s) override {
      if (s == 1) return 50.0;
      return std::nullopt;
    }
    std::shared_ptr<ui::View> viewForHeaderInSection(TableView&, int s) override {
      if (s != 1) return nullptr;
      auto v = ui::View::create();
      v->setTag(77);
      return v;
    }
  } delegate;
  table = TableView::create(Rect(0, 0, 320, 440), ui::TableViewStyle::Grouped);
  table->registerClass("Row", [] { return TableViewCell::create(ui::TableViewCellStyle::Default, "Row"); });
  window->addSubview(table);
  Rows rows = Rows::numbered(2, 3);
  rows.headerTitles = {"Settings"};
  show(rows, &delegate);
  // Section 0: titled header (38), two rows, spacing footer (10).
  EXPECT_EQ(table->rectForHeaderInSection(0).height(), 38);
  EXPECT_EQ(table->rectForFooterInSection(0), Rect(0, 38 + 88, 320, 10));
  EXPECT_EQ(table->rectForHeaderInSection(1), Rect(0, 136, 320, 50));
  EXPECT_EQ(table->rectForHeaderInSection(2).height(), 10);
  EXPECT_EQ(table->headerViewForSection(1)->tag(), 77);
  EXPECT_EQ(table->headerViewForSection(1)->frame(), Rect(0, 136, 320, 50));
  ASSERT_TRUE(table->headerViewForSection(0));
  // Grouped separators run the full width under a section's last row.
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0})->separatorLeftInset(), 15);
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 1})->separatorLeftInset(), 0);
  table->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 0})->showsSeparator());
}

TEST_F(TableViewSections, TableHeaderAndFooterViewsFrameTheSections) {
  Rows rows = Rows::numbered(3);
  table->setTableHeaderView(ui::View::create(Rect(0, 0, 10, 60)));
  table->setTableFooterView(ui::View::create(Rect(0, 0, 10, 30)));
  show(rows);
  EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}).y(), 60);
  EXPECT_EQ(table->contentSize().height, 60 + 132 + 30);
  EXPECT_EQ(table->tableHeaderView()->frame(), Rect(0, 0, 320, 60));
  EXPECT_EQ(table->tableFooterView()->frame(), Rect(0, 192, 320, 30));
}

namespace {
using TableViewScreen = support::ScreenTest;
}

TEST_F(TableViewScreen, AScrolledTableWithSongRows) {
  struct Songs : ui::TableViewDataSource {
    int numberOfSectionsInTableView(TableView&) override { return 2; }
    int numberOfRowsInSection(TableView&, int) override { return 500; }
    std::optional<std::string> titleForHeaderInSection(TableView&, int s) override {
      return s == 0 ? "热门歌曲 Popular" : "Other";
    }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& t, const IndexPath& ip) override {
      auto cell = t.dequeueReusableCellWithIdentifier("Song");
      if (!cell) cell = TableViewCell::create(ui::TableViewCellStyle::Subtitle, "Song");
      cell->textLabel()->setText("Song " + std::to_string(ip.row) + " 月亮代表我的心");
      cell->detailTextLabel()->setText("Singer " + std::to_string(ip.row % 7));
      cell->imageView()->setImage(uitest::solidImage(30, 30, 0xFF3366CCu));
      cell->setAccessoryType(ip.row % 3 == 0 ? ui::TableViewCellAccessoryType::Checkmark
                                             : ui::TableViewCellAccessoryType::DisclosureIndicator);
      return cell;
    }
  } songs;
  auto table = TableView::create(Rect(0, 0, 400, 600));
  table->setRowHeight(56);
  table->setDataSource(&songs);
  window().addSubview(table);
  table->setContentOffset({0, 56 * 40 + 10});
  table->selectRowAtIndexPath(IndexPath{0, 42}, false, ui::TableViewScrollPosition::None);
  render();
  auto image = screenshot("scrolled_table");
  ASSERT_TRUE(image);
  // The sticky header covers the top; the selected row shows its gray background.
  EXPECT_TRUE(table->headerViewForSection(0));
  Rect selected = table->convertRectTo(table->rectForRowAtIndexPath({0, 42}), nullptr);
  EXPECT_EQ(colorAt(*image, {selected.maxX() - 60, selected.midY()}), 0xFFD9D9D9u);
  Rect plain = table->convertRectTo(table->rectForRowAtIndexPath({0, 44}), nullptr);
  EXPECT_EQ(colorAt(*image, {plain.maxX() - 60, plain.midY()}), 0xFFFFFFFFu);
  table->setDataSource(nullptr);
}
