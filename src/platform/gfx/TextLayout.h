#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

typedef struct _cairo cairo_t;

namespace gfx {

class Context;
class Font;

// Numbered as the platform numbered them, so stored numbers convert with static_cast.
enum class TextAlignment { Left, Center, Right, Justified, Natural };
enum class LineBreakMode { WordWrap, CharWrap, Clip, TruncateHead, TruncateTail, TruncateMiddle };

// Options of boundingSize(), with the platform's values.
enum TextDrawingOptions : unsigned {
  TextUsesLineFragmentOrigin = 1 << 0,
  TextUsesFontLeading = 1 << 1,
  TextTruncatesLastVisibleLine = 1 << 5,
};

// A colour for part of the text; location and length count UTF-16 code units.
struct ColorRange {
  size_t location = 0;
  size_t length = 0;
  Color color;
};

struct TextStyle {
  std::shared_ptr<const Font> font;  // the system font at the label size when unset
  std::optional<Color> color;        // the context's fill colour when unset
  TextAlignment alignment = TextAlignment::Natural;
  LineBreakMode lineBreak = LineBreakMode::WordWrap;
  int maxLines = 0;  // 0: any number
  std::vector<ColorRange> colorRanges;
  // Above 0, text that is drawn on one line (maxLines 1) shrinks its font down to this fraction
  // of the size to fit the width before it is truncated.
  double minimumScaleFactor = 0;

  static TextStyle withFont(std::shared_ptr<const Font> font) {
    TextStyle s;
    s.font = std::move(font);
    return s;
  }
};

// Lays out, measures and draws a text in one style.
//
// Wrapped text breaks between words (WordWrap and the truncating and clipping modes) or between
// any characters (CharWrap). When the lines do not all fit (more than maxLines, or taller than
// the rectangle), the last line that fits holds the rest of the text: cut off at the width
// (Clip), or shortened with "…" at its end, start or middle (the Truncate modes). The other modes
// just stop after that line. Sizes are in points, unrounded.
//
// The lines laid out for a size are kept for the next measuring or drawing at that size, so a
// layout kept by its owner (a label) measures and draws its text without laying it out again. A
// layout is used by one thread at a time.
class TextLayout {
 public:
  TextLayout(std::string text, TextStyle style = {});
  ~TextLayout();
  TextLayout(const TextLayout&) = delete;
  TextLayout& operator=(const TextLayout&) = delete;

  const std::string& text() const { return m_text; }
  const TextStyle& style() const { return m_style; }
  const std::shared_ptr<const Font>& font() const { return m_font; }

  // The text on one line (a line per line break it holds), not wrapped; zero for empty text.
  Size size() const;
  // Measures within `bounds` (0 or infinite sides are unlimited). With TextUsesLineFragmentOrigin
  // the text wraps to the width and the result covers the laid-out lines (the widest line's width,
  // the lines' heights); with TextTruncatesLastVisibleLine as well, only the lines that fit the
  // height count and the last of them is truncated as drawn (with "…" at the end unless the style
  // asks for another truncation). Without TextUsesLineFragmentOrigin it is the first line alone.
  Size boundingSize(Size bounds, unsigned options) const;
  // What draw(context, rect) covers for a rectangle of this size.
  Size sizeConstrained(Size bounds) const;

  struct Fit {
    double pointSize = 0;  // the size the font shrank to (its own size when it fitted)
    Size size;             // the text's size on one line at that size, at most `width` wide
  };
  // The largest font size, at most the font's own and at least `minimumPointSize`, at which the
  // text fits `width` on one line.
  Fit fitOneLine(double width, double minimumPointSize) const;

  // Draws the text in `rect` from its top, in the style's colour or else the context's fill
  // colour, through the context's alpha, shadow, blend mode and clip. Returns the size covered.
  Size draw(Context& context, const Rect& rect) const;
  // Draws the text unwrapped with the top left of its first line at `point`.
  Size draw(Context& context, Point point) const;

  // The text of each line as drawn in `bounds`, truncated lines with their "…".
  std::vector<std::string> lines(Size bounds) const;

 private:
  struct Arranged;
  // Laid out in `font` (this layout's font, or it at the size it shrank to), or taken from the
  // ones kept.
  std::shared_ptr<const Arranged> arranged(Size bounds, bool limitHeight, bool forceTail,
                                           const std::shared_ptr<const Font>& font) const;
  Arranged arrange(Size bounds, bool limitHeight, bool forceTail, const Font& font) const;
  void render(cairo_t* cr, const Arranged& a, Point origin, double width, bool clip) const;
  // The font shrunk to fit `width` on one line when the style asks for it, else the font.
  std::shared_ptr<const Font> fittingFont(double width) const;

  std::string m_text;
  TextStyle m_style;
  std::shared_ptr<const Font> m_font;

  // The last few layouts made, the latest first, each with what it was made for.
  struct Kept {
    Size bounds;
    bool limitHeight = false;
    bool forceTail = false;
    double pointSize = 0;
    std::shared_ptr<const Arranged> arranged;
  };
  mutable std::vector<Kept> m_kept;
  // The last fit of fittingFont: the width and the font it gave.
  mutable std::optional<std::pair<double, std::shared_ptr<const Font>>> m_fitted;
};

}  // namespace gfx
