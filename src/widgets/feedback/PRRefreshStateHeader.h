#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Calendar.h"
#include "widgets/feedback/PRRefreshHeader.h"
#include "widgets/feedback/PRRefreshStateTitles.h"

namespace kt {

// A header with a state text and a "last updated" text under it.
class PRRefreshStateHeader : public PRRefreshHeader {
 public:
  // Makes the whole last-updated text from the date of the last refresh (none before the first).
  using LastUpdatedTimeText = std::function<std::string(const std::optional<core::Date>& date)>;

  using PRRefreshHeader::PRRefreshHeader;

  ui::Label& stateLabel() { return m_titles.label(*this); }
  ui::Label& lastUpdatedTimeLabel();
  const std::map<PRRefreshState, std::string>& stateTitles() const { return m_titles.titles(); }
  // A missing text is ignored.
  void setTitle(const std::optional<std::string>& title, PRRefreshState state);

  // Rebuilds the last-updated text from the date stored under the key (unless its label is hidden).
  void setLastUpdatedTimeKey(const std::string& key) override;
  // The calendar the last-updated text reads dates with: the Gregorian one (the only one the
  // platform makes) in the default time zone.
  core::Calendar currentCalendar() const { return core::Calendar(); }
  const LastUpdatedTimeText& lastUpdatedTimeText() const { return m_lastUpdatedTimeText; }
  void setLastUpdatedTimeText(LastUpdatedTimeText block) { m_lastUpdatedTimeText = std::move(block); }
  double labelLeftInset() const { return m_labelLeftInset; }
  void setLabelLeftInset(double inset) { m_labelLeftInset = inset; }

  void prepare() override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 protected:
  // The wider of the shown texts (0 when the state text is hidden).
  double textWidth();

 private:
  PRRefreshStateTitles m_titles;
  std::shared_ptr<ui::Label> m_lastUpdatedTimeLabel;
  LastUpdatedTimeText m_lastUpdatedTimeText;
  double m_labelLeftInset = 25;
};

}  // namespace kt
