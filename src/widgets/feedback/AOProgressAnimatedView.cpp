#include "widgets/feedback/AOProgressAnimatedView.h"

#include <cmath>

#include "platform/gfx/Layer.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Screen.h"

namespace kt {

AOProgressAnimatedView::AOProgressAnimatedView(const gfx::Rect& frame) : ui::View(frame) {}

AOProgressAnimatedView::~AOProgressAnimatedView() = default;

void AOProgressAnimatedView::willMoveToSuperview(ui::View* newSuperview) {
  if (newSuperview) {
    layoutAnimatedLayer();
  } else {
    dropLayer();
  }
}

void AOProgressAnimatedView::layoutAnimatedLayer() {
  const auto& ring = ringAnimatedLayer();
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

const std::shared_ptr<gfx::Layer>& AOProgressAnimatedView::ringAnimatedLayer() {
  if (m_ringAnimatedLayer) return m_ringAnimatedLayer;
  const double c = m_radius + m_strokeThickness / 2 + 5;
  // One full turn that starts at the top.
  gfx::Path path = gfx::Path::arc(gfx::Point{c, c}, m_radius, -M_PI / 2, 3 * M_PI / 2, true);

  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  auto ring = gfx::Layer::create(gfx::LayerKind::Shape);
  ring->setContentsScale(ui::Screen::main().scale());
  ring->setFrame(gfx::Rect(0, 0, 2 * c, 2 * c));
  ring->setFillColor(gfx::Color::clear());
  ring->setStrokeColor(m_strokeColor);
  ring->setLineWidth(m_strokeThickness);
  ring->setLineCap(gfx::LineCap::Round);
  ring->setLineJoin(gfx::LineJoin::Bevel);
  ring->setPath(std::move(path));
  // The stroke end stays the layer's own (the whole path) until the next setStrokeEnd.
  gfx::Transaction::commit();
  m_ringAnimatedLayer = std::move(ring);
  return m_ringAnimatedLayer;
}

void AOProgressAnimatedView::setFrame(const gfx::Rect& frame) {
  if (frame == this->frame()) return;
  ui::View::setFrame(frame);
  if (superview()) layoutAnimatedLayer();
}

void AOProgressAnimatedView::setRadius(double radius) {
  if (radius == m_radius) return;
  m_radius = radius;
  dropLayer();
  if (superview()) layoutAnimatedLayer();
}

void AOProgressAnimatedView::setStrokeColor(const gfx::Color& color) {
  m_strokeColor = color;
  if (m_ringAnimatedLayer) m_ringAnimatedLayer->setStrokeColor(color);
}

void AOProgressAnimatedView::setStrokeThickness(double thickness) {
  m_strokeThickness = thickness;
  if (m_ringAnimatedLayer) m_ringAnimatedLayer->setLineWidth(thickness);
}

void AOProgressAnimatedView::setStrokeEnd(double strokeEnd) {
  m_strokeEnd = strokeEnd;
  // Outside any transaction the change animates, as the platform animates a shape layer's stroke.
  if (m_ringAnimatedLayer) m_ringAnimatedLayer->setStrokeEnd(strokeEnd);
}

gfx::Size AOProgressAnimatedView::sizeThatFits(gfx::Size) const {
  const double c = m_radius + m_strokeThickness / 2 + 5;
  return gfx::Size{2 * c, 2 * c};
}

void AOProgressAnimatedView::sizeToFit() {
  const gfx::Rect f = frame();
  setFrame(gfx::Rect(f.origin, sizeThatFits(f.size)));
}

void AOProgressAnimatedView::dropLayer() {
  if (!m_ringAnimatedLayer) return;
  m_ringAnimatedLayer->removeFromSuperlayer();
  m_ringAnimatedLayer.reset();
}

}  // namespace kt
