#include "widgets/controls/WGCycleScrollViewCell.h"

#include "platform/ui/ImageView.h"

namespace kt {

WGCycleScrollViewCell::WGCycleScrollViewCell(const gfx::Rect& frame)
    : ui::CollectionViewCell(frame), m_imgV(ui::ImageView::create()) {
  contentView()->addSubview(m_imgV);
}

WGCycleScrollViewCell::~WGCycleScrollViewCell() = default;

void WGCycleScrollViewCell::layoutSubviews() {
  ui::CollectionViewCell::layoutSubviews();
  m_imgV->setFrame(bounds());
}

}  // namespace kt
