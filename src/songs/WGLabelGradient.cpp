#include "songs/WGLabelGradient.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TextLayout.h"

#include <algorithm>

namespace kt {

void WGLabelGradient::setColors(std::vector<gfx::Color> colors) {
  m_colors = std::move(colors);
  setNeedsDisplay();
}

void WGLabelGradient::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  if (text().empty()) return;
  // The font is the only attribute: no alignment, one size, wrapped within the width.
  gfx::TextStyle style = gfx::TextStyle::withFont(font());
  style.alignment = gfx::TextAlignment::Left;
  style.lineBreak = gfx::LineBreakMode::WordWrap;
  gfx::TextLayout layout(text(), style);
  const gfx::Size measured = layout.size();
  const double tw = measured.width;
  const double th = measured.height;
  const double h = rect.height();

  // The text goes where a plain label puts it, centred vertically, to be the mask.
  const double top = std::max(0.0, (h - th) / 2);
  ctx.setFillColor(textColor());
  layout.draw(ctx, gfx::Rect(rect.minX(), rect.minY() + top, rect.width(), rect.height() - top));
  // Only a context over pixels can hand its drawing back as a mask; elsewhere the text stays
  // as drawn, in the text colour.
  std::shared_ptr<gfx::Image> mask = ctx.makeImage();
  if (!mask) return;
  ctx.clearRect(rect);
  ctx.clipToMask(rect, *mask);

  // Flip about the text's middle: y up from the bottom of the text, so that the gradient runs
  // from its bottom left to its top right.
  ctx.translate(0, h - (h - th) / 2);
  ctx.scaleBy(1, -1);
  std::optional<gfx::Gradient> gradient = gfx::Gradient::withColors(m_colors);
  if (!gradient) return;
  ctx.drawLinearGradient(*gradient, gfx::Point{0, 0}, gfx::Point{tw, th},
                         gfx::GradientDrawsBeforeStart | gfx::GradientDrawsAfterEnd);
}

}  // namespace kt
