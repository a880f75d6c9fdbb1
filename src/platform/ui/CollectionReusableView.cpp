#include "platform/ui/CollectionReusableView.h"

#include "platform/ui/CollectionViewLayout.h"

namespace ui {

CollectionReusableView::CollectionReusableView(const gfx::Rect& frame) : View(frame) {}

CollectionReusableView::~CollectionReusableView() = default;

void CollectionReusableView::prepareForReuse() {
  setAlpha(1);
  setHidden(false);
}

void CollectionReusableView::applyLayoutAttributes(const CollectionViewLayoutAttributes& attributes) {
  setFrame(attributes.frame);
  setAlpha(attributes.alpha);
  setHidden(attributes.hidden);
  layer()->setZPosition(attributes.zIndex);
}

}  // namespace ui
