// The drawn bars: gradient direction and colours, the edge lines, the painted corners and the
// layer shadow that follows the bar's size at each redraw.
#include "widgets/controls/StyledBars.h"
#include "widgets/controls/StyledDrawing.h"

#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "widgets/feedback/LayerPixels.h"

namespace {

using kt::testing::pixelAt;
using kt::testing::render;

TEST(StyledBarsTest, NavigationBarRunsItsGradientDownBetweenTheEdgeLinesAndRefreshesItsShadow) {
  auto bar = kt::StyledNavigationBar::create(gfx::Rect(0, 0, 400, 44));
  auto image = render(*bar->layer());
  ASSERT_TRUE(image);
  const auto top = pixelAt(*image, 200, 0), upper = pixelAt(*image, 200, 4), lower = pixelAt(*image, 200, 40),
             bottom = pixelAt(*image, 200, 43);
  EXPECT_NEAR(top.g, 183, 10);  // 0x84B7D5
  EXPECT_NEAR(upper.r, 83, 10);  // close to 0x53A4DE
  EXPECT_NEAR(lower.r, 41, 10);  // close to 0x297CB7
  EXPECT_GT(upper.g, lower.g);
  EXPECT_NEAR(bottom.g, 99, 10);  // 0x186399
  EXPECT_EQ(bar->tintColor(), kt::colorWithHex(0x3D89BF));
  EXPECT_GT(pixelAt(*image, 0, 0).g, 100);  // no corners painted by default

  // The layer shadow takes the opacity and the bar's size at the next redraw.
  EXPECT_DOUBLE_EQ(bar->layer()->shadowOpacity(), 0.5);
  bar->setShadowOpacity(0.9f);
  bar->setFrame(gfx::Rect(0, 0, 600, 44));
  render(*bar->layer());
  EXPECT_NEAR(bar->layer()->shadowOpacity(), 0.9, 1e-6);
  ASSERT_TRUE(bar->layer()->shadowPath());
  EXPECT_EQ(bar->layer()->shadowPath()->boundingBox(), gfx::Rect(0, 0, 600, 44));
}

TEST(StyledBarsTest, RoundedCornersPaintOnlyTheTwoTopCornersAndNotForANegativeRadius) {
  auto bar = kt::StyledNavigationBar::create(gfx::Rect(0, 0, 400, 44));
  bar->setRoundedCornerRadius(10);
  auto image = render(*bar->layer());
  for (auto [x, y] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{399, 0}, std::pair{398, 1}}) {
    const auto p = pixelAt(*image, x, y);
    EXPECT_EQ(p.a, 255) << x;
    EXPECT_LT(p.g, 20) << x;
  }
  EXPECT_GT(pixelAt(*image, 200, 1).g, 100);  // the top edge between them stays
  EXPECT_GT(pixelAt(*image, 0, 40).g, 50);    // bottom corners are not painted
  EXPECT_GT(pixelAt(*image, 6, 6).g, 100);    // inside the quarter circle

  bar->setRoundedCornerRadius(-4);
  bar->backgroundView()->setNeedsDisplay();
  EXPECT_GT(pixelAt(*render(*bar->layer()), 0, 0).g, 100);
}

TEST(StyledBarsTest, ToolbarAndTabBarDrawTheirOwnColours) {
  auto toolbar = kt::StyledToolbar::create(gfx::Rect(0, 0, 300, 44));
  auto tools = render(*toolbar->layer());
  EXPECT_NEAR(pixelAt(*tools, 150, 0).g, 148, 10);  // top line 0x4F94C4
  EXPECT_NEAR(pixelAt(*tools, 150, 43).g, 99, 10);

  auto tabs = kt::StyledTabBar::create(gfx::Rect(0, 0, 300, 49));
  tabs->setNeedsDisplay();  // as when it is first shown
  auto image = render(*tabs->layer());
  EXPECT_NEAR(pixelAt(*image, 150, 0).r, 102, 12);  // the 0x666666 line along the top
  const auto upper = pixelAt(*image, 150, 5), lower = pixelAt(*image, 150, 46);
  EXPECT_GT(upper.r, lower.r);  // from 0x444444 down to 0x060606
  EXPECT_LT(lower.r, 20);
}

TEST(StyledBarsTest, ToolbarLaysOutItsItemsInItsTint) {
  auto toolbar = kt::StyledToolbar::create(gfx::Rect(0, 0, 300, 44));
  auto done = std::make_shared<ui::BarButtonItem>("完成", ui::BarButtonItemStyle::Done);
  done->setWidth(70);
  toolbar->setItems({std::make_shared<ui::BarButtonItem>("编辑", ui::BarButtonItemStyle::Plain),
                     ui::BarButtonItem::flexibleSpace(), done});
  toolbar->layoutIfNeeded();
  EXPECT_EQ(toolbar->buttonForItem(0)->titleLabel()->textColor(), kt::colorWithHex(0x3D89BF));
  EXPECT_EQ(toolbar->buttonForItem(2)->frame(), gfx::Rect(218, 7, 70, 30));
  EXPECT_EQ(toolbar->buttonForItem(2)->backgroundColor(), kt::colorWithHex(0x3D89BF));
}

}  // namespace
