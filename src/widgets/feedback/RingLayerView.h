#pragma once

#include <memory>

#include "platform/gfx/Color.h"
#include "platform/gfx/Path.h"
#include "platform/ui/View.h"

namespace gfx {
class Layer;
}

namespace kt {

// What the spinner ring and the progress ring share: a round-capped shape layer of side 2c
// (c = radius + thickness / 2 + 5) centred in the bounds, which exists only while the view is
// inside a parent (built on entry, dropped on exit). Subclasses say how the layer is built.
// Main thread only.
class RingLayerView : public ui::View {
 public:
  explicit RingLayerView(const gfx::Rect& frame = gfx::Rect()) : ui::View(frame) {}

  void willMoveToSuperview(ui::View* newSuperview) override;
  // Builds the layer if needed, adds it to the view's layer and centres it in the bounds.
  void layoutAnimatedLayer();
  // Lays the layer out again when the frame changes while the view has a parent.
  void setFrame(const gfx::Rect& frame) override;
  // A new radius rebuilds the layer (at once when the view has a parent); the same one keeps it.
  void setRadius(double radius);
  void setStrokeColor(const gfx::Color& color);
  // Given to the existing layer as its line width; the layer keeps the geometry it was built with.
  void setStrokeThickness(double thickness);
  // (2c, 2c), whatever size is offered.
  gfx::Size sizeThatFits(gfx::Size size) const override;
  // Sizes the view to sizeThatFits through setFrame above.
  void sizeToFit();

  double radius() const { return m_radius; }
  double strokeThickness() const { return m_strokeThickness; }
  const gfx::Color& strokeColor() const { return m_strokeColor; }

 protected:
  // The layer, built with buildRingLayer on first use.
  const std::shared_ptr<gfx::Layer>& ringLayer();
  // The layer as it is now (null when not built).
  const std::shared_ptr<gfx::Layer>& currentRingLayer() const { return m_ringLayer; }
  void setRingLayer(std::shared_ptr<gfx::Layer> layer) { m_ringLayer = std::move(layer); }

  virtual std::shared_ptr<gfx::Layer> buildRingLayer() = 0;
  // Half the layer's side: radius + thickness / 2 + 5.
  double ringHalfSide() const { return m_radius + m_strokeThickness / 2 + 5; }
  // The shape layer stroking `path` in the view's colour and thickness, unfilled, with round caps
  // and bevel joins. Call inside a transaction with actions disabled.
  std::shared_ptr<gfx::Layer> makeShapeLayer(gfx::Path path) const;

 private:
  void dropLayer();

  double m_radius = 0;
  double m_strokeThickness = 0;
  gfx::Color m_strokeColor = gfx::Color::clear();
  std::shared_ptr<gfx::Layer> m_ringLayer;
};

}  // namespace kt
