#include "widgets/feedback/PRRefreshComponent.h"

#include <algorithm>

#include "platform/core/Queue.h"
#include "platform/core/ThreadCheck.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

PRRefreshComponent::PRRefreshComponent(const gfx::Rect& frame) : ui::View(frame) {}

PRRefreshComponent::~PRRefreshComponent() { removeObservers(); }

void PRRefreshComponent::prepare() {
  setAutoresizingMask(ui::AutoresizingFlexibleWidth);
  setBackgroundColor(gfx::Color::clear());
}

void PRRefreshComponent::layoutSubviews() {
  placeSubviews();
  ui::View::layoutSubviews();
}

void PRRefreshComponent::runOnMainQueue(std::function<void()> step, double delay) {
  std::weak_ptr<ui::Responder> weak = weak_from_this();
  auto task = [weak, step = std::move(step)] {
    if (auto keep = weak.lock()) step();
  };
  if (delay > 0) core::Queue::main()->after(delay, std::move(task));
  else core::Queue::main()->async(std::move(task));
}

void PRRefreshComponent::settleContentOffset(ui::ScrollView& scrollView) {
  if (scrollView.isDragging() || scrollView.isDecelerating()) return;
  gfx::Point offset = scrollView.contentOffset();
  gfx::Point min = scrollView.minimumContentOffset(), max = scrollView.maximumContentOffset();
  gfx::Point settled{std::clamp(offset.x, min.x, max.x), std::clamp(offset.y, min.y, max.y)};
  if (settled != offset) scrollView.setContentOffset(settled);
}

// ---------------------------------------------------------------------------------------------
// Attachment and observation

void PRRefreshComponent::willMoveToSuperview(ui::View* newSuperview) {
  ui::View::willMoveToSuperview(newSuperview);
  // Whatever the new place, the scroll view observed so far is left: a control moved into a plain
  // view must not go on hearing (and reading) the old scroll view.
  removeObservers();
  auto* scroll = dynamic_cast<ui::ScrollView*>(newSuperview);
  if (!scroll) return;
  setPr_w(*this, scroll->bounds().width());
  setPr_x(*this, 0);
  m_scrollView = scroll->weak_from_this();
  scroll->setAlwaysBounceVertical(true);
  m_scrollViewOriginalInset = scroll->contentInset();
  addObservers(*scroll);
}

void PRRefreshComponent::addObservers(ui::ScrollView& scrollView) {
  std::weak_ptr<ui::Responder> weak = weak_from_this();
  m_observerKey = core::WeakToken(weak);
  m_observed = scrollView.weak_from_this();
  // The observers are keyed by this control, so they never outlive it; `this` is alive whenever
  // they run.
  scrollView.addContentOffsetObserver(m_observerKey, [this](gfx::Point oldOffset, gfx::Point newOffset) {
    if (!isUserInteractionEnabled() || isHidden()) return;
    scrollViewContentOffsetDidChange({oldOffset, newOffset});
  });
  scrollView.addContentSizeObserver(m_observerKey, [this](gfx::Size oldSize, gfx::Size newSize) {
    // A hidden control still follows the content's size.
    if (!isUserInteractionEnabled()) return;
    scrollViewContentSizeDidChange({oldSize, newSize});
  });
  m_pan = scrollView.panGestureRecognizer() ? std::static_pointer_cast<ui::PanGestureRecognizer>(
                                                  scrollView.panGestureRecognizer()->shared_from_this())
                                            : nullptr;
  if (m_pan) {
    m_pan->addStateObserver(m_observerKey, [this](ui::GestureRecognizerState oldState,
                                                  ui::GestureRecognizerState newState) {
      if (!isUserInteractionEnabled() || isHidden()) return;
      scrollViewPanStateDidChange({oldState, newState});
    });
  }
}

void PRRefreshComponent::removeObservers() {
  if (m_observerKey.isNull()) return;
  if (auto observed = std::static_pointer_cast<ui::ScrollView>(m_observed.lock())) {
    observed->removeObservers(m_observerKey);
  }
  if (m_pan) m_pan->removeStateObservers(m_observerKey);
  m_pan.reset();
  m_observed.reset();
  m_observerKey = core::WeakToken();
}

std::shared_ptr<ui::ScrollView> PRRefreshComponent::scrollView() const {
  return std::static_pointer_cast<ui::ScrollView>(m_scrollView.lock());
}

// ---------------------------------------------------------------------------------------------
// Drawing and state

void PRRefreshComponent::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  ui::View::drawRect(ctx, rect);
  // Asked to refresh while off screen: it refreshes now that it is shown.
  if (m_state == PRRefreshState::WillRefresh) setState(PRRefreshState::Refreshing);
}

void PRRefreshComponent::setState(PRRefreshState state) {
  KT_ASSERT_MAIN_THREAD();
  m_state = state;
  runOnMainQueue([this] { setNeedsLayout(); });
}

void PRRefreshComponent::setRefreshingTarget(const core::WeakToken& target, Action action) {
  m_refreshingTarget = target;
  m_refreshingAction = std::move(action);
}

void PRRefreshComponent::beginRefreshing() {
  ui::View::animate(0.25, [this] { setAlpha(1.0); });
  setPullingPercent(1.0);
  if (window()) {
    setState(PRRefreshState::Refreshing);
  } else if (m_state != PRRefreshState::Refreshing) {
    setState(PRRefreshState::WillRefresh);
    // drawRect completes the change once the control is shown.
    setNeedsDisplay();
  }
}

void PRRefreshComponent::beginRefreshingWithCompletionBlock(Block block) {
  m_beginRefreshingCompletionBlock = std::move(block);
  beginRefreshing();
}

void PRRefreshComponent::endRefreshing() { setState(PRRefreshState::Idle); }

void PRRefreshComponent::endRefreshingWithCompletionBlock(Block block) {
  m_endRefreshingCompletionBlock = std::move(block);
  endRefreshing();
}

void PRRefreshComponent::callEndRefreshingCompletion() const {
  if (m_endRefreshingCompletionBlock) m_endRefreshingCompletionBlock();
}

void PRRefreshComponent::executeRefreshingCallback() {
  runOnMainQueue([this] {
    auto keep = shared();
    // Copies: a callback may replace the blocks or end the refresh.
    if (Block block = m_refreshingBlock) block();
    if (Action action = m_refreshingAction; action && !m_refreshingTarget.isNull() && !m_refreshingTarget.expired()) {
      action(*this);
    }
    if (Block completion = m_beginRefreshingCompletionBlock) completion();
  });
}

void PRRefreshComponent::setAutomaticallyChangeAlpha(bool on) {
  m_automaticallyChangeAlpha = on;
  if (isRefreshing()) return;
  setAlpha(on ? m_pullingPercent : 1.0);
}

void PRRefreshComponent::setPullingPercent(double percent) {
  m_pullingPercent = percent;
  if (isRefreshing()) return;
  if (m_automaticallyChangeAlpha) setAlpha(percent);
}

}  // namespace kt
