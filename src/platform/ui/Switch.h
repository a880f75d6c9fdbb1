#pragma once

#include <memory>
#include <optional>

#include "platform/ui/Control.h"

namespace ui {

// An on/off switch, always 51 x 31 points: a rounded track (the on tint when on) with a round
// thumb at its right end when on, at its left when off. A tap toggles it and sends value-changed.
class Switch : public Control {
 public:
  static constexpr double Width = 51;
  static constexpr double Height = 31;

  static std::shared_ptr<Switch> create(const gfx::Rect& frame = gfx::Rect()) { return std::make_shared<Switch>(frame); }
  // Only the origin of the frame counts.
  explicit Switch(const gfx::Rect& frame = gfx::Rect());

  bool isOn() const { return m_on; }
  // Sends no event; with `animated` the thumb slides over 0.25 s.
  void setOn(bool on, bool animated = false);
  gfx::Color onTintColor() const { return m_onTint.value_or(gfx::Color(0.30, 0.85, 0.39, 1)); }
  void setOnTintColor(std::optional<gfx::Color> color);
  gfx::Color thumbTintColor() const { return m_thumbTint.value_or(gfx::Color::whiteColor()); }
  void setThumbTintColor(std::optional<gfx::Color> color);
  // The off track's border colour.
  gfx::Color tintColorOff() const { return m_offTint.value_or(gfx::Color(0.9, 0.9, 0.9, 1)); }
  void setTintColorOff(std::optional<gfx::Color> color);

  // The thumb's frame for the current value, in bounds coordinates.
  gfx::Rect thumbRect() const;
  const std::shared_ptr<View>& thumbView() const { return m_thumb; }

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void layoutSubviews() override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  void endTracking(const Touch* touch, const Event* event) override;

 private:
  bool m_on = false;
  std::optional<gfx::Color> m_onTint;
  std::optional<gfx::Color> m_thumbTint;
  std::optional<gfx::Color> m_offTint;
  std::shared_ptr<View> m_thumb;
};

}  // namespace ui
