#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/gfx/Color.h"
#include "platform/ui/Control.h"

namespace ui {

class ActivityIndicatorView;
class Label;
class ScrollView;

// Pull-to-refresh for a scroll view (table views take it as their refresh control; any scroll
// view takes it as a subview). The control sits just above the top of the content, the width of
// the scroll view. Pulling the content down more than TriggerDistance beyond its resting top
// while dragging begins refreshing and sends ControlEventValueChanged once (isRefreshing() is
// already true inside the action). While refreshing, the scroll view's top inset is larger by
// the control's height, so the content comes to rest below the spinner; endRefreshing takes the
// extra inset away again and animates the content back up when it was showing the control.
//
// beginRefreshing() called by code sends no event and does not move the content: the spinner
// shows once the content is at its top.
class RefreshControl : public Control {
 public:
  static constexpr double Height = 60;
  static constexpr double TriggerDistance = 60;
  static constexpr double EndAnimationDuration = 0.3;

  static std::shared_ptr<RefreshControl> create() { return std::make_shared<RefreshControl>(); }
  RefreshControl();
  ~RefreshControl() override;

  bool isRefreshing() const { return m_refreshing; }
  void beginRefreshing();
  void endRefreshing();

  // The spinner's and the title's colour: gray unless set. (Not inherited from the superview.)
  gfx::Color tintColor() const;
  void setTintColor(std::optional<gfx::Color> color);
  // Plain text shown under the spinner; nothing when unset.
  const std::optional<std::string>& attributedTitle() const { return m_title; }
  void setAttributedTitle(std::optional<std::string> title);

  // The scroll view it is attached to (its superview), or null.
  ScrollView* scrollView() const;
  // How far the content is pulled below its resting top (0 when not pulled).
  double pullDistance() const;
  // The inset this control has added to the scroll view's top (Height while refreshing).
  double addedTopInset() const { return m_addedInset; }

  const std::shared_ptr<ActivityIndicatorView>& spinner() const { return m_spinner; }
  const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }

  void layoutSubviews() override;
  void willMoveToSuperview(View* newSuperview) override;
  void didMoveToSuperview() override;
  // Pulling is all it reacts to: touches go to the scroll view.
  std::shared_ptr<View> hitTest(gfx::Point p, const Event* event) override;
  bool drawsContent() const override { return false; }

 private:
  void contentOffsetChanged(gfx::Point newOffset);
  void startRefreshing();
  void setAddedInset(double inset);
  void updateAppearance();

  std::shared_ptr<ActivityIndicatorView> m_spinner;
  std::shared_ptr<Label> m_titleLabel;
  std::optional<gfx::Color> m_tint;
  std::optional<std::string> m_title;
  bool m_refreshing = false;
  // Set when a pull has begun refreshing; cleared once the finger is off the content.
  bool m_triggeredThisDrag = false;
  double m_addedInset = 0;
};

}  // namespace ui
