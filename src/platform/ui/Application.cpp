#include "platform/ui/Application.h"

#include <algorithm>

#include "platform/core/NotificationCenter.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Event.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"

namespace ui {

Application& Application::shared() {
  // Held by a shared_ptr so that it can take part in the responder chain like any responder.
  // Never destroyed: its screens own requests and loads that other threads complete while the
  // process exits.
  static auto* app = new std::shared_ptr<Application>(new Application());
  return **app;
}

void Application::notify(const char* name) { core::NotificationCenter::defaultCenter().post(name, this); }

int Application::run(int argc, char** argv, ApplicationDelegate* delegate) {
  m_arguments.clear();
  for (int i = 0; i < argc; ++i) m_arguments.emplace_back(argv[i] ? argv[i] : "");
  m_delegate = delegate;
  if (!launch()) return 1;
  core::RunLoop::main().run();
  terminate();
  return 0;
}

bool Application::launch() {
  bool ok = m_delegate ? m_delegate->didFinishLaunching(*this) : true;
  notify(DidFinishLaunchingNotification);
  if (!ok) return false;
  m_state = ApplicationState::Active;
  if (m_delegate) m_delegate->didBecomeActive(*this);
  notify(DidBecomeActiveNotification);
  return true;
}

void Application::enterBackground() {
  if (m_state == ApplicationState::Background) return;
  if (m_state == ApplicationState::Active) {
    m_state = ApplicationState::Inactive;
    if (m_delegate) m_delegate->willResignActive(*this);
    notify(WillResignActiveNotification);
  }
  m_state = ApplicationState::Background;
  if (m_delegate) m_delegate->didEnterBackground(*this);
  notify(DidEnterBackgroundNotification);
}

void Application::enterForeground() {
  if (m_state == ApplicationState::Active) return;
  if (m_state == ApplicationState::Background) {
    m_state = ApplicationState::Inactive;
    if (m_delegate) m_delegate->willEnterForeground(*this);
    notify(WillEnterForegroundNotification);
  }
  m_state = ApplicationState::Active;
  if (m_delegate) m_delegate->didBecomeActive(*this);
  notify(DidBecomeActiveNotification);
}

void Application::terminate() {
  if (m_delegate) m_delegate->willTerminate(*this);
  notify(WillTerminateNotification);
}

void Application::receiveMemoryWarning() {
  if (m_delegate) m_delegate->didReceiveMemoryWarning(*this);
  notify(DidReceiveMemoryWarningNotification);
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
  std::vector<std::shared_ptr<Window>> out;
  for (const auto& w : m_windows) {
    if (auto s = w.lock()) out.push_back(s);
  }
  return out;
}

Window* Application::keyWindow() const { return m_keyWindow; }

void Application::registerWindow(const std::shared_ptr<Window>& window) {
  if (!window) return;
  // Made visible (again): it goes to the end, in front of the others of its level.
  std::erase_if(m_windows, [&](const auto& w) {
    auto s = w.lock();
    return !s || s == window;
  });
  m_windows.push_back(window);
}

std::vector<std::shared_ptr<Window>> Application::visibleWindows() const {
  auto out = windows();
  std::erase_if(out, [](const auto& w) { return w->isHidden() || w->superview() != nullptr; });
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a->windowLevel() < b->windowLevel(); });
  return out;
}

std::shared_ptr<Window> Application::windowForTouchAt(gfx::Point screenPoint) const {
  auto shown = visibleWindows();
  for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
    const auto& w = *it;
    if (w->hitTest(w->convertPointFromScreen(screenPoint), nullptr)) return w;
  }
  return nullptr;
}

Window* Application::textInputWindow() const {
  auto shown = visibleWindows();
  for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
    if (it->get() == m_keyWindow) break;
    if ((*it)->firstResponder()) return it->get();
  }
  return m_keyWindow;
}

void Application::unregisterWindow(const Window* window) {
  std::erase_if(m_windows, [&](const auto& w) {
    auto s = w.lock();
    return !s || s.get() == window;
  });
  if (m_keyWindow == window) m_keyWindow = nullptr;
}

void Application::setKeyWindow(Window* window) { m_keyWindow = window; }

unsigned Application::supportedInterfaceOrientationsForWindow(Window* window) {
  return m_delegate ? m_delegate->supportedInterfaceOrientations(*this, window) : unsigned(OrientationMaskAll);
}

InterfaceOrientation Application::interfaceOrientationFor(Window* window) {
  if (!window) window = m_keyWindow;
  unsigned supported = supportedInterfaceOrientationsForWindow(window);
  auto allows = [supported](InterfaceOrientation o) { return (supported & (1u << static_cast<unsigned>(o))) != 0; };
  if (allows(m_orientation)) return m_orientation;
  for (auto o : {InterfaceOrientation::LandscapeRight, InterfaceOrientation::LandscapeLeft, InterfaceOrientation::Portrait,
                 InterfaceOrientation::PortraitUpsideDown}) {
    if (allows(o)) return o;
  }
  return m_orientation;
}

void Application::updateInterfaceOrientation(Window* window) {
  InterfaceOrientation target = interfaceOrientationFor(window);
  if (target == m_orientation) return;
  gfx::Rect before = Screen::main().bounds();
  auto landscape = [](InterfaceOrientation o) {
    return o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
  };
  gfx::Rect after = before;
  if (landscape(target) != landscape(m_orientation)) after = gfx::Rect(0, 0, before.height(), before.width());
  // The windows first, so that whoever follows the status bar finds them turned.
  if (after != before) {
    for (const auto& w : windows()) {
      if (!w->superview() && w->frame() == before) w->setFrame(after);
    }
  }
  setStatusBarOrientation(target);
}

void Application::setStatusBarStyle(StatusBarStyle style, bool) { m_statusBarStyle = style; }

void Application::changeStatusBar(const std::function<void()>& change) {
  gfx::Rect before = statusBarFrame();
  // The frame the change will leave, worked out on a copy of the state.
  bool hidden = m_statusBarHidden;
  InterfaceOrientation orientation = m_orientation;
  change();
  gfx::Rect after = statusBarFrame();
  m_statusBarHidden = hidden;
  m_orientation = orientation;
  auto& center = core::NotificationCenter::defaultCenter();
  bool frameChanges = before != after;
  if (frameChanges) {
    center.post(WillChangeStatusBarFrameNotification, this,
                core::Value(core::Value::Dictionary{{StatusBarFrameUserInfoKey, rectUserInfo(after)}}));
  }
  change();
  if (frameChanges) {
    center.post(DidChangeStatusBarFrameNotification, this,
                core::Value(core::Value::Dictionary{{StatusBarFrameUserInfoKey, rectUserInfo(before)}}));
  }
}

void Application::setStatusBarOrientation(InterfaceOrientation o, bool) {
  if (o == m_orientation) return;
  InterfaceOrientation old = m_orientation;
  auto& center = core::NotificationCenter::defaultCenter();
  center.post(WillChangeStatusBarOrientationNotification, this,
              core::Value(core::Value::Dictionary{{StatusBarOrientationUserInfoKey, core::Value(int64_t(o))}}));
  changeStatusBar([&] { m_orientation = o; });
  center.post(DidChangeStatusBarOrientationNotification, this,
              core::Value(core::Value::Dictionary{{StatusBarOrientationUserInfoKey, core::Value(int64_t(old))}}));
}

void Application::setStatusBarHidden(bool hidden, bool) {
  if (hidden == m_statusBarHidden) return;
  changeStatusBar([&] { m_statusBarHidden = hidden; });
}

gfx::Rect Application::statusBarFrame() const {
  if (m_statusBarHidden) return gfx::Rect();
  gfx::Rect screen = Screen::main().bounds();
  bool wideScreen = screen.width() >= screen.height();
  bool landscape = m_orientation == InterfaceOrientation::LandscapeLeft || m_orientation == InterfaceOrientation::LandscapeRight;
  bool portrait = m_orientation == InterfaceOrientation::Portrait || m_orientation == InterfaceOrientation::PortraitUpsideDown;
  bool turned = (wideScreen && portrait) || (!wideScreen && landscape);
  return gfx::Rect(0, 0, turned ? screen.height() : screen.width(), 20);
}

core::Value Application::rectUserInfo(const gfx::Rect& r) {
  return core::Value(core::Value::Dictionary{{"X", core::Value(r.x())},
                                             {"Y", core::Value(r.y())},
                                             {"Width", core::Value(r.width())},
                                             {"Height", core::Value(r.height())}});
}

gfx::Rect Application::rectFromUserInfo(const core::Value& v) {
  return gfx::Rect(v["X"].doubleValue(), v["Y"].doubleValue(), v["Width"].doubleValue(), v["Height"].doubleValue());
}

bool Application::sendAction(const Action& action, Control& sender, const Event* event) {
  if (!action) return false;
  action(sender, event);
  return true;
}

void Application::sendEvent(const Event& event) {
  for (const auto& t : event.allTouches()) {
    if (Window* w = t->window()) {
      w->sendEvent(event);
      return;
    }
  }
  if (m_keyWindow) m_keyWindow->sendEvent(event);
}

void Application::reset() {
  m_delegate = nullptr;
  m_state = ApplicationState::Inactive;
  m_arguments.clear();
  m_windows.clear();
  m_keyWindow = nullptr;
  m_orientation = InterfaceOrientation::LandscapeRight;
  m_statusBarStyle = StatusBarStyle::Default;
  m_statusBarHidden = false;
  m_networkActivity = false;
  m_idleTimerDisabled = false;
  m_ignoring = 0;
}

}  // namespace ui
