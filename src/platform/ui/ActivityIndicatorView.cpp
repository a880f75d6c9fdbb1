#include "platform/ui/ActivityIndicatorView.h"

#include <cmath>
#include <numbers>

#include "platform/gfx/Animation.h"
#include "platform/gfx/Context.h"

namespace ui {

ActivityIndicatorView::ActivityIndicatorView(ActivityIndicatorStyle style)
    : ActivityIndicatorView(gfx::Rect(0, 0, sideForStyle(style), sideForStyle(style)), style) {}

ActivityIndicatorView::ActivityIndicatorView(const gfx::Rect& frame, ActivityIndicatorStyle style)
    : View(frame), m_style(style) {
  setOpaque(false);
  setUserInteractionEnabled(false);
  setContentMode(ContentMode::Redraw);
  setHidden(true);
}

void ActivityIndicatorView::setStyle(ActivityIndicatorStyle style) {
  m_style = style;
  setNeedsDisplay();
}

gfx::Color ActivityIndicatorView::color() const {
  if (m_color) return *m_color;
  return m_style == ActivityIndicatorStyle::Gray ? gfx::Color::gray() : gfx::Color::whiteColor();
}

void ActivityIndicatorView::setColor(std::optional<gfx::Color> color) {
  m_color = color;
  setNeedsDisplay();
}

void ActivityIndicatorView::setHidesWhenStopped(bool hides) {
  m_hidesWhenStopped = hides;
  if (!m_animating) setHidden(hides);
}

void ActivityIndicatorView::addSpin() {
  // Twelve steps a second, each turning by one spoke, so the spokes seem to run round.
  auto spin = gfx::KeyframeAnimation::withKeyPath("transform.rotation.z");
  spin->values.reserve(13);
  for (int i = 0; i <= 12; ++i) spin->values.emplace_back(std::in_place_index<0>, double(i) * std::numbers::pi / 6);
  for (int i = 0; i <= 12; ++i) spin->keyTimes.push_back(double(i) / 12);
  spin->timingFunctions.assign(12, gfx::TimingFunction::cubic(1, 0, 1, 0));
  spin->duration = 1;
  spin->repeatCount = HUGE_VALF;
  layer()->addAnimation(spin, SpinAnimationKey);
}

void ActivityIndicatorView::startAnimating() {
  if (m_animating) return;
  m_animating = true;
  setHidden(false);
  addSpin();
}

void ActivityIndicatorView::stopAnimating() {
  if (!m_animating) return;
  m_animating = false;
  layer()->removeAnimation(SpinAnimationKey);
  if (m_hidesWhenStopped) setHidden(true);
}

void ActivityIndicatorView::didMoveToWindow() {
  // Layers keep their animations when moved, but a spinner restarted in a new window should turn.
  if (m_animating && !layer()->animationForKey(SpinAnimationKey)) addSpin();
}

gfx::Size ActivityIndicatorView::sizeThatFits(gfx::Size) const {
  double side = sideForStyle(m_style);
  return {side, side};
}

void ActivityIndicatorView::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  double side = sideForStyle(m_style);
  gfx::Point c = rect.center();
  double outer = side / 2, inner = outer * 0.45;
  double width = m_style == ActivityIndicatorStyle::WhiteLarge ? 3.5 : 2;
  gfx::Color base = color();
  ctx.save();
  ctx.setLineWidth(width);
  ctx.setLineCap(gfx::LineCap::Round);
  for (int i = 0; i < 12; ++i) {
    // Spoke 0 points up and is the brightest; the others fade behind it, counter-clockwise.
    double angle = -std::numbers::pi / 2 + double(i) * std::numbers::pi / 6;
    double fade = 1.0 - double((12 - i) % 12) / 12.0 * 0.85;
    ctx.setStrokeColor(base.withAlpha(base.a() * fade));
    ctx.beginPath();
    ctx.moveTo({c.x + std::cos(angle) * inner, c.y + std::sin(angle) * inner});
    ctx.lineTo({c.x + std::cos(angle) * (outer - width / 2), c.y + std::sin(angle) * (outer - width / 2)});
    ctx.strokePath();
  }
  ctx.restore();
}

}  // namespace ui
