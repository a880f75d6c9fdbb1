#include "widgets/feedback/PORoundProgressView.h"

#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Path.h"

namespace kt {

PORoundProgressView::PORoundProgressView(const gfx::Rect& frame) : ui::View(frame) {
  setBackgroundColor(gfx::Color::clear());
  setOpaque(false);
}

void PORoundProgressView::setProgress(float progress) {
  m_progress = progress;
  setNeedsDisplay();
}

void PORoundProgressView::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  (void)rect;
  const gfx::Rect all = bounds();
  const double w = all.size.width, h = all.size.height;

  // The disc and its rim.
  const gfx::Rect circle(all.origin.x + 2, all.origin.y + 2, w - 4, h - 4);
  ctx.setFillColor(gfx::Color(1, 1, 1, 0.1));
  ctx.setStrokeColor(gfx::Color(1, 1, 1, 1));
  ctx.setLineWidth(2);
  ctx.fillEllipse(circle);
  ctx.strokeEllipse(circle);

  // The slice. Out-of-range values would wrap round the circle: a negative one would draw almost
  // all of it, so the value is held within 0..1 (not a number counts as nothing done).
  float done = m_progress;
  if (!(done > 0)) done = 0;
  if (done > 1) done = 1;
  if (done <= 0) return;
  const gfx::Point centre{w / 2, h / 2};
  const double radius = (w - 4) / 2;
  const double start = -M_PI / 2;
  gfx::Path pie;
  pie.moveTo(centre);
  pie.addArc(centre, radius, start, start + done * 2 * M_PI, true);
  pie.close();
  ctx.setFillColor(gfx::Color(1, 1, 1, 1));
  ctx.fill(pie);
}

}  // namespace kt
