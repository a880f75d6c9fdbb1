#pragma once

#include <string>
#include <vector>

struct SDL_Window;

namespace display {

// What ties the program's windows to its desktop entry (ktv-client.desktop): the window class
// (X11's WM_CLASS, Wayland's app id), which the entry names as its StartupWMClass, and the icon a
// desktop shows for a window that carries its own (X11's _NET_WM_ICON; a Wayland desktop takes
// the entry's icon by the app id).
class WindowIdentity {
 public:
  static constexpr const char* ClassName = "ktv-client";

  // Before SDL's video starts: the class SDL gives its windows, unless the environment already
  // names one (SDL_VIDEO_X11_WMCLASS, SDL_VIDEO_WAYLAND_WMCLASS).
  static void nameClass();
  // The icon files looked for with a resources folder, in order: the build tree's drawn icon
  // (resources/icons), then the desktop's icon theme beside installed resources (share/icons).
  static std::vector<std::string> iconPaths(const std::string& resources);
  // Gives the window the first of iconPaths(resources) that reads as a PNG; false when none does.
  static bool setIcon(SDL_Window* window, const std::string& resources);
};

}  // namespace display
