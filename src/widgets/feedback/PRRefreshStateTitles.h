#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "widgets/feedback/PRRefreshComponent.h"

namespace ui {
class Label;
}

namespace kt {

// The state texts of a refresh control and the label that shows them, made on first use and
// added to the control.
class PRRefreshStateTitles {
 public:
  ui::Label& label(ui::View& owner);
  bool hasLabel() const { return m_label != nullptr; }
  const std::map<PRRefreshState, std::string>& titles() const { return m_titles; }
  // The stored title, if any.
  std::optional<std::string> titleForState(PRRefreshState state) const;
  // A missing text is ignored; otherwise it is stored and the label shows the current state's
  // title.
  void setTitle(const std::optional<std::string>& title, PRRefreshState state, ui::View& owner, PRRefreshState current);
  // The label shows the title of the state (empty when there is none).
  void show(PRRefreshState state, ui::View& owner);

 private:
  std::map<PRRefreshState, std::string> m_titles;
  std::shared_ptr<ui::Label> m_label;
};

}  // namespace kt
