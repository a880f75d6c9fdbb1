#include "widgets/feedback/PRRefreshBackNormalFooter.h"

#include <numbers>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "widgets/feedback/LabelPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {
namespace {

// At rest the arrow points up the list: just short of a half turn from the picture.
const gfx::AffineTransform RestingArrow = gfx::AffineTransform::rotation(0.000001 - std::numbers::pi);

}  // namespace

void PRRefreshBackNormalFooter::placeSubviews() {
  PRRefreshBackStateFooter::placeSubviews();
  double centerX = pr_w(*this) * 0.5;
  if (!stateLabel().isHidden()) centerX -= labelLeftInset() + pr_textWith(stateLabel()) * 0.5;
  const gfx::Point center{centerX, pr_h(*this) * 0.5};
  m_arrow.place(center, *this);
  loadingView().setCenter(center);
  m_arrow.setTint(stateLabel().textColor(), *this);
}

void PRRefreshBackNormalFooter::setState(PRRefreshState newState) {
  const PRRefreshState old = state();
  if (newState == old) return;
  PRRefreshBackStateFooter::setState(newState);

  ui::ImageView& arrow = arrowView();
  ui::ActivityIndicatorView& spinner = loadingView();
  if (newState == PRRefreshState::Idle) {
    if (old == PRRefreshState::Refreshing) {
      arrow.setTransform(RestingArrow);
      m_spinner.fadeOut(*this, nullptr, [this] { arrowView().setHidden(false); });
    } else {
      arrow.setHidden(false);
      spinner.stopAnimating();
      ui::View::animate(0.25, [this] { arrowView().setTransform(RestingArrow); });
    }
  } else if (newState == PRRefreshState::Pulling) {
    arrow.setHidden(false);
    spinner.stopAnimating();
    ui::View::animate(0.25, [this] { arrowView().setTransform(gfx::AffineTransform::identity()); });
  } else if (newState == PRRefreshState::Refreshing) {
    arrow.setHidden(true);
    spinner.startAnimating();
  } else if (newState == PRRefreshState::NoMoreData) {
    arrow.setHidden(true);
    spinner.stopAnimating();
  }
}

}  // namespace kt
