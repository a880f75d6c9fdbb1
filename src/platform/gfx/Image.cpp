#include "platform/gfx/Image.h"

#include <cairo.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <list>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/core/Bundle.h"
#include "platform/core/Error.h"
#include "platform/gfx/PixelGrid.h"

namespace gfx {

namespace {

std::atomic<double> g_modeScale{2.0};
std::atomic<double> g_drawingScale{2.0};

std::mutex g_namedMutex;
// Artwork is small and reused screen after screen, so named images are kept until cleared.
// Never destroyed: images are looked up on other threads while the process exits.
std::map<std::string, std::shared_ptr<Image>>& namedCache() {
  static auto* cache = new std::map<std::string, std::shared_ptr<Image>>;
  return *cache;
}

// The scales artwork files are drawn at, ascending.
constexpr double kArtworkScales[] = {1, 2, 3};

// The artwork scale a drawing scale takes first: the smallest at or above it, else the largest.
double preferredArtworkScale(double drawingScale) {
  for (double s : kArtworkScales)
    if (s >= drawingScale - 1e-9) return s;
  return kArtworkScales[std::size(kArtworkScales) - 1];
}

// Copies of pictures resampled to the pixels they are drawn over, kept by picture and size until
// the drawing scale changes, the picture goes or they outgrow the limit (the longest unused go
// first). A size asked for once is only noted (an entry without a copy, among the last
// kMostNoted); the copy is made when it is asked for again. Made on first use and never
// destroyed, so that images outliving other statics at exit can still leave it.
struct ResampledCopies {
  struct Key {
    const Image* source;
    int width, height;
    bool operator<(const Key& o) const {
      return std::tie(source, width, height) < std::tie(o.source, o.width, o.height);
    }
  };
  struct Entry {
    std::shared_ptr<const Image> copy;  // null while only noted
    size_t bytes = 0;
    std::list<Key>::iterator use;       // in `uses`, or in `noted` while only noted
  };
  static constexpr size_t kMostNoted = 512;
  std::mutex mutex;
  std::map<Key, Entry> entries;
  std::list<Key> uses;   // copies, most recently drawn first
  std::list<Key> noted;  // sizes asked for once, most recent first
  size_t bytes = 0;
  size_t limit = 0;           // 0: by the drawing scale
  uint64_t generation = 0;    // counts changes of the drawing scale

  static ResampledCopies& shared() {
    static ResampledCopies* copies = new ResampledCopies();
    return *copies;
  }
  // Called with the mutex held: copies to let go of (outside the lock) so that the total keeps
  // within the limit, sparing `keep`.
  void trim(const Key& keep, double drawingScale, std::vector<std::shared_ptr<const Image>>& dropped) {
    constexpr size_t kUnit = size_t{16} << 20;
    const size_t most = limit > 0 ? limit : std::max(kUnit, static_cast<size_t>(kUnit * drawingScale * drawingScale));
    while (bytes > most && !uses.empty()) {
      const Key oldest = uses.back();
      if (!(oldest < keep) && !(keep < oldest)) break;  // only the copy being drawn is left
      auto it = entries.find(oldest);
      bytes -= it->second.bytes;
      dropped.push_back(std::move(it->second.copy));
      uses.pop_back();
      entries.erase(it);
    }
  }
  // Called with the mutex held: every copy, to let go of outside the lock.
  void clear(std::vector<std::shared_ptr<const Image>>& dropped) {
    for (auto& [key, entry] : entries) dropped.push_back(std::move(entry.copy));
    entries.clear();
    uses.clear();
    noted.clear();
    bytes = 0;
  }
  // Called with the mutex held: forgets an entry, copy or note.
  std::map<Key, Entry>::iterator erase(std::map<Key, Entry>::iterator it,
                                       std::vector<std::shared_ptr<const Image>>& dropped) {
    if (it->second.copy) {
      bytes -= it->second.bytes;
      uses.erase(it->second.use);
      dropped.push_back(std::move(it->second.copy));
    } else {
      noted.erase(it->second.use);
    }
    return entries.erase(it);
  }
};

// Copies larger than this are not kept (a picture drawn that large is drawn as it is).
constexpr int64_t kMostCopyPixels = int64_t{4096} * 4096;

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

// The source pixels an output pixel covers along one side, and how much of each (16.16 fixed
// point, adding up to 1 for each output pixel), for `to` pixels over `from` (to <= from).
struct Coverage {
  std::vector<int> first;  // per output pixel: its first source pixel
  std::vector<int> count;  // how many source pixels it covers
  std::vector<uint32_t> weights;  // all outputs' weights, one after another
  std::vector<size_t> start;      // per output pixel: where its weights start
};

Coverage coverage(int from, int to) {
  Coverage c;
  const double step = double(from) / to;
  for (int i = 0; i < to; ++i) {
    const double a = i * step, b = std::min(double(from), (i + 1) * step);
    const int j0 = static_cast<int>(std::floor(a)), j1 = std::min(from, static_cast<int>(std::ceil(b)));
    c.first.push_back(j0);
    c.count.push_back(j1 - j0);
    c.start.push_back(c.weights.size());
    uint32_t sum = 0;
    for (int j = j0; j < j1; ++j) {
      const double part = std::min(b, double(j + 1)) - std::max(a, double(j));
      const auto w = static_cast<uint32_t>(std::lround(part / step * 65536));
      c.weights.push_back(w);
      sum += w;
    }
    // The rounding's remainder to the largest share, so that a flat colour stays exactly itself.
    auto begin = c.weights.begin() + static_cast<std::ptrdiff_t>(c.start.back());
    auto largest = std::max_element(begin, c.weights.end());
    if (largest != c.weights.end()) *largest += 65536 - sum;
  }
  return c;
}

// `source` (premultiplied ARGB32) reduced to pw x ph pixels (no larger than it) by averaging
// every source pixel under each output pixel by the part of it covered: across each row first,
// into 16 bits a channel, then down the columns.
cairo_surface_t* reduced(cairo_surface_t* source, int pw, int ph) {
  const int sw = cairo_image_surface_get_width(source), sh = cairo_image_surface_get_height(source);
  cairo_surface_flush(source);
  const unsigned char* in = cairo_image_surface_get_data(source);
  const int inStride = cairo_image_surface_get_stride(source);
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
  if (cairo_surface_status(out) != CAIRO_STATUS_SUCCESS) return out;
  const Coverage across = coverage(sw, pw), down = coverage(sh, ph);
  // Across: sh rows of pw pixels, four channels of 16 bits each (alpha, red, green, blue). Two
  // channels a multiplication, 32 bits apart (a channel times the weights adds up to under 2^24).
  std::vector<uint16_t> rows(size_t(sh) * pw * 4);
  auto add = [](uint64_t& blueRed, uint64_t& greenAlpha, uint32_t v, uint32_t w) {
    blueRed += ((v & 0xFFu) | uint64_t(v & 0xFF0000u) << 16) * w;
    greenAlpha += (((v >> 8) & 0xFFu) | uint64_t((v >> 8) & 0xFF0000u) << 16) * w;
  };
  // Reductions to no less than half (the double artwork at a scale between 1 and 2) cover at most
  // three source pixels: taken three at a time with no loop, the missing ones weighing nothing.
  const bool threeAtMost = *std::max_element(across.count.begin(), across.count.end()) <= 3;
  std::vector<uint32_t> three;
  if (threeAtMost) {
    three.resize(size_t(pw) * 3);
    for (int x = 0; x < pw; ++x)
      for (int k = 0; k < across.count[x]; ++k) three[size_t(x) * 3 + k] = across.weights[across.start[x] + k];
  }
  for (int y = 0; y < sh; ++y) {
    const auto* line = reinterpret_cast<const uint32_t*>(in + size_t(y) * inStride);
    uint16_t* to = &rows[size_t(y) * pw * 4];
    for (int x = 0; x < pw; ++x) {
      uint64_t blueRed = 0, greenAlpha = 0;
      const int first = across.first[x];
      if (threeAtMost) {
        const uint32_t* w = &three[size_t(x) * 3];
        const int last = first + across.count[x] - 1;
        add(blueRed, greenAlpha, line[first], w[0]);
        add(blueRed, greenAlpha, line[std::min(first + 1, last)], w[1]);
        add(blueRed, greenAlpha, line[std::min(first + 2, last)], w[2]);
      } else {
        const uint32_t* w = &across.weights[across.start[x]];
        for (int k = 0; k < across.count[x]; ++k) add(blueRed, greenAlpha, line[first + k], w[k]);
      }
      to[x * 4] = uint16_t(((greenAlpha >> 32) + 128) >> 8), to[x * 4 + 1] = uint16_t(((blueRed >> 32) + 128) >> 8);
      to[x * 4 + 2] = uint16_t(((greenAlpha & 0xFFFFFFFFu) + 128) >> 8);
      to[x * 4 + 3] = uint16_t(((blueRed & 0xFFFFFFFFu) + 128) >> 8);
    }
  }
  // Down: each output row from the rows it covers, in 32 bits a channel (under 2^16 times weights
  // adding up to 2^16, the rounding included).
  unsigned char* outData = cairo_image_surface_get_data(out);
  const int outStride = cairo_image_surface_get_stride(out);
  const size_t n = size_t(pw) * 4;
  std::vector<uint32_t> sum(n);
  for (int y = 0; y < ph; ++y) {
    const uint32_t* w = &down.weights[down.start[y]];
    const uint16_t* from = &rows[size_t(down.first[y]) * n];
    for (size_t i = 0; i < n; ++i) sum[i] = from[i] * w[0] + (1u << 23);
    for (int k = 1; k < down.count[y]; ++k) {
      from += n;
      const uint32_t weight = w[k];
      for (size_t i = 0; i < n; ++i) sum[i] += from[i] * weight;
    }
    auto* line = reinterpret_cast<uint32_t*>(outData + size_t(y) * outStride);
    for (int x = 0; x < pw; ++x) {
      const uint32_t* c = &sum[size_t(x) * 4];
      const uint32_t a = c[0] >> 24;
      // Premultiplied: no channel above the alpha.
      line[x] = a << 24 | std::min(a, c[1] >> 24) << 16 | std::min(a, c[2] >> 24) << 8 | std::min(a, c[3] >> 24);
    }
  }
  cairo_surface_mark_dirty(out);
  return out;
}

}  // namespace

Image::~Image() {
  if (m_hasCopies.load()) {
    ResampledCopies& copies = ResampledCopies::shared();
    std::vector<std::shared_ptr<const Image>> dropped;
    {
      std::lock_guard<std::mutex> lock(copies.mutex);
      auto it = copies.entries.lower_bound({this, INT32_MIN, INT32_MIN});
      while (it != copies.entries.end() && it->first.source == this) it = copies.erase(it, dropped);
    }
  }
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
  if (!(scale > 0)) return;
  if (g_drawingScale.exchange(scale) == scale) return;
  // Copies made for the old scale are drawn no more.
  ResampledCopies& copies = ResampledCopies::shared();
  std::vector<std::shared_ptr<const Image>> dropped;
  std::lock_guard<std::mutex> lock(copies.mutex);
  ++copies.generation;
  copies.clear(dropped);
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
  for (const char* suffix : {"@2x", "@3x"})
    if (base.size() > 3 && base.compare(base.size() - 3, 3, suffix) == 0) base.resize(base.size() - 3);

  const std::vector<double> scales = artworkScalesFor(drawingScale());
  const double scale = scales.front();
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
    for (double s : scales) candidates.push_back({folder + base + artworkSuffix(s) + "." + e, s});
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
  image->m_namedFor = scale;
  std::lock_guard<std::mutex> lock(g_namedMutex);
  auto [it, inserted] = namedCache().emplace(key, image);
  return it->second;
}

std::shared_ptr<Image> Image::namedAtDrawingScale() const {
  if (m_name.empty() || preferredArtworkScale(drawingScale()) == m_namedFor) return nullptr;
  auto now = named(m_name);
  return now && now->m_scale != m_scale ? now : nullptr;
}

std::vector<double> Image::artworkScalesFor(double drawingScale) {
  std::vector<double> order;
  const double first = preferredArtworkScale(drawingScale);
  for (double s : kArtworkScales)
    if (s >= first) order.push_back(s);
  for (auto it = std::rbegin(kArtworkScales); it != std::rend(kArtworkScales); ++it)
    if (*it < first) order.push_back(*it);
  return order;
}

std::string Image::artworkSuffix(double scale) {
  if (scale == 1) return "";
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "@%gx", scale);
  return suffix;
}

// ---- Copies resampled to the pixels they are drawn over ----

std::shared_ptr<const Image> Image::resampledFor(Size points) const {
  const double k = drawingScale();
  // The pixels the pixel grid gives the rect, as an int (resampledTo refuses what is too large).
  auto count = [k](double length) {
    const double pixels = gfx::pixelLength(length, k);
    if (!(pixels >= 0)) return 0;
    return pixels > double(INT32_MAX) ? INT32_MAX : static_cast<int>(pixels);
  };
  return resampledTo(count(points.width), count(points.height));
}

std::shared_ptr<const Image> Image::resampledTo(int pixelWidth, int pixelHeight) const {
  if (pixelWidth <= 0 || pixelHeight <= 0 || !m_surface) return nullptr;
  if (m_orientation == ImageOrientation::Up && pixelWidth == m_width && pixelHeight == m_height) return nullptr;
  if (int64_t{pixelWidth} * pixelHeight > kMostCopyPixels) return nullptr;
  ResampledCopies& copies = ResampledCopies::shared();
  const ResampledCopies::Key key{this, pixelWidth, pixelHeight};
  uint64_t generation = 0;
  {
    std::vector<std::shared_ptr<const Image>> dropped;
    std::lock_guard<std::mutex> lock(copies.mutex);
    auto it = copies.entries.find(key);
    if (it != copies.entries.end() && it->second.copy) {
      copies.uses.splice(copies.uses.begin(), copies.uses, it->second.use);
      return it->second.copy;
    }
    if (it == copies.entries.end()) {
      // The first time at this size (a frame of a video, a size passed through in an animation):
      // drawn as it is, and noted.
      it = copies.entries.try_emplace(key).first;
      copies.noted.push_front(key);
      it->second.use = copies.noted.begin();
      m_hasCopies.store(true);
      if (copies.noted.size() > ResampledCopies::kMostNoted)
        copies.erase(copies.entries.find(copies.noted.back()), dropped);
      return nullptr;
    }
    generation = copies.generation;
  }

  // Upright first (once), then resampled: a reduction averages every source pixel under a device
  // pixel by the part of it covered (as Cairo's good filter does, many times faster: the double
  // artwork reduced to a scale between 1 and 2 is most of the copies made), anything else is
  // drawn with Cairo's good filter.
  std::shared_ptr<const Image> upright;
  const Image* source = this;
  if (m_orientation != ImageOrientation::Up) {
    upright = this->upright();
    if (!upright) return nullptr;
    source = upright.get();
  }
  std::shared_ptr<const Image> copy;
  if (source->m_width == pixelWidth && source->m_height == pixelHeight) {
    copy = source->withScale(drawingScale(), ImageOrientation::Up);
  } else if (pixelWidth <= source->m_width && pixelHeight <= source->m_height) {
    cairo_surface_t* out = reduced(source->m_surface, pixelWidth, pixelHeight);
    auto made = fromSurface(out, drawingScale());
    cairo_surface_destroy(out);
    if (made) made->m_hasAlpha = m_hasAlpha;
    copy = made;
  } else {
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
    if (cairo_surface_status(out) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(out);
      return nullptr;
    }
    cairo_t* cr = cairo_create(out);
    cairo_scale(cr, double(pixelWidth) / source->m_width, double(pixelHeight) / source->m_height);
    cairo_set_source_surface(cr, source->m_surface, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(out);
    auto made = fromSurface(out, drawingScale());
    cairo_surface_destroy(out);
    if (made) made->m_hasAlpha = m_hasAlpha;
    copy = made;
  }
  if (!copy) return nullptr;

  std::vector<std::shared_ptr<const Image>> dropped;
  std::lock_guard<std::mutex> lock(copies.mutex);
  if (generation != copies.generation) return copy;  // made for a scale gone meanwhile: drawn once
  auto [it, inserted] = copies.entries.try_emplace(key);
  if (it->second.copy) return it->second.copy;  // another thread made it first
  if (!inserted) copies.noted.erase(it->second.use);
  copies.uses.push_front(key);
  it->second.copy = copy;
  it->second.bytes = static_cast<size_t>(pixelWidth) * static_cast<size_t>(pixelHeight) * 4;
  it->second.use = copies.uses.begin();
  copies.bytes += it->second.bytes;
  m_hasCopies.store(true);
  copies.trim(key, drawingScale(), dropped);
  return copy;
}

size_t Image::resampledBytes() {
  ResampledCopies& copies = ResampledCopies::shared();
  std::lock_guard<std::mutex> lock(copies.mutex);
  return copies.bytes;
}

void Image::setResampledLimit(size_t bytes) {
  ResampledCopies& copies = ResampledCopies::shared();
  std::vector<std::shared_ptr<const Image>> dropped;
  std::lock_guard<std::mutex> lock(copies.mutex);
  copies.limit = bytes;
  if (!copies.uses.empty()) copies.trim(copies.uses.front(), drawingScale(), dropped);
}

}  // namespace gfx
