// The cloth transition: its strip, its set-up and push, the fixed steps and their forces, the
// end, and the frames it draws over the after picture.
#include "widgets/gltransitions/ClothTransition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <set>
#include <vector>

#include "GLScene.h"

namespace {

using kt::ClothTransition;

constexpr int index(int i, int j) { return j * ClothTransition::Columns + i; }

float x(const ClothTransition& c, int i, int j) { return c.vertices()[index(i, j) * 3]; }
float z(const ClothTransition& c, int i, int j) { return c.vertices()[index(i, j) * 3 + 2]; }
float vz(const ClothTransition& c, int i, int j) { return c.velocities()[index(i, j) * 3 + 2]; }

std::vector<float> copy(std::span<const GLfloat> values) { return {values.begin(), values.end()}; }

// The set-up and the simulation need a current context for their GL state only.
class ClothTransitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context = gl::Context::create(gl::RenderingAPI::OpenGLES1);
    ASSERT_TRUE(context);
    ASSERT_TRUE(gl::Context::setCurrentContext(context));
  }
  void TearDown() override { gl::Context::setCurrentContext(nullptr); }

  // A cloth set up after seeding the noise.
  static void start(ClothTransition& cloth, unsigned seed = 7) {
    srandom(seed);
    cloth.initTransition();
  }

  std::shared_ptr<gl::Context> context;
};

TEST_F(ClothTransitionTest, OneStripSnakesOverTheColumnPairs) {
  ClothTransition cloth;
  EXPECT_TRUE(cloth.indices().empty());
  start(cloth);
  ASSERT_EQ(cloth.indicesCount(), 2582);
  const auto strip = cloth.indices();
  ASSERT_EQ(strip.size(), 2582u);
  // Up the first pair, row by row; its top row gives only its left point.
  EXPECT_EQ(std::vector<int>(strip.begin(), strip.begin() + 4), (std::vector<int>{0, 1, 30, 31}));
  EXPECT_EQ(strip[87], index(1, 43));
  EXPECT_EQ(strip[88], index(0, 44));
  // The second pair starts on that row and runs down.
  EXPECT_EQ(std::vector<int>(strip.begin() + 89, strip.begin() + 93),
            (std::vector<int>{index(1, 44), index(2, 44), index(1, 43), index(2, 43)}));
  EXPECT_EQ(strip[177], index(1, 0));
  // The third runs up again from the bottom row.
  EXPECT_EQ(strip[178], index(2, 0));
  EXPECT_EQ(strip[179], index(3, 0));
  EXPECT_EQ(strip[2580], index(28, 44));
  EXPECT_EQ(strip[2581], 1349);
  EXPECT_EQ(std::set<int>(strip.begin(), strip.end()).size(), 1350u);
}

TEST_F(ClothTransitionTest, SetUpLaysTheClothFlatWithThePushAtTheTopRight) {
  ClothTransition cloth;
  // Only the first and last corners count.
  cloth.setBasicTexCoords({0.0f, 0.25f, 9, 9, 9, 9, 0.625f, 1.0f});
  start(cloth);
  EXPECT_EQ(cloth.width(), 320);
  EXPECT_EQ(cloth.height(), 480);
  EXPECT_EQ(cloth.oglWidth(), 3.31370854f);
  EXPECT_EQ(cloth.oglHeight(), 4.97056293f);
  EXPECT_EQ(cloth.friction(), 0.97f);
  EXPECT_EQ(cloth.velocityStrength(), 10.0f);
  EXPECT_EQ(cloth.remainingCalcTime(), 0);
  EXPECT_EQ(cloth.animationTime(), 0);

  const float w = cloth.oglWidth(), h = cloth.oglHeight();
  ASSERT_EQ(cloth.vertices().size(), 1350u * 3);
  for (int j = 0; j < 45; ++j) {
    for (int i = 0; i < 30; ++i) {
      const int p = index(i, j);
      SCOPED_TRACE(testing::Message() << "point " << i << ", " << j);
      EXPECT_NEAR(cloth.vertices()[p * 3], i / 29.0 * w - w / 2, 1e-6);
      EXPECT_NEAR(cloth.vertices()[p * 3 + 1], j / 44.0 * h - h / 2, 1e-6);
      EXPECT_EQ(cloth.vertices()[p * 3 + 2], 0);
      EXPECT_NEAR(cloth.texCoords()[p * 2], i / 29.0 * 0.625, 1e-6);
      EXPECT_NEAR(cloth.texCoords()[p * 2 + 1], 0.25 + j / 44.0 * 0.75, 1e-6);
      EXPECT_EQ(cloth.normals()[p * 3], 0);
      EXPECT_EQ(cloth.normals()[p * 3 + 1], 0);
      EXPECT_EQ(cloth.normals()[p * 3 + 2], 1);
      EXPECT_EQ(cloth.velocities()[p * 3], 0);
      EXPECT_EQ(cloth.velocities()[p * 3 + 1], 0);

      // The push measures the grid in 30 x 45 steps from the corner (w, h).
      const double dx = w - i / 30.0 * w, dy = h - j / 45.0 * h;
      const double d = std::hypot(dx, dy);
      const bool inner = i >= 1 && i <= 28 && j >= 1 && j <= 43;
      if (std::abs(d - 3.5) < 1e-4) continue;
      if (inner && d < 3.5) {
        EXPECT_NEAR(vz(cloth, i, j), std::sin(d * std::numbers::pi / 3.5) * 0.02, 1e-6);
        EXPECT_GT(vz(cloth, i, j), 0);
      } else {
        EXPECT_EQ(vz(cloth, i, j), 0);
      }
    }
  }
  // Next to the corner: about 0.0055 with the push's own grid steps (0.0029 with the mesh's).
  EXPECT_NEAR(vz(cloth, 28, 43), 0.005535, 2e-6);
}

TEST_F(ClothTransitionTest, SecondSetUpStartsOverInTheSameArrays) {
  ClothTransition fresh;
  start(fresh);
  ClothTransition cloth;
  start(cloth);
  const GLfloat* vertices = cloth.vertices().data();
  for (int n = 0; n < 40; ++n) cloth.calc(0.012);
  ASSERT_NE(copy(cloth.vertices()), copy(fresh.vertices()));
  cloth.calc(0.003);

  start(cloth);
  EXPECT_EQ(cloth.vertices().data(), vertices);
  EXPECT_EQ(copy(cloth.vertices()), copy(fresh.vertices()));
  EXPECT_EQ(copy(cloth.velocities()), copy(fresh.velocities()));
  EXPECT_EQ(copy(cloth.normals()), copy(fresh.normals()));
  EXPECT_EQ(copy(cloth.texCoords()), copy(fresh.texCoords()));
  EXPECT_TRUE(std::equal(cloth.indices().begin(), cloth.indices().end(), fresh.indices().begin(), fresh.indices().end()));
  EXPECT_EQ(cloth.remainingCalcTime(), 0);
  EXPECT_EQ(cloth.animationTime(), 0);
}

TEST_F(ClothTransitionTest, StepsAreFixedAndTheRestIsKept) {
  // Steps do not depend on their length, so runs with the same number of steps agree.
  auto afterSteps = [](int steps) {
    ClothTransition c;
    start(c);
    for (int n = 0; n < steps; ++n) c.calc(0.012);
    return copy(c.velocities());
  };

  ClothTransition cloth;
  start(cloth);
  const auto pushed = copy(cloth.velocities());
  EXPECT_FALSE(cloth.calc(0.004));
  EXPECT_EQ(copy(cloth.velocities()), pushed);
  EXPECT_FLOAT_EQ(cloth.remainingCalcTime(), 0.004f);
  EXPECT_FLOAT_EQ(cloth.animationTime(), 0.004f);
  // 0.004 + 0.004 lies between 0.005 and 0.012: one step of that length.
  EXPECT_FALSE(cloth.calc(0.004));
  EXPECT_EQ(cloth.remainingCalcTime(), 0);
  EXPECT_EQ(copy(cloth.velocities()), afterSteps(1));

  ClothTransition once;
  start(once);
  EXPECT_FALSE(once.calc(0.008));
  EXPECT_EQ(once.remainingCalcTime(), 0);
  EXPECT_EQ(copy(once.velocities()), afterSteps(1));

  ClothTransition four;
  start(four);
  EXPECT_FALSE(four.calc(0.05));
  EXPECT_NEAR(four.remainingCalcTime(), 0.002, 1e-6);
  EXPECT_EQ(copy(four.velocities()), afterSteps(4));
  // The 0.002 kept and 0.004 more make one step of 0.006.
  four.calc(0.004);
  EXPECT_EQ(four.remainingCalcTime(), 0);
  EXPECT_EQ(copy(four.velocities()), afterSteps(5));
  EXPECT_NEAR(four.animationTime(), 0.054, 1e-6);
}

TEST_F(ClothTransitionTest, FirstStepAddsNoiseAndPullsOnlyTheTopRightPart) {
  ClothTransition cloth;
  start(cloth);
  const auto pushed = copy(cloth.velocities());
  srandom(11);
  cloth.calc(0.012);

  // The flat cloth's springs have no z part, so a point's z velocity is its push, its z noise
  // (the first of three draws per point, columns outer, rows inner) and the corner pull, damped.
  auto expected = [&](int i, int j, bool pulled) {
    srandom(11);
    for (int n = 0; n < (i * 45 + j) * 3; ++n) random();
    const float value = static_cast<float>(random()) / 2147483648.0f;
    float v = pushed[index(i, j) * 3 + 2];
    v = static_cast<float>(v + value * 0.001 - 0.0005);
    if (pulled) v = static_cast<float>(v + i * i * 8e-7 + j * j * 8e-7);
    return v * 0.98f;
  };
  struct Case {
    int i, j;
    bool pulled;
  };
  for (const Case& c : {Case{10, 40, false}, Case{5, 30, false}, Case{20, 44, false}, Case{29, 10, false},
                        Case{21, 11, true}, Case{25, 40, true}, Case{29, 44, true}}) {
    SCOPED_TRACE(testing::Message() << "point " << c.i << ", " << c.j);
    EXPECT_FLOAT_EQ(vz(cloth, c.i, c.j), expected(c.i, c.j, c.pulled));
    // The pull is far larger than the rounding: the other answer is clearly off.
    EXPECT_GT(std::abs(vz(cloth, c.i, c.j) - expected(c.i, c.j, !c.pulled)), 1e-4);
  }
}

TEST_F(ClothTransitionTest, ClothStaysInFrontHeldByItsLeftColumn) {
  ClothTransition cloth;
  start(cloth);
  const auto flat = copy(cloth.vertices());
  for (int n = 0; n < 120; ++n) {
    cloth.calc(1.0 / 60);
    for (int j = 0; j < 45; ++j) {
      for (int k = 0; k < 3; ++k) ASSERT_EQ(cloth.vertices()[index(0, j) * 3 + k], flat[index(0, j) * 3 + k]);
      for (int i = 0; i < 30; ++i) ASSERT_GE(z(cloth, i, j), 0) << i << ", " << j << " after " << n;
    }
  }
  // By now the cloth has lifted and curled.
  EXPECT_GT(z(cloth, 20, 20), 0);

  // Normals: the inner points' from their neighbours, the border's unchanged.
  auto y = [&](int i, int j) { return cloth.vertices()[index(i, j) * 3 + 1]; };
  for (auto [i, j] : {std::pair{1, 1}, std::pair{15, 22}, std::pair{28, 43}}) {
    const GLfloat* n = &cloth.normals()[index(i, j) * 3];
    EXPECT_FLOAT_EQ(n[0], z(cloth, i - 1, j) - z(cloth, i + 1, j));
    EXPECT_FLOAT_EQ(n[1], z(cloth, i, j - 1) - z(cloth, i, j + 1));
    EXPECT_FLOAT_EQ(n[2], (x(cloth, i + 1, j) - x(cloth, i - 1, j)) + (y(i, j + 1) - y(i, j - 1)));
  }
  for (auto [i, j] : {std::pair{0, 20}, std::pair{29, 20}, std::pair{10, 0}, std::pair{10, 44}}) {
    const GLfloat* n = &cloth.normals()[index(i, j) * 3];
    EXPECT_EQ(std::vector<float>(n, n + 3), (std::vector<float>{0, 0, 1}));
  }
}

TEST_F(ClothTransitionTest, FinishesOnTheStepThatLeavesEveryMovedPointLeft) {
  ClothTransition cloth;
  start(cloth);
  const float edge = -cloth.oglWidth() / 2;
  auto allLeft = [&] {
    for (int j = 0; j < 45; ++j)
      for (int i = 1; i < 30; ++i)
        if (x(cloth, i, j) > edge) return false;
    return true;
  };
  int steps = 0;
  bool finished = false;
  while (!finished && steps < 2000) {
    EXPECT_FALSE(allLeft());
    finished = cloth.calc(0.012);
    ++steps;
  }
  ASSERT_TRUE(finished);
  EXPECT_TRUE(allLeft());
  EXPECT_GT(steps, 50);
  // A call that runs no step is not finished.
  EXPECT_FALSE(cloth.calc(0.001));
}

TEST_F(ClothTransitionTest, BeforeSetUpNothingMoves) {
  ClothTransition cloth;
  EXPECT_FALSE(cloth.calc(0.05));
  EXPECT_TRUE(cloth.vertices().empty());
  cloth.punchAtPoint({320, 0}, 0.1);
  EXPECT_TRUE(cloth.velocities().empty());
}

// The frames, read back from the screen: a red and yellow checkerboard before, blue after.
class ClothFrames : public support::GLSceneTest {
 protected:
  static constexpr uint32_t Blue = 0xFF0000FFu;

  void SetUp() override {
    support::GLSceneTest::SetUp();
    transition.setBasicTexCoords(wholeTexture());
    srandom(1);
    transition.initTransition();
  }
  void drawFrame() {
    if (!before) {
      before = makeTexture(64, [](double u, double v) {
        return (static_cast<int>(u * 8) + static_cast<int>(v * 8)) % 2 ? 0xFFFF0000u : 0xFFFFFF00u;
      });
      after = makeTexture(64, [](double, double) { return Blue; });
    }
    ASSERT_TRUE(draw(transition, before, after));
  }
  // The before picture shows: full red, no blue (lit, it may also take some green).
  bool cloth(double fx, double fy) const {
    const uint32_t c = at(fx, fy);
    return ((c >> 16) & 255) > 200 && (c & 255) < 40;
  }
  bool uncovered(double fx, double fy) const { return support::nearColour(at(fx, fy), Blue); }

  // Half-way the cloth has peeled off the right and still covers the left.
  void middle(const std::string& name) {
    for (int n = 0; n < 50; ++n) transition.calc(0.012);
    drawFrame();
    EXPECT_TRUE(uncovered(0.95, 0.5));
    EXPECT_TRUE(uncovered(0.9, 0.1));
    EXPECT_TRUE(cloth(0.1, 0.5));
    EXPECT_TRUE(cloth(0.3, 0.8));
    screenshot(name);
  }

  kt::ClothTransition transition;
  GLuint before = 0, after = 0;
};

TEST_F(ClothFrames, TheClothPeelsOffTheAfterPicture) {
  EXPECT_FALSE(transition.calc(0));
  drawFrame();
  // The flat cloth fills the frame, the right way up: red at the top left, yellow beside it.
  for (auto [fx, fy] : {std::pair{0.02, 0.02}, std::pair{0.5, 0.5}, std::pair{0.98, 0.98}, std::pair{0.02, 0.98},
                        std::pair{0.98, 0.02}}) {
    EXPECT_FALSE(uncovered(fx, fy)) << fx << ", " << fy;
  }
  EXPECT_EQ(at(0.05, 0.05), 0xFFFF0000u);
  EXPECT_EQ(at(0.2, 0.05), 0xFFFFFF00u);
  // The normals are not left to be read from the cloth's array after it.
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));

  middle("cloth-midway");

  bool finished = false;
  for (int n = 0; n < 2000 && !finished; ++n) finished = transition.calc(1.0 / 60);
  ASSERT_TRUE(finished);
  drawFrame();
  for (double fy : {0.02, 0.5, 0.98})
    for (double fx : {0.01, 0.5, 0.99}) EXPECT_TRUE(uncovered(fx, fy)) << fx << ", " << fy;
}

TEST_F(ClothFrames, MidwayOnTheLargeTablet) {
  setDevice(support::Device::LargeTablet);
  makeScene();
  transition.initTransition();
  middle("cloth-midway-large");
}

}  // namespace
