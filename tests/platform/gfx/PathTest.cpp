#include "platform/gfx/Path.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using gfx::FillRule;
using gfx::Path;
using gfx::Point;
using gfx::Rect;
using gfx::Size;

void expectRectNear(const Rect& actual, const Rect& expected, double tolerance = 1e-6) {
  EXPECT_NEAR(actual.x(), expected.x(), tolerance);
  EXPECT_NEAR(actual.y(), expected.y(), tolerance);
  EXPECT_NEAR(actual.width(), expected.width(), tolerance);
  EXPECT_NEAR(actual.height(), expected.height(), tolerance);
}

TEST(PathTest, RectangleIsClosedClockwiseFromTopLeft) {
  Path p = Path::rect(Rect(10, 20, 30, -10));  // negative height: standardised
  ASSERT_EQ(p.elements().size(), 5u);
  EXPECT_EQ(p.elements()[0].type, Path::ElementType::MoveTo);
  EXPECT_EQ(p.elements()[0].points[0], (Point{10, 10}));
  EXPECT_EQ(p.elements()[1].points[0], (Point{40, 10}));
  EXPECT_EQ(p.elements()[2].points[0], (Point{40, 20}));
  EXPECT_EQ(p.elements()[4].type, Path::ElementType::Close);
  EXPECT_EQ(p.currentPoint(), (Point{10, 10}));
  expectRectNear(p.boundingBox(), Rect(10, 10, 30, 10));
}

TEST(PathTest, EmptyPathHasNullBoundsAndContainsNothing) {
  Path p;
  EXPECT_TRUE(p.isEmpty());
  EXPECT_FALSE(p.hasCurrentPoint());
  EXPECT_TRUE(p.boundingBox().isNull());
  EXPECT_FALSE(p.contains({0, 0}));
  p.close();  // nothing to close
  EXPECT_TRUE(p.isEmpty());
}

TEST(PathTest, DrawingWithoutCurrentPointStartsASubpath) {
  Path p;
  p.lineTo({5, 5});
  ASSERT_EQ(p.elements().size(), 1u);
  EXPECT_EQ(p.elements()[0].type, Path::ElementType::MoveTo);
  p.curveTo({6, 6}, {7, 7}, {8, 8});
  EXPECT_EQ(p.currentPoint(), (Point{8, 8}));
}

TEST(PathTest, CurveBoundsAreTightButControlBoundsAreNot) {
  Path p;
  p.moveTo({0, 0});
  p.curveTo({0, 100}, {100, 100}, {100, 0});
  // The curve peaks at t = 0.5: y = 75.
  expectRectNear(p.boundingBox(), Rect(0, 0, 100, 75));
  expectRectNear(p.controlPointBounds(), Rect(0, 0, 100, 100));

  Path q;
  q.moveTo({0, 0});
  q.quadCurveTo({50, -50}, {100, 0});
  expectRectNear(q.boundingBox(), Rect(0, -25, 100, 25));
}

TEST(PathTest, ClockwiseArcIncreasesTheAngleOnScreen) {
  // From 0 to pi/2 clockwise: the quarter below and right of the centre (y grows downwards).
  Path cw = Path::arc({0, 0}, 10, 0, M_PI / 2, true);
  expectRectNear(cw.boundingBox(), Rect(0, 0, 10, 10), 1e-9);
  EXPECT_TRUE(cw.contains({6, 6}));  // between the arc and its chord
  EXPECT_NEAR(cw.currentPoint().x, 0, 1e-9);
  EXPECT_NEAR(cw.currentPoint().y, 10, 1e-9);

  // The other way round is three quarters of the circle.
  Path ccw = Path::arc({0, 0}, 10, 0, M_PI / 2, false);
  expectRectNear(ccw.boundingBox(), Rect(-10, -10, 20, 20), 1e-9);
  EXPECT_FALSE(ccw.contains({6, 6}));
  EXPECT_TRUE(ccw.contains({-5, -5}));
}

TEST(PathTest, ArcEndBelowStartWrapsByWholeTurns) {
  // Increasing from pi to -pi/2 means pi to 3pi/2: the upper-left quarter.
  Path p = Path::arc({0, 0}, 10, M_PI, -M_PI / 2, true);
  expectRectNear(p.boundingBox(), Rect(-10, -10, 10, 10), 1e-9);
  EXPECT_NEAR(p.currentPoint().y, -10, 1e-9);

  // A sweep of two turns draws the circle once.
  Path full = Path::arc({0, 0}, 10, 3 * M_PI / 2, 11 * M_PI / 2, true);
  expectRectNear(full.boundingBox(), Rect(-10, -10, 20, 20), 1e-9);
  EXPECT_EQ(full.elements().size(), 5u);  // move and four quarter curves
  // Points on the circle stay on it (the cubic quarters are within a small fraction).
  for (double t = 0; t < 2 * M_PI; t += 0.1) {
    EXPECT_TRUE(full.contains({9.9 * std::cos(t), 9.9 * std::sin(t)}));
    EXPECT_FALSE(full.contains({10.1 * std::cos(t), 10.1 * std::sin(t)}));
  }
}

TEST(PathTest, ArcAfterCurrentPointJoinsWithALine) {
  Path p;
  p.moveTo({-20, 0});
  p.addArc({0, 0}, 10, M_PI, 2 * M_PI, true);
  ASSERT_GE(p.elements().size(), 3u);
  EXPECT_EQ(p.elements()[1].type, Path::ElementType::LineTo);
  EXPECT_EQ(p.elements()[1].points[0].x, -10);
  EXPECT_NEAR(p.currentPoint().x, 10, 1e-9);
}

TEST(PathTest, ArcToPointRoundsTheCorner) {
  Path p;
  p.moveTo({0, 0});
  p.addArcToPoint({10, 0}, {10, 10}, 4);
  // Line to the tangent point (6, 0), then a quarter circle around (6, 4) to (10, 4).
  EXPECT_EQ(p.elements()[1].type, Path::ElementType::LineTo);
  EXPECT_NEAR(p.elements()[1].points[0].x, 6, 1e-9);
  EXPECT_NEAR(p.currentPoint().x, 10, 1e-9);
  EXPECT_NEAR(p.currentPoint().y, 4, 1e-9);
  expectRectNear(p.boundingBox(), Rect(0, 0, 10, 4), 1e-9);

  // Collinear points give a plain line.
  Path q;
  q.moveTo({0, 0});
  q.addArcToPoint({10, 0}, {20, 0}, 4);
  EXPECT_EQ(q.elements().back().type, Path::ElementType::LineTo);
  EXPECT_EQ(q.currentPoint(), (Point{10, 0}));
}

TEST(PathTest, RoundedCornersFollowTheMask) {
  Rect r(0, 0, 100, 50);
  Path top = Path::roundedRect(r, gfx::CornerTopLeft | gfx::CornerTopRight, Size{10, 10});
  EXPECT_FALSE(top.contains({1, 1}));
  EXPECT_FALSE(top.contains({99, 1}));
  EXPECT_TRUE(top.contains({1, 49}));
  EXPECT_TRUE(top.contains({99, 49}));
  EXPECT_TRUE(top.contains({10, 1}));
  expectRectNear(top.boundingBox(), r);

  gfx::CornerRadii radii;
  radii.bottomRight = {20, 20};
  Path one = Path::roundedRect(r, radii);
  EXPECT_TRUE(one.contains({1, 1}));
  EXPECT_FALSE(one.contains({97, 47}));
  EXPECT_TRUE(one.contains({90, 40}));
}

TEST(PathTest, OversizedRadiusIsClampedToHalfTheSide) {
  Path capsule = Path::roundedRect(Rect(0, 0, 100, 20), 50);
  expectRectNear(capsule.boundingBox(), Rect(0, 0, 100, 20));
  EXPECT_TRUE(capsule.contains({50, 10}));
  EXPECT_TRUE(capsule.contains({1, 10}));
  EXPECT_FALSE(capsule.contains({1, 2}));
  EXPECT_TRUE(capsule.contains({30, 1}));  // the straight part keeps its edge
}

TEST(PathTest, FillRulesDecideTheHole) {
  Path p = Path::rect(Rect(0, 0, 100, 100));
  p.addRect(Rect(25, 25, 50, 50));  // same direction as the outer one
  EXPECT_TRUE(p.contains({50, 50}, FillRule::NonZero));
  EXPECT_FALSE(p.contains({50, 50}, FillRule::EvenOdd));
  EXPECT_TRUE(p.contains({10, 10}, FillRule::EvenOdd));
  EXPECT_FALSE(p.contains({150, 50}, FillRule::NonZero));

  // Drawn the other way, the inner square is a hole for both rules.
  Path q = Path::rect(Rect(0, 0, 100, 100));
  q.addLines({{25, 25}, {25, 75}, {75, 75}, {75, 25}});
  q.close();
  EXPECT_FALSE(q.contains({50, 50}, FillRule::NonZero));
  EXPECT_FALSE(q.contains({50, 50}, FillRule::EvenOdd));
}

TEST(PathTest, OpenSubpathsCountAsClosedForContainment) {
  Path p;
  p.addLines({{0, 0}, {10, 0}, {10, 10}});
  EXPECT_TRUE(p.contains({8, 2}));
  EXPECT_FALSE(p.contains({2, 8}));
}

TEST(PathTest, TransformMovesEveryPoint) {
  Path p = Path::ellipse(Rect(0, 0, 20, 10));
  Path moved = p.transformed(gfx::AffineTransform::translation(5, 5).concat(gfx::AffineTransform::scale(2, 3)));
  expectRectNear(moved.boundingBox(), Rect(10, 15, 40, 30), 1e-9);
  EXPECT_TRUE(moved.contains({30, 30}));

  Path turned = Path::rect(Rect(0, 0, 20, 10));
  turned.apply(gfx::AffineTransform::rotation(M_PI / 2));
  expectRectNear(turned.boundingBox(), Rect(-10, 0, 10, 20), 1e-9);

  Path sum;
  sum.addPath(Path::rect(Rect(0, 0, 1, 1)), gfx::AffineTransform::translation(10, 0));
  expectRectNear(sum.boundingBox(), Rect(10, 0, 1, 1));
}

TEST(PathTest, EllipseStartsAtItsRightmostPoint) {
  Path p = Path::ellipse(Rect(0, 0, 40, 20));
  EXPECT_EQ(p.elements()[0].points[0], (Point{40, 10}));
  expectRectNear(p.boundingBox(), Rect(0, 0, 40, 20), 1e-9);
  EXPECT_TRUE(p.contains({20, 10}));
  EXPECT_FALSE(p.contains({2, 2}));
}

}  // namespace
