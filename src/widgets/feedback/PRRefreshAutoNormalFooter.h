#pragma once

#include "widgets/feedback/PRRefreshAutoStateFooter.h"
#include "widgets/feedback/PRRefreshSpinner.h"

namespace kt {

// The footer of the song lists: a spinner left of the state text while loading.
class PRRefreshAutoNormalFooter : public PRRefreshAutoStateFooter {
 public:
  using PRRefreshAutoStateFooter::PRRefreshAutoStateFooter;

  ui::ActivityIndicatorView& loadingView() { return m_spinner.view(*this); }
  ui::ActivityIndicatorStyle activityIndicatorViewStyle() const { return m_spinner.style(); }
  void setActivityIndicatorViewStyle(ui::ActivityIndicatorStyle style) { m_spinner.setStyle(style, *this); }

  void prepare() override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 private:
  PRRefreshSpinner m_spinner;
};

}  // namespace kt
