#include "platform/gfx/Animation.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace gfx {
namespace {

constexpr double kPi = 3.14159265358979323846;

double num(const std::optional<AnimValue>& v) {
  EXPECT_TRUE(v && std::holds_alternative<double>(*v));
  return v && std::holds_alternative<double>(*v) ? std::get<double>(*v) : NAN;
}

// The value an animation gives a state's key path at a moment.
double opacityAt(const Animation& a, double t, LayerState s = {}) {
  a.applyAt(s, t);
  return s.opacity;
}

// ---- Timing functions ----

TEST(TimingFunctionTest, NamedCurvesHalfWay) {
  using N = TimingFunction::Name;
  EXPECT_NEAR(TimingFunction::named(N::Linear).evaluate(0.5), 0.5, 1e-9);
  // Symmetric ease: exactly half-way at half time.
  EXPECT_NEAR(TimingFunction::named(N::EaseInEaseOut).evaluate(0.5), 0.5, 1e-6);
  // Ease in lags, ease out leads; reference values of these cubic curves.
  EXPECT_NEAR(TimingFunction::named(N::EaseIn).evaluate(0.5), 0.3153, 1e-3);
  EXPECT_NEAR(TimingFunction::named(N::EaseOut).evaluate(0.5), 0.6847, 1e-3);
  EXPECT_NEAR(TimingFunction::named(N::Default).evaluate(0.5), 0.8024, 1e-3);
}

TEST(TimingFunctionTest, CustomCubicEndsAndClamping) {
  auto f = TimingFunction::cubic(0.1, 0.9, 0.2, 1.0);
  EXPECT_EQ(f.evaluate(0), 0);
  EXPECT_EQ(f.evaluate(1), 1);
  EXPECT_EQ(f.evaluate(-3), 0);
  EXPECT_EQ(f.evaluate(7), 1);
  // A curve that rises fast: well past half at a quarter of the time.
  double q = f.evaluate(0.25);
  EXPECT_GT(q, 0.8);
  EXPECT_LT(q, 1.0);
  // Monotonic for a monotonic curve.
  double prev = 0;
  for (int i = 1; i <= 100; ++i) {
    double v = f.evaluate(i / 100.0);
    EXPECT_GE(v, prev - 1e-12);
    prev = v;
  }
  // Overshooting y is allowed (a back-ease); x outside 0..1 is clamped.
  auto back = TimingFunction::cubic(0.5, -0.5, 0.5, 1.5);
  EXPECT_LT(back.evaluate(0.1), 0);
  auto clamped = TimingFunction::cubic(-2, 0, 3, 1);
  EXPECT_EQ(clamped.c1x(), 0);
  EXPECT_EQ(clamped.c2x(), 1);
}

// ---- Basic animations ----

TEST(AnimationTest, BasicFromToAtMidpointWithEachCurve) {
  auto a = BasicAnimation::withKeyPath("opacity");
  a->fromValue = 0.0;
  a->toValue = 1.0;
  a->duration = 2;
  a->beginTime = 10;
  EXPECT_NEAR(opacityAt(*a, 11), 0.5, 1e-12);
  a->timingFunction = TimingFunction::named(TimingFunction::Name::EaseIn);
  EXPECT_NEAR(opacityAt(*a, 11), TimingFunction::named(TimingFunction::Name::EaseIn).evaluate(0.5), 1e-12);
  a->timingFunction = TimingFunction::cubic(0.1, 0.9, 0.2, 1.0);
  EXPECT_NEAR(opacityAt(*a, 11), TimingFunction::cubic(0.1, 0.9, 0.2, 1.0).evaluate(0.5), 1e-12);
}

TEST(AnimationTest, MissingEndsComeFromTheUnderlyingValue) {
  LayerState s;
  s.position = {100, 100};
  auto a = BasicAnimation::withKeyPath("position");
  a->duration = 1;
  a->beginTime = 0;
  a->toValue = Point{200, 300};
  LayerState r = s;
  a->applyAt(r, 0.5);
  EXPECT_EQ(r.position, (Point{150, 200}));

  a->toValue.reset();
  a->fromValue = Point{0, 0};
  r = s;
  a->applyAt(r, 0.25);
  EXPECT_EQ(r.position, (Point{25, 25}));

  a->fromValue.reset();
  a->byValue = Point{0, 40};
  r = s;
  a->applyAt(r, 0.5);
  EXPECT_EQ(r.position, (Point{100, 120}));

  // by + to: starts at to - by.
  a->toValue = Point{0, 0};
  r = s;
  a->applyAt(r, 0);
  EXPECT_EQ(r.position, (Point{0, -40}));

  // A value of the wrong kind leaves the property alone.
  auto wrong = BasicAnimation::withKeyPath("position");
  wrong->toValue = 3.0;
  r = s;
  wrong->applyAt(r, 0.5);
  EXPECT_EQ(r.position, s.position);
}

TEST(AnimationTest, AdditiveAddsToTheModel) {
  LayerState s;
  s.position = {10, 20};
  auto a = BasicAnimation::withKeyPath("position.y");
  a->additive = true;
  a->fromValue = 0.0;
  a->toValue = 100.0;
  a->duration = 1;
  a->applyAt(s, 0.5);
  EXPECT_EQ(s.position, (Point{10, 70}));

  // Additive transforms concatenate the animated one first.
  LayerState t;
  t.transform = Transform3D::translation(5, 0, 0);
  auto rot = BasicAnimation::withKeyPath("transform");
  rot->additive = true;
  rot->fromValue = Transform3D::scale(2, 2, 1);
  rot->toValue = Transform3D::scale(2, 2, 1);
  rot->duration = 1;
  rot->applyAt(t, 0.5);
  EXPECT_EQ(t.transform, Transform3D::scale(2, 2, 1).concat(Transform3D::translation(5, 0, 0)));
}

TEST(AnimationTest, RepeatCountAndAutoreverse) {
  auto a = BasicAnimation::withKeyPath("opacity");
  a->fromValue = 0.0;
  a->toValue = 1.0;
  a->duration = 1;
  a->repeatCount = 2.5;
  EXPECT_DOUBLE_EQ(a->activeDuration(), 2.5);
  EXPECT_NEAR(opacityAt(*a, 1.25), 0.25, 1e-12);  // second iteration
  EXPECT_NEAR(opacityAt(*a, 2.25), 0.25, 1e-12);  // third, half iteration
  a->fillMode = FillMode::Forwards;
  EXPECT_NEAR(opacityAt(*a, 9), 0.5, 1e-12);  // ends half-way through the last iteration

  a->repeatCount = 1;
  a->autoreverses = true;
  EXPECT_DOUBLE_EQ(a->activeDuration(), 2);
  EXPECT_NEAR(opacityAt(*a, 0.5), 0.5, 1e-12);
  EXPECT_NEAR(opacityAt(*a, 1.0), 1.0, 1e-12);
  EXPECT_NEAR(opacityAt(*a, 1.75), 0.25, 1e-12);  // coming back
  EXPECT_NEAR(opacityAt(*a, 5), 0.0, 1e-12);      // filled at the start value

  a->repeatCount = FLT_MAX;
  EXPECT_TRUE(std::isinf(a->activeDuration()));
  a->repeatCount = INFINITY;
  EXPECT_TRUE(std::isinf(a->activeDuration()));
  EXPECT_NEAR(opacityAt(*a, 1000.5), 0.5, 1e-9);

  auto b = BasicAnimation::withKeyPath("opacity");
  b->duration = 1;
  b->repeatDuration = 1.5;
  EXPECT_DOUBLE_EQ(b->activeDuration(), 1.5);
  b->speed = 2;
  EXPECT_DOUBLE_EQ(b->activeDuration(), 0.75);
}

TEST(AnimationTest, FillModes) {
  auto a = BasicAnimation::withKeyPath("opacity");
  a->fromValue = 0.2;
  a->toValue = 0.8;
  a->duration = 1;
  a->beginTime = 5;
  LayerState s;
  s.opacity = 1;
  // Removed: the model before and after.
  EXPECT_EQ(opacityAt(*a, 4, s), 1);
  EXPECT_EQ(opacityAt(*a, 7, s), 1);
  a->fillMode = FillMode::Backwards;
  EXPECT_DOUBLE_EQ(opacityAt(*a, 4, s), 0.2);
  EXPECT_EQ(opacityAt(*a, 7, s), 1);
  a->fillMode = FillMode::Forwards;
  EXPECT_EQ(opacityAt(*a, 4, s), 1);
  EXPECT_DOUBLE_EQ(opacityAt(*a, 7, s), 0.8);
  a->fillMode = FillMode::Both;
  EXPECT_DOUBLE_EQ(opacityAt(*a, 4, s), 0.2);
  EXPECT_DOUBLE_EQ(opacityAt(*a, 7, s), 0.8);
}

TEST(AnimationTest, CumulativeRepeatsBuildOnEachOther) {
  auto a = BasicAnimation::withKeyPath("position.x");
  a->byValue = 10.0;
  a->fromValue = 0.0;
  a->cumulative = true;
  a->duration = 1;
  a->repeatCount = 3;
  LayerState s;
  a->applyAt(s, 2.5);
  EXPECT_NEAR(s.position.x, 25, 1e-9);
}

// ---- Keyframes ----

TEST(AnimationTest, KeyframesWithKeyTimesAndSegmentCurves) {
  auto k = KeyframeAnimation::withKeyPath("opacity");
  k->values = {0.0, 1.0, 0.5};
  k->keyTimes = {0, 0.25, 1};
  k->duration = 4;
  EXPECT_NEAR(opacityAt(*k, 0.5), 0.5, 1e-12);   // half of the first segment (0..1 s)
  EXPECT_NEAR(opacityAt(*k, 1.0), 1.0, 1e-12);
  EXPECT_NEAR(opacityAt(*k, 2.5), 0.75, 1e-12);  // half of the second (1..4 s)
  k->timingFunctions = {TimingFunction::named(TimingFunction::Name::Linear),
                        TimingFunction::named(TimingFunction::Name::EaseIn)};
  double eased = TimingFunction::named(TimingFunction::Name::EaseIn).evaluate(0.5);
  EXPECT_NEAR(opacityAt(*k, 2.5), 1.0 - 0.5 * eased, 1e-12);
  EXPECT_NEAR(opacityAt(*k, 0.5), 0.5, 1e-12);

  // Without key times the values are spread evenly.
  k->keyTimes.clear();
  k->timingFunctions.clear();
  EXPECT_NEAR(opacityAt(*k, 1.0), 0.5, 1e-12);
  EXPECT_NEAR(opacityAt(*k, 3.0), 0.75, 1e-12);

  // Transform keyframes (a bounce of translations).
  auto t = KeyframeAnimation::withKeyPath("transform");
  t->values = {Transform3D::translation(0, 0, 0), Transform3D::translation(0, -20, 0), Transform3D::identity()};
  t->duration = 1;
  LayerState s;
  t->applyAt(s, 0.25);
  EXPECT_NEAR(s.transform.m42, -10, 1e-9);
}

TEST(AnimationTest, KeyframePathMovesByLength) {
  Path p;
  p.moveTo({0, 0});
  p.lineTo({100, 0});
  p.lineTo({100, 100});
  auto k = KeyframeAnimation::withKeyPath("position");
  k->path = p;
  k->duration = 1;
  LayerState s;
  k->applyAt(s, 0.25);
  EXPECT_NEAR(s.position.x, 50, 1e-9);
  EXPECT_NEAR(s.position.y, 0, 1e-9);
  s = {};
  k->applyAt(s, 0.75);
  EXPECT_NEAR(s.position.x, 100, 1e-9);
  EXPECT_NEAR(s.position.y, 50, 1e-9);
}

// ---- Groups ----

TEST(AnimationTest, GroupTimesItsChildren) {
  auto g = AnimationGroup::make();
  g->duration = 2;
  g->beginTime = 100;
  auto start = BasicAnimation::withKeyPath("strokeStart");
  start->fromValue = 0.0;
  start->toValue = 1.0;
  start->duration = 1;
  auto end = BasicAnimation::withKeyPath("strokeEnd");
  end->fromValue = 0.0;
  end->toValue = 1.0;
  end->beginTime = 1;  // relative to the group
  end->duration = 0;   // takes the group's duration
  g->animations = {start, end};

  LayerState s;
  g->applyAt(s, 100.5);
  EXPECT_NEAR(s.strokeStart, 0.5, 1e-12);
  EXPECT_NEAR(s.strokeEnd, 1.0, 1e-12);  // the second child has not begun: model value
  s = {};
  g->applyAt(s, 101.5);
  EXPECT_NEAR(s.strokeStart, 0, 1e-12);  // the first child is over
  EXPECT_NEAR(s.strokeEnd, 0.25, 1e-12);

  // Repeating group.
  g->repeatCount = INFINITY;
  s = {};
  g->applyAt(s, 100 + 2 * 50 + 0.5);
  EXPECT_NEAR(s.strokeStart, 0.5, 1e-9);

  // A group that holds its end holds its children's ends too.
  g->repeatCount = 0;
  g->fillMode = FillMode::Forwards;
  start->duration = 2;
  s = {};
  g->applyAt(s, 200);
  EXPECT_NEAR(s.strokeStart, 1.0, 1e-12);

  // The copy is deep.
  auto c = std::static_pointer_cast<AnimationGroup>(g->copy());
  ASSERT_EQ(c->animations.size(), 2u);
  EXPECT_NE(c->animations[0], g->animations[0]);
}

// ---- Key paths and values ----

TEST(AnimationTest, KeyPathsWithSubKeys) {
  LayerState s;
  s.bounds = Rect(0, 0, 40, 30);
  s.position = {5, 6};
  EXPECT_EQ(num(stateValueForKeyPath(s, "bounds.size.height")), 30);
  EXPECT_EQ(num(stateValueForKeyPath(s, "position.x")), 5);
  EXPECT_TRUE(setStateValueForKeyPath(s, "bounds.size.height", 50.0));
  EXPECT_EQ(s.bounds, Rect(0, 0, 40, 50));
  EXPECT_TRUE(setStateValueForKeyPath(s, "bounds.origin", Point{1, 2}));
  EXPECT_EQ(s.bounds, Rect(1, 2, 40, 50));
  EXPECT_TRUE(setStateValueForKeyPath(s, "strokeEnd", 0.3));
  EXPECT_EQ(s.strokeEnd, 0.3);
  EXPECT_TRUE(setStateValueForKeyPath(s, "opacity", 0.25));
  EXPECT_EQ(s.opacity, 0.25);

  // Unknown paths and wrong kinds are refused.
  EXPECT_FALSE(stateValueForKeyPath(s, "nonsense"));
  EXPECT_FALSE(stateValueForKeyPath(s, "position.z"));
  EXPECT_FALSE(setStateValueForKeyPath(s, "position", 1.0));
  EXPECT_FALSE(setStateValueForKeyPath(s, "bounds.size.depth", 1.0));
  EXPECT_FALSE(setStateValueForKeyPath(s, "opacity.x", 1.0));

  // Unset colours read as clear.
  EXPECT_EQ(std::get<Color>(*stateValueForKeyPath(s, "backgroundColor")), Color::clear());
  EXPECT_TRUE(setStateValueForKeyPath(s, "backgroundColor", Color::red()));
  EXPECT_EQ(s.backgroundColor, Color::red());
}

TEST(AnimationTest, TransformSubKeys) {
  LayerState s;
  s.transform = Transform3D::scale(2, 2, 1).concat(Transform3D::translation(10, 20, 0));
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.scale.x")), 2, 1e-12);
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.scale")), 5.0 / 3, 1e-12);  // mean of the three
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.translation.y")), 20, 1e-12);

  // Rotation about z keeps the scale and translation.
  ASSERT_TRUE(setStateValueForKeyPath(s, "transform.rotation.z", kPi / 2));
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.rotation.z")), kPi / 2, 1e-9);
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.rotation")), kPi / 2, 1e-9);
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.scale.x")), 2, 1e-9);
  auto p = s.transform.project({1, 0});
  ASSERT_TRUE(p);
  EXPECT_NEAR(p->x, 10, 1e-9);  // (1,0) scaled to (2,0), turned a quarter to (0,2), moved
  EXPECT_NEAR(p->y, 22, 1e-9);

  // "transform.scale" sets all three.
  ASSERT_TRUE(setStateValueForKeyPath(s, "transform.scale", 3.0));
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.scale.y")), 3, 1e-9);
  EXPECT_NEAR(num(stateValueForKeyPath(s, "transform.rotation.z")), kPi / 2, 1e-9);

  // Rotation about y from the identity equals the rotation made directly.
  LayerState y;
  ASSERT_TRUE(setStateValueForKeyPath(y, "transform.rotation.y", 0.7));
  Transform3D direct = Transform3D::rotation(0.7, 0, 1, 0);
  EXPECT_NEAR(y.transform.m11, direct.m11, 1e-12);
  EXPECT_NEAR(y.transform.m13, direct.m13, 1e-12);
  EXPECT_NEAR(y.transform.m31, direct.m31, 1e-12);
  EXPECT_NEAR(num(stateValueForKeyPath(y, "transform.rotation.y")), 0.7, 1e-12);
  ASSERT_TRUE(setStateValueForKeyPath(y, "transform.rotation.x", -0.4));
  EXPECT_NEAR(num(stateValueForKeyPath(y, "transform.rotation.x")), -0.4, 1e-9);
  EXPECT_NEAR(num(stateValueForKeyPath(y, "transform.rotation.y")), 0.7, 1e-9);

  // A number for the whole transform is read as the identity.
  ASSERT_TRUE(setStateValueForKeyPath(s, "transform", 0.0));
  EXPECT_TRUE(s.transform.isIdentity());
}

TEST(AnimationTest, RotationAnimationBeyondHalfATurn) {
  // A full turn through the sub-key goes all the way round instead of standing still.
  auto a = BasicAnimation::withKeyPath("transform.rotation.z");
  a->fromValue = 0.0;
  a->toValue = 2 * kPi;
  a->duration = 1;
  LayerState s;
  a->applyAt(s, 0.5);
  EXPECT_NEAR(s.transform.m11, -1, 1e-9);
  EXPECT_NEAR(s.transform.m22, -1, 1e-9);
}

TEST(AnimationTest, TransformInterpolationThroughDecomposition) {
  // Half-way between the identity and a quarter turn is an eighth turn, not a shrunken matrix.
  auto mid = interpolateValues(Transform3D::identity(), Transform3D::rotation(kPi / 2, 0, 0, 1), 0.5);
  ASSERT_TRUE(mid);
  Transform3D expected = Transform3D::rotation(kPi / 4, 0, 0, 1);
  const Transform3D& m = std::get<Transform3D>(*mid);
  EXPECT_NEAR(m.m11, expected.m11, 1e-9);
  EXPECT_NEAR(m.m12, expected.m12, 1e-9);
  EXPECT_NEAR(m.m21, expected.m21, 1e-9);

  // Scale and translation interpolate linearly; the ends are exact.
  Transform3D a = Transform3D::scale(1, 1, 1), b = Transform3D::scale(3, 5, 1).concat(Transform3D::translation(10, 0, 0));
  const Transform3D h = std::get<Transform3D>(*interpolateValues(a, b, 0.5));
  EXPECT_NEAR(h.m11, 2, 1e-9);
  EXPECT_NEAR(h.m22, 3, 1e-9);
  EXPECT_NEAR(h.m41, 5, 1e-9);
  EXPECT_EQ(std::get<Transform3D>(*interpolateValues(a, b, 1)), b);

  // Just short of the end, a rotation about y is all but reached.
  Transform3D r = Transform3D::rotation(1.0, 0, 1, 0);
  auto near1 = interpolateValues(Transform3D::identity(), r, 0.999999);
  EXPECT_NEAR(std::get<Transform3D>(*near1).m13, r.m13, 1e-5);

  // Kinds must match; colours and rects interpolate by component.
  EXPECT_FALSE(interpolateValues(1.0, Point{1, 1}, 0.5));
  auto c = interpolateValues(Color(0, 0, 0, 0), Color(1, 0.5, 0, 1), 0.5);
  EXPECT_EQ(std::get<Color>(*c), Color(0.5, 0.25, 0, 0.5));
  auto r2 = interpolateValues(Rect(0, 0, 10, 10), Rect(10, 20, 30, 40), 0.5);
  EXPECT_EQ(std::get<Rect>(*r2), Rect(5, 10, 20, 25));
}

TEST(AnimationTest, NoActionAndCopies) {
  EXPECT_EQ(Animation::noAction(), Animation::noAction());
  auto a = BasicAnimation::withKeyPath("opacity");
  a->toValue = 0.5;
  int stops = 0;
  a->onStop = [&](bool) { ++stops; };
  auto c = std::dynamic_pointer_cast<BasicAnimation>(a->copy());
  ASSERT_TRUE(c);
  EXPECT_NE(c, a);
  EXPECT_EQ(c->keyPath, "opacity");
  c->onStop(true);
  EXPECT_EQ(stops, 1);
  auto t = TransitionAnimation::make(TransitionAnimation::Type::Push);
  t->subtype = "fromLeft";
  auto tc = std::dynamic_pointer_cast<TransitionAnimation>(t->copy());
  ASSERT_TRUE(tc);
  EXPECT_EQ(tc->type, TransitionAnimation::Type::Push);
  EXPECT_EQ(tc->subtype, "fromLeft");
}

}  // namespace
}  // namespace gfx
