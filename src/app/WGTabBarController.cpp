#include "app/WGTabBarController.h"

#include "app/AppDelegate.h"
#include "app/ScreenSize.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBar.h"

namespace kt {
namespace {

double barTop() { return isTwelveNineInch() ? 1235 : 926; }
double barHeight() { return isTwelveNineInch() ? 144 : 108; }

core::Value item(const char* title, const char* picture, const char* selected) {
  return core::Value(core::Value::Dictionary{{"title", title}, {"picture", picture}, {"selected", selected}});
}

}  // namespace

WGTabBarController::WGTabBarController() = default;

WGTabBarController::~WGTabBarController() {
  if (m_tabBar) m_tabBar->setDelegate(nullptr);
}

void WGTabBarController::viewDidLoad() {
  ui::TabBarController::viewDidLoad();
  setupMainVC();
  setupTabBar();
}

void WGTabBarController::setupMainVC() {
  auto home = std::make_shared<ui::NavigationController>(makeRootScreen());
  m_arr_items.append(item("第三个", "TarBar3_replace", "TarBar3_replace"));
  m_arr_items.append(item("第五个", "tabBar_icon_me_default_replace", "tabBar_icon_me_replace"));
  setViewControllers({home});
}

gfx::Rect WGTabBarController::shownFrame() const {
  const gfx::Rect system = tabBar().frame();
  return gfx::Rect(system.x(), barTop(), system.width(), barHeight());
}

void WGTabBarController::setupTabBar() {
  m_bgView_tabBar = ui::ImageView::create(shownFrame());
  m_bgView_tabBar->setImage(gfx::Image::named("TabBarBg_replace"));
  m_bgView_tabBar->setAlpha(0.9999);
  view()->addSubview(m_bgView_tabBar);
  core::logFormat("%s [Line %d]%f", __func__, __LINE__, m_bgView_tabBar->frame().height());

  m_tabBar = WGTabBar::create();
  m_tabBar->setBackgroundColor(gfx::Color::clear());
  m_tabBar->setItems(m_arr_items);
  m_tabBar->setDelegate(this);
  m_tabBar->setFrame(m_bgView_tabBar->frame());
  view()->addSubview(m_tabBar);
}

void WGTabBarController::viewWillAppear(bool /*animated*/) {
  ui::TabBarController::viewWillAppear(true);
  tabBar().setHidden(true);
}

void WGTabBarController::showTabBarWhenPushed() {
  if (!m_tabBar || !m_bgView_tabBar) return;
  m_tabBar->setFrame(shownFrame());
  m_bgView_tabBar->setFrame(shownFrame());
}

void WGTabBarController::hideTabBarWhenPushed() {
  if (!m_tabBar || !m_bgView_tabBar) return;
  gfx::Rect bar = m_tabBar->frame();
  bar.origin.y += barHeight();
  m_tabBar->setFrame(bar);
  const gfx::Rect system = tabBar().frame();
  m_bgView_tabBar->setFrame(gfx::Rect(system.x(), view()->frame().height(), system.width(), barHeight()));
}

void WGTabBarController::didSelectedTabBar(WGTabBar& /*tabBar*/, int32_t tag) {
  if (tag < 0) return;
  setSelectedIndex(static_cast<size_t>(tag));
}

void WGTabBarController::didSelectIndex(unsigned index) {
  setSelectedIndex(index);
  if (m_tabBar) m_tabBar->didSelectButton(index);
}

}  // namespace kt
