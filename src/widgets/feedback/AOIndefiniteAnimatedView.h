#pragma once

#include <memory>

#include "widgets/feedback/RingLayerView.h"

namespace gfx {
class Layer;
}

namespace kt {

// The flat spinner: a ring whose stroke window slides along a doubled circle while a mask image
// turns over it once a second, for ever. The shape layer (with its mask and animations) exists
// only while the view is inside a parent; it starts turning the moment it is built. There is no
// start or stop. Main thread only.
class AOIndefiniteAnimatedView : public RingLayerView {
 public:
  // Animation keys on the shape layer ("progress") and on its mask ("rotate").
  static constexpr const char* ProgressAnimationKey = "progress";
  static constexpr const char* RotateAnimationKey = "rotate";

  static std::shared_ptr<AOIndefiniteAnimatedView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<AOIndefiniteAnimatedView>(frame);
  }
  explicit AOIndefiniteAnimatedView(const gfx::Rect& frame = gfx::Rect());
  ~AOIndefiniteAnimatedView() override;

  // The spinning layer, built (and started) on first use. A new radius rebuilds it, restarting
  // its animations; the same one keeps it running.
  const std::shared_ptr<gfx::Layer>& indefiniteAnimatedLayer() { return ringLayer(); }
  void setIndefiniteAnimatedLayer(std::shared_ptr<gfx::Layer> layer) { setRingLayer(std::move(layer)); }

 protected:
  std::shared_ptr<gfx::Layer> buildRingLayer() override;
};

}  // namespace kt
