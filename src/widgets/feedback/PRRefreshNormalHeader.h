#pragma once

#include "widgets/feedback/PRRefreshArrow.h"
#include "widgets/feedback/PRRefreshSpinner.h"
#include "widgets/feedback/PRRefreshStateHeader.h"

namespace kt {

// The header of the song lists: an arrow left of the texts that turns once the pull is far
// enough, and a spinner in its place while refreshing.
class PRRefreshNormalHeader : public PRRefreshWithSpinner<PRRefreshStateHeader> {
 public:
  using PRRefreshWithSpinner::PRRefreshWithSpinner;

  ui::ImageView& arrowView() { return m_arrow.view(*this); }

  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 private:
  PRRefreshArrow m_arrow;
};

}  // namespace kt
