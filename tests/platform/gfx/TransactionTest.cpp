#include "platform/gfx/Transaction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/gfx/Layer.h"
#include "support/RunUntil.h"

namespace gfx {
namespace {

// Animations on a virtual clock: the run loop jumps to each timer's date.
class AnimationEngineTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Transaction::flush();
    support::drainMainLoop();
  }
  support::VirtualClock m_clock;
};

std::shared_ptr<BasicAnimation> fade(double from, double to, double duration) {
  auto a = BasicAnimation::withKeyPath("opacity");
  a->fromValue = from;
  a->toValue = to;
  a->duration = duration;
  return a;
}

TEST_F(AnimationEngineTest, PresentationFollowsTheClockAndCompletionFiresAtTheEnd) {
  auto l = Layer::create();
  double t0 = core::Clock::now();
  std::vector<std::string> events;
  double stoppedAt = -1;
  auto a = fade(0, 1, 2);
  a->onStart = [&] { events.push_back("start"); };
  a->onStop = [&](bool finished) {
    events.push_back(finished ? "finished" : "stopped");
    stoppedAt = core::Clock::now();
  };
  l->addAnimation(a, "fade");
  EXPECT_EQ(a->beginTime, 0);  // the layer keeps a copy
  ASSERT_TRUE(l->animationForKey("fade"));
  EXPECT_EQ(l->animationForKey("fade")->beginTime, t0);
  EXPECT_EQ(l->presentation().opacity, 0);
  core::Clock::advance(0.5);
  EXPECT_NEAR(l->presentation().opacity, 0.25, 1e-9);
  EXPECT_EQ(l->model().opacity, 1);

  ASSERT_TRUE(support::runUntil([&] { return stoppedAt >= 0; }));
  EXPECT_DOUBLE_EQ(stoppedAt, t0 + 2);
  EXPECT_EQ(events, (std::vector<std::string>{"start", "finished"}));
  EXPECT_FALSE(l->hasAnimations());
  EXPECT_EQ(l->presentation().opacity, 1);
}

TEST_F(AnimationEngineTest, RemovalAndReplacementStopUnfinished) {
  auto l = Layer::create();
  std::vector<std::pair<int, bool>> stops;
  auto first = fade(0, 1, 1);
  first->onStop = [&](bool f) { stops.push_back({1, f}); };
  auto second = fade(1, 0, 1);
  second->onStop = [&](bool f) { stops.push_back({2, f}); };
  l->addAnimation(first, "k");
  l->addAnimation(second, "k");
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0], std::make_pair(1, false));
  EXPECT_EQ(l->animationKeys(), std::vector<std::string>{"k"});
  l->removeAnimation("k");
  ASSERT_EQ(stops.size(), 2u);
  EXPECT_EQ(stops[1], std::make_pair(2, false));
  // Nothing more fires when their end dates pass.
  core::Clock::advance(2);
  support::drainMainLoop();
  EXPECT_EQ(stops.size(), 2u);

  auto third = fade(0, 1, 1);
  third->onStop = [&](bool f) { stops.push_back({3, f}); };
  l->addAnimation(third, "a");
  l->addAnimation(fade(0, 1, 1), "b");
  l->removeAllAnimations();
  EXPECT_FALSE(l->hasAnimations());
  EXPECT_EQ(stops.back(), std::make_pair(3, false));
}

TEST_F(AnimationEngineTest, KeptAfterTheEndWithForwardsFill) {
  auto l = Layer::create(LayerKind::Shape);
  auto a = BasicAnimation::withKeyPath("strokeEnd");
  a->fromValue = 0.0;
  a->toValue = 0.4;
  a->duration = 1;
  a->removedOnCompletion = false;
  a->fillMode = FillMode::Forwards;
  int stops = 0;
  a->onStop = [&](bool f) { stops += f ? 1 : 100; };
  l->addAnimation(a, "draw");
  ASSERT_TRUE(support::runUntil([&] { return stops > 0; }));
  EXPECT_EQ(stops, 1);
  EXPECT_TRUE(l->hasAnimations());
  EXPECT_FALSE(l->hasRunningAnimations());
  core::Clock::advance(10);
  EXPECT_DOUBLE_EQ(l->presentation().strokeEnd, 0.4);
  l->removeAnimation("draw");  // already stopped: no second call
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(l->presentation().strokeEnd, 1);
}

TEST_F(AnimationEngineTest, BeginTimeInTheFutureAndRepeats) {
  auto l = Layer::create();
  double t0 = core::Clock::now();
  double startedAt = -1, stoppedAt = -1;
  auto a = fade(0, 1, 1);
  a->beginTime = t0 + 3;
  a->repeatCount = 2;
  a->autoreverses = true;
  a->fillMode = FillMode::Backwards;
  a->onStart = [&] { startedAt = core::Clock::now(); };
  a->onStop = [&](bool) { stoppedAt = core::Clock::now(); };
  l->addAnimation(a, "later");
  EXPECT_EQ(l->presentation().opacity, 0);  // filled backwards before it begins
  ASSERT_TRUE(support::runUntil([&] { return startedAt >= 0; }));
  EXPECT_DOUBLE_EQ(startedAt, t0 + 3);
  core::Clock::advance(1.5);  // second half of the first iteration: coming back
  EXPECT_NEAR(l->presentation().opacity, 0.5, 1e-9);
  ASSERT_TRUE(support::runUntil([&] { return stoppedAt >= 0; }));
  EXPECT_DOUBLE_EQ(stoppedAt, t0 + 3 + 4);
}

TEST_F(AnimationEngineTest, RepeatingForeverNeverFinishes) {
  auto l = Layer::create();
  auto a = fade(0, 1, 1);
  a->repeatCount = INFINITY;
  bool stopped = false;
  a->onStop = [&](bool f) { stopped = !f; };
  l->addAnimation(a, "spin");
  core::Clock::advance(1000.25);
  support::drainMainLoop();
  EXPECT_NEAR(l->presentation().opacity, 0.25, 1e-6);
  EXPECT_TRUE(l->hasRunningAnimations());
  l->removeAnimation("spin");
  EXPECT_TRUE(stopped);
}

TEST_F(AnimationEngineTest, ImplicitAnimationOfAStandaloneLayer) {
  auto l = Layer::create();
  l->setPosition({0, 0});
  support::drainMainLoop();
  EXPECT_FALSE(l->hasAnimations());  // unchanged: nothing to animate

  l->setPosition({100, 0});
  EXPECT_EQ(l->position(), (Point{100, 0}));
  ASSERT_TRUE(l->animationForKey("position"));
  auto anim = std::dynamic_pointer_cast<const BasicAnimation>(l->animationForKey("position"));
  ASSERT_TRUE(anim);
  EXPECT_DOUBLE_EQ(anim->duration, 0.25);
  EXPECT_EQ(l->presentation().position, (Point{0, 0}));
  core::Clock::advance(0.125);
  double mid = l->presentation().position.x;
  EXPECT_GT(mid, 0);
  EXPECT_LT(mid, 100);
  // A new change starts from where the presentation is now.
  l->setPosition({200, 0});
  EXPECT_NEAR(l->presentation().position.x, mid, 1e-9);
  ASSERT_TRUE(support::runUntil([&] { return !l->hasAnimations(); }));
  EXPECT_EQ(l->presentation().position, (Point{200, 0}));

  // The transaction's duration and curve.
  Transaction::begin();
  Transaction::setAnimationDuration(2);
  Transaction::setAnimationTimingFunction(TimingFunction::named(TimingFunction::Name::Linear));
  l->setOpacity(0);
  Transaction::commit();
  core::Clock::advance(1);
  EXPECT_NEAR(l->presentation().opacity, 0.5, 1e-9);
  l->removeAllAnimations();

  // Sub-key paths animate their whole property.
  l->setValueForKeyPath("transform.rotation.z", 1.0);
  EXPECT_TRUE(l->animationForKey("transform"));
}

TEST_F(AnimationEngineTest, NoImplicitAnimationWhenDisabledOrRefused) {
  auto l = Layer::create();
  Transaction::begin();
  Transaction::setDisableActions(true);
  l->setOpacity(0.5);
  Transaction::commit();
  EXPECT_FALSE(l->hasAnimations());

  // Outside an explicit transaction the setting lasts for this turn of the run loop.
  Transaction::setDisableActions(true);
  l->setOpacity(0.3);
  EXPECT_FALSE(l->hasAnimations());
  support::drainMainLoop();
  EXPECT_FALSE(Transaction::disableActions());

  struct Refuser : LayerDelegate {
    std::vector<std::string> asked;
    std::shared_ptr<Animation> actionForLayer(Layer&, const std::string& key) override {
      asked.push_back(key);
      return Animation::noAction();
    }
  } refuser;
  l->setDelegate(&refuser);
  l->setOpacity(0.9);
  l->setBounds(Rect(0, 0, 5, 5));
  EXPECT_FALSE(l->hasAnimations());
  EXPECT_EQ(refuser.asked, (std::vector<std::string>{"opacity", "bounds"}));

  // A delegate's own animation is completed from the change.
  struct Giver : LayerDelegate {
    std::shared_ptr<Animation> actionForLayer(Layer&, const std::string&) override {
      auto a = std::make_shared<BasicAnimation>();
      a->duration = 4;
      return a;
    }
  } giver;
  l->setDelegate(&giver);
  l->setOpacity(0.1);
  auto given = std::dynamic_pointer_cast<const BasicAnimation>(l->animationForKey("opacity"));
  ASSERT_TRUE(given);
  EXPECT_EQ(given->keyPath, "opacity");
  EXPECT_EQ(given->duration, 4);
  core::Clock::advance(2);
  EXPECT_NEAR(l->presentation().opacity, 0.5, 1e-9);
  l->setDelegate(nullptr);
  l->removeAllAnimations();
}

TEST_F(AnimationEngineTest, TransactionCompletionAfterItsAnimations) {
  auto l = Layer::create();
  auto other = Layer::create();
  double t0 = core::Clock::now();
  std::vector<std::string> order;
  double completedAt = -1;
  Transaction::begin();
  Transaction::setAnimationDuration(1);
  Transaction::setCompletionBlock([&] {
    order.push_back("completion");
    completedAt = core::Clock::now();
  });
  l->setOpacity(0);
  auto longer = fade(0, 1, 3);
  longer->onStop = [&](bool) { order.push_back("longer"); };
  other->addAnimation(longer, "explicit");
  Transaction::commit();
  EXPECT_TRUE(order.empty());
  // An animation added after the commit does not hold it.
  l->addAnimation(fade(0, 1, 10), "outside");
  ASSERT_TRUE(support::runUntil([&] { return completedAt >= 0; }));
  EXPECT_DOUBLE_EQ(completedAt, t0 + 3);
  EXPECT_EQ(order, (std::vector<std::string>{"longer", "completion"}));
  l->removeAllAnimations();
}

TEST_F(AnimationEngineTest, TransactionCompletionWithoutAnimationsAndNesting) {
  int done = 0;
  Transaction::begin();
  Transaction::setCompletionBlock([&] { ++done; });
  Transaction::commit();
  EXPECT_EQ(done, 1);  // at once

  // Removal counts as the end; an outer transaction waits for the inner one's animations.
  auto l = Layer::create();
  int outer = 0, inner = 0;
  Transaction::begin();
  Transaction::setCompletionBlock([&] { ++outer; });
  Transaction::begin();
  Transaction::setCompletionBlock([&] { ++inner; });
  EXPECT_FALSE(Transaction::disableActions());
  l->addAnimation(fade(0, 1, 5), "x");
  Transaction::commit();
  Transaction::commit();
  EXPECT_EQ(inner + outer, 0);
  l->removeAnimation("x");
  EXPECT_EQ(inner, 1);
  EXPECT_EQ(outer, 1);

  // Values nest and fall back to the outer ones.
  Transaction::begin();
  Transaction::setAnimationDuration(3);
  Transaction::begin();
  EXPECT_EQ(Transaction::animationDuration(), 3);
  Transaction::setAnimationDuration(1);
  EXPECT_EQ(Transaction::animationDuration(), 1);
  Transaction::commit();
  EXPECT_EQ(Transaction::animationDuration(), 3);
  Transaction::commit();
  EXPECT_EQ(Transaction::animationDuration(), 0.25);
  Transaction::commit();  // unbalanced: ignored
}

TEST_F(AnimationEngineTest, ImplicitTransactionCompletesOnTheNextTurn) {
  auto l = Layer::create();
  bool done = false;
  Transaction::setCompletionBlock([&] { done = true; });
  EXPECT_TRUE(Transaction::isOpen());
  l->setOpacity(0.5);
  support::drainMainLoop();  // commits; the animation still runs
  EXPECT_FALSE(Transaction::isOpen());
  EXPECT_FALSE(done);
  ASSERT_TRUE(support::runUntil([&] { return done; }));
  EXPECT_FALSE(l->hasAnimations());
}

TEST_F(AnimationEngineTest, DestroyedLayerReleasesItsTransaction) {
  bool done = false;
  Transaction::begin();
  Transaction::setCompletionBlock([&] { done = true; });
  {
    auto l = Layer::create();
    int stops = 0;
    auto a = fade(0, 1, 100);
    a->onStop = [&](bool) { ++stops; };
    l->addAnimation(a, "x");
    Transaction::commit();
    l.reset();
    EXPECT_EQ(stops, 0);  // no callbacks from a dying layer
  }
  EXPECT_FALSE(done);
  support::drainMainLoop();
  EXPECT_TRUE(done);
}

TEST_F(AnimationEngineTest, AnimatingSubKeysInTheEngine) {
  auto l = Layer::create();
  Transaction::begin();
  Transaction::setDisableActions(true);
  l->setBounds(Rect(0, 0, 100, 40));
  l->setPosition({50, 20});
  Transaction::commit();

  auto h = BasicAnimation::withKeyPath("bounds.size.height");
  h->toValue = 80.0;
  h->duration = 1;
  auto x = BasicAnimation::withKeyPath("position.x");
  x->byValue = 10.0;
  x->duration = 1;
  auto s = BasicAnimation::withKeyPath("transform.scale");
  s->fromValue = 1.0;
  s->toValue = 3.0;
  s->duration = 1;
  l->addAnimation(h, "h");
  l->addAnimation(x, "x");
  l->addAnimation(s, "s");
  core::Clock::advance(0.5);
  LayerState p = l->presentation();
  EXPECT_NEAR(p.bounds.height(), 60, 1e-9);
  EXPECT_NEAR(p.position.x, 55, 1e-9);
  EXPECT_NEAR(p.transform.m11, 2, 1e-9);
  EXPECT_NEAR(p.transform.m22, 2, 1e-9);
  EXPECT_EQ(l->model().bounds.height(), 40);
  l->removeAllAnimations();
}

}  // namespace
}  // namespace gfx
