#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/Label.h"

namespace kt {

// A label that draws its text with effects: a blurred drop shadow (the label's shadow colour and
// offset, black at 75 % two points down by default, blurred by shadowBlur), an inner shadow along
// the glyphs' edges, a colour gradient across the glyphs, insets around the text, and drawing
// through an off-screen image at a chosen number of samples a pixel. Main thread only.
class EffectLabel : public ui::Label {
 public:
  static std::shared_ptr<EffectLabel> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<EffectLabel>(frame);
  }
  // Transparent, with the effect defaults.
  explicit EffectLabel(const gfx::Rect& frame = gfx::Rect());

  // The drop shadow's blur radius in points.
  double shadowBlur() const { return m_shadowBlur; }
  void setShadowBlur(double blur) { m_shadowBlur = blur; }
  // The inner shadow shows where the glyphs, moved by the offset, no longer cover them.
  gfx::Size innerShadowOffset() const { return m_innerShadowOffset; }
  void setInnerShadowOffset(gfx::Size offset);
  const std::optional<gfx::Color>& innerShadowColor() const { return m_innerShadowColor; }
  void setInnerShadowColor(std::optional<gfx::Color> color);
  // Two or more colours fill the glyphs with an evenly spaced gradient, each colour first laid
  // over the text colour.
  const std::vector<gfx::Color>& gradientColors() const { return m_gradientColors; }
  void setGradientColors(std::vector<gfx::Color> colors);
  std::optional<gfx::Color> gradientStartColor() const;
  void setGradientStartColor(std::optional<gfx::Color> color);
  std::optional<gfx::Color> gradientEndColor() const;
  void setGradientEndColor(std::optional<gfx::Color> color);
  // Ends of the gradient as fractions of the text's rectangle.
  gfx::Point gradientStartPoint() const { return m_gradientStartPoint; }
  void setGradientStartPoint(gfx::Point p) { m_gradientStartPoint = p; }
  gfx::Point gradientEndPoint() const { return m_gradientEndPoint; }
  void setGradientEndPoint(gfx::Point p) { m_gradientEndPoint = p; }
  // The off-screen image's samples a pixel of the context drawn into along each side (its scale is
  // the context's times this), kept within minSamples .. maxSamples; 1 by default, which draws
  // through the off-screen image only for a background.
  uint64_t oversampling() const { return m_oversampling; }
  void setOversampling(uint64_t samples);
  uint64_t minSamples() const { return m_minSamples; }
  void setMinSamples(uint64_t samples) { m_minSamples = samples; }
  uint64_t maxSamples() const { return m_maxSamples; }
  void setMaxSamples(uint64_t samples) { m_maxSamples = samples; }
  gfx::EdgeInsets textInsets() const { return m_textInsets; }
  void setTextInsets(gfx::EdgeInsets insets);

  // Red, green, blue and alpha of a plain colour (a grey is its value three times). A pattern
  // colour has none: the line "Unsupported gradient color format: 6" is logged and opaque black
  // given.
  static void getComponents(std::array<double, 4>& components, const gfx::Color& color);
  // `over` composited over `under`.
  static gfx::Color colorBlendedWithColor(const gfx::Color& over, const gfx::Color& under);

  // Where the text goes in the bounds, and the font size it is drawn at.
  struct TextPlacement {
    gfx::Rect rect;
    double pointSize = 0;
  };
  TextPlacement textPlacement() const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;

 private:
  void setDefaults();
  // Replaces the first or the last colour of the gradient.
  void setGradientEndColor(std::optional<gfx::Color> color, bool first);
  void drawEffects(gfx::Context& ctx);

  double m_shadowBlur = 5;
  gfx::Size m_innerShadowOffset;
  std::optional<gfx::Color> m_innerShadowColor;
  std::vector<gfx::Color> m_gradientColors;
  gfx::Point m_gradientStartPoint{0.5, 0};
  gfx::Point m_gradientEndPoint{0.5, 0.75};
  uint64_t m_minSamples = 1;
  uint64_t m_maxSamples = 1;
  uint64_t m_oversampling = 1;
  gfx::EdgeInsets m_textInsets;
};

}  // namespace kt
