#include "assets/Painter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Path.h"

namespace kt::assets {

namespace palette {
gfx::Color hex(uint32_t rgb, double alpha) {
  return gfx::Color(((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha);
}
gfx::Color night() { return hex(0x0d0a24); }
gfx::Color dusk() { return hex(0x221a52); }
gfx::Color plum() { return hex(0x5a2d8c); }
gfx::Color panel() { return hex(0x262d5c); }
gfx::Color panelEdge() { return hex(0x4a5596); }
gfx::Color violet() { return hex(0x7b5cff); }
gfx::Color blue() { return hex(0x4f76f3); }
gfx::Color pink() { return hex(0xff5fa2); }
gfx::Color cyan() { return hex(0x34d4c3); }
gfx::Color gold() { return hex(0xffc85a); }
gfx::Color text() { return hex(0xdfebff); }
gfx::Color muted() { return hex(0x8a97c8); }
}  // namespace palette

void Painter::fillLinear(const gfx::Path& path, const gfx::Color& from, const gfx::Color& to, gfx::Point start,
                         gfx::Point end) {
  auto gradient = gfx::Gradient::withColors({from, to});
  if (!gradient) return;
  m_context.save();
  m_context.clipToPath(path, gfx::FillRule::NonZero);
  m_context.drawLinearGradient(*gradient, start, end, gfx::GradientDrawsBeforeStart | gfx::GradientDrawsAfterEnd);
  m_context.restore();
}

void Painter::fillVertical(const gfx::Path& path, const gfx::Color& top, const gfx::Color& bottom) {
  gfx::Rect box = path.boundingBox();
  if (box.isNull()) return;
  fillLinear(path, top, bottom, {box.midX(), box.minY()}, {box.midX(), box.maxY()});
}

void Painter::glow(const gfx::Rect& clip, gfx::Point center, double radius, const gfx::Color& color) {
  auto gradient = gfx::Gradient::withColors({color, color.withAlpha(0)});
  if (!gradient) return;
  m_context.save();
  m_context.clipToRect(clip);
  m_context.drawRadialGradient(*gradient, center, 0, center, radius, gfx::GradientDrawsBeforeStart);
  m_context.restore();
}

void Painter::fill(const gfx::Path& path, const gfx::Color& color) {
  m_context.save();
  m_context.setFillColor(color);
  m_context.fill(path);
  m_context.restore();
}

void Painter::stroke(const gfx::Path& path, const gfx::Color& color, double width) {
  m_context.save();
  m_context.setStrokeColor(color);
  m_context.setLineWidth(width);
  m_context.setLineCap(gfx::LineCap::Round);
  m_context.setLineJoin(gfx::LineJoin::Round);
  m_context.stroke(path);
  m_context.restore();
}

void Painter::backdrop(gfx::Size size, const gfx::Color& top, const gfx::Color& bottom, unsigned seed) {
  const gfx::Rect all(0, 0, size.width, size.height);
  fillVertical(gfx::Path::rect(all), top, bottom);
  // A small linear congruential sequence: the same picture on every build.
  uint32_t state = 2166136261u ^ (seed * 16777619u);
  auto next = [&state]() {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / double(1u << 24);
  };
  const double span = std::max(size.width, size.height);
  glow(all, {size.width * (0.15 + 0.2 * next()), size.height * (0.1 + 0.3 * next())}, span * 0.45,
       palette::plum().withAlpha(0.45));
  glow(all, {size.width * (0.65 + 0.3 * next()), size.height * (0.6 + 0.4 * next())}, span * 0.4,
       palette::blue().withAlpha(0.25));
  // Faint sparkles of light, more of them on larger pictures.
  const int sparkles = static_cast<int>(std::clamp(size.width * size.height / 9000.0, 0.0, 90.0));
  for (int i = 0; i < sparkles; ++i) {
    const double x = next() * size.width, y = next() * size.height, r = 0.6 + 1.6 * next();
    fill(gfx::Path::ellipse(gfx::Rect(x - r, y - r, 2 * r, 2 * r)), gfx::Color(1, 1, 1, 0.05 + 0.12 * next()));
  }
}

void Painter::buttonFace(const gfx::Rect& r, double radius, const gfx::Color& top, const gfx::Color& bottom,
                         const gfx::Color& rim) {
  const gfx::Path body = gfx::Path::roundedRect(r, radius);
  fillVertical(body, top, bottom);
  const gfx::Rect upper(r.x() + 1, r.y() + 1, r.width() - 2, r.height() / 2 - 1);
  if (upper.width() > 0 && upper.height() > 0) {
    const gfx::Path sheen = gfx::Path::roundedRect(upper, std::max(0.0, radius - 1));
    fillVertical(sheen, gfx::Color(1, 1, 1, 0.18), gfx::Color(1, 1, 1, 0.02));
  }
  const double rimWidth = std::max(1.0, std::min(r.width(), r.height()) / 40);
  stroke(gfx::Path::roundedRect(r.insetBy(rimWidth / 2, rimWidth / 2), std::max(0.0, radius - rimWidth / 2)), rim,
         rimWidth);
}

void Painter::text(const std::string& text, const gfx::Rect& r, double pointSize, const gfx::Color& color, bool bold,
                   gfx::TextAlignment alignment) {
  gfx::TextStyle style = gfx::TextStyle::withFont(bold ? gfx::Font::boldSystemFont(pointSize)
                                                       : gfx::Font::systemFont(pointSize));
  style.color = color;
  style.alignment = alignment;
  style.maxLines = 1;
  style.lineBreak = gfx::LineBreakMode::Clip;
  style.minimumScaleFactor = 0.4;
  gfx::TextLayout layout(text, style);
  const gfx::Size used = layout.sizeConstrained({r.width(), std::numeric_limits<double>::infinity()});
  const double y = r.y() + (r.height() - used.height) / 2;
  layout.draw(m_context, gfx::Rect(r.x(), y, r.width(), used.height + 1));
}

}  // namespace kt::assets
