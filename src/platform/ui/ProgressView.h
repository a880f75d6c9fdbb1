#pragma once

#include <memory>
#include <optional>

#include "platform/ui/View.h"

namespace ui {

enum class ProgressViewStyle { Default = 0, Bar = 1 };

// A thin bar, 2 points high, filled from the left in proportion to the progress (0..1).
class ProgressView : public View {
 public:
  static constexpr double Height = 2;

  static std::shared_ptr<ProgressView> create(ProgressViewStyle style = ProgressViewStyle::Default) {
    return std::make_shared<ProgressView>(style);
  }
  explicit ProgressView(ProgressViewStyle style = ProgressViewStyle::Default);
  // The height is always Height.
  explicit ProgressView(const gfx::Rect& frame, ProgressViewStyle style = ProgressViewStyle::Default);

  ProgressViewStyle progressViewStyle() const { return m_style; }
  void setProgressViewStyle(ProgressViewStyle style);
  double progress() const { return m_progress; }
  // Clamped to 0..1; with `animated` the bar grows or shrinks over 0.25 s.
  void setProgress(double progress, bool animated = false);
  // The bar: the tint colour unless set.
  gfx::Color progressTintColor() const { return m_progressTint.value_or(tintColor()); }
  void setProgressTintColor(std::optional<gfx::Color> color);
  // The track: light gray (clear for the bar style) unless set.
  gfx::Color trackTintColor() const;
  void setTrackTintColor(std::optional<gfx::Color> color);

  // The filled part, in bounds coordinates.
  gfx::Rect barRect() const;
  const std::shared_ptr<View>& barView() const { return m_bar; }

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void layoutSubviews() override;

 private:
  void updateColors();

  ProgressViewStyle m_style = ProgressViewStyle::Default;
  double m_progress = 0;
  std::optional<gfx::Color> m_progressTint;
  std::optional<gfx::Color> m_trackTint;
  std::shared_ptr<View> m_bar;
};

}  // namespace ui
