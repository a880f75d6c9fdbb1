#include "platform/display/Display.h"

#include <cstdio>
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

// What the user reads when a display is named but no window opens on it.
std::string noWindowMessage(const std::string& cause) {
  auto named = [](const char* name) {
    const char* v = std::getenv(name);
    return std::string(name) + (v && *v ? "=" + std::string(v) : " unset");
  };
  return "No window could be opened on the desktop (" + named("WAYLAND_DISPLAY") + ", " + named("DISPLAY") +
         "): " + cause + ". Drawing offscreen instead; nothing is shown.";
}

}  // namespace

std::unique_ptr<Surface> open() {
  const char* forced = std::getenv("KT_OFFSCREEN");
  bool offscreen = forced && std::strcmp(forced, "1") == 0;
  if (!offscreen && (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY"))) {
    core::Error error;
    if (auto window = WindowSurface::open(&error)) return window;
    KT_LOG("no window, drawing offscreen: %s", error.localizedDescription().c_str());
    // Not only the log: whoever started the program on a desktop sees why it shows nothing.
    std::fprintf(stderr, "%s\n", noWindowMessage(error.localizedDescription()).c_str());
  }
  return OffscreenSurface::create();
}

}  // namespace display
