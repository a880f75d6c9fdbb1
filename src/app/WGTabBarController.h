#pragma once

#include <memory>

#include "app/WGTabBar.h"
#include "platform/core/Value.h"
#include "platform/ui/TabBarController.h"

namespace ui {
class ImageView;
class View;
}  // namespace ui

namespace kt {

// A tab bar controller that hides the platform's tab bar and shows the system's own WGTabBar over
// a background image: one tab (a navigation controller over the song home screen) and two bar
// items. The bar moves out of view when a screen is pushed and back when it returns, without
// animation. Tabs and bar are made once, when the view loads.
class WGTabBarController : public ui::TabBarController, public WGTabBarDelegate {
 public:
  WGTabBarController();
  ~WGTabBarController() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // The bar's item dictionaries ("title", "picture", "selected"), in bar order.
  core::Value& arr_items() { return m_arr_items; }
  void setArr_items(core::Value items) { m_arr_items = std::move(items); }

  // The system's own bar and its background (made by viewDidLoad); tabBar() stays the platform's.
  const std::shared_ptr<WGTabBar>& wgTabBar() const { return m_tabBar; }
  const std::shared_ptr<ui::ImageView>& bgView_tabBar() const { return m_bgView_tabBar; }
  // A blurring view behind the bar: never made, so it stays empty.
  const std::shared_ptr<ui::View>& visualEffectView() const { return m_visualEffectView; }

  // The bar and its background at the shown position, or moved below it.
  void showTabBarWhenPushed();
  void hideTabBarWhenPushed();

  // The bar's tap: selects the tab at the tag (an index with no tab changes nothing).
  void didSelectedTabBar(WGTabBar& tabBar, int32_t tag) override;
  // Selects the tab and the bar's button at the index, without a call back from the bar.
  void didSelectIndex(unsigned index);

 protected:
  // The one tab and the two items.
  void setupMainVC();
  // The background image and the bar.
  void setupTabBar();

 private:
  // The frame of the bar when shown: over the platform bar's x and width, near the bottom.
  gfx::Rect shownFrame() const;

  core::Value m_arr_items{core::Value::Array{}};
  std::shared_ptr<WGTabBar> m_tabBar;
  std::shared_ptr<ui::ImageView> m_bgView_tabBar;
  std::shared_ptr<ui::View> m_visualEffectView;
};

}  // namespace kt
