#include "widgets/controls/StyledDrawing.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Path.h"
#include "platform/ui/View.h"

namespace kt {

gfx::Gradient StyledDrawing::twoColorGradient(const gfx::Color& from, const gfx::Color& to) {
  // Two colours with two locations always make a gradient.
  return *gfx::Gradient::withColors({from, to}, {0.0, 1.0});
}

void StyledDrawing::drawGradient(gfx::Context& ctx, const gfx::Rect& rect, const gfx::Color& from,
                                 const gfx::Color& to) {
  ctx.save();
  ctx.clipToRect(rect);
  ctx.drawLinearGradient(twoColorGradient(from, to), gfx::Point{rect.midX(), rect.minY()},
                         gfx::Point{rect.midX(), rect.maxY()}, 0);
  ctx.restore();
}

void StyledDrawing::drawLineAtPosition(gfx::Context& ctx, int32_t position, const gfx::Rect& rect,
                                       const gfx::Color& color) {
  double y = 0;
  if (position == StyledLinePositionTop) y = rect.minY() + 0.5;
  else if (position == StyledLinePositionBottom) y = rect.maxY() - 0.5;
  ctx.save();
  ctx.setStrokeColor(color);
  ctx.setLineWidth(1.5);
  ctx.beginPath();
  ctx.moveTo(gfx::Point{rect.minX(), static_cast<float>(y)});
  ctx.lineTo(gfx::Point{rect.maxX(), static_cast<float>(y)});
  ctx.strokePath();
  ctx.restore();
}

void StyledDrawing::drawLineAtHeight(gfx::Context& ctx, float y, const gfx::Rect& rect, const gfx::Color& color,
                                     float width) {
  ctx.save();
  ctx.setStrokeColor(color);
  ctx.setLineWidth(width);
  ctx.beginPath();
  ctx.moveTo(gfx::Point{rect.minX(), y});
  ctx.lineTo(gfx::Point{rect.maxX(), y});
  ctx.strokePath();
  ctx.restore();
}

void StyledDrawing::drawGradient(gfx::Context& ctx, const gfx::Gradient& gradient, const gfx::Rect& rect) {
  ctx.save();
  ctx.drawLinearGradient(gradient, gfx::Point{rect.midX(), rect.minY()}, gfx::Point{rect.midX(), rect.maxY()}, 0);
  ctx.restore();
}

gfx::Color colorWithHex(int32_t hex) {
  return gfx::Color(((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, 1.0);
}

void dropShadowWithOpacity(ui::View& view, float opacity) {
  auto& layer = *view.layer();
  layer.setMasksToBounds(false);
  layer.setShadowOffset(gfx::Size{0, 0});
  layer.setShadowOpacity(opacity);
  layer.setShadowPath(gfx::Path::rect(view.bounds()));
}

}  // namespace kt
