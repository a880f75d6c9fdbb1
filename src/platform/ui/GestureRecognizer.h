#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/Responder.h"

namespace ui {

class Event;
class GestureRecognizer;
class Touch;
class View;
class Window;

// Numbered as the platform numbered them; "recognized" is "ended".
enum class GestureRecognizerState { Possible = 0, Began = 1, Changed = 2, Ended = 3, Cancelled = 4, Failed = 5 };
constexpr GestureRecognizerState GestureRecognizerStateRecognized = GestureRecognizerState::Ended;

// Every operation is optional; the defaults are the platform's answers.
class GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer&) { return true; }
  virtual bool shouldReceiveTouch(GestureRecognizer&, const Touch&) { return true; }
  virtual bool shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer&, GestureRecognizer&) {
    return false;
  }
};

// Turns the touches of a view (and its subviews) into one gesture. The window shows each touch to
// the recognisers of the hit view and its ancestors before the view itself sees it; a recogniser
// that recognises cancels the touches in the view (when cancelsTouchesInView) and calls its
// actions on every change of state to Began, Changed, Ended or Cancelled (once on Ended for
// discrete gestures).
//
// Arbitration: a recogniser that recognises fails (or cancels, if already begun) the others shown
// any of its touches, unless either delegate lets the two run together or the can-prevent /
// can-be-prevented pair says no; one that would recognise while another runs on its touches fails.
// A recogniser waiting on requireGestureRecognizerToFail stays Possible until every required one
// has failed (or is not following any touch: an idle recogniser does not hold others up).
// While a recogniser with delaysTouchesBegan (delaysTouchesEnded) is still deciding, its touches'
// views get touchesBegan (touchesEnded) later, or touchesCancelled if it recognises. A finished
// recogniser starts over in Possible once its touches are gone: after the event being delivered,
// or at once when it finishes outside one (a timer, setEnabled, setState).
//
// Held by std::shared_ptr; a view keeps its recognisers, a recogniser knows its view by a plain
// pointer cleared when it is removed. A recogniser belongs to one view: adding it to another
// takes it from the first.
class GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  using Action = std::function<void(GestureRecognizer&)>;

  explicit GestureRecognizer(Action action = nullptr, const void* owner = nullptr);
  virtual ~GestureRecognizer();
  GestureRecognizer(const GestureRecognizer&) = delete;
  GestureRecognizer& operator=(const GestureRecognizer&) = delete;

  // Targets: `owner` identifies the action for removal (any pointer; may be null).
  void addTarget(const void* owner, Action action);
  // Removes the owner's actions (every action when `owner` is null).
  void removeTarget(const void* owner);

  GestureRecognizerState state() const { return m_state; }
  // Subclasses move the state; the base checks the move, asks the delegate before Began (or a
  // discrete Ended) and sends the actions.
  void setState(GestureRecognizerState state);

  // Observers of the state, told the old and new state after each change (the reset back to
  // Possible included). `owner` identifies them for removal; an observer whose owner has been
  // destroyed is dropped unheard.
  using StateObserver = std::function<void(GestureRecognizerState oldState, GestureRecognizerState newState)>;
  void addStateObserver(const core::WeakToken& owner, StateObserver observer);
  void removeStateObservers(const core::WeakToken& owner);

  View* view() const { return m_view; }

  // Disabling a recogniser in the middle of a gesture cancels it.
  bool isEnabled() const { return m_enabled; }
  void setEnabled(bool enabled);

  // Not owned: the caller keeps the delegate alive while it is set.
  GestureRecognizerDelegate* delegate() const { return m_delegate; }
  void setDelegate(GestureRecognizerDelegate* delegate) { m_delegate = delegate; }

  bool cancelsTouchesInView() const { return m_cancelsTouchesInView; }
  void setCancelsTouchesInView(bool cancels) { m_cancelsTouchesInView = cancels; }
  bool delaysTouchesBegan() const { return m_delaysTouchesBegan; }
  void setDelaysTouchesBegan(bool delays) { m_delaysTouchesBegan = delays; }
  bool delaysTouchesEnded() const { return m_delaysTouchesEnded; }
  void setDelaysTouchesEnded(bool delays) { m_delaysTouchesEnded = delays; }

  // This recogniser waits until `other` fails before it may leave Possible; it fails when `other`
  // recognises. Held weakly.
  void requireGestureRecognizerToFail(const std::shared_ptr<GestureRecognizer>& other);

  // The centroid of the recogniser's touches in `view` (the window when null).
  virtual gfx::Point locationInView(const View* view) const;
  size_t numberOfTouches() const { return m_touches.size(); }
  gfx::Point locationOfTouch(size_t index, const View* view) const;

  // Subclasses override these; they see only the touches the delegate let through.
  virtual void touchesBegan(const TouchSet& touches, const Event* event);
  virtual void touchesMoved(const TouchSet& touches, const Event* event);
  virtual void touchesEnded(const TouchSet& touches, const Event* event);
  virtual void touchesCancelled(const TouchSet& touches, const Event* event);
  // Back to Possible after a gesture ends, fails or is cancelled (the window calls it once the
  // touches of the gesture are gone).
  virtual void reset();

  // Whether this recogniser, recognising, keeps `other` from recognising (and the reverse).
  virtual bool canPreventGestureRecognizer(const GestureRecognizer& other) const;
  virtual bool canBePreventedByGestureRecognizer(const GestureRecognizer& other) const;
  // Continuous gestures (pan, pinch, rotation, long press) report Began and Changed; discrete ones
  // (tap) go from Possible straight to Ended.
  virtual bool isContinuous() const { return false; }

  // The touches the recogniser is following, in the order they began.
  const TouchSet& touches() const { return m_touches; }

  // Called by View when the recogniser is added to or removed from a view. A gesture in progress
  // is dropped without actions and the recogniser starts over in Possible.
  void setView(View* view);

 protected:
  // Keeps the touch list up to date; subclasses call these from their touches... overrides
  // through the base implementations. Untracking a touch that is still down also ignores it:
  // the recogniser sees no more of that touch.
  void trackTouches(const TouchSet& touches);
  void untrackTouches(const TouchSet& touches);
  // The centroid of the followed touches in window coordinates (the last one when none are left).
  gfx::Point centroidInWindow() const;

  // Controls keep their touches: a recogniser answering true does not begin while an enabled
  // ui::Control lies between one of its touched views (inclusive) and the recogniser's own view
  // (exclusive), so the control still gets its touch-up-inside. Single-finger single taps answer
  // true; every other recogniser may take a control's touch.
  virtual bool yieldsToControls() const { return false; }

 private:
  friend class Window;
  friend struct GestureRecognizerAccess;

  bool isActive() const {
    return m_state == GestureRecognizerState::Possible || m_state == GestureRecognizerState::Began ||
           m_state == GestureRecognizerState::Changed;
  }
  bool isFinished() const { return !isActive(); }
  bool isRecognizedOrRunning() const {
    return m_state == GestureRecognizerState::Began || m_state == GestureRecognizerState::Changed ||
           m_state == GestureRecognizerState::Ended;
  }
  // Possible and following (or waiting for) a gesture: others that require this one to fail wait.
  bool isUndecided() const;
  bool tracks(const Touch* touch) const;
  // Whether the window gives this recogniser a touch that is just beginning.
  bool acceptsNewTouch(const Touch& touch);
  // The window is done with `touch` (ended or cancelled).
  void forgetTouch(const Touch* touch);
  void tryToRecognize(GestureRecognizerState target);
  void notifyState(GestureRecognizerState old);
  void moveTo(GestureRecognizerState state);
  void sendActions();
  bool shouldBegin();
  bool preventedByRunningRecognizer();
  void failOthersSharingTouches();
  bool canRecognizeSimultaneously(GestureRecognizer& other);
  enum class Requirement { Clear, Waiting, Recognized };
  Requirement requirementStatus() const;
  void scheduleReset();
  void resetNow();
  Window* window() const;
  // Reset waits until a delivery in progress is over (nesting allowed).
  static void beginDelivery();
  static void endDelivery();
  // Recognisers waiting for others to fail are re-examined after every change of state.
  static void evaluatePending();

  struct Target {
    const void* owner = nullptr;
    Action action;
  };
  View* m_view = nullptr;
  GestureRecognizerState m_state = GestureRecognizerState::Possible;
  bool m_enabled = true;
  bool m_cancelsTouchesInView = true;
  bool m_delaysTouchesBegan = false;
  bool m_delaysTouchesEnded = true;
  GestureRecognizerDelegate* m_delegate = nullptr;
  std::vector<Target> m_targets;
  struct StateObserverEntry {
    core::WeakToken owner;
    StateObserver fn;
  };
  std::vector<StateObserverEntry> m_stateObservers;
  std::vector<std::weak_ptr<GestureRecognizer>> m_requiredToFail;
  TouchSet m_touches;
  // The views hit by the touches of this gesture (the controls rule and the views' say).
  std::vector<std::weak_ptr<View>> m_touchedViews;
  gfx::Point m_lastLocation;  // window coordinates
  bool m_involved = false;    // has had touches since the last reset
  // Possible, or the state it will move to once the recognisers it requires have failed.
  GestureRecognizerState m_pendingState = GestureRecognizerState::Possible;
  bool m_resetQueued = false;
};

}  // namespace ui
