#pragma once

#include <memory>

#include "platform/ui/CollectionViewCell.h"

namespace core {
class Value;
}
namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

// One gift in a grid: its picture, name and price between separator lines, with a selection
// picture that stays hidden. Laid out in code for the standard tablet and for the 12.9-inch one.
class GiftCell : public ui::CollectionViewCell {
 public:
  // A cell with its subviews built.
  static std::shared_ptr<GiftCell> create(const gfx::Rect& frame = gfx::Rect());
  explicit GiftCell(const gfx::Rect& frame = gfx::Rect());
  ~GiftCell() override;

  void setupMyCell();
  // Shows a gift: a dictionary with the texts "giftName", "giftPrice" and "giftUrl". A missing
  // name shows nothing, a missing price only the currency sign, a missing address no picture.
  void assignMyCell(const core::Value& gift);

  const std::shared_ptr<ui::ImageView>& imgV_selected() const { return m_imgV_selected; }
  const std::shared_ptr<ui::ImageView>& imgV_photo() const { return m_imgV_photo; }
  const std::shared_ptr<ui::Label>& label_name() const { return m_label_name; }
  const std::shared_ptr<ui::Label>& label_price() const { return m_label_price; }

 private:
  std::shared_ptr<ui::ImageView> m_imgV_selected;
  std::shared_ptr<ui::ImageView> m_imgV_photo;
  std::shared_ptr<ui::Label> m_label_name;
  std::shared_ptr<ui::Label> m_label_price;
};

}  // namespace kt
