#pragma once

#include <memory>
#include <string>

typedef struct _PangoContext PangoContext;
typedef struct _PangoFontDescription PangoFontDescription;

namespace gfx {

// A face at a point size, immutable. Metrics are in points, measured as the text layout measures
// (no hinting, so they scale linearly with the size).
class Font {
 public:
  // The system face: a sans-serif family that covers Chinese as well as Latin text.
  static constexpr const char* SystemFamily = "Noto Sans CJK SC";

  static std::shared_ptr<const Font> systemFont(double pointSize);
  static std::shared_ptr<const Font> boldSystemFont(double pointSize);
  // A face by family name ("DejaVu Sans"), by PostScript name, or by "Family-Style" with the
  // family written without spaces ("DejaVuSans-Bold"). When no installed family matches, the
  // system face of the same weight and slant stands in; isFallback() then says so, and the
  // substitution is logged once per name.
  static std::shared_ptr<const Font> font(const std::string& name, double pointSize);
  // The platform's usual sizes.
  static double systemFontSize() { return 14; }
  static double labelFontSize() { return 17; }

  std::shared_ptr<const Font> withSize(double pointSize) const;

  // The name asked for (the family for the system faces).
  const std::string& name() const { return m_name; }
  // The family actually used.
  const std::string& familyName() const { return m_family; }
  double pointSize() const { return m_size; }
  bool isBold() const { return m_weight >= 600; }
  bool isItalic() const { return m_italic; }
  bool isFallback() const { return m_fallback; }

  // Distance from the baseline up to the top of a line (positive).
  double ascender() const { return m_ascender; }
  // Distance from the baseline down to the bottom of a line (negative, as the platform gives it).
  double descender() const { return m_descender; }
  // Height of one laid-out line: ascender - descender.
  double lineHeight() const { return m_lineHeight; }
  // Extra space the face asks for between lines (0 for the system face).
  double leading() const { return m_leading; }

  // The Pango description of this face (owned by the font).
  PangoFontDescription* pangoDescription() const { return m_description; }
  // The calling thread's Pango context for text layout: 72 units per inch (one unit is one
  // point), no hinting, fractional glyph positions. Owned by the thread.
  static PangoContext* pangoContext();

  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

 private:
  Font() = default;
  static std::shared_ptr<const Font> make(std::string name, std::string family, int weight, bool italic, double size,
                                          bool fallback);

  std::string m_name;
  std::string m_family;
  int m_weight = 400;
  bool m_italic = false;
  bool m_fallback = false;
  double m_size = 0;
  double m_ascender = 0;
  double m_descender = 0;
  double m_lineHeight = 0;
  double m_leading = 0;
  PangoFontDescription* m_description = nullptr;
};

}  // namespace gfx
