#include "platform/gfx/TextLayout.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/core/TextEncoding.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"

namespace gfx {

namespace {

constexpr const char* kEllipsis = "\xE2\x80\xA6";  // "…"
constexpr int kEllipsisBytes = 3;
// Sides at or above this many points count as unlimited.
constexpr double kUnlimited = 1e7;

double toPoints(int pangoUnits) { return double(pangoUnits) / PANGO_SCALE; }

struct ByteRange {
  size_t start = 0;
  size_t end = 0;
  Color color;
};

// The byte offset of the character boundary at or before `units` UTF-16 units into the text.
size_t byteOffsetForUnits(const std::string& s, size_t units) {
  size_t i = 0, counted = 0;
  while (i < s.size() && counted < units) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    size_t u = len == 4 ? 2 : 1;
    if (counted + u > units) break;  // would split a surrogate pair
    counted += u;
    i = std::min(s.size(), i + len);
  }
  return i;
}

std::vector<ByteRange> byteRanges(const std::string& text, const std::vector<ColorRange>& ranges) {
  std::vector<ByteRange> out;
  for (const ColorRange& r : ranges) {
    size_t start = byteOffsetForUnits(text, r.location);
    size_t end =
        byteOffsetForUnits(text, r.location + std::min(r.length, std::numeric_limits<size_t>::max() - r.location));
    if (end > start) out.push_back({start, end, r.color});
  }
  return out;
}

void addColor(PangoAttrList* list, size_t start, size_t end, const Color& c) {
  auto channel = [](double v) { return static_cast<guint16>(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); };
  PangoAttribute* fg = pango_attr_foreground_new(channel(c.r()), channel(c.g()), channel(c.b()));
  fg->start_index = static_cast<guint>(start);
  fg->end_index = static_cast<guint>(end);
  pango_attr_list_change(list, fg);
  PangoAttribute* alpha = pango_attr_foreground_alpha_new(channel(c.a()));
  alpha->start_index = static_cast<guint>(start);
  alpha->end_index = static_cast<guint>(end);
  pango_attr_list_change(list, alpha);
}

// A stretch of a line's text copied from the original text.
struct Segment {
  size_t dst = 0;
  size_t src = 0;
  size_t len = 0;
};

// Colours for a text built from pieces of the original: each segment takes the colours of its
// source; an ellipsis at `ellipsisAt` takes the colour of the source byte `ellipsisSource`.
PangoAttrList* colorsFor(const std::vector<ByteRange>& ranges, const std::vector<Segment>& segments,
                         std::optional<size_t> ellipsisAt, size_t ellipsisSource) {
  if (ranges.empty()) return nullptr;
  PangoAttrList* list = pango_attr_list_new();
  for (const ByteRange& r : ranges) {
    for (const Segment& s : segments) {
      size_t a = std::max(r.start, s.src), b = std::min(r.end, s.src + s.len);
      if (b > a) addColor(list, s.dst + (a - s.src), s.dst + (b - s.src), r.color);
    }
    if (ellipsisAt && ellipsisSource >= r.start && ellipsisSource < r.end)
      addColor(list, *ellipsisAt, *ellipsisAt + kEllipsisBytes, r.color);
  }
  return list;
}

PangoLayout* newLayout(const Font& font, const std::string& text) {
  PangoLayout* layout = pango_layout_new(Font::pangoContext());
  pango_layout_set_font_description(layout, font.pangoDescription());
  pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  return layout;
}

double widthOf(const Font& font, const std::string& text) {
  PangoLayout* layout = newLayout(font, text);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return toPoints(logical.width);
}

// Byte offsets where the text may be cut without splitting a character cluster, 0 and the end
// included.
std::vector<size_t> cutPositions(const Font& font, const std::string& text) {
  PangoLayout* layout = newLayout(font, text);
  int n = 0;
  const PangoLogAttr* attrs = pango_layout_get_log_attrs_readonly(layout, &n);
  std::vector<size_t> out;
  const char* p = text.c_str();
  const char* end = p + text.size();
  for (int i = 0; i < n; ++i) {
    if (attrs[i].is_cursor_position || i == n - 1) out.push_back(static_cast<size_t>(p - text.c_str()));
    if (p >= end) break;
    p = g_utf8_next_char(p);
    if (p > end) p = end;
  }
  g_object_unref(layout);
  if (out.empty() || out.front() != 0) out.insert(out.begin(), 0);
  if (out.back() != text.size()) out.push_back(text.size());
  return out;
}

// The largest index in [0, count) for which `fits` holds, assuming it holds up to some index and
// not after; -1 when it never holds.
template <typename F>
int largestFitting(int count, F fits) {
  int lo = 0, hi = count - 1, best = -1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    if (fits(mid)) {
      best = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return best;
}

std::string trimTrailingSpaces(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

}  // namespace

struct TextLayout::Arranged {
  PangoLayout* main = nullptr;  // the whole text, wrapped to the width
  int mainLines = 0;            // how many of its lines are drawn
  PangoLayout* last = nullptr;  // a replacement for the line after them, truncated or clipped
  std::string lastText;
  double lastX = 0;  // the replacement line's offset for the alignment
  double width = 0;
  double height = 0;

  Arranged() = default;
  Arranged(const Arranged&) = delete;
  Arranged& operator=(const Arranged&) = delete;
  Arranged(Arranged&& o) noexcept { *this = std::move(o); }
  Arranged& operator=(Arranged&& o) noexcept {
    std::swap(main, o.main);
    std::swap(last, o.last);
    mainLines = o.mainLines;
    lastText = std::move(o.lastText);
    lastX = o.lastX;
    width = o.width;
    height = o.height;
    return *this;
  }
  ~Arranged() {
    if (main) g_object_unref(main);
    if (last) g_object_unref(last);
  }
};

TextLayout::TextLayout(std::string text, TextStyle style) : m_style(std::move(style)) {
  if (core::isValidUtf8(text)) {
    m_text = std::move(text);
  } else {
    // Pango needs valid UTF-8; each bad byte becomes U+FFFD, which keeps the UTF-16 count.
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    m_text = valid;
    g_free(valid);
  }
  m_font = m_style.font ? m_style.font : Font::systemFont(Font::labelFontSize());
}

TextLayout::~TextLayout() = default;

std::shared_ptr<const TextLayout::Arranged> TextLayout::arranged(Size bounds, bool limitHeight, bool forceTail,
                                                                  const std::shared_ptr<const Font>& font) const {
  constexpr size_t kMostKept = 4;
  const double pointSize = font->pointSize();
  for (size_t i = 0; i < m_kept.size(); ++i) {
    const Kept& k = m_kept[i];
    if (k.bounds == bounds && k.limitHeight == limitHeight && k.forceTail == forceTail && k.pointSize == pointSize) {
      // The latest first.
      const auto at = m_kept.begin() + static_cast<std::ptrdiff_t>(i);
      std::rotate(m_kept.begin(), at, at + 1);
      return m_kept.front().arranged;
    }
  }
  auto made = std::make_shared<const Arranged>(arrange(bounds, limitHeight, forceTail, *font));
  m_kept.insert(m_kept.begin(), Kept{bounds, limitHeight, forceTail, pointSize, made});
  if (m_kept.size() > kMostKept) m_kept.pop_back();
  return made;
}

std::shared_ptr<const Font> TextLayout::fittingFont(double width) const {
  if (!(m_style.minimumScaleFactor > 0 && m_style.maxLines == 1 && width > 0)) return m_font;
  if (m_fitted && m_fitted->first == width) return m_fitted->second;
  auto font = m_font->withSize(fitOneLine(width, m_font->pointSize() * m_style.minimumScaleFactor).pointSize);
  m_fitted.emplace(width, font);
  return font;
}

TextLayout::Arranged TextLayout::arrange(Size bounds, bool limitHeight, bool forceTail, const Font& font) const {
  Arranged a;
  double width = bounds.width > 0 && bounds.width < kUnlimited ? bounds.width : -1;
  double height = limitHeight && bounds.height > 0 && bounds.height < kUnlimited ? bounds.height : INFINITY;
  std::vector<ByteRange> ranges = byteRanges(m_text, m_style.colorRanges);

  a.main = newLayout(font, m_text);
  if (PangoAttrList* colors = colorsFor(ranges, {{0, 0, m_text.size()}}, std::nullopt, 0)) {
    pango_layout_set_attributes(a.main, colors);
    pango_attr_list_unref(colors);
  }
  if (width > 0) {
    pango_layout_set_width(a.main, static_cast<int>(std::lround(width * PANGO_SCALE)));
    pango_layout_set_wrap(a.main,
                          m_style.lineBreak == LineBreakMode::CharWrap ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
  }
  switch (m_style.alignment) {
    case TextAlignment::Center: pango_layout_set_alignment(a.main, PANGO_ALIGN_CENTER); break;
    case TextAlignment::Right: pango_layout_set_alignment(a.main, PANGO_ALIGN_RIGHT); break;
    case TextAlignment::Justified:
      pango_layout_set_alignment(a.main, PANGO_ALIGN_LEFT);
      pango_layout_set_justify(a.main, TRUE);
      break;
    case TextAlignment::Left:
    case TextAlignment::Natural: pango_layout_set_alignment(a.main, PANGO_ALIGN_LEFT); break;
  }

  // Which lines fit: at least one, at most maxLines, and within the height.
  int total = pango_layout_get_line_count(a.main);
  std::vector<double> heights, widths;
  PangoLayoutIter* it = pango_layout_get_iter(a.main);
  double used = 0;
  do {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(it, nullptr, &logical);
    double h = toPoints(logical.height);
    bool fits = heights.empty() || used + h <= height + 0.01;
    if (!fits || (m_style.maxLines > 0 && static_cast<int>(heights.size()) >= m_style.maxLines)) break;
    heights.push_back(h);
    widths.push_back(toPoints(logical.width));
    used += h;
  } while (pango_layout_iter_next_line(it));
  pango_layout_iter_free(it);
  int visible = static_cast<int>(heights.size());

  enum class Cut { None, Clip, Head, Tail, Middle } cut = Cut::None;
  if (visible < total) {
    switch (m_style.lineBreak) {
      case LineBreakMode::TruncateHead: cut = Cut::Head; break;
      case LineBreakMode::TruncateTail: cut = Cut::Tail; break;
      case LineBreakMode::TruncateMiddle: cut = Cut::Middle; break;
      case LineBreakMode::Clip: cut = forceTail ? Cut::Tail : Cut::Clip; break;
      case LineBreakMode::WordWrap:
      case LineBreakMode::CharWrap: cut = forceTail ? Cut::Tail : Cut::None; break;
    }
  }
  if (cut == Cut::None) {
    a.mainLines = visible;
    for (int i = 0; i < visible; ++i) {
      a.width = std::max(a.width, widths[i]);
      a.height += heights[i];
    }
    return a;
  }

  // The last visible line takes the rest of the text.
  int lastIndex = visible - 1;
  a.mainLines = lastIndex;
  for (int i = 0; i < lastIndex; ++i) {
    a.width = std::max(a.width, widths[i]);
    a.height += heights[i];
  }
  PangoLayoutLine* line = pango_layout_get_line_readonly(a.main, lastIndex);
  size_t restStart = static_cast<size_t>(line->start_index);
  std::string rest = m_text.substr(restStart);
  size_t newline = rest.find('\n');
  std::string paragraph = rest.substr(0, newline);
  std::string flat = rest;
  std::replace(flat.begin(), flat.end(), '\n', ' ');
  std::replace(flat.begin(), flat.end(), '\r', ' ');
  double limit = width > 0 ? width : INFINITY;

  std::vector<Segment> segments;
  std::optional<size_t> ellipsisAt;
  size_t ellipsisSource = restStart;
  if (cut == Cut::Clip) {
    a.lastText = paragraph;
    segments.push_back({0, restStart, paragraph.size()});
  } else if (cut == Cut::Tail) {
    // The longest start of the paragraph that fits with "…" after it; the rest of the text (at
    // least the next line) is hidden, so the ellipsis is always there.
    std::vector<size_t> cuts = cutPositions(font, paragraph);
    int best = largestFitting(static_cast<int>(cuts.size()), [&](int i) {
      return widthOf(font, trimTrailingSpaces(paragraph.substr(0, cuts[i])) + kEllipsis) <= limit;
    });
    std::string kept = trimTrailingSpaces(paragraph.substr(0, cuts[std::max(best, 0)]));
    a.lastText = kept + kEllipsis;
    segments.push_back({0, restStart, kept.size()});
    ellipsisAt = kept.size();
    ellipsisSource = restStart + (kept.empty() ? 0 : kept.size() - 1);
  } else if (cut == Cut::Head) {
    std::vector<size_t> cuts = cutPositions(font, flat);
    // Index i keeps the text from cuts[n - 1 - i]: more is kept as i grows.
    int n = static_cast<int>(cuts.size());
    int best =
        largestFitting(n, [&](int i) { return widthOf(font, kEllipsis + flat.substr(cuts[n - 1 - i])) <= limit; });
    size_t from = cuts[n - 1 - std::max(best, 0)];
    a.lastText = kEllipsis + flat.substr(from);
    ellipsisAt = 0;
    ellipsisSource = restStart + from;
    segments.push_back({kEllipsisBytes, restStart + from, flat.size() - from});
  } else {
    // Middle: keep about as much from the start as from the end.
    std::vector<size_t> cuts = cutPositions(font, flat);
    int n = static_cast<int>(cuts.size());
    auto pieces = [&](int keep) {
      int head = (keep + 1) / 2, tail = keep / 2;
      return std::pair<size_t, size_t>{cuts[std::min(head, n - 1)], cuts[std::max(n - 1 - tail, 0)]};
    };
    int best = largestFitting(n, [&](int keep) {
      auto [h, t] = pieces(keep);
      if (h > t) return false;
      return widthOf(font, flat.substr(0, h) + kEllipsis + flat.substr(t)) <= limit;
    });
    auto [h, t] = pieces(std::max(best, 0));
    if (h > t) h = t;
    a.lastText = flat.substr(0, h) + kEllipsis + flat.substr(t);
    segments.push_back({0, restStart, h});
    ellipsisAt = h;
    ellipsisSource = restStart + (h > 0 ? h - 1 : 0);
    segments.push_back({h + kEllipsisBytes, restStart + t, flat.size() - t});
  }

  a.last = newLayout(font, a.lastText);
  if (PangoAttrList* colors = colorsFor(ranges, segments, ellipsisAt, ellipsisSource)) {
    pango_layout_set_attributes(a.last, colors);
    pango_attr_list_unref(colors);
  }
  PangoRectangle logical;
  pango_layout_get_extents(a.last, nullptr, &logical);
  double lastWidth = toPoints(logical.width);
  double shown = width > 0 ? std::min(lastWidth, width) : lastWidth;
  if (width > 0) {
    if (m_style.alignment == TextAlignment::Center) a.lastX = (width - shown) / 2;
    if (m_style.alignment == TextAlignment::Right) a.lastX = width - shown;
  }
  a.width = std::max(a.width, shown);
  a.height += toPoints(logical.height);
  return a;
}

void TextLayout::render(cairo_t* cr, const Arranged& a, Point origin, double width, bool clip) const {
  double y = origin.y;
  if (a.mainLines > 0) {
    PangoLayoutIter* it = pango_layout_get_iter(a.main);
    int index = 0;
    do {
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
      PangoRectangle logical, own;
      pango_layout_iter_get_line_extents(it, nullptr, &logical);
      pango_layout_line_get_extents(line, nullptr, &own);
      double baseline = toPoints(pango_layout_iter_get_baseline(it));
      cairo_move_to(cr, origin.x + toPoints(logical.x - own.x), origin.y + baseline);
      pango_cairo_show_layout_line(cr, line);
      y = origin.y + toPoints(logical.y + logical.height);
    } while (++index < a.mainLines && pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
  }
  if (a.last) {
    cairo_save(cr);
    if (clip && width > 0) {
      PangoRectangle logical;
      pango_layout_get_extents(a.last, nullptr, &logical);
      cairo_rectangle(cr, origin.x, y, width, toPoints(logical.height));
      cairo_clip(cr);
    }
    cairo_move_to(cr, origin.x + a.lastX, y);
    pango_cairo_show_layout(cr, a.last);
    cairo_restore(cr);
  }
}

Size TextLayout::size() const {
  if (m_text.empty()) return {};
  auto a = arranged(Size{}, false, false, m_font);
  return {a->width, a->height};
}

Size TextLayout::boundingSize(Size bounds, unsigned options) const {
  if (m_text.empty()) return {};
  if (!(options & TextUsesLineFragmentOrigin)) {
    // The first line alone, unwrapped.
    auto a = arranged(Size{}, false, false, m_font);
    PangoLayoutLine* line = pango_layout_get_line_readonly(a->main, 0);
    PangoRectangle logical;
    pango_layout_line_get_extents(line, nullptr, &logical);
    return {toPoints(logical.width), m_font->lineHeight()};
  }
  bool truncates = options & TextTruncatesLastVisibleLine;
  auto a = arranged(bounds, truncates, truncates, m_font);
  return {a->width, a->height};
}

TextLayout::Fit TextLayout::fitOneLine(double width, double minimumPointSize) const {
  double base = m_font->pointSize();
  double natural = size().width;
  auto lineSize = [&](double points) {
    auto f = m_font->withSize(points);
    TextLayout probe(m_text, TextStyle::withFont(f));
    return probe.size();
  };
  if (natural <= width || natural <= 0 || width <= 0) {
    Size s = size();
    return {base, {std::min(s.width, std::max(width, 0.0)), s.height > 0 ? s.height : m_font->lineHeight()}};
  }
  double minimum = std::min(std::max(minimumPointSize, 0.1), base);
  // Unhinted widths grow in proportion to the size, so the ratio lands at or just above the fit.
  double points = std::clamp(base * width / natural, minimum, base);
  Size s = lineSize(points);
  for (int i = 0; i < 100 && points > minimum && s.width > width; ++i) {
    points = std::max(minimum, points - std::max(0.01, points * 0.002));
    s = lineSize(points);
  }
  return {points, {std::min(s.width, width), s.height}};
}

Size TextLayout::sizeConstrained(Size bounds) const {
  if (m_text.empty()) return {};
  auto a = arranged(bounds, true, false, fittingFont(bounds.width));
  return {a->width, a->height};
}

Size TextLayout::draw(Context& context, const Rect& rect) const {
  if (m_text.empty()) return {};
  Rect r = rect.standardized();
  std::shared_ptr<const Font> font = fittingFont(r.width());
  std::shared_ptr<const Arranged> kept = arranged(r.size, true, false, font);
  const Arranged& a = *kept;
  bool clip = m_style.lineBreak == LineBreakMode::Clip;
  // Glyphs may reach beyond their line boxes by part of an em.
  double slack = font->pointSize();
  Rect bounds =
      Rect(r.origin, Size{std::max(r.width(), a.width), std::max(r.height(), a.height)}).insetBy(-slack, -slack);
  context.drawCustom(
      [&](cairo_t* cr) {
        if (m_style.color) {
          cairo_set_source_rgba(cr, m_style.color->r(), m_style.color->g(), m_style.color->b(), m_style.color->a());
        } else {
          context.setSourceToFill(cr);
        }
        render(cr, a, r.origin, r.width(), clip);
      },
      bounds);
  return {a.width, a.height};
}

Size TextLayout::draw(Context& context, Point point) const {
  if (m_text.empty()) return {};
  std::shared_ptr<const Arranged> kept = arranged(Size{}, false, false, m_font);
  const Arranged& a = *kept;
  double slack = m_font->pointSize();
  Rect bounds = Rect(point, Size{a.width, a.height}).insetBy(-slack, -slack);
  context.drawCustom(
      [&](cairo_t* cr) {
        if (m_style.color) {
          cairo_set_source_rgba(cr, m_style.color->r(), m_style.color->g(), m_style.color->b(), m_style.color->a());
        } else {
          context.setSourceToFill(cr);
        }
        render(cr, a, point, 0, false);
      },
      bounds);
  return {a.width, a.height};
}

std::vector<std::string> TextLayout::lines(Size bounds) const {
  std::vector<std::string> out;
  if (m_text.empty()) return out;
  std::shared_ptr<const Arranged> kept = arranged(bounds, true, false, fittingFont(bounds.width));
  const Arranged& a = *kept;
  for (int i = 0; i < a.mainLines; ++i) {
    PangoLayoutLine* line = pango_layout_get_line_readonly(a.main, i);
    std::string text = m_text.substr(static_cast<size_t>(line->start_index), static_cast<size_t>(line->length));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    out.push_back(text);
  }
  if (a.last) out.push_back(a.lastText);
  return out;
}

}  // namespace gfx
