#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"

namespace display {
class OffscreenSurface;
}
namespace gfx {
class Image;
}
namespace ui {
class AlertView;
class Touch;
class View;
class Window;
}  // namespace ui

namespace support {

// The screens the tests run on.
enum class Device {
  Standard,     // 1024 x 768 points at scale 2
  LargeTablet,  // the 12.9-inch tablet: 2048 x 2732 pixels at scale 2 (1366 x 1024 points in landscape)
};

// Fixture for tests of screens: a fresh home, the virtual clock, and a key window the size of the
// main screen (white background) on an offscreen display that shows every visible window (alerts
// and overlays over the key window). Touches go to the front-most window that takes them, typing
// to the first responder of Application::textInputWindow, and both, like waiting, go through the
// main run loop as they would in the program.
class ScreenTest : public ::testing::Test {
 protected:
  ScreenTest();
  ~ScreenTest() override;

  // Switches the main screen's mode and starts over with a fresh key window of its size.
  void setDevice(Device device);

  ui::Window& window() const { return *m_window; }
  const std::shared_ptr<ui::Window>& windowPtr() const { return m_window; }
  display::OffscreenSurface& display() const { return *m_display; }

  // The layout pass and a frame, as the display makes before showing anything.
  void render();

  // Touches at points of the display, as a finger touches the glass (the key window's points
  // unless the interface is turned on the display), or at the centre of a view (laid out first).
  void tap(gfx::Point point);
  void tap(const ui::View& view);
  void longPress(gfx::Point point, double seconds);
  void longPress(const ui::View& view, double seconds);
  // Down at `from`, `steps` moves a frame (1/60 s) apart to `to`, up.
  void drag(gfx::Point from, gfx::Point to, int steps = 10);
  void drag(const ui::View& from, const ui::View& to, int steps = 10);
  // Notches of the mouse wheel (a touchpad's fractions too) with the pointer at a point of the
  // display, as the window turns them: `notches.y` positive towards the user (the content moves
  // up), `notches.x` positive to the right (the content moves left). False when no scroll view
  // took them.
  bool wheel(gfx::Point point, gfx::Point notches);
  // Types into the window's first responder ("\n" is return). False when nothing took the text.
  bool type(const std::string& text);
  bool backspace();
  // Taps the on-screen keyboard's key that types `key` ("\n" return, "\b" delete, " " space) or
  // is labelled so ("123", "ABC"), on the page it shows now. False when it shows no such key.
  bool tapKey(const std::string& key);

  // Runs the main loop until the condition holds or the (real) time-out passes.
  bool runUntil(const std::function<bool()>& condition, double timeoutSeconds = kDefaultWait);
  // Lets `seconds` pass: on the virtual clock in frame-sized steps with the loop drained after each.
  void wait(double seconds);

  // Visible views of the application's windows (the key window first), depth first, parents
  // before their subviews: the first label or button whose text or current title is `text`.
  std::shared_ptr<ui::View> findViewByText(const std::string& text) const;
  std::shared_ptr<ui::View> findViewByTag(int tag) const;
  template <class T>
  std::vector<std::shared_ptr<T>> findViews() const {
    std::vector<std::shared_ptr<T>> found;
    forEachView([&](const std::shared_ptr<ui::View>& v) {
      if (auto t = std::dynamic_pointer_cast<T>(v)) found.push_back(std::move(t));
      return false;
    });
    return found;
  }

  // The alerts on screen (shown and not yet dismissed).
  std::vector<std::shared_ptr<ui::AlertView>> visibleAlerts() const;
  // Taps the button titled `title` on the front-most alert, else on the front-most action sheet.
  // False when there is none or it has no such button.
  bool tapAlertButton(const std::string& title);

  // Makes a frame and saves it as <dir>/<suite>.<test>/<name>.png, where <dir> is $KT_SCREENS_DIR
  // when set and not empty, else <build>/screens; returns the image (nullptr when it could not
  // be made; the test fails when it could not be saved).
  std::shared_ptr<gfx::Image> screenshot(const std::string& name);
  std::string screenshotPath(const std::string& name) const;

  // The straight-alpha 0xAARRGGBB colour of the image at a point (in points).
  static uint32_t colorAt(const gfx::Image& image, gfx::Point point);

 private:
  // A finger on the window it went down on.
  struct Finger {
    std::shared_ptr<ui::Window> window;
    std::shared_ptr<ui::Touch> touch;
  };
  void makeWindow();
  void layOutWindows();
  gfx::Point centreOf(const ui::View& view);
  Finger touchDown(gfx::Point point);
  void touchMove(const Finger& finger, gfx::Point point);
  void touchUp(const Finger& finger);
  // Visits the visible views; stops when the visitor returns true.
  void forEachView(const std::function<bool(const std::shared_ptr<ui::View>&)>& visit) const;

  TempHome m_home;
  VirtualClock m_clock;
  std::shared_ptr<ui::Window> m_window;
  std::unique_ptr<display::OffscreenSurface> m_display;
};

}  // namespace support
