// The flip on the offscreen screen with the virtual clock: its halves, pages and timing, the
// swap half-way, the end (also when nothing can be shown), the controller flows, and screenshots
// mid-flip.
#include "widgets/transitions/VTFlipTransition.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using kt::VTFlipTransition;

constexpr uint32_t kRed = 0xFFE02020, kGreen = 0xFF20A040, kBlue = 0xFF2040E0, kYellow = 0xFFE0C020;

gfx::Color colour(uint32_t argb) {
  return gfx::Color::rgba(((argb >> 16) & 255) / 255.0, ((argb >> 8) & 255) / 255.0, (argb & 255) / 255.0, 1);
}

// A view whose left half is one colour and the right half another.
std::shared_ptr<ui::View> halves(const gfx::Rect& frame, uint32_t left, uint32_t right) {
  auto v = ui::View::create(frame);
  v->setBackgroundColor(colour(left));
  auto second = ui::View::create(gfx::Rect(frame.width() / 2, 0, frame.width() / 2, frame.height()));
  second->setBackgroundColor(colour(right));
  v->addSubview(second);
  return v;
}

double channel(uint32_t c, int shift) { return (c >> shift) & 255; }
double turnAboutY(const gfx::Transform3D& m) { return std::atan2(-m.m13, m.m11); }
double turnAboutX(const gfx::Transform3D& m) { return std::atan2(m.m23, m.m22); }

class FlipTest : public support::ScreenTest {
 protected:
  void TearDown() override { wait(0.5); }

  // A flip from a red|green source filling the window to a blue|yellow destination.
  std::shared_ptr<VTFlipTransition> flip(uint64_t style, int32_t action = kt::transitionActionNone) {
    source = halves(window().bounds(), kRed, kGreen);
    destination = halves(window().bounds(), kBlue, kYellow);
    window().addSubview(source);
    render();
    auto t = std::make_shared<VTFlipTransition>(source, destination, 0.3, style, action);
    t->perform([this](bool finished) { completions += finished ? 1 : 100; });
    return t;
  }
  const std::vector<std::shared_ptr<gfx::Layer>>& pages(const VTFlipTransition& t) {
    return t.animationView()->layer()->sublayers();
  }

  std::shared_ptr<ui::View> source, destination;
  int completions = 0;
};

TEST_F(FlipTest, EachHalfHasItsTimingWhateverTheStyle) {
  auto v = ui::View::create();
  VTFlipTransition t(v, v, 0.3, kt::flipStyleBackward | kt::flipStyleTopBottom, 0);
  EXPECT_EQ(t.timingCurve(), kt::timingCurveEaseInOut);
  EXPECT_EQ(t.coveredPageShadowOpacity(), 1.0 / 3.0);
  EXPECT_EQ(t.flippingPageShadowOpacity(), 0.1);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"easeIn", "easeOut"}, {"easeIn", "linear"}, {"linear", "easeOut"}, {"linear", "linear"}, {"easeIn", "easeOut"}};
  for (int64_t curve = 0; curve < 5; ++curve) {
    t.setTimingCurve(curve == 4 ? -1 : curve);
    EXPECT_EQ(t.timingCurveFunctionNameFirstHalf(), expected[curve].first) << curve;
    EXPECT_EQ(t.timingCurveFunctionNameSecondHalf(), expected[curve].second) << curve;
  }
  auto fading = VTFlipTransition::shadowKeyframes(1.0 / 3, 0.3, false);
  ASSERT_EQ(fading.size(), 10u);  // nine frames a half
  EXPECT_NEAR(fading.front(), 1.0 / 3, 1e-6);
  EXPECT_EQ(fading.back(), 0);
  auto rising = VTFlipTransition::shadowKeyframes(1.0 / 3, 0.3, true);
  EXPECT_EQ(rising.front(), 0);
  EXPECT_NEAR(rising.back(), 1.0 / 3, 1e-6);
  EXPECT_EQ(VTFlipTransition::shadowKeyframes(1.0 / 3, 0, true), (std::vector<double>{0}));
}

TEST_F(FlipTest, TheRightHalfTurnsUpThenTheBackComesDownOverTheLeft) {
  auto t = flip(kt::flipStyleDefault);
  const double W = window().bounds().width(), H = window().bounds().height();
  EXPECT_TRUE(source->isHidden());
  auto layers = pages(*t);  // revealed, still, front
  ASSERT_EQ(layers.size(), 3u);
  auto revealed = layers[0], still = layers[1], front = layers[2];
  EXPECT_EQ(front->anchorPoint(), (gfx::Point{0, 0.5}));
  EXPECT_EQ(still->anchorPoint(), (gfx::Point{1, 0.5}));
  EXPECT_EQ(front->position(), (gfx::Point{W / 2, H / 2}));
  EXPECT_EQ(front->contents()->size(), (gfx::Size{W / 2, H + 2}));
  EXPECT_EQ(front->contents()->pixelAt(10, 0) >> 24, 0u);  // the clear border row
  EXPECT_EQ(front->contents()->pixelAt(10, 10), kGreen);
  EXPECT_EQ(still->contents()->pixelAt(10, 10), kRed);
  EXPECT_EQ(revealed->contents()->pixelAt(10, 10), kYellow);
  EXPECT_NEAR(t->animationView()->layer()->sublayerTransform().m34, -1 / (4.6666667 * W / 2), 1e-12);

  wait(0.1);
  double angle = turnAboutY(front->presentation().transform);
  EXPECT_LT(angle, -0.2);
  EXPECT_GT(angle, -M_PI / 2);
  // Half-way the page front goes and its back, the blue half, comes down from the other side.
  wait(0.1);
  layers = pages(*t);
  ASSERT_EQ(layers.size(), 3u);
  EXPECT_EQ(layers[2]->contents()->pixelAt(10, 10), kBlue);
  EXPECT_GT(turnAboutY(layers[2]->presentation().transform), 0.05);
  EXPECT_EQ(still->sublayers().size(), 1u);   // its shadow darkens now
  EXPECT_TRUE(revealed->sublayers().empty());  // and the uncovered one's is gone
  EXPECT_EQ(completions, 0);
  wait(0.15);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(t->animationView(), nullptr);
  EXPECT_FALSE(source->isHidden());
}

TEST_F(FlipTest, BackwardTopBottomAndInvertedStylesMirrorThePage) {
  auto t = flip(kt::flipStyleBackward | kt::flipStyleTopBottom | kt::flipStyleInvertedPerspective);
  const double W = window().bounds().width();
  auto layers = pages(*t);
  auto front = layers[2];
  EXPECT_EQ(front->anchorPoint(), (gfx::Point{0.5, 1}));
  EXPECT_EQ(front->contents()->size().width, W + 2);
  EXPECT_GT(t->animationView()->layer()->sublayerTransform().m34, 0);
  EXPECT_TRUE(layers[0]->sublayers().empty());  // no flat shadows
  EXPECT_EQ(front->sublayers().at(0)->kind(), gfx::LayerKind::Gradient);
  wait(0.1);  // top and bottom turn up, backward turns the other way
  EXPECT_LT(turnAboutX(front->presentation().transform), -0.2);
}

TEST_F(FlipTest, AnOddWidthGivesTheLeftHalfThePixelRoundedAwayFromZero) {
  // 1023.5 points at scale 2: half is 1023.5 pixels, rounded up to 1024.
  const gfx::Rect area(0, 0, 1023.5, 300);
  auto holder = ui::View::create(area);
  window().addSubview(holder);
  source = halves(area, kRed, kGreen);
  destination = halves(area, kBlue, kYellow);
  holder->addSubview(source);
  auto t = std::make_shared<VTFlipTransition>(source, destination, 0.3, 0, kt::transitionActionNone);
  t->perform(nullptr);
  auto layers = pages(*t);
  EXPECT_EQ(layers[1]->position(), (gfx::Point{512, 150}));
  EXPECT_EQ(layers[1]->bounds().size, (gfx::Size{512, 300}));
  EXPECT_EQ(layers[2]->bounds().size, (gfx::Size{511.5, 302}));
}

TEST_F(FlipTest, TheEndShowsTheDestinationAndComesEvenWhenNothingCanBeShown) {
  flip(kt::flipStyleDefault, kt::transitionActionSwapViews);
  wait(0.4);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(destination->superview(), &window());
  EXPECT_EQ(source->superview(), nullptr);
  auto shot = screenshot("flip-done");
  ASSERT_NE(shot, nullptr);
  const double W = window().bounds().width(), H = window().bounds().height();
  EXPECT_EQ(colorAt(*shot, {W / 4, H / 2}), kBlue);
  EXPECT_EQ(colorAt(*shot, {W * 3 / 4, H / 2}), kYellow);

  // Views outside any window, and an empty area: the end still comes, once each.
  int ends = 0;
  auto lone = std::make_shared<VTFlipTransition>(ui::View::create(gfx::Rect(0, 0, 10, 10)), ui::View::create(), 0.3, 0,
                                                 kt::transitionActionNone);
  lone->perform([&](bool) { ++ends; });
  auto empty = std::make_shared<VTFlipTransition>(ui::View::create(), ui::View::create(), 0.3, 0, 0);
  empty->perform([&](bool) { ++ends; });
  EXPECT_EQ(ends, 0);
  wait(0.05);
  EXPECT_EQ(ends, 2);
}

TEST_F(FlipTest, HalvesThatGiveNoSnapshotFlipAsEmptyPagesToTheEnd) {
  // Under a pixel across the hinge (the first half rounds to nothing), and halves wider than the
  // largest bitmap.
  const gfx::Rect thin(0, 0, 0.4, 300), wide(0, 0, 40000, 100);
  int ends = 0;
  std::vector<std::shared_ptr<VTFlipTransition>> flips;
  for (const gfx::Rect& area : {thin, wide}) {
    auto holder = ui::View::create(area);
    window().addSubview(holder);
    auto from = halves(area, kRed, kGreen);
    holder->addSubview(from);
    flips.push_back(std::make_shared<VTFlipTransition>(from, halves(area, kBlue, kYellow), 0.3, 0,
                                                       kt::transitionActionNone));
    flips.back()->perform([&ends](bool finished) { ends += finished ? 1 : 100; });
  }
  auto layers = pages(*flips[1]);
  ASSERT_EQ(layers.size(), 3u);
  EXPECT_EQ(layers[1]->contents(), nullptr);
  EXPECT_EQ(layers[1]->bounds().size, (gfx::Size{20000, 100}));
  EXPECT_EQ(layers[2]->bounds().size, (gfx::Size{20000, 102}));
  EXPECT_EQ(pages(*flips[0])[1]->bounds().size, (gfx::Size{0, 300}));
  wait(0.4);
  EXPECT_EQ(ends, 2);
  EXPECT_FALSE(flips[0]->sourceView()->isHidden());
}

class FlipNavigationTest : public FlipTest {
 protected:
  void SetUp() override {
    home = std::make_shared<ui::ViewController>();
    home->view()->setBackgroundColor(colour(kRed));
    nav = std::make_shared<ui::NavigationController>(home);
    window().setRootViewController(nav);
    render();
  }
  std::shared_ptr<ui::ViewController> home;
  std::shared_ptr<ui::NavigationController> nav;
};

TEST_F(FlipNavigationTest, PushAndPopChangeTheStackAtTheEnd) {
  auto next = std::make_shared<ui::ViewController>();
  kt::pushViewController(*nav, next, kt::flipStyleDefault);
  wait(0.2);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  wait(0.15);
  ASSERT_EQ(nav->viewControllers().size(), 2u);
  EXPECT_FALSE(home->view()->isHidden());
  EXPECT_EQ(kt::popViewControllerWithFlipStyle(*nav, kt::flipStyleBackward), home);
  EXPECT_EQ(nav->viewControllers().size(), 2u);
  wait(0.35);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(kt::popViewControllerWithFlipStyle(*nav, kt::flipStyleDefault), nullptr);
}

TEST_F(FlipNavigationTest, PresentAndDismissOverTheWholeScreen) {
  auto sheet = std::make_shared<ui::ViewController>();
  int presented = 0, dismissed = 0;
  kt::presentViewController(*home, sheet, kt::flipStyleDefault, [&](bool) { ++presented; });
  EXPECT_TRUE(nav->view()->isHidden());
  wait(0.4);
  EXPECT_EQ(presented, 1);
  EXPECT_EQ(home->presentedViewController(), sheet.get());
  kt::dismissViewControllerWithFlipStyle(*home, kt::flipStyleBackward, [&](bool) { ++dismissed; });
  wait(0.4);
  EXPECT_EQ(dismissed, 1);
  EXPECT_EQ(home->presentedViewController(), nullptr);
  EXPECT_FALSE(nav->view()->isHidden());
  try {
    kt::dismissViewControllerWithFlipStyle(*home, kt::flipStyleDefault, nullptr);
    FAIL() << "no exception";
  } catch (const kt::TransitionException& e) {
    EXPECT_EQ(e.name(), "Invalid Operation");
  }
}

class FlipLookTest : public FlipTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(FlipLookTest, MidFlipThePageEdgeStandsBetweenTheCentreAndTheRight) {
  setDevice(GetParam());
  flip(kt::flipStyleDefault);
  wait(0.1);
  auto shot = screenshot("flip-first-half");
  ASSERT_NE(shot, nullptr);
  const double W = window().bounds().width(), H = window().bounds().height();
  // The still left half is the source's; the far right the destination's, in shadow.
  EXPECT_EQ(colorAt(*shot, {W / 4, H / 2}), kRed);
  uint32_t uncovered = colorAt(*shot, {W - 3, H / 2});
  EXPECT_GT(channel(uncovered, 16), 2 * channel(uncovered, 0));
  EXPECT_LT(channel(uncovered, 16), channel(kYellow, 16) - 20);
  // Walking left from the right edge: shaded yellow gives way to the green page at its edge.
  double edge = W - 3;
  while (edge > W / 2 && channel(colorAt(*shot, {edge, H / 2}), 16) > channel(colorAt(*shot, {edge, H / 2}), 8)) --edge;
  EXPECT_GT(edge, W / 2 + W * 0.05);
  EXPECT_LT(edge, W - W * 0.05);
  uint32_t page = colorAt(*shot, {(W / 2 + edge) / 2, H / 2});
  EXPECT_GT(channel(page, 8), 2 * channel(page, 16));
  wait(0.1);
  screenshot("flip-second-half");
}

INSTANTIATE_TEST_SUITE_P(BothTablets, FlipLookTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
