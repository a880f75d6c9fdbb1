#include "widgets/controls/StyledBars.h"

#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Path.h"
#include "widgets/controls/StyledDrawing.h"

namespace kt {

namespace {

// The navigation bar's and the toolbar's shared background, after the inherited drawing.
void drawBarBackground(ui::View& bar, gfx::Context& ctx, const gfx::Rect& rect, float shadowOpacity,
                       const gfx::Color& start, const gfx::Color& end, const gfx::Color& top,
                       const gfx::Color& bottom) {
  dropShadowWithOpacity(bar, shadowOpacity);
  StyledDrawing::drawGradient(ctx, rect, start, end);
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionTop, rect, top);
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionBottom, rect, bottom);
}

}  // namespace

// ---- Navigation bar ----

StyledNavigationBar::StyledNavigationBar(const gfx::Rect& frame) : ui::NavigationBar(frame) { initializeVars(); }

void StyledNavigationBar::initializeVars() {
  setContentMode(ui::ContentMode::Redraw);
  backgroundView()->setContentMode(ui::ContentMode::Redraw);
  m_shadowOpacity = 0.5f;
  m_gradientStart = colorWithHex(0x53A4DE);
  m_gradientEnd = colorWithHex(0x297CB7);
  m_topLine = colorWithHex(0x84B7D5);
  m_bottomLine = colorWithHex(0x186399);
  setTintColor(colorWithHex(0x3D89BF));
  m_roundedCornerColor = gfx::Color::black();
  m_roundedCornerRadius.store(0);
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

void StyledNavigationBar::drawTopLine(gfx::Context& ctx, const gfx::Rect& rect) const {
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionTop, rect, m_topLine);
}

void StyledNavigationBar::drawBottomLine(gfx::Context& ctx, const gfx::Rect& rect) const {
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionBottom, rect, m_bottomLine);
}

void StyledNavigationBar::drawBackground(gfx::Context& ctx, const gfx::Rect& area) {
  ui::NavigationBar::drawBackground(ctx, area);
  drawBarBackground(*this, ctx, area, m_shadowOpacity, m_gradientStart, m_gradientEnd, m_topLine, m_bottomLine);
  const double r = m_roundedCornerRadius.load();
  if (r > 0) {
    drawLeftRoundedCornerAtPoint(ctx, gfx::Point{0, 0}, r, gfx::AffineTransform::rotation(0));
    drawLeftRoundedCornerAtPoint(ctx, gfx::Point{0, -frame().width()}, r,
                                 gfx::AffineTransform::rotation(1.5707963267948966));
  }
}

// ---- Toolbar ----

StyledToolbar::StyledToolbar(const gfx::Rect& frame) : ui::View(frame) { initializeVars(); }

void StyledToolbar::initializeVars() {
  setContentMode(ui::ContentMode::Redraw);
  m_shadowOpacity = 0.5f;
  m_gradientStart = colorWithHex(0x53A4DE);
  m_gradientEnd = colorWithHex(0x297CB7);
  m_topLine = colorWithHex(0x4F94C4);
  m_bottomLine = colorWithHex(0x186399);
  setTintColor(colorWithHex(0x3D89BF));
}

void StyledToolbar::drawTopLine(gfx::Context& ctx, const gfx::Rect& rect) const {
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionTop, rect, m_topLine);
}

void StyledToolbar::drawBottomLine(gfx::Context& ctx, const gfx::Rect& rect) const {
  StyledDrawing::drawLineAtPosition(ctx, StyledLinePositionBottom, rect, m_bottomLine);
}

void StyledToolbar::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  ui::View::drawRect(ctx, rect);
  drawBarBackground(*this, ctx, rect, m_shadowOpacity, m_gradientStart, m_gradientEnd, m_topLine, m_bottomLine);
}

// ---- Tab bar ----

StyledTabBar::StyledTabBar(const gfx::Rect& frame) : ui::TabBar(frame) { initializeVars(); }

void StyledTabBar::initializeVars() {
  setContentMode(ui::ContentMode::Redraw);
  m_gradientStart = colorWithHex(0x444444);
  m_gradientEnd = colorWithHex(0x060606);
  m_separatorLine = colorWithHex(0x666666);
}

void StyledTabBar::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  ui::TabBar::drawRect(ctx, rect);
  StyledDrawing::drawGradient(ctx, rect, m_gradientStart, m_gradientEnd);
  StyledDrawing::drawLineAtHeight(ctx, 0.5f, rect, m_separatorLine, 2.5f);
}

}  // namespace kt
