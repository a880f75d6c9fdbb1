#pragma once

#include <memory>

#include "platform/gfx/Geometry.h"
#include "platform/gfx/Layer.h"

namespace kt {

// The backdrop of the progress overlay's gradient mask: clear at `gradientCenter`, darkening
// outward to black at 75 % at the distance of the smaller side of the bounds, and black at 75 %
// beyond. It redraws when asked (setNeedsDisplay).
class AORadialGradientLayer : public gfx::Layer {
 public:
  static std::shared_ptr<AORadialGradientLayer> create() { return std::make_shared<AORadialGradientLayer>(); }
  AORadialGradientLayer() = default;

  void drawInContext(gfx::Context& ctx) override;

  gfx::Point gradientCenter() const { return m_gradientCenter; }
  void setGradientCenter(gfx::Point center) { m_gradientCenter = center; }

 private:
  gfx::Point m_gradientCenter;
};

}  // namespace kt
