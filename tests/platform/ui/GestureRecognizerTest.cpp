#include "platform/ui/GestureRecognizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/core/Clock.h"
#include "platform/ui/Button.h"
#include "platform/ui/LongPressGestureRecognizer.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "platform/ui/Touch.h"

using gfx::Point;
using gfx::Rect;
using ui::GestureRecognizer;
using ui::GestureRecognizerState;
using State = ui::GestureRecognizerState;

namespace {

// A view that writes down the touches it is told about.
class RecordingView : public ui::View {
 public:
  using View::View;
  std::vector<std::string> log;
  void touchesBegan(const ui::TouchSet&, const ui::Event*) override { log.push_back("began"); }
  void touchesMoved(const ui::TouchSet&, const ui::Event*) override { log.push_back("moved"); }
  void touchesEnded(const ui::TouchSet&, const ui::Event*) override { log.push_back("ended"); }
  void touchesCancelled(const ui::TouchSet&, const ui::Event*) override { log.push_back("cancelled"); }
};

class RefusingView : public ui::View {
 public:
  using View::View;
  bool gestureRecognizerShouldBegin(GestureRecognizer&) override { return false; }
};

struct Delegate : ui::GestureRecognizerDelegate {
  bool begin = true;
  bool receive = true;
  bool simultaneous = false;
  bool gestureRecognizerShouldBegin(GestureRecognizer&) override { return begin; }
  bool shouldReceiveTouch(GestureRecognizer&, const ui::Touch&) override { return receive; }
  bool shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer&, GestureRecognizer&) override {
    return simultaneous;
  }
};

// The states a recogniser's actions saw, in order.
template <class T>
std::shared_ptr<T> recorded(std::vector<State>& states) {
  return std::make_shared<T>([&states](GestureRecognizer& g) { states.push_back(g.state()); });
}

class Gestures : public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    view = std::make_shared<RecordingView>(Rect(100, 100, 400, 400));
    window->addSubview(view);
  }
  void wait(double seconds) {
    double end = core::Clock::now() + seconds;
    while (core::Clock::now() < end) {
      core::Clock::advance(std::min(1.0 / 60, end - core::Clock::now()));
      support::drainMainLoop();
    }
  }
  // A drag of one finger in `steps` moves a frame apart.
  void drag(Point from, Point to, int steps = 10) {
    auto t = window->beginTouch(from);
    for (int i = 1; i <= steps; ++i) {
      wait(1.0 / 60);
      double f = double(i) / steps;
      window->moveTouch(t, Point{from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f});
    }
    window->endTouch(t);
  }

  support::VirtualClock clock;
  std::shared_ptr<RecordingView> view;
};

}  // namespace

TEST_F(Gestures, TapRecognisesOnLiftAndStartsOver) {
  std::vector<State> states;
  auto tap = recorded<ui::TapGestureRecognizer>(states);
  view->addGestureRecognizer(tap);
  Point seen;
  tap->addTarget(this, [&](GestureRecognizer& g) { seen = g.locationInView(view.get()); });

  window->tap({150, 160});
  EXPECT_EQ(states, std::vector<State>{State::Ended});
  EXPECT_EQ(seen, (Point{50, 60}));
  EXPECT_EQ(tap->state(), State::Possible);
  // It took the touch: the view hears it was cancelled.
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "cancelled"}));

  // A finger that wanders fails the tap and the view keeps its touch.
  view->log.clear();
  auto t = window->beginTouch({150, 160});
  window->moveTouch(t, {150, 175});
  EXPECT_EQ(tap->state(), State::Failed);
  window->endTouch(t);
  EXPECT_EQ(states.size(), 1u);
  EXPECT_EQ(tap->state(), State::Possible);
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "moved", "ended"}));

  // Two fingers for a one-finger tap.
  auto a = window->beginTouch({150, 150});
  auto b = window->beginTouch({200, 200});
  window->endTouch(a);
  window->endTouch(b);
  EXPECT_EQ(states.size(), 1u);
}

TEST_F(Gestures, TwoFingerTapNeedsBothFingersDownTogether) {
  std::vector<State> states;
  auto tap = recorded<ui::TapGestureRecognizer>(states);
  tap->setNumberOfTouchesRequired(2);
  view->addGestureRecognizer(tap);
  auto a = window->beginTouch({150, 150});
  auto b = window->beginTouch({200, 200});
  window->endTouch(a);
  EXPECT_TRUE(states.empty());
  window->endTouch(b);
  EXPECT_EQ(states, std::vector<State>{State::Ended});
  window->tap({150, 150});  // one finger only
  EXPECT_EQ(states.size(), 1u);
}

TEST_F(Gestures, SingleTapWaitsForDoubleTapToFail) {
  std::vector<State> singles, doubles;
  auto single = recorded<ui::TapGestureRecognizer>(singles);
  auto twice = recorded<ui::TapGestureRecognizer>(doubles);
  twice->setNumberOfTapsRequired(2);
  single->requireGestureRecognizerToFail(twice);
  view->addGestureRecognizer(single);
  view->addGestureRecognizer(twice);

  window->tap({200, 200});
  EXPECT_TRUE(singles.empty());  // the double tap may still come
  // The view's touchesEnded waits too, and the single tap then takes the touch.
  EXPECT_EQ(view->log, std::vector<std::string>{"began"});
  wait(0.2);
  EXPECT_TRUE(singles.empty());
  wait(0.2);
  EXPECT_EQ(singles, std::vector<State>{State::Ended});
  EXPECT_TRUE(doubles.empty());
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "cancelled"}));
  EXPECT_EQ(single->state(), State::Possible);
  EXPECT_EQ(twice->state(), State::Possible);

  singles.clear();
  window->tap({200, 200});
  wait(0.1);
  window->tap({202, 201});
  EXPECT_EQ(doubles, std::vector<State>{State::Ended});
  wait(1);
  EXPECT_TRUE(singles.empty());

  // Too slow for a double: two singles.
  window->tap({200, 200});
  wait(0.5);
  window->tap({200, 200});
  wait(0.5);
  EXPECT_EQ(singles.size(), 2u);
  EXPECT_EQ(doubles.size(), 1u);
}

TEST_F(Gestures, ButtonKeepsItsTapFromAnAncestorsTapRecogniser) {
  std::vector<State> states;
  auto tap = recorded<ui::TapGestureRecognizer>(states);
  view->addGestureRecognizer(tap);
  auto button = ui::Button::create(ui::ButtonType::Custom, Rect(10, 10, 100, 40));
  view->addSubview(button);
  int clicks = 0;
  button->addTarget(this, [&](ui::Control&, const ui::Event*) { ++clicks; }, ui::ControlEventTouchUpInside);

  window->tap(uitest::centerInWindow(*button));
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(states.empty());
  EXPECT_EQ(tap->state(), State::Possible);

  // The plain background still reaches the recogniser.
  window->tap({300, 300});
  EXPECT_EQ(states, std::vector<State>{State::Ended});

  // A recogniser on the button itself takes the button's touch.
  std::vector<State> own;
  auto ownTap = recorded<ui::TapGestureRecognizer>(own);
  button->addGestureRecognizer(ownTap);
  window->tap(uitest::centerInWindow(*button));
  EXPECT_EQ(own.size(), 1u);
  EXPECT_EQ(clicks, 1);
}

TEST_F(Gestures, ShouldBeginAndShouldReceive) {
  std::vector<State> states;
  auto tap = recorded<ui::TapGestureRecognizer>(states);
  Delegate delegate;
  tap->setDelegate(&delegate);
  view->addGestureRecognizer(tap);

  delegate.begin = false;
  window->tap({200, 200});
  EXPECT_TRUE(states.empty());
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "ended"}));

  delegate.begin = true;
  delegate.receive = false;
  window->tap({200, 200});
  EXPECT_TRUE(states.empty());

  delegate.receive = true;
  auto refusing = std::make_shared<RefusingView>(Rect(0, 0, 50, 50));
  view->addSubview(refusing);
  window->tap({110, 110});  // in the refusing subview
  EXPECT_TRUE(states.empty());
  window->tap({300, 300});
  EXPECT_EQ(states.size(), 1u);
}

TEST_F(Gestures, StateObserversHearEveryChangeWithTheOldState) {
  auto pan = std::make_shared<ui::PanGestureRecognizer>();
  view->addGestureRecognizer(pan);
  std::vector<std::pair<State, State>> changes;
  auto owner = std::make_shared<int>(0);
  pan->addStateObserver(owner, [&](State o, State n) { changes.push_back({o, n}); });
  drag({200, 200}, {300, 200}, 5);
  const std::vector<std::pair<State, State>> expected{{State::Possible, State::Began},
                                                      {State::Began, State::Changed},
                                                      {State::Changed, State::Ended},
                                                      {State::Ended, State::Possible}};
  // Moves in Changed are no change of state.
  EXPECT_EQ(changes, expected);
  pan->removeStateObservers(owner);
  size_t heard = changes.size();
  drag({200, 200}, {300, 200}, 5);
  EXPECT_EQ(changes.size(), heard);
}

TEST_F(Gestures, PanFollowsTheFingerAndCancelsTheViewsTouch) {
  std::vector<State> states;
  auto pan = recorded<ui::PanGestureRecognizer>(states);
  view->addGestureRecognizer(pan);
  Point translation, velocity;
  pan->addTarget(this, [&](GestureRecognizer&) {
    translation = pan->translationInView(view.get());
    velocity = pan->velocityInView(view.get());
  });

  auto t = window->beginTouch({200, 200});
  window->moveTouch(t, {205, 200});
  EXPECT_TRUE(states.empty());  // inside the hysteresis
  window->moveTouch(t, {212, 200});
  EXPECT_EQ(states, std::vector<State>{State::Began});
  EXPECT_EQ(translation, (Point{12, 0}));
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "moved", "cancelled"}));
  for (int i = 1; i <= 12; ++i) {
    wait(1.0 / 60);
    window->moveTouch(t, {212.0 + 10 * i, 200});
  }
  window->endTouch(t);
  ASSERT_EQ(states.size(), 14u);
  EXPECT_EQ(states.back(), State::Ended);
  EXPECT_EQ(states[1], State::Changed);
  EXPECT_EQ(translation, (Point{132, 0}));
  EXPECT_NEAR(velocity.x, 600, 1);  // 10 points a frame
  EXPECT_NEAR(velocity.y, 0, 1e-9);
  EXPECT_EQ(view->log.size(), 3u);  // nothing after the cancel
  EXPECT_EQ(pan->state(), State::Possible);

  // A pause before lifting leaves no velocity.
  t = window->beginTouch({200, 200});
  window->moveTouch(t, {240, 200});
  wait(0.3);
  window->endTouch(t);
  EXPECT_EQ(velocity, (Point{0, 0}));
}

TEST_F(Gestures, PanTranslationInAScaledViewAndSetTranslation) {
  auto pan = std::make_shared<ui::PanGestureRecognizer>();
  view->setTransform(gfx::AffineTransform::make(2, 0, 0, 2, 0, 0));
  view->addGestureRecognizer(pan);
  std::vector<Point> seen;
  pan->addTarget(this, [&](GestureRecognizer&) {
    seen.push_back(pan->translationInView(view.get()));
    pan->setTranslation({0, 0}, view.get());
  });
  auto t = window->beginTouch({300, 300});
  window->moveTouch(t, {300, 320});
  window->moveTouch(t, {300, 330});
  window->endTouch(t);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], (Point{0, 10}));
  EXPECT_EQ(seen[1], (Point{0, 5}));
  EXPECT_EQ(pan->translationInView(nullptr), (Point{0, 0}));
}

TEST_F(Gestures, TwoFingerPanIgnoresOneFinger) {
  std::vector<State> states;
  auto pan = recorded<ui::PanGestureRecognizer>(states);
  pan->setMinimumNumberOfTouches(2);
  pan->setMaximumNumberOfTouches(2);
  view->addGestureRecognizer(pan);
  drag({200, 200}, {300, 200});
  EXPECT_TRUE(states.empty());

  auto a = window->beginTouch({200, 200});
  auto b = window->beginTouch({250, 200});
  auto c = window->beginTouch({300, 300});  // a third finger is not part of it
  window->moveTouch(a, {200, 230});
  window->moveTouch(b, {250, 230});
  window->moveTouch(c, {400, 400});
  EXPECT_EQ(pan->numberOfTouches(), 2u);
  EXPECT_EQ(pan->translationInView(nullptr), (Point{0, 30}));
  EXPECT_EQ(pan->locationInView(nullptr), (Point{225, 230}));
  window->endTouch(a);
  EXPECT_EQ(states.back(), State::Ended);
  window->endTouch(b);
  window->endTouch(c);
}

TEST_F(Gestures, CancelsTouchesInViewCanBeTurnedOff) {
  auto pan = std::make_shared<ui::PanGestureRecognizer>();
  pan->setCancelsTouchesInView(false);
  view->addGestureRecognizer(pan);
  drag({200, 200}, {260, 200}, 3);
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "moved", "moved", "moved", "ended"}));
}

TEST_F(Gestures, DelaysTouchesBeganHoldsTheViewBackUntilTheRecogniserFails) {
  std::vector<State> states;
  auto tap = recorded<ui::TapGestureRecognizer>(states);
  tap->setDelaysTouchesBegan(true);
  view->addGestureRecognizer(tap);
  window->tap({200, 200});
  EXPECT_EQ(states.size(), 1u);
  EXPECT_TRUE(view->log.empty());

  auto t = window->beginTouch({200, 200});
  EXPECT_TRUE(view->log.empty());
  window->moveTouch(t, {200, 230});  // the tap fails: the held touch, then this move
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "moved"}));
  window->moveTouch(t, {200, 240});
  window->endTouch(t);
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "moved", "moved", "ended"}));
}

TEST_F(Gestures, LongPressBeginsAfterTheDuration) {
  std::vector<State> states;
  auto press = recorded<ui::LongPressGestureRecognizer>(states);
  view->addGestureRecognizer(press);

  auto t = window->beginTouch({200, 200});
  wait(0.45);
  EXPECT_TRUE(states.empty());
  wait(0.1);
  EXPECT_EQ(states, std::vector<State>{State::Began});
  EXPECT_EQ(view->log, (std::vector<std::string>{"began", "cancelled"}));
  window->moveTouch(t, {260, 200});  // any distance once it has begun
  window->endTouch(t);
  EXPECT_EQ(states, (std::vector<State>{State::Began, State::Changed, State::Ended}));

  // Moving too far, or lifting too soon, fails it.
  states.clear();
  t = window->beginTouch({200, 200});
  window->moveTouch(t, {200, 212});
  wait(1);
  window->endTouch(t);
  t = window->beginTouch({200, 200});
  wait(0.3);
  window->endTouch(t);
  wait(1);
  EXPECT_TRUE(states.empty());

  // One tap first, then the press.
  press->setNumberOfTapsRequired(1);
  press->setMinimumPressDuration(0.2);
  window->tap({200, 200});
  wait(0.1);
  t = window->beginTouch({200, 200});
  wait(0.25);
  window->endTouch(t);
  EXPECT_EQ(states, (std::vector<State>{State::Began, State::Ended}));
}

TEST_F(Gestures, RecognisersThatCannotShareATouchFailTheOther) {
  std::vector<State> pans, presses;
  auto pan = recorded<ui::PanGestureRecognizer>(pans);
  auto press = recorded<ui::LongPressGestureRecognizer>(presses);
  press->setAllowableMovement(100);
  view->addGestureRecognizer(pan);
  window->addGestureRecognizer(press);  // an ancestor's
  auto t = window->beginTouch({200, 200});
  wait(0.6);
  EXPECT_EQ(presses, std::vector<State>{State::Began});
  window->moveTouch(t, {240, 200});
  EXPECT_TRUE(pans.empty());  // failed when the press began
  window->endTouch(t);
  EXPECT_EQ(presses.back(), State::Ended);

  // The pan first: the press is failed and never begins.
  presses.clear();
  t = window->beginTouch({200, 200});
  window->moveTouch(t, {240, 200});
  EXPECT_EQ(pans, std::vector<State>{State::Began});
  EXPECT_EQ(press->state(), State::Failed);
  wait(0.6);
  window->endTouch(t);
  EXPECT_TRUE(presses.empty());

  // Allowed together by either delegate.
  Delegate both;
  both.simultaneous = true;
  press->setDelegate(&both);
  pans.clear();
  t = window->beginTouch({200, 200});
  wait(0.6);
  window->moveTouch(t, {240, 200});
  window->endTouch(t);
  EXPECT_EQ(pans, (std::vector<State>{State::Began, State::Ended}));
  EXPECT_EQ(presses, (std::vector<State>{State::Began, State::Changed, State::Ended}));
}

TEST_F(Gestures, RequiredRecogniserThatRecognisesFailsTheWaitingOne) {
  std::vector<State> pans, presses;
  auto pan = recorded<ui::PanGestureRecognizer>(pans);
  auto press = recorded<ui::LongPressGestureRecognizer>(presses);
  pan->requireGestureRecognizerToFail(press);
  view->addGestureRecognizer(pan);
  view->addGestureRecognizer(press);
  // The press fails by moving: the pan begins at once.
  drag({200, 200}, {260, 200}, 4);
  EXPECT_EQ(pans.front(), State::Began);
  EXPECT_EQ(pans.back(), State::Ended);
  EXPECT_TRUE(presses.empty());

  // The press begins: the pan, which was waiting, fails.
  pans.clear();
  Delegate both;
  both.simultaneous = true;
  press->setDelegate(&both);
  press->setAllowableMovement(100);
  auto t = window->beginTouch({200, 200});
  window->moveTouch(t, {220, 200});
  EXPECT_EQ(pan->state(), State::Possible);
  wait(0.6);
  EXPECT_EQ(pan->state(), State::Failed);
  window->moveTouch(t, {240, 200});
  window->endTouch(t);
  EXPECT_TRUE(pans.empty());
  EXPECT_EQ(presses.front(), State::Began);
}

TEST_F(Gestures, DisablingCancelsAndTheRestOfTheTouchIsIgnored) {
  std::vector<State> states;
  auto pan = recorded<ui::PanGestureRecognizer>(states);
  view->addGestureRecognizer(pan);
  auto t = window->beginTouch({200, 200});
  window->moveTouch(t, {230, 200});
  pan->setEnabled(false);
  EXPECT_EQ(states, (std::vector<State>{State::Began, State::Cancelled}));
  EXPECT_EQ(pan->state(), State::Possible);
  pan->setEnabled(true);
  window->moveTouch(t, {260, 200});
  window->endTouch(t);
  EXPECT_EQ(states.size(), 2u);

  // Disabled before it began: it fails without an action, and takes no touches while disabled.
  t = window->beginTouch({200, 200});
  pan->setEnabled(false);
  window->moveTouch(t, {260, 200});
  window->endTouch(t);
  EXPECT_EQ(states.size(), 2u);
  EXPECT_EQ(pan->state(), State::Possible);
}

TEST_F(Gestures, ARecogniserBelongsToOneView) {
  auto tap = std::make_shared<ui::TapGestureRecognizer>();
  auto other = ui::View::create(Rect(600, 100, 100, 100));
  window->addSubview(other);
  view->addGestureRecognizer(tap);
  other->addGestureRecognizer(tap);
  EXPECT_TRUE(view->gestureRecognizers().empty());
  ASSERT_EQ(other->gestureRecognizers().size(), 1u);
  EXPECT_EQ(tap->view(), other.get());
  int taps = 0;
  tap->addTarget(this, [&](GestureRecognizer&) { ++taps; });
  window->tap({200, 200});
  window->tap({650, 150});
  EXPECT_EQ(taps, 1);

  // Moved in the middle of a gesture: that gesture is dropped.
  auto pan = std::make_shared<ui::PanGestureRecognizer>();
  int pans = 0;
  pan->addTarget(this, [&](GestureRecognizer&) { ++pans; });
  view->addGestureRecognizer(pan);
  auto t = window->beginTouch({200, 200});
  other->addGestureRecognizer(pan);
  window->moveTouch(t, {260, 200});
  window->endTouch(t);
  EXPECT_EQ(pans, 0);

  // A view that goes away lets go of its recognisers.
  other->removeFromSuperview();
  other.reset();
  EXPECT_EQ(tap->view(), nullptr);
  tap->removeTarget(nullptr);
}

TEST_F(Gestures, TheActionMayDestroyTheRecogniserAndItsView) {
  auto tap = std::make_shared<ui::TapGestureRecognizer>();
  std::weak_ptr<GestureRecognizer> weakTap = tap;
  std::weak_ptr<ui::View> weakView = view;
  int calls = 0;
  tap->addTarget(this, [&](GestureRecognizer& g) {
    ++calls;
    g.view()->removeGestureRecognizer(&g);
    view->removeFromSuperview();
    view.reset();
  });
  view->addGestureRecognizer(tap);
  tap.reset();
  window->tap({200, 200});
  support::drainMainLoop();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(weakTap.expired());
  EXPECT_TRUE(weakView.expired());
  window->tap({200, 200});
  EXPECT_EQ(calls, 1);

  // A pan destroyed mid-drag.
  view = std::make_shared<RecordingView>(Rect(100, 100, 400, 400));
  window->addSubview(view);
  auto pan = std::make_shared<ui::PanGestureRecognizer>();
  pan->addTarget(this, [&](GestureRecognizer& g) {
    if (g.state() == State::Changed) {
      view->removeGestureRecognizer(&g);
      pan.reset();
    }
  });
  view->addGestureRecognizer(pan);
  drag({200, 200}, {300, 200}, 5);
  EXPECT_FALSE(pan);
  EXPECT_TRUE(view->gestureRecognizers().empty());
}

TEST_F(Gestures, DrivenDirectlyWithoutTouches) {
  std::vector<State> states;
  auto pan = recorded<ui::PanGestureRecognizer>(states);
  pan->setState(State::Ended);  // not from Possible for a continuous gesture... still a recognition
  pan->setState(State::Began);
  pan->setState(State::Changed);
  pan->setState(State::Failed);  // a running gesture is cancelled, not failed
  EXPECT_EQ(states, (std::vector<State>{State::Ended, State::Began, State::Changed, State::Cancelled}));
  auto tap = recorded<ui::TapGestureRecognizer>(states);
  tap->setState(State::Began);  // no such state for a discrete gesture
  EXPECT_EQ(tap->state(), State::Possible);
  EXPECT_EQ(states.size(), 4u);
}
