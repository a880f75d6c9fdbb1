#include "widgets/feedback/PRRefreshGifHeader.h"

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace kt {

void PRRefreshGifHeader::setPullingPercent(double percent) {
  PRRefreshStateHeader::setPullingPercent(percent);
  if (state() == PRRefreshState::Idle) m_images.showFraction(PRRefreshState::Idle, percent, *this);
}

void PRRefreshGifHeader::placeSubviews() {
  PRRefreshStateHeader::placeSubviews();
  const bool hasText = !stateLabel().isHidden() || !lastUpdatedTimeLabel().isHidden();
  m_images.place(*this, hasText, textWidth(), labelLeftInset());
}

void PRRefreshGifHeader::setState(PRRefreshState newState) {
  if (newState == state()) return;
  PRRefreshStateHeader::setState(newState);
  if (newState == PRRefreshState::Pulling || newState == PRRefreshState::Refreshing) {
    m_images.play(newState, *this);
  } else if (newState == PRRefreshState::Idle) {
    gifView().stopAnimating();
  }
}

}  // namespace kt
