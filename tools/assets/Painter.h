#pragma once

#include <cstdint>
#include <string>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"
#include "platform/gfx/TextLayout.h"

namespace gfx {
class Context;
class Path;
}  // namespace gfx

namespace kt::assets {

// The colours of the room tablet's look: deep night purples and blues, light text, a few bright
// accents for what the guest can press.
namespace palette {
gfx::Color hex(uint32_t rgb, double alpha = 1.0);
gfx::Color night();      // darkest background
gfx::Color dusk();       // lighter background
gfx::Color plum();       // purple highlight in backgrounds
gfx::Color panel();      // raised panels and cards
gfx::Color panelEdge();  // their outline
gfx::Color violet();     // main accent
gfx::Color blue();       // second accent
gfx::Color pink();       // pressed and warm accent
gfx::Color cyan();       // cool accent
gfx::Color gold();       // stars, trophies
gfx::Color text();       // light text
gfx::Color muted();      // secondary text and dim icons
}  // namespace palette

// Shared drawing steps of the artwork, all in points on a gfx::Context.
class Painter {
 public:
  explicit Painter(gfx::Context& context) : m_context(context) {}

  gfx::Context& context() { return m_context; }

  // Fills a path with a gradient from `top` at its top edge to `bottom` at its bottom edge.
  void fillVertical(const gfx::Path& path, const gfx::Color& top, const gfx::Color& bottom);
  // Fills a path with a gradient along a line.
  void fillLinear(const gfx::Path& path, const gfx::Color& from, const gfx::Color& to, gfx::Point start,
                  gfx::Point end);
  // A soft round glow of `color` fading out at `radius`, clipped to `clip`.
  void glow(const gfx::Rect& clip, gfx::Point center, double radius, const gfx::Color& color);
  void fill(const gfx::Path& path, const gfx::Color& color);
  void stroke(const gfx::Path& path, const gfx::Color& color, double width);

  // A full backdrop: a vertical gradient with two soft glows and a sprinkle of faint sparkles that
  // stand for stage lights. `seed` varies where the glows and dots fall.
  void backdrop(gfx::Size size, const gfx::Color& top, const gfx::Color& bottom, unsigned seed);

  // A rounded button face: gradient body, a light rim and a faint sheen on the upper half.
  void buttonFace(const gfx::Rect& r, double radius, const gfx::Color& top, const gfx::Color& bottom,
                  const gfx::Color& rim);

  // Text on one line, centred vertically in `r`, shrunk to fit its width when needed.
  void text(const std::string& text, const gfx::Rect& r, double pointSize, const gfx::Color& color, bool bold,
            gfx::TextAlignment alignment = gfx::TextAlignment::Center);

 private:
  gfx::Context& m_context;
};

}  // namespace kt::assets
