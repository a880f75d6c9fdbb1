#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "support/DisplayServers.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

// A desktop of the test's own: a private X server, with Weston nested in it or not, named in the
// environment (SDL left to choose its driver, full screen not asked) until stop() or the end.
struct PrivateDesktop {
  enum class Compositor { Absent, Kiosk, Desktop };

  // The X server's screen is `xSize` ("WxHxD"); Weston's output, if any, `width` x `height`. With
  // a compositor, DISPLAY stays set only with `keepX` (a desktop with XWayland). A failure to
  // start is a fatal failure of the test.
  void start(const std::string& xSize, Compositor compositor, int width = 0, int height = 0, bool keepX = false) {
    stop();
    x = std::make_unique<support::XServer>(xSize);
    ASSERT_FALSE(x->display().empty()) << "Xvfb did not start";
    const bool wayland = compositor != Compositor::Absent;
    if (wayland) {
      weston = std::make_unique<support::WestonServer>(x->display(), width, height, compositor == Compositor::Desktop);
      ASSERT_TRUE(weston->isReady()) << "weston did not start; see " << weston->logPath();
      set("XDG_RUNTIME_DIR", weston->runtimeDir().c_str());
    }
    set("WAYLAND_DISPLAY", wayland ? weston->socket().c_str() : nullptr);
    set("DISPLAY", !wayland || keepX ? x->display().c_str() : nullptr);
    set("SDL_VIDEODRIVER", nullptr);
    set("KT_FULLSCREEN", nullptr);
  }

  void stop() {
    env.clear();
    weston.reset();
    x.reset();
  }

  // The compositor's socket, as the window names it.
  std::string socketPath() const { return weston->runtimeDir() + "/" + weston->socket(); }

  std::unique_ptr<support::XServer> x;
  std::unique_ptr<support::WestonServer> weston;
  std::vector<std::unique_ptr<support::ScopedEnv>> env;

 private:
  void set(const char* name, const char* value) { env.push_back(std::make_unique<support::ScopedEnv>(name, value)); }
};

// Tests on a private desktop: skipped where Xvfb or Weston is not installed; the application and
// the screen start afresh, and are reset again after the desktop has gone.
class PrivateDesktopTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    if (support::findProgram("Xvfb").empty() || support::findProgram("weston").empty())
      GTEST_SKIP() << "Xvfb or weston is not installed: no desktop to test on";
    resetApplication();
  }
  // After the test's own windows and surfaces have gone.
  void TearDown() override {
    m_desktop.stop();
    resetApplication();
  }

  PrivateDesktop m_desktop;

 private:
  static void resetApplication() {
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }
};
