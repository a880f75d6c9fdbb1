#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Value.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/Responder.h"

namespace ui {

class Application;
class Control;
class Event;
class Window;

// Numbered as the platform numbered them.
enum class InterfaceOrientation { Unknown = 0, Portrait = 1, PortraitUpsideDown = 2, LandscapeRight = 3, LandscapeLeft = 4 };
enum InterfaceOrientationMask : unsigned {
  OrientationMaskPortrait = 1 << 1,
  OrientationMaskPortraitUpsideDown = 1 << 2,
  OrientationMaskLandscapeRight = 1 << 3,
  OrientationMaskLandscapeLeft = 1 << 4,
  OrientationMaskLandscape = (1 << 3) | (1 << 4),
  OrientationMaskAll = (1 << 1) | (1 << 2) | (1 << 3) | (1 << 4),
  OrientationMaskAllButUpsideDown = (1 << 1) | (1 << 3) | (1 << 4),
};
enum class StatusBarStyle { Default = 0, LightContent = 1 };
enum class ApplicationState { Active, Inactive, Background };

// The application's life-cycle callbacks. Every operation is optional.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual bool didFinishLaunching(Application&) { return true; }
  virtual void didBecomeActive(Application&) {}
  virtual void willResignActive(Application&) {}
  virtual void didEnterBackground(Application&) {}
  virtual void willEnterForeground(Application&) {}
  virtual void willTerminate(Application&) {}
  virtual void didReceiveMemoryWarning(Application&) {}
  // The orientations the interface may take in `window` (null: any window).
  virtual unsigned supportedInterfaceOrientations(Application&, Window*) { return OrientationMaskAll; }
};

// The running application: its windows, the status bar, and the life-cycle events it passes to
// its delegate (each one also posted as a notification of the same name on the default center).
class Application : public Responder {
 public:
  static constexpr const char* DidFinishLaunchingNotification = "ApplicationDidFinishLaunchingNotification";
  static constexpr const char* DidBecomeActiveNotification = "ApplicationDidBecomeActiveNotification";
  static constexpr const char* WillResignActiveNotification = "ApplicationWillResignActiveNotification";
  static constexpr const char* DidEnterBackgroundNotification = "ApplicationDidEnterBackgroundNotification";
  static constexpr const char* WillEnterForegroundNotification = "ApplicationWillEnterForegroundNotification";
  static constexpr const char* WillTerminateNotification = "ApplicationWillTerminateNotification";
  static constexpr const char* DidReceiveMemoryWarningNotification = "ApplicationDidReceiveMemoryWarningNotification";
  // Status bar changes. The orientation ones carry the new orientation (will) or the old one
  // (did) as an integer under StatusBarOrientationUserInfoKey; the frame ones the new frame (will)
  // or the old one (did) under StatusBarFrameUserInfoKey (see rectFromUserInfo).
  static constexpr const char* WillChangeStatusBarOrientationNotification =
      "ApplicationWillChangeStatusBarOrientationNotification";
  static constexpr const char* DidChangeStatusBarOrientationNotification =
      "ApplicationDidChangeStatusBarOrientationNotification";
  static constexpr const char* WillChangeStatusBarFrameNotification = "ApplicationWillChangeStatusBarFrameNotification";
  static constexpr const char* DidChangeStatusBarFrameNotification = "ApplicationDidChangeStatusBarFrameNotification";
  static constexpr const char* StatusBarOrientationUserInfoKey = "ApplicationStatusBarOrientationUserInfoKey";
  static constexpr const char* StatusBarFrameUserInfoKey = "ApplicationStatusBarFrameUserInfoKey";

  static Application& shared();

  // Not owned: the caller keeps the delegate alive while it is set.
  ApplicationDelegate* delegate() const { return m_delegate; }
  void setDelegate(ApplicationDelegate* delegate) { m_delegate = delegate; }

  // Launches (didFinishLaunching, then didBecomeActive) and runs the main run loop until it stops.
  // Returns the process exit status.
  int run(int argc, char** argv, ApplicationDelegate* delegate);
  // The launch alone, for tests and for run().
  bool launch();
  // Life-cycle transitions, in the order the platform makes them.
  void enterBackground();   // willResignActive, didEnterBackground
  void enterForeground();   // willEnterForeground, didBecomeActive
  void terminate();         // willTerminate
  void receiveMemoryWarning();
  ApplicationState applicationState() const { return m_state; }
  const std::vector<std::string>& arguments() const { return m_arguments; }

  // Windows, in the order they were made visible (a window shown again moves to the end); the
  // list holds them weakly.
  std::vector<std::shared_ptr<Window>> windows() const;
  Window* keyWindow() const;
  // The windows the screen shows, back to front: those not hidden and not placed inside another
  // view, by window level, and at one level in the order they were made visible.
  std::vector<std::shared_ptr<Window>> visibleWindows() const;
  // The window a touch at `screenPoint` goes to: the front-most visible window whose hit test
  // there finds a view (a window that takes no touches lets them through to the ones below).
  // Null when none does. Window::convertPointFromScreen gives the point in its coordinates.
  std::shared_ptr<Window> windowForTouchAt(gfx::Point screenPoint) const;
  // The window whose first responder typed text goes to: the key window, unless a visible window
  // in front of it has a first responder of its own (an alert's text field). Null when there is
  // neither.
  Window* textInputWindow() const;
  // Called by Window.
  void registerWindow(const std::shared_ptr<Window>& window);
  void unregisterWindow(const Window* window);
  void setKeyWindow(Window* window);

  unsigned supportedInterfaceOrientationsForWindow(Window* window);
  // Turns the interface when the orientations the delegate supports for the window (null: the
  // key window) no longer include the current one: to the first supported of landscape right,
  // landscape left, portrait and upside down. The windows that filled the screen take the
  // turned screen's bounds, then the status bar orientation changes (with its notifications); the
  // display draws the turned screen (display::Surface). Called where a tablet checks: when a
  // controller is presented or dismissed and when a window's root controller changes or the
  // window is made key.
  void updateInterfaceOrientation(Window* window = nullptr);
  // The orientation updateInterfaceOrientation would turn to: the current one while supported.
  InterfaceOrientation interfaceOrientationFor(Window* window = nullptr);
  InterfaceOrientation statusBarOrientation() const { return m_orientation; }
  // Posts the will/did orientation notifications, and the frame ones when the frame changes with
  // it (between portrait and landscape). Nothing is posted when the orientation stays the same.
  void setStatusBarOrientation(InterfaceOrientation o, bool animated = false);
  StatusBarStyle statusBarStyle() const { return m_statusBarStyle; }
  void setStatusBarStyle(StatusBarStyle style, bool animated = false);
  bool isStatusBarHidden() const { return m_statusBarHidden; }
  void setStatusBarHidden(bool hidden, bool animated = false);
  // 20 points across the top of the interface: as wide as the screen when the interface
  // orientation has the screen's shape (landscape on a wide screen), else as wide as the screen is
  // high; empty when hidden. Changes post the will/did frame notifications.
  gfx::Rect statusBarFrame() const;
  // A frame as the status bar notifications carry it (a dictionary of X, Y, Width, Height).
  static core::Value rectUserInfo(const gfx::Rect& rect);
  static gfx::Rect rectFromUserInfo(const core::Value& value);
  bool isNetworkActivityIndicatorVisible() const { return m_networkActivity; }
  void setNetworkActivityIndicatorVisible(bool visible) { m_networkActivity = visible; }
  bool isIdleTimerDisabled() const { return m_idleTimerDisabled; }
  void setIdleTimerDisabled(bool disabled) { m_idleTimerDisabled = disabled; }

  // Sends a control's action. Returns false when there was no action to call.
  using Action = std::function<void(Control&, const Event*)>;
  bool sendAction(const Action& action, Control& sender, const Event* event);
  // Sends an event to the window it concerns (touches: their window).
  void sendEvent(const Event& event);

  // Ignoring interaction events (nested): touches that begin meanwhile are dropped.
  void beginIgnoringInteractionEvents() { ++m_ignoring; }
  void endIgnoringInteractionEvents() {
    if (m_ignoring > 0) --m_ignoring;
  }
  bool isIgnoringInteractionEvents() const { return m_ignoring > 0; }

  // Back to the state of a fresh process (tests).
  void reset();

 private:
  Application() = default;
  void notify(const char* name);
  // Runs `change` between the will/did frame notifications when it changes the frame.
  void changeStatusBar(const std::function<void()>& change);

  ApplicationDelegate* m_delegate = nullptr;
  ApplicationState m_state = ApplicationState::Inactive;
  std::vector<std::string> m_arguments;
  std::vector<std::weak_ptr<Window>> m_windows;
  Window* m_keyWindow = nullptr;
  InterfaceOrientation m_orientation = InterfaceOrientation::LandscapeRight;
  StatusBarStyle m_statusBarStyle = StatusBarStyle::Default;
  bool m_statusBarHidden = false;
  bool m_networkActivity = false;
  bool m_idleTimerDisabled = false;
  int m_ignoring = 0;
};

}  // namespace ui
