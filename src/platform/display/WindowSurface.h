#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/display/DrawScale.h"
#include "platform/display/FrameScaler.h"
#include "platform/display/Surface.h"
#include "platform/display/WaylandPresenter.h"
#include "platform/display/X11Window.h"

struct SDL_Window;
struct SDL_Surface;
union SDL_Event;

namespace ui {
class Touch;
class Window;
}

namespace display {

struct WaylandNeed;

// A turn of the mouse wheel or a two-finger swipe on a touchpad, over the window: a small pan by
// `scrollDelta` points (positive y: the content moves down, as when scrolling towards the top).
// Both are the screen's (turned with it when the interface is turned on the display).
struct ScrollEvent {
  gfx::Point location;   // the pointer, in screen points
  gfx::Size scrollDelta;
  double timestamp = 0;  // core::Clock::now()
};

// A real window on the desktop (X11 or Wayland) through SDL2, showing the compositor's frames.
//
// The window opens at the screen's size in points (scaled down when the screen does not fit on
// the desktop). When the desktop gives it another size (a kiosk compositor makes it fill the
// output), the picture is fitted into it whole, centred, with black beside it, and touches follow.
// The interface is drawn at the picture's own scale (its pixels per screen point, fractional as it
// comes: 1 in a 1024 x 768 window, 2.8125 full screen on 3840 x 2160) while the screen's mode, and
// so its points, stay what they are: showing a frame is a copy of its changed pixels. After a
// change of the window's size the last frame is resampled into the new picture until the size has
// stayed SettleSeconds (on the run loop's clock), then the interface is drawn again at the new
// scale. KT_DRAW_SCALE (or the setting Draw_Scale) fixes the drawing scale instead, every frame
// then resampled into the picture. Only the changed part of each frame is uploaded.
//
// No GL is used for the window, because the GL views draw through Mesa's off-screen renderer
// in this process, and a second GL stack would share Mesa's dispatch with it. On X11 the frame
// is copied (or resampled, see above) with pixman (FrameScaler) into SDL's framebuffer of the
// window, the X server's shared-memory image where it has MIT-SHM; on Wayland (with or without
// XWayland, which SDL prefers) the same way into shared-memory buffers handed to the compositor
// (WaylandPresenter), as SDL 2 has no window framebuffer there.
//
// Input: each finger on a touch screen is a touch of its own, several at once (down, move, up; a
// touch that is not moving while another does is stationary), and the left mouse button is one
// more finger (quick repeats count as taps of a higher count). Points are turned with the screen
// when the interface is turned on the display (Surface::screenPointFromDisplay). A finger goes to
// the front-most window that takes it where it comes down (Surface::windowForTouchAt) and stays with that window
// until it lifts, wherever that is; losing the keyboard focus cancels every finger. The mouse
// events SDL makes up from touches, and the touches it makes up from the mouse, are not fingers
// again. The wheel and a touchpad's two-finger swipe scroll the innermost scroll view under the
// pointer that can move that way (Surface::scrollAt, turned with the screen as touches are, on
// the main run loop like them); typed text goes to the first responder of
// Surface::textInputWindow (backspace deletes, return inserts "\n"). Closing the window stops
// the main run loop unless a close handler is set. The system's text input (and its input
// method) runs only while a text input edits, with the input's rectangle as its own. With start(), input is polled and frames are
// made from a timer on the main run loop, so the loop never blocks in SDL.
//
// On a desktop the window can be resized and maximised; it opens maximised where the desktop is
// no larger than the window, and full screen when asked (Options, or KT_FULLSCREEN=1). F11 turns
// full screen on and off. Whatever size it gets, the picture is fitted whole.
//
// When the compositor's last output goes away (its screen unplugged), the window stays, F11 does
// nothing (said once), and it shows again on the output that comes back. A window closed then
// leaves SDL and the window to the connection's end.
//
// At the program's end (prepareForProcessExit) SDL is never told to take the window apart: its
// window and video are left to the compositor or X server, which frees them with the connection
// as the process exits, so that nothing of SDL reads the display after the stop's last look at it.
//
// When the display goes away (the compositor or X server ends, or breaks the connection), the
// window says so on standard error, naming the display and the cause, and stops the main run loop
// as a termination signal does (or calls the lost handler); from then on it reads, draws and waits
// for nothing on that connection.
class WindowSurface : public Surface {
 public:
  struct Options {
    const char* title = "KTV";
    bool hidden = false;      // made but not shown (tests)
    bool fullScreen = false;  // full screen on the desktop's output (also KT_FULLSCREEN=1)
    // The window system to open ("wayland" or "x11"), empty for Wayland where one is named, else
    // X11. SDL_VIDEODRIVER, when set, wins.
    std::string driver;
    // A descriptor whose becoming readable (a termination signal's) ends the look at the session
    // bus before SDL starts, and the open with it; -1 for none.
    int interruptFd = -1;
    // On Wayland, whether the title bar is drawn (by the decoration library SDL loads): false
    // where the compositor lacks what that library binds (DisplayProbe's look says so).
    bool titleBar = true;
  };

  // What the window needs of a Wayland compositor's globals, held against its registry before SDL
  // is given it: SDL 2.26 and libdecor's Cairo plug-in crash on a compositor without them or
  // with an older version than they bind (a newer SDL may need less: lower them here). Measured
  // from the binds of a start on Weston: SDL binds wl_compositor (and calls set_buffer_scale,
  // version 3), wl_shm, xdg_wm_base, wl_seat and wl_output at the versions offered, and sets up
  // its mouse on a seat, without which it crashes; the plug-in binds wl_subcompositor, wl_seat 3
  // and wl_output 2 whatever is offered. Without the plug-in (no title bar) SDL takes version 1
  // of the seat and the output.
  static const std::vector<WaylandNeed>& waylandNeeds();

  // Opens the window; nullptr with an error when SDL or the window cannot be set up.
  static std::unique_ptr<WindowSurface> open(core::Error* error = nullptr);
  static std::unique_ptr<WindowSurface> open(const Options& options, core::Error* error = nullptr);
  ~WindowSurface() override;

  bool isOnScreen() const override { return true; }

  // Handles every pending SDL event now (start() does this on each turn of its timer).
  void processEvents();
  // Handles one event (tests push their own).
  void handleEvent(const SDL_Event& event);

  // Takes the wheel's scroll events in place of the views under the pointer.
  void setScrollHandler(std::function<void(const ScrollEvent&)> handler) { m_onScroll = std::move(handler); }
  void setCloseHandler(std::function<void()> handler) { m_onClose = std::move(handler); }
  // Called once the display has gone away, with the line written on standard error, in place of
  // stopping the main run loop.
  void setLostHandler(std::function<void(const std::string& message)> handler) { m_onLost = std::move(handler); }
  bool displayLost() const override { return m_lost; }
  // The destruction that follows leaves SDL's window and video to the display server (see above):
  // SDL's end of a window reads what the display sent meanwhile (an output removed just then made it
  // read through a null display). Our own helpers still let go of what they hold, which only
  // writes to the connection. Windows destroyed without this are taken apart whole.
  void prepareForProcessExit() override { m_processExiting = true; }

  bool isFullScreen() const;
  void setFullScreen(bool fullScreen);

  // Reads back the pixels shown (the drawable, after the last present) as premultiplied ARGB;
  // nullptr when nothing has been shown at the window's present size.
  std::shared_ptr<gfx::Image> readPixels() const;

  // Window points per screen point (below 1 when the screen was scaled down to fit), and where
  // the screen's top left corner is in the window.
  double windowScale() const { return m_windowScale; }
  // The window's own scale: the fitted picture's pixels per screen point.
  double pictureScale() const { return m_pictureScale; }
  // The scale drawn at whatever the window (KT_DRAW_SCALE or the setting Draw_Scale), if any.
  std::optional<double> fixedScale() const { return m_fixedScale; }
  // Whether a new size waits to settle before the interface is drawn again at its scale.
  bool isSettling() const { return m_settleTimer != nullptr; }
  // How long a new size must stay before the interface is drawn again at its scale.
  static constexpr double SettleSeconds = 0.15;
  gfx::Point pictureOrigin() const { return m_pictureOrigin; }
  SDL_Window* sdlWindow() const { return m_window; }
  // Whether frames go to a Wayland compositor (else to an X server through SDL's framebuffer).
  bool isWayland() const { return m_wayland != nullptr; }
  // Whether a frame made now is shown at once: on Wayland it may wait for the compositor to hand
  // back a buffer (processEvents() reads that).
  bool canPresent() const { return !m_wayland || m_wayland->hasFreeBuffer(); }

 protected:
  WindowSurface() = default;
  void present(const gfx::Rect& dirty) override;
  void pollInput() override { processEvents(); }
  void sizeChanged() override;
  void textInputChanged(const std::optional<gfx::Rect>& rect) override;

 private:
  bool setUp(const Options& options, core::Error* error);
  // Whether the display is still there; the first time it is found gone, the loss is reported.
  bool checkConnection();
  // Whether SDL has an output the window is on. SDL 2.26 reads through a null display in the calls
  // that reach the window's (hiding or destroying it, full screen on or off, maximising it, its
  // display mode) when the compositor has none left (the only screen unplugged): those are not
  // made without one. Resizing, moving and the display's bounds are safe.
  bool hasDisplay() const;
  // An output that went away or came back (SDL's display events): said when none is left, and
  // when one comes back.
  void displayChanged(const SDL_Event& event);
  // An X server with no window manager (a kiosk's bare session) leaves full screen to the
  // program: SDL's full screen would only change the size SDL believes the window has, after
  // waiting for a window manager's answer that never comes.
  bool isBareX() const { return m_x11 && !m_x11->hasWindowManager(); }
  // There, the X window itself is put over the whole output, or back at the size it opened with,
  // centred, once a turn of the loop for however many toggles came in it; SDL learns the new size
  // from the server's events, as after any resize.
  void placeOnBareX();
  // The window's framebuffer (X11) as SDL has it now, got again after a change of the window's
  // size and then drawn whole; false when SDL gives none that can be drawn into.
  bool makeFramebuffer();
  // Draws the part of the framebuffer (X11) that the frame's changed pixels `dirty` reach, with
  // whatever else is stale, and hands the X server that part, or with `whole` all of it.
  void showFrame(const FrameScaler::Frame& frame, const PixelRect& dirty, bool whole);
  // The whole frame shown again (X11: the window was exposed or resized).
  void showWholeFrame();
  // Where the picture goes in `pw` x `ph` pixels covering the window: as large as fits, centred,
  // the size of a frame drawn at the picture's scale.
  PixelRect pictureRect(int pw, int ph) const;
  // The window's size gave the picture this scale: the screen is drawn at it (or at the fixed
  // scale) at once the first time, else once the size has settled (settle()).
  void followPictureScale(double pictureScale);
  void settle();
  // Fits the screen into the window as it is now: scale, picture origin, the presenter's buffers.
  void followWindowSize();
  // The frame's pixels as the scaler takes them.
  FrameScaler::Frame frame();
  // A point of the SDL window in the screen's points (through the display's turn).
  gfx::Point toScreenPoints(double x, double y) const;
  // A touch screen's finger position (0..1 across the window) in screen points.
  gfx::Point fingerPoint(double x, double y) const;
  void fingerDown(const SDL_Event& event);
  void fingerMoved(const SDL_Event& event, bool lifted);
  // The mouse's finger and every touch screen finger are lifted off the glass.
  void cancelTouches();

  // A touch screen finger that is down: SDL's device and finger, its touch and the window it went
  // down on.
  struct Finger {
    int64_t device = 0;
    int64_t id = 0;
    std::shared_ptr<ui::Touch> touch;
    std::weak_ptr<ui::Window> window;
  };
  std::vector<Finger>::iterator findFinger(int64_t device, int64_t id);

  SDL_Window* m_window = nullptr;
  // X11: SDL's framebuffer of the window (the window's, freed with it), stale from a change of the
  // window's size on; how the frame is scaled into it; what of it is yet to be drawn.
  SDL_Surface* m_framebuffer = nullptr;
  bool m_framebufferStale = true;
  FrameScaler m_scaler;
  PixelRect m_stale;
  std::unique_ptr<WaylandPresenter> m_wayland;
  std::unique_ptr<X11Window> m_x11;
  bool m_lost = false;
  bool m_processExiting = false;  // prepareForProcessExit(): SDL is left as it is
  std::pair<int, int> m_windowedSize;  // the size it opened with, out of full screen
  // Full screen on a bare X server (SDL is not told): as asked, and as the X window was last placed.
  bool m_bareFullScreen = false;
  bool m_barePlacedFullScreen = false;
  bool m_sdlStarted = false;
  // No output left since it was said; F11's refusals since one was last there (the first said).
  bool m_saidNoDisplay = false;
  int m_fullScreenRefusals = 0;
  bool m_startEnded = false;  // Wayland: the compositor took the first frame
  double m_windowScale = 1;
  gfx::Point m_pictureOrigin;
  // The drawing scale: the picture's (the window's own) unless one is fixed; whether the screen
  // was given one; the wait for a new size to settle.
  double m_pictureScale = 1;
  std::optional<double> m_fixedScale = drawScaleSetting();
  bool m_drawingScaleSet = false;
  std::shared_ptr<core::Timer> m_settleTimer;
  std::shared_ptr<ui::Touch> m_touch;
  std::weak_ptr<ui::Window> m_touchWindow;  // the window the finger went down on
  gfx::Point m_pointer;
  std::vector<Finger> m_fingers;
  std::function<void(const ScrollEvent&)> m_onScroll;
  std::function<void()> m_onClose;
  std::function<void(const std::string&)> m_onLost;
};

}  // namespace display
