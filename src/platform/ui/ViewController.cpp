#include "platform/ui/ViewController.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/WorkProgress.h"
#include "platform/gfx/Color.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Nib.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/StoryboardSegue.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace ui {
namespace {
bool g_controllerBasedStatusBar = true;

// Sheets leave the presenter's view showing around them; the other styles cover it.
bool coversPresenter(ModalPresentationStyle style, gfx::Rect windowBounds) {
  if (style == ModalPresentationStyle::FormSheet) return false;
  if (style == ModalPresentationStyle::PageSheet) return windowBounds.width() > windowBounds.height();
  return true;
}

bool isSheet(ModalPresentationStyle style) {
  return style == ModalPresentationStyle::FormSheet || style == ModalPresentationStyle::PageSheet;
}

// Runs the changes with neither view animations nor the layers' implicit actions.
void unanimated(const std::function<void()>& changes) {
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  View::performWithoutAnimation(changes);
  gfx::Transaction::commit();
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Navigation item

void NavigationItem::setTitle(std::optional<std::string> title) {
  m_title = std::move(title);
  changed();
}

void NavigationItem::setTitleView(std::shared_ptr<View> view) {
  m_titleView = std::move(view);
  changed();
}

void NavigationItem::setLeftBarButtonItem(std::shared_ptr<Button> button) {
  m_left = std::move(button);
  changed();
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<Button> button) {
  m_right = std::move(button);
  changed();
}

void NavigationItem::setHidesBackButton(bool hides) {
  m_hidesBackButton = hides;
  changed();
}

// ---------------------------------------------------------------------------------------------
// Construction

ViewController::ViewController(std::string nibName) : m_nibName(std::move(nibName)) {
  m_memoryWarning = core::Observation(core::NotificationCenter::defaultCenter(),
                                      Application::DidReceiveMemoryWarningNotification, nullptr,
                                      [this](const core::Notification&) { didReceiveMemoryWarning(); });
}

ViewController::~ViewController() {
  for (auto& child : m_children) {
    if (child->m_parent == this) child->m_parent = nullptr;
  }
  // Torn down while presenting (the window going away): the presented views stay where they are,
  // since their tree may be being torn down too.
  if (m_presented) m_presented->m_presenting = nullptr;
  if (m_view && m_view->nextResponder() == this) m_view->setNextResponderOverride(nullptr);
}

// ---------------------------------------------------------------------------------------------
// The view

const std::shared_ptr<View>& ViewController::view() {
  if (!m_view && !m_loadingView) {
    core::WorkProgress::note();
    m_loadingView = true;
    loadView();
    if (!m_view) ViewController::loadView();
    m_loadingView = false;
    viewDidLoad();
  }
  return m_view;
}

void ViewController::setView(std::shared_ptr<View> view) {
  if (m_view && m_view->nextResponder() == this) m_view->setNextResponderOverride(nullptr);
  m_view = std::move(view);
  if (m_view) m_view->setNextResponderOverride(this);
}

void ViewController::loadView() {
  if (!m_nibName.empty()) {
    for (auto& object : Nib::load(m_nibName, this)) {
      if (auto v = std::dynamic_pointer_cast<View>(object)) {
        setView(v);
        return;
      }
    }
  }
  auto v = View::create(screenBounds(nullptr));
  v->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  setView(v);
}

gfx::Rect ViewController::screenBounds(const View* reference) {
  if (reference) {
    if (Window* w = reference->window()) return w->bounds();
  }
  return Screen::main().bounds();
}

// ---------------------------------------------------------------------------------------------
// Appearance

void ViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
  auto keep = sharedController();
  if (isAppearing) {
    if (m_appearance == AppearanceState::Appearing || m_appearance == AppearanceState::Appeared) return;
    view();
    m_appearance = AppearanceState::Appearing;
    m_appearanceAnimated = animated;
    viewWillAppear(animated);
  } else {
    if (m_appearance == AppearanceState::Disappearing || m_appearance == AppearanceState::Disappeared) return;
    m_appearance = AppearanceState::Disappearing;
    m_appearanceAnimated = animated;
    viewWillDisappear(animated);
  }
  for (auto& child : appearanceChildren()) child->beginAppearanceTransition(isAppearing, animated);
}

void ViewController::endAppearanceTransition() {
  auto keep = sharedController();
  if (m_appearance == AppearanceState::Appearing) {
    m_appearance = AppearanceState::Appeared;
    viewDidAppear(m_appearanceAnimated);
  } else if (m_appearance == AppearanceState::Disappearing) {
    m_appearance = AppearanceState::Disappeared;
    viewDidDisappear(m_appearanceAnimated);
  } else {
    return;
  }
  for (auto& child : appearanceChildren()) child->endAppearanceTransition();
}

std::vector<std::shared_ptr<ViewController>> ViewController::appearanceChildren() const {
  std::vector<std::shared_ptr<ViewController>> shown;
  if (!m_view) return shown;
  for (auto& child : m_children) {
    if (child->isViewLoaded() && child->m_view->isDescendantOf(m_view.get())) shown.push_back(child);
  }
  return shown;
}

// ---------------------------------------------------------------------------------------------
// Title and items

void ViewController::setTitle(std::optional<std::string> title) {
  if (title == m_title) return;
  auto keep = sharedController();
  auto old = m_title;
  m_title = title;
  m_navigationItem.setTitle(title);
  if (m_tabBarItem) m_tabBarItem->setTitle(title);
  std::erase_if(m_titleObservers, [](const TitleObserverEntry& e) { return e.owner.expired(); });
  auto observers = m_titleObservers;
  for (auto& o : observers) {
    if (o.fn && !o.owner.expired()) o.fn(old, m_title);
  }
}

void ViewController::addTitleObserver(const core::WeakToken& owner, TitleObserver observer) {
  m_titleObservers.push_back(TitleObserverEntry{owner, std::move(observer)});
}

void ViewController::removeTitleObservers(const core::WeakToken& owner) {
  std::erase_if(m_titleObservers, [owner](const TitleObserverEntry& e) { return e.owner == owner; });
}

const std::shared_ptr<TabBarItem>& ViewController::tabBarItem() {
  if (!m_tabBarItem) m_tabBarItem = std::make_shared<TabBarItem>(m_title, nullptr);
  return m_tabBarItem;
}

// ---------------------------------------------------------------------------------------------
// Children

void ViewController::addChildViewController(std::shared_ptr<ViewController> child) {
  if (!child || child.get() == this || child->m_parent == this) return;
  if (child->m_parent) {
    child->willMoveToParentViewController(nullptr);
    child->removeFromParentViewController();
  }
  child->willMoveToParentViewController(this);
  m_children.push_back(child);
  child->m_parent = this;
}

void ViewController::removeFromParentViewController() {
  if (!m_parent) return;
  auto keep = sharedController();
  std::erase_if(m_parent->m_children, [this](const std::shared_ptr<ViewController>& c) { return c.get() == this; });
  m_parent = nullptr;
  didMoveToParentViewController(nullptr);
}

NavigationController* ViewController::navigationController() const {
  for (ViewController* p = m_parent; p; p = p->m_parent) {
    if (auto* nav = dynamic_cast<NavigationController*>(p)) return nav;
  }
  return nullptr;
}

TabBarController* ViewController::tabBarController() const {
  for (ViewController* p = m_parent; p; p = p->m_parent) {
    if (auto* tab = dynamic_cast<TabBarController*>(p)) return tab;
  }
  return nullptr;
}

ViewController* ViewController::containerRoot() {
  ViewController* r = this;
  while (r->m_parent) r = r->m_parent;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Modal presentation

ViewController* ViewController::presentedViewController() const {
  return const_cast<ViewController*>(this)->containerRoot()->m_presented.get();
}

ViewController* ViewController::presentingViewController() const {
  return const_cast<ViewController*>(this)->containerRoot()->m_presenting;
}

void ViewController::presentViewController(std::shared_ptr<ViewController> vc, bool animated, Completion completion) {
  if (!vc) return;
  const ModalPresentationStyle style = vc->m_presentationStyle;
  ViewController* presenter = style == ModalPresentationStyle::CurrentContext ? this : containerRoot();
  if (presenter->m_presented) {
    KT_LOG("Attempt to present a controller on one that is already presenting");
    return;
  }
  if (presenter->m_transitionRunning || (presenter->m_presenting && presenter->m_presenting->m_transitionRunning)) {
    KT_LOG("Attempt to present a controller while a presentation is in progress");
    return;
  }
  if (vc->m_presenting || vc->m_parent || vc.get() == presenter) {
    KT_LOG("Attempt to present a controller that is already shown");
    return;
  }
  View* presenterView = presenter->m_view.get();
  Window* window = presenterView ? presenterView->window() : nullptr;
  if (!window) {
    KT_LOG("Attempt to present a controller from one whose view is not in a window");
    return;
  }

  auto keepPresenter = presenter->sharedController();
  // The interface turns now if the application no longer allows its orientation (the presenter
  // has just said what the new screen needs), so that the new screen loads at the turned size.
  // A presenter about to be covered keeps its own shape while it still shows.
  auto& app = Application::shared();
  const auto& screen = Screen::main();
  const int turns = screen.displayQuarterTurns(app.interfaceOrientationFor(window)) -
                    screen.displayQuarterTurns(app.statusBarOrientation());
  const bool hold = turns != 0 && !isSheet(style) && presenterView->superview() == window && !presenter->m_heldShape;
  const gfx::Size presenterSize = presenterView->bounds().size;
  if (hold) {
    presenter->m_heldShape = HeldShape{presenterView->autoresizingMask()};
    presenterView->setAutoresizingMask(AutoresizingNone);
  }
  app.updateInterfaceOrientation(window);
  if (hold) presenter->holdShape(*window, presenterSize, turns);
  presenter->m_presented = vc;
  vc->m_presenting = presenter;
  presenter->m_transitionRunning = true;
  vc->m_beingPresented = true;

  const gfx::Rect wb = window->bounds();
  const bool covers = coversPresenter(style, wb);
  View* container = window;
  gfx::Rect finalFrame = wb;
  unsigned mask = AutoresizingFlexibleWidth | AutoresizingFlexibleHeight;
  if (style == ModalPresentationStyle::CurrentContext && presenterView->superview()) {
    container = presenterView->superview();
    finalFrame = presenterView->frame();
  } else if (style == ModalPresentationStyle::FormSheet) {
    double w = std::min(FormSheetWidth, wb.width()), h = std::min(FormSheetHeight, wb.height());
    finalFrame = gfx::Rect(wb.midX() - w / 2, wb.midY() - h / 2, w, h);
    mask = AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin | AutoresizingFlexibleTopMargin |
           AutoresizingFlexibleBottomMargin;
  } else if (style == ModalPresentationStyle::PageSheet) {
    double w = std::min(wb.width(), wb.height());
    finalFrame = gfx::Rect(wb.midX() - w / 2, 0, w, wb.height());
    mask = AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin | AutoresizingFlexibleHeight;
  }

  // The new screen is made, and below laid out in its own shape, before any frame shows it:
  // nothing of that first layout animates.
  unanimated([&] { vc->view(); });
  auto& view = vc->view();
  if (covers) presenter->beginAppearanceTransition(false, animated);
  vc->beginAppearanceTransition(true, animated);

  if (isSheet(style)) {
    auto dim = View::create(wb);
    dim->setBackgroundColor(gfx::Color::rgba(0, 0, 0, 0.4));
    dim->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    if (animated) dim->setAlpha(0);
    container->addSubview(dim);
    vc->m_dimmingView = dim;
  }
  const ModalTransitionStyle transition = vc->m_transitionStyle;
  unanimated([&] {
    view->setAutoresizingMask(mask);
    view->setFrame(finalFrame);
    container->addSubview(view);
    view->layoutIfNeeded();
    // Then only moved (or made clear: flips are shown as a dissolve) to where it starts from.
    if (animated && transition == ModalTransitionStyle::CoverVertical) {
      view->setFrame(gfx::Rect(finalFrame.x(), wb.maxY(), finalFrame.width(), finalFrame.height()));
    } else if (animated) {
      view->setAlpha(0);
    }
  });

  auto finish = [keepPresenter, vc, covers, completion](bool) {
    ViewController* p = keepPresenter.get();
    vc->m_beingPresented = false;
    vc->endAppearanceTransition();
    if (covers) p->endAppearanceTransition();
    if (covers && p->m_view && !p->m_view->isHidden() && p->m_presented == vc) {
      p->m_view->setHidden(true);
      p->m_hidViewForPresentation = true;
    }
    p->m_transitionRunning = false;
    updateStatusBarAppearance();
    if (completion) completion();
    p->runAfterTransition();
  };
  View* dim = vc->m_dimmingView.get();
  View* v = view.get();
  View::animate(animated ? PresentationDuration : 0, 0, AnimationCurveEaseInOut,
                [&] {
                  if (!animated) return;
                  v->setFrame(finalFrame);
                  v->setAlpha(1);
                  if (dim) dim->setAlpha(1);
                },
                finish);
}

void ViewController::dismissViewControllerAnimated(bool animated, Completion completion) {
  auto keep = sharedController();
  ViewController* root = containerRoot();
  ViewController* presenter = nullptr;
  if (root->m_presented) {
    presenter = root;
  } else if (root->m_presenting) {
    presenter = root->m_presenting;
  } else if (m_presenting) {
    presenter = m_presenting;
  }
  if (!presenter) {
    // Nothing to dismiss (any more): the completion still runs, later, as after a dismissal.
    if (completion) {
      core::RunLoop::main().performAfterDelay(
          {}, 0, [keep, completion] { completion(); }, {core::RunLoop::CommonModes});
    }
    return;
  }
  if (presenter->m_transitionRunning) {
    presenter->m_afterTransition.push_back([keep, animated, completion] {
      keep->dismissViewControllerAnimated(animated, completion);
    });
    return;
  }
  presenter->dismissPresented(animated, std::move(completion));
}

void ViewController::dismissPresented(bool animated, Completion completion) {
  auto keep = sharedController();
  std::vector<std::shared_ptr<ViewController>> chain;
  for (auto c = m_presented; c; c = c->m_presented) chain.push_back(c);
  if (chain.empty()) return;
  auto top = chain.back();
  Window* window = top->m_view ? top->m_view->window() : nullptr;
  const bool covers = coversPresenter(chain.front()->m_presentationStyle, window ? window->bounds() : screenBounds(nullptr));
  // When what is left needs the interface turned back, it turns now, and the leaving screen keeps
  // its own shape, turned against the display, while it leaves: everything else in the window (the
  // screen underneath, what lies over the window's screens) is drawn as the interface is then.
  if (window) {
    auto& app = Application::shared();
    const auto& screen = Screen::main();
    const int turns = screen.displayQuarterTurns(app.interfaceOrientationFor(window)) -
                      screen.displayQuarterTurns(app.statusBarOrientation());
    View* leaving = top->m_view.get();
    if (turns != 0 && !isSheet(top->m_presentationStyle) && leaving->superview() == window && !top->m_heldShape) {
      const gfx::Size size = leaving->bounds().size;
      top->m_heldShape = HeldShape{leaving->autoresizingMask()};
      leaving->setAutoresizingMask(AutoresizingNone);
      app.updateInterfaceOrientation(window);
      top->holdShape(*window, size, turns);
      releaseShape(window);
    }
  }
  const gfx::Rect wb = window ? window->bounds() : screenBounds(nullptr);

  m_transitionRunning = true;
  for (auto& c : chain) c->m_beingDismissed = true;
  if (m_hidViewForPresentation && m_view) m_view->setHidden(false);
  m_hidViewForPresentation = false;
  // Screens between this one and the top go at once; the top one leaves in the transition.
  for (auto& c : chain) {
    if (c == top) break;
    if (c->m_view) c->m_view->setHidden(true);
    if (c->m_dimmingView) c->m_dimmingView->setHidden(true);
  }
  top->beginAppearanceTransition(false, animated);
  if (covers) beginAppearanceTransition(true, animated);

  View* v = top->m_view.get();
  View* dim = top->m_dimmingView.get();
  const ModalTransitionStyle transition = top->m_transitionStyle;
  auto finish = [keep, chain, top, covers, completion](bool) {
    ViewController* p = keep.get();
    for (auto& c : chain) {
      if (c->m_view) {
        c->m_view->removeFromSuperview();
        c->m_view->setHidden(false);
        c->m_view->setAlpha(1);
        c->releaseShape(nullptr);
      }
      if (c->m_dimmingView) c->m_dimmingView->removeFromSuperview();
      c->m_dimmingView.reset();
      c->m_hidViewForPresentation = false;
      c->m_presenting = nullptr;
      c->m_presented.reset();
    }
    p->m_presented.reset();
    // With the presented screens gone, the interface turns back if it still must (it did not as
    // the dismissal started: a sheet left), and the screen underneath, kept in its own shape
    // meanwhile, takes its place again.
    if (Window* w = p->m_view ? p->m_view->window() : nullptr) {
      Application::shared().updateInterfaceOrientation(w);
      p->releaseShape(w);
    }
    top->endAppearanceTransition();
    if (covers) p->endAppearanceTransition();
    for (auto& c : chain) c->m_beingDismissed = false;
    p->m_transitionRunning = false;
    updateStatusBarAppearance();
    if (completion) completion();
    p->runAfterTransition();
  };
  View::animate(animated ? PresentationDuration : 0, 0, AnimationCurveEaseInOut,
                [&] {
                  if (!animated || !v) return;
                  if (transition == ModalTransitionStyle::CoverVertical && top->m_heldShape) {
                    // Down by its own height as it stands: across the display as it was drawn.
                    const gfx::AffineTransform t = v->transform();
                    const double h = v->bounds().height();
                    const gfx::Point c = v->center();
                    v->setCenter(gfx::Point{c.x + t.c * h, c.y + t.d * h});
                  } else if (transition == ModalTransitionStyle::CoverVertical) {
                    gfx::Rect f = v->frame();
                    v->setFrame(gfx::Rect(f.x(), wb.maxY(), f.width(), f.height()));
                  } else {
                    v->setAlpha(0);
                  }
                  if (dim) dim->setAlpha(0);
                },
                finish);
}

void ViewController::holdShape(Window& window, gfx::Size size, int turns) {
  View* v = m_view.get();
  if (!v) return;
  // Against the display's turn: the view lands on the display as it was drawn before.
  gfx::AffineTransform back = turns == 1    ? gfx::AffineTransform::make(0, -1, 1, 0, 0, 0)
                              : turns == -1 ? gfx::AffineTransform::make(0, 1, -1, 0, 0, 0)
                                            : gfx::AffineTransform::make(-1, 0, 0, -1, 0, 0);
  gfx::Rect wb = window.bounds();
  View::performWithoutAnimation([&] {
    v->setTransform(back);
    v->setBounds(gfx::Rect(gfx::Point(), size));
    v->setCenter(gfx::Point{wb.midX(), wb.midY()});
  });
}

void ViewController::releaseShape(Window* window) {
  if (!m_heldShape) return;
  unsigned mask = m_heldShape->autoresizingMask;
  m_heldShape.reset();
  View* v = m_view.get();
  if (!v) return;
  View::performWithoutAnimation([&] {
    v->setTransform(gfx::AffineTransform::identity());
    if (window) v->setFrame(window->bounds());
  });
  v->setAutoresizingMask(mask);
}

void ViewController::runAfterTransition() {
  auto pending = std::move(m_afterTransition);
  m_afterTransition.clear();
  for (auto& fn : pending) fn();
}

// ---------------------------------------------------------------------------------------------
// Rotation and status bar

bool ViewController::supportsInterfaceOrientation(InterfaceOrientation orientation) const {
  if (shouldAutorotateToInterfaceOrientation) return shouldAutorotateToInterfaceOrientation(orientation);
  return (supportedInterfaceOrientations() & (1u << static_cast<unsigned>(orientation))) != 0;
}

void ViewController::setNeedsStatusBarAppearanceUpdate() { updateStatusBarAppearance(); }

void ViewController::updateStatusBarAppearance() {
  if (!g_controllerBasedStatusBar) return;
  Window* window = Application::shared().keyWindow();
  if (!window || !window->rootViewController()) return;
  ViewController* vc = window->rootViewController().get();
  // Down through full-screen presentations, then into the children that decide.
  for (int depth = 0; depth < 64; ++depth) {
    ViewController* root = vc->containerRoot();
    if (root->m_presented && coversPresenter(root->m_presented->m_presentationStyle, window->bounds()) &&
        !root->m_presented->m_beingDismissed) {
      vc = root->m_presented.get();
      continue;
    }
    ViewController* child = vc->childViewControllerForStatusBarStyle();
    if (!child || child == vc) break;
    vc = child;
  }
  Application::shared().setStatusBarStyle(vc->preferredStatusBarStyle());
  Application::shared().setStatusBarHidden(vc->prefersStatusBarHidden());
}

void ViewController::setControllerBasedStatusBarAppearance(bool on) { g_controllerBasedStatusBar = on; }

bool ViewController::controllerBasedStatusBarAppearance() { return g_controllerBasedStatusBar; }

// ---------------------------------------------------------------------------------------------
// Storyboards

void ViewController::setStoryboard(std::shared_ptr<Storyboard> storyboard, std::string identifier) {
  m_storyboard = std::move(storyboard);
  m_storyboardIdentifier = std::move(identifier);
}

void ViewController::performSegueWithIdentifier(const std::string& identifier, Responder* sender) {
  auto keep = sharedController();
  if (!m_storyboard) {
    KT_LOG("A controller not made from a storyboard has no segue \"%s\"", identifier.c_str());
    return;
  }
  auto board = m_storyboard;
  auto segue = board->makeSegue(keep, identifier);
  if (!segue) return;
  prepareForSegue(*segue, sender);
  segue->perform();
}

void ViewController::triggerSegueWithIdentifier(const std::string& identifier, Responder* sender) {
  auto keep = sharedController();
  if (!shouldPerformSegueWithIdentifier(identifier, sender)) return;
  performSegueWithIdentifier(identifier, sender);
}

// ---------------------------------------------------------------------------------------------
// Responder

Responder* ViewController::nextResponder() const {
  if (m_view && m_view->superview()) return m_view->superview();
  return m_parent;
}

}  // namespace ui
