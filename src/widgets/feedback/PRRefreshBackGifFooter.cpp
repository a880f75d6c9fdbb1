#include "widgets/feedback/PRRefreshBackGifFooter.h"

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "widgets/feedback/LabelPRRefresh.h"

namespace kt {

void PRRefreshBackGifFooter::setPullingPercent(double percent) {
  PRRefreshBackStateFooter::setPullingPercent(percent);
  if (state() == PRRefreshState::Idle) m_images.showFraction(PRRefreshState::Idle, percent, *this);
}

void PRRefreshBackGifFooter::placeSubviews() {
  PRRefreshBackStateFooter::placeSubviews();
  m_images.place(*this, !stateLabel().isHidden(), pr_textWith(stateLabel()), labelLeftInset());
}

void PRRefreshBackGifFooter::setState(PRRefreshState newState) {
  if (newState == state()) return;
  PRRefreshBackStateFooter::setState(newState);
  if (newState == PRRefreshState::Pulling || newState == PRRefreshState::Refreshing) {
    if (m_images.imagesFor(newState)) gifView().setHidden(false);
    m_images.play(newState, *this);
  } else if (newState == PRRefreshState::Idle) {
    gifView().setHidden(false);
  } else if (newState == PRRefreshState::NoMoreData) {
    gifView().setHidden(true);
  }
}

}  // namespace kt
