// A window's whole life, run under valgrind's memcheck by CTest (see CMakeLists.txt): on a private
// X server ("x11") or a private Weston with its desktop shell ("wayland"), a window opens, draws
// frames from its timer on the main run loop, takes a tap, goes full screen and back, is closed and
// destroyed; then a second window does the same in the same process. Xlib, libwayland-client and
// SDL are not instrumented by the sanitizers, so a use of memory they freed (a helper reaching
// into a connection SDL already closed) shows only here.
//
// Exit status: 0 when every step did what it should, 1 when one did not (said on standard error),
// 77 when Xvfb or weston is not installed. Memcheck's own errors give valgrind's error exit code.
#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Error.h"
#include "platform/display/WindowSurface.h"
#include "platform/gfx/Color.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Event.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/DisplayServers.h"
#include "support/RunUntil.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "../WindowScenes.h"

namespace {

// Every wait below ends as soon as what it waits for has happened; the limit only keeps a broken
// window from hanging the run (memcheck runs the program some twenty times slower).
constexpr double kPatience = 120;

bool g_failed = false;

bool check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "window life: %s\n", what);
    g_failed = true;
  }
  return ok;
}

gfx::Size windowSize(display::WindowSurface& surface) {
  int w = 0, h = 0;
  SDL_GetWindowSize(surface.sdlWindow(), &w, &h);
  return gfx::Size{double(w), double(h)};
}

// Changes the window's colour and waits until a frame with the change has been drawn and shown.
bool drawFrame(ui::Window& window, display::WindowSurface& surface, int n) {
  window.setBackgroundColor(gfx::Color::rgba(0, (n % 4) / 3.0, 1));
  const uint64_t before = surface.frameCount();
  return support::runUntil([&] { return surface.frameCount() > before; }, kPatience);
}

// One window from open to close on the desktop named in the environment, whose output is
// `output` points large (the window opens at the screen's 1024 x 768).
void life(bool wayland, gfx::Size output, int round) {
  auto scene = std::make_unique<ButtonScene>();
  ui::Window* window = scene->window.get();
  const int& taps = scene->taps;

  {
    core::Error error;
    display::WindowSurface::Options options;
    options.title = round == 0 ? "first window" : "second window";
    auto surface = display::WindowSurface::open(options, &error);
    if (!check(surface != nullptr, ("the window did not open: " + error.localizedDescription()).c_str())) return;
    check(surface->isWayland() == wayland, wayland ? "the window is not on Wayland" : "the window is not on X11");
    bool closed = false;
    surface->setCloseHandler([&] { closed = true; });
    surface->start();

    for (int n = 0; n < 4; ++n) check(drawFrame(*window, *surface, n), "a frame was not drawn");

    // The left button is a finger: down and up over the button is a tap.
    pushTap(*surface, 400, 300);
    check(support::runUntil([&] { return taps == 1; }, kPatience), "the click was not a tap");

    // Full screen: the window covers the output, and frames are drawn at that size; then back.
    surface->setFullScreen(true);
    check(surface->isFullScreen(), "full screen was not turned on");
    check(support::runUntil([&] { return windowSize(*surface) == output; }, kPatience),
          "the window did not cover the output");
    for (int n = 0; n < 2; ++n) check(drawFrame(*window, *surface, n), "a full-screen frame was not drawn");
    surface->setFullScreen(false);
    check(!surface->isFullScreen(), "full screen was not turned off");
    check(support::runUntil([&] { return windowSize(*surface) == gfx::Size{1024, 768}; }, kPatience),
          "the window did not come back to 1024 x 768");
    for (int n = 0; n < 2; ++n) check(drawFrame(*window, *surface, n), "a frame after full screen was not drawn");

    // Closing the window goes to the close handler; the window then goes.
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.windowID = SDL_GetWindowID(surface->sdlWindow());
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&close);
    check(support::runUntil([&] { return closed; }, kPatience), "the close did not reach the handler");
    check(!surface->displayLost(), "the display was lost");
  }
  check(SDL_WasInit(SDL_INIT_VIDEO) == 0, "SDL's video was left running after the window went");
  scene.reset();
  ui::Application::shared().reset();
  ui::Screen::main().reset();
}

}  // namespace

int main(int argc, char** argv) {
  const bool wayland = argc == 2 && std::strcmp(argv[1], "wayland") == 0;
  if (argc != 2 || (!wayland && std::strcmp(argv[1], "x11") != 0)) {
    std::fprintf(stderr, "usage: %s x11|wayland\n", argv[0]);
    return 2;
  }
  if (support::findProgram("Xvfb").empty() || (wayland && support::findProgram("weston").empty())) {
    std::fprintf(stderr, "window life: Xvfb or weston is not installed\n");
    return 77;
  }
  support::TempHome home;
  const gfx::Size output{1280, 1024};
  support::XServer x("1280x1024x24");
  if (x.display().empty()) {
    std::fprintf(stderr, "window life: Xvfb did not start\n");
    return 1;
  }
  std::optional<support::WestonServer> weston;
  if (wayland) {
    weston.emplace(x.display(), int(output.width), int(output.height), true);
    if (!weston->isReady()) {
      std::fprintf(stderr, "window life: weston did not start; see %s\n", weston->logPath().c_str());
      return 1;
    }
  }
  support::ScopedEnv display("DISPLAY", wayland ? nullptr : x.display().c_str());
  support::ScopedEnv socket("WAYLAND_DISPLAY", wayland ? weston->socket().c_str() : nullptr);
  support::ScopedEnv runtime("XDG_RUNTIME_DIR", wayland ? weston->runtimeDir().c_str() : home.path().c_str());
  support::ScopedEnv driver("SDL_VIDEODRIVER", wayland ? "wayland" : "x11");
  support::ScopedEnv fullScreen("KT_FULLSCREEN", nullptr);

  for (int round = 0; round < 2 && !g_failed; ++round) life(wayland, output, round);
  if (!g_failed) std::fprintf(stderr, "window life: two windows opened, drawn, full screen and back, closed\n");
  return g_failed ? 1 : 0;
}
