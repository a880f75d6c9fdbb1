// The window on a Wayland compositor: Weston nested in a private X server, so that what the
// compositor shows can be read back from the X server and clicked on through it.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Error.h"
#include "platform/display/Display.h"
#include "platform/display/WaylandPresenter.h"
#include "platform/display/WindowSurface.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "PrivateDesktop.h"
#include "WindowScenes.h"
#include "support/DisplayServers.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "XGrab.h"

namespace {

using support::ScopedEnv;

class WaylandWindowTest : public PrivateDesktopTest {
 protected:
  void TearDown() override {
    m_grab.reset();
    PrivateDesktopTest::TearDown();
  }

  // A private X server with Weston in it, its output `width` x `height` (smaller than the X
  // server's screen), named in the environment for the rest of the test: with the X server too (a
  // desktop with XWayland) or without it.
  void startCompositor(int width, int height, bool withX) {
    m_grab.reset();
    m_desktop.start("1600x1200x24", PrivateDesktop::Compositor::Kiosk, width, height, withX);
    if (testing::Test::HasFatalFailure()) return;
    m_grab = std::make_unique<XGrab>(m_desktop.x->display());
  }

  // A 384 x 288 output with a window on it, and a presenter of the test's own on the window's
  // surface (the window's own presents nothing).
  void openWithOwnPresenter(std::unique_ptr<display::WindowSurface>& surface,
                            std::unique_ptr<display::WaylandPresenter>& presenter) {
    startCompositor(384, 288, false);
    if (HasFatalFailure()) return;
    core::Error error;
    surface = display::WindowSurface::open({}, &error);
    ASSERT_NE(surface, nullptr) << error.description();
    ASSERT_TRUE(surface->isWayland());
    std::string why;
    presenter = display::WaylandPresenter::create(surface->sdlWindow(), &why);
    ASSERT_NE(presenter, nullptr) << why;
  }

  // Handles the window's events until the compositor shows what `shown` wants (up to 20 s).
  bool waitUntilShown(display::WindowSurface& surface, const std::function<bool(const XGrab&)>& shown) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      surface.processEvents();
      if (m_grab->read() && shown(*m_grab)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // A click at a point of the output: the pointer comes in from outside the output (the nested
  // compositor learns where it is when it enters, and follows its moves by their differences after),
  // and the button is pressed once the window has heard where it is.
  bool click(display::WindowSurface& surface, int x, int y) {
    auto at = [&] {
      int mx = -1, my = -1;
      SDL_GetMouseState(&mx, &my);
      return mx == x && my == y;
    };
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!at() && std::chrono::steady_clock::now() < until) {
      m_grab->leave();
      m_grab->moveTo(x, y);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      surface.processEvents();
    }
    if (!at()) {
      int mx = -1, my = -1;
      SDL_GetMouseState(&mx, &my);
      ADD_FAILURE() << "the window has the mouse at " << mx << ", " << my << ", not at " << x << ", " << y;
      return false;
    }
    for (bool down : {true, false}) {
      const Uint32 type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
      m_grab->press(down);
      // Until SDL has handed the button on (its event handled by the surface).
      bool seen = false;
      while (!seen && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        SDL_PumpEvents();
        SDL_Event e;
        while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
          seen = seen || e.type == type;
          surface.handleEvent(e);
        }
      }
      if (!seen) return false;
    }
    return true;
  }

  // Reads the compositor's events, as the window does with its own, until a frame presented now
  // is drawn at once (up to 20 s).
  static bool waitForBuffer(display::WaylandPresenter& presenter, const display::WaylandPresenter::Frame& frame) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!presenter.hasFreeBuffer() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      SDL_PumpEvents();
      presenter.dispatch(frame);
    }
    return presenter.hasFreeBuffer();
  }

  std::unique_ptr<XGrab> m_grab;
};

// The kiosk shell gives the window the whole 1280 x 1024 output: the 1024 x 768 screen is fitted
// into it at 1.25 times, 32 pixels from the top, with black above and below.
TEST_F(WaylandWindowTest, WaylandWindowShowsItsFramesFittedToTheOutputAndTakesClicks) {
  for (bool withX : {false, true}) {
    SCOPED_TRACE(withX ? "with an X server beside the compositor" : "Wayland alone");
    startCompositor(1280, 1024, withX);
    if (HasFatalFailure()) return;

    ButtonScene scene;
    auto& [window, button, taps] = scene;

    core::Error error;
    auto surface = display::WindowSurface::open({}, &error);
    ASSERT_NE(surface, nullptr) << error.description();
    EXPECT_TRUE(surface->isWayland()) << "SDL chose " << SDL_GetCurrentVideoDriver();
    EXPECT_DOUBLE_EQ(surface->windowScale(), 1.25);
    EXPECT_EQ(surface->pictureOrigin(), (gfx::Point{0, 32}));

    // Screen point (x, y) is at (1.25 x, 32 + 1.25 y) of the output.
    EXPECT_FALSE(surface->renderFrame().isEmpty());
    auto red = [](const XGrab& g) {
      return g.at(500, 407) == 0xCC3333u && g.at(125, 157) == 0x0000FFu && g.at(1275, 1020 - 32) == 0x0000FFu &&
             g.at(640, 10) == 0 && g.at(640, 1010) == 0;
    };
    EXPECT_TRUE(waitUntilShown(*surface, red)) << "shown at the button: " << std::hex << m_grab->at(500, 407)
                                               << ", above the picture: " << m_grab->at(640, 10);
    auto shown = surface->readPixels();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->pixelWidth(), 1280);
    EXPECT_EQ(shown->pixelAt(500, 407), 0xFFCC3333u);
    EXPECT_EQ(shown->pixelAt(640, 10), 0xFF000000u);

    // Only the button changes: the damaged part reaches the output, the rest stays.
    button->setBackgroundColor(gfx::Color::rgba(0, 1, 0));
    EXPECT_FALSE(surface->renderFrame().isEmpty());
    EXPECT_TRUE(waitUntilShown(*surface, [](const XGrab& g) {
      return g.at(500, 407) == 0x00FF00u && g.at(125, 157) == 0x0000FFu && g.at(640, 10) == 0;
    })) << std::hex << m_grab->at(500, 407);

    // A click on the output over the button is a tap; one in the black above it is nothing.
    EXPECT_TRUE(click(*surface, 640, 10));
    EXPECT_EQ(taps, 0);
    EXPECT_TRUE(click(*surface, 500, 407));
    EXPECT_EQ(taps, 1);

    surface.reset();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    window.reset();
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }
}

// GL drawn through the platform's own contexts between frames of a Wayland window, as the GL
// transitions draw: both keep working, and the compositor shows each frame.
TEST_F(WaylandWindowTest, WaylandGLDrawnBetweenFramesLeavesTheWindowWhole) {
  startCompositor(1024, 768, false);
  if (HasFatalFailure()) return;
  auto window = ui::Window::create();
  window->setBackgroundColor(gfx::Color::rgba(0, 0, 1));
  window->makeKeyAndVisible();
  core::Error error;
  auto surface = display::WindowSurface::open({}, &error);
  ASSERT_NE(surface, nullptr) << error.description();
  ASSERT_TRUE(surface->isWayland());
  EXPECT_DOUBLE_EQ(surface->windowScale(), 1.0);
  EXPECT_FALSE(surface->renderFrame().isEmpty());

  // Away from the top left corner, where the compositor draws the pointer until it moves.
  drawGLBetweenFrames(*window, *surface, [&](uint32_t rgb, int round) {
    EXPECT_TRUE(waitUntilShown(*surface, [&](const XGrab& g) { return g.at(100, 300) == rgb && g.at(1000, 700) == rgb; }))
        << "round " << round << ": " << std::hex << m_grab->at(100, 300);
  });
}

// A frame whose every pixel differs sharply from its neighbours, so that whatever the filter
// reaches of a change shows it.
struct PatternFrame {
  PatternFrame(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) pixels[y * w + x] = 0xFF000000u | (static_cast<uint32_t>(x * 97 + y * 57) * 2654435761u >> 8);
    }
  }
  void fill(const display::PixelRect& r, uint32_t argb) {
    for (int y = r.y0; y < r.y1; ++y) {
      for (int x = r.x0; x < r.x1; ++x) pixels[y * width + x] = argb;
    }
  }
  display::WaylandPresenter::Frame frame() { return {pixels.data(), width, height, width * 4}; }

  int width, height;
  std::vector<uint32_t> pixels;
};

// Small changes drawn into buffers that showed older frames, at upscales where the filter
// reaches several buffer pixels beyond each changed frame pixel: the buffer shown ends up as a
// drawing of the whole frame does, pixel for pixel.
TEST_F(WaylandWindowTest, PartsDrawnAgainAtLargeUpscalesMatchTheWholeFrameDrawn) {
  std::unique_ptr<display::WindowSurface> surface;
  std::unique_ptr<display::WaylandPresenter> presenter;
  openWithOwnPresenter(surface, presenter);
  if (HasFatalFailure()) return;

  const display::PixelRect buffer{0, 0, 384, 288};
  for (int scale : {6, 8}) {
    SCOPED_TRACE("at " + std::to_string(scale) + " times");
    PatternFrame pattern(384 / scale, 288 / scale);
    presenter->setGeometry(384, 288, 1, buffer);
    presenter->present(pattern.frame(), {0, 0, pattern.width, pattern.height});
    const int made = presenter->buffersMade();
    // Nine presents on at most three buffers: each buffer is drawn again over an older frame.
    for (int i = 0; i < 8; ++i) {
      ASSERT_TRUE(waitForBuffer(*presenter, pattern.frame())) << "the compositor let go of no buffer";
      const display::PixelRect block{3 + i * 5, 2 + i * 4, 5 + i * 5, 3 + i * 4 + i % 2};
      pattern.fill(block, i % 2 ? 0xFFFFFFFFu : 0xFF000000u);
      presenter->present(pattern.frame(), block);
    }
    ASSERT_LE(presenter->buffersMade() - made, 2);
    int w = 0, h = 0;
    const std::vector<uint32_t> parts = presenter->shownPixels(&w, &h);
    ASSERT_EQ(w * h, 384 * 288);

    // The same frame drawn whole into a buffer made afresh (after a change of geometry and back).
    presenter->setGeometry(384, 288, 1, {0, 0, 384, 287});
    presenter->setGeometry(384, 288, 1, buffer);
    ASSERT_TRUE(presenter->hasFreeBuffer());
    presenter->present(pattern.frame(), {0, 0, pattern.width, pattern.height});
    const std::vector<uint32_t> whole = presenter->shownPixels(&w, &h);
    ASSERT_EQ(whole.size(), parts.size());
    int differing = 0, worst = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
      if (whole[i] == parts[i]) continue;
      ++differing;
      for (int shift : {0, 8, 16}) {
        const int a = (whole[i] >> shift) & 0xFF, b = (parts[i] >> shift) & 0xFF;
        worst = std::max(worst, std::abs(a - b));
      }
    }
    EXPECT_EQ(differing, 0) << "pixels off by up to " << worst << "/255";
  }
}

// Changes of size while the compositor holds every buffer it was given (its releases are not
// read): buffers of earlier sizes are not kept without bound, and each frame is still shown.
TEST_F(WaylandWindowTest, RepeatedSizeChangesKeepTheLiveBuffersBounded) {
  std::unique_ptr<display::WindowSurface> surface;
  std::unique_ptr<display::WaylandPresenter> presenter;
  openWithOwnPresenter(surface, presenter);
  if (HasFatalFailure()) return;

  PatternFrame pattern(64, 48);
  int w = 0, h = 0;
  for (int i = 0; i < 12; ++i) {
    w = 384 - 16 * (i % 4), h = 288 - 12 * (i % 4);
    presenter->setGeometry(w, h, 1, {0, 0, w, h});
    presenter->present(pattern.frame(), {0, 0, pattern.width, pattern.height});
    // Three of the current size at most, and three older ones.
    EXPECT_LE(presenter->buffersAlive(), 6) << "after " << i + 1 << " sizes";
  }
  EXPECT_EQ(presenter->buffersMade(), 12);
  int shownWidth = 0, shownHeight = 0;
  EXPECT_EQ(presenter->shownPixels(&shownWidth, &shownHeight).size(), static_cast<size_t>(w) * h);
  EXPECT_EQ(shownWidth, w);
}

// A compositor named that is not there, and no X server: no offscreen surface in its place. The
// wait is said once on standard error, not only in the log, however often it is tried, and the
// reason comes back when the wait is over.
TEST(WaylandWindowOpenTest, ACompositorThatIsNotThereIsWaitedForSaidOnceThenAFailure) {
  support::TempHome home;
  ScopedEnv wayland("WAYLAND_DISPLAY", "kt-no-such-compositor");
  ScopedEnv runtime("XDG_RUNTIME_DIR", home.path().c_str());
  ScopedEnv x("DISPLAY", nullptr);
  ScopedEnv driver("SDL_VIDEODRIVER", nullptr);
  ScopedEnv offscreen("KT_OFFSCREEN", nullptr);
  ScopedEnv logged("KT_LOG_STDERR", nullptr);
  testing::internal::CaptureStderr();
  core::Error error;
  auto surface = display::open(display::OpenOptions{0.5}, &error);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(surface, nullptr);
  const std::string waiting = "No window could be opened on the desktop yet (WAYLAND_DISPLAY=kt-no-such-compositor, "
                              "DISPLAY unset)";
  ASSERT_NE(said.find(waiting), std::string::npos) << said;
  EXPECT_EQ(said.find(waiting, said.find(waiting) + 1), std::string::npos) << said;
  EXPECT_NE(said.find("Waiting up to 0.5 s"), std::string::npos) << said;
  const std::string reason = error.localizedDescription();
  EXPECT_NE(reason.find("no Wayland compositor listens at"), std::string::npos) << reason;
  EXPECT_NE(reason.find("(waited 0.5 s)"), std::string::npos) << reason;
  ui::Application::shared().reset();
  ui::Screen::main().reset();
}

// A signal that stops the program ends the wait at once, whatever is left of it.
TEST(WaylandWindowOpenTest, TheWaitEndsWhenTheInterruptDescriptorIsReadable) {
  support::TempHome home;
  ScopedEnv wayland("WAYLAND_DISPLAY", "kt-no-such-compositor");
  ScopedEnv runtime("XDG_RUNTIME_DIR", home.path().c_str());
  ScopedEnv x("DISPLAY", nullptr);
  ScopedEnv offscreen("KT_OFFSCREEN", nullptr);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  testing::internal::CaptureStderr();
  core::Error error;
  auto surface = display::open(display::OpenOptions{3600, fds[0]}, &error);
  testing::internal::GetCapturedStderr();
  close(fds[0]);
  close(fds[1]);
  EXPECT_EQ(surface, nullptr);
  EXPECT_NE(error.localizedDescription().find("interrupted"), std::string::npos) << error.localizedDescription();
  ui::Application::shared().reset();
  ui::Screen::main().reset();
}

}  // namespace
