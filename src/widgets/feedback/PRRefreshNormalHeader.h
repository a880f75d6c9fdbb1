#pragma once

#include "widgets/feedback/PRRefreshArrow.h"
#include "widgets/feedback/PRRefreshSpinner.h"
#include "widgets/feedback/PRRefreshStateHeader.h"

namespace kt {

// The header of the song lists: an arrow left of the texts that turns once the pull is far
// enough, and a spinner in its place while refreshing.
class PRRefreshNormalHeader : public PRRefreshStateHeader {
 public:
  using PRRefreshStateHeader::PRRefreshStateHeader;

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
