#pragma once

#include <optional>

#include "platform/gfx/Geometry.h"

namespace ui {

enum class InterfaceOrientation;

// A display mode: its size in pixels.
struct ScreenMode {
  gfx::Size size;
  double pixelAspectRatio = 1;
};

// The device's screen. The main screen starts as the 1024 x 768 point tablet at scale 2; tests
// switch to other tablets (the 12.9-inch one is 2048 x 2732 pixels) with setMode().
//
// The mode (its pixels and their scale) says what the interface is told: its size in points. The
// pixels the interface is drawn at are another matter: a window draws it at its own scale (the
// picture's pixels over its points, see setDrawingScale). Callers say which they mean:
// drawingScale() for hairlines, layer contents and snapshots (drawn at the pixels shown),
// modeScale() for what the interface is told.
class Screen {
 public:
  static Screen& main();

  // In points, origin at zero, oriented as the interface is: wider than high while the status bar
  // is in a landscape orientation, higher than wide in a portrait one (the mode keeps its own
  // pixel size whatever the orientation).
  gfx::Rect bounds() const;
  // The bounds less the status bar across the top (its height when it is shown).
  gfx::Rect applicationFrame() const;
  // Pixels drawn per point: the drawing scale when one is set, else the mode's.
  double drawingScale() const { return m_drawingScale.value_or(m_scale); }
  // The mode's own pixels per point (what bounds() divides by).
  double modeScale() const { return m_scale; }
  ScreenMode currentMode() const { return ScreenMode{m_pixels, 1}; }

  // Changes the mode; the default image scale (the points of decoded pictures) follows the mode's.
  void setMode(gfx::Size pixels, double scale);
  // The scale the interface is drawn at, whatever the mode (a window's own); none follows the mode.
  // A change sets every view's layer that follows the screen to the new scale, so that its
  // content is drawn again at it (View::followDrawingScale). Not positive or not finite: ignored.
  void setDrawingScale(std::optional<double> scale);
  bool hasDrawingScale() const { return m_drawingScale.has_value(); }
  // Back to 2048 x 1536 pixels at scale 2, drawn at that scale.
  void reset() {
    setDrawingScale(std::nullopt);
    setMode(gfx::Size{2048, 1536}, 2);
  }

  // The display the interface is shown on keeps its shape when the interface turns: it draws an
  // interface of the other shape turned by a quarter. The display says its shape when it is made
  // (wide or high) and clears it when it goes.
  void setDisplayShape(std::optional<bool> wide) { m_displayWide = wide; }
  // The quarter turns (clockwise: -1, 0 or 1) the display draws the interface with in this
  // orientation: none while the interface has the display's shape (or without a display); a
  // portrait interface on a wide display stands with its top along the display's left edge (upside
  // down: its right edge), a landscape one on a high display with its top along the right edge
  // (landscape left: the left edge).
  int displayQuarterTurns(InterfaceOrientation o) const;

 private:
  Screen() = default;
  // After a change of mode or drawing scale: the artwork's scale, and the views when it changed.
  void followScale(double before);
  gfx::Size m_pixels{2048, 1536};
  double m_scale = 2;
  std::optional<double> m_drawingScale;
  std::optional<bool> m_displayWide;
};

}  // namespace ui
