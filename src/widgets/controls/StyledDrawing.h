#pragma once

#include <cstdint>
#include <optional>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

namespace gfx {
class Context;
class Gradient;
}  // namespace gfx
namespace ui {
class View;
}

namespace kt {

// Where drawLineAtPosition puts its line.
enum StyledLinePosition : int32_t { StyledLinePositionTop = 0, StyledLinePositionBottom = 1 };

// Drawing routines shared by the styled cells and bars. Each saves the context's state and
// restores it when done.
class StyledDrawing {
 public:
  // A vertical two-colour gradient from the rect's top to its bottom, clipped to the rect.
  static void drawGradient(gfx::Context& ctx, const gfx::Rect& rect, const gfx::Color& from, const gfx::Color& to);
  // A horizontal line 1.5 wide across the rect, half a point inside its top or bottom edge (at
  // y = 0 for any other position).
  static void drawLineAtPosition(gfx::Context& ctx, int32_t position, const gfx::Rect& rect, const gfx::Color& color);
  // A horizontal line across the rect at `y`.
  static void drawLineAtHeight(gfx::Context& ctx, float y, const gfx::Rect& rect, const gfx::Color& color, float width);
  // Draws `gradient` from the rect's top to its bottom over the current clip.
  static void drawGradient(gfx::Context& ctx, const gfx::Gradient& gradient, const gfx::Rect& rect);
  // A gradient of two colours at locations 0 and 1.
  static gfx::Gradient twoColorGradient(const gfx::Color& from, const gfx::Color& to);
};

// A colour from 0xRRGGBB, opaque.
gfx::Color colorWithHex(int32_t hex);

// A layer shadow around the view: no offset, the given opacity, shaped like the view's bounds as
// they are now.
void dropShadowWithOpacity(ui::View& view, float opacity);

}  // namespace kt
