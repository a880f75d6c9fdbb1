#pragma once

#include <memory>
#include <string>

#include "platform/ui/TableViewCell.h"

namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

// One option row of the dish popover: a check mark and the option's text.
class FoodAddInfoCell : public ui::TableViewCell {
 public:
  static constexpr const char* Identifier = "FoodAddInfoCell";
  static constexpr double RowHeight = 40;

  explicit FoodAddInfoCell(const std::string& reuseIdentifier = Identifier);

  const std::shared_ptr<ui::Label>& lblName() const { return m_lblName; }
  const std::shared_ptr<ui::ImageView>& selectedImage() const { return m_selectedImage; }

 private:
  std::shared_ptr<ui::Label> m_lblName;
  std::shared_ptr<ui::ImageView> m_selectedImage;
};

}  // namespace kt
