#pragma once

#include <memory>
#include <vector>

#include "platform/ui/ViewController.h"

namespace ui {

class NavigationBar;
class NavigationController;

// Told when a navigation controller shows a screen. Both operations are optional.
class NavigationControllerDelegate {
 public:
  virtual ~NavigationControllerDelegate() = default;
  virtual void willShowViewController(NavigationController& /*nav*/, ViewController& /*vc*/, bool /*animated*/) {}
  virtual void didShowViewController(NavigationController& /*nav*/, ViewController& /*vc*/, bool /*animated*/) {}
};

// A stack of screens with a bar on top. Pushing slides the new screen in from the right over
// 0.35 s (popping slides it back out); the appearance callbacks go to the screens that come and
// go. A push or pop asked for while one is animating is refused with a log line.
class NavigationController : public ViewController {
 public:
  static constexpr double TransitionDuration = 0.35;

  NavigationController();
  explicit NavigationController(std::shared_ptr<ViewController> root);
  ~NavigationController() override;

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return m_stack; }
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated = false);
  void pushViewController(std::shared_ptr<ViewController> vc, bool animated);
  // The popped screen; null when only the root is left or a transition runs.
  std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);
  // The screens popped (bottom first); empty when `vc` is not on the stack or is the top.
  std::vector<std::shared_ptr<ViewController>> popToViewController(const ViewController* vc, bool animated);
  std::vector<std::shared_ptr<ViewController>> popToRootViewControllerAnimated(bool animated);
  ViewController* topViewController() const { return m_stack.empty() ? nullptr : m_stack.back().get(); }
  // What the user sees: the top screen, or what is presented over this controller.
  ViewController* visibleViewController() const;
  bool isTransitioning() const { return m_transitioning; }

  // The bar: 44 high, below the status bar when it shows; its background then covers the status
  // band too.
  NavigationBar& navigationBar() const { return *m_bar; }
  const std::shared_ptr<NavigationBar>& navigationBarPtr() const { return m_bar; }
  bool isNavigationBarHidden() const { return m_barHidden; }
  void setNavigationBarHidden(bool hidden, bool animated = false);
  bool isToolbarHidden() const { return m_toolbarHidden; }
  void setToolbarHidden(bool hidden, bool animated = false);

  // Not owned: the caller keeps the delegate alive while it is set.
  NavigationControllerDelegate* delegate() const { return m_delegate; }
  void setDelegate(NavigationControllerDelegate* delegate) { m_delegate = delegate; }

  // The frame the top screen's view takes in this controller's view.
  gfx::Rect contentFrame();

  void loadView() override;
  ViewController* childViewControllerForStatusBarStyle() const override;

 protected:
  std::vector<std::shared_ptr<ViewController>> appearanceChildren() const override;

 private:
  friend class NavigationContainerView;
  // Moves from `from` to the new top: pushing (slide in from the right) or not (slide back).
  void transition(std::shared_ptr<ViewController> from, bool push, bool animated,
                  std::vector<std::shared_ptr<ViewController>> leaving);
  void layoutContent();
  void refreshBar(double fadeDuration = 0);
  double barTop() const;
  double statusBandHeight() const;

  std::vector<std::shared_ptr<ViewController>> m_stack;
  std::shared_ptr<NavigationBar> m_bar;
  bool m_barHidden = false;
  bool m_toolbarHidden = true;
  bool m_transitioning = false;
  NavigationControllerDelegate* m_delegate = nullptr;
};

}  // namespace ui
