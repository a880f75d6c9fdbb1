#include "platform/ui/PageControl.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"

using gfx::Rect;

using PageControlInWindow = uitest::WindowTest;

TEST_F(PageControlInWindow, TapsOnEitherHalfMoveOnePage) {
  auto pc = ui::PageControl::create(Rect(0, 100, 300, 37));
  window->addSubview(pc);
  pc->setNumberOfPages(3);
  int changes = 0;
  pc->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++changes; }, ui::ControlEventValueChanged);
  window->tap({200, 118});
  EXPECT_EQ(pc->currentPage(), 1);
  window->tap({200, 118});
  EXPECT_EQ(pc->currentPage(), 2);
  window->tap({200, 118});  // already at the last page
  EXPECT_EQ(pc->currentPage(), 2);
  EXPECT_EQ(changes, 2);
  window->tap({20, 118});
  EXPECT_EQ(pc->currentPage(), 1);
  EXPECT_EQ(changes, 3);
  pc->setCurrentPage(10);
  EXPECT_EQ(pc->currentPage(), 2);
  pc->setNumberOfPages(1);
  EXPECT_EQ(pc->currentPage(), 0);
}

TEST(PageControlLayout, DotsAreSevenPointsNineApart) {
  auto pc = ui::PageControl::create(Rect(0, 0, 100, 37));
  EXPECT_EQ(pc->sizeForNumberOfPages(1).width, 7);
  EXPECT_EQ(pc->sizeForNumberOfPages(4).width, 4 * 7 + 3 * 9);
  EXPECT_EQ(pc->sizeForNumberOfPages(0).width, 0);
  pc->setNumberOfPages(2);
  EXPECT_EQ(pc->dotRect(0), Rect(50 - 11.5, 15, 7, 7));
  EXPECT_EQ(pc->dotRect(1).x() - pc->dotRect(0).maxX(), 9);
  pc->setHidesForSinglePage(true);
  EXPECT_FALSE(pc->isHidden());
  pc->setNumberOfPages(1);
  EXPECT_TRUE(pc->isHidden());
}

TEST_F(PageControlInWindow, CurrentDotIsDrawnInItsColour) {
  auto pc = ui::PageControl::create(Rect(0, 0, 100, 37));
  pc->setNumberOfPages(2);
  pc->setCurrentPage(1);
  pc->setCurrentPageIndicatorTintColor(gfx::Color::red());
  pc->setPageIndicatorTintColor(gfx::Color::blue());
  window->addSubview(pc);
  auto image = uitest::render(*pc);
  Rect d0 = pc->dotRect(0), d1 = pc->dotRect(1);
  EXPECT_EQ(image->pixelAt(int(d0.midX()), int(d0.midY())), 0xFF0000FFu);
  EXPECT_EQ(image->pixelAt(int(d1.midX()), int(d1.midY())), 0xFFFF0000u);
}
