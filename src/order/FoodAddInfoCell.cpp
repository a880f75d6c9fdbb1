#include "order/FoodAddInfoCell.h"

#include "platform/gfx/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace kt {

FoodAddInfoCell::FoodAddInfoCell(const std::string& reuseIdentifier)
    : ui::TableViewCell(ui::TableViewCellStyle::Default, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
  contentView()->setBackgroundColor(gfx::Color::clear());
  m_selectedImage = ui::ImageView::create(gfx::Rect{10, 8, 24, 24});
  contentView()->addSubview(m_selectedImage);
  m_lblName = ui::Label::create(gfx::Rect{44, 0, 236, RowHeight});
  m_lblName->setFont(gfx::Font::systemFont(16));
  m_lblName->setTextColor(gfx::Color::whiteColor());
  contentView()->addSubview(m_lblName);
}

}  // namespace kt
