#include "platform/ui/HtmlDocumentContainer.h"

#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Screen.h"

namespace ui {

namespace {

// The styles every page starts from: block and list elements, headings, emphasis, links, pre,
// tables. Scripts, forms and plug-ins are not run, so their elements take no room.
constexpr const char* MasterStyleSheet = R"css(
html, body, div, p, section, article, header, footer, nav, main, aside, figure, figcaption,
address, blockquote, center, dl, dt, dd, form, fieldset, h1, h2, h3, h4, h5, h6, hr, ol, ul, pre,
legend, details, summary { display: block; }
head, script, style, title, meta, link, base, template, object, embed, applet, iframe, frame,
frameset, noembed, input, select, textarea, button, option, video, audio, canvas, param, source,
track, area, map, dialog { display: none; }
html { color: black; }
body { margin: 8px; line-height: 1.4; }
p, dl, blockquote, figure, pre { margin: 1em 0; }
blockquote, figure { margin-left: 40px; margin-right: 40px; }
dd { margin-left: 40px; }
h1 { font-size: 2em; margin: 0.67em 0; font-weight: bold; }
h2 { font-size: 1.5em; margin: 0.83em 0; font-weight: bold; }
h3 { font-size: 1.17em; margin: 1em 0; font-weight: bold; }
h4 { margin: 1.33em 0; font-weight: bold; }
h5 { font-size: 0.83em; margin: 1.67em 0; font-weight: bold; }
h6 { font-size: 0.67em; margin: 2.33em 0; font-weight: bold; }
ul, ol { margin: 1em 0; padding-left: 40px; }
ul { list-style-type: disc; }
ol { list-style-type: decimal; }
ul ul { list-style-type: circle; margin: 0; }
ul ul ul { list-style-type: square; }
ol ol, ol ul, ul ol { margin: 0; }
li { display: list-item; }
hr { margin: 0.5em 0; border-top: 1px solid #a0a0a0; height: 0; }
b, strong, th { font-weight: bold; }
i, em, cite, var, dfn, address { font-style: italic; }
u, ins { text-decoration: underline; }
s, strike, del { text-decoration: line-through; }
a:link, a[href] { color: #0b57d0; text-decoration: underline; }
pre, code, kbd, samp, tt { font-family: monospace; }
pre { white-space: pre; }
small { font-size: smaller; }
big { font-size: larger; }
sub { vertical-align: sub; font-size: smaller; }
sup { vertical-align: super; font-size: smaller; }
center { text-align: center; }
img { display: inline-block; }
table { display: table; border-collapse: separate; border-spacing: 2px; }
thead { display: table-header-group; vertical-align: middle; }
tbody { display: table-row-group; vertical-align: middle; }
tfoot { display: table-footer-group; vertical-align: middle; }
tr { display: table-row; vertical-align: inherit; }
td, th { display: table-cell; padding: 1px; vertical-align: inherit; }
th { text-align: center; }
caption { display: table-caption; text-align: center; }
)css";

constexpr int DefaultFontSize = 16;
// Sizes outside these bounds are taken to the nearest (a page can ask for any size).
constexpr int MinimumFontSize = 1;
constexpr int MaximumFontSize = 512;

litehtml::context& masterContext() {
  static litehtml::context* context = [] {
    auto* c = new litehtml::context();
    c->load_master_stylesheet(MasterStyleSheet);
    return c;
  }();
  return *context;
}

double toPoints(int pangoUnits) { return double(pangoUnits) / PANGO_SCALE; }

bool isAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isAsciiSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isAsciiSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

gfx::Color colorOf(const litehtml::web_color& c) {
  return gfx::Color(c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
}

gfx::Rect rectOf(const litehtml::position& p) { return gfx::Rect(p.x, p.y, p.width, p.height); }

gfx::CornerRadii radiiOf(const litehtml::border_radiuses& r) {
  return {{double(r.top_left_x), double(r.top_left_y)},
          {double(r.top_right_x), double(r.top_right_y)},
          {double(r.bottom_right_x), double(r.bottom_right_y)},
          {double(r.bottom_left_x), double(r.bottom_left_y)}};
}

bool hasRadius(const litehtml::border_radiuses& r) {
  return r.top_left_x || r.top_left_y || r.top_right_x || r.top_right_y || r.bottom_right_x || r.bottom_right_y ||
         r.bottom_left_x || r.bottom_left_y;
}

gfx::Path boxPath(const gfx::Rect& r, const litehtml::border_radiuses& radius) {
  return hasRadius(radius) ? gfx::Path::roundedRect(r, radiiOf(radius)) : gfx::Path::rect(r);
}

bool isVisibleBorder(const litehtml::border& b) {
  return b.width > 0 && b.color.alpha > 0 && b.style != litehtml::border_style_none &&
         b.style != litehtml::border_style_hidden;
}

}  // namespace

struct HtmlDocumentContainer::HtmlFont {
  PangoFontDescription* description = nullptr;
  PangoLayout* layout = nullptr;
  unsigned decoration = 0;
  double size = 0;
  double ascent = 0;
  double height = 0;
  double underlinePosition = 0;  // below the baseline
  double underlineThickness = 1;
  double strikethroughPosition = 0;  // above the baseline
  double strikethroughThickness = 1;
  // A word as laid out: litehtml measures each word on every layout and draws it word by word,
  // so its shaped text is kept (up to a bound; words beyond it are shaped again each time).
  struct Word {
    int width = 0;
    PangoLayout* layout = nullptr;
  };
  std::unordered_map<std::string, Word> words;
  static constexpr size_t MaxShapedWords = 4096;

  const Word& word(const char* text) {
    auto [it, inserted] = words.try_emplace(text);
    if (inserted) {
      PangoLayout* l = layout;
      if (words.size() <= MaxShapedWords) {
        l = it->second.layout = pango_layout_new(gfx::Font::pangoContext());
        pango_layout_set_font_description(l, description);
      }
      pango_layout_set_text(l, text, -1);
      PangoRectangle logical;
      pango_layout_get_extents(l, nullptr, &logical);
      it->second.width = int(std::ceil(toPoints(logical.width)));
    }
    return it->second;
  }

  ~HtmlFont() {
    for (auto& [text, w] : words) {
      if (w.layout) g_object_unref(w.layout);
    }
    if (layout) g_object_unref(layout);
    if (description) pango_font_description_free(description);
  }
};

HtmlDocumentContainer::HtmlDocumentContainer() = default;

HtmlDocumentContainer::~HtmlDocumentContainer() = default;

void HtmlDocumentContainer::setPageURL(std::optional<net::URL> url) {
  m_pageURL = url;
  m_baseURL = std::move(url);
}

std::shared_ptr<litehtml::document> HtmlDocumentContainer::createDocument(const std::string& html) {
  // Each parse starts from the page's own address; a <base> in it sets the base again.
  m_baseURL = m_pageURL;
  m_caption.clear();
  return litehtml::document::createFromUTF8(html.c_str(), this, &masterContext());
}

void HtmlDocumentContainer::setStyleSheet(const net::URL& url, std::string text) {
  m_sheets[url.absoluteString()] = std::move(text);
}

std::vector<net::URL> HtmlDocumentContainer::takeMissingStyleSheets() {
  std::vector<net::URL> out;
  out.swap(m_missingSheets);
  return out;
}

void HtmlDocumentContainer::setPicture(const net::URL& url, std::shared_ptr<const gfx::Image> image) {
  m_pictures[url.absoluteString()] = std::move(image);
}

void HtmlDocumentContainer::draw(litehtml::document& document, gfx::Context& context, gfx::Point origin,
                                 const gfx::Rect& clip) {
  m_context = &context;
  m_drawClip = clip;
  m_clipDepth = 0;
  context.save();
  litehtml::position where(int(std::floor(clip.x())), int(std::floor(clip.y())), int(std::ceil(clip.width())) + 1,
                           int(std::ceil(clip.height())) + 1);
  context.translate(origin.x, origin.y);
  document.draw(reinterpret_cast<litehtml::uint_ptr>(&context), 0, 0, &where);
  while (m_clipDepth > 0) del_clip();
  context.restore();
  m_context = nullptr;
}

gfx::Context* HtmlDocumentContainer::contextOf(litehtml::uint_ptr hdc) const {
  // Only the context being drawn into is ever handed to the document.
  auto* context = reinterpret_cast<gfx::Context*>(hdc);
  return context && context == m_context ? context : nullptr;
}

// ---- Nesting ----

size_t HtmlDocumentContainer::nestingDepth(std::string_view html) {
  auto isOneOf = [](const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
  };
  size_t depth = 0, deepest = 0;
  size_t i = 0;
  while ((i = html.find('<', i)) != std::string_view::npos) {
    if (html.substr(i, 4) == "<!--") {
      size_t end = html.find("-->", i + 4);
      i = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    const bool closing = i + 1 < html.size() && html[i + 1] == '/';
    size_t start = i + (closing ? 2 : 1);
    if (start >= html.size() || !std::isalpha(static_cast<unsigned char>(html[start]))) {
      ++i;
      continue;
    }
    size_t end = start;
    while (end < html.size() && std::isalnum(static_cast<unsigned char>(html[end]))) ++end;
    const std::string name = lower(html.substr(start, end - start));
    // The end of the tag, quoted attribute values skipped.
    char quote = 0;
    for (; end < html.size(); ++end) {
      char c = html[end];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    const bool selfClosing = end < html.size() && end > start && html[end - 1] == '/';
    i = std::min(html.size(), end + 1);
    if (!closing && isOneOf(name, {"script", "style", "textarea", "title", "xmp", "noscript", "template"})) {
      // Their contents hold no elements: on to the closing tag.
      const std::string close = "</" + name;
      size_t found = i;
      while ((found = html.find("</", found)) != std::string_view::npos &&
             lower(html.substr(found, close.size())) != close) {
        found += 2;
      }
      i = found == std::string_view::npos ? html.size() : found;
      continue;
    }
    if (isOneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                       "track", "wbr", "p", "li", "dt", "dd", "tr", "td", "th", "option", "optgroup", "thead", "tbody",
                       "tfoot", "colgroup", "rb", "rt", "rp"})) {
      continue;
    }
    if (closing) {
      if (depth > 0) --depth;
    } else if (!selfClosing) {
      deepest = std::max(deepest, ++depth);
    }
  }
  return deepest;
}

// ---- Addresses ----

std::string HtmlDocumentContainer::styleSheetAddress(std::string_view text) {
  std::string_view s = trimmed(text);
  if (s.size() >= 4 && lower(s.substr(0, 4)) == "url(") {
    s.remove_prefix(4);
    if (size_t close = s.rfind(')'); close != std::string_view::npos) s = s.substr(0, close);
    s = trimmed(s);
  }
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
    s = trimmed(s.substr(1, s.size() - 2));
  }
  return std::string(s);
}

std::optional<net::URL> HtmlDocumentContainer::resolveAddress(std::string_view text,
                                                              const std::optional<net::URL>& base) {
  std::string cleaned;
  for (char c : trimmed(text)) {
    if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
  }
  // "%" that does not start an escape stands for itself.
  std::string escaped;
  for (size_t i = 0; i < cleaned.size(); ++i) {
    bool escape = cleaned[i] == '%' && (i + 2 >= cleaned.size() || !std::isxdigit(static_cast<unsigned char>(cleaned[i + 1])) ||
                                        !std::isxdigit(static_cast<unsigned char>(cleaned[i + 2])));
    escaped += escape ? std::string("%25") : std::string(1, cleaned[i]);
  }
  escaped = net::escapeForURL(escaped);
  if (base) return net::URL::fromString(escaped, *base);
  return net::URL::fromString(escaped);
}

std::optional<net::URL> HtmlDocumentContainer::addressOf(std::string_view text, const char* base) const {
  std::optional<net::URL> baseURL = m_baseURL;
  if (base && *base) {
    if (auto b = net::URL::fromString(base)) baseURL = b;
  }
  return resolveAddress(text, baseURL);
}

std::shared_ptr<const gfx::Image> HtmlDocumentContainer::pictureFor(std::string_view src, const char* base) const {
  auto url = addressOf(src, base);
  if (!url) return nullptr;
  auto it = m_pictures.find(url->absoluteString());
  return it == m_pictures.end() ? nullptr : it->second;
}

// ---- Fonts and text ----

std::vector<std::string> HtmlDocumentContainer::fontFamilies(std::string_view list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string_view name = trimmed(list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    while (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') && name.back() == name.front()) {
      name = trimmed(name.substr(1, name.size() - 2));
    }
    if (!name.empty()) {
      std::string key = lower(name);
      if (key == "sans-serif" || key == "serif" || key == "system-ui" || key == "-apple-system" || key == "cursive" ||
          key == "fantasy" || key == "ui-sans-serif" || key == "ui-serif") {
        out.emplace_back(gfx::Font::SystemFamily);
      } else if (key == "ui-monospace") {
        out.emplace_back("monospace");
      } else {
        out.emplace_back(name);
      }
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

litehtml::uint_ptr HtmlDocumentContainer::create_font(const litehtml::tchar_t* faceName, int size, int weight,
                                                      litehtml::font_style italic, unsigned int decoration,
                                                      litehtml::font_metrics* fm) {
  auto font = std::make_unique<HtmlFont>();
  font->decoration = decoration;
  font->size = std::clamp(size, MinimumFontSize, MaximumFontSize);
  // The page's families first, then the system face for whatever they lack (Chinese, mostly).
  std::string families;
  for (const std::string& f : fontFamilies(faceName ? faceName : "")) {
    // Pango reads the list on commas.
    if (f.find(',') != std::string::npos) continue;
    families += f + ",";
  }
  families += gfx::Font::SystemFamily;
  font->description = pango_font_description_new();
  pango_font_description_set_family(font->description, families.c_str());
  pango_font_description_set_weight(font->description, static_cast<PangoWeight>(std::clamp(weight, 100, 1000)));
  pango_font_description_set_style(font->description,
                                   italic == litehtml::fontStyleItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(font->description, font->size * PANGO_SCALE);

  PangoContext* pango = gfx::Font::pangoContext();
  font->layout = pango_layout_new(pango);
  pango_layout_set_font_description(font->layout, font->description);
  pango_layout_set_text(font->layout, "x", 1);
  PangoRectangle ink, logical;
  pango_layout_get_extents(font->layout, &ink, &logical);
  font->ascent = toPoints(pango_layout_get_baseline(font->layout));
  font->height = toPoints(logical.height);
  const double xHeight = font->ascent - toPoints(ink.y);  // from the baseline up to the top of "x"

  PangoFontMetrics* metrics = pango_context_get_metrics(pango, font->description, nullptr);
  font->underlinePosition = -toPoints(pango_font_metrics_get_underline_position(metrics));
  font->underlineThickness = std::max(1.0, toPoints(pango_font_metrics_get_underline_thickness(metrics)));
  font->strikethroughPosition = toPoints(pango_font_metrics_get_strikethrough_position(metrics));
  font->strikethroughThickness = std::max(1.0, toPoints(pango_font_metrics_get_strikethrough_thickness(metrics)));
  pango_font_metrics_unref(metrics);

  if (fm) {
    fm->ascent = int(std::lround(font->ascent));
    fm->height = std::max(1, int(std::lround(font->height)));
    fm->descent = fm->height - fm->ascent;
    fm->x_height = std::max(1, int(std::lround(std::max(0.0, xHeight))));
    fm->draw_spaces = (decoration & (litehtml::font_decoration_underline | litehtml::font_decoration_linethrough |
                                     litehtml::font_decoration_overline)) != 0;
  }
  return reinterpret_cast<litehtml::uint_ptr>(font.release());
}

void HtmlDocumentContainer::delete_font(litehtml::uint_ptr hFont) { delete reinterpret_cast<HtmlFont*>(hFont); }

int HtmlDocumentContainer::text_width(const litehtml::tchar_t* text, litehtml::uint_ptr hFont) {
  auto* font = reinterpret_cast<HtmlFont*>(hFont);
  if (!font || !text || !*text) return 0;
  return font->word(text).width;
}

void HtmlDocumentContainer::draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text, litehtml::uint_ptr hFont,
                                      litehtml::web_color color, const litehtml::position& pos) {
  gfx::Context* context = contextOf(hdc);
  auto* font = reinterpret_cast<HtmlFont*>(hFont);
  if (!context || !font || !text || color.alpha == 0) return;
  std::string_view t(text);
  bool blank = std::all_of(t.begin(), t.end(), isAsciiSpace);
  unsigned lines = font->decoration & (litehtml::font_decoration_underline | litehtml::font_decoration_linethrough |
                                       litehtml::font_decoration_overline);
  if (blank && !lines) return;
  const double x = pos.x, top = pos.y;
  const double baseline = top + font->ascent;
  const gfx::Color c = colorOf(color);
  gfx::Rect bounds(x - font->size, top - font->size, pos.width + 3 * font->size, pos.height + 2 * font->size);
  context->drawCustom(
      [&](cairo_t* cr) {
        cairo_set_source_rgba(cr, c.r(), c.g(), c.b(), c.a());
        if (!blank) {
          PangoLayout* layout = font->word(text).layout;
          if (!layout) {
            layout = font->layout;
            pango_layout_set_text(layout, text, -1);
          }
          cairo_move_to(cr, x, top);
          pango_cairo_show_layout(cr, layout);
        }
        auto line = [&](double y, double thickness) {
          cairo_rectangle(cr, x, y, pos.width, thickness);
          cairo_fill(cr);
        };
        if (lines & litehtml::font_decoration_underline) line(baseline + font->underlinePosition, font->underlineThickness);
        if (lines & litehtml::font_decoration_linethrough) {
          line(baseline - font->strikethroughPosition, font->strikethroughThickness);
        }
        if (lines & litehtml::font_decoration_overline) line(top, font->underlineThickness);
      },
      bounds);
}

int HtmlDocumentContainer::pt_to_px(int pt) const { return int(std::lround(pt * 96.0 / 72.0)); }

int HtmlDocumentContainer::get_default_font_size() const { return DefaultFontSize; }

const litehtml::tchar_t* HtmlDocumentContainer::get_default_font_name() const { return gfx::Font::SystemFamily; }

void HtmlDocumentContainer::transform_text(litehtml::tstring& text, litehtml::text_transform tt) {
  if (text.empty() || !g_utf8_validate(text.data(), gssize(text.size()), nullptr)) return;
  gchar* changed = nullptr;
  switch (tt) {
    case litehtml::text_transform_uppercase: changed = g_utf8_strup(text.data(), gssize(text.size())); break;
    case litehtml::text_transform_lowercase: changed = g_utf8_strdown(text.data(), gssize(text.size())); break;
    case litehtml::text_transform_capitalize: {
      const char* second = g_utf8_next_char(text.data());
      size_t firstLength = size_t(second - text.data());
      gchar* first = g_utf8_strup(text.data(), gssize(firstLength));
      text = std::string(first) + text.substr(firstLength);
      g_free(first);
      return;
    }
    default: return;
  }
  if (changed) {
    text = changed;
    g_free(changed);
  }
}

// ---- Pictures, backgrounds, borders, markers ----

void HtmlDocumentContainer::load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, bool) {
  if (!src || !*src) return;
  auto url = addressOf(src, baseurl);
  if (!url || (url->scheme() != "http" && url->scheme() != "https")) return;
  auto [it, inserted] = m_pictures.try_emplace(url->absoluteString(), nullptr);
  if (inserted && m_callbacks.pictureNeeded) m_callbacks.pictureNeeded(*url);
}

void HtmlDocumentContainer::get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl,
                                           litehtml::size& sz) {
  sz.width = sz.height = 0;
  if (!src) return;
  if (auto image = pictureFor(src, baseurl)) {
    gfx::Size s = image->size();
    sz.width = int(std::lround(s.width));
    sz.height = int(std::lround(s.height));
  }
}

void HtmlDocumentContainer::draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) {
  gfx::Context* context = contextOf(hdc);
  if (!context) return;
  // The root's background is the canvas's: it covers all that is drawn, beyond the document too.
  gfx::Rect clipBox = bg.is_root ? m_drawClip : rectOf(bg.clip_box);
  if (clipBox.isEmpty()) return;
  context->save();
  context->clipToPath(boxPath(clipBox, bg.border_radius), gfx::FillRule::NonZero);
  if (bg.color.alpha > 0) {
    context->setFillColor(colorOf(bg.color));
    context->fillRect(clipBox);
  }
  std::shared_ptr<const gfx::Image> image = bg.image.empty() ? nullptr : pictureFor(bg.image, bg.baseurl.c_str());
  if (image && bg.image_size.width > 0 && bg.image_size.height > 0) {
    gfx::Rect tile(bg.position_x, bg.position_y, bg.image_size.width, bg.image_size.height);
    switch (bg.repeat) {
      case litehtml::background_repeat_no_repeat:
        context->drawImage(*image, tile);
        break;
      case litehtml::background_repeat_repeat_x:
        context->clipToRect(gfx::Rect(clipBox.x(), tile.y(), clipBox.width(), tile.height()));
        context->drawTiledImage(*image, tile);
        break;
      case litehtml::background_repeat_repeat_y:
        context->clipToRect(gfx::Rect(tile.x(), clipBox.y(), tile.width(), clipBox.height()));
        context->drawTiledImage(*image, tile);
        break;
      default:
        context->drawTiledImage(*image, tile);
        break;
    }
  }
  context->restore();
}

void HtmlDocumentContainer::draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders,
                                         const litehtml::position& draw_pos, bool) {
  gfx::Context* context = contextOf(hdc);
  if (!context) return;
  const gfx::Rect box = rectOf(draw_pos);
  if (box.isEmpty()) return;
  const litehtml::border* sides[4] = {&borders.top, &borders.right, &borders.bottom, &borders.left};
  const double left = box.x(), top = box.y(), right = box.x() + box.width(), bottom = box.y() + box.height();
  const double lw = borders.left.width, tw = borders.top.width, rw = borders.right.width, bw = borders.bottom.width;

  context->save();
  // Rounded corners: everything is drawn inside the outer edge, outside the inner one.
  if (hasRadius(borders.radius)) {
    context->clipToPath(boxPath(box, borders.radius), gfx::FillRule::NonZero);
    litehtml::border_radiuses inner = borders.radius;
    litehtml::margins m;
    m.left = int(lw);
    m.top = int(tw);
    m.right = int(rw);
    m.bottom = int(bw);
    inner -= m;
    gfx::Path ring = boxPath(box, borders.radius);
    gfx::Rect innerBox(left + lw, top + tw, std::max(0.0, box.width() - lw - rw), std::max(0.0, box.height() - tw - bw));
    if (!innerBox.isEmpty()) ring.addPath(boxPath(innerBox, inner));
    context->clipToPath(ring, gfx::FillRule::EvenOdd);
  }
  // Each side is the trapezoid between the outer and inner edges, mitred at the corners.
  const gfx::Point outer[4] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
  const gfx::Point inner[4] = {{left + lw, top + tw}, {right - rw, top + tw}, {right - rw, bottom - bw}, {left + lw, bottom - bw}};
  for (int i = 0; i < 4; ++i) {
    const litehtml::border& side = *sides[i];
    if (!isVisibleBorder(side)) continue;
    const gfx::Point a = outer[i], b = outer[(i + 1) % 4], c = inner[(i + 1) % 4], d = inner[i];
    context->setFillColor(colorOf(side.color));
    if (side.style == litehtml::border_style_dotted || side.style == litehtml::border_style_dashed) {
      // Along the middle of the side, in dashes as long as the border is wide (dots: as long as wide, round).
      const double w = side.width;
      gfx::Point from{(a.x + d.x) / 2, (a.y + d.y) / 2}, to{(b.x + c.x) / 2, (b.y + c.y) / 2};
      context->save();
      gfx::Path trapezoid;
      trapezoid.addLines({a, b, c, d});
      trapezoid.close();
      context->clipToPath(trapezoid, gfx::FillRule::NonZero);
      context->setStrokeColor(colorOf(side.color));
      context->setLineWidth(w);
      bool dotted = side.style == litehtml::border_style_dotted;
      context->setLineCap(dotted ? gfx::LineCap::Round : gfx::LineCap::Butt);
      context->setLineDash(0, dotted ? std::vector<double>{0, 2 * w} : std::vector<double>{2 * w, w});
      gfx::Path line;
      line.moveTo(from);
      line.lineTo(to);
      context->stroke(line);
      context->restore();
      continue;
    }
    gfx::Path trapezoid;
    trapezoid.addLines({a, b, c, d});
    trapezoid.close();
    context->fill(trapezoid);
  }
  context->restore();
}

void HtmlDocumentContainer::draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) {
  gfx::Context* context = contextOf(hdc);
  if (!context) return;
  gfx::Rect box = rectOf(marker.pos);
  if (!marker.image.empty()) {
    if (auto image = pictureFor(marker.image, marker.baseurl)) {
      context->drawImage(*image, box);
      return;
    }
  }
  if (box.isEmpty()) return;
  gfx::Color c = colorOf(marker.color);
  switch (marker.marker_type) {
    case litehtml::list_style_type_circle:
      context->setStrokeColor(c);
      context->setLineWidth(1);
      context->strokeEllipse(box.insetBy(0.5, 0.5));
      break;
    case litehtml::list_style_type_disc:
      context->setFillColor(c);
      context->fillEllipse(box);
      break;
    case litehtml::list_style_type_square:
      context->setFillColor(c);
      context->fillRect(box);
      break;
    default:
      // Numbered markers come as text.
      break;
  }
}

// ---- Clips ----

void HtmlDocumentContainer::set_clip(const litehtml::position& pos, const litehtml::border_radiuses& bdr_radius,
                                     bool valid_x, bool valid_y) {
  if (!m_context) return;
  m_context->save();
  ++m_clipDepth;
  constexpr double Far = 1e7;
  gfx::Rect r(valid_x ? pos.x : -Far, valid_y ? pos.y : -Far, valid_x ? pos.width : 2 * Far,
              valid_y ? pos.height : 2 * Far);
  m_context->clipToPath(valid_x && valid_y ? boxPath(r, bdr_radius) : gfx::Path::rect(r), gfx::FillRule::NonZero);
}

void HtmlDocumentContainer::del_clip() {
  if (!m_context || m_clipDepth == 0) return;
  --m_clipDepth;
  m_context->restore();
}

// ---- The page ----

void HtmlDocumentContainer::set_caption(const litehtml::tchar_t* caption) { m_caption = caption ? caption : ""; }

void HtmlDocumentContainer::set_base_url(const litehtml::tchar_t* base_url) {
  if (!base_url) return;
  if (auto url = resolveAddress(base_url, m_pageURL)) m_baseURL = url;
}

void HtmlDocumentContainer::link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) {}

void HtmlDocumentContainer::on_anchor_click(const litehtml::tchar_t* url, const litehtml::element::ptr&) {
  if (url && m_callbacks.anchorClicked) m_callbacks.anchorClicked(url);
}

void HtmlDocumentContainer::set_cursor(const litehtml::tchar_t*) {}

void HtmlDocumentContainer::import_css(litehtml::tstring& text, const litehtml::tstring& url,
                                       litehtml::tstring& baseurl) {
  text.clear();
  auto address = addressOf(styleSheetAddress(url), baseurl.c_str());
  if (!address || (address->scheme() != "http" && address->scheme() != "https")) return;
  const std::string key = address->absoluteString();
  if (auto it = m_sheets.find(key); it != m_sheets.end()) {
    text = it->second;
    // Addresses inside the sheet are relative to the sheet.
    baseurl = key;
    return;
  }
  if (m_missingSeen.insert(key).second) m_missingSheets.push_back(*address);
}

void HtmlDocumentContainer::get_client_rect(litehtml::position& client) const {
  client = litehtml::position(0, 0, int(m_viewport.width), int(m_viewport.height));
}

std::shared_ptr<litehtml::element> HtmlDocumentContainer::create_element(const litehtml::tchar_t*,
                                                                         const litehtml::string_map&,
                                                                         const std::shared_ptr<litehtml::document>&) {
  return nullptr;
}

void HtmlDocumentContainer::get_media_features(litehtml::media_features& media) const {
  gfx::Size screen = Screen::main().bounds().size;
  media.type = litehtml::media_type_screen;
  media.width = int(m_viewport.width);
  media.height = int(m_viewport.height);
  media.device_width = int(screen.width);
  media.device_height = int(screen.height);
  media.color = 8;
  media.monochrome = 0;
  media.color_index = 256;
  media.resolution = 96;
}

void HtmlDocumentContainer::get_language(litehtml::tstring& language, litehtml::tstring& culture) const {
  language = "zh";
  culture = "CN";
}

}  // namespace ui
