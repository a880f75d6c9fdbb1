#include "platform/display/Display.h"

#include <cstdlib>
#include <cstring>

#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/display/WindowSurface.h"

namespace display {
namespace {

bool isSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

std::unique_ptr<Surface> open() {
  const char* forced = std::getenv("KT_OFFSCREEN");
  bool offscreen = forced && std::strcmp(forced, "1") == 0;
  if (!offscreen && (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY"))) {
    core::Error error;
    if (auto window = WindowSurface::open(&error)) return window;
    KT_LOG("no window, drawing offscreen: %s", error.localizedDescription().c_str());
  }
  return OffscreenSurface::create();
}

}  // namespace display
