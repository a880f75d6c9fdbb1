#pragma once

#include <memory>

#include "widgets/feedback/RingLayerView.h"

namespace gfx {
class Layer;
}

namespace kt {

// A circular ring that starts at 12 o'clock and runs clockwise up to `strokeEnd` of the full
// circle. Its shape layer exists only while the view is inside a parent: it is built on entry
// and dropped on exit. The ring's centre is the centre of the view's bounds, so a view of zero
// size draws the ring around its own origin. Main thread only.
class AOProgressAnimatedView : public RingLayerView {
 public:
  static std::shared_ptr<AOProgressAnimatedView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<AOProgressAnimatedView>(frame);
  }
  explicit AOProgressAnimatedView(const gfx::Rect& frame = gfx::Rect());
  ~AOProgressAnimatedView() override;

  // The ring layer, built on first use.
  const std::shared_ptr<gfx::Layer>& ringAnimatedLayer() { return ringLayer(); }
  void setRingAnimatedLayer(std::shared_ptr<gfx::Layer> layer) { setRingLayer(std::move(layer)); }
  void setStrokeEnd(double strokeEnd);
  double strokeEnd() const { return m_strokeEnd; }

 protected:
  std::shared_ptr<gfx::Layer> buildRingLayer() override;

 private:
  double m_strokeEnd = 0;
};

}  // namespace kt
