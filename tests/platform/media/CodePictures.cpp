#include "platform/media/CodePictures.h"

#include <cairo.h>
#include <qrencode.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "platform/gfx/Image.h"

namespace media::test {
namespace {

void appendBits(std::vector<bool>& out, const char* bits) {
  for (; *bits; ++bits) out.push_back(*bits == '1');
}

const char* const kLeftOdd[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                                  "0110001", "0101111", "0111011", "0110111", "0001011"};

std::string rightCode(int digit) {
  std::string s = kLeftOdd[digit];
  for (auto& c : s) c = c == '1' ? '0' : '1';
  return s;
}

std::string leftEven(int digit) {
  std::string s = rightCode(digit);
  std::reverse(s.begin(), s.end());
  return s;
}

Modules linear(std::vector<bool> bars) {
  Modules m;
  m.columns = static_cast<int>(bars.size());
  m.rows.push_back(std::move(bars));
  return m;
}

// Bar and space widths of the Code 128 symbols, values 0..106 (106 is the stop).
const char* const kCode128[107] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212", "221213", "221312",
    "231212", "112232", "122132", "122231", "113222", "123122", "123221", "223211", "221132", "221231", "213212",
    "223112", "312131", "311222", "321122", "321221", "312212", "322112", "322211", "212123", "212321", "232121",
    "111323", "131123", "131321", "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",
    "132131", "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131", "311123",
    "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111", "111224", "111422", "121124",
    "121421", "141122", "141221", "112214", "112412", "122114", "122411", "142112", "142211", "241211", "221114",
    "413111", "241112", "134111", "111242", "121142", "121241", "114212", "124112", "124211", "411212", "421112",
    "421211", "212141", "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

void appendWidths(std::vector<bool>& out, const char* widths) {
  bool dark = true;
  for (; *widths; ++widths, dark = !dark) out.insert(out.end(), *widths - '0', dark);
}

cairo_surface_t* whiteSurface(int width, int height) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_destroy(cr);
  return s;
}

void draw(cairo_surface_t* s, const Modules& code, const Placement& p) {
  const bool isLinear = code.rows.size() == 1;
  const double rowHeight = isLinear ? p.barHeight : 1;
  const double w = code.columns;
  const double h = rowHeight * code.rows.size();
  cairo_t* cr = cairo_create(s);
  cairo_set_antialias(cr, p.angle == 0 ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_DEFAULT);
  cairo_translate(cr, p.centerX * p.width, p.centerY * p.height);
  cairo_rotate(cr, p.angle * M_PI / 180);
  cairo_scale(cr, p.module, p.module);
  cairo_translate(cr, -w / 2, -h / 2);
  const double quiet = isLinear ? 10 : 4;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, -quiet, -quiet, w + 2 * quiet, h + 2 * quiet);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (size_t r = 0; r < code.rows.size(); ++r) {
    for (int c = 0; c < code.columns; ++c) {
      if (code.rows[r][c]) cairo_rectangle(cr, c, r * rowHeight, 1, rowHeight);
    }
  }
  cairo_fill(cr);
  cairo_destroy(cr);
}

std::shared_ptr<gfx::Image> finish(cairo_surface_t* s, int noise) {
  if (noise > 0) {
    cairo_surface_flush(s);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> delta(-noise, noise);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < cairo_image_surface_get_height(s); ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
      for (int x = 0; x < cairo_image_surface_get_width(s); ++x) {
        uint32_t v = row[x];
        uint32_t out = 0xff000000u;
        for (int shift = 0; shift < 24; shift += 8) {
          int c = std::clamp(static_cast<int>((v >> shift) & 0xff) + delta(random), 0, 255);
          out |= static_cast<uint32_t>(c) << shift;
        }
        row[x] = out;
      }
    }
    cairo_surface_mark_dirty(s);
  }
  auto image = gfx::Image::fromSurface(s);
  cairo_surface_destroy(s);
  return image;
}

}  // namespace

Modules qrModules(const std::string& text) {
  QRcode* qr = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
  Modules m;
  if (!qr) return m;
  m.columns = qr->width;
  for (int y = 0; y < qr->width; ++y) {
    std::vector<bool> row;
    for (int x = 0; x < qr->width; ++x) row.push_back(qr->data[y * qr->width + x] & 1);
    m.rows.push_back(std::move(row));
  }
  QRcode_free(qr);
  return m;
}

std::string checkedEan(const std::string& digits) {
  // Weights 3 and 1 alternate from the digit next to the check digit.
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    int weight = (digits.size() - i) % 2 == 1 ? 3 : 1;
    sum += (digits[i] - '0') * weight;
  }
  return digits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

Modules ean13Modules(const std::string& twelveDigits) {
  static const char* const kParity[10] = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                          "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};
  std::string d = checkedEan(twelveDigits);
  std::vector<bool> bars;
  appendBits(bars, "101");
  const char* parity = kParity[d[0] - '0'];
  for (int i = 1; i <= 6; ++i) {
    int digit = d[i] - '0';
    appendBits(bars, parity[i - 1] == 'L' ? kLeftOdd[digit] : leftEven(digit).c_str());
  }
  appendBits(bars, "01010");
  for (int i = 7; i <= 12; ++i) appendBits(bars, rightCode(d[i] - '0').c_str());
  appendBits(bars, "101");
  return linear(std::move(bars));
}

Modules ean8Modules(const std::string& sevenDigits) {
  std::string d = checkedEan(sevenDigits);
  std::vector<bool> bars;
  appendBits(bars, "101");
  for (int i = 0; i < 4; ++i) appendBits(bars, kLeftOdd[d[i] - '0']);
  appendBits(bars, "01010");
  for (int i = 4; i < 8; ++i) appendBits(bars, rightCode(d[i] - '0').c_str());
  appendBits(bars, "101");
  return linear(std::move(bars));
}

Modules code128Modules(const std::string& text) {
  const int startB = 104;
  std::vector<bool> bars;
  appendWidths(bars, kCode128[startB]);
  int sum = startB;
  for (size_t i = 0; i < text.size(); ++i) {
    int value = static_cast<unsigned char>(text[i]) - 32;
    appendWidths(bars, kCode128[value]);
    sum += value * static_cast<int>(i + 1);
  }
  appendWidths(bars, kCode128[sum % 103]);
  appendWidths(bars, kCode128[106]);
  return linear(std::move(bars));
}

std::shared_ptr<gfx::Image> picture(const Modules& code, const Placement& placement) {
  cairo_surface_t* s = whiteSurface(placement.width, placement.height);
  draw(s, code, placement);
  return finish(s, placement.noise);
}

std::shared_ptr<gfx::Image> picture(const Modules& a, const Placement& pa, const Modules& b, const Placement& pb) {
  cairo_surface_t* s = whiteSurface(pa.width, pa.height);
  draw(s, a, pa);
  draw(s, b, pb);
  return finish(s, std::max(pa.noise, pb.noise));
}

std::shared_ptr<gfx::Image> blankPicture(int width, int height) {
  return finish(whiteSurface(width, height), 0);
}

}  // namespace media::test
