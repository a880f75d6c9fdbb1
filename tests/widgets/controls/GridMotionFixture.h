#pragma once

// A paged grid of numbered cells over a list of items that the sorting callbacks keep in step,
// and fingers that go down, move and lift on the key window, one or two at a time.
#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/GridView.h"
#include "widgets/controls/GridViewCell.h"
#include "widgets/controls/GridViewLayoutStrategyFactory.h"

namespace gridtest {

using kt::GridView;
using kt::GridViewCell;
using Pairs = std::vector<std::pair<int64_t, int64_t>>;

struct Items : kt::GridViewDataSource, kt::GridViewSortingDelegate {
  int64_t numberOfItemsInGridView(GridView&) override { return static_cast<int64_t>(items.size()); }
  gfx::Size sizeForItemsInInterfaceOrientation(GridView&, ui::InterfaceOrientation) override { return {208, 395}; }
  std::shared_ptr<GridViewCell> cellForItemAtIndex(GridView& grid, int64_t index) override {
    asked.push_back(index);
    auto cell = grid.dequeueReusableCell();
    if (!cell) {
      cell = GridViewCell::create();
      cell->setContentView(ui::Label::create());
    }
    const int item = items.at(static_cast<size_t>(index));
    auto label = std::static_pointer_cast<ui::Label>(cell->contentView());
    label->setText(std::to_string(item));
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->setFont(gfx::Font::boldSystemFont(48));
    label->setTextColor(gfx::Color::whiteColor());
    label->setBackgroundColor(gfx::Color::rgba(0.15 + 0.08 * double(item % 8), 0.3, 0.6, 1));
    return cell;
  }
  void moveItemAtIndex(GridView&, int64_t from, int64_t to) override {
    moves.push_back({from, to});
    const int item = items[static_cast<size_t>(from)];
    items.erase(items.begin() + from);
    items.insert(items.begin() + to, item);
  }
  void exchangeItemAtIndex(GridView&, int64_t a, int64_t b) override {
    exchanges.push_back({a, b});
    std::swap(items[static_cast<size_t>(a)], items[static_cast<size_t>(b)]);
  }
  std::vector<int> items;
  std::vector<int64_t> asked;
  Pairs moves, exchanges;
};

class GridMotionTest : public support::ScreenTest {
 protected:
  std::shared_ptr<GridView> show(int count = 20) {
    for (int i = 0; i < count; ++i) items.items.push_back(i);
    auto grid = GridView::create(window().bounds());
    window().addSubview(grid);
    grid->setLayoutStrategy(kt::GridViewLayoutStrategyFactory::strategyFromType(2));
    grid->setItemSpacing(35);
    grid->setDataSource(&items);
    settle();
    return grid;
  }
  void settle() {
    wait(0.6);
    render();
  }
  static gfx::Point centreOf(GridView& grid, int64_t position) {
    return grid.convertRectTo({grid.layoutStrategy()->originForItemAtPosition(position), {208, 395}}, nullptr).center();
  }
  std::shared_ptr<ui::Touch> down(gfx::Point p) {
    auto touch = window().beginTouch(p);
    wait(0);
    return touch;
  }
  // Moves each finger from its point to its end point over ten frames.
  void move(const std::vector<std::shared_ptr<ui::Touch>>& touches, const std::vector<gfx::Point>& from,
            const std::vector<gfx::Point>& to) {
    for (int i = 1; i <= 10; ++i) {
      for (size_t f = 0; f < touches.size(); ++f) {
        window().moveTouch(touches[f], {from[f].x + (to[f].x - from[f].x) * i / 10, from[f].y + (to[f].y - from[f].y) * i / 10});
      }
      wait(1.0 / 60);
    }
  }
  void up(const std::shared_ptr<ui::Touch>& touch) {
    window().endTouch(touch);
    wait(0);
  }
  // Two fingers `from` apart about a point, spread (or closed) to `to` apart, then lifted.
  void pinch(gfx::Point c, double from, double to) {
    auto a = down({c.x - from / 2, c.y}), b = down({c.x + from / 2, c.y});
    move({a, b}, {{c.x - from / 2, c.y}, {c.x + from / 2, c.y}}, {{c.x - to / 2, c.y}, {c.x + to / 2, c.y}});
    up(a);
    up(b);
  }
  // Checks that every loaded cell shows the item of its position; returns the positions, ascending.
  std::vector<int64_t> consistentCells(GridView& grid) const {
    std::vector<int64_t> positions;
    for (const auto& cell : grid.itemSubviews()) {
      const int64_t p = grid.positionForItemSubview(*cell);
      if (p == GridView::InvalidPosition) continue;
      positions.push_back(p);
      EXPECT_EQ(std::static_pointer_cast<ui::Label>(cell->contentView())->text(),
                std::to_string(items.items.at(static_cast<size_t>(p)))) << "position " << p;
    }
    std::sort(positions.begin(), positions.end());
    return positions;
  }
  static std::vector<int64_t> run(int64_t from, int64_t to) {
    std::vector<int64_t> v(static_cast<size_t>(to - from));
    std::iota(v.begin(), v.end(), from);
    return v;
  }

  Items items;
};

}  // namespace gridtest
