// The fold on the offscreen screen with the virtual clock: the halves and the snapshots it cuts,
// its layers and their motion at chosen moments, the end (also when nothing can be shown), the
// navigation push and pop, presenting and dismissing, and screenshots half-way.
#include "widgets/transitions/VTFoldTransition.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/core/Clock.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using kt::VTFoldTransition;

constexpr uint32_t kRed = 0xFFE02020, kGreen = 0xFF20A040, kBlue = 0xFF2040E0, kYellow = 0xFFE0C020;

gfx::Color colour(uint32_t argb) {
  return gfx::Color::rgba(((argb >> 16) & 255) / 255.0, ((argb >> 8) & 255) / 255.0, (argb & 255) / 255.0, 1);
}

// A view whose first (top or left) half is one colour and the second half another.
std::shared_ptr<ui::View> halves(const gfx::Rect& frame, uint32_t first, uint32_t second, bool leftRight = false) {
  auto v = ui::View::create(frame);
  v->setBackgroundColor(colour(first));
  double w = frame.width(), h = frame.height();
  auto lower = ui::View::create(leftRight ? gfx::Rect(w / 2, 0, w / 2, h) : gfx::Rect(0, h / 2, w, h / 2));
  lower->setBackgroundColor(colour(second));
  v->addSubview(lower);
  return v;
}

// A view whose next drawing takes `cost` seconds of the clock: a slow frame.
class SlowView : public ui::View {
 public:
  using ui::View::View;
  double cost = 0;
  void drawRect(gfx::Context&, const gfx::Rect&) override {
    core::Clock::advance(cost);
    cost = 0;
  }
};

double channel(uint32_t c, int shift) { return (c >> shift) & 255; }

class FoldTest : public support::ScreenTest {
 protected:
  // Folds a test leaves running end before the next test starts.
  void TearDown() override { wait(0.5); }

  // A fold from a red-over-green source filling the window to a blue-over-yellow destination.
  std::shared_ptr<VTFoldTransition> fold(uint64_t style, bool leftRight = false) {
    source = halves(window().bounds(), kRed, kGreen, leftRight);
    destination = halves(window().bounds(), kBlue, kYellow, leftRight);
    window().addSubview(source);
    render();
    auto t = std::make_shared<VTFoldTransition>(source, destination, 0.3, style, kt::transitionActionNone);
    t->perform([this](bool finished) {
      ++completions;
      lastFinished = finished;
    });
    return t;
  }
  // The layers under the animation view: base, upper fold, its two pages, lower fold, its pages.
  struct Tree {
    std::shared_ptr<gfx::Layer> base, upper, moving1, folding1, lower, folding2, moving2;
  };
  static Tree tree(const VTFoldTransition& t) {
    Tree r;
    r.base = t.animationView()->layer()->sublayers().at(0);
    r.upper = r.base->sublayers().at(0);
    r.moving1 = r.upper->sublayers().at(0);
    r.folding1 = r.upper->sublayers().at(1);
    r.lower = r.upper->sublayers().at(2);
    r.folding2 = r.lower->sublayers().at(0);
    r.moving2 = r.lower->sublayers().at(1);
    return r;
  }
  // The angle a presentation transform turns about x (or y).
  static double turnAboutX(const gfx::Transform3D& m) { return std::atan2(m.m23, m.m22); }
  static double turnAboutY(const gfx::Transform3D& m) { return std::atan2(-m.m13, m.m11); }

  std::shared_ptr<ui::View> source, destination;
  int completions = 0;
  bool lastFinished = false;
};

TEST_F(FoldTest, TheStyleChoosesTheTimingAndThePropertiesStartAtTheirDefaults) {
  auto v = ui::View::create();
  VTFoldTransition plain(v, v, 0.3, kt::foldStyleDefault, 0);
  EXPECT_EQ(plain.timingCurve(), kt::timingCurveEaseOut);
  VTFoldTransition reverse(v, v, 0.3, kt::foldStyleReverse | kt::foldStyleLeftRight, 0);
  EXPECT_EQ(reverse.timingCurve(), kt::timingCurveEaseIn);
  EXPECT_EQ(plain.foldShadowOpacity(), 0.5);
  EXPECT_EQ(plain.foldShadowAdjustmentFactor(), 0.9);
  EXPECT_EQ(plain.foldShadowColor(), gfx::Color::black());
}

TEST_F(FoldTest, DepthKeyframesComeSixtyASecondAndEndExactly) {
  auto down = VTFoldTransition::depthKeyframes(1004, 0.3, false);
  ASSERT_EQ(down.size(), 19u);
  EXPECT_EQ(down.front(), 1004);
  EXPECT_EQ(down.back(), 0);
  EXPECT_NEAR(down[9], 1004 * std::cos(M_PI / 4), 0.01);
  auto up = VTFoldTransition::depthKeyframes(1004, 0.3, true);
  EXPECT_EQ(up.front(), 0);
  EXPECT_NEAR(up.back(), 1004, 1e-3);
  EXPECT_EQ(VTFoldTransition::depthKeyframes(1004, 0, false), (std::vector<double>{0}));
  EXPECT_EQ(VTFoldTransition::depthKeyframes(1004, 0, true), (std::vector<double>{0}));
}

TEST_F(FoldTest, TheDefaultFoldBuildsItsPagesAndPerspectiveFromTheHalves) {
  // 768 by 1004 at scale 2: halves of 502.
  source = halves(gfx::Rect(0, 0, 768, 1004), kRed, kGreen);
  window().addSubview(source);
  destination = halves(gfx::Rect(0, 0, 768, 1004), kBlue, kYellow);
  destination->setBounds(gfx::Rect(0, 0, 50, 50));  // the fold gives it the area's size
  destination->setCenter({384, 502});
  auto t = std::make_shared<VTFoldTransition>(source, destination, 0.3, 0, kt::transitionActionNone);
  t->perform(nullptr);
  EXPECT_EQ(destination->bounds(), gfx::Rect(0, 0, 768, 1004));
  EXPECT_TRUE(source->isHidden());
  ASSERT_NE(t->animationView(), nullptr);
  EXPECT_EQ(t->animationView()->superview(), &window());
  EXPECT_EQ(window().subviews().front(), t->animationView());
  Tree l = tree(*t);
  EXPECT_NEAR(l.base->sublayerTransform().m34, -1 / (4.6666667 * 502), 1e-12);
  EXPECT_EQ(l.upper->kind(), gfx::LayerKind::Transform);
  EXPECT_EQ(l.lower->kind(), gfx::LayerKind::Transform);
  EXPECT_EQ(l.upper->anchorPoint(), (gfx::Point{0.5, 0}));
  EXPECT_EQ(l.upper->position(), (gfx::Point{384, 0}));
  EXPECT_EQ(l.lower->position(), (gfx::Point{384, 502}));
  EXPECT_EQ(l.folding1->bounds().size, (gfx::Size{770, 502}));
  EXPECT_EQ(l.moving1->anchorPoint(), (gfx::Point{0.5, 1}));
  EXPECT_EQ(l.moving2->position(), (gfx::Point{384, 502}));
  // The folding pages are the source's halves with a clear column each side.
  EXPECT_EQ(l.folding1->contents()->size(), (gfx::Size{770, 502}));
  EXPECT_EQ(l.folding1->contents()->pixelAt(0, 10) >> 24, 0u);
  EXPECT_EQ(l.folding1->contents()->pixelAt(100, 10), kRed);
  EXPECT_EQ(l.folding2->contents()->pixelAt(100, 10), kGreen);
  EXPECT_EQ(l.moving1->contents()->pixelAt(100, 10), kBlue);
  EXPECT_EQ(l.moving2->contents()->pixelAt(100, 10), kYellow);

  // Half-way on the clock: the upper fold has turned up, the lower one twice as far back.
  wait(0.15);
  double upper = turnAboutX(l.upper->presentation().transform);
  double lower = turnAboutX(l.lower->presentation().transform);
  EXPECT_LT(upper, -0.3);
  EXPECT_GT(upper, -M_PI / 2);
  EXPECT_NEAR(lower, -2 * upper, 1e-6);
  // The moving pages turn against the upper fold: they lie flat.
  EXPECT_NEAR(turnAboutX(l.moving1->presentation().transform), -upper, 1e-6);
  double depth = l.base->presentation().bounds.height();
  EXPECT_NEAR(depth, 1004 * std::cos(-upper), 1004 * 0.02);
  EXPECT_EQ(completions, 0);
}

TEST_F(FoldTest, LeftAndRightHalvesTurnAboutYWithTheSignsInverted) {
  auto t = fold(kt::foldStyleLeftRight, true);
  Tree l = tree(*t);
  const double W = window().bounds().width(), H = window().bounds().height();
  EXPECT_EQ(l.upper->anchorPoint(), (gfx::Point{0, 0.5}));
  EXPECT_EQ(l.upper->position(), (gfx::Point{0, H / 2}));
  EXPECT_EQ(l.folding1->bounds().size, (gfx::Size{W / 2, H + 2}));
  EXPECT_NEAR(l.base->sublayerTransform().m34, -1 / (4.6666667 * W / 2), 1e-12);
  wait(0.15);
  double upper = turnAboutY(l.upper->presentation().transform);
  EXPECT_GT(upper, 0.3);
  EXPECT_NEAR(l.base->presentation().bounds.width(), W * std::cos(upper), W * 0.02);
  EXPECT_EQ(l.base->presentation().bounds.height(), H);
  wait(0.3);
  EXPECT_EQ(completions, 1);
}

TEST_F(FoldTest, ReverseRunsFromFoldedToFlat) {
  auto t = fold(kt::foldStyleReverse);
  Tree l = tree(*t);
  // The destination folds: its halves are the folding pages.
  EXPECT_EQ(l.folding1->contents()->pixelAt(100, 10), kBlue);
  EXPECT_EQ(l.moving1->contents()->pixelAt(100, 10), kRed);
  wait(0.01);
  EXPECT_LT(l.base->presentation().bounds.height(), 100);
  wait(0.29);
  EXPECT_NEAR(l.base->presentation().bounds.height(), 768, 1);
  EXPECT_NEAR(turnAboutX(l.upper->presentation().transform), 0, 1e-6);
}

TEST_F(FoldTest, PerpendicularMovingPagesAreTurnedOnceAndCarryTheirOwnShadows) {
  auto t = fold(kt::foldStylePerpendicular);
  Tree l = tree(*t);
  EXPECT_NEAR(turnAboutX(l.moving2->transform()), -M_PI / 2, 1e-9);
  EXPECT_NEAR(turnAboutX(l.moving1->transform()), M_PI / 2, 1e-9);
  EXPECT_EQ(l.moving1->bounds().width(), window().bounds().width() + 2);
  ASSERT_EQ(l.moving1->sublayers().size(), 1u);
  auto shadow = l.moving1->sublayers()[0];
  EXPECT_EQ(shadow->frame(), l.moving1->bounds().insetBy(1, 0));
  wait(0.15);
  double mid = shadow->presentation().opacity;
  EXPECT_GT(mid, 0);
  EXPECT_LT(mid, 0.5);
  EXPECT_NEAR(turnAboutX(l.moving1->presentation().transform), M_PI / 2, 1e-9);  // not animated
}

TEST_F(FoldTest, AnOddDepthGivesTheFirstHalfTheRoundedPixelAndOverlapsTheSecond) {
  ui::Screen::main().setMode({1024, 768}, 1);
  source = halves(gfx::Rect(0, 0, 500, 701), kRed, kGreen);
  window().addSubview(source);
  destination = ui::View::create();
  auto t = std::make_shared<VTFoldTransition>(source, destination, 0.3, 0, kt::transitionActionNone);
  t->perform(nullptr);
  Tree l = tree(*t);
  EXPECT_EQ(l.folding1->contents()->size(), (gfx::Size{502, 351}));
  EXPECT_EQ(l.folding2->contents()->size(), (gfx::Size{502, 350}));
  EXPECT_EQ(l.moving2->contents()->size(), (gfx::Size{500, 351}));  // one point higher and deeper
  EXPECT_EQ(l.folding2->bounds().height(), 350);
  EXPECT_EQ(l.lower->position().y, 351);
  ui::Screen::main().reset();

  // A perspective set beforehand is used as it is, whatever the depth.
  auto set = std::make_shared<VTFoldTransition>(source, ui::View::create(), 0.3, 0, kt::transitionActionNone);
  set->setM34(-0.002f);
  set->perform(nullptr);
  EXPECT_EQ(tree(*set).base->sublayerTransform().m34, static_cast<double>(-0.002f));
}

TEST_F(FoldTest, TheEndRemovesTheAnimationViewShowsTheSourceAndCallsBackOnce) {
  auto t = fold(0);
  auto animationView = t->animationView();
  wait(0.25);
  EXPECT_EQ(completions, 0);
  EXPECT_TRUE(source->isHidden());
  wait(0.1);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(lastFinished);
  EXPECT_EQ(animationView->superview(), nullptr);
  EXPECT_FALSE(source->isHidden());
  wait(0.5);
  EXPECT_EQ(completions, 1);
}

TEST_F(FoldTest, WithTheDisplayDrawingTheFoldStartsAfterASlowFirstFrameAndIsSeenWhole) {
  auto slow = std::make_shared<SlowView>(gfx::Rect(0, 0, 20, 20));
  window().addSubview(slow);
  display().start();
  auto t = fold(kt::foldStyleDefault);
  // The first frame after the fold's commit takes half a second.
  slow->cost = 0.5;
  slow->setNeedsDisplay();
  auto base = tree(*t).base;
  const double depth = window().bounds().height();
  std::vector<double> shown;  // the depth each frame drew, in order
  uint64_t frames = display().frameCount();
  for (int step = 0; step < 120 && completions == 0; ++step) {
    wait(1.0 / 60);
    if (display().frameCount() == frames) continue;
    frames = display().frameCount();
    shown.push_back(base->presentation().bounds.height());
  }
  display().stop();
  ASSERT_EQ(completions, 1);
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown.front(), depth);  // the slow frame shows the start
  int between = 0;
  for (size_t i = 1; i < shown.size(); ++i) {
    EXPECT_LE(shown[i], shown[i - 1]);
    between += shown[i] > 0 && shown[i] < depth;
  }
  // 0.3 s at 60 frames a second, every one of them on show.
  EXPECT_GE(between, 16);
}

TEST_F(FoldTest, TheEndComesEvenWhenNothingCanBeAnimated) {
  int ends = 0;
  auto count = [&ends](bool finished) { ends += finished ? 1 : 0; };
  // Neither view in a tree: nothing is hidden and the caller still hears the end.
  auto loneSource = halves(gfx::Rect(0, 0, 300, 200), kRed, kGreen);
  auto loneDestination = ui::View::create();
  VTFoldTransition::transitionFromView(loneSource, loneDestination, 0.3, 0, kt::transitionActionNone, count);
  EXPECT_FALSE(loneSource->isHidden());
  EXPECT_FALSE(loneDestination->isHidden());
  // An empty area.
  auto flat = ui::View::create(gfx::Rect(0, 0, 300, 0));
  window().addSubview(flat);
  VTFoldTransition::transitionFromView(flat, ui::View::create(), 0.3, 0, kt::transitionActionNone, count);
  // A tree that is not on screen animates all the same.
  auto offscreen = ui::View::create(gfx::Rect(0, 0, 400, 300));
  auto inner = halves(gfx::Rect(0, 0, 400, 300), kRed, kGreen);
  offscreen->addSubview(inner);
  VTFoldTransition::transitionFromView(inner, ui::View::create(), 0.3, 0, kt::transitionActionNone, count);
  EXPECT_EQ(ends, 0);  // never before perform has returned
  ASSERT_TRUE(runUntil([&] { return ends >= 2; }));
  wait(0.35);
  EXPECT_EQ(ends, 3);
  EXPECT_FALSE(inner->isHidden());
  EXPECT_EQ(offscreen->subviews().size(), 1u);
}

TEST_F(FoldTest, HalvesThatGiveNoSnapshotFoldAsEmptyPagesToTheEnd) {
  // Under a pixel across the centre line, and halves wider than the largest bitmap.
  int ends = 0;
  std::vector<std::shared_ptr<VTFoldTransition>> folds;
  for (const gfx::Rect& area : {gfx::Rect(0, 0, 300, 0.4), gfx::Rect(0, 0, 40000, 100)}) {
    auto holder = ui::View::create(area);
    window().addSubview(holder);
    auto from = halves(area, kRed, kGreen);
    holder->addSubview(from);
    folds.push_back(std::make_shared<VTFoldTransition>(from, halves(area, kBlue, kYellow), 0.3, 0,
                                                       kt::transitionActionNone));
    folds.back()->perform([&ends](bool finished) { ends += finished ? 1 : 100; });
  }
  EXPECT_EQ(tree(*folds[1]).folding1->bounds().size, (gfx::Size{40002, 50}));
  wait(0.4);
  EXPECT_EQ(ends, 2);
}

// Near its end, full screen on 1920 x 1080 (1.40625) as at 2, the folded screen shows only
// between the hinges, a sliver as deep as the fold's depth there, and not a row of it once the
// depth is 0 and the end is held until the completion runs. Frames 2.5 ms apart on the held clock.
TEST_F(FoldTest, NearItsEndTheFoldedScreenShowsOnlyBetweenTheHinges) {
  for (double k : {1.40625, 2.0}) {
    SCOPED_TRACE("at " + std::to_string(k));
    ui::Screen::main().setDrawingScale(k);
    completions = 0;
    auto t = fold(kt::foldStyleDefault);
    Tree l = tree(*t);
    const double mid = window().bounds().height() / 2 * k;
    wait(0.27);
    int held = 0;
    for (int step = 0; step < 16; ++step) {
      core::Clock::advance(0.0025);
      auto shot = display().snapshot();  // the loop not run: the completion waits
      ASSERT_NE(shot, nullptr);
      ASSERT_EQ(completions, 0);
      const double half = l.base->presentation().bounds.height() / 2 * k;
      held += half == 0;
      std::vector<int> outside;
      for (int y = 0; y < shot->pixelHeight(); ++y) {
        if (half > 0 && y + 1 >= mid - half - 1 && y <= mid + half + 1) continue;
        for (int x = 0; x < shot->pixelWidth(); ++x) {
          const uint32_t c = shot->pixelAt(x, y);
          const double r = channel(c, 16), g = channel(c, 8), b = channel(c, 0);
          if ((r > 2 * b + 20 && r > g + 40) || (g > 2 * r + 20 && g > b + 20)) {
            outside.push_back(y);
            break;
          }
        }
      }
      EXPECT_EQ(outside, std::vector<int>{}) << "rows of the folded screen, " << step << " steps on, depth " << half * 2 / k;
    }
    EXPECT_GE(held, 3);
    wait(0.2);
    EXPECT_EQ(completions, 1);
    source->removeFromSuperview();
  }
  ui::Screen::main().setDrawingScale(std::nullopt);
}

class FoldNavigationTest : public FoldTest {
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

TEST_F(FoldNavigationTest, APushFoldsFirstAndPushesWithoutTheBarsAnimationAtTheEnd) {
  window().setBackgroundColor(gfx::Color::black());
  auto staff = std::make_shared<ui::ViewController>();
  staff->view()->setBackgroundColor(colour(kBlue));
  kt::pushViewController(*nav, staff, kt::foldStyleDefault);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_TRUE(home->view()->isHidden());
  wait(0.2);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  // Beside the turned pages the black window shows through: the navigation has no colour of its
  // own.
  auto shot = screenshot("fold-push");
  ASSERT_TRUE(shot);
  const gfx::Rect content = nav->view()->convertRectTo(staff->view()->frame(), nullptr);
  int white = 0, black = 0;
  for (double y = content.minY(); y < content.maxY(); y += 2) {
    for (double x = content.minX(); x < content.maxX(); x += 2) {
      white += colorAt(*shot, {x, y}) == 0xFFFFFFFFu;
      black += colorAt(*shot, {x, y}) == 0xFF000000u;
    }
  }
  EXPECT_EQ(white, 0);
  EXPECT_GT(black, 500);
  wait(0.15);
  ASSERT_EQ(nav->viewControllers().size(), 2u);
  EXPECT_EQ(nav->topViewController(), staff.get());
  EXPECT_FALSE(nav->isTransitioning());
  EXPECT_FALSE(home->view()->isHidden());
  EXPECT_FALSE(staff->view()->isHidden());

  // And back: the screen below comes back at once, the stack changes at the end.
  auto below = kt::popViewControllerWithFoldStyle(*nav, kt::foldStyleReverse);
  EXPECT_EQ(below, home);
  EXPECT_EQ(nav->viewControllers().size(), 2u);
  wait(0.35);
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(kt::popViewControllerWithFoldStyle(*nav, kt::foldStyleDefault), nullptr);
}

TEST_F(FoldNavigationTest, DismissingWithoutAPresentedControllerIsRefused) {
  try {
    kt::dismissViewControllerWithFoldStyle(*home, kt::foldStyleDefault, nullptr);
    FAIL() << "no exception";
  } catch (const kt::TransitionException& e) {
    EXPECT_EQ(e.name(), "Invalid Operation");
  }
}

TEST_F(FoldNavigationTest, PresentingAndDismissingFoldOverTheWholeScreen) {
  auto sheet = std::make_shared<ui::ViewController>();
  sheet->view()->setBackgroundColor(colour(kYellow));
  home->setModalPresentationStyle(ui::ModalPresentationStyle::FormSheet);
  int presented = 0, dismissed = 0;
  kt::presentViewController(*home, sheet, kt::foldStyleDefault, [&](bool) { ++presented; });
  EXPECT_TRUE(nav->view()->isHidden());  // the whole screen folds away
  wait(0.4);
  EXPECT_EQ(presented, 1);
  EXPECT_EQ(home->presentedViewController(), sheet.get());
  EXPECT_EQ(home->modalPresentationStyle(), ui::ModalPresentationStyle::FormSheet);
  kt::dismissViewControllerWithFoldStyle(*home, kt::foldStyleReverse, [&](bool) { ++dismissed; });
  EXPECT_TRUE(nav->view()->isHidden());  // uncovered by the fold
  wait(0.1);
  EXPECT_EQ(home->presentedViewController(), nullptr);
  EXPECT_TRUE(nav->view()->isHidden());
  wait(0.3);
  EXPECT_EQ(dismissed, 1);
  EXPECT_FALSE(nav->view()->isHidden());
}

class FoldLookTest : public FoldTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(FoldLookTest, HalfWayTheShadedHalvesMeetTheIncomingOnes) {
  setDevice(GetParam());
  auto t = fold(0);
  Tree l = tree(*t);
  wait(0.15);
  auto shot = screenshot("fold-half-way");
  ASSERT_NE(shot, nullptr);
  const double W = window().bounds().width(), D = window().bounds().height();
  const double depth = l.base->presentation().bounds.height();
  ASSERT_GT(depth, D * 0.1);
  ASSERT_LT(depth, D * 0.9);
  const double hinge = (D - depth) / 2;  // where the upper fold's edge has come down to
  const double x = W / 2;
  // Above the hinge the destination's upper half, below the folded area its lower half.
  EXPECT_EQ(colorAt(*shot, {x, hinge / 2}), kBlue);
  EXPECT_EQ(colorAt(*shot, {x, D - hinge / 2}), kYellow);
  // The folding halves, shaded: darker than the source's colours, but theirs.
  uint32_t upper = colorAt(*shot, {x, hinge + depth * 0.25});
  uint32_t lower = colorAt(*shot, {x, D - hinge - depth * 0.25});
  EXPECT_LT(channel(upper, 16), channel(kRed, 16) - 30);
  EXPECT_GT(channel(upper, 16), 3 * channel(upper, 8));
  EXPECT_LT(channel(lower, 8), channel(kGreen, 8) - 20);
  EXPECT_GT(channel(lower, 8), 2 * channel(lower, 16));
  // The edge between them lies at the hinge.
  EXPECT_EQ(colorAt(*shot, {x, hinge - 3}), kBlue);
  EXPECT_GT(channel(colorAt(*shot, {x, hinge + 3}), 16), 3 * channel(colorAt(*shot, {x, hinge + 3}), 0));
  EXPECT_EQ(colorAt(*shot, {x, D - hinge + 3}), kYellow);
  // In perspective the ridge lies farther away than the hinges: narrower, by as much each side.
  auto edges = [&](double y) {
    double left = 0, right = W;
    while (left < W / 2 && colorAt(*shot, {left + 0.25, y}) == 0xFFFFFFFFu) left += 0.5;
    while (right > W / 2 && colorAt(*shot, {right - 0.25, y}) == 0xFFFFFFFFu) right -= 0.5;
    return std::pair{left, right};
  };
  auto [ridgeLeft, ridgeRight] = edges(D / 2 - 2);
  EXPECT_GT(ridgeLeft, W * 0.02);
  EXPECT_NEAR(ridgeLeft, W - ridgeRight, 1.5);
  auto [hingeLeft, hingeRight] = edges(hinge + 2);
  EXPECT_LT(hingeLeft, ridgeLeft);
  EXPECT_NEAR(hingeLeft, W - hingeRight, 1.5);
  wait(0.2);
  EXPECT_EQ(completions, 1);
  screenshot("fold-done");
}

INSTANTIATE_TEST_SUITE_P(BothTablets, FoldLookTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
