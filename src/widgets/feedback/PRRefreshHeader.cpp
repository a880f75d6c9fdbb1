#include "widgets/feedback/PRRefreshHeader.h"

#include <algorithm>

#include "platform/core/UserDefaults.h"
#include "platform/ui/ScrollView.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

void PRRefreshHeader::prepare() {
  PRRefreshComponent::prepare();
  // Through the setter, so that a state header fills its time label at once.
  setLastUpdatedTimeKey(LastUpdatedTimeKey);
  setPr_h(*this, Height);
}

void PRRefreshHeader::placeSubviews() {
  PRRefreshComponent::placeSubviews();
  // Just above the content.
  setPr_y(*this, -pr_h(*this) - m_ignoredScrollViewContentInsetTop);
}

void PRRefreshHeader::scrollViewContentOffsetDidChange(const PRRefreshChange<gfx::Point>& change) {
  PRRefreshComponent::scrollViewContentOffsetDidChange(change);
  auto scroll = scrollView();
  if (!scroll) return;
  const double height = pr_h(*this);

  if (state() == PRRefreshState::Refreshing) {
    if (!window()) return;
    // Scrolling while refreshing: the added inset shrinks as the header leaves the view, between
    // the recorded inset and the recorded inset plus the header's height.
    const double recordedTop = scrollViewOriginalInset().top;
    double top = std::max(-pr_offsetY(*scroll), recordedTop);
    top = std::min(top, height + recordedTop);
    setPr_insetT(*scroll, top);
    m_insetTDelta = recordedTop - top;
    return;
  }

  setScrollViewOriginalInset(scroll->contentInset());
  const double offset = pr_offsetY(*scroll);
  const double happen = -scrollViewOriginalInset().top;
  // Not pulled into view.
  if (offset > happen) return;

  const double threshold = happen - height;
  const double percent = (happen - offset) / height;
  if (scroll->isDragging()) {
    setPullingPercent(percent);
    if (state() == PRRefreshState::Idle && offset < threshold) {
      setState(PRRefreshState::Pulling);
    } else if (state() == PRRefreshState::Pulling && offset >= threshold) {
      setState(PRRefreshState::Idle);
    }
  } else if (state() == PRRefreshState::Pulling) {
    // Let go past the threshold.
    beginRefreshing();
  } else if (percent < 1) {
    setPullingPercent(percent);
  }
}

void PRRefreshHeader::setState(PRRefreshState newState) {
  const PRRefreshState old = state();
  if (newState == old) return;
  PRRefreshComponent::setState(newState);

  if (newState == PRRefreshState::Refreshing) {
    runOnMainQueue([this] {
      ui::View::animate(
          0.25,
          [this] {
            auto scroll = scrollView();
            if (!scroll) return;
            const double top = scrollViewOriginalInset().top + pr_h(*this);
            setPr_insetT(*scroll, top);
            scroll->setContentOffset({0, -top});
          },
          [weak = weak_from_this(), this](bool) {
            if (auto keep = weak.lock()) executeRefreshingCallback();
          });
    });
  } else if (newState == PRRefreshState::Idle && old == PRRefreshState::Refreshing) {
    auto& defaults = core::UserDefaults::standard();
    defaults.setObject(m_lastUpdatedTimeKey, core::Value(core::Date::now()));
    defaults.synchronize();
    std::weak_ptr<ui::Responder> weak = weak_from_this();
    ui::View::animate(
        0.4,
        [this] {
          if (auto scroll = scrollView()) {
            setPr_insetT(*scroll, pr_insetT(*scroll) + m_insetTDelta);
            settleContentOffset(*scroll);
          }
          if (isAutomaticallyChangeAlpha()) setAlpha(0.0);
        },
        [weak, this](bool) {
          auto keep = weak.lock();
          if (!keep) return;
          setPullingPercent(0.0);
          callEndRefreshingCompletion();
        });
  }
}

void PRRefreshHeader::endRefreshing() {
  runOnMainQueue([this] { setState(PRRefreshState::Idle); });
}

std::optional<core::Date> PRRefreshHeader::lastUpdatedTime() const {
  core::Value value = core::UserDefaults::standard().objectForKey(m_lastUpdatedTimeKey);
  if (const core::Date* date = value.asDate()) return *date;
  return std::nullopt;
}

}  // namespace kt
