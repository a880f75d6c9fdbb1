#pragma once

#include <memory>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/ui/Label.h"

namespace kt {

// A label that paints its text with a linear gradient of colours instead of one flat colour.
//
// The text, drawn from the left where a plain label draws it (centred vertically), serves as a
// mask; the gradient, in a space flipped about the text's middle, runs from the first colour at
// the bottom left of the text to the last at its top right and shows only through the glyphs.
// The label's alignment and text colour play no part in what shows.
class WGLabelGradient : public ui::Label {
 public:
  static std::shared_ptr<WGLabelGradient> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<WGLabelGradient>(frame);
  }
  explicit WGLabelGradient(const gfx::Rect& frame = gfx::Rect()) : ui::Label(frame) {}

  // The gradient's colours, evenly spaced from first to last; no colour draws nothing.
  const std::vector<gfx::Color>& colors() const { return m_colors; }
  void setColors(std::vector<gfx::Color> colors);

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;

 private:
  std::vector<gfx::Color> m_colors;
};

}  // namespace kt
