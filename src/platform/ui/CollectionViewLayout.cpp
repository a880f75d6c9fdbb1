#include "platform/ui/CollectionViewLayout.h"

#include "platform/ui/CollectionView.h"

namespace ui {

void CollectionViewLayout::invalidateLayout() {
  if (m_collectionView) m_collectionView->layoutInvalidated();
}

}  // namespace ui
