#pragma once

#include "widgets/feedback/PRRefreshArrow.h"
#include "widgets/feedback/PRRefreshBackStateFooter.h"
#include "widgets/feedback/PRRefreshSpinner.h"

namespace kt {

// A pull-up footer with an arrow left of the text (pointing up once the pull is far enough) and a
// spinner in its place while loading.
class PRRefreshBackNormalFooter : public PRRefreshWithSpinner<PRRefreshBackStateFooter> {
 public:
  using PRRefreshWithSpinner::PRRefreshWithSpinner;

  ui::ImageView& arrowView() { return m_arrow.view(*this); }

  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 private:
  PRRefreshArrow m_arrow;
};

}  // namespace kt
