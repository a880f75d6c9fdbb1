#include "platform/media/CodeRecognizer.h"

#include <zbar.h>

#include <algorithm>
#include <cmath>

#include "platform/gfx/Image.h"

namespace media {

using namespace zbar;

// zbar's scanner, which keeps its configuration between frames.
struct CodeRecognizer::Scanner {
  Scanner() : handle(zbar_image_scanner_create()) {}
  ~Scanner() { zbar_image_scanner_destroy(handle); }
  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;
  zbar_image_scanner_t* handle = nullptr;
};

namespace {

struct Symbology {
  const MetadataObjectType* type;
  zbar_symbol_type_t zbar;
};

const Symbology kSymbologies[] = {
    {&MetadataObjectTypeQRCode, ZBAR_QRCODE},
    {&MetadataObjectTypeEAN8Code, ZBAR_EAN8},
    {&MetadataObjectTypeEAN13Code, ZBAR_EAN13},
    {&MetadataObjectTypeCode128Code, ZBAR_CODE128},
};

const MetadataObjectType* typeOf(zbar_symbol_type_t symbol) {
  for (const auto& s : kSymbologies) {
    if (s.zbar == symbol) return s.type;
  }
  return nullptr;
}

}  // namespace

CodeRecognizer::CodeRecognizer() : m_scanner(std::make_unique<Scanner>()) {
  configure({});
}

CodeRecognizer::~CodeRecognizer() = default;

const std::vector<MetadataObjectType>& CodeRecognizer::supportedTypes() {
  // Never destroyed: recognition runs on its queue while the process exits.
  static const auto* types = new std::vector<MetadataObjectType>{MetadataObjectTypeQRCode, MetadataObjectTypeEAN8Code,
                                                                 MetadataObjectTypeEAN13Code, MetadataObjectTypeCode128Code};
  return *types;
}

void CodeRecognizer::configure(const std::vector<MetadataObjectType>& types) {
  if (types == m_configured && !types.empty()) return;
  // Everything off, then only the symbologies asked for.
  zbar_image_scanner_set_config(m_scanner->handle, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
  for (const auto& s : kSymbologies) {
    bool wanted = std::find(types.begin(), types.end(), *s.type) != types.end();
    zbar_image_scanner_set_config(m_scanner->handle, s.zbar, ZBAR_CFG_ENABLE, wanted ? 1 : 0);
  }
  m_configured = types;
}

std::vector<RecognizedCode> CodeRecognizer::recognize(const gfx::Image& frame,
                                                      const std::vector<MetadataObjectType>& types,
                                                      const gfx::Rect& regionOfInterest) {
  std::vector<RecognizedCode> found;
  if (types.empty()) return found;
  configure(types);

  // The region in pixels, clipped to the frame.
  const int w = frame.pixelWidth();
  const int h = frame.pixelHeight();
  const auto& r = regionOfInterest;
  double fx0 = std::clamp(r.origin.x, 0.0, 1.0);
  double fy0 = std::clamp(r.origin.y, 0.0, 1.0);
  double fx1 = std::clamp(r.origin.x + r.size.width, 0.0, 1.0);
  double fy1 = std::clamp(r.origin.y + r.size.height, 0.0, 1.0);
  if (!(fx1 > fx0 && fy1 > fy0)) return found;  // also catches NaN
  int x0 = static_cast<int>(std::floor(fx0 * w));
  int y0 = static_cast<int>(std::floor(fy0 * h));
  int x1 = static_cast<int>(std::ceil(fx1 * w));
  int y1 = static_cast<int>(std::ceil(fy1 * h));
  int cw = x1 - x0;
  int ch = y1 - y0;
  if (cw <= 0 || ch <= 0) return found;

  // Luma of the region, transparent pixels over white.
  m_gray.resize(static_cast<size_t>(cw) * ch);
  const auto* pixels = frame.pixels();
  const int wordsPerRow = frame.stride() / 4;
  for (int y = 0; y < ch; ++y) {
    const uint32_t* row = pixels + static_cast<size_t>(y + y0) * wordsPerRow + x0;
    unsigned char* out = m_gray.data() + static_cast<size_t>(y) * cw;
    for (int x = 0; x < cw; ++x) {
      uint32_t p = row[x];
      uint32_t a = p >> 24, red = (p >> 16) & 0xff, green = (p >> 8) & 0xff, blue = p & 0xff;
      uint32_t luma = (77 * red + 150 * green + 29 * blue) >> 8;
      out[x] = static_cast<unsigned char>(std::min<uint32_t>(255, luma + (255 - a)));
    }
  }

  zbar_image_t* image = zbar_image_create();
  zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image, static_cast<unsigned>(cw), static_cast<unsigned>(ch));
  zbar_image_set_data(image, m_gray.data(), m_gray.size(), nullptr);
  if (zbar_scan_image(m_scanner->handle, image) > 0) {
    for (const zbar_symbol_t* s = zbar_image_first_symbol(image); s; s = zbar_symbol_next(s)) {
      const MetadataObjectType* type = typeOf(zbar_symbol_get_type(s));
      if (!type) continue;
      RecognizedCode code{*type, std::string(zbar_symbol_get_data(s), zbar_symbol_get_data_length(s))};
      if (std::find(found.begin(), found.end(), code) == found.end()) found.push_back(std::move(code));
    }
  }
  zbar_image_destroy(image);
  return found;
}

}  // namespace media
