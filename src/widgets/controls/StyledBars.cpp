#include "widgets/controls/StyledBars.h"

#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Path.h"
#include "widgets/controls/StyledDrawing.h"

namespace kt {

// ---- Shared bar background ----

StyledBarLook::StyledBarLook(int32_t topLineHex)
    : m_gradientStart(colorWithHex(0x53A4DE)),
      m_gradientEnd(colorWithHex(0x297CB7)),
      m_topLine(colorWithHex(topLineHex)),
      m_bottomLine(colorWithHex(0x186399)) {}

void StyledBarLook::drawTopLine(gfx::Context& ctx, const gfx::Rect& rect) const {
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionTop, rect, m_topLine);
}

void StyledBarLook::drawBottomLine(gfx::Context& ctx, const gfx::Rect& rect) const {
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionBottom, rect, m_bottomLine);
}

void StyledBarLook::drawBarBackground(ui::View& bar, gfx::Context& ctx, const gfx::Rect& rect) const {
  dropShadowWithOpacity(bar, m_shadowOpacity);
  StyledDrawing::drawGradient(ctx, rect, m_gradientStart, m_gradientEnd);
  drawTopLine(ctx, rect);
  drawBottomLine(ctx, rect);
}

// ---- Navigation bar ----

StyledNavigationBar::StyledNavigationBar(const gfx::Rect& frame)
    : ui::NavigationBar(frame), StyledBarLook(0x84B7D5) {
  setContentMode(ui::ContentMode::Redraw);
  backgroundView()->setContentMode(ui::ContentMode::Redraw);
  setTintColor(colorWithHex(0x3D89BF));
}

void StyledNavigationBar::drawLeftRoundedCornerAtPoint(gfx::Context& ctx, gfx::Point p, double r,
                                                       const gfx::AffineTransform& t) const {
  // From pi up to -pi/2 (wrapped to 3pi/2): the quarter circle that bulges towards the corner.
  gfx::Path path;
  path.moveTo(p);
  path.lineTo(gfx::Point{p.x, p.y + r});
  path.addArc(gfx::Point{p.x + r, p.y + r}, r, M_PI, -M_PI / 2, true);
  path.lineTo(p);
  path.apply(t);
  ctx.save();
  ctx.setFillColor(m_roundedCornerColor);
  ctx.fill(path);
  ctx.restore();
}

void StyledNavigationBar::drawBackground(gfx::Context& ctx, const gfx::Rect& area) {
  ui::NavigationBar::drawBackground(ctx, area);
  drawBarBackground(*this, ctx, area);
  const double r = m_roundedCornerRadius.load();
  if (r > 0) {
    drawLeftRoundedCornerAtPoint(ctx, gfx::Point{0, 0}, r, gfx::AffineTransform::rotation(0));
    drawLeftRoundedCornerAtPoint(ctx, gfx::Point{0, -frame().width()}, r,
                                 gfx::AffineTransform::rotation(1.5707963267948966));
  }
}

// ---- Toolbar ----

StyledToolbar::StyledToolbar(const gfx::Rect& frame) : ui::Toolbar(frame), StyledBarLook(0x4F94C4) {
  setContentMode(ui::ContentMode::Redraw);
  setTintColor(colorWithHex(0x3D89BF));
}

void StyledToolbar::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  ui::Toolbar::drawRect(ctx, rect);
  drawBarBackground(*this, ctx, rect);
}

// ---- Tab bar ----

StyledTabBar::StyledTabBar(const gfx::Rect& frame)
    : ui::TabBar(frame),
      m_gradientStart(colorWithHex(0x444444)),
      m_gradientEnd(colorWithHex(0x060606)),
      m_separatorLine(colorWithHex(0x666666)) {
  setContentMode(ui::ContentMode::Redraw);
}

void StyledTabBar::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  ui::TabBar::drawRect(ctx, rect);
  StyledDrawing::drawGradient(ctx, rect, m_gradientStart, m_gradientEnd);
  StyledDrawing::drawLineAtHeight(ctx, 0.5f, rect, m_separatorLine, 2.5f);
}

}  // namespace kt
