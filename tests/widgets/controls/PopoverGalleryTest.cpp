// The arrow popover on both tablets: one bubble of each tint, each arrow side, with a title and
// content; then a touch outside the front one takes it away.
#include <gtest/gtest.h>

#include "platform/gfx/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/PBPopoverController.h"
#include "widgets/controls/PBPopoverView.h"

namespace {

class PopoverGalleryTest : public support::ScreenTest {};

TEST_F(PopoverGalleryTest, EveryTintAndSide) {
  for (bool large : {false, true}) {
    if (large) setDevice(support::Device::LargeTablet);
    auto root = ui::View::create(window().bounds());
    root->setBackgroundColor(gfx::Color::rgba(0.08, 0.09, 0.16));
    window().addSubview(root);
    const double W = root->bounds().width(), H = root->bounds().height();

    struct Shown {
      gfx::Rect source;
      int32_t arrows, tint;
      const char* title;
    };
    const Shown shown[] = {{{W / 4 - 40, 40, 80, 30}, 3, 1, "已点歌曲"},
                           {{W / 4 - 40, H - 70, 80, 30}, 3, 2, "酒水"},
                           {{20, H / 2 - 15, 60, 30}, 4, 4, "服务"},
                           {{W - 80, H / 2 - 15, 60, 30}, 8, 8, "提示"}};
    std::vector<std::shared_ptr<kt::PBPopoverController>> popovers;
    for (const Shown& s : shown) {
      auto source = ui::View::create(s.source);
      source->setBackgroundColor(gfx::Color::rgba(0.2, 0.5, 0.9));
      root->addSubview(source);
      auto content = std::make_shared<ui::ViewController>();
      content->setTitle(s.title);
      auto text = ui::Label::create({8, 8, 180, 24});
      text->setText("Tint " + std::to_string(s.tint));
      text->setTextColor(gfx::Color::whiteColor());
      content->view()->setBackgroundColor(gfx::Color::white(0.15));
      content->view()->addSubview(text);
      auto popover = kt::PBPopoverController::create(content);
      popover->setContentSize({240, 200});
      popover->setArrowDirection(s.arrows);
      popover->setTint(s.tint);
      popover->presentPopoverFromView(source);
      popovers.push_back(popover);
    }
    wait(0.3);
    EXPECT_EQ(popovers[0]->popoverView()->arrowDirection(), 1);
    EXPECT_EQ(popovers[1]->popoverView()->arrowDirection(), 2);
    EXPECT_EQ(popovers[2]->popoverView()->arrowDirection(), 4);
    EXPECT_EQ(popovers[3]->popoverView()->arrowDirection(), 8);
    screenshot(large ? "large" : "standard");

    tap(gfx::Point{W / 2, H / 2});
    wait(0.3);
    EXPECT_FALSE(popovers[3]->isPresented());
    EXPECT_TRUE(popovers[2]->isPresented());
    screenshot(large ? "large-front-dismissed" : "standard-front-dismissed");
    for (auto& popover : popovers) popover->dismissPopoverAnimated(false);
    root->removeFromSuperview();
  }
}

}  // namespace
