#pragma once

#include <memory>

#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace gfx {
class Layer;
}

namespace kt {

// The flat spinner: a ring whose stroke window slides along a doubled circle while a mask image
// turns over it once a second, for ever. The shape layer (with its mask and animations) exists
// only while the view is inside a parent; it starts turning the moment it is built. There is no
// start or stop. Main thread only.
class AOIndefiniteAnimatedView : public ui::View {
 public:
  // Animation keys on the shape layer ("progress") and on its mask ("rotate").
  static constexpr const char* ProgressAnimationKey = "progress";
  static constexpr const char* RotateAnimationKey = "rotate";

  static std::shared_ptr<AOIndefiniteAnimatedView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<AOIndefiniteAnimatedView>(frame);
  }
  explicit AOIndefiniteAnimatedView(const gfx::Rect& frame = gfx::Rect());
  ~AOIndefiniteAnimatedView() override;

  void willMoveToSuperview(ui::View* newSuperview) override;
  // Builds the layer if needed, adds it to the view's layer and centres it in the bounds.
  void layoutAnimatedLayer();
  // The spinning layer, built (and started) on first use.
  const std::shared_ptr<gfx::Layer>& indefiniteAnimatedLayer();
  // Lays the layer out again when the frame changes while the view has a parent. (Hides
  // ui::View::setFrame: call it on this type.)
  void setFrame(const gfx::Rect& frame);
  // A new radius rebuilds the layer (at once when the view has a parent, restarting its
  // animations); the same one keeps it running.
  void setRadius(double radius);
  void setStrokeColor(const gfx::Color& color);
  // Given to the existing layer as its line width; the layer keeps the geometry it was built with.
  void setStrokeThickness(double thickness);
  // (2c, 2c) with c = radius + thickness / 2 + 5, whatever size is offered.
  gfx::Size sizeThatFits(gfx::Size size) const override;
  // Sizes the view to sizeThatFits through setFrame above.
  void sizeToFit();

  double strokeThickness() const { return m_strokeThickness; }
  double radius() const { return m_radius; }
  const gfx::Color& strokeColor() const { return m_strokeColor; }
  void setIndefiniteAnimatedLayer(std::shared_ptr<gfx::Layer> layer) { m_indefiniteAnimatedLayer = std::move(layer); }

 private:
  void dropLayer();

  double m_strokeThickness = 0;
  double m_radius = 0;
  gfx::Color m_strokeColor = gfx::Color::clear();
  std::shared_ptr<gfx::Layer> m_indefiniteAnimatedLayer;
};

}  // namespace kt
