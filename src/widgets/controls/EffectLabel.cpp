#include "widgets/controls/EffectLabel.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Log.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/TextLayout.h"

namespace kt {

namespace {

bool isVisible(const std::optional<gfx::Color>& c) { return c && !(*c == gfx::Color::clear()); }

}  // namespace

EffectLabel::EffectLabel(const gfx::Rect& frame) : ui::Label(frame) {
  setBackgroundColor(std::nullopt);
  setDefaults();
}

void EffectLabel::setDefaults() {
  m_gradientStartPoint = {0.5, 0};
  m_gradientEndPoint = {0.5, 0.75};
  setShadowOffset(gfx::Size{0, 2});
  setShadowColor(gfx::Color::white(0, 0.75));
  m_shadowBlur = 5;
  m_minSamples = 1;
  m_maxSamples = 32;
  m_oversampling = m_minSamples;
}

void EffectLabel::setInnerShadowOffset(gfx::Size offset) {
  if (offset == m_innerShadowOffset) return;
  m_innerShadowOffset = offset;
  setNeedsDisplay();
}

void EffectLabel::setInnerShadowColor(std::optional<gfx::Color> color) {
  if (color == m_innerShadowColor) return;
  m_innerShadowColor = color;
  setNeedsDisplay();
}

void EffectLabel::setGradientColors(std::vector<gfx::Color> colors) {
  if (colors == m_gradientColors) return;
  m_gradientColors = std::move(colors);
  setNeedsDisplay();
}

std::optional<gfx::Color> EffectLabel::gradientStartColor() const {
  if (m_gradientColors.empty()) return std::nullopt;
  return m_gradientColors.front();
}

std::optional<gfx::Color> EffectLabel::gradientEndColor() const {
  if (m_gradientColors.empty()) return std::nullopt;
  return m_gradientColors.back();
}

void EffectLabel::setGradientStartColor(std::optional<gfx::Color> color) { setGradientEndColor(color, true); }

void EffectLabel::setGradientEndColor(std::optional<gfx::Color> color) { setGradientEndColor(color, false); }

void EffectLabel::setGradientEndColor(std::optional<gfx::Color> color, bool first) {
  if (!color) return setGradientColors({});
  if (m_gradientColors.size() < 2) return setGradientColors({*color, *color});
  auto colors = m_gradientColors;
  (first ? colors.front() : colors.back()) = *color;
  setGradientColors(std::move(colors));
}

void EffectLabel::setOversampling(uint64_t samples) {
  samples = std::min(std::max(samples, m_minSamples), m_maxSamples);
  if (samples == m_oversampling) return;
  m_oversampling = samples;
  setNeedsDisplay();
}

void EffectLabel::setTextInsets(gfx::EdgeInsets insets) {
  if (insets == m_textInsets) return;
  m_textInsets = insets;
  setNeedsDisplay();
}

void EffectLabel::getComponents(std::array<double, 4>& components, const gfx::Color& color) {
  if (color.isPattern()) {
    // The platform's number of the pattern colour model.
    constexpr int PatternModel = 6;
    KT_LOG("Unsupported gradient color format: %i", PatternModel);
    components = {0, 0, 0, 1};
    return;
  }
  components = {color.r(), color.g(), color.b(), color.a()};
}

gfx::Color EffectLabel::colorBlendedWithColor(const gfx::Color& over, const gfx::Color& under) {
  std::array<double, 4> c1{}, c2{};
  getComponents(c1, over);
  getComponents(c2, under);
  const double a1 = c1[3], a2 = c2[3];
  auto mix = [a1](double x, double y) { return a1 * x + (1 - a1) * y; };
  return gfx::Color(mix(c1[0], c2[0]), mix(c1[1], c2[1]), mix(c1[2], c2[2]), a2 + a1 * (1 - a2));
}

EffectLabel::TextPlacement EffectLabel::textPlacement() const {
  const gfx::Rect content = bounds().insetBy(m_textInsets);
  const auto baseFont = font() ? font() : gfx::Font::systemFont(gfx::Font::labelFontSize());
  gfx::TextStyle measure = gfx::TextStyle::withFont(baseFont);
  measure.lineBreak = lineBreakMode();
  measure.maxLines = numberOfLines();
  gfx::TextLayout layout(text(), measure);

  TextPlacement placement;
  placement.pointSize = baseFont->pointSize();
  gfx::Size size;
  if (adjustsFontSizeToFitWidth() && numberOfLines() == 1) {
    const auto fit = layout.fitOneLine(content.width(), baseFont->pointSize() * minimumScaleFactor());
    placement.pointSize = fit.pointSize;
    size = fit.size;
  } else {
    size = layout.sizeConstrained(content.size);
  }

  double x = content.x();
  switch (textAlignment()) {
    case gfx::TextAlignment::Center:
      x = content.x() + (content.width() - size.width) / 2;
      break;
    case gfx::TextAlignment::Right:
      x = content.x() + content.width() - size.width;
      break;
    default:
      break;
  }
  double y = content.y() + (content.height() - size.height) / 2;
  switch (contentMode()) {
    case ui::ContentMode::Top:
    case ui::ContentMode::TopLeft:
    case ui::ContentMode::TopRight:
      y = content.y();
      break;
    case ui::ContentMode::Bottom:
    case ui::ContentMode::BottomLeft:
    case ui::ContentMode::BottomRight:
      y = content.y() + content.height() - size.height;
      break;
    default:
      break;
  }
  placement.rect = gfx::Rect(x, y, size.width, size.height);
  return placement;
}

void EffectLabel::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  const bool offscreen = m_oversampling > m_minSamples || isVisible(backgroundColor());
  if (!offscreen) return drawEffects(ctx);
  // At the scale of the context drawn into (whatever the screen's was when the label was made),
  // times the samples asked for.
  auto image = gfx::Context::bitmap(rect.size, ctx.scale() * static_cast<double>(m_oversampling));
  if (!image) return drawEffects(ctx);
  image->translate(-rect.x(), -rect.y());
  drawEffects(*image);
  auto drawn = image->makeImage();
  if (!drawn) return;
  // With no more samples than the context has, the picture's pixels are the context's: drawn over
  // the points they cover (rounded up as the bitmap was), one to one.
  ctx.drawImage(*drawn, m_oversampling == 1 ? gfx::Rect(rect.origin, drawn->size()) : rect);
}

void EffectLabel::drawEffects(gfx::Context& ctx) {
  const TextPlacement placement = textPlacement();
  const gfx::Rect textRect = placement.rect;
  const auto baseFont = font() ? font() : gfx::Font::systemFont(gfx::Font::labelFontSize());

  const gfx::Color highlightColor = highlightedTextColor().value_or(textColor());
  const gfx::Color color = isHighlighted() ? highlightColor : textColor();

  gfx::TextStyle style = gfx::TextStyle::withFont(baseFont->withSize(placement.pointSize));
  style.alignment = textAlignment();
  style.lineBreak = lineBreakMode();
  style.maxLines = numberOfLines();
  auto drawText = [&](gfx::Context& into, const gfx::Color& fill) {
    style.color = fill;
    gfx::TextLayout(text(), style).draw(into, textRect);
  };

  const bool dropShadow =
      isVisible(shadowColor()) && (m_shadowBlur > 0 || !(shadowOffset() == gfx::Size{0, 0}));
  const bool innerShadow = isVisible(m_innerShadowColor) && !(m_innerShadowOffset == gfx::Size{0, 0});
  const bool needsMask = innerShadow || m_gradientColors.size() > 1;

  // The glyphs' coverage, drawn on their own at the context's resolution.
  std::shared_ptr<gfx::Image> mask;
  const gfx::Rect maskRect = bounds();
  if (needsMask) {
    auto maskContext = gfx::Context::bitmap(maskRect.size, ctx.scale());
    if (maskContext) {
      maskContext->translate(-maskRect.x(), -maskRect.y());
      drawText(*maskContext, gfx::Color::black());
      mask = maskContext->makeImage();
    }
  }

  if (dropShadow) {
    ctx.save();
    ctx.setShadow(shadowOffset(), m_shadowBlur, *shadowColor());
    drawText(ctx, needsMask ? shadowColor()->withAlpha(color.a()) : color);
    ctx.restore();
  }

  if (needsMask && mask) {
    ctx.save();
    ctx.clipToMask(maskRect, *mask);
    if (innerShadow) {
      ctx.setFillColor(*m_innerShadowColor);
      ctx.fillRect(textRect);
      // Only where the moved glyphs still cover the glyphs does the fill below go, leaving the
      // inner shadow's colour along the uncovered edges.
      ctx.save();
      ctx.translate(m_innerShadowOffset.width, m_innerShadowOffset.height);
      ctx.clipToMask(maskRect, *mask);
      ctx.translate(-m_innerShadowOffset.width, -m_innerShadowOffset.height);
    }
    if (m_gradientColors.size() > 1) {
      std::vector<gfx::Color> blended;
      blended.reserve(m_gradientColors.size());
      for (const auto& c : m_gradientColors) blended.push_back(colorBlendedWithColor(c, color));
      if (auto gradient = gfx::Gradient::withColors(blended)) {
        const gfx::Point start{textRect.x() + textRect.width() * m_gradientStartPoint.x,
                               textRect.y() + textRect.height() * m_gradientStartPoint.y};
        const gfx::Point end{textRect.x() + textRect.width() * m_gradientEndPoint.x,
                             textRect.y() + textRect.height() * m_gradientEndPoint.y};
        ctx.drawLinearGradient(*gradient, start, end, gfx::GradientDrawsBeforeStart | gfx::GradientDrawsAfterEnd);
      }
    } else {
      ctx.setFillColor(color);
      ctx.fillRect(textRect);
    }
    if (innerShadow) ctx.restore();
    ctx.restore();
  } else if (!dropShadow || needsMask) {
    drawText(ctx, color);
  }
}

}  // namespace kt
