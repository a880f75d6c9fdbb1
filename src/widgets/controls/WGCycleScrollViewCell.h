#pragma once

#include <memory>

#include "platform/ui/CollectionViewCell.h"

namespace ui {
class ImageView;
}

namespace kt {

// One picture of a banner carousel: an image view over the cell's whole bounds.
class WGCycleScrollViewCell : public ui::CollectionViewCell {
 public:
  explicit WGCycleScrollViewCell(const gfx::Rect& frame = gfx::Rect());
  ~WGCycleScrollViewCell() override;

  const std::shared_ptr<ui::ImageView>& imgV() const { return m_imgV; }

  void layoutSubviews() override;

 private:
  std::shared_ptr<ui::ImageView> m_imgV;
};

}  // namespace kt
