// The toolbar on the offscreen screen: where its items go, taps on enabled and disabled items,
// and the tint its buttons take.
#include "platform/ui/Toolbar.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using ui::BarButtonItem;
using ui::BarButtonItemStyle;

class ToolbarTest : public support::ScreenTest {
 protected:
  std::shared_ptr<ui::Toolbar> show(std::vector<std::shared_ptr<BarButtonItem>> items) {
    auto bar = ui::Toolbar::create(gfx::Rect(0, 724, 1024, 44));
    bar->setItems(std::move(items));
    window().addSubview(bar);
    render();
    return bar;
  }
  std::vector<std::string> tapped;
  BarButtonItem::Action record = [this](BarButtonItem& item) { tapped.push_back(item.title().value_or("")); };
};

TEST_F(ToolbarTest, FixedSpacesKeepTheirWidthAndFlexibleOnesShareTheRest) {
  auto left = std::make_shared<BarButtonItem>("编辑", BarButtonItemStyle::Plain, record);
  left->setWidth(80);
  auto middle = std::make_shared<BarButtonItem>("刷新", BarButtonItemStyle::Plain, record);
  middle->setWidth(60);
  auto right = std::make_shared<BarButtonItem>("完成", BarButtonItemStyle::Done, record);
  right->setWidth(70);
  auto bar = show({left, BarButtonItem::flexibleSpace(), middle, BarButtonItem::fixedSpace(30),
                   BarButtonItem::flexibleSpace(), right});
  EXPECT_EQ(bar->buttonForItem(1), nullptr);
  EXPECT_EQ(bar->buttonForItem(0)->frame(), gfx::Rect(12, 0, 80, 44));
  // 1000 - 80 - 60 - 30 - 70 = 760 of room, 380 for each flexible space.
  EXPECT_EQ(bar->buttonForItem(2)->frame(), gfx::Rect(472, 0, 60, 44));
  // A done item is a button 30 high in the middle of the bar.
  EXPECT_EQ(bar->buttonForItem(5)->frame(), gfx::Rect(942, 7, 70, 30));

  // Two buttons side by side keep a gap; one that fits its title is wider than the title.
  auto a = std::make_shared<BarButtonItem>("甲", BarButtonItemStyle::Plain, record);
  auto b = std::make_shared<BarButtonItem>("乙", BarButtonItemStyle::Plain, record);
  bar->setItems({a, b});
  render();
  const gfx::Rect first = bar->buttonForItem(0)->frame();
  EXPECT_GT(first.width(), bar->buttonForItem(0)->titleLabel()->frame().width());
  EXPECT_EQ(bar->buttonForItem(1)->frame().x(), first.maxX() + ui::Toolbar::ItemSpacing);
}

TEST_F(ToolbarTest, TapsRunEnabledItemsDrawnInTheirTintOrTheBars) {
  auto plain = std::make_shared<BarButtonItem>("编辑", BarButtonItemStyle::Plain, record);
  plain->setWidth(100);
  auto off = std::make_shared<BarButtonItem>("删除", BarButtonItemStyle::Plain, record);
  off->setWidth(100);
  off->setEnabled(false);
  auto red = std::make_shared<BarButtonItem>("完成", BarButtonItemStyle::Done, record);
  red->setWidth(100);
  red->setTintColor(gfx::Color::red());
  auto bar = show({plain, off, red});
  tap(*bar->buttonForItem(0));
  tap(*bar->buttonForItem(1));
  tap(*bar->buttonForItem(2));
  EXPECT_EQ(tapped, (std::vector<std::string>{"编辑", "完成"}));

  const gfx::Color blue(0.1, 0.2, 0.6, 1);
  bar->setTintColor(blue);
  EXPECT_EQ(bar->buttonForItem(0)->titleLabel()->textColor(), blue);
  EXPECT_EQ(bar->buttonForItem(2)->backgroundColor(), gfx::Color::red());
  EXPECT_EQ(bar->buttonForItem(2)->titleLabel()->textColor(), gfx::Color::whiteColor());
  EXPECT_NE(bar->buttonForItem(1)->titleLabel()->textColor(), blue);
  // An item changed later shows the change at once.
  off->setEnabled(true);
  EXPECT_EQ(bar->buttonForItem(1)->titleLabel()->textColor(), blue);
  tap(*bar->buttonForItem(1));
  EXPECT_EQ(tapped.back(), "删除");
}

}  // namespace
