#include "platform/display/X11Window.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/core/Log.h"
#include "platform/display/DisplayProbe.h"
#include "platform/display/WindowStartWatch.h"

// Last: it brings the window systems' own headers, whose macros clash with ordinary names.
#include <SDL_syswm.h>
#include <X11/Xatom.h>

namespace display {
namespace {

// The windows on open connections (the main thread's, where SDL's X11 calls run).
std::vector<X11Window*>& windows() {
  static std::vector<X11Window*> list;
  return list;
}

// The Xlib calls used here, taken from the libX11 SDL has loaded (SDL opens it itself, so the
// program is not linked against it).
struct Xlib {
  decltype(&XSetIOErrorHandler) setIOErrorHandler = nullptr;
  decltype(&XSetIOErrorExitHandler) setIOErrorExitHandler = nullptr;
  decltype(&XInternAtom) internAtom = nullptr;
  decltype(&XGetWindowProperty) getWindowProperty = nullptr;
  decltype(&XFree) free = nullptr;
  decltype(&XMoveResizeWindow) moveResizeWindow = nullptr;
  decltype(&XFlush) flush = nullptr;
};

template <typename F>
bool load(void* lib, const char* name, F& f) {
  f = reinterpret_cast<F>(dlsym(lib, name));
  return f != nullptr;
}

// The library SDL loads for its X11 driver, loaded here first when the handlers are set before
// SDL starts, and kept for the life of the process (SDL's own handle shares it).
const Xlib* xlib() {
  static const Xlib* loaded = []() -> const Xlib* {
    void* lib = dlopen("libX11.so.6", RTLD_NOW);
    if (!lib) return nullptr;
    static Xlib x;
    const bool all = load(lib, "XSetIOErrorHandler", x.setIOErrorHandler) &&
                     load(lib, "XSetIOErrorExitHandler", x.setIOErrorExitHandler) &&
                     load(lib, "XInternAtom", x.internAtom) && load(lib, "XGetWindowProperty", x.getWindowProperty) &&
                     load(lib, "XFree", x.free) && load(lib, "XMoveResizeWindow", x.moveResizeWindow) &&
                     load(lib, "XFlush", x.flush);
    return all ? &x : nullptr;
  }();
  return loaded;
}

}  // namespace

void X11Window::watchConnections() {
  static const bool watching = [] {
    if (!xlib()) return false;
    xlib()->setIOErrorHandler(&X11Window::ioError);
    return true;
  }();
  (void)watching;
}

std::unique_ptr<X11Window> X11Window::create(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return nullptr;
  if (!xlib()) return nullptr;
  return std::unique_ptr<X11Window>(new X11Window(info.info.x11.display, info.info.x11.window));
}

X11Window::X11Window(_XDisplay* display, unsigned long window) : m_display(display), m_window(window) {
  const char* name = DisplayString(display);
  m_name = name ? name : "";
  watchConnections();
  windows().push_back(this);
  // Called after the handler above in place of Xlib's exit(); returning leaves the connection
  // marked broken.
  xlib()->setIOErrorExitHandler(display, &X11Window::ioErrorExit, this);
  m_windowManager = findWindowManager();
}

X11Window::~X11Window() {
  auto& list = windows();
  std::erase(list, this);
  if (!m_lost) xlib()->setIOErrorExitHandler(m_display, nullptr, nullptr);
}

// Why Xlib's connection on `fd` broke, from the socket itself: errno when Xlib's handler runs is
// whatever the last failed call left (Xlib reads an end of file as no error at all).
std::string X11Window::brokenConnectionCause(int fd) {
  std::string text = "the connection to the X server broke";
  int error = 0;
  socklen_t length = sizeof error;
  if (fd >= 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0)
    return text + " (" + std::strerror(error) + ")";
  pollfd p{fd, POLLRDHUP, 0};
  if (fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP))) return text + " (the server closed it)";
  return text;
}

int X11Window::ioError(_XDisplay* display) {
  const std::string cause = brokenConnectionCause(ConnectionNumber(display));
  for (X11Window* watch : windows()) {
    if (watch->m_display != display) continue;
    // Noted quietly: the window reports it with the display's name.
    watch->m_lost = true;
    watch->m_cause = cause;
    return 0;
  }
  // A connection no window watches yet: SDL's, broken while SDL starts (the server went away in
  // the moment between being found and the window being made). Xlib would end the program from
  // here; it ends as after any loss of the display instead, saying so, with status 1.
  const char* name = DisplayString(display);
  const std::string where = "the X server at " + displayableWords(name ? name : "?");
  const char* start = WindowStartWatch::isArmed() ? WindowStartWatch::LinePrefix : "The display went away: ";
  // Through the start's watch, which may be saying the same loss at the same moment.
  WindowStartWatch::endProcess(1, {start, where, ": ", cause, ". Stopping."});
}

void X11Window::ioErrorExit(_XDisplay*, void* watch) {
  X11Window* window = static_cast<X11Window*>(watch);
  if (!window->m_lost) window->m_cause = brokenConnectionCause(ConnectionNumber(window->m_display));
  window->m_lost = true;
}

std::string X11Window::connectionError() const {
  if (!m_lost) return {};
  return m_cause.empty() ? "the connection to the X server broke" : m_cause;
}

void X11Window::checkHangUp() {
  if (m_lost) return;
  pollfd p{ConnectionNumber(m_display), POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) {
    m_lost = true;
    m_cause = brokenConnectionCause(ConnectionNumber(m_display));
  }
}

bool X11Window::findWindowManager() const {
  if (m_lost) return false;
  // A window manager that follows the desktop conventions names a window of its own on the root.
  const Atom check = xlib()->internAtom(m_display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int rc = xlib()->getWindowProperty(m_display, DefaultRootWindow(m_display), check, 0, 1, False, XA_WINDOW,
                                           &type, &format, &count, &after, &data);
  const bool found = rc == Success && type == XA_WINDOW && count == 1;
  if (data) xlib()->free(data);
  return found;
}

void X11Window::placeOver(int x, int y, int width, int height) {
  if (m_lost || width <= 0 || height <= 0) return;
  xlib()->moveResizeWindow(m_display, m_window, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
  xlib()->flush(m_display);
}

}  // namespace display
