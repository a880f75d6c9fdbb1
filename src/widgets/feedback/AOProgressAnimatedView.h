#pragma once

#include <memory>

#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace gfx {
class Layer;
}

namespace kt {

// A circular ring that starts at 12 o'clock and runs clockwise up to `strokeEnd` of the full
// circle. Its shape layer exists only while the view is inside a parent: it is built on entry
// and dropped on exit. The ring's centre is the centre of the view's bounds, so a view of zero
// size draws the ring around its own origin. Main thread only.
class AOProgressAnimatedView : public ui::View {
 public:
  static std::shared_ptr<AOProgressAnimatedView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<AOProgressAnimatedView>(frame);
  }
  explicit AOProgressAnimatedView(const gfx::Rect& frame = gfx::Rect());
  ~AOProgressAnimatedView() override;

  void willMoveToSuperview(ui::View* newSuperview) override;
  // Builds the layer if needed, adds it to the view's layer and centres it in the bounds.
  void layoutAnimatedLayer();
  // The ring layer, built on first use.
  const std::shared_ptr<gfx::Layer>& ringAnimatedLayer();
  // Lays the layer out again when the frame changes while the view has a parent. (Hides
  // ui::View::setFrame: call it on this type.)
  void setFrame(const gfx::Rect& frame);
  // A new radius rebuilds the layer (at once when the view has a parent); the same one keeps it.
  void setRadius(double radius);
  void setStrokeColor(const gfx::Color& color);
  // Given to the existing layer as its line width; the layer keeps the geometry it was built with.
  void setStrokeThickness(double thickness);
  void setStrokeEnd(double strokeEnd);
  // (2c, 2c) with c = radius + thickness / 2 + 5, whatever size is offered.
  gfx::Size sizeThatFits(gfx::Size size) const override;
  // Sizes the view to sizeThatFits through setFrame above.
  void sizeToFit();

  double radius() const { return m_radius; }
  double strokeThickness() const { return m_strokeThickness; }
  const gfx::Color& strokeColor() const { return m_strokeColor; }
  double strokeEnd() const { return m_strokeEnd; }
  void setRingAnimatedLayer(std::shared_ptr<gfx::Layer> layer) { m_ringAnimatedLayer = std::move(layer); }

 private:
  void dropLayer();

  double m_radius = 0;
  double m_strokeThickness = 0;
  gfx::Color m_strokeColor = gfx::Color::clear();
  double m_strokeEnd = 0;
  std::shared_ptr<gfx::Layer> m_ringAnimatedLayer;
};

}  // namespace kt
