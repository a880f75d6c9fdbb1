#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/ui/View.h"

namespace ui {

class Button;
class Label;
class TabBarItem;

// The bar of tabs along the bottom of a tab bar controller: one button per item, side by side,
// the selected one in the tint colour, badges in red marks. Tapping an enabled item reports its
// index to the selection handler (the controller decides what follows).
class TabBar : public View {
 public:
  static constexpr double Height = 49;

  explicit TabBar(const gfx::Rect& frame = gfx::Rect());
  ~TabBar() override;

  const std::vector<std::shared_ptr<TabBarItem>>& items() const { return m_items; }
  void setItems(std::vector<std::shared_ptr<TabBarItem>> items);
  // The selected item (none when out of range).
  std::optional<size_t> selectedIndex() const { return m_selected; }
  TabBarItem* selectedItem() const;
  void setSelectedIndex(std::optional<size_t> index);

  const std::optional<gfx::Color>& barTintColor() const { return m_barTintColor; }
  void setBarTintColor(std::optional<gfx::Color> color);
  bool isTranslucent() const { return m_translucent; }
  void setTranslucent(bool translucent) { m_translucent = translucent; }

  void setSelectionHandler(std::function<void(size_t)> handler) { m_onSelect = std::move(handler); }
  // The button showing an item (tests, screens that look the item up).
  std::shared_ptr<Button> buttonForItem(size_t index) const;
  std::shared_ptr<Label> badgeForItem(size_t index) const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  void layoutSubviews() override;
  gfx::Size sizeThatFits(gfx::Size size) const override { return gfx::Size{size.width, Height}; }

 private:
  void refresh();

  std::vector<std::shared_ptr<TabBarItem>> m_items;
  std::vector<std::shared_ptr<Button>> m_buttons;
  std::vector<std::shared_ptr<Label>> m_badges;
  std::optional<size_t> m_selected;
  std::optional<gfx::Color> m_barTintColor;
  bool m_translucent = true;
  std::function<void(size_t)> m_onSelect;
};

}  // namespace ui
