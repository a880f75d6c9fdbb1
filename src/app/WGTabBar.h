#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/Value.h"
#include "platform/ui/View.h"

namespace ui {
class Button;
}

namespace kt {

class WGTabBar;

// Told when the guest taps a button of the bar.
class WGTabBarDelegate {
 public:
  virtual ~WGTabBarDelegate() = default;
  // `tag` is the tapped button's item index.
  virtual void didSelectedTabBar(WGTabBar& /*tabBar*/, int32_t /*tag*/) {}
};

// The system's own tab bar: one image button per item, each tagged 12300 + its index in the
// items given. The first three subviews are laid out as two side slots and a taller middle slot
// that stands above the bar's top edge.
class WGTabBar : public ui::View {
 public:
  static constexpr int FirstButtonTag = 12300;

  static std::shared_ptr<WGTabBar> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<WGTabBar>(frame);
  }
  explicit WGTabBar(const gfx::Rect& frame = gfx::Rect());
  ~WGTabBar() override;

  // The item dictionaries last given: "title" (not shown), "picture" (image name, normal state),
  // "selected" (image name, selected state).
  const core::Value& items() const { return m_items; }
  // Keeps the array and adds one button per item, after any buttons already there.
  void setItems(const core::Value& items);

  // Not owned: the caller keeps the delegate alive while it is set.
  WGTabBarDelegate* delegate() const { return m_delegate; }
  void setDelegate(WGTabBarDelegate* delegate) { m_delegate = delegate; }

  // The button shown as selected; none until a tap or didSelectButton.
  std::shared_ptr<ui::Button> selectedBtn() const { return m_selectedBtn.lock(); }
  void setSelectedBtn(const std::shared_ptr<ui::Button>& button) { m_selectedBtn = button; }

  // Selection by a tap: selects the button and tells the delegate its tag - 12300.
  void btnClick(ui::Button& button);
  // Selection by code: selects the subview at `index`; out of range changes nothing. The
  // delegate is not told.
  void didSelectButton(unsigned index);

  void layoutSubviews() override;

 private:
  void select(const std::shared_ptr<ui::Button>& button);

  core::Value m_items{core::Value::Array{}};
  std::weak_ptr<ui::Button> m_selectedBtn;
  WGTabBarDelegate* m_delegate = nullptr;
};

}  // namespace kt
