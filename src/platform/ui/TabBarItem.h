#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace gfx {
class Image;
}

namespace ui {

// One entry of a tab bar: title, images, tag and badge. The bar showing it refreshes on changes.
class TabBarItem {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;
  TabBarItem() = default;
  TabBarItem(std::optional<std::string> title, ImagePtr image, int tag = 0)
      : m_title(std::move(title)), m_image(std::move(image)), m_tag(tag) {}
  TabBarItem(std::optional<std::string> title, ImagePtr image, ImagePtr selectedImage)
      : m_title(std::move(title)), m_image(std::move(image)), m_selectedImage(std::move(selectedImage)) {}

  const std::optional<std::string>& title() const { return m_title; }
  void setTitle(std::optional<std::string> title);
  const ImagePtr& image() const { return m_image; }
  void setImage(ImagePtr image);
  // The image shown while the item is selected; the plain image when unset.
  const ImagePtr& selectedImage() const { return m_selectedImage ? m_selectedImage : m_image; }
  void setSelectedImage(ImagePtr image);
  int tag() const { return m_tag; }
  void setTag(int tag) { m_tag = tag; }
  // Shown in a red mark at the item's top right; none when unset.
  const std::optional<std::string>& badgeValue() const { return m_badgeValue; }
  void setBadgeValue(std::optional<std::string> badge);
  bool isEnabled() const { return m_enabled; }
  void setEnabled(bool enabled);

  // Set by the tab bar that shows the item.
  void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

 private:
  void changed() {
    if (m_changed) m_changed();
  }
  std::optional<std::string> m_title;
  ImagePtr m_image;
  ImagePtr m_selectedImage;
  int m_tag = 0;
  std::optional<std::string> m_badgeValue;
  bool m_enabled = true;
  std::function<void()> m_changed;
};

}  // namespace ui
