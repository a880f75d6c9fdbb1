// A whole frame shown in a real window, as the client shows a transition's frames: the 1024 x 768
// point screen drawn by the compositor at the window's scale (1024 x 768 pixels in its 1024 x 768
// window) and shown with pixman (FrameScaler, a copy at that scale), on X11 into SDL's framebuffer
// of the window (the X server's shared-memory image), on Wayland into shared-memory buffers handed
// to the compositor. Each path starts its own private servers: an X server, and Weston nested in
// one. Against the floor: the same frame drawn offscreen at the same scale, which the windows'
// frames include. Prints each path's present (its frame less the floor), the ratio of the X11
// present to the Wayland one, and the ratio of the whole frames.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "BenchReport.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/display/WindowSurface.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/DisplayServers.h"
#include "support/ScopedEnv.h"

namespace {

// One window whose whole screen changes colour every frame.
struct Scene {
  Scene() {
    ui::Application::shared().reset();
    ui::Screen::main().reset();
    window = ui::Window::create();
    window->makeKeyAndVisible();
  }
  ~Scene() {
    window.reset();
    ui::Application::shared().reset();
    ui::Screen::main().reset();
  }
  void change() {
    flip = !flip;
    window->setBackgroundColor(flip ? gfx::Color::rgba(0.2, 0.4, 0.9) : gfx::Color::rgba(0.9, 0.5, 0.1));
  }
  std::shared_ptr<ui::Window> window;
  bool flip = false;
};

void runFrames(benchmark::State& state, display::Surface& surface, Scene& scene, display::WindowSurface* window) {
  for (auto _ : state) {
    if (window) {
      // Untimed: the compositor hands a buffer back (Wayland), so that the frame is drawn now.
      state.PauseTiming();
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      window->processEvents();
      while (!window->canPresent() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        window->processEvents();
      }
      state.ResumeTiming();
    }
    scene.change();
    surface.renderFrame();
  }
}

void OffscreenFrame(benchmark::State& state) {
  Scene scene;
  // The scale a 1024 x 768 window draws at.
  ui::Screen::main().setDrawingScale(1.0);
  auto surface = display::OffscreenSurface::create();
  runFrames(state, *surface, scene, nullptr);
}
BENCHMARK(OffscreenFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void X11WindowFrame(benchmark::State& state) {
  support::XServer x("1280x1024x24");
  if (x.display().empty()) return state.SkipWithError("Xvfb did not start");
  support::ScopedEnv display("DISPLAY", x.display().c_str()), wayland("WAYLAND_DISPLAY", nullptr),
      driver("SDL_VIDEODRIVER", nullptr);
  Scene scene;
  auto surface = display::WindowSurface::open();
  if (!surface || surface->isWayland()) return state.SkipWithError("no X11 window");
  runFrames(state, *surface, scene, surface.get());
}
BENCHMARK(X11WindowFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void WaylandWindowFrame(benchmark::State& state) {
  support::XServer x("1280x1024x24");
  support::WestonServer weston(x.display(), 1024, 768);
  if (!weston.isReady()) return state.SkipWithError("weston did not start");
  support::ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", weston.socket().c_str()),
      runtime("XDG_RUNTIME_DIR", weston.runtimeDir().c_str()), driver("SDL_VIDEODRIVER", nullptr);
  Scene scene;
  auto surface = display::WindowSurface::open();
  if (!surface || !surface->isWayland()) return state.SkipWithError("no Wayland window");
  runFrames(state, *surface, scene, surface.get());
}
BENCHMARK(WaylandWindowFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto x11 = reporter.ratio("X11WindowFrame", "OffscreenFrame");
  auto wayland = reporter.ratio("WaylandWindowFrame", "OffscreenFrame");
  if (x11) std::printf("X11 present: %.2f ms\n", (x11->oursSeconds - x11->baseSeconds) * 1e3);
  if (wayland) std::printf("Wayland present: %.2f ms\n", (wayland->oursSeconds - wayland->baseSeconds) * 1e3);
  if (x11 && wayland && wayland->oursSeconds > wayland->baseSeconds)
    std::printf("X11 present / Wayland present: %.2f\n",
                (x11->oursSeconds - x11->baseSeconds) / (wayland->oursSeconds - wayland->baseSeconds));
  if (auto r = reporter.ratio("WaylandWindowFrame", "X11WindowFrame"))
    std::printf("Wayland frame / X11 frame: %.2f (%.2f ms vs %.2f ms)\n", r->value, r->oursSeconds * 1e3,
                r->baseSeconds * 1e3);
  benchmark::Shutdown();
  return 0;
}
