#include "widgets/feedback/AOProgressAnimatedView.h"

#include <cmath>

#include "platform/gfx/Layer.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Screen.h"

namespace kt {

AOProgressAnimatedView::AOProgressAnimatedView(const gfx::Rect& frame) : RingLayerView(frame) {}

AOProgressAnimatedView::~AOProgressAnimatedView() = default;

std::shared_ptr<gfx::Layer> AOProgressAnimatedView::buildRingLayer() {
  const double c = ringHalfSide();
  // One full turn that starts at the top.
  gfx::Path path = gfx::Path::arc(gfx::Point{c, c}, radius(), -M_PI / 2, 3 * M_PI / 2, true);

  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  auto ring = makeShapeLayer(std::move(path));
  // The stroke end stays the layer's own (the whole path) until the next setStrokeEnd.
  gfx::Transaction::commit();
  return ring;
}

void AOProgressAnimatedView::setStrokeEnd(double strokeEnd) {
  m_strokeEnd = strokeEnd;
  // Outside any transaction the change animates, as the platform animates a shape layer's stroke.
  if (const auto& ring = currentRingLayer()) ring->setStrokeEnd(strokeEnd);
}

}  // namespace kt
