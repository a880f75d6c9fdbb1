#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace ui {

class Event;
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

  // Only stored here; the controller manages its own view.
  const std::shared_ptr<ViewController>& rootViewController() const { return m_rootViewController; }
  void setRootViewController(std::shared_ptr<ViewController> controller) { m_rootViewController = std::move(controller); }

  // The application follows the window in the responder chain.
  Responder* nextResponder() const override;

  // Shows the window and makes it the application's key window.
  void makeKeyAndVisible();
  void makeKeyWindow();
  bool isKeyWindow() const;
  double windowLevel() const { return m_windowLevel; }
  void setWindowLevel(double level) { m_windowLevel = level; }

  // Delivers touches: a touch that begins is given the view it hits; each touch then goes to its
  // view's touches... callback (and on along the responder chain).
  void sendEvent(const Event& event);

  // Synthesised touches at window coordinates (the display's pointer, tests). The tap count grows
  // for touches that begin within 0.35 s and 20 points of the last one that ended.
  std::shared_ptr<Touch> beginTouch(gfx::Point p);
  void moveTouch(const std::shared_ptr<Touch>& touch, gfx::Point p);
  void endTouch(const std::shared_ptr<Touch>& touch);
  void cancelTouch(const std::shared_ptr<Touch>& touch);
  // Down and up at one point.
  void tap(gfx::Point p);

  // First responder slot.
  Responder* firstResponder() const;
  void setFirstResponder(Responder* responder);

  // The pass run before each frame is rendered: lays out every view that needs it (parents before
  // children) and has the views that draw refresh their content. The display calls it; it also
  // runs on the main run loop's next turn after a view asks for layout or display.
  void layoutAndDisplayIfNeeded();
  void scheduleLayoutPass();

 private:
  void deliver(const std::shared_ptr<Touch>& touch, TouchPhase phase);

  std::shared_ptr<ViewController> m_rootViewController;
  double m_windowLevel = 0;
  std::weak_ptr<Responder> m_firstResponder;
  std::vector<std::shared_ptr<Touch>> m_activeTouches;
  bool m_passScheduled = false;
  double m_lastTapTime = -1e9;
  gfx::Point m_lastTapPoint;
  int m_lastTapCount = 0;
};

}  // namespace ui
