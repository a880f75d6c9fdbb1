#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace gfx {
class Image;
}

namespace ui {

class Button;
class Label;
class NavigationItem;

// The bar across the top of a navigation controller: a background (drawn in drawRect, which
// subclasses may replace), the top item's title in the middle, its buttons at the ends and, when
// the item has no left button and there is a screen beneath, a back button.
class NavigationBar : public View {
 public:
  static constexpr double Height = 44;

  explicit NavigationBar(const gfx::Rect& frame = gfx::Rect());

  // The bar's colour (a light grey when unset) and an image drawn over it, stretched.
  const std::optional<gfx::Color>& barTintColor() const { return m_barTintColor; }
  void setBarTintColor(std::optional<gfx::Color> color);
  const std::shared_ptr<const gfx::Image>& backgroundImage() const { return m_backgroundImage; }
  void setBackgroundImage(std::shared_ptr<const gfx::Image> image);
  // A translucent bar lets the content run beneath it (the controller's content fills its view).
  bool isTranslucent() const { return m_translucent; }
  void setTranslucent(bool translucent) { m_translucent = translucent; }
  void setTitleColor(const gfx::Color& color);

  // Shows `item`; `backTitle` (the previous screen's title) names the back button when one shows.
  void showItem(NavigationItem* item, std::optional<std::string> backTitle);
  // Called when the back button is tapped.
  void setBackAction(std::function<void()> action) { m_backAction = std::move(action); }
  const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
  const std::shared_ptr<Button>& backButton() const { return m_backButton; }

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  void layoutSubviews() override;
  gfx::Size sizeThatFits(gfx::Size size) const override { return gfx::Size{size.width, Height}; }

 private:
  std::optional<gfx::Color> m_barTintColor;
  std::shared_ptr<const gfx::Image> m_backgroundImage;
  bool m_translucent = true;
  std::shared_ptr<Label> m_titleLabel;
  std::shared_ptr<Button> m_backButton;
  std::shared_ptr<View> m_titleView;
  std::shared_ptr<Button> m_left;
  std::shared_ptr<Button> m_right;
  std::function<void()> m_backAction;
};

}  // namespace ui
