// The styled cells and bars together on one screen, on both tablets: a grouped table with cards of
// every position (one selected, one with a gradient), a grid cell and a segmented cell driven by
// taps, a plain table with edge shadows, and the three drawn bars.
#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/StyledBars.h"
#include "widgets/controls/StyledDrawing.h"
#include "widgets/controls/StyledGridTableViewCell.h"

namespace {

using namespace kt;

// Rows of the grouped table: one alone, three in a card, the grid, the segments. The plain table
// has four rows of one section.
class Rows : public ui::TableViewDataSource, public ui::TableViewDelegate {
 public:
  explicit Rows(bool grouped) : m_grouped(grouped) {}
  int numberOfSectionsInTableView(ui::TableView&) override { return m_grouped ? 4 : 1; }
  int numberOfRowsInSection(ui::TableView&, int section) override {
    if (!m_grouped) return 4;
    return section == 1 ? 3 : 1;
  }
  std::optional<double> heightForRowAtIndexPath(ui::TableView& table, const ui::IndexPath& path) override {
    return 50 + StyledTableViewCell::neededHeightForIndexPath(table, path);
  }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table, const ui::IndexPath& path) override {
    std::shared_ptr<StyledTableViewCell> cell;
    if (m_grouped && path.section == 2) {
      grid = StyledGridTableViewCell::create(ui::TableViewCellStyle::Subtitle, "grid");
      grid->setNumberOfElements(3);
      const char* names[] = {"包厢", "酒水", "小吃"};
      for (int32_t i = 0; i < 3; ++i) {
        grid->setText(names[i], i);
        grid->setDetailText(std::to_string(12 + i * 7) + " 项", i);
      }
      grid->setActionBlock([this](const std::optional<ui::IndexPath>& p, int32_t c) { gridTaps.push_back({p, c}); });
      cell = grid;
    } else if (m_grouped && path.section == 3) {
      segments = StyledSegmentedControlTableViewCell::create(ui::TableViewCellStyle::Default, "segments");
      segments->setTitles({"全部", "热门", "新歌", "经典"});
      segments->setActionBlock([](const std::optional<ui::IndexPath>&, int32_t) {});
      cell = segments;
    } else {
      cell = StyledTableViewCell::create(ui::TableViewCellStyle::Default, "plain");
      cell->textLabel()->setText("第 " + std::to_string(path.section) + "." + std::to_string(path.row) + " 行");
      if (m_grouped && path.section == 1 && path.row == 2) {
        cell->setGradientStartColor(colorWithHex(0xFFFFFF));
        cell->setGradientEndColor(colorWithHex(0xDDE6F0));
      }
    }
    cell->setBackgroundColor(gfx::Color::clear());
    cell->setCustomBackgroundColor(gfx::Color::whiteColor());
    cell->prepareForTableView(table, path);
    return cell;
  }

  std::shared_ptr<StyledGridTableViewCell> grid;
  std::shared_ptr<StyledSegmentedControlTableViewCell> segments;
  std::vector<std::pair<std::optional<ui::IndexPath>, int32_t>> gridTaps;

 private:
  bool m_grouped;
};

class StyledCellsGalleryTest : public support::ScreenTest, public ::testing::WithParamInterface<support::Device> {
 protected:
  void build() {
    const double w = window().bounds().width(), h = window().bounds().height();
    nav = StyledNavigationBar::create(gfx::Rect(0, 0, w, 44));
    nav->setRoundedCornerRadius(8);
    item.setTitle("样式表格");
    nav->showItem(&item, std::nullopt);
    window().setBackgroundColor(colorWithHex(0x333333));

    grouped = ui::TableView::create(gfx::Rect(0, 44, w / 2, h - 44 - 93), ui::TableViewStyle::Grouped);
    grouped->setDataSource(&groupedRows);
    grouped->setDelegate(&groupedRows);
    grouped->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);  // the cards draw their own
    plain = ui::TableView::create(gfx::Rect(w / 2, 44, w / 2, h - 44 - 93), ui::TableViewStyle::Plain);
    plain->setDataSource(&plainRows);
    plain->setDelegate(&plainRows);
    dropShadows(*plain);
    plain->setContentOffset(gfx::Point{0, 25});  // at rest the header strip lies above the top

    auto toolbar = StyledToolbar::create(gfx::Rect(0, h - 93, w, 44));
    toolbar->setItems({std::make_shared<ui::BarButtonItem>("编辑", ui::BarButtonItemStyle::Bordered),
                       ui::BarButtonItem::flexibleSpace(),
                       std::make_shared<ui::BarButtonItem>("完成", ui::BarButtonItemStyle::Done)});
    auto tabs = StyledTabBar::create(gfx::Rect(0, h - 49, w, 49));
    tabs->setItems({std::make_shared<ui::TabBarItem>("点歌", nullptr), std::make_shared<ui::TabBarItem>("点单", nullptr)});
    tabs->setSelectedIndex(0);
    for (auto v : std::vector<std::shared_ptr<ui::View>>{grouped, plain, toolbar, tabs, nav}) window().addSubview(v);
    render();
  }

  Rows groupedRows{true}, plainRows{false};
  ui::NavigationItem item;
  std::shared_ptr<StyledNavigationBar> nav;
  std::shared_ptr<ui::TableView> grouped, plain;
};

TEST_P(StyledCellsGalleryTest, EveryStyledWidgetInItsStates) {
  setDevice(GetParam());
  build();
  const std::string device = GetParam() == support::Device::Standard ? "standard" : "large";
  auto shot = screenshot("styled-" + device + "-initial");
  ASSERT_TRUE(groupedRows.grid && groupedRows.segments);

  // A row of the three-row card selected: the selection gradient inside the card.
  grouped->selectRowAtIndexPath(ui::IndexPath{1, 1}, false, ui::TableViewScrollPosition::None);
  render();
  // A grid column and a segment tapped.
  const gfx::Rect gridFrame = groupedRows.grid->gridSubview()->convertRectTo(groupedRows.grid->gridSubview()->bounds(), nullptr);
  tap(gfx::Point{gridFrame.minX() + gridFrame.width() * 5 / 6, gridFrame.midY()});
  ASSERT_EQ(groupedRows.gridTaps.size(), 1u);
  EXPECT_EQ(groupedRows.gridTaps[0].second, 2);
  EXPECT_EQ(groupedRows.gridTaps[0].first, (ui::IndexPath{2, 0}));
  const gfx::Rect segFrame =
      groupedRows.segments->gridSubview()->convertRectTo(groupedRows.segments->gridSubview()->bounds(), nullptr);
  tap(gfx::Point{segFrame.minX() + segFrame.width() * 3 / 8, segFrame.midY()});
  EXPECT_EQ(groupedRows.segments->selectedIndex(), 1);
  wait(0.3);
  render();
  auto selected = screenshot("styled-" + device + "-selected");
  // The tapped grid column shows the selection gradient (blue), its neighbour stays white.
  const uint32_t column = colorAt(*selected, gfx::Point{gridFrame.minX() + gridFrame.width() * 5 / 6, gridFrame.maxY() - 3});
  EXPECT_GT(column & 0xff, 0xd0u);
  EXPECT_EQ(colorAt(*selected, gfx::Point{gridFrame.minX() + gridFrame.width() / 2, gridFrame.maxY() - 3}), 0xffffffffu);
}

INSTANTIATE_TEST_SUITE_P(BothTablets, StyledCellsGalleryTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
