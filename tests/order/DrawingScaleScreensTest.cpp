// The food menu and the staff grid drawn at one pixel a point and at 2.8125 show the layout they
// show at scale 2 (the song home's is in its own test).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "order/OrderMainViewController.h"
#include "order/StaffScreenFixture.h"
#include "support/ScaleComparison.h"

namespace kt::order_test {
namespace {

class DrawingScaleScreensTest : public StaffScreenFixture {
 protected:
  void expectTheSameLayoutAtEveryScale(const std::string& name) {
    support::expectTheSameLayoutAtEveryScale(
        name, [this](const std::string& shot) { return screenshot(shot); },
        [] { support::runUntilClockHeld([] { return false; }, 0.3); });
  }
};

TEST_F(DrawingScaleScreensTest, TheFoodMenu) {
  auto menu = std::dynamic_pointer_cast<OrderMainViewController>(storyboard()->instantiate(OrderScreens::Menu));
  ASSERT_NE(menu, nullptr);
  ASSERT_NO_FATAL_FAILURE(showOnStack(std::make_shared<SongHome>(), menu));
  ASSERT_TRUE(runUntil([&] { return menu->MyTableview() != nullptr; }));
  wait(0.5);
  expectTheSameLayoutAtEveryScale("food");
}

TEST_F(DrawingScaleScreensTest, TheStaffGrid) {
  ASSERT_NO_FATAL_FAILURE(openGrid());
  wait(0.5);
  expectTheSameLayoutAtEveryScale("staff");
}

}  // namespace
}  // namespace kt::order_test
