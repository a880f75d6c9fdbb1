#include "platform/ui/ProgressView.h"

#include <algorithm>

namespace ui {

ProgressView::ProgressView(ProgressViewStyle style) : ProgressView(gfx::Rect(0, 0, 150, Height), style) {}

ProgressView::ProgressView(const gfx::Rect& frame, ProgressViewStyle style)
    : View(gfx::Rect(frame.x(), frame.y(), frame.width(), Height)), m_style(style), m_bar(std::make_shared<View>()) {
  setOpaque(false);
  setUserInteractionEnabled(false);
  setClipsToBounds(true);
  addSubview(m_bar);
  updateColors();
  layoutSubviews();
}

void ProgressView::setProgressViewStyle(ProgressViewStyle style) {
  m_style = style;
  updateColors();
}

void ProgressView::updateColors() {
  setBackgroundColor(trackTintColor());
  m_bar->setBackgroundColor(progressTintColor());
}

gfx::Color ProgressView::trackTintColor() const {
  if (m_trackTint) return *m_trackTint;
  return m_style == ProgressViewStyle::Bar ? gfx::Color::clear() : gfx::Color(0.72, 0.72, 0.72, 1);
}

void ProgressView::setProgressTintColor(std::optional<gfx::Color> color) {
  m_progressTint = color;
  updateColors();
}

void ProgressView::setTrackTintColor(std::optional<gfx::Color> color) {
  m_trackTint = color;
  updateColors();
}

void ProgressView::setProgress(double progress, bool animated) {
  double p = std::clamp(progress, 0.0, 1.0);
  if (p == m_progress) return;
  m_progress = p;
  if (animated) {
    animate(0.25, 0, AnimationBeginFromCurrentState | AnimationAllowUserInteraction, [this] { layoutSubviews(); });
  } else {
    performWithoutAnimation([this] { layoutSubviews(); });
  }
}

gfx::Rect ProgressView::barRect() const {
  gfx::Rect b = bounds();
  return gfx::Rect(b.x(), b.y(), b.width() * m_progress, b.height());
}

gfx::Size ProgressView::sizeThatFits(gfx::Size size) const { return {size.width, Height}; }

void ProgressView::layoutSubviews() { m_bar->setFrame(barRect()); }

}  // namespace ui
