#include "platform/display/X11ConnectionWatch.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>
#include <vector>

// Last: it brings the window systems' own headers, whose macros clash with ordinary names.
#include <SDL_syswm.h>

namespace display {
namespace {

// The watches of the open connections (the main thread's, where SDL's X11 calls run) and the IO
// error handler that was there before the first of them.
std::vector<X11ConnectionWatch*>& watches() {
  static std::vector<X11ConnectionWatch*> list;
  return list;
}
XIOErrorHandler g_previousHandler = nullptr;

// Xlib's two handler setters, taken from the libX11 SDL has loaded (SDL opens it itself, so the
// program is not linked against it).
struct Xlib {
  XIOErrorHandler (*setIOErrorHandler)(XIOErrorHandler) = nullptr;
  void (*setIOErrorExitHandler)(Display*, XIOErrorExitHandler, void*) = nullptr;
};

const Xlib* xlib() {
  static const Xlib* loaded = [] () -> const Xlib* {
    void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return nullptr;
    static Xlib x;
    x.setIOErrorHandler = reinterpret_cast<decltype(x.setIOErrorHandler)>(dlsym(lib, "XSetIOErrorHandler"));
    x.setIOErrorExitHandler = reinterpret_cast<decltype(x.setIOErrorExitHandler)>(dlsym(lib, "XSetIOErrorExitHandler"));
    // The library stays loaded as long as SDL's own handle; ours is let go of at once.
    dlclose(lib);
    return x.setIOErrorHandler && x.setIOErrorExitHandler ? &x : nullptr;
  }();
  return loaded;
}

}  // namespace

std::unique_ptr<X11ConnectionWatch> X11ConnectionWatch::create(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return nullptr;
  if (!xlib()) return nullptr;
  return std::unique_ptr<X11ConnectionWatch>(new X11ConnectionWatch(info.info.x11.display));
}

X11ConnectionWatch::X11ConnectionWatch(_XDisplay* display) : m_display(display) {
  const char* name = DisplayString(display);
  m_name = name ? name : "";
  if (watches().empty()) g_previousHandler = xlib()->setIOErrorHandler(&X11ConnectionWatch::ioError);
  watches().push_back(this);
  // Called after the handler above in place of Xlib's exit(); returning leaves the connection
  // marked broken.
  xlib()->setIOErrorExitHandler(display, &X11ConnectionWatch::ioErrorExit, this);
}

X11ConnectionWatch::~X11ConnectionWatch() {
  auto& list = watches();
  std::erase(list, this);
  if (!m_lost) xlib()->setIOErrorExitHandler(m_display, nullptr, nullptr);
  if (list.empty()) xlib()->setIOErrorHandler(g_previousHandler);
}

int X11ConnectionWatch::ioError(_XDisplay* display) {
  for (X11ConnectionWatch* watch : watches()) {
    if (watch->m_display != display) continue;
    // Noted quietly: the window reports it with the display's name.
    watch->m_lost = true;
    watch->m_errno = errno;
    return 0;
  }
  // Not a window's connection: as it would have been without us.
  return g_previousHandler ? g_previousHandler(display) : 0;
}

void X11ConnectionWatch::ioErrorExit(_XDisplay*, void* watch) {
  static_cast<X11ConnectionWatch*>(watch)->m_lost = true;
}

std::string X11ConnectionWatch::connectionError() const {
  if (!m_lost) return {};
  std::string text = "the connection to the X server broke";
  // Xlib reads an end of file as no error at all.
  if (m_errno != 0 && m_errno != EAGAIN) text += std::string(" (") + std::strerror(m_errno) + ")";
  return text;
}

}  // namespace display
