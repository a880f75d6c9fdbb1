#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Control.h"

namespace gfx {
class Image;
}

namespace ui {

class ImageView;
class Label;

enum class ButtonType { Custom = 0, System = 1 };

// A control with a title, an image and a background image per state. The title and the image sit
// side by side (image first) in the content rectangle, centred unless the content alignments say
// otherwise; the background image fills the bounds. A value missing for the current state is
// taken from the normal state.
class Button : public Control {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;

  static std::shared_ptr<Button> create(ButtonType type = ButtonType::Custom, const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<Button>(type, frame);
  }
  explicit Button(ButtonType type = ButtonType::Custom, const gfx::Rect& frame = gfx::Rect());

  ButtonType buttonType() const { return m_type; }

  void setTitle(std::optional<std::string> title, unsigned state = ControlStateNormal);
  std::optional<std::string> titleForState(unsigned state) const;
  void setTitleColor(std::optional<gfx::Color> color, unsigned state = ControlStateNormal);
  gfx::Color titleColorForState(unsigned state) const;
  void setTitleShadowColor(std::optional<gfx::Color> color, unsigned state = ControlStateNormal);
  std::optional<gfx::Color> titleShadowColorForState(unsigned state) const;
  void setImage(ImagePtr image, unsigned state = ControlStateNormal);
  ImagePtr imageForState(unsigned state) const;
  void setBackgroundImage(ImagePtr image, unsigned state = ControlStateNormal);
  ImagePtr backgroundImageForState(unsigned state) const;

  std::optional<std::string> currentTitle() const { return titleForState(state()); }
  gfx::Color currentTitleColor() const { return titleColorForState(state()); }
  std::optional<gfx::Color> currentTitleShadowColor() const { return titleShadowColorForState(state()); }
  ImagePtr currentImage() const { return imageForState(state()); }
  ImagePtr currentBackgroundImage() const { return backgroundImageForState(state()); }

  const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
  const std::shared_ptr<ImageView>& imageView() const { return m_imageView; }

  gfx::EdgeInsets contentEdgeInsets() const { return m_contentInsets; }
  void setContentEdgeInsets(gfx::EdgeInsets insets);
  gfx::EdgeInsets titleEdgeInsets() const { return m_titleInsets; }
  void setTitleEdgeInsets(gfx::EdgeInsets insets);
  gfx::EdgeInsets imageEdgeInsets() const { return m_imageInsets; }
  void setImageEdgeInsets(gfx::EdgeInsets insets);

  bool adjustsImageWhenHighlighted() const { return m_adjustsWhenHighlighted; }
  void setAdjustsImageWhenHighlighted(bool on);
  bool adjustsImageWhenDisabled() const { return m_adjustsWhenDisabled; }
  void setAdjustsImageWhenDisabled(bool on);
  bool showsTouchWhenHighlighted() const { return m_showsTouch; }
  void setShowsTouchWhenHighlighted(bool on);

  gfx::Rect backgroundRectForBounds(const gfx::Rect& bounds) const { return bounds; }
  gfx::Rect contentRectForBounds(const gfx::Rect& bounds) const { return bounds.insetBy(m_contentInsets); }
  gfx::Rect titleRectForContentRect(const gfx::Rect& content) const;
  gfx::Rect imageRectForContentRect(const gfx::Rect& content) const;

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void layoutSubviews() override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  // System buttons take their colours from the tint of their new surroundings.
  void didMoveToWindow() override;

 protected:
  void stateChanged() override;

 private:
  template <class T>
  static std::optional<T> lookup(const std::map<unsigned, T>& values, unsigned state);
  void updateContent();
  void placeContent(const gfx::Rect& content, gfx::Rect* imageRect, gfx::Rect* titleRect) const;
  gfx::Size titleSize() const;

  ButtonType m_type = ButtonType::Custom;
  std::map<unsigned, std::string> m_titles;
  std::map<unsigned, gfx::Color> m_titleColors;
  std::map<unsigned, gfx::Color> m_titleShadowColors;
  std::map<unsigned, ImagePtr> m_images;
  std::map<unsigned, ImagePtr> m_backgroundImages;
  std::shared_ptr<Label> m_titleLabel;
  std::shared_ptr<ImageView> m_imageView;
  gfx::EdgeInsets m_contentInsets;
  gfx::EdgeInsets m_titleInsets;
  gfx::EdgeInsets m_imageInsets;
  bool m_adjustsWhenHighlighted = true;
  bool m_adjustsWhenDisabled = true;
  bool m_showsTouch = false;
};

}  // namespace ui
