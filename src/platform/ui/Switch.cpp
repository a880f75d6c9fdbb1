#include "platform/ui/Switch.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Touch.h"

namespace ui {
namespace {
constexpr double ThumbInset = 2;
}

Switch::Switch(const gfx::Rect& frame)
    : Control(gfx::Rect(frame.x(), frame.y(), Width, Height)), m_thumb(std::make_shared<View>()) {
  m_thumb->setUserInteractionEnabled(false);
  m_thumb->setBackgroundColor(thumbTintColor());
  double side = Height - 2 * ThumbInset;
  m_thumb->layer()->setCornerRadius(side / 2);
  m_thumb->layer()->setShadowOpacity(0.25);
  m_thumb->layer()->setShadowRadius(1.5);
  m_thumb->layer()->setShadowOffset(gfx::Size{0, 2});
  addSubview(m_thumb);
  m_thumb->setFrame(thumbRect());
}

void Switch::setOn(bool on, bool animated) {
  if (m_on == on) return;
  m_on = on;
  setNeedsDisplay();
  if (animated) {
    animate(0.25, 0, AnimationBeginFromCurrentState | AnimationAllowUserInteraction,
            [this] { m_thumb->setFrame(thumbRect()); });
  } else {
    performWithoutAnimation([this] { m_thumb->setFrame(thumbRect()); });
  }
}

void Switch::setOnTintColor(std::optional<gfx::Color> color) {
  m_onTint = color;
  setNeedsDisplay();
}

void Switch::setThumbTintColor(std::optional<gfx::Color> color) {
  m_thumbTint = color;
  m_thumb->setBackgroundColor(thumbTintColor());
}

void Switch::setTintColorOff(std::optional<gfx::Color> color) {
  m_offTint = color;
  setNeedsDisplay();
}

gfx::Rect Switch::thumbRect() const {
  gfx::Rect b = bounds();
  double side = b.height() - 2 * ThumbInset;
  double x = m_on ? b.maxX() - ThumbInset - side : b.x() + ThumbInset;
  return gfx::Rect(x, b.y() + ThumbInset, side, side);
}

gfx::Size Switch::sizeThatFits(gfx::Size) const { return {Width, Height}; }

void Switch::layoutSubviews() {
  if (!m_thumb->layer()->hasRunningAnimations()) m_thumb->setFrame(thumbRect());
}

void Switch::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  gfx::Rect track = rect.insetBy(0.5, 0.5);
  gfx::Path shape = gfx::Path::roundedRect(track, track.height() / 2);
  ctx.save();
  if (m_on) {
    ctx.setFillColor(onTintColor());
    ctx.fill(shape);
  } else {
    ctx.setFillColor(gfx::Color::whiteColor());
    ctx.fill(shape);
    ctx.setStrokeColor(tintColorOff());
    ctx.setLineWidth(1.5);
    ctx.stroke(shape);
  }
  ctx.restore();
}

void Switch::endTracking(const Touch* touch, const Event* event) {
  if (!touch || !isInsideTrackingArea(touch->locationInView(this))) return;
  setOn(!m_on, true);
  sendActionsForControlEvents(ControlEventValueChanged, event);
}

}  // namespace ui
