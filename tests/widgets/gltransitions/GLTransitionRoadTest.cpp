// Each GL transition run the way a screen would: a modal controller presented through the shared
// manager on the window, the frames composited into the window on the virtual clock, and the
// real presentation made when the transition ends, on both tablet sizes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/gltransitions/ClothTransition.h"
#include "widgets/gltransitions/DoorsTransition.h"
#include "widgets/gltransitions/FlipTransition.h"
#include "widgets/gltransitions/GLTransitionManager.h"
#include "widgets/gltransitions/GLTransitionView.h"
#include "widgets/gltransitions/RotateTransition.h"
#include "widgets/gltransitions/Switch3DTransition.h"

namespace {

struct Kind {
  const char* name;
  std::function<std::shared_ptr<kt::GLTransition>()> make;
  double midway;  // seconds into the transition
};

const Kind kKinds[] = {
    {"switch3d", [] { return std::make_shared<kt::Switch3DTransition>(); }, 0.38},
    {"rotate", [] { return std::make_shared<kt::RotateTransition>(); }, 0.3},
    {"doors", [] { return std::make_shared<kt::DoorsTransition>(); }, 0.38},
    {"flip", [] { return std::make_shared<kt::FlipTransition>(); }, 0.3},
    {"cloth", [] { return std::make_shared<kt::ClothTransition>(); }, 0.6},
};

// A screen of four coloured quarters, so that a picture turned, flipped or shifted shows.
std::shared_ptr<ui::ViewController> quarters(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  auto controller = std::make_shared<ui::ViewController>();
  auto colour = [](uint32_t v) {
    return gfx::Color::rgba(((v >> 16) & 255) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0, 1);
  };
  auto& view = *controller->view();
  view.setBackgroundColor(colour(a));
  const gfx::Rect b0 = view.bounds();
  const double w = b0.width() / 2, h = b0.height() / 2;
  auto add = [&](gfx::Rect r, uint32_t v, unsigned mask) {
    auto part = ui::View::create(r);
    part->setBackgroundColor(colour(v));
    part->setAutoresizingMask(mask);
    view.addSubview(part);
  };
  using enum ui::AutoresizingMask;
  add(gfx::Rect(w, 0, w, h), b, AutoresizingFlexibleLeftMargin | AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  add(gfx::Rect(0, h, w, h), c, AutoresizingFlexibleTopMargin | AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  add(gfx::Rect(w, h, w, h), d, AutoresizingFlexibleLeftMargin | AutoresizingFlexibleTopMargin |
                                    AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  return controller;
}

class GLTransitionRoadTest : public support::ScreenTest, public ::testing::WithParamInterface<bool> {
 protected:
  // Probes on a grid inside the window: how many differ from the same probes of `other`.
  int differing(const gfx::Image& shot, const gfx::Image& other) {
    int count = 0;
    const gfx::Rect b = window().bounds();
    for (int i = 1; i < 8; ++i) {
      for (int j = 1; j < 8; ++j) {
        const gfx::Point p{b.width() * i / 8, b.height() * j / 8};
        if (colorAt(shot, p) != colorAt(other, p)) ++count;
      }
    }
    return count;
  }
};

TEST_P(GLTransitionRoadTest, EveryKindPresentsAController) {
  if (GetParam()) setDevice(support::Device::LargeTablet);
  const char* size = GetParam() ? "large" : "standard";
  auto& manager = kt::GLTransitionManager::sharedTransitionManager();
  // Every third display frame is drawn (the longest step the view takes whole): the software GL
  // draws each frame on the CPU, and on a busy machine every frame at 60 per second took minutes.
  const auto view = manager.transitionView();
  const int interval = view->animationFrameInterval();
  view->setAnimationFrameInterval(3);
  struct Restore {
    std::shared_ptr<kt::GLTransitionView> view;
    int interval;
    ~Restore() { view->setAnimationFrameInterval(interval); }
  } restore{view, interval};
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    srandom(11);
    auto root = quarters(0xFFE02020, 0xFFE0C020, 0xFF20A040, 0xFFA020C0);
    auto modal = quarters(0xFF2040E0, 0xFF20C0C0, 0xFFF08020, 0xFF404040);
    window().setRootViewController(root);
    wait(0);
    const auto before = screenshot(std::string(size) + "-" + kind.name + "-before");
    ASSERT_TRUE(before);

    manager.setTransition(kind.make());
    manager.presentModalViewController(modal, root);
    ASSERT_EQ(manager.transitionType(), kt::GLTransitionManager::PresentingController);
    wait(kind.midway);
    const auto midway = screenshot(std::string(size) + "-" + kind.name + "-midway");
    ASSERT_TRUE(midway);
    EXPECT_TRUE(manager.transitionView()->superview());
    EXPECT_FALSE(manager.transitionView()->isHidden());
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_GT(differing(*midway, *before), 0);

    for (int i = 0; i < 100 && manager.transitionType() != kt::GLTransitionManager::Idle; ++i) wait(0.1);
    ASSERT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
    EXPECT_EQ(root->presentedViewController(), modal.get());
    EXPECT_FALSE(manager.transitionView()->superview());
    EXPECT_FALSE(manager.tempOverlayView()->superview());

    // The end state is the destination screen itself.
    const auto after = screenshot(std::string(size) + "-" + kind.name + "-after");
    ASSERT_TRUE(after);
    EXPECT_GT(differing(*midway, *after), 0);
    const gfx::Rect b = window().bounds();
    EXPECT_EQ(colorAt(*after, {b.width() / 4, b.height() / 4}), 0xFF2040E0u);
    EXPECT_EQ(colorAt(*after, {b.width() * 3 / 4, b.height() * 3 / 4}), 0xFF404040u);
    root->dismissModalViewControllerAnimated(false);
    wait(0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothTablets, GLTransitionRoadTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "LargeTablet" : "Tablet"; });

}  // namespace
