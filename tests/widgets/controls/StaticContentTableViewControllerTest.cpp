// The static-content table: sections and rows from models, the numbers handed to section blocks,
// the set-up and display calls of configure blocks, insertions and removals reaching the right
// place of the table, reuse, and the header and footer texts (selection: the gallery).
#include "widgets/controls/StaticContentTableViewController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using kt::StaticContentTableViewCell;
using kt::StaticContentTableViewController;
using kt::StaticContentTableViewSection;

class StaticContentTableTest : public support::ScreenTest {
 protected:
  StaticContentTableTest() {
    controller = std::make_shared<StaticContentTableViewController>();
    table = controller->tableView();
    table->addReloadObserver(core::WeakToken(controller), [this] { ++reloads; });
    window().addSubview(table);
  }

  void addTitledSection(const std::vector<std::string>& rows) {
    controller->addSection([&](StaticContentTableViewSection& section, size_t n) {
      numbers.push_back(n);
      for (const auto& text : rows) section.addCell(titled(text));
    });
  }

  static kt::StaticContentConfigureBlock titled(const std::string& text) {
    return [text](StaticContentTableViewCell*, ui::TableViewCell* cell, std::optional<ui::IndexPath>) {
      if (cell) cell->textLabel()->setText(text);
    };
  }

  std::string rowText(int section, int row) {
    auto cell = table->cellForRowAtIndexPath(ui::IndexPath::forRow(row, section));
    return cell ? cell->textLabel()->text() : "<none>";
  }

  std::shared_ptr<StaticContentTableViewController> controller;
  std::shared_ptr<ui::TableView> table;
  std::vector<size_t> numbers;  // handed to the section blocks
  int reloads = 0;
};

TEST_F(StaticContentTableTest, ConfigureSetsTheModelUpOnceAndFillsEveryShownCell) {
  render();
  EXPECT_EQ(table->numberOfSections(), 0);
  int setups = 0, fills = 0;
  controller->addSection([&](StaticContentTableViewSection& section, size_t) {
    section.addCell([&](StaticContentTableViewCell* model, ui::TableViewCell* cell, std::optional<ui::IndexPath> ip) {
      if (model) {
        ++setups;
        EXPECT_EQ(cell, nullptr);
        EXPECT_FALSE(ip);
        model->setReuseIdentifier("Tall");
        model->setCellHeight(90);
        model->setCellStyle(ui::TableViewCellStyle::Subtitle);
      } else {
        ++fills;
        ASSERT_TRUE(cell && ip);
        EXPECT_EQ(cell->reuseIdentifier(), "Tall");
        EXPECT_EQ(cell->style(), ui::TableViewCellStyle::Subtitle);
        cell->textLabel()->setText("包厢");
      }
    });
  });
  EXPECT_EQ(setups, 1);
  // Added after the table was shown: shown at the next reload.
  render();
  EXPECT_EQ(table->numberOfRowsInSection(0), 0);
  table->reloadData();
  render();
  EXPECT_EQ(setups, 1);
  EXPECT_EQ(fills, 1);
  EXPECT_EQ(table->rectForRowAtIndexPath(ui::IndexPath::forRow(0, 0)).height(), 90);
}

// A row leaves its own section; a section inserted later updates the table like an added one.
TEST_F(StaticContentTableTest, RowsAndSectionsChangeInTheirOwnPlaceWithoutAReload) {
  addTitledSection({"啤酒", "果汁"});
  addTitledSection({"薯条", "鸡翅", "爆米花"});
  render();
  const int reloadsBefore = reloads;
  auto snacks = controller->sectionAtIndex(1);
  ASSERT_TRUE(snacks->removeCellAtIndex(1, true));
  EXPECT_FALSE(snacks->removeCellAtIndex(5, true));
  controller->insertSection([&](StaticContentTableViewSection&, size_t n) { numbers.push_back(n); }, 0);
  EXPECT_FALSE(controller->insertSection(nullptr, 9));
  EXPECT_FALSE(controller->removeSectionAtIndex(3));
  // Added sections get the count of sections with them, an inserted one its index.
  EXPECT_EQ(numbers, (std::vector<size_t>{1, 2, 0}));
  auto inserted = controller->sectionAtIndex(0);
  EXPECT_EQ(inserted->tableView(), table);
  ASSERT_TRUE(inserted->insertCell(titled("欢唱套餐"), nullptr, ui::IndexPath::forRow(0, 0), true));
  // Asked for without animation, inserted through the controller with it all the same.
  ASSERT_TRUE(controller->insertCell(titled("果盘"), ui::IndexPath::forRow(0, 2), false));
  EXPECT_FALSE(controller->insertCell(nullptr, ui::IndexPath::forRow(0, 7), true));
  wait(0.5);
  EXPECT_EQ(reloads, reloadsBefore);
  ASSERT_EQ(table->numberOfSections(), 3);
  EXPECT_EQ(rowText(0, 0), "欢唱套餐");
  EXPECT_EQ(table->numberOfRowsInSection(1), 2);
  EXPECT_EQ(rowText(1, 1), "果汁");
  EXPECT_EQ(table->numberOfRowsInSection(2), 3);
  EXPECT_EQ(rowText(2, 0), "果盘");
  EXPECT_EQ(rowText(2, 2), "爆米花");
  // Without animation the table reloads.
  ASSERT_TRUE(controller->removeSectionAtIndex(0, false));
  EXPECT_EQ(reloads, reloadsBefore + 1);
  EXPECT_EQ(table->numberOfSections(), 2);
}

TEST_F(StaticContentTableTest, AReusedCellLosesTheImageAndAccessoryOfItsLastRow) {
  controller->addSection([&](StaticContentTableViewSection& section, size_t) {
    for (int i = 0; i < 40; ++i)
      section.addCell([i](StaticContentTableViewCell*, ui::TableViewCell* cell, std::optional<ui::IndexPath>) {
        if (!cell || i != 0) return;
        cell->imageView()->setImage(gfx::Image::fromPixels(20, 20, std::vector<uint32_t>(400, 0xFFFF0000u)));
        cell->setAccessoryView(ui::View::create(gfx::Rect(0, 0, 20, 20)));
      });
  });
  render();
  auto first = table->cellForRowAtIndexPath(ui::IndexPath::forRow(0, 0));
  ASSERT_TRUE(first && first->accessoryView());
  table->scrollToRowAtIndexPath(ui::IndexPath::forRow(39, 0), ui::TableViewScrollPosition::Bottom, false);
  render();
  bool reused = false;
  for (const auto& cell : table->visibleCells()) {
    if (cell == first) reused = true;
    EXPECT_EQ(cell->accessoryView(), nullptr);
    EXPECT_EQ(cell->imageView()->image(), nullptr);
  }
  EXPECT_TRUE(reused);
}

TEST_F(StaticContentTableTest, HeaderAndFooterTextsSitInTheirFramesAndGoSeparately) {
  controller->setHeaderText("请选择包厢设置");
  controller->setFooterText("修改后重新连接服务器");
  auto header = table->tableHeaderView();
  auto footer = table->tableFooterView();
  ASSERT_TRUE(header && footer && header->subviews().size() == 1 && footer->subviews().size() == 1);
  // The labels keep their margins as the table widens the views; h is the fitted text height.
  const gfx::Rect label = header->subviews()[0]->frame();
  const double h = label.height() - 20;
  EXPECT_GT(h, 10);
  support::expectRect(label, 20, 10, header->frame().width() - 40, h + 20, "header label");
  EXPECT_EQ(header->frame().height(), h + 30);
  const gfx::Rect footLabel = footer->subviews()[0]->frame();
  support::expectRect(footLabel, 30, 0, footer->frame().width() - 60, footLabel.height(), "footer label");
  EXPECT_EQ(footer->frame().height(), footLabel.height() + 10);

  controller->setHeaderText(std::nullopt);
  EXPECT_EQ(table->tableHeaderView(), nullptr);
  EXPECT_EQ(table->tableFooterView(), footer);

  // Set before the view loads: kept, not shown.
  auto early = std::make_shared<StaticContentTableViewController>();
  early->setHeaderText("提示");
  EXPECT_EQ(early->tableView()->tableHeaderView(), nullptr);
  EXPECT_EQ(early->headerText(), "提示");
}

}  // namespace
