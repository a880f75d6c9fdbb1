#include "widgets/feedback/AORadialGradientLayer.h"

#include <algorithm>

#include "platform/gfx/Context.h"
#include "platform/gfx/Gradient.h"

namespace kt {

void AORadialGradientLayer::drawInContext(gfx::Context& ctx) {
  // Black, from clear at the centre to 75 % at the end circle and beyond.
  static const double components[] = {0, 0, 0, 0, 0, 0, 0, 0.75};
  static const double locations[] = {0, 1};
  auto gradient = gfx::Gradient::withComponents(components, locations, 2);
  if (!gradient) return;
  const float radius = static_cast<float>(std::min(bounds().width(), bounds().height()));
  ctx.drawRadialGradient(*gradient, m_gradientCenter, 0, m_gradientCenter, radius, gfx::GradientDrawsAfterEnd);
}

}  // namespace kt
