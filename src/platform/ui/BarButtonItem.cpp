#include "platform/ui/BarButtonItem.h"

namespace ui {

std::shared_ptr<BarButtonItem> BarButtonItem::flexibleSpace() {
  return std::shared_ptr<BarButtonItem>(new BarButtonItem(Kind::FlexibleSpace, 0));
}

std::shared_ptr<BarButtonItem> BarButtonItem::fixedSpace(double width) {
  return std::shared_ptr<BarButtonItem>(new BarButtonItem(Kind::FixedSpace, width));
}

void BarButtonItem::setTitle(std::optional<std::string> title) {
  m_title = std::move(title);
  changed();
}

void BarButtonItem::setImage(ImagePtr image) {
  m_image = std::move(image);
  changed();
}

void BarButtonItem::setStyle(BarButtonItemStyle style) {
  m_style = style;
  changed();
}

void BarButtonItem::setWidth(double width) {
  m_width = width;
  changed();
}

void BarButtonItem::setEnabled(bool enabled) {
  m_enabled = enabled;
  changed();
}

void BarButtonItem::setTintColor(std::optional<gfx::Color> color) {
  m_tintColor = std::move(color);
  changed();
}

}  // namespace ui
