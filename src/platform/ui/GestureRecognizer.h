#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/ui/Responder.h"

namespace ui {

class Event;
class GestureRecognizer;
class Touch;
class View;

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

  // Called by View when the recogniser is added to or removed from a view.
  void setView(View* view);

 protected:
  // Keeps the touch list up to date; subclasses call these from their touches... overrides
  // through the base implementations.
  void trackTouches(const TouchSet& touches);
  void untrackTouches(const TouchSet& touches);

 private:
  friend class Window;
  friend struct GestureRecognizerAccess;

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
  std::vector<std::weak_ptr<GestureRecognizer>> m_requiredToFail;
  TouchSet m_touches;
};

}  // namespace ui
