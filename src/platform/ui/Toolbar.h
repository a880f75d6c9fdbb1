#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace ui {

class BarButtonItem;
class Button;

// A bar of buttons, usually along the bottom of a screen: its items laid out from the left margin
// with a gap between two buttons, fixed spaces as wide as they say and the room left shared by the
// flexible spaces. Buttons take their item's tint, else the bar's: a plain item's title is in the
// tint (grey while disabled), a bordered or done item is a rounded button in the tint with a
// white title (bold for done). Tapping an enabled one runs its item's action. The background (drawRect, which subclasses may
// draw over) is the bar's colour with a hairline along the top.
class Toolbar : public View {
 public:
  static constexpr double Height = 44;
  static constexpr double SideMargin = 12;
  static constexpr double ItemSpacing = 10;

  static std::shared_ptr<Toolbar> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<Toolbar>(frame);
  }
  explicit Toolbar(const gfx::Rect& frame = gfx::Rect());
  ~Toolbar() override;

  const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return m_items; }
  void setItems(std::vector<std::shared_ptr<BarButtonItem>> items);
  // The button showing an item; null for a space or out of range.
  std::shared_ptr<Button> buttonForItem(size_t index) const;

  // The bar's colour (a light grey when unset).
  const std::optional<gfx::Color>& barTintColor() const { return m_barTintColor; }
  void setBarTintColor(std::optional<gfx::Color> color);
  // The view's tint, also given at once to the buttons of items without a tint of their own.
  void setTintColor(std::optional<gfx::Color> color);

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  void layoutSubviews() override;
  void didMoveToWindow() override;
  gfx::Size sizeThatFits(gfx::Size size) const override { return gfx::Size{size.width, Height}; }

 private:
  void refresh();
  double widthOf(size_t index) const;

  std::vector<std::shared_ptr<BarButtonItem>> m_items;
  // One per item; null for the spaces.
  std::vector<std::shared_ptr<Button>> m_buttons;
  std::optional<gfx::Color> m_barTintColor;
};

}  // namespace ui
