// The display going away under a window: the compositor or the X server ends (on a signal or a
// kill) or breaks the connection over a protocol error while frames are being shown. The window's
// calls return, the loss is said on standard error with the display and the cause, and the main
// run loop is stopped as a termination signal stops it.
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Error.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/display/WindowSurface.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "PrivateDesktop.h"
#include "WindowScenes.h"
#include "support/DisplayServers.h"
#include "support/TempHome.h"

// Last: it brings the window systems' own headers, whose macros clash with ordinary names.
#include <SDL_syswm.h>

namespace {

class DisplayLossTest : public PrivateDesktopTest {
 protected:
  void TearDown() override {
    m_surface.reset();
    m_scene.reset();
    PrivateDesktopTest::TearDown();
  }

  // A private X server, with Weston in it unless `x11Only`, named in the environment; then the
  // window, showing the button scene with a long animation running, so that frames keep coming.
  void openWindow(bool x11Only) {
    m_desktop.start("1280x1024x24", x11Only ? PrivateDesktop::Compositor::Absent : PrivateDesktop::Compositor::Kiosk,
                    1024, 768);
    if (HasFatalFailure()) return;
    m_scene = std::make_unique<ButtonScene>();
    core::Error error;
    m_surface = display::WindowSurface::open({}, &error);
    ASSERT_NE(m_surface, nullptr) << error.description();
    ASSERT_EQ(m_surface->isWayland(), !x11Only);
    ui::View::animate(600, [&] { m_scene->button->setAlpha(0.1); });
    m_surface->start();
    // Until a few frames of the animation are on show.
    const uint64_t shown = m_surface->frameCount() + 5;
    runMainLoopUntil([&] { return m_surface->frameCount() >= shown; });
  }

  // Runs the main loop until the condition holds (checked every 10 ms of real time) or it is
  // stopped; false when a minute went by first.
  bool runMainLoopUntil(const std::function<bool()>& condition) {
    core::RunLoop& loop = core::RunLoop::main();
    bool timedOut = false;
    auto check = core::Timer::create(0.01, true, [&](core::Timer&) {
      if (condition()) loop.stop();
    });
    auto watchdog = core::Timer::create(60, false, [&](core::Timer&) {
      timedOut = true;
      loop.stop();
    });
    loop.addTimer(check, core::RunLoop::DefaultMode);
    loop.addTimer(watchdog, core::RunLoop::DefaultMode);
    loop.run();
    check->invalidate();
    watchdog->invalidate();
    return !timedOut;
  }

  // After the loss: the main loop was stopped by the window, the loss said once on standard error
  // with `cause`, and the window's calls go on returning.
  void expectLossReported(const std::string& where, const std::string& cause) {
    testing::internal::CaptureStderr();
    // The loss stops the loop; nothing else here does.
    EXPECT_TRUE(runMainLoopUntil([] { return false; })) << "the main loop was not stopped within a minute";
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m_surface->displayLost());
    EXPECT_NE(said.find("The display went away: " + where), std::string::npos) << said;
    EXPECT_NE(said.find(cause), std::string::npos) << said;
    EXPECT_EQ(said.find("The display went away", said.find("The display went away") + 1), std::string::npos)
        << "said more than once: " << said;
    testing::internal::CaptureStderr();
    m_surface->processEvents();
    m_surface->renderFrame();
    m_surface->readPixels();
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("The display went away"), std::string::npos);
  }

  std::unique_ptr<ButtonScene> m_scene;
  std::unique_ptr<display::WindowSurface> m_surface;
};

class CompositorEndsTest : public DisplayLossTest, public testing::WithParamInterface<int> {};

TEST_P(CompositorEndsTest, WhileATransitionIsShownIsReportedAndStopsTheMainLoop) {
  openWindow(false);
  if (HasFatalFailure()) return;
  m_desktop.weston->kill(GetParam());
  expectLossReported("the Wayland compositor at " + m_desktop.socketPath(), "the connection to the compositor broke");
}

INSTANTIATE_TEST_SUITE_P(Signals, CompositorEndsTest, testing::Values(SIGTERM, SIGKILL),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGKILL ? "Killed" : "Terminated");
                         });

// The compositor ends the connection over a request it refuses (a surface scale of 0).
TEST_F(DisplayLossTest, AProtocolErrorIsReportedAndStopsTheMainLoop) {
  openWindow(false);
  if (HasFatalFailure()) return;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(m_surface->sdlWindow(), &info));
  ASSERT_EQ(info.subsystem, SDL_SYSWM_WAYLAND);
  ASSERT_GE(wl_proxy_get_version(reinterpret_cast<wl_proxy*>(info.info.wl.surface)), 3u);
  wl_surface_set_buffer_scale(info.info.wl.surface, 0);
  wl_display_flush(info.info.wl.display);
  const std::string cause =
      "the compositor reported protocol error " + std::to_string(WL_SURFACE_ERROR_INVALID_SCALE) + " on wl_surface@";
  expectLossReported("the Wayland compositor at " + m_desktop.socketPath(), cause);
}

// In a child process: SDL cannot be shut down on a broken X connection (it would wait on it), so
// the process that lost its X server keeps SDL as it is until it ends.
TEST_F(DisplayLossTest, TheXServerKilledUnderTheWindowIsReportedAndStopsTheMainLoop) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        openWindow(true);
        if (!HasFatalFailure()) {
          const std::string name = m_desktop.x->display();
          m_desktop.x->kill(SIGKILL);
          expectLossReported("the X server at " + name, "the connection to the X server broke");
        }
        std::fflush(nullptr);
        _exit(HasFailure() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

// Events still queued when one of them finds the display gone are not handled: the connection
// is looked at after each event, before SDL reads it again (on a broken Wayland connection that
// read may never return).
TEST_F(DisplayLossTest, EventsQueuedBehindTheOneThatFindsTheServerGoneAreLeft) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        openWindow(true);
        if (!HasFatalFailure()) {
          int handled = 0;
          m_surface->setLostHandler([](const std::string&) {});
          m_surface->setScrollHandler([&](const display::ScrollEvent&) {
            if (++handled == 1) m_desktop.x->kill(SIGKILL);
          });
          for (int i = 0; i < 3; ++i) {
            SDL_Event wheel{};
            wheel.type = SDL_MOUSEWHEEL;
            wheel.wheel.windowID = SDL_GetWindowID(m_surface->sdlWindow());
            wheel.wheel.y = 1;
            wheel.wheel.preciseY = 1;
            ASSERT_EQ(SDL_PushEvent(&wheel), 1);
          }
          testing::internal::CaptureStderr();
          m_surface->processEvents();
          testing::internal::GetCapturedStderr();
          EXPECT_TRUE(m_surface->displayLost());
          EXPECT_EQ(handled, 1);
        }
        std::fflush(nullptr);
        _exit(HasFailure() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
