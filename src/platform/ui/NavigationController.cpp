#include "platform/ui/NavigationController.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ui {

// The navigation controller's own view: lays out the bar and the top screen.
class NavigationContainerView : public View {
 public:
  NavigationContainerView(const gfx::Rect& frame, NavigationController* nav) : View(frame), m_nav(nav) {}
  void layoutSubviews() override {
    if (m_nav) m_nav->layoutContent();
  }
  // The bar's place under the status bar depends on where the view sits in its window.
  void didMoveToWindow() override { setNeedsLayout(); }
  NavigationController* m_nav = nullptr;
};

namespace {
constexpr double BarHideShowDuration = 0.2;
}  // namespace

NavigationController::NavigationController() {
  m_bar = std::make_shared<NavigationBar>(gfx::Rect(0, 0, screenBounds(nullptr).width(), NavigationBar::Height));
  m_bar->setBackAction([this] { popViewControllerAnimated(true); });
}

NavigationController::NavigationController(std::shared_ptr<ViewController> root) : NavigationController() {
  if (root) setViewControllers({std::move(root)}, false);
}

NavigationController::~NavigationController() {
  for (auto& vc : m_stack) vc->navigationItem().setChangeHandler(nullptr);
  if (isViewLoaded()) {
    if (auto* container = dynamic_cast<NavigationContainerView*>(view().get())) container->m_nav = nullptr;
  }
  m_bar->setBackAction(nullptr);
}

void NavigationController::loadView() {
  auto container = std::make_shared<NavigationContainerView>(screenBounds(nullptr), this);
  container->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  // No colour of its own: where no screen covers it (beside pages turned in perspective, say),
  // what lies under the navigation shows.
  m_bar->setFrame(gfx::Rect(0, 0, container->bounds().width(), NavigationBar::Height));
  container->addSubview(m_bar);
  setView(container);
  if (auto* top = topViewController()) {
    auto& v = top->view();
    v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    container->insertSubviewBelow(v, m_bar.get());
  }
  refreshBar();
  layoutContent();
}

double NavigationController::barTop() const {
  double statusBar = Application::shared().statusBarFrame().height();
  if (statusBar <= 0) return 0;
  if (isViewLoaded()) {
    auto& v = const_cast<NavigationController*>(this)->view();
    if (v->window()) return std::max(0.0, statusBar - v->convertPointTo(gfx::Point{0, 0}, nullptr).y);
  }
  return statusBar;
}

gfx::Rect NavigationController::contentFrame() {
  gfx::Rect b = view()->bounds();
  if (m_barHidden || m_bar->isTranslucent()) return b;
  double top = barTop() + NavigationBar::Height;
  return gfx::Rect(0, top, b.width(), std::max(0.0, b.height() - top));
}

void NavigationController::layoutContent() {
  if (!isViewLoaded()) return;
  gfx::Rect b = view()->bounds();
  if (!m_barHidden) m_bar->setFrame(gfx::Rect(0, barTop(), b.width(), NavigationBar::Height));
  m_bar->setHidden(m_barHidden);
  m_bar->setStatusBandHeight(statusBandHeight());
  auto* top = topViewController();
  if (!m_transitioning && top && top->isViewLoaded() && top->view()->superview() == view().get()) {
    top->view()->setFrame(contentFrame());
  }
}

// The bar's background runs up under the status bar when the bar sits right below it at the top
// of a window that fills the screen (either way round).
double NavigationController::statusBandHeight() const {
  double statusBar = Application::shared().statusBarFrame().height();
  Window* window = isViewLoaded() ? const_cast<NavigationController*>(this)->view()->window() : nullptr;
  if (statusBar <= 0 || !window) return 0;
  gfx::Size w = window->bounds().size, screen = Screen::main().bounds().size;
  if (w != screen && !(w.width == screen.height && w.height == screen.width)) return 0;
  double top = m_bar->convertPointTo(gfx::Point{0, 0}, nullptr).y;
  return top > 0 && top <= statusBar ? top : 0;
}

void NavigationController::refreshBar(double fadeDuration) {
  auto* top = topViewController();
  std::optional<std::string> backTitle;
  if (m_stack.size() > 1) backTitle = m_stack[m_stack.size() - 2]->navigationItem().title().value_or("");
  m_bar->showItem(top ? &top->navigationItem() : nullptr, backTitle, fadeDuration);
}

ViewController* NavigationController::visibleViewController() const {
  ViewController* p = presentedViewController();
  if (!p) return topViewController();
  while (p->presentedViewController() && p->presentedViewController() != p) p = p->presentedViewController();
  return p;
}

ViewController* NavigationController::childViewControllerForStatusBarStyle() const {
  return m_barHidden ? topViewController() : nullptr;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::appearanceChildren() const {
  if (m_stack.empty()) return {};
  return {m_stack.back()};
}

// ---------------------------------------------------------------------------------------------
// The stack

void NavigationController::pushViewController(std::shared_ptr<ViewController> vc, bool animated) {
  if (!vc) return;
  if (m_transitioning) {
    KT_LOG("Push refused: a navigation transition is in progress");
    return;
  }
  if (std::find(m_stack.begin(), m_stack.end(), vc) != m_stack.end() || vc.get() == this) {
    KT_LOG("Push refused: the controller is already on the stack");
    return;
  }
  if (vc->parentViewController()) {
    KT_LOG("Push refused: the controller has another parent");
    return;
  }
  auto list = m_stack;
  list.push_back(vc);
  setViewControllers(std::move(list), animated);
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
  if (m_transitioning) {
    KT_LOG("Pop refused: a navigation transition is in progress");
    return nullptr;
  }
  if (m_stack.size() <= 1) return nullptr;
  auto popped = m_stack.back();
  auto list = m_stack;
  list.pop_back();
  setViewControllers(std::move(list), animated);
  return popped;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToViewController(const ViewController* vc,
                                                                                       bool animated) {
  if (m_transitioning) {
    KT_LOG("Pop refused: a navigation transition is in progress");
    return {};
  }
  auto it = std::find_if(m_stack.begin(), m_stack.end(), [vc](const auto& c) { return c.get() == vc; });
  if (it == m_stack.end()) {
    KT_LOG("Pop refused: the controller is not on the stack");
    return {};
  }
  std::vector<std::shared_ptr<ViewController>> popped(it + 1, m_stack.end());
  if (popped.empty()) return {};
  std::vector<std::shared_ptr<ViewController>> list(m_stack.begin(), it + 1);
  setViewControllers(std::move(list), animated);
  return popped;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewControllerAnimated(bool animated) {
  if (m_stack.empty()) return {};
  return popToViewController(m_stack.front().get(), animated);
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers,
                                              bool animated) {
  if (m_transitioning) {
    KT_LOG("Change refused: a navigation transition is in progress");
    return;
  }
  auto keep = sharedController();
  // No duplicates, no nulls, not this controller.
  std::vector<std::shared_ptr<ViewController>> list;
  for (auto& c : controllers) {
    if (c && c.get() != this && std::find(list.begin(), list.end(), c) == list.end()) list.push_back(c);
  }
  auto old = m_stack;
  auto from = old.empty() ? nullptr : old.back();
  auto to = list.empty() ? nullptr : list.back();
  std::vector<std::shared_ptr<ViewController>> leaving, added;
  for (auto& c : old) {
    if (std::find(list.begin(), list.end(), c) == list.end()) leaving.push_back(c);
  }
  for (auto& c : list) {
    if (std::find(old.begin(), old.end(), c) == old.end()) added.push_back(c);
  }
  for (auto& c : leaving) {
    c->willMoveToParentViewController(nullptr);
    c->navigationItem().setChangeHandler(nullptr);
  }
  for (auto& c : added) {
    addChildViewController(c);
    ViewController* raw = c.get();
    c->navigationItem().setChangeHandler([this, raw] {
      auto it = std::find_if(m_stack.begin(), m_stack.end(), [raw](const auto& s) { return s.get() == raw; });
      // The top's item, or the one under it (whose title names the back button).
      if (it != m_stack.end() && m_stack.end() - it <= 2) refreshBar();
    });
  }
  m_stack = list;
  // The screens added below the top are in place at once.
  for (auto& c : added) {
    if (c != to) c->didMoveToParentViewController(this);
  }
  const bool push = to && std::find(added.begin(), added.end(), to) != added.end();
  transition(from, push, animated, leaving);
}

// Runs the change of top screen from `from` to the stack's top: appearance callbacks and, when
// shown and animated, the slide. Screens in `leaving` leave the stack at the end.
void NavigationController::transition(std::shared_ptr<ViewController> from, bool push, bool animated,
                                      std::vector<std::shared_ptr<ViewController>> leaving) {
  auto keep = sharedController();
  auto to = m_stack.empty() ? nullptr : m_stack.back();
  const bool fromLeaves = from && std::find(leaving.begin(), leaving.end(), from) != leaving.end();
  const bool toIsNew = push;

  auto finishMembership = [this, keep, to, leaving, toIsNew] {
    if (toIsNew) to->didMoveToParentViewController(this);
    for (auto& c : leaving) {
      if (c->parentViewController() == this) c->removeFromParentViewController();
    }
  };

  if (from == to) {
    refreshBar();
    finishMembership();
    return;
  }

  const bool shown = isViewLoaded() && appearanceState() != AppearanceState::Disappeared &&
                     appearanceState() != AppearanceState::Disappearing;
  if (!shown || !to) {
    // Not on screen: the views change places without callbacks.
    if (isViewLoaded()) {
      if (from && from->isViewLoaded() && from->view()->superview() == view().get()) from->view()->removeFromSuperview();
      if (to) {
        auto& v = to->view();
        v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
        view()->insertSubviewBelow(v, m_bar.get());
      }
      refreshBar();
      layoutContent();
    }
    if (isViewLoaded() && from && !to && from->appearanceState() != AppearanceState::Disappeared) {
      from->beginAppearanceTransition(false, false);
      from->endAppearanceTransition();
    }
    finishMembership();
    return;
  }

  if (m_delegate) m_delegate->willShowViewController(*this, *to, animated);
  auto& toView = to->view();
  if (push) setMovingToParent(*to, true);
  if (fromLeaves) setMovingFromParent(*from, true);
  if (from) from->beginAppearanceTransition(false, animated);
  to->beginAppearanceTransition(true, animated);

  gfx::Rect content = contentFrame();
  double w = view()->bounds().width();
  toView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  toView->setFrame(animated ? content.offsetBy(push ? w : -w, 0) : content);
  view()->insertSubviewBelow(toView, m_bar.get());
  // The bar's items cross-fade over the slide.
  refreshBar(animated ? TransitionDuration : 0);

  View* fromView = from && from->isViewLoaded() ? from->view().get() : nullptr;
  auto finish = [this, keep, from, to, animated, finishMembership](bool) {
    if (from && from->isViewLoaded() && from->view()->superview() == view().get() && from.get() != topViewController()) {
      from->view()->removeFromSuperview();
    }
    if (from && from->isViewLoaded()) from->view()->setFrame(contentFrame());
    m_transitioning = false;
    layoutContent();
    if (from) from->endAppearanceTransition();
    to->endAppearanceTransition();
    setMovingToParent(*to, false);
    if (from) setMovingFromParent(*from, false);
    finishMembership();
    if (m_delegate) m_delegate->didShowViewController(*this, *to, animated);
    updateStatusBarAppearance();
  };
  if (!animated) {
    finish(true);
    return;
  }
  m_transitioning = true;
  View::animate(TransitionDuration, 0, AnimationCurveEaseInOut,
                [&] {
                  toView->setFrame(content);
                  if (fromView) fromView->setFrame(content.offsetBy(push ? -w : w, 0));
                },
                finish);
}

// ---------------------------------------------------------------------------------------------
// Bars

void NavigationController::setNavigationBarHidden(bool hidden, bool animated) {
  if (hidden == m_barHidden) return;
  m_barHidden = hidden;
  if (!isViewLoaded()) return;
  if (!animated || !view()->window()) {
    layoutContent();
    return;
  }
  double top = barTop();
  double w = view()->bounds().width();
  gfx::Rect shownFrame(0, top, w, NavigationBar::Height);
  gfx::Rect hiddenFrame(0, top - NavigationBar::Height - top, w, NavigationBar::Height);
  auto keep = sharedController();
  if (!hidden) {
    m_bar->setHidden(false);
    m_bar->setFrame(hiddenFrame);
  }
  View::animate(BarHideShowDuration, 0, AnimationCurveEaseInOut,
                [&] {
                  m_bar->setFrame(hidden ? hiddenFrame : shownFrame);
                  auto* t = topViewController();
                  if (t && t->isViewLoaded() && !m_transitioning) t->view()->setFrame(contentFrame());
                },
                [this, keep](bool) { layoutContent(); });
}

void NavigationController::setToolbarHidden(bool hidden, bool /*animated*/) { m_toolbarHidden = hidden; }

}  // namespace ui
