#pragma once

#include "widgets/feedback/PRRefreshBackFooter.h"
#include "widgets/feedback/PRRefreshStateTitles.h"

namespace kt {

// A pull-up footer with a state text.
class PRRefreshBackStateFooter : public PRRefreshBackFooter {
 public:
  using PRRefreshBackFooter::PRRefreshBackFooter;

  ui::Label& stateLabel() { return m_titles.label(*this); }
  const std::map<PRRefreshState, std::string>& stateTitles() const { return m_titles.titles(); }
  // A missing text is ignored.
  void setTitle(const std::optional<std::string>& title, PRRefreshState state);
  std::optional<std::string> titleForState(PRRefreshState state) const { return m_titles.titleForState(state); }
  double labelLeftInset() const { return m_labelLeftInset; }
  void setLabelLeftInset(double inset) { m_labelLeftInset = inset; }

  void prepare() override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 private:
  PRRefreshStateTitles m_titles;
  double m_labelLeftInset = 25;
};

}  // namespace kt
