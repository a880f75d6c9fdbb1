#pragma once

#include <memory>
#include <string>

#include "platform/gfx/Color.h"
#include "platform/ui/ViewController.h"

namespace gfx {
class Font;
}
namespace ui {
class Button;
class ImageView;
class Label;
class View;
}  // namespace ui

namespace kt {

// The base screen of the song screens: it hides the navigation controller's bar and draws a bar
// of its own (background image, back arrow over an invisible left button, an empty right image
// over an invisible right button, a centred title) above a black content area with a background
// image. Subclasses put their content into bgView() and extra bar items into navBarView(), call
// this viewDidLoad from theirs, and override the two button actions. The progress overlay is
// taken down whenever the screen disappears.
//
// Frames are fixed numbers for the 1024 x 768 screen, with a second set for the 12.9-inch tablet,
// chosen when each view is made and never laid out again.
class BaseVC : public ui::ViewController {
 public:
  BaseVC();
  ~BaseVC() override;

  void viewDidLoad() override;
  void viewWillDisappear(bool animated) override;
  ui::StatusBarStyle preferredStatusBarStyle() const override { return ui::StatusBarStyle::LightContent; }

  // The bar's button actions: nothing here; subclasses override them.
  virtual void leftBarButtonClick() {}
  virtual void rightBarButtonClick() {}

  // Hides the arrow (right image) and disables its button, which stays in place, transparent and
  // inert.
  void hideLeftBarButton();
  void hideRightBarButton();

  // The title's text, text colour and font, in that order.
  void setNavTitle(const std::string& title, const gfx::Color& titleColor, std::shared_ptr<const gfx::Font> font);

  // The last value given to setHideTabBar. Setting it also asks the tab bar controller above the
  // navigation controller, when it is the system's own, to move its bar out of view (true) or back.
  bool hideTabBar() const { return m_hideTabBar; }
  void setHideTabBar(bool hide);

  // ---- Views (made by viewDidLoad) ----
  const std::shared_ptr<ui::View>& bgView() const { return m_bgView; }
  void setBgView(std::shared_ptr<ui::View> view) { m_bgView = std::move(view); }
  const std::shared_ptr<ui::View>& navBarView() const { return m_navBarView; }
  void setNavBarView(std::shared_ptr<ui::View> view) { m_navBarView = std::move(view); }
  const std::shared_ptr<ui::ImageView>& imgV_left() const { return m_imgV_left; }
  void setImgV_left(std::shared_ptr<ui::ImageView> view) { m_imgV_left = std::move(view); }
  const std::shared_ptr<ui::ImageView>& imgV_right() const { return m_imgV_right; }
  void setImgV_right(std::shared_ptr<ui::ImageView> view) { m_imgV_right = std::move(view); }
  const std::shared_ptr<ui::ImageView>& imgV_navBar() const { return m_imgV_navBar; }
  void setImgV_navBar(std::shared_ptr<ui::ImageView> view) { m_imgV_navBar = std::move(view); }
  // The content background; subclasses may change its image.
  const std::shared_ptr<ui::ImageView>& imgV_baseBgHeng() const { return m_imgV_baseBgHeng; }
  void setImgV_baseBgHeng(std::shared_ptr<ui::ImageView> view) { m_imgV_baseBgHeng = std::move(view); }

  // The bar's buttons and title.
  const std::shared_ptr<ui::Button>& btn_leftBar() const { return m_btn_leftBar; }
  const std::shared_ptr<ui::Button>& btn_rightBar() const { return m_btn_rightBar; }
  const std::shared_ptr<ui::Label>& label_navTitle() const { return m_label_navTitle; }

 protected:
  // Hides the navigation controller's bar and builds the screen's own.
  void addNavigationBarView();
  // Builds the content area and its background image.
  void addBgView();

  std::shared_ptr<ui::Button> m_btn_leftBar;
  std::shared_ptr<ui::Button> m_btn_rightBar;
  std::shared_ptr<ui::Label> m_label_navTitle;

 private:
  bool m_hideTabBar = false;
  std::shared_ptr<ui::View> m_bgView;
  std::shared_ptr<ui::View> m_navBarView;
  std::shared_ptr<ui::ImageView> m_imgV_left;
  std::shared_ptr<ui::ImageView> m_imgV_right;
  std::shared_ptr<ui::ImageView> m_imgV_navBar;
  std::shared_ptr<ui::ImageView> m_imgV_baseBgHeng;
};

}  // namespace kt
