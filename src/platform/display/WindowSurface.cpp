#include "platform/display/WindowSurface.h"

#include <SDL.h>
#include <cairo.h>
#include <pixman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define KT_HAVE_LSAN 1
#else
#define KT_HAVE_LSAN 0
#endif

#include "platform/core/Bundle.h"
#include "platform/core/Clock.h"
#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/display/DisplayProbe.h"
#include "platform/display/DrawScale.h"
#include "platform/display/Interrupt.h"
#include "platform/display/SessionBus.h"
#include "platform/display/TextInput.h"
#include "platform/display/WindowIdentity.h"
#include "platform/display/WindowStartWatch.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/PixelGrid.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"

namespace display {
namespace {

// The leak checker ignores what is allocated while one of these lives (sanitizer builds).
struct LeakCheckPause {
#if KT_HAVE_LSAN
  LeakCheckPause() { __lsan_disable(); }
  ~LeakCheckPause() { __lsan_enable(); }
#else
  LeakCheckPause() {}
  ~LeakCheckPause() {}
#endif
};

// pixman's name for the layout of an SDL framebuffer's pixels (any padding byte or bit left
// unused), 0 for one pixman does not draw into.
pixman_format_code_t pixmanFormat(Uint32 format) {
  switch (format) {
    case SDL_PIXELFORMAT_RGB888:
    case SDL_PIXELFORMAT_ARGB8888:
      return PIXMAN_x8r8g8b8;
    case SDL_PIXELFORMAT_BGR888:
    case SDL_PIXELFORMAT_ABGR8888:
      return PIXMAN_x8b8g8r8;
    case SDL_PIXELFORMAT_RGBX8888:
    case SDL_PIXELFORMAT_RGBA8888:
      return PIXMAN_r8g8b8x8;
    case SDL_PIXELFORMAT_BGRX8888:
    case SDL_PIXELFORMAT_BGRA8888:
      return PIXMAN_b8g8r8x8;
    case SDL_PIXELFORMAT_ARGB2101010:
      return PIXMAN_x2r10g10b10;
    case SDL_PIXELFORMAT_RGB565:
      return PIXMAN_r5g6b5;
    case SDL_PIXELFORMAT_BGR565:
      return PIXMAN_b5g6r5;
    case SDL_PIXELFORMAT_RGB555:
      return PIXMAN_x1r5g5b5;
    default:
      return static_cast<pixman_format_code_t>(0);
  }
}

// An SDL framebuffer's pixels as a pixman image (to unref), nullptr when pixman cannot draw them.
pixman_image_t* framebufferImage(SDL_Surface* s) {
  const pixman_format_code_t format = pixmanFormat(s->format->format);
  if (!format || !s->pixels || s->w <= 0 || s->h <= 0 || s->pitch % 4 != 0) return nullptr;
  return pixman_image_create_bits(format, s->w, s->h, static_cast<uint32_t*>(s->pixels), s->pitch);
}

// SDL's words for a failure, made fit for a line of the log: they may hold the environment's
// values (SDL_VIDEODRIVER's names, a display's, a socket path), whose line breaks would forge a
// line and whose escapes would reach the terminal.
core::Error sdlError(const char* what) {
  std::string text = std::string(what) + ": " + displayableWords(SDL_GetError(), 400);
  return core::Error::withDescription(Surface::ErrorDomain, Surface::OpenFailed, text);
}

bool isSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// The socket of the compositor WAYLAND_DISPLAY names: the name itself when it is a path, else in
// XDG_RUNTIME_DIR (or the bare name when that is not set).
std::string waylandSocketPath() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  std::string socket = name && *name ? name : "wayland-0";
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (socket.front() == '/' || !(dir && *dir)) return socket;
  return std::string(dir) + "/" + socket;
}

// Why nothing listens at a local socket, empty when something does.
std::string socketProblem(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return "the path is too long";
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  std::string problem;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) problem = std::strerror(errno);
  close(fd);
  return problem;
}

// Why nothing listens at the compositor's socket, empty when something does.
std::string waylandSocketProblem() {
  const std::string path = waylandSocketPath();
  if (!isSet("XDG_RUNTIME_DIR") && path.front() != '/') return "XDG_RUNTIME_DIR is not set";
  return socketProblem(path);
}

// The socket of the local X server DISPLAY names (":N", ":N.S" or "unix:N"), empty for one
// reached otherwise.
std::string xServerSocketPath() {
  const char* name = std::getenv("DISPLAY");
  std::string display = name ? name : "";
  if (display.rfind("unix:", 0) == 0) display.erase(0, 4);
  if (display.size() < 2 || display[0] != ':') return "";
  const std::string number = display.substr(1, display.find('.') - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return "";
  return "/tmp/.X11-unix/X" + number;
}

// Full screen when the environment asks for it.
bool fullScreenAsked() {
  const char* v = std::getenv("KT_FULLSCREEN");
  return v && std::strcmp(v, "1") == 0;
}

}  // namespace

const std::vector<WaylandNeed>& WindowSurface::waylandNeeds() {
  using When = WaylandNeed::WhenMissing;
  using Pick = WaylandNeed::Pick;
  // SDL, libdecor, its plug-in and Mesa's EGL bind every global of these interfaces announced,
  // each at the version it wants or (wl_compositor, wl_seat, xdg_wm_base) at the lower one
  // offered: SDL binds every output at 2, the plug-in every seat at 3 and every output at 2. Of
  // several compositors SDL and the plug-in use the last. Our frames go out in XRGB8888
  // (WaylandPresenter); the plug-in draws the title bar in ARGB8888 and crashes without it.
  static const std::vector<WaylandNeed> needs{
      {"wl_compositor", 3, 3, When::Never, "", Pick::Last},
      {"wl_shm", 1, 1, When::Never, "", Pick::Every, {ShmXrgb8888}, {ShmArgb8888}},
      {"xdg_wm_base", 1, 1, When::Never, "", Pick::Every},
      {"wl_subcompositor", 1, 1, When::TitleBar, "", Pick::Every},
      {"wl_seat", 1, 3, When::Waited, "no touch, pointer or keyboard yet", Pick::Every},
      {"wl_output", 2, 2, When::Waited, "no screen to show the window on yet", Pick::Every},
  };
  return needs;
}

std::unique_ptr<WindowSurface> WindowSurface::open(core::Error* error) { return open(Options(), error); }

std::unique_ptr<WindowSurface> WindowSurface::open(const Options& options, core::Error* error) {
  std::unique_ptr<WindowSurface> surface(new WindowSurface());
  if (!surface->setUp(options, error)) return nullptr;
  return surface;
}

bool WindowSurface::setUp(const Options& options, core::Error* error) {
  // The program handles its own signals; SDL must not turn Ctrl-C into a quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Named like the desktop entry, so that a desktop groups the window under it.
  WindowIdentity::nameClass();
  // On X11 the frames are scaled into SDL's framebuffer of the window (the X server's shared-
  // memory image), which this keeps from being backed by OpenGL: the process draws its GL through
  // Mesa's off-screen renderer, and a second GL stack in the same process shares Mesa's dispatch
  // with it, so that each side's calls land in the other's context (a crash in the first frame
  // after a GL transition). On Wayland the frames go to the compositor in shared memory of our own
  // (see WaylandPresenter).
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A desktop's window system only: SDL would otherwise fall back to drivers that show nothing.
  // Wayland first where there is one (XWayland is a fallback). A driver given (the one whose
  // display answered Display's look) is the one SDL opens, whatever SDL_VIDEODRIVER lists, since
  // SDL would try the list's first, which nobody looked at; else SDL_VIDEODRIVER wins.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const std::string drivers = !options.driver.empty() ? options.driver : wayland && *wayland ? "wayland,x11" : "x11";
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(),
                          options.driver.empty() ? SDL_HINT_NORMAL : SDL_HINT_OVERRIDE);
  // Without the decoration library SDL shows the window with no title bar of its own, and binds
  // nothing that library needs. Read when SDL's Wayland driver starts.
  if (options.titleBar) SDL_ResetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR);
  else SDL_SetHintWithPriority(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0", SDL_HINT_OVERRIDE);
  // Xlib's handler of a broken connection is ours before SDL opens one: a server that goes away
  // while SDL starts is said like any other loss, not by Xlib's exit. SDL reads its driver names
  // in any case.
  const char* chosen = std::getenv("SDL_VIDEODRIVER");
  const std::string tried = !options.driver.empty() || !(chosen && *chosen) ? drivers : chosen;
  const std::vector<std::string> desktop = chosenDesktopDrivers(tried);
  if (std::find(desktop.begin(), desktop.end(), "x11") != desktop.end()) X11Window::watchConnections();
  // SDL's start waits on the session bus without a limit: a bus that takes the connection and
  // never answers is turned off for the process first, so that the window shows without it.
  SessionBus::keepFromHangingTheStart(SessionBus::AnswerLimit, options.interruptFd);
  if (interruptedNow(options.interruptFd)) {
    core::setError(error, core::Error::withDescription(ErrorDomain, OpenFailed, "The window's start was interrupted"));
    return false;
  }
  // SDL keeps its session-bus connection, and the GL drivers it probes keep their caches, for the
  // life of the process.
  LeakCheckPause pause;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    // SDL only says the drivers are not available; where the named compositor or local X server
    // is missing, that is the reason worth giving.
    const std::string xSocket = xServerSocketPath();
    if (std::string problem = wayland && *wayland ? waylandSocketProblem() : ""; !problem.empty()) {
      SDL_SetError("no Wayland compositor listens at %s (%s)", waylandSocketPath().c_str(), problem.c_str());
    } else if (problem = xSocket.empty() ? "" : socketProblem(xSocket); !problem.empty()) {
      SDL_SetError("no X server answers at %s (%s: %s)", std::getenv("DISPLAY"), xSocket.c_str(), problem.c_str());
    }
    core::setError(error, sdlError("SDL video"));
    return false;
  }
  m_sdlStarted = true;
  const char* driver = SDL_GetCurrentVideoDriver();
  const bool onDesktop = driver && (std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "wayland") == 0);
  if (!onDesktop && !(chosen && *chosen)) {
    SDL_SetError("no desktop window system (video driver %s)", driver ? driver : "none");
    core::setError(error, sdlError("SDL video"));
    return false;
  }

  // Sized to the screen in points, scaled down when the desktop is smaller.
  gfx::Size points = size();
  SDL_Rect usable;
  if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0)
    m_windowScale = std::min({1.0, usable.w / points.width, usable.h / points.height});
  int w = std::max(1, static_cast<int>(std::lround(points.width * m_windowScale)));
  int h = std::max(1, static_cast<int>(std::lround(points.height * m_windowScale)));
  Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_RESIZABLE;
  flags |= options.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
  m_windowedSize = {w, h};
  SDL_Rect output;
  bool maximize = false;
  const bool fullScreen = options.fullScreen || fullScreenAsked();
  const bool x11 = driver && std::strcmp(driver, "x11") == 0;
  if (fullScreen) {
    // On X11 once the window is there, by whichever way its X server has (see placeOnBareX).
    if (!x11) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  } else if (SDL_GetDisplayBounds(0, &output) == 0 && output.w > 0 && (output.w <= w || output.h <= h)) {
    // A desktop no larger than the window: its panels would cover part of the window or push it
    // off the output, so the desktop is asked to fit it in. Once the window is shown: a Wayland
    // window made maximised answers the compositor's first maximised size with its own, which
    // the compositor refuses as a protocol error.
    maximize = true;
  }
  m_window = SDL_CreateWindow(options.title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h, flags);
  if (!m_window) {
    core::setError(error, sdlError("window"));
    return false;
  }
  if (driver && std::strcmp(driver, "wayland") == 0) {
    std::string why;
    m_wayland = WaylandPresenter::create(m_window, &why);
    if (!m_wayland) {
      SDL_SetError("%s", why.c_str());
      core::setError(error, sdlError("Wayland window"));
      return false;
    }
  } else {
    m_x11 = X11Window::create(m_window);
    if (fullScreen) setFullScreen(true);
    placeOnBareX();
    if (!makeFramebuffer()) {
      core::setError(error, sdlError("window framebuffer"));
        return false;
    }
  }
  followWindowSize();
  // An output that went while SDL started leaves it none to maximise on (SDL would crash).
  if (maximize && hasDisplay()) SDL_MaximizeWindow(m_window);
  // SDL starts with text input on: it runs only while a field edits (textInputChanged).
  SDL_StopTextInput();
  // The desktop entry's icon on the window itself, for desktops that show a window's own (X11).
  WindowIdentity::setIcon(m_window, core::Bundle::main().resourcePath());
  return true;
}

WindowSurface::~WindowSurface() {
  // A window that goes before it showed a frame ends its start's watch, but only once SDL has
  // let go of the display: taking apart a start that a lost connection cut short can crash
  // inside the window system (libdecor's plug-in, on Wayland), and that is the display's loss,
  // said as such, not a crash of the program's own.
  struct DisarmLast {
    ~DisarmLast() { WindowStartWatch::disarm(); }
  } disarmLast;
  stop();
  cancelTouches();
  if (m_settleTimer) m_settleTimer->invalidate();
  // What comes after (an offscreen surface, another window) starts from the mode's scale.
  if (m_drawingScaleSet) ui::Screen::main().setDrawingScale(std::nullopt);
  LeakCheckPause pause;
  if (m_lost && m_x11) {
    // Xlib's connection is broken, and SDL would wait on it for the window's end forever: SDL
    // and the window are left as they are (the program is stopping).
    return;
  }
  // At the program's end no call of SDL's is made at all. Destroying the window hides it first,
  // and on Wayland the hide ends with a round trip that handles whatever the compositor sent since
  // the stop's last look at the display: the removal of the last output then leaves SDL none, and
  // it reads through a null display (a crash after "stopped"). Looking just before narrows that
  // window without closing it. X11 is left the same way: SDL drops its displays on RandR's events
  // there too (the last output taken away), and the window's end waits on the X server's answers,
  // reading what it sent meanwhile (a stopped server holds it there). The compositor or X server
  // frees the window, its buffers and shared memory with the connection as the process exits;
  // what SDL allocated stays reachable from its globals.
  const char* server = m_wayland ? "compositor" : "X server";
  // Inside a running process, a window is taken apart whole, unless the compositor has no output
  // left: SDL's hide takes the window's display, and would read through a null one.
  const bool noOutputLeft = !m_processExiting && m_window && !hasDisplay();
  // The helpers point into the connection SDL closes below: they let go of it first. They only
  // write to it (the presenter's buffers and its detach, flushed), and read nothing.
  m_wayland.reset();
  m_x11.reset();
  if (m_processExiting) {
    KT_LOG("the process ends: the window is left to the %s", server);
    return;
  }
  if (noOutputLeft) {
    KT_LOG("no output left: the window is left to the compositor");
    return;
  }
  if (m_window) {
    SDL_StopTextInput();
    SDL_DestroyWindow(m_window);
  }
  if (m_sdlStarted) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
  }
}

void WindowSurface::followWindowSize() {
  gfx::Size points = size();
  int w = 0, h = 0, pw = 0, ph = 0;
  SDL_GetWindowSize(m_window, &w, &h);
  SDL_GetWindowSizeInPixels(m_window, &pw, &ph);
  // SDL makes the window's framebuffer again after a change of its size (X11).
  m_framebufferStale = true;
  if (w <= 0 || h <= 0 || points.width <= 0 || points.height <= 0) return;
  if (pw <= 0 || ph <= 0) pw = w, ph = h;
  // The whole screen, as large as fits, centred.
  m_windowScale = std::min(w / points.width, h / points.height);
  m_pictureOrigin = gfx::Point{(w - points.width * m_windowScale) / 2, (h - points.height * m_windowScale) / 2};
  followPictureScale(std::min(pw / points.width, ph / points.height));
  if (!m_wayland) return;
  const int bufferScale = pw % w == 0 && ph % h == 0 && pw / w == ph / h ? pw / w : 1;
  m_wayland->setGeometry(pw, ph, bufferScale, pictureRect(pw, ph));
}

PixelRect WindowSurface::pictureRect(int pw, int ph) const {
  gfx::Size points = size();
  if (pw <= 0 || ph <= 0 || points.width <= 0 || points.height <= 0) return PixelRect{0, 0, std::max(0, pw), std::max(0, ph)};
  // The frame drawn at the picture's scale has exactly the picture's pixels (the compositor's
  // rounding), so that showing it is a copy; centred on whole pixels.
  const double k = std::min(pw / points.width, ph / points.height);
  const int fw = std::clamp(static_cast<int>(gfx::pixelLength(points.width, k)), 1, pw);
  const int fh = std::clamp(static_cast<int>(gfx::pixelLength(points.height, k)), 1, ph);
  const int x0 = (pw - fw) / 2, y0 = (ph - fh) / 2;
  return PixelRect{x0, y0, x0 + fw, y0 + fh};
}

void WindowSurface::followPictureScale(double pictureScale) {
  if (!(pictureScale > 0) || !std::isfinite(pictureScale)) return;
  m_pictureScale = pictureScale;
  const double want = drawableScale(size(), m_fixedScale.value_or(pictureScale));
  auto& screen = ui::Screen::main();
  if (!m_drawingScaleSet) {
    // The first size: drawn at its scale from the first frame on.
    m_drawingScaleSet = true;
    screen.setDrawingScale(want);
    return;
  }
  if (want == screen.drawingScale()) {
    // Back at the scale drawn at before the size settled: nothing to draw again.
    if (m_settleTimer) m_settleTimer->invalidate();
    m_settleTimer.reset();
    return;
  }
  // The last picture is resampled into the window until the size has settled; every further
  // change starts the wait again.
  if (m_settleTimer) m_settleTimer->invalidate();
  m_settleTimer = core::Timer::create(SettleSeconds, false, [this](core::Timer&) { settle(); });
  core::RunLoop::main().addTimer(m_settleTimer, core::RunLoop::CommonModes);
}

void WindowSurface::settle() {
  m_settleTimer.reset();
  if (m_lost) return;
  // The screen's views take the new scale; the next frame remakes the compositor at it and draws
  // everything again.
  ui::Screen::main().setDrawingScale(drawableScale(size(), m_fixedScale.value_or(m_pictureScale)));
}

FrameScaler::Frame WindowSurface::frame() {
  FrameScaler::Frame f;
  cairo_surface_t* s = compositor().surface();
  if (!s) return f;
  cairo_surface_flush(s);
  f.data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
  f.width = cairo_image_surface_get_width(s);
  f.height = cairo_image_surface_get_height(s);
  f.stride = cairo_image_surface_get_stride(s);
  return f;
}

bool WindowSurface::makeFramebuffer() {
  LeakCheckPause pause;
  SDL_Surface* s = SDL_GetWindowSurface(m_window);
  if (!s) {
    KT_LOG("%s", SDL_GetError());
    return false;
  }
  if (s == m_framebuffer && !m_framebufferStale && s->w == m_scaler.width() && s->h == m_scaler.height()) return true;
  pixman_image_t* image = framebufferImage(s);
  if (!image) {
    SDL_SetError("the window's pixel format %s is not drawn here", SDL_GetPixelFormatName(s->format->format));
    KT_LOG("%s", SDL_GetError());
    m_framebuffer = nullptr;
    return false;
  }
  pixman_image_unref(image);
  // A framebuffer made afresh: all of it is drawn.
  m_framebuffer = s;
  m_framebufferStale = false;
  m_scaler.setGeometry(s->w, s->h, pictureRect(s->w, s->h));
  m_stale = PixelRect{0, 0, s->w, s->h};
  return true;
}

void WindowSurface::sizeChanged() {
  gfx::Size points = size();
  int w = std::max(1, static_cast<int>(std::lround(points.width * m_windowScale)));
  int h = std::max(1, static_cast<int>(std::lround(points.height * m_windowScale)));
  SDL_SetWindowSize(m_window, w, h);
  followWindowSize();
}

void WindowSurface::textInputChanged(const std::optional<gfx::Rect>& rect) {
  LeakCheckPause pause;
  if (!rect) {
    SDL_StopTextInput();
    return;
  }
  // In window coordinates, where the input method shows what is being composed.
  SDL_Rect r{static_cast<int>(std::lround(m_pictureOrigin.x + rect->x() * m_windowScale)),
             static_cast<int>(std::lround(m_pictureOrigin.y + rect->y() * m_windowScale)),
             static_cast<int>(std::lround(rect->width() * m_windowScale)),
             static_cast<int>(std::lround(rect->height() * m_windowScale))};
  if (!SDL_IsTextInputActive()) SDL_StartTextInput();
  SDL_SetTextInputRect(&r);
}

void WindowSurface::present(const gfx::Rect& dirty) {
  if (!checkConnection()) return;
  FrameScaler::Frame f = frame();
  if (!f.data) return;
  // The changed rectangle in pixels, rounded outwards and kept within the frame.
  double k = scale();
  PixelRect r{std::clamp(static_cast<int>(std::floor(dirty.origin.x * k)), 0, f.width),
              std::clamp(static_cast<int>(std::floor(dirty.origin.y * k)), 0, f.height),
              std::clamp(static_cast<int>(std::ceil(dirty.maxX() * k)), 0, f.width),
              std::clamp(static_cast<int>(std::ceil(dirty.maxY() * k)), 0, f.height)};
  if (m_wayland) {
    // The compositor's answer after it ends the window system's start (processEvents).
    m_wayland->present(f, r);
    return;
  }
  // The X server has answered after the frame (SDL waits for that): its start is over.
  showFrame(f, r, false);
  if (checkConnection()) WindowStartWatch::frameShown();
}

void WindowSurface::showFrame(const FrameScaler::Frame& f, const PixelRect& dirty, bool whole) {
  LeakCheckPause pause;
  if (!makeFramebuffer()) return;
  const PixelRect drawn = m_stale.united(m_scaler.reach(f, dirty));
  m_stale = PixelRect{};
  if (!drawn.isEmpty()) {
    pixman_image_t* target = framebufferImage(m_framebuffer);
    m_scaler.draw(target, f, drawn);
    if (target) pixman_image_unref(target);
  }
  // The X server copies the pixels before this returns, so the next frame may draw over them.
  int rc = 0;
  if (whole) {
    rc = SDL_UpdateWindowSurface(m_window);
  } else if (!drawn.isEmpty()) {
    const SDL_Rect r{drawn.x0, drawn.y0, drawn.x1 - drawn.x0, drawn.y1 - drawn.y0};
    rc = SDL_UpdateWindowSurfaceRects(m_window, &r, 1);
  }
  if (rc != 0) KT_LOG("%s", SDL_GetError());
}

void WindowSurface::showWholeFrame() {
  if (m_wayland || m_lost) return;
  showFrame(frame(), PixelRect{}, true);
}

std::shared_ptr<gfx::Image> WindowSurface::readPixels() const {
  if (m_lost) return nullptr;
  int w = 0, h = 0;
  if (m_wayland) {
    std::vector<uint32_t> px = m_wayland->shownPixels(&w, &h);
    if (px.empty()) return nullptr;
    return gfx::Image::fromPixels(w, h, std::move(px), static_cast<double>(w) / std::max(1.0, size().width));
  }
  // What the last present handed to the X server; none since a change of the window's size.
  if (!m_framebuffer || m_framebufferStale) return nullptr;
  w = m_framebuffer->w;
  h = m_framebuffer->h;
  if (w <= 0 || h <= 0) return nullptr;
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  pixman_image_t* from = framebufferImage(m_framebuffer);
  pixman_image_t* to = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, px.data(), w * 4);
  if (from && to) pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, 0, 0, 0, 0, 0, 0, w, h);
  if (from) pixman_image_unref(from);
  if (to) pixman_image_unref(to);
  if (!from || !to) return nullptr;
  // The window is opaque: keep the alpha at full.
  for (auto& p : px) p |= 0xFF000000u;
  return gfx::Image::fromPixels(w, h, std::move(px), static_cast<double>(w) / std::max(1.0, size().width));
}

gfx::Point WindowSurface::toScreenPoints(double x, double y) const {
  return screenPointFromDisplay(
      gfx::Point{(x - m_pictureOrigin.x) / m_windowScale, (y - m_pictureOrigin.y) / m_windowScale});
}

gfx::Point WindowSurface::fingerPoint(double x, double y) const {
  int w = 0, h = 0;
  SDL_GetWindowSize(m_window, &w, &h);
  return toScreenPoints(x * w, y * h);
}

std::vector<WindowSurface::Finger>::iterator WindowSurface::findFinger(int64_t device, int64_t id) {
  return std::find_if(m_fingers.begin(), m_fingers.end(),
                      [&](const Finger& f) { return f.device == device && f.id == id; });
}

void WindowSurface::fingerDown(const SDL_Event& event) {
  const SDL_TouchFingerEvent& f = event.tfinger;
  // Made up from the mouse, which is a finger already.
  if (f.touchId == SDL_MOUSE_TOUCHID) return;
  // The same finger down again without having lifted: its old touch was lost on the way.
  auto it = findFinger(f.touchId, f.fingerId);
  if (it != m_fingers.end()) {
    Finger old = std::move(*it);
    m_fingers.erase(it);
    if (auto w = old.window.lock()) w->cancelTouch(old.touch);
  }
  gfx::Point p = fingerPoint(f.x, f.y);
  auto target = windowForTouchAt(p);
  if (!target) return;
  auto touch = target->beginTouch(target->convertPointFromScreen(p));
  m_fingers.push_back(Finger{f.touchId, f.fingerId, touch, target});
}

void WindowSurface::fingerMoved(const SDL_Event& event, bool lifted) {
  const SDL_TouchFingerEvent& f = event.tfinger;
  auto it = findFinger(f.touchId, f.fingerId);
  if (it == m_fingers.end()) return;
  auto touch = it->touch;
  auto w = it->window.lock();
  // The finger stays with the window it went down on; it is forgotten when that window is gone.
  if (lifted || !w) m_fingers.erase(it);
  if (!w) return;
  gfx::Point p = w->convertPointFromScreen(fingerPoint(f.x, f.y));
  if (!lifted) {
    w->moveTouch(touch, p);
    return;
  }
  if (touch->locationInWindow() != p) w->moveTouch(touch, p);
  w->endTouch(touch);
}

void WindowSurface::cancelTouches() {
  std::vector<Finger> fingers = std::move(m_fingers);
  m_fingers.clear();
  if (m_touch) {
    auto touch = std::move(m_touch);
    auto w = m_touchWindow.lock();
    m_touch.reset();
    m_touchWindow.reset();
    if (w) w->cancelTouch(touch);
  }
  for (auto& f : fingers) {
    if (auto w = f.window.lock()) w->cancelTouch(f.touch);
  }
}

bool WindowSurface::checkConnection() {
  if (m_lost) return false;
  std::string where, cause;
  if (m_wayland) {
    where = "the Wayland compositor at " + waylandSocketPath();
    cause = m_wayland->connectionError();
  } else if (m_x11) {
    m_x11->checkHangUp();
    where = "the X server at " + m_x11->displayName();
    cause = m_x11->connectionError();
  }
  if (cause.empty()) return true;
  m_lost = true;
  // The display's name comes from the environment: made fit for a line of the log.
  const std::string message = "The display went away: " + displayableWords(where) + ": " + cause + ". Stopping.";
  core::logNotice(message);
  cancelTouches();
  if (m_onLost) m_onLost(message);
  else core::RunLoop::main().stop();
  return false;
}

bool WindowSurface::isFullScreen() const {
  if (isBareX()) return m_bareFullScreen;
  return (SDL_GetWindowFlags(m_window) & SDL_WINDOW_FULLSCREEN) != 0;
}

bool WindowSurface::hasDisplay() const {
  return SDL_GetNumVideoDisplays() > 0 && SDL_GetWindowDisplayIndex(m_window) >= 0;
}

void WindowSurface::setFullScreen(bool fullScreen) {
  if (m_lost || fullScreen == isFullScreen()) return;
  if (isBareX()) {
    // Placed at the end of this turn of the loop (processEvents).
    m_bareFullScreen = fullScreen;
    KT_LOG("full screen turned %s", fullScreen ? "on" : "off");
    return;
  }
  if (!hasDisplay()) {
    // SDL would read through a null display: nothing changes until an output comes back. Said
    // once; the log has a line for each refusal.
    if (++m_fullScreenRefusals == 1)
      core::logNotice("Full screen: the compositor has no output to show the window on; the window stays as it is.");
    KT_LOG("full screen refused, no output (%d in a row)", m_fullScreenRefusals);
    return;
  }
  m_fullScreenRefusals = 0;
  // The desktop's own size, not a mode change: the picture is fitted into it when it comes.
  if (SDL_SetWindowFullscreen(m_window, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
    KT_LOG("full screen: %s", SDL_GetError());
  else
    KT_LOG("full screen turned %s", fullScreen ? "on" : "off");
}

void WindowSurface::placeOnBareX() {
  if (!isBareX() || m_lost || m_bareFullScreen == m_barePlacedFullScreen) return;
  SDL_Rect b;
  if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(m_window)), &b) != 0) {
    KT_LOG("full screen: %s", SDL_GetError());
    return;
  }
  m_barePlacedFullScreen = m_bareFullScreen;
  if (m_bareFullScreen) {
    m_x11->placeOver(b.x, b.y, b.w, b.h);
    return;
  }
  const auto [w, h] = m_windowedSize;
  m_x11->placeOver(b.x + (b.w - w) / 2, b.y + (b.h - h) / 2, w, h);
}

void WindowSurface::processEvents() {
  if (!checkConnection()) return;
  SDL_Event event;
  // SDL keeps for good what it allocates for an output that returns after the last one went (its
  // display record and name, never freed, even by SDL_Quit): the leak checker ignores SDL's
  // reading of events. Its frames carry no symbols, so a suppression could only name the whole
  // library, hiding leaks of SDL's objects that this code would make.
  auto pollEvent = [&event] {
    LeakCheckPause pause;
    return SDL_PollEvent(&event) != 0;
  };
  // The connection is looked at after each event, before SDL reads it again: an event's handling
  // may have met a broken connection, and SDL's reading on a broken one may never return.
  while (pollEvent()) {
    handleEvent(event);
    if (!checkConnection()) return;
  }
  placeOnBareX();
  // Buffers the compositor let go of, read with the window's events; a frame that waited for one.
  if (m_wayland && checkConnection()) m_wayland->dispatch(frame());
  if (!checkConnection()) return;
  // The compositor took the first frame: the window system's start is over.
  if (m_wayland && m_wayland->frameTaken() && !m_startEnded) {
    m_startEnded = true;
    WindowStartWatch::frameShown();
  }
}

void WindowSurface::handleEvent(const SDL_Event& event) {
  // The finger stays with the window it went down on.
  auto w = m_touchWindow.lock();
  switch (event.type) {
    // The mouse events SDL makes up from a touch screen's fingers are not the mouse.
    case SDL_MOUSEBUTTONDOWN: {
      if (event.button.button != SDL_BUTTON_LEFT || event.button.which == SDL_TOUCH_MOUSEID) break;
      m_pointer = toScreenPoints(event.button.x, event.button.y);
      if (m_touch && w) w->cancelTouch(m_touch);
      m_touch.reset();
      auto target = windowForTouchAt(m_pointer);
      m_touchWindow = target;
      if (target) m_touch = target->beginTouch(target->convertPointFromScreen(m_pointer));
      break;
    }
    case SDL_MOUSEMOTION:
      if (event.motion.which == SDL_TOUCH_MOUSEID) break;
      m_pointer = toScreenPoints(event.motion.x, event.motion.y);
      if (m_touch && w) w->moveTouch(m_touch, w->convertPointFromScreen(m_pointer));
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button != SDL_BUTTON_LEFT || event.button.which == SDL_TOUCH_MOUSEID || !m_touch) break;
      m_pointer = toScreenPoints(event.button.x, event.button.y);
      if (w) {
        gfx::Point p = w->convertPointFromScreen(m_pointer);
        if (m_touch->locationInWindow() != p) w->moveTouch(m_touch, p);
        w->endTouch(m_touch);
      }
      m_touch.reset();
      m_touchWindow.reset();
      break;
    case SDL_MOUSEWHEEL: {
      // SDL counts in notches: whole ones for a wheel, fractions for a touchpad's swipe, each
      // moved as it comes (ui::ScrollView::WheelNotchPoints a notch).
      constexpr double Notch = ui::ScrollView::WheelNotchPoints;
      double sign = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
      ScrollEvent scroll;
      scroll.location = toScreenPoints(event.wheel.mouseX, event.wheel.mouseY);
      // Along the display's axes, then turned with the screen, as a finger's travel is.
      gfx::Point travel = screenVectorFromDisplay(
          {-event.wheel.preciseX * sign * Notch, event.wheel.preciseY * sign * Notch});
      scroll.scrollDelta = gfx::Size{travel.x, travel.y};
      scroll.timestamp = core::Clock::now();
      if (m_onScroll) m_onScroll(scroll);
      else scrollAt(scroll.location, travel);
      break;
    }
    case SDL_FINGERDOWN:
      fingerDown(event);
      break;
    case SDL_FINGERMOTION:
      fingerMoved(event, false);
      break;
    case SDL_FINGERUP:
      fingerMoved(event, true);
      break;
    case SDL_TEXTINPUT:
      if (ui::Window* typing = textInputWindow()) insertText(*typing, event.text.text);
      break;
    case SDL_KEYDOWN: {
      if (event.key.keysym.sym == SDLK_F11) {
        if (!event.key.repeat) setFullScreen(!isFullScreen());
        break;
      }
      ui::Window* typing = textInputWindow();
      if (!typing) break;
      if (event.key.keysym.sym == SDLK_BACKSPACE) deleteBackward(*typing);
      else if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER) insertText(*typing, "\n");
      break;
    }
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        followWindowSize();
        if (!checkConnection()) break;
        if (m_wayland) {
          FrameScaler::Frame f = frame();
          m_wayland->present(f, PixelRect{0, 0, f.width, f.height});
        } else {
          showWholeFrame();
        }
      } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        showWholeFrame();
      } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        // The button or the fingers may come up where this window never hears of it: every
        // finger is lifted off the glass.
        cancelTouches();
      } else if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        if (m_onClose) m_onClose();
        else core::RunLoop::main().stop();
      }
      break;
    case SDL_DISPLAYEVENT:
      displayChanged(event);
      break;
    case SDL_QUIT:
      // SDL turns a broken connection to the compositor into a quit.
      if (!checkConnection()) break;
      if (m_onClose) m_onClose();
      else core::RunLoop::main().stop();
      break;
    default:
      break;
  }
}

void WindowSurface::displayChanged(const SDL_Event& event) {
  const int count = SDL_GetNumVideoDisplays();
  if (event.display.event == SDL_DISPLAYEVENT_DISCONNECTED && count <= 0 && !m_saidNoDisplay) {
    m_saidNoDisplay = true;
    core::logNotice("The window's output went away, and the compositor has none left: the window shows again when "
                    "one comes back.");
  } else if (event.display.event == SDL_DISPLAYEVENT_CONNECTED && count > 0 && m_saidNoDisplay) {
    m_saidNoDisplay = false;
    core::logNotice("An output came back: the window shows on it.");
  }
}

}  // namespace display
