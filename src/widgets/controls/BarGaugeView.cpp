#include "widgets/controls/BarGaugeView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/gfx/Context.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Path.h"

namespace kt {

namespace {

// Truncates toward zero after keeping x within [-1, count + 1], so that huge values never
// overflow the integer; NaN becomes 0.
int32_t truncatedIndex(float x, int32_t count) {
  if (std::isnan(x)) return 0;
  const float hi = static_cast<float>(count) + 1.0f;
  x = std::max(-1.0f, std::min(x, hi));
  return static_cast<int32_t>(x);
}

// Each of red, green and blue lowered by 0.3 when above it; alpha kept.
gfx::Color darkened(const gfx::Color& c) {
  auto lower = [](double v) { return v > 0.3 ? v - 0.3 : v; };
  return gfx::Color(lower(c.r()), lower(c.g()), lower(c.b()), c.a());
}

}  // namespace

BarGaugeView::BarGaugeView(const gfx::Rect& frame) : ui::View(frame) { setDefaults(); }

void BarGaugeView::setDefaults() {
  setBackgroundColor(gfx::Color::clear());
  m_flMaxLimit = 9.0f;
  m_flMinLimit = 0.0f;
  m_flValue = 0.0f;
  m_fHoldPeak = false;
  m_iNumBars = 10;
  m_iOffIdx = 0;
  m_iOnIdx = 0;
  m_iPeakBarIdx = -1;
  m_fLitEffect = true;
  m_fReverseDirection = false;
  setWarnThreshold(0.6f);
  setDangerThreshold(0.8f);
  m_clrOuterBorder = gfx::Color::gray();
  m_clrInnerBorder = gfx::Color::black();
  m_clrBackground = gfx::Color::black();
  m_clrNormal = gfx::Color::green();
  m_clrWarning = gfx::Color(1, 1, 0, 1);
  m_clrDanger = gfx::Color::red();
  setClearsContextBeforeDrawing(false);
  setOpaque(false);
}

void BarGaugeView::setValue(float v) {
  m_flValue = v;
  bool changed = false;

  const int32_t on = m_flMinLimit <= v ? 0 : m_iNumBars;
  if (on != m_iOnIdx) {
    m_iOnIdx = on;
    changed = true;
  }

  // Equal limits (or a value that is not a number) scale to nothing: no bar is lit.
  const float range = m_flMaxLimit - m_flMinLimit;
  int32_t off = 0;
  if (range != 0.0f && !std::isnan(v)) {
    const float scaled = (v - m_flMinLimit) / range * static_cast<float>(m_iNumBars);
    off = truncatedIndex(scaled, m_iNumBars);
  }
  if (off != m_iOffIdx) {
    m_iOffIdx = off;
    changed = true;
  }

  // The peak bar is the one just beyond the last lit bar.
  if (m_fHoldPeak && v > m_flPeakValue) {
    m_flPeakValue = v;
    m_iPeakBarIdx = std::min(off, m_iNumBars - 1);
  }

  if (changed) setNeedsDisplay();
}

void BarGaugeView::setWarnThreshold(float threshold) {
  m_flWarnThreshold = threshold;
  m_iWarningBarIdx = threshold > 0 ? truncatedIndex(static_cast<float>(m_iNumBars) * threshold, m_iNumBars) : -1;
}

void BarGaugeView::setDangerThreshold(float threshold) {
  m_flDangerThreshold = threshold;
  m_iDangerBarIdx = threshold > 0 ? truncatedIndex(static_cast<float>(m_iNumBars) * threshold, m_iNumBars) : -1;
}

void BarGaugeView::setNumBars(int32_t count) {
  m_flPeakValue = -std::numeric_limits<float>::infinity();
  m_iNumBars = count;
  setValue(m_flValue);
  setWarnThreshold(m_flWarnThreshold);
  setDangerThreshold(m_flDangerThreshold);
}

void BarGaugeView::resetPeak() {
  m_flPeakValue = -std::numeric_limits<float>::infinity();
  m_iPeakBarIdx = -1;
  setNeedsDisplay();
}

void BarGaugeView::drawRect(gfx::Context& ctx, const gfx::Rect& /*rect*/) {
  const gfx::Rect b = bounds();
  const double x = b.origin.x, y = b.origin.y, w = b.size.width, h = b.size.height;
  const int32_t n = m_iNumBars;
  const bool vertical = h >= w;

  // A whole number of points per bar; none for no bars (or a negative result).
  double step = 0;
  if (n > 0) step = std::trunc((vertical ? h : w) / n);
  if (!(step > 0)) step = 0;
  const double length = step * std::max(n, 0);
  const gfx::Rect gauge = vertical ? gfx::Rect(x, y, w, length) : gfx::Rect(x, y, length, h);
  const gfx::Size barSize = vertical ? gfx::Size{w - 2, step} : gfx::Size{step, h - 2};

  ctx.clearRect(b);
  ctx.setFillColor(m_clrBackground);
  ctx.fillRect(gauge);
  ctx.setStrokeColor(m_clrInnerBorder);
  ctx.setLineWidth(1.0);

  for (int32_t i = 0; i < n; ++i) {
    const double offset = i * step;
    gfx::Point origin;
    if (!m_fReverseDirection) {
      origin = vertical ? gfx::Point{x + 1, gauge.maxY() - (step + offset)} : gfx::Point{gauge.minX() + offset, y + 1};
    } else {
      origin = vertical ? gfx::Point{x + 1, gauge.minY() + offset} : gfx::Point{gauge.maxX() - (step + offset), y + 1};
    }
    const gfx::Rect bar(origin, barSize);
    ctx.strokeRect(bar);

    const gfx::Color* color = &m_clrNormal;
    if (m_iDangerBarIdx >= 0 && i >= m_iDangerBarIdx) color = &m_clrDanger;
    else if (m_iWarningBarIdx >= 0 && i >= m_iWarningBarIdx) color = &m_clrWarning;
    const bool lit = (m_iOnIdx <= i && i < m_iOffIdx) || i == m_iPeakBarIdx;

    ctx.save();
    const gfx::Rect inner = bar.insetBy(1.0, 1.0);
    ctx.clipToPath(gfx::Path::rect(inner), gfx::FillRule::NonZero);
    drawBar(ctx, inner, *color, lit);
    ctx.restore();
  }

  ctx.setStrokeColor(m_clrOuterBorder);
  ctx.setLineWidth(2.0);
  ctx.strokeRect(gauge.insetBy(1.0, 1.0));
}

void BarGaugeView::drawBar(gfx::Context& ctx, const gfx::Rect& rect, const gfx::Color& color, bool lit) {
  if (!lit) {
    ctx.setFillColor(m_clrBackground);
    ctx.fillRect(rect);
    ctx.setFillColor(color.withAlpha(0.2));
    ctx.fillRect(rect);
    return;
  }
  if (!m_fLitEffect) {
    ctx.setFillColor(color);
    ctx.fillRect(rect);
    return;
  }
  const auto gradient = gfx::Gradient::withColors({color, darkened(color)}, {0.0, 0.5});
  if (!gradient) return;
  const gfx::Point centre{rect.midX(), rect.midY()};
  const double radius = std::sqrt(rect.size.width * rect.size.width + rect.size.height * rect.size.height);
  ctx.drawRadialGradient(*gradient, centre, 0, centre, radius, 0);
}

}  // namespace kt
