#include "platform/ui/Label.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"

namespace ui {

Label::Label(const gfx::Rect& frame) : View(frame), m_font(gfx::Font::systemFont(gfx::Font::labelFontSize())) {
  setUserInteractionEnabled(false);
  setOpaque(false);
  setContentMode(ContentMode::Redraw);
}

void Label::restyled() {
  m_layout.reset();
  setNeedsDisplay();
}

void Label::changed() {
  restyled();
  if (View* sup = superview()) sup->setNeedsLayout();
}

std::shared_ptr<const gfx::TextLayout> Label::layout(int numberOfLines) const {
  if (numberOfLines != m_numberOfLines) return std::make_shared<const gfx::TextLayout>(m_text, style(numberOfLines));
  if (!m_layout) m_layout = std::make_shared<const gfx::TextLayout>(m_text, style(numberOfLines));
  return m_layout;
}

void Label::setText(const std::string& text) {
  if (m_text == text) return;
  m_text = text;
  changed();
}

void Label::setColorRanges(std::vector<gfx::ColorRange> ranges) {
  m_colorRanges = std::move(ranges);
  restyled();
}

void Label::setFont(std::shared_ptr<const gfx::Font> font) {
  m_font = font ? std::move(font) : gfx::Font::systemFont(gfx::Font::labelFontSize());
  changed();
}

void Label::setTextColor(const gfx::Color& color) {
  if (m_textColor == color) return;
  m_textColor = color;
  restyled();
}

void Label::setHighlightedTextColor(std::optional<gfx::Color> color) {
  m_highlightedTextColor = color;
  restyled();
}

void Label::setHighlighted(bool highlighted) {
  if (m_highlighted == highlighted) return;
  m_highlighted = highlighted;
  restyled();
}

void Label::setEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  restyled();
}

void Label::setTextAlignment(gfx::TextAlignment alignment) {
  m_alignment = alignment;
  restyled();
}

void Label::setLineBreakMode(gfx::LineBreakMode mode) {
  m_lineBreak = mode;
  changed();
}

void Label::setNumberOfLines(int lines) {
  m_numberOfLines = std::max(0, lines);
  changed();
}

void Label::setAdjustsFontSizeToFitWidth(bool adjusts) {
  m_adjustsFontSize = adjusts;
  restyled();
}

void Label::setMinimumScaleFactor(double factor) {
  m_minimumScaleFactor = std::clamp(factor, 0.0, 1.0);
  restyled();
}

void Label::setShadowColor(std::optional<gfx::Color> color) {
  m_shadowColor = color;
  setNeedsDisplay();
}

void Label::setShadowOffset(gfx::Size offset) {
  m_shadowOffset = offset;
  setNeedsDisplay();
}

gfx::TextStyle Label::style(int numberOfLines) const {
  gfx::TextStyle s;
  s.font = m_font;
  gfx::Color color = m_textColor;
  if (m_highlighted && m_highlightedTextColor) color = *m_highlightedTextColor;
  if (!m_enabled) color = color.withAlpha(color.a() * 0.44);
  s.color = color;
  s.alignment = m_alignment;
  s.lineBreak = m_lineBreak;
  s.maxLines = numberOfLines;
  s.colorRanges = m_colorRanges;
  if (m_adjustsFontSize && numberOfLines == 1) s.minimumScaleFactor = m_minimumScaleFactor > 0 ? m_minimumScaleFactor : 0.01;
  return s;
}

gfx::Rect Label::textRectForBounds(const gfx::Rect& bounds, int numberOfLines) const {
  if (m_text.empty()) return gfx::Rect(bounds.origin, gfx::Size{0, 0});
  const std::shared_ptr<const gfx::TextLayout> text = layout(numberOfLines);
  gfx::Size s = text->sizeConstrained(gfx::Size{bounds.width(), 0});
  // A single line still shows when the bounds are lower than the font's line.
  if (bounds.height() > 0) {
    gfx::Size limited = text->sizeConstrained(bounds.size);
    if (limited.height > 0) s = limited;
  }
  return gfx::Rect(bounds.origin, gfx::Size{std::min(s.width, bounds.width()), s.height});
}

void Label::drawTextInRect(gfx::Context& ctx, const gfx::Rect& rect) const {
  if (m_text.empty()) return;
  gfx::Rect text = textRectForBounds(rect, m_numberOfLines);
  double y = rect.y() + (rect.height() - text.height()) / 2;
  ctx.save();
  if (m_shadowColor) ctx.setShadow(m_shadowOffset, 0, *m_shadowColor);
  const double height = std::max(text.height(), rect.height() - (y - rect.y()));
  layout(m_numberOfLines)->draw(ctx, gfx::Rect(rect.x(), y, rect.width(), height));
  ctx.restore();
}

void Label::drawRect(gfx::Context& ctx, const gfx::Rect& rect) { drawTextInRect(ctx, rect); }

gfx::EdgeInsets Label::drawingInsetsForLayer(gfx::Layer&) {
  if (m_text.empty() || clipsToBounds()) return {};
  gfx::Rect b = bounds();
  double over = (textRectForBounds(b, m_numberOfLines).height() - b.height()) / 2;
  if (!(over > 0)) return {};
  return gfx::EdgeInsets{-over, 0, -over, 0};
}

gfx::Size Label::sizeThatFits(gfx::Size size) const {
  if (m_text.empty()) return {0, 0};
  double width = 0;
  if (m_numberOfLines != 1) width = size.width > 0 ? size.width : m_preferredMaxLayoutWidth;
  gfx::TextStyle s = style(m_numberOfLines);
  s.minimumScaleFactor = 0;
  gfx::TextLayout layout(m_text, s);
  gfx::Size fit = layout.sizeConstrained(gfx::Size{width, 0});
  return {std::ceil(fit.width), std::ceil(fit.height)};
}

gfx::Size Label::intrinsicContentSize() const { return sizeThatFits(gfx::Size{m_preferredMaxLayoutWidth, 0}); }

std::vector<std::string> Label::visibleLines() const {
  if (m_text.empty()) return {};
  return layout(m_numberOfLines)->lines(bounds().size);
}

}  // namespace ui
