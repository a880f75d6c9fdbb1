#include "platform/gfx/Transform.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>

namespace gfx {
namespace {

constexpr double kEps = 1e-9;

void expectNear(Point p, double x, double y, double eps = kEps) {
  EXPECT_NEAR(p.x, x, eps);
  EXPECT_NEAR(p.y, y, eps);
}

void expectNearIdentity(const Transform3D& t) {
  const double* got = &t.m11;
  Transform3D id;
  const double* want = &id.m11;
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << "element " << i;
}

TEST(AffineTransformTest, RotationTurnsClockwiseOnScreen) {
  // y grows downwards: +x turned by a quarter points down (+y).
  expectNear(AffineTransform::rotation(M_PI / 2).apply(Point{1, 0}), 0, 1);
  expectNear(AffineTransform::rotation(M_PI).apply(Point{2, 3}), -2, -3);
}

TEST(AffineTransformTest, ConcatAppliesLeftOperandFirst) {
  auto move = AffineTransform::translation(10, 0);
  auto twice = AffineTransform::scale(2, 2);
  expectNear(move.concat(twice).apply(Point{1, 1}), 22, 2);  // moved, then scaled
  expectNear(twice.concat(move).apply(Point{1, 1}), 12, 2);  // scaled, then moved
  // The step helpers work in the transform's own space, i.e. before it.
  expectNear(twice.translated(10, 0).apply(Point{0, 0}), 20, 0);
  expectNear(move.scaled(3, 1).apply(Point{1, 0}), 13, 0);
  expectNear(move.rotated(M_PI / 2).apply(Point{1, 0}), 10, 1);
}

TEST(AffineTransformTest, InverseUndoesAndSingularStaysUnchanged) {
  auto t = AffineTransform::rotation(0.7).concat(AffineTransform::scale(2, -3)).concat(AffineTransform::translation(5, 9));
  ASSERT_TRUE(t.isInvertible());
  auto back = t.concat(t.inverted());
  EXPECT_NEAR(back.a, 1, kEps);
  EXPECT_NEAR(back.b, 0, kEps);
  EXPECT_NEAR(back.c, 0, kEps);
  EXPECT_NEAR(back.d, 1, kEps);
  EXPECT_NEAR(back.tx, 0, kEps);
  EXPECT_NEAR(back.ty, 0, kEps);
  expectNear(t.inverted().apply(t.apply(Point{-4, 8})), -4, 8);

  auto flat = AffineTransform::scale(0, 1).concat(AffineTransform::translation(3, 4));
  EXPECT_FALSE(flat.isInvertible());
  EXPECT_EQ(flat.inverted(), flat);
  EXPECT_TRUE(AffineTransform::identity().isIdentity());
  EXPECT_FALSE(flat.isIdentity());
}

TEST(AffineTransformTest, SizesAndRects) {
  auto quarter = AffineTransform::rotation(M_PI / 2).concat(AffineTransform::translation(100, 0));
  Size s = quarter.apply(Size{2, 1});  // translation ignored; (2, 1) -> (0*2 - 1*1, 1*2 + 0*1)
  EXPECT_NEAR(s.width, -1, kEps);
  EXPECT_NEAR(s.height, 2, kEps);
  Rect r = quarter.apply(Rect(0, 0, 2, 1));  // corners (0,0) (2,0) (0,1) (2,1) -> x in [99,100], y in [0,2]
  EXPECT_NEAR(r.x(), 99, kEps);
  EXPECT_NEAR(r.y(), 0, kEps);
  EXPECT_NEAR(r.width(), 1, kEps);
  EXPECT_NEAR(r.height(), 2, kEps);
  EXPECT_TRUE(quarter.apply(Rect::null()).isNull());
}

TEST(AffineTransformTest, CairoMatrixActsTheSame) {
  auto t = AffineTransform::make(1.5, 0.25, -0.5, 2, 7, -3);
  cairo_matrix_t m;
  t.toCairo(&m);
  double x = 3, y = -2;
  cairo_matrix_transform_point(&m, &x, &y);
  Point p = t.apply(Point{3, -2});
  EXPECT_DOUBLE_EQ(x, p.x);
  EXPECT_DOUBLE_EQ(y, p.y);
  EXPECT_EQ(AffineTransform::fromCairo(m), t);
}

TEST(Transform3DTest, RotationAboutZMatchesAffineAndConverts) {
  auto r = Transform3D::rotation(0.4, 0, 0, 5);  // axis length does not matter
  auto a = AffineTransform::rotation(0.4);
  EXPECT_TRUE(r.isAffine());
  AffineTransform back = r.toAffine();
  EXPECT_NEAR(back.a, a.a, kEps);
  EXPECT_NEAR(back.b, a.b, kEps);
  EXPECT_NEAR(back.c, a.c, kEps);
  EXPECT_NEAR(back.d, a.d, kEps);

  auto t = AffineTransform::make(1, 2, 3, 4, 5, 6);
  EXPECT_EQ(Transform3D::fromAffine(t).toAffine(), t);
  EXPECT_TRUE(Transform3D::fromAffine(t).isAffine());
  EXPECT_FALSE(Transform3D::rotation(0.4, 0, 1, 0).isAffine());
  Transform3D persp;
  persp.m34 = -1.0 / 500;
  EXPECT_FALSE(persp.isAffine());
  EXPECT_FALSE(Transform3D::translation(0, 0, 1).isAffine());
  EXPECT_TRUE(Transform3D::rotation(1, 0, 0, 0).isIdentity());  // no axis, no rotation
}

TEST(Transform3DTest, RotationsFollowTheRightHandRule) {
  // A quarter turn about x takes +y to +z; about y takes +z to +x.
  auto v = Transform3D::rotation(M_PI / 2, 1, 0, 0).apply({0, 1, 0, 1});
  EXPECT_NEAR(v.y, 0, kEps);
  EXPECT_NEAR(v.z, 1, kEps);
  v = Transform3D::rotation(M_PI / 2, 0, 1, 0).apply({0, 0, 1, 1});
  EXPECT_NEAR(v.x, 1, kEps);
  EXPECT_NEAR(v.z, 0, kEps);
}

TEST(Transform3DTest, ConcatOrderAndTranslationRow) {
  auto move = Transform3D::translation(10, 20, 30);
  EXPECT_EQ(move.m41, 10);
  EXPECT_EQ(move.m42, 20);
  EXPECT_EQ(move.m43, 30);
  auto twice = Transform3D::scale(2, 2, 2);
  auto v = move.concat(twice).apply({1, 1, 1, 1});
  EXPECT_EQ(v.x, 22);
  EXPECT_EQ(v.z, 62);
  v = twice.concat(move).apply({1, 1, 1, 1});
  EXPECT_EQ(v.x, 12);
  EXPECT_EQ(v.z, 32);
  v = twice.translated(1, 0, 0).apply({0, 0, 0, 1});
  EXPECT_EQ(v.x, 2);
}

TEST(Transform3DTest, InverseWithPerspectiveAndSingular) {
  Transform3D persp;
  persp.m34 = -1.0 / 800;
  auto t = Transform3D::rotation(0.6, 1, 2, 3).concat(Transform3D::translation(4, -5, 6)).concat(persp).concat(
      Transform3D::scale(2, 3, 4));
  ASSERT_TRUE(t.isInvertible());
  expectNearIdentity(t.concat(t.inverted()));
  expectNearIdentity(t.inverted().concat(t));
  EXPECT_NEAR(t.determinant() * t.inverted().determinant(), 1, 1e-9);

  auto flat = Transform3D::scale(1, 1, 0);
  EXPECT_FALSE(flat.isInvertible());
  EXPECT_EQ(flat.inverted(), flat);
}

TEST(Transform3DTest, PerspectiveProjectionOfRotatedSquare) {
  // A 100-point square centred on the origin, turned 60 degrees about y, seen from 500 points.
  // Row form: (x, y, 0, 1) -> (x cos, y, -x sin, 1), then w = 1 + x sin / 500.
  Transform3D persp;
  persp.m34 = -1.0 / 500;
  auto t = Transform3D::rotation(M_PI / 3, 0, 1, 0).concat(persp);
  // x = 50:  w = 1 + sqrt(3)/20 = 1.0866025..., x' = 25 / w, y' = +-50 / w.
  expectNear(*t.project({50, 50}), 23.0074926857, 46.0149853714, 1e-8);
  expectNear(*t.project({50, -50}), 23.0074926857, -46.0149853714, 1e-8);
  // x = -50: that edge comes towards the eye (z > 0) and grows: w = 1 - sqrt(3)/20.
  expectNear(*t.project({-50, 50}), -27.3703410675, 54.7406821349, 1e-8);
  expectNear(*t.project({-50, -50}), -27.3703410675, -54.7406821349, 1e-8);
  // Behind the eye there is no projection.
  EXPECT_FALSE(t.project({-600, 0}).has_value());

  // The homography gives the same points.
  auto h = t.homography();
  for (Point p : {Point{50, 50}, Point{-50, 20}, Point{13, -7}}) {
    double X = h[0] * p.x + h[1] * p.y + h[2], Y = h[3] * p.x + h[4] * p.y + h[5], W = h[6] * p.x + h[7] * p.y + h[8];
    expectNear(*t.project(p), X / W, Y / W);
  }
}

}  // namespace
}  // namespace gfx
