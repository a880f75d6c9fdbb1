#pragma once

#include <memory>

#include "platform/ui/ActivityIndicatorView.h"

namespace kt {

// The spinner of a refresh control: made on first use with the current style, hidden while
// stopped, added to the control. The control refers to it weakly.
class PRRefreshSpinner {
 public:
  ui::ActivityIndicatorView& view(ui::View& owner);
  ui::ActivityIndicatorStyle style() const { return m_style; }
  // The next use makes a spinner of the new style; the one made before is taken off the control,
  // so no stray spinner stays behind.
  void setStyle(ui::ActivityIndicatorStyle style, ui::View& owner);

 private:
  ui::ActivityIndicatorStyle m_style = ui::ActivityIndicatorStyle::Gray;
  std::weak_ptr<ui::ActivityIndicatorView> m_view;
};

}  // namespace kt
