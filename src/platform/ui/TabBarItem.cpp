#include "platform/ui/TabBarItem.h"

namespace ui {

void TabBarItem::setTitle(std::optional<std::string> title) {
  m_title = std::move(title);
  changed();
}

void TabBarItem::setImage(ImagePtr image) {
  m_image = std::move(image);
  changed();
}

void TabBarItem::setSelectedImage(ImagePtr image) {
  m_selectedImage = std::move(image);
  changed();
}

void TabBarItem::setBadgeValue(std::optional<std::string> badge) {
  m_badgeValue = std::move(badge);
  changed();
}

void TabBarItem::setEnabled(bool enabled) {
  m_enabled = enabled;
  changed();
}

}  // namespace ui
