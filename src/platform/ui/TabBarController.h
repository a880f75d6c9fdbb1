#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/ViewController.h"

namespace ui {

class TabBar;
class TabBarController;

// Asked and told about selections the user makes on the tab bar. Both operations are optional.
class TabBarControllerDelegate {
 public:
  virtual ~TabBarControllerDelegate() = default;
  virtual bool shouldSelectViewController(TabBarController& /*tabs*/, ViewController& /*vc*/) { return true; }
  virtual void didSelectViewController(TabBarController& /*tabs*/, ViewController& /*vc*/) {}
};

// Screens side by side behind a bar of tabs (49 high at the bottom); one is shown at a time and
// receives the appearance callbacks as the selection changes.
class TabBarController : public ViewController {
 public:
  TabBarController();
  ~TabBarController() override;

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return m_controllers; }
  // The selection stays on the same screen when it is still there, else on the first.
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated = false);
  // The selected index; none when there are no screens.
  std::optional<size_t> selectedIndex() const;
  // Out-of-range indexes are ignored.
  void setSelectedIndex(size_t index);
  ViewController* selectedViewController() const { return m_selected.get(); }
  void setSelectedViewController(const ViewController* vc);

  TabBar& tabBar() const { return *m_tabBar; }
  const std::shared_ptr<TabBar>& tabBarPtr() const { return m_tabBar; }

  // Not owned: the caller keeps the delegate alive while it is set.
  TabBarControllerDelegate* delegate() const { return m_delegate; }
  void setDelegate(TabBarControllerDelegate* delegate) { m_delegate = delegate; }

  // What a tap on the tab at `index` does: asks the delegate, selects (a tab tapped again that
  // holds a navigation controller goes back to its root), tells the delegate.
  void userSelectedIndex(size_t index);

  gfx::Rect contentFrame();
  void loadView() override;
  ViewController* childViewControllerForStatusBarStyle() const override { return m_selected.get(); }

 protected:
  std::vector<std::shared_ptr<ViewController>> appearanceChildren() const override;

 private:
  friend class TabBarContainerView;
  void select(std::shared_ptr<ViewController> vc);
  void layoutContent();

  std::vector<std::shared_ptr<ViewController>> m_controllers;
  std::shared_ptr<ViewController> m_selected;
  std::shared_ptr<TabBar> m_tabBar;
  TabBarControllerDelegate* m_delegate = nullptr;
};

}  // namespace ui
