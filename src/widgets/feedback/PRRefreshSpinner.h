#pragma once

#include <functional>
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
  // At the end of a refresh: fades the spinner out over 0.4 s, then, unless `stillWanted` says
  // otherwise, stops it at full opacity again and calls `then`. Nothing happens afterwards once
  // the owner has gone.
  void fadeOut(ui::View& owner, std::function<bool()> stillWanted, std::function<void()> then);

 private:
  ui::ActivityIndicatorStyle m_style = ui::ActivityIndicatorStyle::Gray;
  std::weak_ptr<ui::ActivityIndicatorView> m_view;
};

// A refresh control of class Base with a spinner (gray unless changed).
template <class Base>
class PRRefreshWithSpinner : public Base {
 public:
  using Base::Base;

  ui::ActivityIndicatorView& loadingView() { return m_spinner.view(*this); }
  ui::ActivityIndicatorStyle activityIndicatorViewStyle() const { return m_spinner.style(); }
  void setActivityIndicatorViewStyle(ui::ActivityIndicatorStyle style) { m_spinner.setStyle(style, *this); }

  void prepare() override {
    Base::prepare();
    setActivityIndicatorViewStyle(ui::ActivityIndicatorStyle::Gray);
  }

 protected:
  PRRefreshSpinner m_spinner;
};

}  // namespace kt
