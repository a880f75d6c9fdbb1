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
class Screen {
 public:
  static Screen& main();

  // In points, origin at zero, oriented as the interface is: wider than high while the status bar
  // is in a landscape orientation, higher than wide in a portrait one (the mode keeps its own
  // pixel size whatever the orientation).
  gfx::Rect bounds() const;
  // The bounds less the status bar across the top (its height when it is shown).
  gfx::Rect applicationFrame() const;
  double scale() const { return m_scale; }
  ScreenMode currentMode() const { return ScreenMode{m_pixels, 1}; }

  // Changes the mode; the default image scale follows the screen's.
  void setMode(gfx::Size pixels, double scale);
  // Back to 2048 x 1536 pixels at scale 2.
  void reset() { setMode(gfx::Size{2048, 1536}, 2); }

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
  gfx::Size m_pixels{2048, 1536};
  double m_scale = 2;
  std::optional<bool> m_displayWide;
};

}  // namespace ui
