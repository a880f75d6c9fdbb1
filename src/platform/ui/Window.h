#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace ui {

class Event;
class GestureRecognizer;
class Touch;
class ViewController;

// The root of a view tree shown on the screen. It delivers touches to the views they hit, keeps
// the first responder, and runs the layout pass before each frame is drawn.
class Window : public View {
 public:
  static std::shared_ptr<Window> create(const gfx::Rect& frame) { return std::make_shared<Window>(frame); }
  // A window the size of the main screen.
  static std::shared_ptr<Window> create();
  explicit Window(const gfx::Rect& frame);
  ~Window() override;

  const std::shared_ptr<ViewController>& rootViewController() const { return m_rootViewController; }
  // Installs the controller's view as the window's content (the window's bounds, resizing with
  // it), with the appearance callbacks: will-appear now, did-appear on the run loop's next turn.
  // The previous root's view leaves with its disappearance callbacks.
  void setRootViewController(std::shared_ptr<ViewController> controller);

  // The application follows the window in the responder chain.
  Responder* nextResponder() const override;

  // Shows the window and makes it the application's key window.
  void makeKeyAndVisible();
  // Showing a window (false) puts it in front of the others of its level on the screen, without
  // making it key; hiding it takes it off the screen.
  void setHidden(bool hidden) override;
  // A point of the screen in this window's coordinates (through its frame and transform).
  gfx::Point convertPointFromScreen(gfx::Point p) const { return pointFromSuperview(p); }
  gfx::Point convertPointToScreen(gfx::Point p) const { return pointToSuperview(p); }
  void makeKeyWindow();
  bool isKeyWindow() const;
  double windowLevel() const { return m_windowLevel; }
  void setWindowLevel(double level) { m_windowLevel = level; }

  // Delivers touches: a touch that begins is given the view it hits and shown to the gesture
  // recognisers of that view and its ancestors; each touch then goes to those recognisers first
  // and to its view's touches... callback (and on along the responder chain), unless a recogniser
  // holds it back or has taken it.
  void sendEvent(const Event& event);

  // Synthesised touches at window coordinates (the display's pointer, tests). The tap count grows
  // for touches that begin within 0.35 s and 20 points of the last one that ended.
  std::shared_ptr<Touch> beginTouch(gfx::Point p);
  void moveTouch(const std::shared_ptr<Touch>& touch, gfx::Point p);
  void endTouch(const std::shared_ptr<Touch>& touch);
  void cancelTouch(const std::shared_ptr<Touch>& touch);
  // Down and up at one point.
  void tap(gfx::Point p);

  // A turn of the mouse wheel or a touchpad swipe with the pointer at `p` (window coordinates):
  // the content under it is to move by `travel` (window points, as a finger's travel). The view
  // hit there (the same hit test as a touch's) and its superviews are walked up, and each axis of
  // the travel goes to the innermost scroll view that takes it (ScrollView::scrollByWheel: one
  // at its end that way, or with scrolling disabled, passes it on). Where none of those views
  // scrolls up and down at all, travel only up or down moves them across instead (down: on to the
  // right). Whether any scroll view took some of it.
  bool scrollWheel(gfx::Point p, gfx::Point travel);

  // First responder slot.
  Responder* firstResponder() const;
  void setFirstResponder(Responder* responder);

  // The pass run before each frame is rendered: lays out every view that needs it (parents before
  // children) and has the views that draw refresh their content. The display calls it; it also
  // runs on the main run loop's next turn after a view asks for layout or display.
  void layoutAndDisplayIfNeeded();
  void scheduleLayoutPass();

 private:
  friend class GestureRecognizer;

  // A touch on its way: the recognisers it was shown to (hit view first, then its ancestors) and
  // what its view has been told so far.
  struct TouchRecord {
    std::shared_ptr<Touch> touch;
    std::vector<std::shared_ptr<GestureRecognizer>> recognizers;
    bool beganDelivered = false;  // the view has had touchesBegan
    bool endedHeld = false;       // the touch is gone; the view's touchesEnded waits for a recogniser
    bool viewCancelled = false;   // a recogniser took the touch: the view hears no more of it
  };

  void deliver(const std::shared_ptr<Touch>& touch, TouchPhase phase);
  void dispatchTouch(const std::shared_ptr<Touch>& touch, const Event& event);
  void deliverToView(TouchRecord& record, TouchPhase phase, const Event* event);
  // Whether a recogniser of the touch that is still deciding holds back the view's began (or ended).
  bool isHeldBack(const TouchRecord& record, bool ended) const;
  std::shared_ptr<TouchRecord> recordFor(const Touch* touch) const;
  // For the recognisers: the others shown any of the same touches; cancelling a recogniser's
  // touches in their views; delivering what was held back once recognisers have decided.
  std::vector<std::shared_ptr<GestureRecognizer>> recognizersSharingTouches(const GestureRecognizer& recognizer) const;
  void cancelTouchesInView(const GestureRecognizer& recognizer);
  void flushHeldTouches();

  std::shared_ptr<ViewController> m_rootViewController;
  double m_windowLevel = 0;
  std::weak_ptr<Responder> m_firstResponder;
  std::vector<std::shared_ptr<Touch>> m_activeTouches;
  std::vector<std::shared_ptr<TouchRecord>> m_touchRecords;
  bool m_passScheduled = false;
  double m_lastTapTime = -1e9;
  gfx::Point m_lastTapPoint;
  int m_lastTapCount = 0;
};

}  // namespace ui
