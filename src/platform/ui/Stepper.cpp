#include "platform/ui/Stepper.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Touch.h"

namespace ui {

Stepper::Stepper(const gfx::Rect& frame) : Control(gfx::Rect(frame.x(), frame.y(), Width, Height)) {}

Stepper::~Stepper() { stopRepeating(); }

void Stepper::setValue(double value) {
  double v = std::clamp(value, m_minimum, m_maximum);
  if (v == m_value) return;
  m_value = v;
  setNeedsDisplay();
}

void Stepper::setMinimumValue(double minimum) {
  m_minimum = minimum;
  if (m_maximum < m_minimum) m_maximum = m_minimum;
  m_value = std::clamp(m_value, m_minimum, m_maximum);
  setNeedsDisplay();
}

void Stepper::setMaximumValue(double maximum) {
  m_maximum = maximum;
  if (m_minimum > m_maximum) m_minimum = m_maximum;
  m_value = std::clamp(m_value, m_minimum, m_maximum);
  setNeedsDisplay();
}

void Stepper::setStepValue(double step) {
  if (step > 0) m_step = step;
}

bool Stepper::step() {
  double old = m_value;
  double v = m_value + m_direction * m_step;
  if (v > m_maximum) v = m_wraps ? m_minimum : m_maximum;
  if (v < m_minimum) v = m_wraps ? m_maximum : m_minimum;
  m_value = v;
  if (m_value == old) return false;
  setNeedsDisplay();
  return true;
}

bool Stepper::beginTracking(const Touch& touch, const Event* event) {
  m_direction = touch.locationInView(this).x < bounds().midX() ? -1 : 1;
  if ((m_direction < 0 && !canDecrement()) || (m_direction > 0 && !canIncrement())) {
    m_direction = 0;
    return false;
  }
  m_changedWhileTracking = step();
  if (m_changedWhileTracking && m_continuous) sendActionsForControlEvents(ControlEventValueChanged, event);
  if (m_autorepeat) {
    std::weak_ptr<Responder> weak = weak_from_this();
    m_repeatTimer = core::Timer::createWithFireDate(core::Clock::now() + AutorepeatDelay, AutorepeatInterval, true,
                                                    [this, weak](core::Timer&) {
                                                      auto keep = weak.lock();
                                                      if (!keep || m_direction == 0) return;
                                                      if (step()) {
                                                        m_changedWhileTracking = true;
                                                        if (m_continuous) sendActionsForControlEvents(ControlEventValueChanged);
                                                      }
                                                    });
    core::RunLoop::main().addTimer(m_repeatTimer, core::RunLoop::CommonModes);
  }
  return true;
}

void Stepper::stopRepeating() {
  if (m_repeatTimer) m_repeatTimer->invalidate();
  m_repeatTimer.reset();
}

void Stepper::endTracking(const Touch*, const Event* event) {
  stopRepeating();
  bool changed = m_changedWhileTracking;
  m_direction = 0;
  m_changedWhileTracking = false;
  setNeedsDisplay();
  if (changed && !m_continuous) sendActionsForControlEvents(ControlEventValueChanged, event);
}

void Stepper::cancelTracking(const Event* event) { endTracking(nullptr, event); }

gfx::Size Stepper::sizeThatFits(gfx::Size) const { return {Width, Height}; }

void Stepper::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  gfx::Color tint = tintColor();
  gfx::Color off = tint.withAlpha(tint.a() * 0.3);
  gfx::Rect outline = rect.insetBy(0.5, 0.5);
  double mid = rect.midX();
  ctx.save();
  // The pressed half is filled lightly.
  if (m_direction != 0) {
    ctx.save();
    ctx.clipToPath(gfx::Path::roundedRect(outline, 4), gfx::FillRule::NonZero);
    ctx.setFillColor(tint.withAlpha(0.15));
    ctx.fillRect(m_direction < 0 ? gfx::Rect(rect.x(), rect.y(), mid - rect.x(), rect.height())
                                 : gfx::Rect(mid, rect.y(), rect.maxX() - mid, rect.height()));
    ctx.restore();
  }
  ctx.setStrokeColor(isEnabled() ? tint : off);
  ctx.setLineWidth(1);
  ctx.stroke(gfx::Path::roundedRect(outline, 4));
  ctx.beginPath();
  ctx.moveTo({mid, rect.y()});
  ctx.lineTo({mid, rect.maxY()});
  ctx.strokePath();
  // Minus and plus glyphs.
  double cy = rect.midY(), arm = 7;
  double lx = rect.x() + (mid - rect.x()) / 2, rx = mid + (rect.maxX() - mid) / 2;
  ctx.setLineWidth(1.5);
  ctx.setStrokeColor(isEnabled() && canDecrement() ? tint : off);
  ctx.beginPath();
  ctx.moveTo({lx - arm, cy});
  ctx.lineTo({lx + arm, cy});
  ctx.strokePath();
  ctx.setStrokeColor(isEnabled() && canIncrement() ? tint : off);
  ctx.beginPath();
  ctx.moveTo({rx - arm, cy});
  ctx.lineTo({rx + arm, cy});
  ctx.moveTo({rx, cy - arm});
  ctx.lineTo({rx, cy + arm});
  ctx.strokePath();
  ctx.restore();
}

}  // namespace ui
