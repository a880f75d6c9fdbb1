// The four quad transitions: how their time runs and ends, and what their frames show, read back
// from the framebuffer at chosen times.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "GLScene.h"
#include "widgets/gltransitions/DoorsTransition.h"
#include "widgets/gltransitions/FlipTransition.h"
#include "widgets/gltransitions/RotateTransition.h"
#include "widgets/gltransitions/Switch3DTransition.h"

namespace {

constexpr double kPi = std::numbers::pi;
// Rates of the driving angles, radians per second.
constexpr double kSwitchRate = kPi * 1.3, kRotateRate = kPi / 2 * 1.3, kFlipRate = kPi * 1.2;

// Each picture has four quadrants of its own colours, so a probe tells which picture shows, which
// half and which way up.
struct Picture {
  uint32_t topLeft, topRight, bottomLeft, bottomRight;
};
constexpr Picture kBefore = {0xFFFF0000, 0xFFFFFF00, 0xFFFF00FF, 0xFFFF8000};
constexpr Picture kAfter = {0xFF0000FF, 0xFF00FFFF, 0xFF00FF00, 0xFF008080};
// The texture around a snapshot that does not fill it.
constexpr uint32_t kOutside = 0xFFFFFFFF;

// Probe points as fractions from the top left, well inside each quadrant of a full picture.
constexpr double kNear = 0.25, kFar = 0.75;

class SimpleTransitions : public support::GLSceneTest {
 protected:
  void SetUp() override {
    GLSceneTest::SetUp();
    makePictures();
  }

  void makePictures() {
    m_before = makeTexture(256, painter(kBefore));
    m_after = makeTexture(256, painter(kAfter));
  }

  // A snapshot that fills three quarters of its texture's width and height, upright and
  // bottom-aligned as the transition view lays it out.
  static std::function<uint32_t(double, double)> painter(Picture p) {
    return [p](double u, double v) {
      if (u > 0.75 || v < 0.25) return kOutside;
      const bool left = u < 0.375, top = v > 0.625;
      return top ? (left ? p.topLeft : p.topRight) : (left ? p.bottomLeft : p.bottomRight);
    };
  }
  static kt::GLTexCoords snapshotCoords() { return {0, 0.25f, 0.75f, 0.25f, 0, 1, 0.75f, 1}; }

  void start(kt::GLTransition& transition) {
    transition.setBasicTexCoords(snapshotCoords());
    transition.initTransition();
  }
  // One step of `dt` seconds and its frame; whether the step finished the transition.
  bool frame(kt::GLTransition& transition, double dt) {
    const bool finished = transition.calc(dt);
    draw(transition, m_before, m_after);
    return finished;
  }

  // The picture fills the screen at full brightness (scaled by `level`).
  void expectWhole(const Picture& p, double level = 1.0) {
    EXPECT_TRUE(support::nearColour(at(kNear, kNear), support::shade(p.topLeft, level))) << std::hex << at(kNear, kNear);
    EXPECT_TRUE(support::nearColour(at(kFar, kNear), support::shade(p.topRight, level))) << std::hex << at(kFar, kNear);
    EXPECT_TRUE(support::nearColour(at(kNear, kFar), support::shade(p.bottomLeft, level))) << std::hex << at(kNear, kFar);
    EXPECT_TRUE(support::nearColour(at(kFar, kFar), support::shade(p.bottomRight, level))) << std::hex << at(kFar, kFar);
  }
  void expectAt(double fx, double fy, uint32_t colour, double level = 1.0) {
    EXPECT_TRUE(support::nearColour(at(fx, fy), support::shade(colour, level)))
        << "at (" << fx << ", " << fy << "): " << std::hex << at(fx, fy) << " for " << support::shade(colour, level);
  }

  GLuint m_before = 0, m_after = 0;
};

// Where a point in eye space lands on the screen, as a fraction of the width from the left (or of
// the height from the bottom), under a symmetric frustum of half-size `half` at `zNear`.
double onScreen(double coordinate, double z, double half, double zNear) {
  return (1 + coordinate * zNear / (-z * half)) / 2;
}

// Runs steps of `dt` until the transition answers true; the number of steps, or -1 when it never
// does within `limit` steps.
int stepsToFinish(kt::GLTransition& transition, double dt, int limit = 1000) {
  for (int step = 1; step <= limit; ++step) {
    if (transition.calc(dt)) return step;
  }
  return -1;
}

TEST_F(SimpleTransitions, TimesRunAtTheirRatesAndEndOnce) {
  // A 60 Hz display: 0.77 s is 46.2 frames, so the 47th step finishes.
  kt::Switch3DTransition switch3D;
  EXPECT_EQ(switch3D.transitionType(), 0);
  start(switch3D);
  EXPECT_FALSE(switch3D.calc(0));
  EXPECT_EQ(switch3D.animationTime(), 0.0f);
  EXPECT_FALSE(switch3D.calc(0.5));
  EXPECT_FLOAT_EQ(switch3D.animationTime(), static_cast<float>(0.5 * kSwitchRate));
  start(switch3D);
  EXPECT_EQ(switch3D.animationTime(), 0.0f) << "set-up starts the time over";
  EXPECT_EQ(stepsToFinish(switch3D, 1.0 / 60), 47);
  EXPECT_EQ(switch3D.animationTime(), static_cast<float>(kPi)) << "the last step is cut back to pi";

  kt::DoorsTransition doors;
  EXPECT_EQ(doors.transitionType(), 0);
  start(doors);
  EXPECT_EQ(stepsToFinish(doors, 1.0 / 60), 47);
  EXPECT_EQ(doors.animationTime(), static_cast<float>(kPi));
  start(doors);
  EXPECT_TRUE(doors.calc(5));
  EXPECT_EQ(doors.animationTime(), static_cast<float>(kPi));

  // The card's angle runs at half the rate to pi/2 and is not cut back.
  kt::RotateTransition rotate;
  start(rotate);
  EXPECT_FALSE(rotate.calc(0.5));
  EXPECT_FLOAT_EQ(rotate.animationTime(), static_cast<float>(0.5 * kRotateRate));
  start(rotate);
  EXPECT_EQ(stepsToFinish(rotate, 1.0 / 60), 47);
  EXPECT_GT(rotate.animationTime(), kPi / 2);
  EXPECT_LT(rotate.animationTime(), kPi / 2 + kRotateRate / 60);
  start(rotate);
  EXPECT_TRUE(rotate.calc(2));
  EXPECT_FLOAT_EQ(rotate.animationTime(), static_cast<float>(2 * kRotateRate));
}

TEST_F(SimpleTransitions, FlipCountsUpForTypeOneAndDownOtherwise) {
  // 1/1.2 s in 0.01 s steps: the 84th step finishes.
  kt::FlipTransition flip;
  EXPECT_EQ(flip.transitionType(), 1);
  start(flip);
  EXPECT_EQ(flip.animationTime(), 0.0f);
  EXPECT_FALSE(flip.calc(0.25));
  EXPECT_FLOAT_EQ(flip.animationTime(), static_cast<float>(0.25 * kFlipRate));
  start(flip);
  EXPECT_EQ(stepsToFinish(flip, 0.01), 84);
  EXPECT_EQ(flip.animationTime(), static_cast<float>(kPi));

  for (int type : {0, 2, -1}) {
    SCOPED_TRACE(type);
    flip.setTransitionType(type);
    start(flip);
    EXPECT_EQ(flip.animationTime(), static_cast<float>(kPi));
    EXPECT_FALSE(flip.calc(0.25));
    EXPECT_FLOAT_EQ(flip.animationTime(), static_cast<float>(kPi - 0.25 * kFlipRate));
    start(flip);
    EXPECT_EQ(stepsToFinish(flip, 0.01), 84);
    EXPECT_EQ(flip.animationTime(), 0.0f);
  }
}

TEST_F(SimpleTransitions, Switch3DStartsOnTheBeforePictureAndEndsOnTheAfterPicture) {
  kt::Switch3DTransition transition;
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  expectWhole(kBefore);

  EXPECT_TRUE(frame(transition, 1));
  expectWhole(kAfter);
}

TEST_F(SimpleTransitions, Switch3DSwingsThePicturesApartSideways) {
  // At pi/2 both pictures are half dark and swung 1.1 to either side.
  for (int type : {0, 1}) {
    SCOPED_TRACE(type);
    kt::Switch3DTransition transition;
    transition.setTransitionType(type);
    start(transition);
    EXPECT_FALSE(frame(transition, kPi / 2 / kSwitchRate));
    // Type 0 sends the picture before to the right, type 1 to the left.
    const double beforeSide = type == 0 ? 0.7 : 0.3, afterSide = 1 - beforeSide;
    // Mostly the inner half of each picture is on the screen, with black between the two.
    expectAt(beforeSide, kFar, type == 0 ? kBefore.bottomLeft : kBefore.bottomRight, 0.5);
    expectAt(afterSide, kFar, type == 0 ? kAfter.bottomRight : kAfter.bottomLeft, 0.5);
    expectAt(0.5, kFar, 0xFF000000);
  }
}

TEST_F(SimpleTransitions, RotateTurnsTheCardOverAboutTheHorizontalAxis) {
  kt::RotateTransition transition;
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  expectWhole(kBefore);

  // Turned by 60 degrees: the top comes towards the viewer and the bottom goes away, so the
  // card is shorter, more so below; the picture before still faces the viewer.
  EXPECT_FALSE(frame(transition, std::asin(1.0 / 3) / kRotateRate));
  const double turn = kPi / 3;
  const double top = 1 - onScreen(2.5 * std::cos(turn), -10 + 2.5 * std::sin(turn), 0.025, 0.1);
  const double bottom = 1 - onScreen(-2.5 * std::cos(turn), -10 - 2.5 * std::sin(turn), 0.025, 0.1);
  expectAt(0.5, top - 0.02, 0xFF000000);
  expectAt(kNear, top + 0.02, kBefore.topLeft);
  expectAt(kFar, bottom - 0.02, kBefore.bottomRight);
  expectAt(0.5, bottom + 0.02, 0xFF000000);

  // Past the edge-on moment (107 degrees) the back of the card, the picture after, shows
  // upright, its top away from the viewer.
  EXPECT_FALSE(frame(transition, 0.3 / kRotateRate));
  expectAt(kNear, 0.45, kAfter.topLeft);
  expectAt(kFar, 0.55, kAfter.bottomRight);

  // The angle is not cut back, so the card ends as good as upright only in frame-sized steps:
  // the frame of the last one shows the picture after.
  int frames = 1;
  while (!frame(transition, 1.0 / 60)) ASSERT_LT(++frames, 60);
  EXPECT_GT(transition.animationTime(), kPi / 2);
  expectWhole(kAfter);
}

TEST_F(SimpleTransitions, DoorsOpenOverTheAfterPicture) {
  kt::DoorsTransition transition;
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  // Closed doors: the picture before, whole, at full brightness.
  expectWhole(kBefore);

  // Half way each door has turned by 90 * sin(pi/4)^3 degrees about its outer edge; the doors
  // and the picture behind them are both at half brightness.
  EXPECT_FALSE(frame(transition, kPi / 2 / kSwitchRate));
  const double s = std::sin(kPi / 4), turn = kPi / 2 * s * s * s;
  const double innerEdge = onScreen(-1 + std::cos(turn), -1 + std::sin(turn), 0.1, 0.1);
  ASSERT_GT(innerEdge, 0.25);
  ASSERT_LT(innerEdge, 0.4);
  expectAt(innerEdge - 0.05, kNear, kBefore.topLeft, 0.5);
  expectAt(innerEdge - 0.05, kFar, kBefore.bottomLeft, 0.5);
  expectAt(1 - innerEdge + 0.05, kNear, kBefore.topRight, 0.5);
  expectAt(1 - innerEdge + 0.05, kFar, kBefore.bottomRight, 0.5);
  expectAt(0.45, kNear, kAfter.topLeft, 0.5);
  expectAt(0.55, kFar, kAfter.bottomRight, 0.5);

  // Earlier, the doors are brighter than the picture behind them.
  start(transition);
  EXPECT_FALSE(frame(transition, 0.45 * kPi / kSwitchRate));
  const double s2 = std::pow(std::sin(0.225 * kPi), 2);
  expectAt(0.1, kFar, kBefore.bottomLeft, 1 - s2);
  expectAt(0.9, kFar, kBefore.bottomRight, 1 - s2);
  expectAt(0.52, kNear, kAfter.topRight, s2);

  // Open: the doors stand edge-on out of sight, the picture after alone at full brightness.
  EXPECT_TRUE(frame(transition, 1));
  expectWhole(kAfter);
}

TEST_F(SimpleTransitions, DoorsOfTypeOneAreThePictureAfter) {
  kt::DoorsTransition transition;
  transition.setTransitionType(1);
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  expectWhole(kAfter, 1.0);
  EXPECT_FALSE(frame(transition, kPi / 2 / kSwitchRate));
  expectAt(0.1, kNear, kAfter.topLeft, 0.5);
  expectAt(0.9, kFar, kAfter.bottomRight, 0.5);
  expectAt(0.45, kNear, kBefore.topLeft, 0.5);
  EXPECT_TRUE(frame(transition, 1));
  expectWhole(kBefore);
}

TEST_F(SimpleTransitions, FlipTurnsThePageFromRightToLeft) {
  // The tip of a leaf turned by `turned` degrees from lying on the right half.
  auto tip = [](double turned) {
    const double a = turned * kPi / 180;
    return onScreen(2.5 * std::cos(a), -10 + 2.5 * std::sin(a), 0.025, 0.1);
  };

  kt::FlipTransition transition;
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  expectWhole(kBefore);

  // A quarter of the turn's sine (t = pi/3): the leaf, the right half of the picture before,
  // stands 45 degrees off the right half, and the picture after shows beyond its tip.
  EXPECT_FALSE(frame(transition, kPi / 3 / kFlipRate));
  const double front = tip(45);
  ASSERT_GT(front, 0.9);
  ASSERT_LT(front, 0.95);
  expectAt(kNear, kNear, kBefore.topLeft);
  expectAt(0.6, kFar, kBefore.bottomRight);
  expectAt(front - 0.03, kNear, kBefore.topRight);
  expectAt(front + 0.03, kNear, kAfter.topRight);
  expectAt(front + 0.03, kFar, kAfter.bottomRight);

  // Three quarters (t = 2 pi / 3): the leaf's back, the left half of the picture after, stands 45
  // degrees off the left half, and the picture before shows beyond its tip.
  EXPECT_FALSE(frame(transition, kPi / 3 / kFlipRate));
  const double back = tip(135);
  ASSERT_GT(back, 0.05);
  ASSERT_LT(back, 0.1);
  expectAt(back - 0.03, kNear, kBefore.topLeft);
  expectAt(back + 0.03, kNear, kAfter.topLeft);
  expectAt(0.4, kFar, kAfter.bottomLeft);
  expectAt(kFar, kNear, kAfter.topRight);

  EXPECT_TRUE(frame(transition, 1));
  expectWhole(kAfter);
}

TEST_F(SimpleTransitions, FlipOfTypeZeroTurnsThePageBack) {
  kt::FlipTransition transition;
  transition.setTransitionType(0);
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  expectWhole(kBefore);

  // Counting down to 2 pi / 3: the leaf, the left half of the picture before, has come 45
  // degrees back off the left half over the picture after.
  EXPECT_FALSE(frame(transition, kPi / 3 / kFlipRate));
  expectAt(0.03, kNear, kAfter.topLeft);
  expectAt(0.4, kNear, kBefore.topLeft);
  expectAt(kFar, kFar, kBefore.bottomRight);

  EXPECT_TRUE(frame(transition, 1));
  expectWhole(kAfter);
}

TEST_F(SimpleTransitions, FlipOfAnotherTypeRunsBackwardsOverTheTypeOnePictures) {
  kt::FlipTransition transition;
  transition.setTransitionType(5);
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  expectWhole(kAfter);
  EXPECT_TRUE(frame(transition, 1));
  expectWhole(kBefore);
}

// Each transition half way, on the standard tablet and on the 12.9-inch one.
class SimpleTransitionScreens : public SimpleTransitions {
 protected:
  void shootAll(const std::string& device) {
    kt::Switch3DTransition switch3D;
    start(switch3D);
    frame(switch3D, 0.4 * kPi / kSwitchRate);
    screenshot(device + "-switch3d");

    kt::RotateTransition rotate;
    start(rotate);
    frame(rotate, 0.3 / kRotateRate);
    screenshot(device + "-rotate");
    expectAt(kNear, 0.45, kBefore.topLeft);

    kt::DoorsTransition doors;
    start(doors);
    frame(doors, 0.5 * kPi / kSwitchRate);
    screenshot(device + "-doors");
    expectAt(0.55, kNear, kAfter.topRight, 0.5);

    kt::FlipTransition flip;
    start(flip);
    frame(flip, 0.4 * kPi / kFlipRate);
    screenshot(device + "-flip");
    expectAt(kNear, kNear, kBefore.topLeft);
  }
};

TEST_F(SimpleTransitionScreens, HalfWayOnBothTablets) {
  shootAll("standard");
  setDevice(support::Device::LargeTablet);
  makeScene();
  makePictures();
  EXPECT_GT(width(), 1024);
  shootAll("large");
}

}  // namespace
