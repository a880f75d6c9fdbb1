#include "platform/gfx/Image.h"

#include <cairo.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/core/Bundle.h"
#include "platform/core/Error.h"

namespace gfx {

namespace {

std::atomic<double> g_modeScale{2.0};
std::atomic<double> g_drawingScale{2.0};

std::mutex g_namedMutex;
// Artwork is small and reused screen after screen, so named images are kept until cleared.
std::map<std::string, std::shared_ptr<Image>>& namedCache() {
  static std::map<std::string, std::shared_ptr<Image>> cache;
  return cache;
}

bool sidesSwap(ImageOrientation o) {
  return o == ImageOrientation::Left || o == ImageOrientation::Right || o == ImageOrientation::LeftMirrored ||
         o == ImageOrientation::RightMirrored;
}

// For an upright pixel (u, v), the stored pixel it shows. w and h are the stored sizes.
inline void sourceOf(ImageOrientation o, int u, int v, int w, int h, int& x, int& y) {
  switch (o) {
    case ImageOrientation::Up: x = u, y = v; break;
    case ImageOrientation::UpMirrored: x = w - 1 - u, y = v; break;
    case ImageOrientation::Down: x = w - 1 - u, y = h - 1 - v; break;
    case ImageOrientation::DownMirrored: x = u, y = h - 1 - v; break;
    case ImageOrientation::LeftMirrored: x = v, y = u; break;                  // transposed
    case ImageOrientation::Right: x = v, y = h - 1 - u; break;                 // turned a quarter clockwise
    case ImageOrientation::RightMirrored: x = w - 1 - v, y = h - 1 - u; break; // transverse
    case ImageOrientation::Left: x = w - 1 - v, y = u; break;                  // turned a quarter anticlockwise
  }
}

}  // namespace

Image::~Image() {
  if (m_surface) cairo_surface_destroy(m_surface);
}

std::shared_ptr<Image> Image::fromPixels(int pixelWidth, int pixelHeight, std::vector<uint32_t> argbPremultiplied,
                                         double scale, ImageOrientation orientation) {
  if (pixelWidth <= 0 || pixelHeight <= 0) return nullptr;
  if (argbPremultiplied.size() != static_cast<size_t>(pixelWidth) * static_cast<size_t>(pixelHeight)) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < pixelHeight; ++y)
    std::memcpy(data + static_cast<size_t>(y) * stride, argbPremultiplied.data() + static_cast<size_t>(y) * pixelWidth,
                static_cast<size_t>(pixelWidth) * 4);
  cairo_surface_mark_dirty(s);
  auto image = fromSurface(s, scale, orientation);
  cairo_surface_destroy(s);
  return image;
}

std::shared_ptr<Image> Image::fromSurface(cairo_surface_t* surface, double scale, ImageOrientation orientation) {
  if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
    return nullptr;
  int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  if (w <= 0 || h <= 0 || !(scale > 0)) return nullptr;
  cairo_format_t format = cairo_image_surface_get_format(surface);
  std::shared_ptr<Image> image(new Image());
  image->m_width = w;
  image->m_height = h;
  image->m_scale = scale;
  image->m_orientation = orientation;
  if (format == CAIRO_FORMAT_ARGB32) {
    // The pixels may have been written directly: Cairo treats a new surface as clear (and
    // paints nothing from it) until told otherwise.
    cairo_surface_mark_dirty(surface);
    image->m_surface = cairo_surface_reference(surface);
    return image;
  }
  // Other formats are drawn into an ARGB32 copy; RGB24 stays opaque.
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(copy);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(copy);
  if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(copy);
    return nullptr;
  }
  image->m_surface = copy;
  image->m_hasAlpha = format != CAIRO_FORMAT_RGB24 && format != CAIRO_FORMAT_RGB16_565 && format != CAIRO_FORMAT_RGB30;
  return image;
}

std::shared_ptr<Image> Image::animated(std::vector<std::shared_ptr<Image>> frames, double duration) {
  if (frames.empty()) return nullptr;
  for (const auto& f : frames)
    if (!f) return nullptr;
  const Image& first = *frames.front();
  std::shared_ptr<Image> image(new Image());
  image->m_width = first.m_width;
  image->m_height = first.m_height;
  image->m_scale = first.m_scale;
  image->m_orientation = first.m_orientation;
  image->m_hasAlpha = first.m_hasAlpha;
  image->m_surface = cairo_surface_reference(first.m_surface);
  image->m_frames = std::move(frames);
  image->m_duration = duration > 0 ? duration : 0;
  return image;
}

std::shared_ptr<Image> Image::withScale(double scale, ImageOrientation orientation) const {
  if (!(scale > 0)) return nullptr;
  std::shared_ptr<Image> image(new Image());
  image->m_width = m_width;
  image->m_height = m_height;
  image->m_scale = scale;
  image->m_orientation = orientation;
  image->m_hasAlpha = m_hasAlpha;
  image->m_surface = cairo_surface_reference(m_surface);
  image->m_duration = m_duration;
  image->m_frameDelays = m_frameDelays;
  for (const auto& f : m_frames) image->m_frames.push_back(f->withScale(scale, orientation));
  return image;
}

Size Image::size() const {
  double w = m_width / m_scale, h = m_height / m_scale;
  return sidesSwap(m_orientation) ? Size{h, w} : Size{w, h};
}

const uint32_t* Image::pixels() const {
  return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(m_surface));
}

int Image::stride() const { return cairo_image_surface_get_stride(m_surface); }

uint32_t Image::pixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
  const unsigned char* row = cairo_image_surface_get_data(m_surface) + static_cast<size_t>(y) * stride();
  uint32_t v;
  std::memcpy(&v, row + static_cast<size_t>(x) * 4, 4);
  return v;
}

std::shared_ptr<Image> Image::upright() const {
  if (m_orientation == ImageOrientation::Up) return withScale(m_scale, ImageOrientation::Up);
  if (!m_frames.empty()) {
    std::vector<std::shared_ptr<Image>> frames;
    for (const auto& f : m_frames) {
      frames.push_back(f->upright());
      if (!frames.back()) return nullptr;
    }
    auto image = animated(std::move(frames), m_duration);
    image->m_frameDelays = m_frameDelays;
    return image;
  }
  bool swap = sidesSwap(m_orientation);
  int ow = swap ? m_height : m_width, oh = swap ? m_width : m_height;
  std::vector<uint32_t> out(static_cast<size_t>(ow) * oh);
  const unsigned char* data = cairo_image_surface_get_data(m_surface);
  int srcStride = stride();
  for (int v = 0; v < oh; ++v) {
    for (int u = 0; u < ow; ++u) {
      int x = 0, y = 0;
      sourceOf(m_orientation, u, v, m_width, m_height, x, y);
      std::memcpy(&out[static_cast<size_t>(v) * ow + u], data + static_cast<size_t>(y) * srcStride + x * 4, 4);
    }
  }
  auto image = fromPixels(ow, oh, std::move(out), m_scale, ImageOrientation::Up);
  if (image) image->m_hasAlpha = m_hasAlpha;
  return image;
}

// ---- Named artwork ----

void Image::setModeScale(double scale) {
  if (scale > 0) g_modeScale.store(scale);
}

double Image::modeScale() { return g_modeScale.load(); }

void Image::setDrawingScale(double scale) {
  if (scale > 0) g_drawingScale.store(scale);
}

double Image::drawingScale() { return g_drawingScale.load(); }

void Image::clearNamedCache() {
  std::lock_guard<std::mutex> lock(g_namedMutex);
  namedCache().clear();
}

std::shared_ptr<Image> Image::named(const std::string& name) {
  if (name.empty()) return nullptr;
  // A known image extension in the name is kept; otherwise the artwork is PNG.
  std::string base = name, ext = "png";
  if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
    std::string e = name.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (e == "png" || e == "jpg" || e == "jpeg" || e == "gif" || e == "webp" || e == "bmp" || e == "tif" ||
        e == "tiff") {
      base = name.substr(0, dot);
      ext = name.substr(dot + 1);
    }
  }
  if (base.size() > 3 && base.compare(base.size() - 3, 3, "@2x") == 0) base.resize(base.size() - 3);

  // The @2x artwork wherever pixels are drawn at more than one a point.
  const double scale = drawingScale() > 1 ? 2 : 1;
  const std::string folder = core::Bundle::main().resourcePath() + "/images/";
  char scaleText[32];
  std::snprintf(scaleText, sizeof scaleText, "%g", scale);
  const std::string key = folder + '\n' + base + '.' + ext + '\n' + scaleText;
  {
    std::lock_guard<std::mutex> lock(g_namedMutex);
    auto it = namedCache().find(key);
    if (it != namedCache().end()) return it->second;
  }

  struct Candidate {
    std::string file;
    double scale;
  };
  std::vector<Candidate> candidates;
  auto addFor = [&](const std::string& e) {
    Candidate two{folder + base + "@2x." + e, 2.0}, one{folder + base + "." + e, 1.0};
    if (scale > 1) {
      candidates.push_back(two);
      candidates.push_back(one);
    } else {
      candidates.push_back(one);
      candidates.push_back(two);
    }
  };
  addFor(ext);
  // The generated artwork is PNG even where a screen names a JPEG.
  if (ext != "png") addFor("png");

  std::shared_ptr<Image> image;
  std::error_code ec;
  for (const Candidate& c : candidates) {
    if (!std::filesystem::is_regular_file(c.file, ec)) continue;
    image = fromFile(c.file, c.scale);
    if (image) break;
  }
  if (!image) return nullptr;
  image->m_name = name;
  std::lock_guard<std::mutex> lock(g_namedMutex);
  auto [it, inserted] = namedCache().emplace(key, image);
  return it->second;
}

std::shared_ptr<Image> Image::namedAtDrawingScale() const {
  if (m_name.empty() || (m_scale > 1) == (drawingScale() > 1)) return nullptr;
  auto now = named(m_name);
  return now && now->m_scale != m_scale ? now : nullptr;
}

}  // namespace gfx
