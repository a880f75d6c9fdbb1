#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/gfx/Transform.h"

namespace core {
class Error;
class Timer;
}  // namespace core
namespace gfx {
class Compositor;
class Image;
class Layer;
}  // namespace gfx
namespace ui {
class Window;
}

namespace display {

// What the application's windows are shown on. A surface follows the main screen's mode (its
// size in points and its scale) and shows every visible window of the application, back to front
// by window level (Application::visibleWindows); a window set with setWindow is shown alone
// instead.
//
// The windows' layers are hung, in that order, under one screen layer that the compositor draws,
// so a change in any of them redraws only what it touches. A frame is the windows' layout passes
// (layout, then the views that draw refresh their content) followed by the compositor, which draws
// the layer tree at its presentation values. Frames are made on demand (renderFrame, snapshot) or,
// once start() was called, by a timer on the main run loop at most `framesPerSecond` times a
// second and only when something changed or animates. While that timer runs, an animation added
// without a begin time begins when the first frame after its commit is on show (see
// gfx::Transaction::startWhenShown).
class Surface {
 public:
  static constexpr const char* ErrorDomain = "DisplayErrorDomain";
  enum ErrorCode : int64_t {
    NoWindow = 1,         // nothing to show
    EncodingFailed = 2,   // the pixels could not be encoded
    WriteFailed = 3,      // the file could not be written
    OpenFailed = 4,       // a real window could not be opened
  };

  virtual ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // The window shown alone; null shows the application's visible windows.
  void setWindow(std::shared_ptr<ui::Window> window);
  // The window set, else the application's key window.
  std::shared_ptr<ui::Window> window() const;
  // What a frame shows now, back to front.
  std::vector<std::shared_ptr<ui::Window>> shownWindows() const;
  // The window a touch at a screen point goes to: the window set, else the front-most visible
  // window that takes it (Application::windowForTouchAt).
  std::shared_ptr<ui::Window> windowForTouchAt(gfx::Point screenPoint) const;
  // The window typed text goes to: the window set, else Application::textInputWindow.
  ui::Window* textInputWindow() const;
  // A turn of the mouse wheel or a touchpad swipe with the pointer at a screen point, the content
  // to move by `travel` (screen points, as a finger's travel): to the window a touch there would go
  // to, in its coordinates (Window::scrollWheel). Whether a scroll view took it.
  bool scrollAt(gfx::Point screenPoint, gfx::Point travel) const;

  // The surface's size in points and its pixels per point (the main screen's when last checked:
  // its mode's size and its drawing scale, which a window sets to its own).
  gfx::Size size() const { return m_size; }
  double scale() const { return m_scale; }
  // The scale a surface of `points` draws at when `wanted` is asked for: `wanted`, or the largest
  // the compositor can draw when that is less (a large output then shows the frame enlarged). The
  // one place the drawing scale is decided.
  static double drawableScale(gfx::Size points, double wanted);
  // The quarter turns (clockwise) the screen is drawn with: -1, 0 or 1 (the main screen's
  // displayQuarterTurns for the status bar orientation).
  int quarterTurns() const;
  // A point of the display in the screen's (the interface's) coordinates, and back.
  gfx::Point screenPointFromDisplay(gfx::Point p) const;
  gfx::Point displayPointFromScreen(gfx::Point p) const;
  // A vector of the display (a move, a scroll's travel) in the screen's coordinates: turned alone.
  gfx::Point screenVectorFromDisplay(gfx::Point v) const;

  // Whether a frame would draw anything (a window needs layout or display, a layer changed or
  // animates, a window came or went, the screen mode changed, or nothing was drawn yet).
  bool needsFrame() const;
  // Makes a frame if one is needed and shows it. Returns the region redrawn in points (empty when
  // nothing changed or no window is shown).
  gfx::Rect renderFrame();
  // Frames made so far that drew something.
  uint64_t frameCount() const { return m_frames; }

  // The pixels as the last frame left them, after making a frame if one is needed.
  std::shared_ptr<gfx::Image> snapshot();
  // Writes snapshot() as a PNG file (creating its folder). False with an error on failure.
  bool saveScreenshot(const std::string& path, core::Error* error = nullptr);

  // The frame timer on the main run loop (call on the main thread).
  void start(double framesPerSecond = 60);
  void stop();
  bool isRunning() const { return m_timer != nullptr; }

  // Whether the frames are shown in a real window.
  virtual bool isOnScreen() const = 0;
  // Whether the display the window was shown on went away (its connection broke).
  virtual bool displayLost() const { return false; }
  // The process ends as soon as this surface is destroyed (the program's stop calls this before it
  // lets go of the surface, once its run loop has stopped): the destruction then reads nothing more
  // from the display. A window leaves the window system's objects, the window among them, to the
  // display server, which frees them with the connection as the process exits; a surface destroyed
  // without this (one made and closed inside a running process) is taken apart whole.
  virtual void prepareForProcessExit() {}

  // The compositor of the current screen mode (made on first use).
  gfx::Compositor& compositor();

  // Where the system's input method types while a text input edits (display::activeInputRect,
  // turned into display points), none otherwise. Followed on every turn of the frame timer and
  // every frame.
  const std::optional<gfx::Rect>& textInputRect() const { return m_textInputRect; }

 protected:
  Surface();
  // Shows the frame just drawn; `dirty` is the changed region in points.
  virtual void present(const gfx::Rect& dirty) = 0;
  // Called on every turn of the frame timer before the frame is made (a window polls its input).
  virtual void pollInput() {}
  // The screen mode changed: the compositor was remade at the new size (not called when only the
  // drawing scale changed).
  virtual void sizeChanged() {}
  // Text input began or moved (the input's rectangle, screen points) or ended (none).
  virtual void textInputChanged(const std::optional<gfx::Rect>& rect) { (void)rect; }

 private:
  bool followScreen();
  void followTextInput();
  // The display's size for the screen's current mode, in the surface's own shape.
  gfx::Size displaySize() const;
  // The screen layer's place on the display: the screen's bounds turned as quarterTurns says.
  gfx::AffineTransform screenTransform() const;
  bool screenLayerPlaced() const;
  void placeScreenLayer();
  void tick();
  // Whether the screen layer holds exactly these windows' layers, in order.
  bool holds(const std::vector<std::shared_ptr<ui::Window>>& windows) const;
  // Hangs the windows' layers under the screen layer, in order, and lets go of the others.
  void hang(const std::vector<std::shared_ptr<ui::Window>>& windows);

  std::shared_ptr<ui::Window> m_window;
  std::shared_ptr<gfx::Layer> m_screenLayer;
  std::unique_ptr<gfx::Compositor> m_compositor;
  gfx::Size m_size;
  bool m_wide = true;  // the display's shape, kept when the interface turns
  double m_scale = 1;
  uint64_t m_frames = 0;
  bool m_drawn = false;
  std::shared_ptr<core::Timer> m_timer;
  std::optional<gfx::Rect> m_textInputRect;
};

}  // namespace display
