// The four quad transitions: how their time runs and ends, and what their frames show, read back
// at chosen times.
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

// Four quadrants of their own colours per picture, so a probe tells the picture, the half and
// which way up.
struct Picture {
  uint32_t topLeft, topRight, bottomLeft, bottomRight;
};
constexpr Picture kBefore = {0xFFFF0000, 0xFFFFFF00, 0xFFFF00FF, 0xFFFF8000};
constexpr Picture kAfter = {0xFF0000FF, 0xFF00FFFF, 0xFF00FF00, 0xFF008080};
// Probe fractions well inside the quadrants of a full picture.
constexpr double kNear = 0.25, kFar = 0.75;

// Where a point in eye space lands on the screen, as a fraction of the width from the left (of
// the height from the bottom), under a symmetric frustum of half-size `half` at `zNear`.
double onScreen(double coordinate, double z, double half, double zNear) {
  return (1 + coordinate * zNear / (-z * half)) / 2;
}

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
  // A snapshot filling three quarters of its texture's width and height, bottom-aligned as the
  // transition view lays it out, with white around it.
  static std::function<uint32_t(double, double)> painter(Picture p) {
    return [p](double u, double v) {
      if (u > 0.75 || v < 0.25) return 0xFFFFFFFFu;
      const bool left = u < 0.375, top = v > 0.625;
      return top ? (left ? p.topLeft : p.topRight) : (left ? p.bottomLeft : p.bottomRight);
    };
  }

  void start(kt::GLTransition& transition) {
    transition.setBasicTexCoords({0, 0.25f, 0.75f, 0.25f, 0, 1, 0.75f, 1});
    transition.initTransition();
  }
  // One step of `dt` seconds and its frame; whether the step finished the transition.
  bool frame(kt::GLTransition& transition, double dt) {
    const bool finished = transition.calc(dt);
    draw(transition, m_before, m_after);
    return finished;
  }
  // Steps of `dt` from the start until the transition finishes; how many it took.
  int run(kt::GLTransition& transition, double dt) {
    start(transition);
    int steps = 1;
    while (!transition.calc(dt) && steps < 1000) ++steps;
    return steps;
  }

  void expectAt(double fx, double fy, uint32_t colour, double level = 1.0) {
    const uint32_t want = support::shade(colour, level);
    EXPECT_TRUE(support::nearColour(at(fx, fy), want))
        << "at (" << fx << ", " << fy << "): " << std::hex << at(fx, fy) << " instead of " << want;
  }
  // The picture fills the screen, up to its corners.
  void expectWhole(const Picture& p) {
    for (double near : {0.03, kNear}) {
      const double far = 1 - near;
      expectAt(near, near, p.topLeft);
      expectAt(far, near, p.topRight);
      expectAt(near, far, p.bottomLeft);
      expectAt(far, far, p.bottomRight);
    }
  }

  GLuint m_before = 0, m_after = 0;
};

TEST_F(SimpleTransitions, TimesRunAtTheirRatesAndEndOnce) {
  // Starts at `from`, moves at `rate` for a step of 0.25 s, finishes on the `steps`-th step of
  // `dt` at `end` (pi, 0, or just past pi/2 when NaN).
  auto expectTimes = [this](auto& transition, float from, double rate, double dt, int steps, float end) {
    start(transition);
    EXPECT_EQ(transition.animationTime(), from);
    EXPECT_FALSE(transition.calc(0));
    EXPECT_FALSE(transition.calc(0.25));
    EXPECT_FLOAT_EQ(transition.animationTime(), static_cast<float>(from + 0.25 * rate));
    EXPECT_EQ(run(transition, dt), steps);
    if (std::isnan(end)) {
      EXPECT_GT(transition.animationTime(), kPi / 2);
      EXPECT_LT(transition.animationTime(), kPi / 2 + rate * dt);
    } else {
      EXPECT_EQ(transition.animationTime(), end);
    }
  };
  const auto pi = static_cast<float>(kPi);
  // At 60 Hz 1/1.3 s is 46.2 frames; Flip's 1/1.2 s is 83.3 steps of 0.01 s.
  kt::Switch3DTransition switch3D;
  EXPECT_EQ(switch3D.transitionType(), 0);
  expectTimes(switch3D, 0, kSwitchRate, 1.0 / 60, 47, pi);
  kt::DoorsTransition doors;
  EXPECT_EQ(doors.transitionType(), 0);
  expectTimes(doors, 0, kSwitchRate, 1.0 / 60, 47, pi);
  // The card is not cut back.
  kt::RotateTransition rotate;
  expectTimes(rotate, 0, kRotateRate, 1.0 / 60, 47, NAN);

  kt::FlipTransition flip;
  EXPECT_EQ(flip.transitionType(), 1);
  expectTimes(flip, 0, kFlipRate, 0.01, 84, pi);
  // Every other type counts down.
  for (int type : {0, 2, -1}) {
    SCOPED_TRACE(type);
    flip.setTransitionType(type);
    expectTimes(flip, pi, -kFlipRate, 0.01, 84, 0);
  }
}

TEST_F(SimpleTransitions, Switch3DPassesThePicturesInDepth) {
  for (int type : {0, 1}) {
    SCOPED_TRACE(type);
    kt::Switch3DTransition transition;
    transition.setTransitionType(type);
    start(transition);
    EXPECT_FALSE(frame(transition, 0));
    expectWhole(kBefore);
    // At pi/2 both are half dark and swung 1.1 apart, type 0 sending the picture before right:
    // mostly their inner halves are on the screen, black between them.
    EXPECT_FALSE(frame(transition, kPi / 2 / kSwitchRate));
    const double beforeSide = type == 0 ? 0.7 : 0.3;
    expectAt(beforeSide, kFar, type == 0 ? kBefore.bottomLeft : kBefore.bottomRight, 0.5);
    expectAt(1 - beforeSide, kFar, type == 0 ? kAfter.bottomRight : kAfter.bottomLeft, 0.5);
    expectAt(0.5, kFar, 0xFF000000);
    EXPECT_TRUE(frame(transition, 1));
    expectWhole(kAfter);
  }
}

TEST_F(SimpleTransitions, RotateTurnsTheCardOverAboutTheHorizontalAxis) {
  kt::RotateTransition transition;
  start(transition);
  EXPECT_FALSE(frame(transition, 0));
  expectWhole(kBefore);

  // At 60 degrees the top has come towards the viewer and the bottom gone away.
  EXPECT_FALSE(frame(transition, std::asin(1.0 / 3) / kRotateRate));
  const double c = 2.5 * std::cos(kPi / 3), s = 2.5 * std::sin(kPi / 3);
  const double top = 1 - onScreen(c, -10 + s, 0.025, 0.1), bottom = 1 - onScreen(-c, -10 - s, 0.025, 0.1);
  expectAt(0.5, top - 0.02, 0xFF000000);
  expectAt(kNear, top + 0.02, kBefore.topLeft);
  expectAt(kFar, bottom - 0.02, kBefore.bottomRight);
  expectAt(0.5, bottom + 0.02, 0xFF000000);

  // Past edge-on (107 degrees) the back shows the picture after, upright.
  EXPECT_FALSE(frame(transition, 0.3 / kRotateRate));
  expectAt(kNear, 0.45, kAfter.topLeft);
  expectAt(kFar, 0.55, kAfter.bottomRight);

  // Ends in frame-sized steps on the picture after, drawn with the time past pi/2.
  while (!frame(transition, 1.0 / 60)) ASSERT_LT(transition.animationTime(), 2.0f);
  expectWhole(kAfter);
}

TEST_F(SimpleTransitions, DoorsOpenOverThePictureBehind) {
  for (int type : {0, 1}) {
    SCOPED_TRACE(type);
    const Picture& doorPicture = type == 1 ? kAfter : kBefore;
    const Picture& behind = type == 1 ? kBefore : kAfter;
    kt::DoorsTransition transition;
    transition.setTransitionType(type);
    start(transition);
    EXPECT_FALSE(frame(transition, 0));
    expectWhole(doorPicture);

    // Half way each door has turned by 90 sin(pi/4)^3 degrees about its outer edge towards the
    // viewer; doors and picture behind are both at half brightness.
    EXPECT_FALSE(frame(transition, kPi / 2 / kSwitchRate));
    const double turn = kPi / 2 * std::pow(std::sin(kPi / 4), 3);
    const double edge = onScreen(-1 + std::cos(turn), -1 + std::sin(turn), 0.1, 0.1);
    ASSERT_GT(edge, 0.3);
    expectAt(edge - 0.02, kNear, doorPicture.topLeft, 0.5);
    expectAt(edge + 0.02, kNear, behind.topLeft, 0.5);
    expectAt(1.02 - edge, kFar, doorPicture.bottomRight, 0.5);
    expectAt(0.98 - edge, kFar, behind.bottomRight, 0.5);

    // Earlier (0.45 pi) the doors are the brighter.
    start(transition);
    EXPECT_FALSE(frame(transition, 0.45 * kPi / kSwitchRate));
    const double s2 = std::pow(std::sin(0.225 * kPi), 2);
    expectAt(0.1, kFar, doorPicture.bottomLeft, 1 - s2);
    expectAt(0.9, kFar, doorPicture.bottomRight, 1 - s2);
    expectAt(0.52, kNear, behind.topRight, s2);

    // Open: the doors out of sight, the picture behind alone at full brightness.
    EXPECT_TRUE(frame(transition, 1));
    expectWhole(behind);
  }
}

TEST_F(SimpleTransitions, FlipTurnsThePageAboutTheCentreLine) {
  // The screen fraction of the tip of a leaf turned by `degrees` from lying on the right half.
  auto tip = [](double degrees) {
    const double a = degrees * kPi / 180;
    return onScreen(2.5 * std::cos(a), -10 + 2.5 * std::sin(a), 0.025, 0.1);
  };
  kt::FlipTransition flip;
  start(flip);
  EXPECT_FALSE(frame(flip, 0));
  expectWhole(kBefore);
  // t = pi/3 turns the leaf, the right half of the picture before, by 180 sin(pi/6)^2 = 45
  // degrees; the picture after shows beyond its tip.
  EXPECT_FALSE(frame(flip, kPi / 3 / kFlipRate));
  const double front = tip(45);
  ASSERT_GT(front, 0.9);
  expectAt(kNear, kNear, kBefore.topLeft);
  expectAt(0.6, kFar, kBefore.bottomRight);
  expectAt(front - 0.03, kNear, kBefore.topRight);
  expectAt(front + 0.03, kFar, kAfter.bottomRight);
  // t = 2 pi / 3: 135 degrees, the leaf's back, the left half of the picture after, over the
  // left half of the picture before.
  EXPECT_FALSE(frame(flip, kPi / 3 / kFlipRate));
  const double back = tip(135);
  ASSERT_LT(back, 0.1);
  expectAt(back - 0.03, kNear, kBefore.topLeft);
  expectAt(back + 0.03, kNear, kAfter.topLeft);
  expectAt(0.4, kFar, kAfter.bottomLeft);
  expectAt(kFar, kNear, kAfter.topRight);
  EXPECT_TRUE(frame(flip, 1));
  expectWhole(kAfter);

  // Type 0 turns the left half of the picture before back over the picture after.
  flip.setTransitionType(0);
  start(flip);
  EXPECT_FALSE(frame(flip, 0));
  expectWhole(kBefore);
  EXPECT_FALSE(frame(flip, kPi / 3 / kFlipRate));
  expectAt(back - 0.03, kNear, kAfter.topLeft);
  expectAt(0.4, kNear, kBefore.topLeft);
  expectAt(kFar, kFar, kBefore.bottomRight);
  EXPECT_TRUE(frame(flip, 1));
  expectWhole(kAfter);

  // Any other type counts down too, over the pictures as type 1 places them.
  flip.setTransitionType(5);
  start(flip);
  EXPECT_FALSE(frame(flip, 0));
  expectWhole(kAfter);
  EXPECT_TRUE(frame(flip, 1));
  expectWhole(kBefore);
}

TEST_F(SimpleTransitions, HalfWayOnBothTablets) {
  kt::Switch3DTransition switch3D;
  kt::RotateTransition rotate;
  kt::DoorsTransition doors;
  kt::FlipTransition flip;
  auto shoot = [this](const std::string& name, kt::GLTransition& transition, double dt) {
    start(transition);
    frame(transition, dt);
    screenshot(name);
  };
  for (const std::string device : {"standard", "large"}) {
    if (device == "large") {
      setDevice(support::Device::LargeTablet);
      makeScene();
      makePictures();
      EXPECT_GT(width(), 1024);
    }
    shoot(device + "-switch3d", switch3D, 0.4 * kPi / kSwitchRate);
    shoot(device + "-rotate", rotate, 0.3 / kRotateRate);
    shoot(device + "-doors", doors, 0.5 * kPi / kSwitchRate);
    shoot(device + "-flip", flip, 0.4 * kPi / kFlipRate);
  }
}

}  // namespace
