#include "platform/ui/CollectionView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/CollectionViewFlowLayout.h"
#include "support/RunUntil.h"
#include "support/UiHarness.h"

using gfx::Rect;
using gfx::Size;
using ui::CollectionView;
using ui::CollectionViewCell;
using ui::CollectionViewFlowLayout;
using ui::IndexPath;

namespace {

class Items : public ui::CollectionViewDelegateFlowLayout, public ui::CollectionViewDataSource {
 public:
  std::vector<int> counts{10};
  std::function<std::optional<Size>(const IndexPath&)> size;
  std::vector<std::string> log;
  bool headers = false;

  int numberOfSectionsInCollectionView(CollectionView&) override { return int(counts.size()); }
  int numberOfItemsInSection(CollectionView&, int s) override { return counts[size_t(s)]; }
  std::shared_ptr<CollectionViewCell> cellForItemAtIndexPath(CollectionView& cv, const IndexPath& ip) override {
    auto cell = cv.dequeueReusableCellWithReuseIdentifier("Item", ip);
    cell->setTag(ip.section * 100000 + ip.row);
    return cell;
  }
  std::shared_ptr<ui::CollectionReusableView> viewForSupplementaryElementOfKind(CollectionView& cv, const std::string& kind,
                                                                                const IndexPath& ip) override {
    return cv.dequeueReusableSupplementaryViewOfKind(kind, "Header", ip);
  }
  std::optional<Size> sizeForItemAtIndexPath(CollectionView&, CollectionViewFlowLayout&, const IndexPath& ip) override {
    return size ? size(ip) : std::nullopt;
  }
  void didSelectItemAtIndexPath(CollectionView&, const IndexPath& ip) override { log.push_back("select " + ip.description()); }
  void didDeselectItemAtIndexPath(CollectionView&, const IndexPath& ip) override {
    log.push_back("deselect " + ip.description());
  }
};

class CollectionFixture : public uitest::WindowTest {
 protected:
  void SetUp() override {
    uitest::WindowTest::SetUp();
    layout = std::make_shared<CollectionViewFlowLayout>();
    cv = CollectionView::create(Rect(0, 0, 340, 400), layout);
    cv->registerClass([this] {
      ++made;
      return CollectionViewCell::create();
    }, "Item");
    cv->registerClassForSupplementaryViewOfKind([] { return std::make_shared<ui::CollectionReusableView>(); },
                                                ui::CollectionElementKindSectionHeader, "Header");
    cv->registerClassForSupplementaryViewOfKind([] { return std::make_shared<ui::CollectionReusableView>(); },
                                                ui::CollectionElementKindSectionFooter, "Header");
    window->addSubview(cv);
  }
  void TearDown() override {
    cv.reset();
    uitest::WindowTest::TearDown();
  }
  void show() {
    cv->setDataSource(&items);
    cv->setDelegate(&items);
    window->layoutAndDisplayIfNeeded();
  }
  Rect frameOf(int item, int section = 0) { return cv->layoutAttributesForItemAtIndexPath({section, item})->frame; }

  support::VirtualClock clock;
  std::shared_ptr<CollectionViewFlowLayout> layout;
  std::shared_ptr<CollectionView> cv;
  Items items;
  int made = 0;
};

using CollectionFlowLayout = CollectionFixture;
using CollectionViewItems = CollectionFixture;

}  // namespace

TEST_F(CollectionFlowLayout, VerticalLinesWithInsetsSpacingsHeadersAndFooters) {
  layout->setItemSize({100, 50});
  layout->setMinimumInteritemSpacing(5);
  layout->setMinimumLineSpacing(20);
  layout->setSectionInset({5, 10, 15, 10});
  layout->setHeaderReferenceSize({0, 30});
  layout->setFooterReferenceSize({0, 12});
  items.counts = {7, 2};
  show();
  // 340 - 10 - 10 = 320 across: three items (310 with two 5-point gaps) a line, the spare 10 points
  // shared between the gaps of full lines.
  EXPECT_EQ(frameOf(0), Rect(10, 35, 100, 50));
  EXPECT_EQ(frameOf(1), Rect(120, 35, 100, 50));
  EXPECT_EQ(frameOf(2), Rect(230, 35, 100, 50));
  EXPECT_EQ(frameOf(3), Rect(10, 105, 100, 50));
  // The last line, shorter, keeps the spacing of the line before it from the leading edge.
  EXPECT_EQ(frameOf(6), Rect(10, 175, 100, 50));
  // Section 1 after section 0's footer: header 30, inset 5.
  double s1 = 35 + 3 * 50 + 2 * 20 + 15 + 12;
  EXPECT_EQ(layout->layoutAttributesForSupplementaryViewOfKind(ui::CollectionElementKindSectionFooter, {0, 0})->frame,
            Rect(0, s1 - 12, 340, 12));
  EXPECT_EQ(layout->layoutAttributesForSupplementaryViewOfKind(ui::CollectionElementKindSectionHeader, {1, 0})->frame,
            Rect(0, s1, 340, 30));
  // The only line of a section spreads its items over the whole width.
  EXPECT_EQ(frameOf(0, 1), Rect(10, s1 + 35, 100, 50));
  EXPECT_EQ(frameOf(1, 1), Rect(230, s1 + 35, 100, 50));
  EXPECT_EQ(cv->contentSize(), (Size{340, s1 + 35 + 50 + 15 + 12}));
  EXPECT_EQ(layout->layoutAttributesForItemAtIndexPath({0, 7}), std::nullopt);
  // The supplementary views were asked for and placed.
  EXPECT_EQ(cv->indexPathsForVisibleItems().size(), 9u);
}

TEST_F(CollectionFlowLayout, HorizontalColumnsAndPerItemSizesCentredInTheirLine) {
  layout->setScrollDirection(ui::CollectionViewScrollDirection::Horizontal);
  layout->setMinimumInteritemSpacing(10);
  layout->setMinimumLineSpacing(8);
  layout->setSectionInset({10, 4, 10, 6});
  items.counts = {5};
  // Items of 40 x 100 and 60 x 100 alternately: 380 down the 400-point height, three a column.
  items.size = [](const IndexPath& ip) -> std::optional<Size> { return Size{ip.row % 2 ? 60.0 : 40.0, 100}; };
  show();
  // Column 0: items 0, 1, 2 justified down 380 points (2 gaps of 40); item widths centred in 60.
  EXPECT_EQ(frameOf(0), Rect(4 + 10, 10, 40, 100));
  EXPECT_EQ(frameOf(1), Rect(4, 150, 60, 100));
  EXPECT_EQ(frameOf(2), Rect(14, 290, 40, 100));
  // Column 1 starts after the line spacing, items 3 and 4 kept to the spacing before.
  EXPECT_EQ(frameOf(3), Rect(4 + 60 + 8, 10, 60, 100));
  EXPECT_EQ(frameOf(4), Rect(4 + 60 + 8 + 10, 150, 40, 100));
  EXPECT_EQ(cv->contentSize(), (Size{4 + 60 + 8 + 60 + 6, 400}));
  // A single item in its section's only line is centred.
  items.counts = {1};
  cv->reloadData();
  EXPECT_EQ(frameOf(0), Rect(4, 10 + (380 - 100) / 2.0, 40, 100));
}

TEST_F(CollectionViewItems, OnlyVisibleItemsHaveCellsAndScrollingReusesThem) {
  layout->setItemSize({100, 100});
  layout->setMinimumInteritemSpacing(20);
  layout->setMinimumLineSpacing(20);
  items.counts = {3000};
  show();
  // 340 wide: 3 a line; 400 high: lines at 0, 120, 240, 360 show.
  EXPECT_EQ(cv->visibleCells().size(), 12u);
  for (double y = 0; y < 5000; y += 77) {
    cv->setContentOffset({0, y});
    window->layoutAndDisplayIfNeeded();
    for (auto& cell : cv->visibleCells()) {
      auto ip = cv->indexPathForCell(*cell);
      ASSERT_TRUE(ip);
      ASSERT_EQ(cell->tag(), ip->row);
      ASSERT_EQ(cell->frame(), frameOf(ip->row));
      ASSERT_TRUE(cell->frame().intersects(cv->bounds()));
    }
  }
  EXPECT_LE(made, 15);
  EXPECT_EQ(cv->indexPathForItemAtPoint({cv->contentOffset().x + 50, cv->contentOffset().y + 200}).has_value(), true);
  EXPECT_EQ(cv->indexPathForItemAtPoint({110, 50}), std::nullopt);  // in a gap
}

TEST_F(CollectionViewItems, ScrollToItemAtEachPosition) {
  layout->setItemSize({100, 100});
  layout->setMinimumLineSpacing(20);
  items.counts = {60};  // 20 lines of 120 = 2380 high
  show();
  cv->scrollToItemAtIndexPath({0, 30}, ui::CollectionViewScrollPositionTop, false);
  EXPECT_EQ(cv->contentOffset().y, 1200);
  cv->scrollToItemAtIndexPath({0, 30}, ui::CollectionViewScrollPositionCenteredVertically, false);
  EXPECT_EQ(cv->contentOffset().y, 1250 - 200);
  cv->scrollToItemAtIndexPath({0, 30}, ui::CollectionViewScrollPositionBottom, false);
  EXPECT_EQ(cv->contentOffset().y, 1300 - 400);
  cv->scrollToItemAtIndexPath({0, 3}, ui::CollectionViewScrollPositionNone, false);  // above: least move
  EXPECT_EQ(cv->contentOffset().y, 120);
  cv->scrollToItemAtIndexPath({0, 59}, ui::CollectionViewScrollPositionTop, false);  // clamped
  EXPECT_EQ(cv->contentOffset().y, 2380 - 400);
  EXPECT_EQ(cv->cellForItemAtIndexPath({0, 59})->tag(), 59);

  layout->setScrollDirection(ui::CollectionViewScrollDirection::Horizontal);
  cv->setContentOffset({0, 0});
  cv->scrollToItemAtIndexPath({0, 30}, ui::CollectionViewScrollPositionLeft, false);
  // Three a column (100 + 2 x 150 spacing fill 400): item 30 starts column 10.
  EXPECT_EQ(cv->contentOffset(), (gfx::Point{1200, 0}));
  cv->setPagingEnabled(true);
  EXPECT_TRUE(cv->isPagingEnabled());
}

TEST_F(CollectionViewItems, TapsSelectAndMoveTheSelection) {
  layout->setItemSize({100, 100});
  items.counts = {6};
  show();
  auto tapItem = [&](int item) { window->tap(cv->convertPointTo(frameOf(item).center(), nullptr)); };
  tapItem(1);
  tapItem(4);
  EXPECT_EQ(items.log, (std::vector<std::string>{"select {0, 1}", "deselect {0, 1}", "select {0, 4}"}));
  EXPECT_TRUE(cv->cellForItemAtIndexPath({0, 4})->isSelected());
  EXPECT_FALSE(cv->cellForItemAtIndexPath({0, 1})->isSelected());
  cv->setAllowsMultipleSelection(true);
  tapItem(2);
  tapItem(4);
  EXPECT_EQ(cv->indexPathsForSelectedItems(), (std::vector<IndexPath>{{0, 2}}));
  EXPECT_EQ(items.log.back(), "deselect {0, 4}");
  cv->reloadData();
  EXPECT_TRUE(cv->indexPathsForSelectedItems().empty());
}

namespace {
using CollectionViewScreen = support::ScreenTest;
}

TEST_F(CollectionViewScreen, AGridOfColouredItems) {
  struct Grid : ui::CollectionViewDataSource {
    int numberOfItemsInSection(CollectionView&, int) override { return 200; }
    std::shared_ptr<CollectionViewCell> cellForItemAtIndexPath(CollectionView& cv, const IndexPath& ip) override {
      auto cell = cv.dequeueReusableCellWithReuseIdentifier("Tile", ip);
      double h = (ip.row % 12) / 12.0;
      cell->contentView()->setBackgroundColor(gfx::Color(0.3 + 0.6 * h, 0.5, 0.9 - 0.6 * h));
      return cell;
    }
  } grid;
  auto layout = std::make_shared<CollectionViewFlowLayout>();
  layout->setItemSize({90, 90});
  layout->setSectionInset({10, 10, 10, 10});
  auto cv = CollectionView::create(Rect(20, 20, 520, 500), layout);
  cv->setBackgroundColor(gfx::Color::whiteColor());
  cv->registerClass([] { return CollectionViewCell::create(); }, "Tile");
  cv->setDataSource(&grid);
  window().addSubview(cv);
  cv->setContentOffset({0, 150});
  render();
  auto image = screenshot("grid");
  ASSERT_TRUE(image);
  Rect f = cv->convertRectTo(cv->layoutAttributesForItemAtIndexPath({0, 7})->frame, nullptr);
  EXPECT_NE(colorAt(*image, f.center()), 0xFFFFFFFFu);
  EXPECT_EQ(colorAt(*image, {f.maxX() + 2, f.midY()}), 0xFFFFFFFFu);  // the gap
  cv->setDataSource(nullptr);
}
