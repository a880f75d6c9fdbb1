#pragma once

#include <memory>
#include <optional>

#include "platform/ui/View.h"

namespace ui {

enum class ActivityIndicatorStyle { WhiteLarge = 0, White = 1, Gray = 2 };

// A spinner: twelve spokes fading round the circle, turning while animating. White-large is 37
// points across, the others 20. Hidden while stopped unless hidesWhenStopped is off.
class ActivityIndicatorView : public View {
 public:
  static std::shared_ptr<ActivityIndicatorView> create(ActivityIndicatorStyle style = ActivityIndicatorStyle::White) {
    return std::make_shared<ActivityIndicatorView>(style);
  }
  explicit ActivityIndicatorView(ActivityIndicatorStyle style = ActivityIndicatorStyle::White);
  // A frame of any size; the spokes keep the style's size, centred.
  ActivityIndicatorView(const gfx::Rect& frame, ActivityIndicatorStyle style);

  static constexpr const char* SpinAnimationKey = "spin";

  ActivityIndicatorStyle style() const { return m_style; }
  void setStyle(ActivityIndicatorStyle style);
  // The spokes' colour: white for the white styles, gray for gray, unless set.
  gfx::Color color() const;
  void setColor(std::optional<gfx::Color> color);
  bool hidesWhenStopped() const { return m_hidesWhenStopped; }
  void setHidesWhenStopped(bool hides);

  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return m_animating; }

  static double sideForStyle(ActivityIndicatorStyle style) { return style == ActivityIndicatorStyle::WhiteLarge ? 37 : 20; }
  gfx::Size sizeThatFits(gfx::Size size) const override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  void didMoveToWindow() override;

 private:
  void addSpin();

  ActivityIndicatorStyle m_style = ActivityIndicatorStyle::White;
  std::optional<gfx::Color> m_color;
  bool m_hidesWhenStopped = true;
  bool m_animating = false;
};

}  // namespace ui
