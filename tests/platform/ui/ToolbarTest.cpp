// The toolbar on the offscreen screen: where its items go, taps on enabled and disabled items,
// and the tint its buttons take.
#include "platform/ui/Toolbar.h"

#include <gtest/gtest.h>

#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using ui::BarButtonItem;
using Style = ui::BarButtonItemStyle;

class ToolbarTest : public support::ScreenTest {
 protected:
  std::shared_ptr<BarButtonItem> item(const char* title, Style style, double width = 0) {
    auto made = std::make_shared<BarButtonItem>(title, style, [this](BarButtonItem& i) { tapped.push_back(*i.title()); });
    made->setWidth(width);
    return made;
  }
  std::shared_ptr<ui::Toolbar> show(std::vector<std::shared_ptr<BarButtonItem>> items) {
    auto bar = ui::Toolbar::create(gfx::Rect(0, 724, 1024, 44));
    bar->setItems(std::move(items));
    window().addSubview(bar);
    render();
    return bar;
  }
  std::vector<std::string> tapped;
};

TEST_F(ToolbarTest, FixedSpacesKeepTheirWidthAndFlexibleOnesShareTheRest) {
  auto bar = show({item("编辑", Style::Plain, 80), BarButtonItem::flexibleSpace(), item("刷新", Style::Plain, 60),
                   BarButtonItem::fixedSpace(30), BarButtonItem::flexibleSpace(), item("完成", Style::Done, 70)});
  EXPECT_EQ(bar->buttonForItem(1), nullptr);
  EXPECT_EQ(bar->buttonForItem(0)->frame(), gfx::Rect(12, 0, 80, 44));
  // 1000 - 80 - 60 - 30 - 70 = 760 of room, 380 for each flexible space.
  EXPECT_EQ(bar->buttonForItem(2)->frame(), gfx::Rect(472, 0, 60, 44));
  // A done item is a button 30 high in the middle of the bar.
  EXPECT_EQ(bar->buttonForItem(5)->frame(), gfx::Rect(942, 7, 70, 30));
  // Two buttons side by side keep a gap.
  bar->setItems({item("甲", Style::Plain), item("乙", Style::Plain)});
  render();
  EXPECT_EQ(bar->buttonForItem(1)->frame().x(), bar->buttonForItem(0)->frame().maxX() + ui::Toolbar::ItemSpacing);
}

TEST_F(ToolbarTest, TapsRunEnabledItemsDrawnInTheirTintOrTheBars) {
  auto off = item("删除", Style::Plain, 100);
  off->setEnabled(false);
  auto red = item("完成", Style::Done, 100);
  red->setTintColor(gfx::Color::red());
  auto bar = show({item("编辑", Style::Plain, 100), off, red});
  for (size_t i = 0; i < 3; ++i) tap(*bar->buttonForItem(i));
  EXPECT_EQ(tapped, (std::vector<std::string>{"编辑", "完成"}));

  const gfx::Color blue(0.1, 0.2, 0.6, 1);
  bar->setTintColor(blue);
  EXPECT_EQ(bar->buttonForItem(0)->titleLabel()->textColor(), blue);
  EXPECT_NE(bar->buttonForItem(1)->titleLabel()->textColor(), blue);
  EXPECT_EQ(bar->buttonForItem(2)->backgroundColor(), gfx::Color::red());
  EXPECT_EQ(bar->buttonForItem(2)->titleLabel()->textColor(), gfx::Color::whiteColor());
  // A change to an item shows at once.
  off->setEnabled(true);
  EXPECT_EQ(bar->buttonForItem(1)->titleLabel()->textColor(), blue);
}

}  // namespace
