#include "widgets/feedback/RingLayerView.h"

#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Screen.h"

namespace kt {

void RingLayerView::willMoveToSuperview(ui::View* newSuperview) {
  if (newSuperview) {
    layoutAnimatedLayer();
  } else {
    dropLayer();
  }
}

void RingLayerView::layoutAnimatedLayer() {
  const auto& ring = ringLayer();
  // Placing the ring is not a change to animate.
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  if (ring->superlayer() != layer().get()) layer()->addSublayer(ring);
  const gfx::Size outer = bounds().size;
  const gfx::Size inner = ring->bounds().size;
  ring->setPosition(gfx::Point{outer.width - inner.width / 2 - (outer.width - inner.width) / 2,
                               outer.height - inner.height / 2 - (outer.height - inner.height) / 2});
  gfx::Transaction::commit();
}

const std::shared_ptr<gfx::Layer>& RingLayerView::ringLayer() {
  if (!m_ringLayer) m_ringLayer = buildRingLayer();
  return m_ringLayer;
}

std::shared_ptr<gfx::Layer> RingLayerView::makeShapeLayer(gfx::Path path) const {
  const double c = ringHalfSide();
  auto ring = gfx::Layer::create(gfx::LayerKind::Shape);
  ring->setContentsScale(ui::Screen::main().drawingScale());
  ring->setFrame(gfx::Rect(0, 0, 2 * c, 2 * c));
  ring->setFillColor(gfx::Color::clear());
  ring->setStrokeColor(m_strokeColor);
  ring->setLineWidth(m_strokeThickness);
  ring->setLineCap(gfx::LineCap::Round);
  ring->setLineJoin(gfx::LineJoin::Bevel);
  ring->setPath(std::move(path));
  return ring;
}

void RingLayerView::setFrame(const gfx::Rect& frame) {
  if (frame == this->frame()) return;
  ui::View::setFrame(frame);
  if (superview()) layoutAnimatedLayer();
}

void RingLayerView::setRadius(double radius) {
  if (radius == m_radius) return;
  m_radius = radius;
  dropLayer();
  if (superview()) layoutAnimatedLayer();
}

void RingLayerView::setStrokeColor(const gfx::Color& color) {
  m_strokeColor = color;
  if (m_ringLayer) m_ringLayer->setStrokeColor(color);
}

void RingLayerView::setStrokeThickness(double thickness) {
  m_strokeThickness = thickness;
  if (m_ringLayer) m_ringLayer->setLineWidth(thickness);
}

gfx::Size RingLayerView::sizeThatFits(gfx::Size) const {
  const double c = ringHalfSide();
  return gfx::Size{2 * c, 2 * c};
}

void RingLayerView::sizeToFit() {
  const gfx::Rect f = frame();
  setFrame(gfx::Rect(f.origin, sizeThatFits(f.size)));
}

void RingLayerView::dropLayer() {
  if (!m_ringLayer) return;
  m_ringLayer->removeFromSuperlayer();
  m_ringLayer.reset();
}

}  // namespace kt
