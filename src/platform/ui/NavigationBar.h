#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace gfx {
class Image;
}

namespace ui {

class Button;
class Label;
class NavigationItem;

// The bar across the top of a navigation controller: a background (drawn by drawBackground,
// which subclasses may replace), the top item's title in the middle, its buttons at the ends and,
// when the item has no left button and there is a screen beneath, a back button: a chevron and
// the previous screen's title, in the tint colour.
//
// The background lies in a view of its own, behind the items, that reaches up over the status
// band (setStatusBandHeight) when the bar sits under the status bar, so that the bar's colour
// runs up to the top of the screen while the bar's frame stays 44 high.
class NavigationBar : public View {
 public:
  static constexpr double Height = 44;
  // The back button: from the bar's left edge, the whole bar high; its chevron sits at the usual
  // side margin and the title follows it.
  static constexpr double BackButtonWidth = 96;

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

  // How far the background reaches above the bar (the part of the status bar it lies under).
  double statusBandHeight() const { return m_statusBand; }
  void setStatusBandHeight(double height);
  const std::shared_ptr<View>& backgroundView() const { return m_background; }

  // Shows `item`; `backTitle` (the previous screen's title) names the back button when one shows,
  // and when it is empty the platform's own word for back does, in the user's language.
  // With a fade duration (a push or pop sliding the screens) and the bar on screen, the items
  // shown before fade out while the new ones fade in; otherwise they change at once.
  void showItem(NavigationItem* item, std::optional<std::string> backTitle, double fadeDuration = 0);
  // Called when the back button is tapped.
  void setBackAction(std::function<void()> action) { m_backAction = std::move(action); }
  const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
  const std::shared_ptr<Button>& backButton() const { return m_backButton; }

  // Draws the bar's colour, its image and the hairline along the bottom over `area`: the
  // background view's bounds, the bar and the status band above it.
  virtual void drawBackground(gfx::Context& ctx, const gfx::Rect& area);
  void layoutSubviews() override;
  gfx::Size sizeThatFits(gfx::Size size) const override { return gfx::Size{size.width, Height}; }

 private:
  // What the item being replaced showed that leaves with a fade.
  std::vector<std::shared_ptr<View>> leavingViews(bool backShown, bool titleShown);
  void fadeItems(const std::vector<std::shared_ptr<View>>& leaving, const std::vector<std::shared_ptr<View>>& coming,
                 double duration);
  bool isCurrentItemView(const View* view) const;

  std::optional<gfx::Color> m_barTintColor;
  std::shared_ptr<const gfx::Image> m_backgroundImage;
  bool m_translucent = true;
  double m_statusBand = 0;
  std::shared_ptr<View> m_background;
  std::shared_ptr<Label> m_titleLabel;
  std::shared_ptr<Button> m_backButton;
  std::shared_ptr<View> m_titleView;
  std::shared_ptr<Button> m_left;
  std::shared_ptr<Button> m_right;
  std::function<void()> m_backAction;
};

}  // namespace ui
