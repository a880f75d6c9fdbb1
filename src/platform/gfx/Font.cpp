#include "platform/gfx/Font.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/core/Log.h"

namespace gfx {

namespace {

struct Resolved {
  std::string family;
  int weight = 400;
  bool italic = false;
  bool found = false;
};

std::mutex g_mutex;  // guards the caches below and our fontconfig queries

std::string normalised(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '-' && c != '_') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Every installed family, by its name without spaces in lower case. Never destroyed, as the
// cache below: text is laid out on other threads while the process exits.
const std::map<std::string, std::string>& installedFamilies() {
  static const auto* families = new std::map<std::string, std::string>([] {
    std::map<std::string, std::string> out;
    FcPattern* pat = FcPatternCreate();
    FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fs = FcFontList(nullptr, pat, os);
    for (int i = 0; fs && i < fs->nfont; ++i) {
      FcChar8* family = nullptr;
      for (int n = 0; FcPatternGetString(fs->fonts[i], FC_FAMILY, n, &family) == FcResultMatch; ++n)
        out.emplace(normalised(reinterpret_cast<const char*>(family)), reinterpret_cast<const char*>(family));
    }
    if (fs) FcFontSetDestroy(fs);
    FcObjectSetDestroy(os);
    FcPatternDestroy(pat);
    return out;
  }());
  return *families;
}

bool byPostScriptName(const std::string& name, Resolved& out) {
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_POSTSCRIPT_NAME, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, FC_WEIGHT, FC_SLANT, nullptr);
  FcFontSet* fs = FcFontList(nullptr, pat, os);
  bool found = false;
  if (fs && fs->nfont > 0) {
    FcChar8* family = nullptr;
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    if (FcPatternGetString(fs->fonts[0], FC_FAMILY, 0, &family) == FcResultMatch) {
      FcPatternGetInteger(fs->fonts[0], FC_WEIGHT, 0, &weight);
      FcPatternGetInteger(fs->fonts[0], FC_SLANT, 0, &slant);
      out.family = reinterpret_cast<const char*>(family);
      out.weight = FcWeightToOpenType(weight);
      out.italic = slant != FC_SLANT_ROMAN;
      found = true;
    }
  }
  if (fs) FcFontSetDestroy(fs);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  return found;
}

// Weight and slant from a style name such as "Bold", "SemiboldItalic" or "LightOblique".
void parseStyle(const std::string& style, int& weight, bool& italic) {
  std::string s = normalised(style);
  italic = s.find("italic") != std::string::npos || s.find("oblique") != std::string::npos;
  static const std::pair<const char*, int> kWeights[] = {
      {"ultralight", 200}, {"extralight", 200}, {"semibold", 600}, {"demibold", 600},
      {"extrabold", 800},  {"ultrabold", 800},  {"thin", 100},     {"light", 300},
      {"medium", 500},     {"bold", 700},       {"heavy", 900},    {"black", 900},
  };
  weight = 400;
  for (const auto& [word, w] : kWeights) {
    if (s.find(word) != std::string::npos) {
      weight = w;
      return;
    }
  }
}

Resolved resolve(const std::string& name) {
  static auto& cache = *new std::map<std::string, Resolved>;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (auto it = cache.find(name); it != cache.end()) return it->second;

  Resolved r;
  const auto& families = installedFamilies();
  if (auto it = families.find(normalised(name)); it != families.end()) {
    r.family = it->second;
    r.found = true;
  } else if (byPostScriptName(name, r)) {
    r.found = true;
  } else {
    std::string family = name, style;
    if (size_t dash = name.rfind('-'); dash != std::string::npos) {
      family = name.substr(0, dash);
      style = name.substr(dash + 1);
    }
    parseStyle(style, r.weight, r.italic);
    if (auto it = families.find(normalised(family)); it != families.end()) {
      r.family = it->second;
      r.found = true;
    }
  }
  if (!r.found) {
    r.family = Font::SystemFamily;
    KT_LOG("no font family for \"%s\"; the system font stands in", name.c_str());
  }
  cache.emplace(name, r);
  return r;
}

}  // namespace

PangoContext* Font::pangoContext() {
  struct Holder {
    PangoContext* context = nullptr;
    Holder() {
      // Each thread has its own default font map, so layout can run on any thread.
      PangoFontMap* map = pango_cairo_font_map_get_default();
      context = pango_font_map_create_context(map);
      pango_cairo_context_set_resolution(context, 72);
      cairo_font_options_t* options = cairo_font_options_create();
      cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
      cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
      cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
      pango_cairo_context_set_font_options(context, options);
      cairo_font_options_destroy(options);
      pango_context_set_round_glyph_positions(context, FALSE);
      pango_context_set_language(context, pango_language_from_string("zh-cn"));
    }
    ~Holder() { g_object_unref(context); }
  };
  thread_local Holder holder;
  return holder.context;
}

std::shared_ptr<const Font> Font::make(std::string name, std::string family, int weight, bool italic, double size,
                                       bool fallback) {
  std::shared_ptr<Font> f(new Font());
  f->m_name = std::move(name);
  f->m_family = std::move(family);
  f->m_weight = weight;
  f->m_italic = italic;
  f->m_fallback = fallback;
  f->m_size = size > 0 && std::isfinite(size) ? size : systemFontSize();

  f->m_description = pango_font_description_new();
  pango_font_description_set_family(f->m_description, f->m_family.c_str());
  pango_font_description_set_weight(f->m_description, static_cast<PangoWeight>(weight));
  pango_font_description_set_style(f->m_description, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(f->m_description, f->m_size * PANGO_SCALE);

  // Line metrics as a layout lays out one line.
  PangoLayout* layout = pango_layout_new(pangoContext());
  pango_layout_set_font_description(layout, f->m_description);
  pango_layout_set_text(layout, "", 0);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  double baseline = double(pango_layout_get_baseline(layout)) / PANGO_SCALE;
  f->m_lineHeight = double(logical.height) / PANGO_SCALE;
  f->m_ascender = baseline;
  f->m_descender = baseline - f->m_lineHeight;
  g_object_unref(layout);

  PangoFontMetrics* metrics = pango_context_get_metrics(pangoContext(), f->m_description, nullptr);
  double height = double(pango_font_metrics_get_height(metrics)) / PANGO_SCALE;
  f->m_leading = std::max(0.0, height - f->m_lineHeight);
  pango_font_metrics_unref(metrics);
  return f;
}

std::shared_ptr<const Font> Font::systemFont(double pointSize) {
  return make(SystemFamily, SystemFamily, 400, false, pointSize, false);
}

std::shared_ptr<const Font> Font::boldSystemFont(double pointSize) {
  return make(SystemFamily, SystemFamily, 700, false, pointSize, false);
}

std::shared_ptr<const Font> Font::font(const std::string& name, double pointSize) {
  Resolved r = resolve(name);
  return make(name, r.family, r.weight, r.italic, pointSize, !r.found);
}

std::shared_ptr<const Font> Font::withSize(double pointSize) const {
  return make(m_name, m_family, m_weight, m_italic, pointSize, m_fallback);
}

Font::~Font() {
  if (m_description) pango_font_description_free(m_description);
}

}  // namespace gfx
