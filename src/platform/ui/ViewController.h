#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/Application.h"
#include "platform/ui/Responder.h"
#include "platform/core/WeakPtr.h"

namespace ui {

class Button;
class NavigationController;
class Storyboard;
class StoryboardSegue;
class TabBarController;
class TabBarItem;
class View;

// Numbered as the platform numbered them.
enum class ModalPresentationStyle { FullScreen = 0, PageSheet = 1, FormSheet = 2, CurrentContext = 3 };
enum class ModalTransitionStyle { CoverVertical = 0, FlipHorizontal = 1, CrossDissolve = 2 };

// What a navigation bar shows while its controller is on top: a title (or a view in its place)
// and buttons at either end.
class NavigationItem {
 public:
  const std::optional<std::string>& title() const { return m_title; }
  void setTitle(std::optional<std::string> title);
  const std::shared_ptr<View>& titleView() const { return m_titleView; }
  void setTitleView(std::shared_ptr<View> view);
  const std::shared_ptr<Button>& leftBarButtonItem() const { return m_left; }
  void setLeftBarButtonItem(std::shared_ptr<Button> button);
  const std::shared_ptr<Button>& rightBarButtonItem() const { return m_right; }
  void setRightBarButtonItem(std::shared_ptr<Button> button);
  bool hidesBackButton() const { return m_hidesBackButton; }
  void setHidesBackButton(bool hides);

  // Called after each change (the navigation bar showing the item refreshes itself).
  void setChangeHandler(std::function<void()> handler) { m_changed = std::move(handler); }

 private:
  void changed() {
    if (m_changed) m_changed();
  }
  std::optional<std::string> m_title;
  std::shared_ptr<View> m_titleView;
  std::shared_ptr<Button> m_left;
  std::shared_ptr<Button> m_right;
  bool m_hidesBackButton = false;
  std::function<void()> m_changed;
};

// Manages one screen: its root view (made on first use), the appearance callbacks as the view
// comes and goes, child controllers, modal presentation, rotation and status bar preferences, and
// the storyboard segues that start from it. Controllers are held by std::shared_ptr (create them
// with std::make_shared); the root view's next responder is the controller.
class ViewController : public Responder {
 public:
  // With a nib name, the default loadView takes the first view among the nib's top-level objects.
  explicit ViewController(std::string nibName = {});
  ~ViewController() override;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  std::shared_ptr<ViewController> sharedController() {
    return std::static_pointer_cast<ViewController>(weak_from_this().lock());
  }

  // ---- The view ----
  // Loads the view on first use: loadView, then viewDidLoad.
  const std::shared_ptr<View>& view();
  void setView(std::shared_ptr<View> view);
  bool isViewLoaded() const { return m_view != nullptr; }
  const std::string& nibName() const { return m_nibName; }
  // Makes the view: the nib's first view, or else a plain view the size of the screen with no
  // background colour. An override sets the view with setView.
  virtual void loadView();
  virtual void viewDidLoad() {}
  // Kept for screens that release what viewDidLoad made; never called now that views stay loaded
  // across memory warnings.
  virtual void viewDidUnload() {}
  // Called on the application's memory warning notification.
  virtual void didReceiveMemoryWarning() {}
  virtual void viewWillLayoutSubviews() {}
  virtual void viewDidLayoutSubviews() {}

  // ---- Appearance ----
  virtual void viewWillAppear(bool /*animated*/) {}
  virtual void viewDidAppear(bool /*animated*/) {}
  virtual void viewWillDisappear(bool /*animated*/) {}
  virtual void viewDidDisappear(bool /*animated*/) {}
  // Containers mark their children's transitions with these. Each transition calls the "will"
  // callback once and the matching "did" once; a begin that does not change the state is ignored.
  // The calls are passed on to the children that are shown (appearanceChildren).
  void beginAppearanceTransition(bool isAppearing, bool animated);
  void endAppearanceTransition();
  enum class AppearanceState { Disappeared, Appearing, Appeared, Disappearing };
  AppearanceState appearanceState() const { return m_appearance; }
  bool isBeingPresented() const { return m_beingPresented; }
  bool isBeingDismissed() const { return m_beingDismissed; }
  bool isMovingToParentViewController() const { return m_movingToParent; }
  bool isMovingFromParentViewController() const { return m_movingFromParent; }

  // ---- Title and items ----
  const std::optional<std::string>& title() const { return m_title; }
  // Also the navigation item's and the tab bar item's title.
  void setTitle(std::optional<std::string> title);
  // The size the controller's content would like in a container that asks (a popover); zero when
  // unset.
  gfx::Size preferredContentSize() const { return m_preferredContentSize; }
  void setPreferredContentSize(gfx::Size size) { m_preferredContentSize = size; }
  using TitleObserver = std::function<void(const std::optional<std::string>& oldTitle,
                                           const std::optional<std::string>& newTitle)>;
  void addTitleObserver(const core::WeakToken& owner, TitleObserver observer);
  void removeTitleObservers(const core::WeakToken& owner);
  const std::shared_ptr<TabBarItem>& tabBarItem();
  void setTabBarItem(std::shared_ptr<TabBarItem> item) { m_tabBarItem = std::move(item); }
  NavigationItem& navigationItem() { return m_navigationItem; }
  bool hidesBottomBarWhenPushed() const { return m_hidesBottomBarWhenPushed; }
  void setHidesBottomBarWhenPushed(bool hides) { m_hidesBottomBarWhenPushed = hides; }

  // ---- Children ----
  ViewController* parentViewController() const { return m_parent; }
  const std::vector<std::shared_ptr<ViewController>>& childViewControllers() const { return m_children; }
  // Calls the child's willMoveToParentViewController(this); the caller adds its view and calls
  // didMoveToParentViewController(this).
  void addChildViewController(std::shared_ptr<ViewController> child);
  // Calls didMoveToParentViewController(nullptr); the caller calls willMove... before.
  void removeFromParentViewController();
  virtual void willMoveToParentViewController(ViewController* /*parent*/) {}
  virtual void didMoveToParentViewController(ViewController* /*parent*/) {}
  // The nearest navigation (tab bar) controller among the ancestors.
  NavigationController* navigationController() const;
  TabBarController* tabBarController() const;

  // ---- Modal presentation ----
  using Completion = std::function<void()>;
  static constexpr double PresentationDuration = 0.3;
  // Shows `controller` over the screen (as its modal style says) in a transition: slides up from
  // the bottom when animated, loaded and laid out in its own shape first, without animation.
  // Refused with a log line while this controller already presents one or a presentation runs,
  // and when this controller's view is not in a window.
  void presentViewController(std::shared_ptr<ViewController> controller, bool animated, Completion completion = nullptr);
  // Dismisses what this controller presents, or this controller (or its container) when it is
  // presented. When nothing is presented the call does nothing but the completion still runs (on
  // the run loop). A dismissal asked for while a presentation runs follows it. When what stays
  // needs the interface turned back, it turns as the dismissal starts.
  void dismissViewControllerAnimated(bool animated, Completion completion = nullptr);
  void presentModalViewController(std::shared_ptr<ViewController> controller, bool animated) {
    presentViewController(std::move(controller), animated);
  }
  void dismissModalViewControllerAnimated(bool animated) { dismissViewControllerAnimated(animated); }
  ViewController* presentedViewController() const;
  ViewController* presentingViewController() const;
  ViewController* modalViewController() const { return presentedViewController(); }
  ModalPresentationStyle modalPresentationStyle() const { return m_presentationStyle; }
  void setModalPresentationStyle(ModalPresentationStyle style) { m_presentationStyle = style; }
  ModalTransitionStyle modalTransitionStyle() const { return m_transitionStyle; }
  void setModalTransitionStyle(ModalTransitionStyle style) { m_transitionStyle = style; }
  // The size of the form sheet card.
  static constexpr double FormSheetWidth = 540;
  static constexpr double FormSheetHeight = 620;

  // ---- Rotation and status bar ----
  virtual unsigned supportedInterfaceOrientations() const { return OrientationMaskAll; }
  virtual bool shouldAutorotate() const { return true; }
  // The older per-orientation question, as a slot: a controller that answers it sets it (usually
  // in its constructor); it is consulted only when set.
  std::function<bool(InterfaceOrientation orientation)> shouldAutorotateToInterfaceOrientation;
  // Whether the interface may turn to `orientation`: the older question when answered, else the
  // supported mask.
  bool supportsInterfaceOrientation(InterfaceOrientation orientation) const;
  virtual StatusBarStyle preferredStatusBarStyle() const { return StatusBarStyle::Default; }
  virtual bool prefersStatusBarHidden() const { return false; }
  // The child whose status bar preferences count instead of this controller's (null: this one).
  virtual ViewController* childViewControllerForStatusBarStyle() const { return nullptr; }
  // Applies the status bar preferences of the top-most full-screen controller of the key window
  // to the application. Transitions call it when they end.
  void setNeedsStatusBarAppearanceUpdate();
  static void updateStatusBarAppearance();
  // Whether the controllers decide the status bar's style (on by default).
  static void setControllerBasedStatusBarAppearance(bool on);
  static bool controllerBasedStatusBarAppearance();

  // ---- Storyboards ----
  const std::shared_ptr<Storyboard>& storyboard() const { return m_storyboard; }
  const std::string& storyboardIdentifier() const { return m_storyboardIdentifier; }
  void setStoryboard(std::shared_ptr<Storyboard> storyboard, std::string identifier);
  // Looks the segue up among this controller's scene's segues, makes the destination, calls
  // prepareForSegue and performs it. Unknown identifiers are logged and ignored.
  // Like the platform, this does not ask shouldPerformSegueWithIdentifier.
  void performSegueWithIdentifier(const std::string& identifier, Responder* sender);
  // A segue set off by the user (a control wired to it): asks shouldPerformSegueWithIdentifier
  // first.
  void triggerSegueWithIdentifier(const std::string& identifier, Responder* sender);
  virtual void prepareForSegue(StoryboardSegue& /*segue*/, Responder* /*sender*/) {}
  virtual bool shouldPerformSegueWithIdentifier(const std::string& /*identifier*/, Responder* /*sender*/) { return true; }

  // ---- Responder ----
  // The view's superview, or the parent controller when the view is not in a tree.
  Responder* nextResponder() const override;

 protected:
  // The children that are shown now and so follow this controller's appearance transitions.
  // The default: every child whose view is inside this controller's view.
  virtual std::vector<std::shared_ptr<ViewController>> appearanceChildren() const;
  // Containers mark a child moving in or out of them while they run its transition.
  static void setMovingToParent(ViewController& vc, bool moving) { vc.m_movingToParent = moving; }
  static void setMovingFromParent(ViewController& vc, bool moving) { vc.m_movingFromParent = moving; }
  // The frame of the window's or the screen's bounds a full-screen view takes.
  static gfx::Rect screenBounds(const View* reference);

 private:
  void dismissPresented(bool animated, Completion completion);
  // When presenting over the whole window turns the interface (by `turns` quarter turns on the
  // display), the presenter's view keeps its own shape and is turned back against the display,
  // so that it shows as it did until it is covered; when the dismissal turns the interface back,
  // the leaving screen's view does the same while it leaves. Autoresizing is off meanwhile.
  // Released with the turn undone: laid out in the window (when given) as the interface is then.
  void holdShape(Window& window, gfx::Size size, int turns);
  void releaseShape(Window* window);
  ViewController* containerRoot();
  void runAfterTransition();

  std::string m_nibName;
  std::shared_ptr<View> m_view;
  bool m_loadingView = false;
  AppearanceState m_appearance = AppearanceState::Disappeared;
  bool m_appearanceAnimated = false;
  bool m_beingPresented = false;
  bool m_beingDismissed = false;
  bool m_movingToParent = false;
  bool m_movingFromParent = false;

  std::optional<std::string> m_title;
  gfx::Size m_preferredContentSize;
  struct TitleObserverEntry {
    core::WeakToken owner;
    TitleObserver fn;
  };
  std::vector<TitleObserverEntry> m_titleObservers;
  std::shared_ptr<TabBarItem> m_tabBarItem;
  NavigationItem m_navigationItem;
  bool m_hidesBottomBarWhenPushed = false;

  // Not owned: cleared by the parent when it goes or drops the child.
  ViewController* m_parent = nullptr;
  std::vector<std::shared_ptr<ViewController>> m_children;

  // The presenter owns what it presents; the back-pointer is cleared on dismissal or teardown.
  std::shared_ptr<ViewController> m_presented;
  ViewController* m_presenting = nullptr;
  ModalPresentationStyle m_presentationStyle = ModalPresentationStyle::FullScreen;
  ModalTransitionStyle m_transitionStyle = ModalTransitionStyle::CoverVertical;
  // While presented as a sheet: the dimming view behind it. While presenting: whether this
  // controller hid its own view once it was covered.
  std::shared_ptr<View> m_dimmingView;
  bool m_hidViewForPresentation = false;
  struct HeldShape {
    unsigned autoresizingMask = 0;
  };
  std::optional<HeldShape> m_heldShape;
  bool m_transitionRunning = false;
  std::vector<std::function<void()>> m_afterTransition;

  std::shared_ptr<Storyboard> m_storyboard;
  std::string m_storyboardIdentifier;
  core::Observation m_memoryWarning;
};

}  // namespace ui
