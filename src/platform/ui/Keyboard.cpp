#include "platform/ui/Keyboard.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/NotificationCenter.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/KeyboardView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"

namespace ui {
namespace {

// Keyboard heights of the tablets, by interface orientation.
constexpr double LandscapeHeight = 352;
constexpr double LargeLandscapeHeight = 398;
constexpr double PortraitHeight = 264;
constexpr double LargePortraitHeight = 328;
// Screens at least this long (landscape width) or wide (portrait width) get the larger keyboard.
constexpr double LargeLandscapeWidth = 1366;
constexpr double LargePortraitWidth = 1024;

// The screen's size in the interface orientation.
gfx::Size interfaceSize() {
  gfx::Rect b = Screen::main().bounds();
  double longSide = std::max(b.width(), b.height());
  double shortSide = std::min(b.width(), b.height());
  switch (Application::shared().statusBarOrientation()) {
    case InterfaceOrientation::LandscapeLeft:
    case InterfaceOrientation::LandscapeRight:
      return {longSide, shortSide};
    case InterfaceOrientation::Portrait:
    case InterfaceOrientation::PortraitUpsideDown:
      return {shortSide, longSide};
    case InterfaceOrientation::Unknown:
      break;
  }
  return b.size;
}

std::string formatNumber(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

}  // namespace

Keyboard& Keyboard::shared() {
  // Never destroyed: its window must not go at exit after the application it belongs to.
  static Keyboard* keyboard = new Keyboard();
  return *keyboard;
}

Keyboard::Keyboard()
    : m_orientationObserver(core::NotificationCenter::defaultCenter(),
                            Application::DidChangeStatusBarOrientationNotification, nullptr,
                            [this](const core::Notification&) { followScreen(); }) {}

gfx::Rect Keyboard::frame() const { return m_visible ? m_frame : gfx::Rect(); }

gfx::Rect Keyboard::shownFrame() {
  gfx::Size s = interfaceSize();
  double height;
  if (s.width >= s.height) height = s.width >= LargeLandscapeWidth ? LargeLandscapeHeight : LandscapeHeight;
  else height = s.width >= LargePortraitWidth ? LargePortraitHeight : PortraitHeight;
  return gfx::Rect(0, s.height - height, s.width, height);
}

core::Value Keyboard::valueFromRect(const gfx::Rect& r) {
  return core::Value("{{" + formatNumber(r.x()) + ", " + formatNumber(r.y()) + "}, {" + formatNumber(r.width()) +
                     ", " + formatNumber(r.height()) + "}}");
}

gfx::Rect Keyboard::rectFromValue(const core::Value& value) {
  if (value.isDictionary()) {
    return gfx::Rect(value["X"].doubleValue(), value["Y"].doubleValue(), value["Width"].doubleValue(),
                     value["Height"].doubleValue());
  }
  if (!value.isString()) return gfx::Rect();
  std::string text = value.stringValue();
  double x = 0, y = 0, w = 0, h = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), " {{ %lf , %lf } , { %lf , %lf }%c", &x, &y, &w, &h, &end) != 5 || end != '}') {
    return gfx::Rect();
  }
  return gfx::Rect(x, y, w, h);
}

// ---------------------------------------------------------------------------------------------
// Inputs

void Keyboard::inputDidBegin(const Responder* input) {
  if (!input) return;
  bool another = input != m_input;
  m_input = input;
  if (!m_visible) transition(true);
  else if (another) chooseLayout();
}

void Keyboard::inputDidEnd(const Responder* input) {
  if (!input || m_input != input) return;
  m_input = nullptr;
  hideIfIdle();
}

void Keyboard::inputDestroyed(const Responder* input) {
  if (!input || m_input != input) return;
  m_input = nullptr;
  // Observers may reach into the views being torn down: let the hide happen on a later turn.
  if (core::RunLoop::isMainThread()) {
    core::RunLoop::main().performAfterDelay(
        m_hideTarget.weakPtr(), 0, [this] { hideIfIdle(); }, {core::RunLoop::CommonModes});
  }
}

void Keyboard::hideIfIdle() {
  if (m_handovers > 0 || m_input || !m_visible) return;
  transition(false);
}

Keyboard::Handover::Handover() { ++shared().m_handovers; }

Keyboard::Handover::~Handover() {
  Keyboard& k = shared();
  if (k.m_handovers > 0) --k.m_handovers;
  k.hideIfIdle();
}

Keyboard::ForcedResign::ForcedResign() { ++shared().m_forced; }

Keyboard::ForcedResign::~ForcedResign() {
  Keyboard& k = shared();
  if (k.m_forced > 0) --k.m_forced;
}

bool Keyboard::isForcingResign() { return shared().m_forced > 0; }

// ---------------------------------------------------------------------------------------------
// Showing and hiding

void Keyboard::show() {
  if (!m_visible) transition(true);
}

void Keyboard::hide() {
  if (m_visible) transition(false);
}

void Keyboard::finishTransition() {
  if (!m_transitionPending) return;
  m_transitionPending = false;
  core::RunLoop::main().cancelPerforms(m_transitionTarget.weakPtr());
  core::Value info = m_pendingInfo;
  bool shown = m_pendingShow;
  m_pendingInfo = core::Value();
  auto& center = core::NotificationCenter::defaultCenter();
  center.post(DidChangeFrameNotification, nullptr, info);
  center.post(shown ? DidShowNotification : DidHideNotification, nullptr, info);
}

void Keyboard::transition(bool show) {
  // A transition still under way completes first, so that every will- has its did-.
  finishTransition();
  gfx::Rect shown = shownFrame();
  gfx::Rect below(shown.x(), shown.maxY(), shown.width(), shown.height());
  // Showing slides up from just below the screen; hiding slides down from where it is.
  gfx::Rect begin = show ? below : (m_frame.isEmpty() ? shown : m_frame);
  gfx::Rect end = show ? shown : gfx::Rect(begin.x(), begin.maxY(), begin.width(), begin.height());

  m_visible = show;
  m_frame = show ? shown : gfx::Rect();

  core::Value info;
  info.set(FrameBeginUserInfoKey, valueFromRect(begin));
  info.set(FrameEndUserInfoKey, valueFromRect(end));
  info.set(AnimationDurationUserInfoKey, AnimationDuration);
  info.set(AnimationCurveUserInfoKey, AnimationCurve);
  info.set(IsLocalUserInfoKey, true);

  m_transitionPending = true;
  m_pendingShow = show;
  m_pendingInfo = info;
  if (core::RunLoop::isMainThread()) {
    core::RunLoop::main().performAfterDelay(
        m_transitionTarget.weakPtr(), AnimationDuration, [this] { finishTransition(); }, {core::RunLoop::CommonModes});
  }
  present(show, begin, end);
  auto& center = core::NotificationCenter::defaultCenter();
  center.post(WillChangeFrameNotification, nullptr, info);
  center.post(show ? WillShowNotification : WillHideNotification, nullptr, info);
}

// ---------------------------------------------------------------------------------------------
// The keys on the screen

void Keyboard::present(bool show, const gfx::Rect& begin, const gfx::Rect& end) {
  if (!core::RunLoop::isMainThread()) return;
  if (!m_window) {
    m_window = std::make_shared<KeyboardWindow>(Screen::main().bounds());
    m_view = KeyboardView::create();
    m_window->addSubview(m_view);
  }
  uint64_t presentation = ++m_presentations;
  auto view = m_view;
  // An input may begin inside a screen's own animation: the keyboard keeps to its own.
  View::performWithoutAnimation([&] {
    // The window covers the screen as the interface has it, so its coordinates are the screen's.
    m_window->setFrame(Screen::main().bounds());
    if (show) {
      chooseLayout();
      m_window->setHidden(false);
    }
    view->setFrame(begin);
  });
  View::animate(
      AnimationDuration, 0,
      AnimationAllowUserInteraction | AnimationCurveEaseInOut | AnimationOverrideInheritedOptions,
      [&] { view->setFrame(end); },
      [this, presentation](bool) {
        if (presentation == m_presentations && !m_visible) m_window->setHidden(true);
      });
}

void Keyboard::chooseLayout() {
  if (!m_view) return;
  const auto* field = dynamic_cast<const TextField*>(m_input);
  m_view->setLayout(KeyboardView::layoutFor(field ? field->keyboardType() : KeyboardType::Default));
}

void Keyboard::followScreen() {
  if (!m_window) return;
  m_window->setFrame(Screen::main().bounds());
  if (!m_visible) return;
  ++m_presentations;
  m_frame = shownFrame();
  auto view = m_view;
  View::performWithoutAnimation([&] { view->setFrame(m_frame); });
}

void Keyboard::reset() {
  if (core::RunLoop::isMainThread()) {
    core::RunLoop::main().cancelPerforms(m_transitionTarget.weakPtr());
    core::RunLoop::main().cancelPerforms(m_hideTarget.weakPtr());
  }
  m_visible = false;
  m_frame = gfx::Rect();
  m_input = nullptr;
  m_handovers = 0;
  m_forced = 0;
  m_transitionPending = false;
  m_pendingShow = false;
  m_pendingInfo = core::Value();
  ++m_presentations;
  if (m_window) m_window->setHidden(true);
}

}  // namespace ui
