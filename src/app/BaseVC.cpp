#include "app/BaseVC.h"

#include "app/HUDClass.h"
#include "app/ScreenSize.h"
#include "app/WGTabBarController.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/View.h"

namespace kt {
namespace {

// A button action that reaches the screen only while it is alive (its views may outlive it).
template <class F>
ui::Control::Action toScreen(BaseVC* screen, F f) {
  std::weak_ptr<ui::Responder> weak = screen->weak_from_this();
  return [weak, f](ui::Control&, const ui::Event*) {
    if (auto alive = std::static_pointer_cast<BaseVC>(weak.lock())) {
      f(*alive);
    }
  };
}

}  // namespace

BaseVC::BaseVC() = default;

BaseVC::~BaseVC() = default;

void BaseVC::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  ui::Application::shared().setStatusBarStyle(ui::StatusBarStyle::LightContent);
  view()->setBackgroundColor(gfx::Color::black());
  addNavigationBarView();
  addBgView();
}

void BaseVC::addNavigationBarView() {
  if (ui::NavigationController* nav = navigationController()) nav->setNavigationBarHidden(true);

  m_navBarView = ui::View::create(pick({0, 0, 1024, 79}, {0, 0, 1364, 105}));
  m_navBarView->setBackgroundColor(gfx::Color::whiteColor());
  m_navBarView->setAlpha(0.8);
  view()->addSubview(m_navBarView);

  m_imgV_navBar = ui::ImageView::create(pick({0, 0, 1024, 79}, {0, 0, 1364, 105}));
  m_imgV_navBar->setBackgroundColor(gfx::Color::clear());
  m_imgV_navBar->setImage(gfx::Image::named("NavBarBg"));
  m_navBarView->addSubview(m_imgV_navBar);

  m_imgV_left = ui::ImageView::create(pick({25, 31.5, 16, 30}, {33, 42, 21, 40}));
  m_imgV_left->setImage(gfx::Image::named("Return_selected"));
  m_navBarView->addSubview(m_imgV_left);

  m_btn_leftBar = ui::Button::create(ui::ButtonType::Custom, pick({5, 24, 80, 45}, {6, 32, 106, 60}));
  m_btn_leftBar->setBackgroundColor(gfx::Color::clear());
  m_btn_leftBar->addTarget(this, toScreen(this, [](BaseVC& s) { s.leftBarButtonClick(); }),
                           ui::ControlEventTouchUpInside);
  m_navBarView->addSubview(m_btn_leftBar);

  m_imgV_right = ui::ImageView::create(pick({969, 32, 30, 30}, {1291, 42, 39, 40}));
  m_imgV_right->setBackgroundColor(gfx::Color::clear());
  m_navBarView->addSubview(m_imgV_right);

  m_btn_rightBar = ui::Button::create(ui::ButtonType::Custom, pick({939, 24, 80, 45}, {1251, 32, 106, 60}));
  m_btn_rightBar->setBackgroundColor(gfx::Color::clear());
  m_btn_rightBar->addTarget(this, toScreen(this, [](BaseVC& s) { s.rightBarButtonClick(); }),
                            ui::ControlEventTouchUpInside);
  m_navBarView->addSubview(m_btn_rightBar);

  m_label_navTitle = ui::Label::create(pick({412, 24.5, 200, 44}, {549, 32, 266, 58}));
  m_label_navTitle->setTextAlignment(gfx::TextAlignment::Center);
  m_navBarView->addSubview(m_label_navTitle);
}

void BaseVC::addBgView() {
  m_bgView = ui::View::create(pick({0, 79, 1024, 689}, {0, 105, 1364, 919}));
  m_bgView->setBackgroundColor(gfx::Color::black());
  view()->addSubview(m_bgView);

  m_imgV_baseBgHeng = ui::ImageView::create(pick({0, 0, 1024, 689}, {0, 0, 1364, 919}));
  m_imgV_baseBgHeng->setImage(gfx::Image::named("Bg2"));
  m_bgView->addSubview(m_imgV_baseBgHeng);
}

void BaseVC::viewWillDisappear(bool animated) {
  ui::ViewController::viewWillDisappear(animated);
  HUDClass::dismissHud();
}

void BaseVC::hideLeftBarButton() {
  if (m_imgV_left) m_imgV_left->setHidden(true);
  if (m_btn_leftBar) m_btn_leftBar->setEnabled(false);
}

void BaseVC::hideRightBarButton() {
  if (m_imgV_right) m_imgV_right->setHidden(true);
  if (m_btn_rightBar) m_btn_rightBar->setEnabled(false);
}

void BaseVC::setNavTitle(const std::string& title, const gfx::Color& titleColor, std::shared_ptr<const gfx::Font> font) {
  if (!m_label_navTitle) return;
  m_label_navTitle->setText(title);
  m_label_navTitle->setTextColor(titleColor);
  m_label_navTitle->setFont(std::move(font));
}

void BaseVC::setHideTabBar(bool hide) {
  m_hideTabBar = hide;
  // Only the system's own tab bar controller has a bar to move; with none (the running program's
  // navigation controller sits directly in the window) only the flag changes.
  ui::NavigationController* nav = navigationController();
  auto* tabs = nav ? dynamic_cast<WGTabBarController*>(nav->tabBarController()) : nullptr;
  if (!tabs) return;
  if (hide) tabs->hideTabBarWhenPushed();
  else tabs->showTabBarWhenPushed();
}

}  // namespace kt
