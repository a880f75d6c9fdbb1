#include "widgets/feedback/PRRefreshNormalHeader.h"

#include <numbers>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {
namespace {

// Just short of a half turn, so that the arrow turns back the way it came.
const double TurnedArrow = 0.000001 - std::numbers::pi;

}  // namespace

void PRRefreshNormalHeader::placeSubviews() {
  PRRefreshStateHeader::placeSubviews();
  double centerX = pr_w(*this) * 0.5;
  if (!stateLabel().isHidden()) centerX -= textWidth() / 2 + labelLeftInset();
  const gfx::Point center{centerX, pr_h(*this) * 0.5};
  m_arrow.place(center, *this);
  loadingView().setCenter(center);
  m_arrow.setTint(stateLabel().textColor(), *this);
}

void PRRefreshNormalHeader::setState(PRRefreshState newState) {
  const PRRefreshState old = state();
  if (newState == old) return;
  PRRefreshStateHeader::setState(newState);

  ui::ImageView& arrow = arrowView();
  ui::ActivityIndicatorView& spinner = loadingView();
  if (newState == PRRefreshState::Idle) {
    if (old == PRRefreshState::Refreshing) {
      arrow.setTransform(gfx::AffineTransform::identity());
      m_spinner.fadeOut(
          *this, [this] { return state() == PRRefreshState::Idle; }, [this] { arrowView().setHidden(false); });
    } else {
      spinner.stopAnimating();
      arrow.setHidden(false);
      ui::View::animate(0.25, [this] { arrowView().setTransform(gfx::AffineTransform::identity()); });
    }
  } else if (newState == PRRefreshState::Pulling) {
    spinner.stopAnimating();
    arrow.setHidden(false);
    ui::View::animate(0.25, [this] { arrowView().setTransform(gfx::AffineTransform::rotation(TurnedArrow)); });
  } else if (newState == PRRefreshState::Refreshing) {
    spinner.setAlpha(1.0);
    spinner.startAnimating();
    arrow.setHidden(true);
  }
}

}  // namespace kt
