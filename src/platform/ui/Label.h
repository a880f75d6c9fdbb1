#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/TextLayout.h"
#include "platform/ui/View.h"

namespace gfx {
class Font;
}

namespace ui {

// Read-only text in one font: wrapped, truncated or shrunk to fit, centred vertically in the
// bounds as the platform draws labels, and whole even where the bounds are lower than the text's
// lines (unless the label clips to them). Labels take no touches unless interaction is enabled.
class Label : public View {
 public:
  static std::shared_ptr<Label> create(const gfx::Rect& frame = gfx::Rect()) { return std::make_shared<Label>(frame); }
  explicit Label(const gfx::Rect& frame = gfx::Rect());

  const std::string& text() const { return m_text; }
  void setText(const std::string& text);
  // Colours for parts of the text (UTF-16 ranges), over the text colour.
  const std::vector<gfx::ColorRange>& colorRanges() const { return m_colorRanges; }
  void setColorRanges(std::vector<gfx::ColorRange> ranges);
  // The system font at 17 points unless set.
  const std::shared_ptr<const gfx::Font>& font() const { return m_font; }
  void setFont(std::shared_ptr<const gfx::Font> font);
  const gfx::Color& textColor() const { return m_textColor; }
  void setTextColor(const gfx::Color& color);
  const std::optional<gfx::Color>& highlightedTextColor() const { return m_highlightedTextColor; }
  void setHighlightedTextColor(std::optional<gfx::Color> color);
  bool isHighlighted() const { return m_highlighted; }
  void setHighlighted(bool highlighted);
  bool isEnabled() const { return m_enabled; }
  void setEnabled(bool enabled);
  gfx::TextAlignment textAlignment() const { return m_alignment; }
  void setTextAlignment(gfx::TextAlignment alignment);
  gfx::LineBreakMode lineBreakMode() const { return m_lineBreak; }
  void setLineBreakMode(gfx::LineBreakMode mode);
  // 0: as many lines as the text needs.
  int numberOfLines() const { return m_numberOfLines; }
  void setNumberOfLines(int lines);
  bool adjustsFontSizeToFitWidth() const { return m_adjustsFontSize; }
  void setAdjustsFontSizeToFitWidth(bool adjusts);
  double minimumScaleFactor() const { return m_minimumScaleFactor; }
  void setMinimumScaleFactor(double factor);
  const std::optional<gfx::Color>& shadowColor() const { return m_shadowColor; }
  void setShadowColor(std::optional<gfx::Color> color);
  gfx::Size shadowOffset() const { return m_shadowOffset; }
  void setShadowOffset(gfx::Size offset);
  double preferredMaxLayoutWidth() const { return m_preferredMaxLayoutWidth; }
  void setPreferredMaxLayoutWidth(double width) { m_preferredMaxLayoutWidth = width; }

  // The rectangle the text takes within `bounds` when limited to `numberOfLines`, at the bounds'
  // top left.
  gfx::Rect textRectForBounds(const gfx::Rect& bounds, int numberOfLines) const;
  // Draws the text centred vertically in `rect`.
  void drawTextInRect(gfx::Context& ctx, const gfx::Rect& rect) const;
  // The size the text needs: one line unwrapped, or wrapped to `size.width` (or the preferred
  // maximum layout width when that is 0), rounded up to whole points.
  gfx::Size sizeThatFits(gfx::Size size) const override;
  gfx::Size intrinsicContentSize() const;
  // The lines as drawn in the bounds, truncated ones with their "…".
  std::vector<std::string> visibleLines() const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  // The text is drawn whole: a line higher than the bounds reaches beyond them, equally above
  // and below, unless the label clips to its bounds.
  gfx::EdgeInsets drawingInsetsForLayer(gfx::Layer& layer) override;

 private:
  gfx::TextStyle style(int numberOfLines) const;
  void changed();
  // The text laid out in the label's style with `numberOfLines`: kept for the label's own number
  // of lines (its lines laid out once for all the measuring and drawing at a size) until the
  // text or the style changes.
  std::shared_ptr<const gfx::TextLayout> layout(int numberOfLines) const;
  // The style changed: the layout kept is dropped and the text drawn again.
  void restyled();

  std::string m_text;
  std::vector<gfx::ColorRange> m_colorRanges;
  std::shared_ptr<const gfx::Font> m_font;
  gfx::Color m_textColor = gfx::Color::black();
  std::optional<gfx::Color> m_highlightedTextColor;
  bool m_highlighted = false;
  bool m_enabled = true;
  gfx::TextAlignment m_alignment = gfx::TextAlignment::Left;
  gfx::LineBreakMode m_lineBreak = gfx::LineBreakMode::TruncateTail;
  int m_numberOfLines = 1;
  bool m_adjustsFontSize = false;
  double m_minimumScaleFactor = 0;
  std::optional<gfx::Color> m_shadowColor;
  gfx::Size m_shadowOffset{0, -1};
  double m_preferredMaxLayoutWidth = 0;
  mutable std::shared_ptr<const gfx::TextLayout> m_layout;
};

}  // namespace ui
