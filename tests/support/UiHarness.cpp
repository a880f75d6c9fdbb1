#include "support/UiHarness.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/core/Clock.h"
#include "platform/core/Error.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/display/TextInput.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/KeyboardView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Window.h"
#include "platform/video/VideoPlayer.h"

#ifndef KT_SCREENSHOT_DIR
#define KT_SCREENSHOT_DIR "screens"
#endif

namespace support {
namespace {

constexpr double FrameInterval = 1.0 / 60;

// Test names may hold '/' (parameterised tests): keep them one folder deep.
std::string fileSafe(std::string name) {
  for (char& c : name) {
    if (c == '/' || c == ' ' || c == '\\') c = '_';
  }
  return name;
}

}  // namespace

ScreenTest::ScreenTest() {
  ui::Application::shared().reset();
  ui::Screen::main().reset();
  makeWindow();
}

ScreenTest::~ScreenTest() {
  m_display.reset();
  m_window.reset();
  // Whatever the window's views left on the loop for this turn runs while their objects are still
  // consistent, not in the next test.
  drainMainLoop();
  ui::Application::shared().reset();
  ui::Screen::main().reset();
  // Clips that the screens played are stopped before the next test (or the end of the program).
  media::VideoPlayer::drainTeardowns(10);
}

void ScreenTest::makeWindow() {
  m_display.reset();
  m_window.reset();
  m_window = ui::Window::create(ui::Screen::main().bounds());
  m_window->setBackgroundColor(gfx::Color::whiteColor());
  m_window->makeKeyAndVisible();
  // The display shows every visible window (alerts and overlays over this one).
  m_display = display::OffscreenSurface::create();
}

void ScreenTest::setDevice(Device device) {
  if (device == Device::LargeTablet) ui::Screen::main().setMode(gfx::Size{2048, 2732}, 2);
  else ui::Screen::main().reset();
  makeWindow();
}

void ScreenTest::render() {
  drainMainLoop();
  m_display->renderFrame();
}

void ScreenTest::layOutWindows() {
  for (const auto& w : m_display->shownWindows()) w->layoutAndDisplayIfNeeded();
}

gfx::Point ScreenTest::centreOf(const ui::View& view) {
  layOutWindows();
  gfx::Rect b = view.bounds();
  gfx::Point p = view.convertPointTo(gfx::Point{b.midX(), b.midY()}, nullptr);
  if (const ui::Window* w = view.window()) p = w->convertPointToScreen(p);
  return m_display->displayPointFromScreen(p);
}

ScreenTest::Finger ScreenTest::touchDown(gfx::Point point) {
  layOutWindows();
  Finger finger;
  point = m_display->screenPointFromDisplay(point);
  finger.window = m_display->windowForTouchAt(point);
  if (finger.window) finger.touch = finger.window->beginTouch(finger.window->convertPointFromScreen(point));
  return finger;
}

void ScreenTest::touchMove(const Finger& finger, gfx::Point point) {
  if (!finger.touch) return;
  point = m_display->screenPointFromDisplay(point);
  finger.window->moveTouch(finger.touch, finger.window->convertPointFromScreen(point));
}

void ScreenTest::touchUp(const Finger& finger) {
  if (finger.touch) finger.window->endTouch(finger.touch);
}

void ScreenTest::tap(gfx::Point point) {
  touchUp(touchDown(point));
  drainMainLoop();
}

void ScreenTest::tap(const ui::View& view) { tap(centreOf(view)); }

void ScreenTest::longPress(gfx::Point point, double seconds) {
  Finger finger = touchDown(point);
  drainMainLoop();
  wait(seconds);
  touchUp(finger);
  drainMainLoop();
}

void ScreenTest::longPress(const ui::View& view, double seconds) { longPress(centreOf(view), seconds); }

void ScreenTest::drag(gfx::Point from, gfx::Point to, int steps) {
  steps = std::max(1, steps);
  Finger finger = touchDown(from);
  drainMainLoop();
  for (int i = 1; i <= steps; ++i) {
    wait(FrameInterval);
    double t = static_cast<double>(i) / steps;
    touchMove(finger, gfx::Point{from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t});
    drainMainLoop();
  }
  touchUp(finger);
  drainMainLoop();
}

void ScreenTest::drag(const ui::View& from, const ui::View& to, int steps) {
  drag(centreOf(from), centreOf(to), steps);
}

bool ScreenTest::wheel(gfx::Point point, gfx::Point notches) {
  layOutWindows();
  constexpr double Notch = ui::ScrollView::WheelNotchPoints;
  gfx::Point travel = m_display->screenVectorFromDisplay({-notches.x * Notch, -notches.y * Notch});
  bool taken = m_display->scrollAt(m_display->screenPointFromDisplay(point), travel);
  drainMainLoop();
  return taken;
}

bool ScreenTest::type(const std::string& text) {
  ui::Window* w = m_display->textInputWindow();
  bool taken = w && display::insertText(*w, text);
  drainMainLoop();
  return taken;
}

bool ScreenTest::backspace() {
  ui::Window* w = m_display->textInputWindow();
  bool taken = w && display::deleteBackward(*w);
  drainMainLoop();
  return taken;
}

bool ScreenTest::tapKey(const std::string& key) {
  auto& keyboard = ui::Keyboard::shared();
  const auto& view = keyboard.view();
  if (!keyboard.isVisible() || !view || !view->window()) return false;
  for (const auto& k : view->keys()) {
    if (k.text != key) continue;
    gfx::Point p = view->convertPointTo(k.frame.center(), nullptr);
    tap(m_display->displayPointFromScreen(view->window()->convertPointToScreen(p)));
    return true;
  }
  return false;
}

bool ScreenTest::runUntil(const std::function<bool()>& condition, double timeoutSeconds) {
  return support::runUntil(condition, timeoutSeconds);
}

void ScreenTest::wait(double seconds) {
  if (seconds <= 0) {
    drainMainLoop();
    return;
  }
  double end = core::Clock::now() + seconds;
  if (core::Clock::isVirtual()) {
    // Frame-sized steps, so that timers and animations see the time pass as they would.
    while (core::Clock::now() < end) {
      core::Clock::advance(std::min(FrameInterval, end - core::Clock::now()));
      drainMainLoop();
    }
  } else {
    support::runUntil([end] { return core::Clock::now() >= end; }, seconds + 5);
  }
}

void ScreenTest::forEachView(const std::function<bool(const std::shared_ptr<ui::View>&)>& visit) const {
  std::function<bool(const std::shared_ptr<ui::View>&)> walk = [&](const std::shared_ptr<ui::View>& v) {
    if (!v || v->isHidden()) return false;
    if (visit(v)) return true;
    auto children = v->subviews();  // a copy: a visitor may change the tree
    for (const auto& c : children) {
      if (walk(c)) return true;
    }
    return false;
  };
  std::vector<std::shared_ptr<ui::Window>> windows;
  if (m_window) windows.push_back(m_window);
  // Then the others front to back.
  auto others = ui::Application::shared().visibleWindows();
  for (auto it = others.rbegin(); it != others.rend(); ++it) {
    if (*it != m_window) windows.push_back(*it);
  }
  for (const auto& w : windows) {
    if (walk(w)) return;
  }
}

std::shared_ptr<ui::View> ScreenTest::findViewByText(const std::string& text) const {
  std::shared_ptr<ui::View> found;
  forEachView([&](const std::shared_ptr<ui::View>& v) {
    if (auto label = std::dynamic_pointer_cast<ui::Label>(v); label && label->text() == text) found = v;
    else if (auto button = std::dynamic_pointer_cast<ui::Button>(v); button && button->currentTitle() == text) found = v;
    return found != nullptr;
  });
  return found;
}

std::shared_ptr<ui::View> ScreenTest::findViewByTag(int tag) const {
  std::shared_ptr<ui::View> found;
  forEachView([&](const std::shared_ptr<ui::View>& v) {
    if (v->tag() == tag) found = v;
    return found != nullptr;
  });
  return found;
}

std::vector<std::shared_ptr<ui::AlertView>> ScreenTest::visibleAlerts() const {
  auto alerts = findViews<ui::AlertView>();
  std::erase_if(alerts, [](const auto& a) { return !a->isVisible(); });
  return alerts;
}

bool ScreenTest::tapAlertButton(const std::string& title) {
  std::shared_ptr<ui::View> front;
  if (auto alerts = visibleAlerts(); !alerts.empty()) front = alerts.back();
  for (const auto& sheet : findViews<ui::ActionSheet>()) {
    if (!front && sheet->isVisible()) front = sheet;
  }
  if (!front) return false;
  for (const auto& v : front->subviews()) {
    auto button = std::dynamic_pointer_cast<ui::Button>(v);
    if (button && !button->isHidden() && button->currentTitle() == title) {
      tap(*button);
      return true;
    }
  }
  return false;
}

std::string ScreenTest::screenshotPath(const std::string& name) const {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string test = info ? fileSafe(std::string(info->test_suite_name()) + "." + info->name()) : "unknown";
  const char* dir = std::getenv("KT_SCREENS_DIR");
  return std::string(dir && *dir ? dir : KT_SCREENSHOT_DIR) + "/" + test + "/" + fileSafe(name) + ".png";
}

std::shared_ptr<gfx::Image> ScreenTest::screenshot(const std::string& name) {
  render();
  core::Error error;
  std::string path = screenshotPath(name);
  EXPECT_TRUE(m_display->saveScreenshot(path, &error)) << path << ": " << error.description();
  return m_display->snapshot();
}

uint32_t ScreenTest::colorAt(const gfx::Image& image, gfx::Point point) {
  int x = static_cast<int>(std::floor(point.x * image.scale()));
  int y = static_cast<int>(std::floor(point.y * image.scale()));
  uint32_t p = image.pixelAt(x, y);
  uint32_t a = p >> 24;
  if (a == 0) return 0;
  auto unpremultiply = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  uint32_t r = unpremultiply((p >> 16) & 0xFF), g = unpremultiply((p >> 8) & 0xFF), b = unpremultiply(p & 0xFF);
  return (a << 24) | (r << 16) | (g << 8) | b;
}

}  // namespace support
