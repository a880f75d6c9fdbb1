// The window on a desktop: a title bar, maximised where the desktop is no larger than it, full
// screen when asked and with F11, the picture fitted whole whatever size it gets; and what is said
// when the named compositor is not there.
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Error.h"
#include "platform/display/WindowSurface.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "PrivateDesktop.h"
#include "XGrab.h"
#include "support/DisplayServers.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace {

using support::ScopedEnv;

class WindowDesktopTest : public PrivateDesktopTest {
 protected:
  void SetUp() override {
    PrivateDesktopTest::SetUp();
    if (IsSkipped()) return;
    m_window = ui::Window::create();
    m_window->setBackgroundColor(gfx::Color::rgba(0, 0, 1));
    m_window->makeKeyAndVisible();
  }
  void TearDown() override {
    m_window.reset();
    PrivateDesktopTest::TearDown();
  }

  // A private X server of `width` x `height`, with Weston's desktop shell in it (its output that
  // size) unless `x11Only`.
  void startDesktop(int width, int height, bool x11Only) {
    m_desktop.start(std::to_string(width) + "x" + std::to_string(height) + "x24",
                    x11Only ? PrivateDesktop::Compositor::Absent : PrivateDesktop::Compositor::Desktop, width, height);
  }

  // Handles the window's events until the condition holds (up to 20 s).
  static bool waitFor(display::WindowSurface& surface, const std::function<bool()>& condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      surface.processEvents();
      surface.renderFrame();
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  static gfx::Size windowSize(display::WindowSurface& surface) {
    int w = 0, h = 0;
    SDL_GetWindowSize(surface.sdlWindow(), &w, &h);
    return gfx::Size{double(w), double(h)};
  }

  // The 1024 x 768 screen fitted whole into the window: as large as fits, centred.
  static void expectFitted(display::WindowSurface& surface) {
    const gfx::Size w = windowSize(surface);
    const double scale = std::min(w.width / 1024, w.height / 768);
    EXPECT_DOUBLE_EQ(surface.windowScale(), scale) << w.width << " x " << w.height;
    EXPECT_DOUBLE_EQ(surface.pictureOrigin().x, (w.width - 1024 * scale) / 2);
    EXPECT_DOUBLE_EQ(surface.pictureOrigin().y, (w.height - 768 * scale) / 2);
  }

  static void pressF11(display::WindowSurface& surface) {
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_F11;
    key.key.keysym.scancode = SDL_SCANCODE_F11;
    surface.handleEvent(key);
  }

  std::shared_ptr<ui::Window> m_window;
};

// Weston's desktop has a panel along its 1024 x 768 output: a window of the screen's size would
// be cut off, so it opens maximised, below the panel, with its title bar, and the picture shrinks
// to fit.
TEST_F(WindowDesktopTest, OnADesktopNoLargerThanTheWindowItOpensMaximisedWithATitleBar) {
  startDesktop(1024, 768, false);
  if (HasFatalFailure()) return;
  testing::internal::CaptureStderr();
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  std::string said = testing::internal::GetCapturedStderr();
  ASSERT_NE(surface, nullptr) << error.description();
  ASSERT_TRUE(surface->isWayland()) << SDL_GetCurrentVideoDriver() << "; said: " << said;
  // Without a decoration plugin the window has no title bar, and says so.
  EXPECT_EQ(said.find("No plugins found"), std::string::npos) << said;
  EXPECT_EQ(said.find("Couldn't open plugin directory"), std::string::npos) << said;
  EXPECT_TRUE(waitFor(*surface, [&] { return windowSize(*surface).height < 768; }))
      << "the window stays " << windowSize(*surface).width << " x " << windowSize(*surface).height;
  EXPECT_TRUE(SDL_GetWindowFlags(surface->sdlWindow()) & SDL_WINDOW_MAXIMIZED);
  EXPECT_TRUE(SDL_GetWindowFlags(surface->sdlWindow()) & SDL_WINDOW_RESIZABLE);
  EXPECT_LT(surface->windowScale(), 1.0);
  expectFitted(*surface);
}

// Full screen when asked (here through the environment), F11 back to a window of the screen's
// size and to full screen again; the picture is fitted each time. On X11 and on Wayland, with a
// 1280 x 1024 desktop that the window fits on.
TEST_F(WindowDesktopTest, FullScreenWhenAskedAndF11TurnsItOffAndOn) {
  for (bool x11Only : {true, false}) {
    SCOPED_TRACE(x11Only ? "X11" : "Wayland");
    startDesktop(1280, 1024, x11Only);
    if (HasFatalFailure()) return;
    ScopedEnv fullScreen("KT_FULLSCREEN", "1");
    core::Error error;
    auto surface = display::WindowSurface::open({}, &error);
    ASSERT_NE(surface, nullptr) << error.description();
    EXPECT_EQ(surface->isWayland(), !x11Only);
    EXPECT_TRUE(surface->isFullScreen());
    auto is = [&](double w, double h) { return windowSize(*surface) == gfx::Size{w, h}; };
    EXPECT_TRUE(waitFor(*surface, [&] { return is(1280, 1024) && surface->windowScale() == 1.25; }))
        << windowSize(*surface).width << " x " << windowSize(*surface).height;
    expectFitted(*surface);
    EXPECT_EQ(surface->pictureOrigin(), (gfx::Point{0, 32}));
    // What the X server shows: the picture down to the output's bottom right corner, not only
    // the size the window is said to have.
    XGrab grab(m_desktop.x->display());
    auto fills = [&] {
      return grab.read() && grab.at(1275, 985) == 0x0000FFu && grab.at(5, 40) == 0x0000FFu && grab.at(640, 10) == 0;
    };
    EXPECT_TRUE(waitFor(*surface, fills)) << std::hex << grab.at(1275, 985) << " " << grab.at(640, 10);

    pressF11(*surface);
    EXPECT_FALSE(surface->isFullScreen());
    EXPECT_TRUE(waitFor(*surface, [&] { return is(1024, 768) && surface->windowScale() == 1.0; }))
        << windowSize(*surface).width << " x " << windowSize(*surface).height;
    expectFitted(*surface);

    pressF11(*surface);
    EXPECT_TRUE(surface->isFullScreen());
    EXPECT_TRUE(waitFor(*surface, [&] { return is(1280, 1024) && surface->windowScale() == 1.25; }))
        << windowSize(*surface).width << " x " << windowSize(*surface).height;
    surface.reset();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  }
}

// A bare X server (a kiosk's session, no window manager): toggles of full screen never wait on
// the server (here stopped while F11 is pressed over and over in one turn of the loop; waiting for
// a window manager's answer that never comes took a tenth of a second a press), and once the
// server goes on, the window is where the last press asked, with the picture drawn there.
TEST_F(WindowDesktopTest, FullScreenTogglesInABurstOnABareXServerNeverWaitOnTheServer) {
  startDesktop(1280, 1024, true);
  if (HasFatalFailure()) return;
  ScopedEnv fullScreen("KT_FULLSCREEN", "1");
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  ASSERT_NE(surface, nullptr) << error.description();
  XGrab grab(m_desktop.x->display());
  auto fullScreenShown = [&] {
    return windowSize(*surface) == gfx::Size{1280, 1024} && grab.read() && grab.at(1275, 985) == 0x0000FFu &&
           grab.at(5, 40) == 0x0000FFu && grab.at(640, 10) == 0;
  };
  // Windowed: the screen's size, centred on the output, the picture filling it.
  auto windowShown = [&] {
    return windowSize(*surface) == gfx::Size{1024, 768} && grab.read() && grab.at(0, 0) == 0x0000FFu &&
           grab.at(1023, 767) == 0x0000FFu;
  };
  ASSERT_TRUE(waitFor(*surface, fullScreenShown));
  for (int presses : {60, 201, 200, 61}) {
    SCOPED_TRACE(presses);
    const bool fullScreenBefore = surface->isFullScreen();
    m_desktop.x->signal(SIGSTOP);
    // Only as a bound: pressing takes far less than a millisecond here; waiting a tenth of a
    // second a press would take 20 s for 200 presses.
    std::atomic<bool> pressed{false}, timedOut{false};
    std::thread watchdog([&] {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!pressed && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (!pressed) timedOut = true;
      m_desktop.x->signal(SIGCONT);
    });
    for (int i = 0; i < presses; ++i) pressF11(*surface);
    // The turn of the loop they came in.
    surface->processEvents();
    pressed = true;
    watchdog.join();
    EXPECT_FALSE(timedOut) << "the presses waited on the stopped X server";
    const bool last = presses % 2 ? !fullScreenBefore : fullScreenBefore;
    EXPECT_EQ(surface->isFullScreen(), last);
    EXPECT_TRUE(waitFor(*surface, last ? std::function<bool()>(fullScreenShown) : std::function<bool()>(windowShown)))
        << windowSize(*surface).width << " x " << windowSize(*surface).height << std::hex << " " << grab.at(0, 0) << " "
        << grab.at(1275, 985);
  }
}

// WAYLAND_DISPLAY names a socket nobody listens at (and there is no X server): the error gives
// the socket's path, not only that no driver was available.
TEST(WindowOpenTest, ANamedCompositorThatIsNotThereIsSaidWithItsSocketPath) {
  support::TempHome home;
  ScopedEnv runtime("XDG_RUNTIME_DIR", home.path().c_str());
  ScopedEnv wayland("WAYLAND_DISPLAY", "kt-no-such-compositor");
  ScopedEnv x("DISPLAY", nullptr);
  ScopedEnv driver("SDL_VIDEODRIVER", nullptr);
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  EXPECT_EQ(surface, nullptr);
  const std::string text = error.localizedDescription();
  EXPECT_NE(text.find("no Wayland compositor listens at " + home.path() + "/kt-no-such-compositor"), std::string::npos)
      << text;
  ui::Application::shared().reset();
  ui::Screen::main().reset();
}

}  // namespace
