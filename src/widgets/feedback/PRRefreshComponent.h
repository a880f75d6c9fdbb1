#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/WeakPtr.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/View.h"

namespace ui {
class PanGestureRecognizer;
class ScrollView;
}  // namespace ui

namespace kt {

// The state of every refresh header and footer.
enum class PRRefreshState : int64_t {
  Idle = 1,         // at rest
  Pulling = 2,      // pulled far enough: letting go starts a refresh
  Refreshing = 3,   // the refresh runs
  WillRefresh = 4,  // asked to refresh outside a window: refreshes once it is drawn
  NoMoreData = 5,   // footers: everything is loaded
};

// A change of an observed value of the scroll view.
template <class T>
struct PRRefreshChange {
  T oldValue;
  T newValue;
};

// The base view of the refresh headers and footers: the state machine, the observation of the
// scroll view it is a subview of, the refreshing callback and the begin/end operations.
// Controls are made with create<T>() (which runs prepare() and starts in Idle); the scroll view
// owns them as subviews, and they know their scroll view weakly.
class PRRefreshComponent : public ui::View {
 public:
  using Block = std::function<void()>;
  using Action = std::function<void(PRRefreshComponent&)>;

  template <class T>
  static std::shared_ptr<T> create(const gfx::Rect& frame = gfx::Rect()) {
    auto control = std::make_shared<T>(frame);
    control->prepare();
    control->setState(PRRefreshState::Idle);
    return control;
  }
  template <class T>
  static std::shared_ptr<T> createWithRefreshingBlock(Block block) {
    auto control = create<T>();
    control->setRefreshingBlock(std::move(block));
    return control;
  }
  template <class T>
  static std::shared_ptr<T> createWithRefreshingTarget(const core::WeakToken& target, Action action) {
    auto control = create<T>();
    control->setRefreshingTarget(target, std::move(action));
    return control;
  }

  explicit PRRefreshComponent(const gfx::Rect& frame = gfx::Rect());
  ~PRRefreshComponent() override;

  // ---- Hooks of the subclasses (each override calls the inherited one first) ----
  // Defaults: flexible width, clear background.
  virtual void prepare();
  virtual void placeSubviews() {}
  virtual void scrollViewContentOffsetDidChange(const PRRefreshChange<gfx::Point>& change) { (void)change; }
  virtual void scrollViewContentSizeDidChange(const PRRefreshChange<gfx::Size>& change) { (void)change; }
  virtual void scrollViewPanStateDidChange(const PRRefreshChange<ui::GestureRecognizerState>& change) {
    (void)change;
  }
  // Stores the state and asks for a layout on the main queue. Compares nothing: the subclasses
  // return early when the state does not change.
  virtual void setState(PRRefreshState state);
  virtual void endRefreshing();
  virtual void setPullingPercent(double percent);

  // ---- View ----
  void layoutSubviews() override;
  void willMoveToSuperview(ui::View* newSuperview) override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;

  // ---- Refreshing ----
  // The action is sent (with this control) while the target lives.
  void setRefreshingTarget(const core::WeakToken& target, Action action);
  void beginRefreshing();
  void beginRefreshingWithCompletionBlock(Block block);
  void endRefreshingWithCompletionBlock(Block block);
  bool isRefreshing() const { return m_state == PRRefreshState::Refreshing || m_state == PRRefreshState::WillRefresh; }
  // Calls, on a later turn of the main queue: the refreshing block, the target's action, the
  // begin completion.
  void executeRefreshingCallback();

  // ---- Properties ----
  PRRefreshState state() const { return m_state; }
  double pullingPercent() const { return m_pullingPercent; }
  bool isAutomaticallyChangeAlpha() const { return m_automaticallyChangeAlpha; }
  void setAutomaticallyChangeAlpha(bool on);
  bool isAutoChangeAlpha() const { return isAutomaticallyChangeAlpha(); }
  void setAutoChangeAlpha(bool on) { setAutomaticallyChangeAlpha(on); }
  const Block& refreshingBlock() const { return m_refreshingBlock; }
  void setRefreshingBlock(Block block) { m_refreshingBlock = std::move(block); }
  const Block& beginRefreshingCompletionBlock() const { return m_beginRefreshingCompletionBlock; }
  void setBeginRefreshingCompletionBlock(Block block) { m_beginRefreshingCompletionBlock = std::move(block); }
  const Block& endRefreshingCompletionBlock() const { return m_endRefreshingCompletionBlock; }
  void setEndRefreshingCompletionBlock(Block block) { m_endRefreshingCompletionBlock = std::move(block); }
  // The scroll view's inset when the control was attached (headers and pull-up footers record it
  // again while they are not refreshing).
  const gfx::EdgeInsets& scrollViewOriginalInset() const { return m_scrollViewOriginalInset; }
  // The scroll view the control was last attached to, while it lives.
  std::shared_ptr<ui::ScrollView> scrollView() const;
  const std::shared_ptr<ui::PanGestureRecognizer>& pan() const { return m_pan; }

 protected:
  void setScrollViewOriginalInset(const gfx::EdgeInsets& inset) { m_scrollViewOriginalInset = inset; }
  // Calls the end-of-refresh completion when set.
  void callEndRefreshingCompletion() const;
  // After an inset was given back: a scroll view at rest whose offset now lies outside its range
  // moves to the nearest end of the range (the list slides back under the control).
  static void settleContentOffset(ui::ScrollView& scrollView);
  // Runs `step` on a later turn of the main queue (after `delay` seconds), unless this control has
  // gone by then.
  void runOnMainQueue(std::function<void()> step, double delay = 0);

 private:
  void addObservers(ui::ScrollView& scrollView);
  // Stops observing the scroll view observed last; does nothing when none is observed.
  void removeObservers();

  gfx::EdgeInsets m_scrollViewOriginalInset;
  std::weak_ptr<ui::Responder> m_scrollView;
  bool m_automaticallyChangeAlpha = false;
  Block m_refreshingBlock;
  core::WeakToken m_refreshingTarget;
  Action m_refreshingAction;
  Block m_beginRefreshingCompletionBlock;
  Block m_endRefreshingCompletionBlock;
  // No state yet: create() moves it to Idle after prepare(), as a change like any other.
  PRRefreshState m_state = PRRefreshState{0};
  double m_pullingPercent = 0;
  std::shared_ptr<ui::PanGestureRecognizer> m_pan;
  // The scroll view being observed and the key of the observers, set only while observing.
  std::weak_ptr<ui::Responder> m_observed;
  core::WeakToken m_observerKey;
};

}  // namespace kt
