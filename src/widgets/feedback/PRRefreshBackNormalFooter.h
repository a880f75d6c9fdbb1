#pragma once

#include "widgets/feedback/PRRefreshArrow.h"
#include "widgets/feedback/PRRefreshBackStateFooter.h"
#include "widgets/feedback/PRRefreshSpinner.h"

namespace kt {

// A pull-up footer with an arrow left of the text (pointing up once the pull is far enough) and a
// spinner in its place while loading.
class PRRefreshBackNormalFooter : public PRRefreshBackStateFooter {
 public:
  using PRRefreshBackStateFooter::PRRefreshBackStateFooter;

  ui::ImageView& arrowView() { return m_arrow.view(*this); }
  ui::ActivityIndicatorView& loadingView() { return m_spinner.view(*this); }
  ui::ActivityIndicatorStyle activityIndicatorViewStyle() const { return m_spinner.style(); }
  void setActivityIndicatorViewStyle(ui::ActivityIndicatorStyle style) { m_spinner.setStyle(style, *this); }

  void prepare() override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 private:
  PRRefreshArrow m_arrow;
  PRRefreshSpinner m_spinner;
};

}  // namespace kt
