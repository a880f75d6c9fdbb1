#include "widgets/feedback/PRRefreshStateHeader.h"

#include <algorithm>

#include "platform/ui/Label.h"
#include "widgets/feedback/BundlePRRefresh.h"
#include "widgets/feedback/LabelPRRefresh.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

ui::Label& PRRefreshStateHeader::lastUpdatedTimeLabel() {
  if (!m_lastUpdatedTimeLabel) {
    m_lastUpdatedTimeLabel = pr_label();
    addSubview(m_lastUpdatedTimeLabel);
  }
  return *m_lastUpdatedTimeLabel;
}

void PRRefreshStateHeader::setTitle(const std::optional<std::string>& title, PRRefreshState state) {
  m_titles.setTitle(title, state, *this, this->state());
}

void PRRefreshStateHeader::setLastUpdatedTimeKey(const std::string& key) {
  PRRefreshHeader::setLastUpdatedTimeKey(key);
  ui::Label& label = lastUpdatedTimeLabel();
  if (label.isHidden()) return;
  const std::optional<core::Date> date = lastUpdatedTime();
  if (m_lastUpdatedTimeText) {
    label.setText(m_lastUpdatedTimeText(date));
    return;
  }
  const std::string lastTime = pr_localizedStringForKey("PRRefreshHeaderLastTimeText");
  if (!date) {
    label.setText(lastTime + pr_localizedStringForKey("PRRefreshHeaderNoneLastDateText"));
    return;
  }
  // The calendar is in the time zone the date formatter writes in.
  const core::Calendar calendar = currentCalendar();
  const core::Calendar::Components then = calendar.components(*date);
  const core::Calendar::Components now = calendar.components(core::Date::now());
  std::string today;
  const char* pattern = "yyyy-MM-dd HH:mm";
  if (then.year == now.year && then.month == now.month && then.day == now.day) {
    pattern = " HH:mm";
    today = pr_localizedStringForKey("PRRefreshHeaderDateTodayText");
  } else if (then.year == now.year) {
    pattern = "MM-dd HH:mm";
  }
  label.setText(lastTime + today + date->format(pattern));
}

void PRRefreshStateHeader::prepare() {
  PRRefreshHeader::prepare();
  m_labelLeftInset = 25;
  setTitle(pr_localizedStringForKey("PRRefreshHeaderIdleText"), PRRefreshState::Idle);
  setTitle(pr_localizedStringForKey("PRRefreshHeaderPullingText"), PRRefreshState::Pulling);
  setTitle(pr_localizedStringForKey("PRRefreshHeaderRefreshingText"), PRRefreshState::Refreshing);
}

void PRRefreshStateHeader::placeSubviews() {
  PRRefreshHeader::placeSubviews();
  ui::Label& stateText = stateLabel();
  if (stateText.isHidden()) return;
  ui::Label& timeText = lastUpdatedTimeLabel();
  if (timeText.isHidden()) {
    stateText.setFrame(bounds());
    return;
  }
  const double h = pr_h(*this);
  stateText.setFrame(gfx::Rect(0, 0, pr_w(*this), h * 0.5));
  timeText.setFrame(gfx::Rect(0, h * 0.5, pr_w(*this), h - h * 0.5));
}

void PRRefreshStateHeader::setState(PRRefreshState newState) {
  if (newState == state()) return;
  PRRefreshHeader::setState(newState);
  m_titles.show(newState, *this);
  // The last-updated text is rebuilt on every change.
  setLastUpdatedTimeKey(lastUpdatedTimeKey());
}

double PRRefreshStateHeader::textWidth() {
  if (stateLabel().isHidden()) return 0;
  double width = pr_textWith(stateLabel());
  if (!lastUpdatedTimeLabel().isHidden()) width = std::max(width, pr_textWith(lastUpdatedTimeLabel()));
  return width;
}

}  // namespace kt
