#include "widgets/feedback/PRRefreshStateTitles.h"

#include "platform/ui/Label.h"
#include "widgets/feedback/LabelPRRefresh.h"

namespace kt {

ui::Label& PRRefreshStateTitles::label(ui::View& owner) {
  if (!m_label) {
    m_label = pr_label();
    owner.addSubview(m_label);
  }
  return *m_label;
}

std::optional<std::string> PRRefreshStateTitles::titleForState(PRRefreshState state) const {
  auto it = m_titles.find(state);
  if (it == m_titles.end()) return std::nullopt;
  return it->second;
}

void PRRefreshStateTitles::setTitle(const std::optional<std::string>& title, PRRefreshState state, ui::View& owner,
                                    PRRefreshState current) {
  if (!title) return;
  m_titles[state] = *title;
  show(current, owner);
}

void PRRefreshStateTitles::show(PRRefreshState state, ui::View& owner) {
  label(owner).setText(titleForState(state).value_or(""));
}

}  // namespace kt
