#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace ui {
class ActivityIndicatorView;
class Label;
}  // namespace ui

namespace kt {

// The notifier's bar: a centred text that shrinks to fit, and a small white activity indicator
// just left of the text once one has been asked for.
class SNStatusBarView : public ui::View {
 public:
  explicit SNStatusBarView(const gfx::Rect& frame = gfx::Rect());
  ~SNStatusBarView() override;

  // Made (and added to the bar) on first use.
  const std::shared_ptr<ui::Label>& textLabel();
  const std::shared_ptr<ui::ActivityIndicatorView>& activityIndicatorView();
  // Whether the indicator has been made yet (the layout leaves it alone until then).
  bool hasActivityIndicatorView() const { return m_activityIndicatorView != nullptr; }

  double textVerticalPositionAdjustment() const { return m_textVerticalPositionAdjustment; }
  // Moves the text down (positive) or up; asks for a new layout.
  void setTextVerticalPositionAdjustment(double points);

  // The text across the bar (moved by the adjustment); the indicator just left of the centred text.
  void layoutSubviews() override;

 private:
  std::shared_ptr<ui::Label> m_textLabel;
  std::shared_ptr<ui::ActivityIndicatorView> m_activityIndicatorView;
  double m_textVerticalPositionAdjustment = 0;
};

}  // namespace kt
