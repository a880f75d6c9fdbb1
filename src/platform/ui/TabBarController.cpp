#include "platform/ui/TabBarController.h"

#include <algorithm>

#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"

namespace ui {

// The tab bar controller's own view: keeps the selected screen laid out.
class TabBarContainerView : public View {
 public:
  TabBarContainerView(const gfx::Rect& frame, TabBarController* tabs) : View(frame), m_tabs(tabs) {}
  void layoutSubviews() override {
    if (m_tabs) m_tabs->layoutContent();
  }
  TabBarController* m_tabs = nullptr;
};

TabBarController::TabBarController() {
  gfx::Rect s = screenBounds(nullptr);
  m_tabBar = std::make_shared<TabBar>(gfx::Rect(0, s.height() - TabBar::Height, s.width(), TabBar::Height));
  m_tabBar->setSelectionHandler([this](size_t index) { userSelectedIndex(index); });
}

TabBarController::~TabBarController() {
  m_tabBar->setSelectionHandler(nullptr);
  if (isViewLoaded()) {
    if (auto* container = dynamic_cast<TabBarContainerView*>(view().get())) container->m_tabs = nullptr;
  }
}

void TabBarController::loadView() {
  auto container = std::make_shared<TabBarContainerView>(screenBounds(nullptr), this);
  container->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  gfx::Rect b = container->bounds();
  m_tabBar->setFrame(gfx::Rect(0, b.height() - TabBar::Height, b.width(), TabBar::Height));
  container->addSubview(m_tabBar);
  setView(container);
  if (m_selected) {
    auto& v = m_selected->view();
    v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    container->insertSubviewBelow(v, m_tabBar.get());
  }
  layoutContent();
}

gfx::Rect TabBarController::contentFrame() {
  gfx::Rect b = view()->bounds();
  if (m_tabBar->isHidden() || m_tabBar->isTranslucent()) return b;
  return gfx::Rect(0, 0, b.width(), std::max(0.0, std::min(b.height(), m_tabBar->frame().y())));
}

void TabBarController::layoutContent() {
  if (!isViewLoaded() || !m_selected || !m_selected->isViewLoaded()) return;
  if (m_selected->view()->superview() == view().get()) m_selected->view()->setFrame(contentFrame());
}

std::vector<std::shared_ptr<ViewController>> TabBarController::appearanceChildren() const {
  if (!m_selected) return {};
  return {m_selected};
}

std::optional<size_t> TabBarController::selectedIndex() const {
  auto it = std::find(m_controllers.begin(), m_controllers.end(), m_selected);
  if (it == m_controllers.end()) return std::nullopt;
  return size_t(it - m_controllers.begin());
}

void TabBarController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool /*animated*/) {
  auto keep = sharedController();
  std::vector<std::shared_ptr<ViewController>> list;
  for (auto& c : controllers) {
    if (c && c.get() != this && std::find(list.begin(), list.end(), c) == list.end()) list.push_back(c);
  }
  std::shared_ptr<ViewController> next;
  if (m_selected && std::find(list.begin(), list.end(), m_selected) != list.end()) {
    next = m_selected;
  } else if (!list.empty()) {
    next = list.front();
  }
  auto old = m_controllers;
  for (auto& c : list) {
    if (std::find(old.begin(), old.end(), c) != old.end()) continue;
    addChildViewController(c);
    c->didMoveToParentViewController(this);
  }
  m_controllers = list;
  select(next);
  for (auto& c : old) {
    if (std::find(list.begin(), list.end(), c) != list.end()) continue;
    c->willMoveToParentViewController(nullptr);
    c->removeFromParentViewController();
  }
  std::vector<std::shared_ptr<TabBarItem>> items;
  for (auto& c : m_controllers) items.push_back(c->tabBarItem());
  m_tabBar->setItems(items);
  m_tabBar->setSelectedIndex(selectedIndex());
}

void TabBarController::setSelectedIndex(size_t index) {
  if (index >= m_controllers.size()) return;
  select(m_controllers[index]);
}

void TabBarController::setSelectedViewController(const ViewController* vc) {
  auto it = std::find_if(m_controllers.begin(), m_controllers.end(), [vc](const auto& c) { return c.get() == vc; });
  if (it == m_controllers.end()) return;
  select(*it);
}

void TabBarController::select(std::shared_ptr<ViewController> vc) {
  if (vc == m_selected) return;
  auto keep = sharedController();
  auto old = m_selected;
  const bool shown = isViewLoaded() && (appearanceState() == AppearanceState::Appeared ||
                                        appearanceState() == AppearanceState::Appearing);
  if (shown) {
    if (old) old->beginAppearanceTransition(false, false);
    if (vc) vc->beginAppearanceTransition(true, false);
  }
  m_selected = vc;
  if (isViewLoaded()) {
    if (old && old->isViewLoaded() && old->view()->superview() == view().get()) old->view()->removeFromSuperview();
    if (vc) {
      auto& v = vc->view();
      v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
      view()->insertSubviewBelow(v, m_tabBar.get());
      v->setFrame(contentFrame());
    }
  }
  m_tabBar->setSelectedIndex(selectedIndex());
  if (shown) {
    if (old) old->endAppearanceTransition();
    if (vc) vc->endAppearanceTransition();
  }
  if (shown) updateStatusBarAppearance();
}

void TabBarController::userSelectedIndex(size_t index) {
  if (index >= m_controllers.size()) return;
  auto keep = sharedController();
  auto vc = m_controllers[index];
  if (m_delegate && !m_delegate->shouldSelectViewController(*this, *vc)) return;
  if (vc == m_selected) {
    if (auto* nav = dynamic_cast<NavigationController*>(vc.get())) nav->popToRootViewControllerAnimated(true);
  } else {
    select(vc);
  }
  if (m_delegate) m_delegate->didSelectViewController(*this, *vc);
}

}  // namespace ui

