#pragma once

#include "widgets/feedback/PRRefreshAutoFooter.h"
#include "widgets/feedback/PRRefreshStateTitles.h"

namespace kt {

// An automatic footer with a state text; tapping the text while at rest starts loading.
class PRRefreshAutoStateFooter : public PRRefreshAutoFooter {
 public:
  using PRRefreshAutoFooter::PRRefreshAutoFooter;

  ui::Label& stateLabel() { return m_titles.label(*this); }
  const std::map<PRRefreshState, std::string>& stateTitles() const { return m_titles.titles(); }
  // A missing text is ignored.
  void setTitle(const std::optional<std::string>& title, PRRefreshState state);
  // A tap on the text: starts loading when at rest.
  void stateLabelClick();

  double labelLeftInset() const { return m_labelLeftInset; }
  void setLabelLeftInset(double inset) { m_labelLeftInset = inset; }
  // No text while loading.
  bool isRefreshingTitleHidden() const { return m_refreshingTitleHidden; }
  void setRefreshingTitleHidden(bool hidden) { m_refreshingTitleHidden = hidden; }

  void prepare() override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 private:
  PRRefreshStateTitles m_titles;
  double m_labelLeftInset = 25;
  bool m_refreshingTitleHidden = false;
};

}  // namespace kt
