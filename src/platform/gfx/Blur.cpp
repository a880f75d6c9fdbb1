#include "platform/gfx/Blur.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace gfx {

std::array<int, 3> boxRadii(double sigma) {
  std::array<int, 3> radii{0, 0, 0};
  if (!(sigma >= 0.3)) return radii;
  sigma = std::min(sigma, 512.0);
  double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
  int lower = static_cast<int>(std::floor(ideal));
  if (lower % 2 == 0) --lower;
  int upper = lower + 2;
  double m = (12 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9) / (-4.0 * lower - 4);
  int mi = static_cast<int>(std::lround(m));
  for (int i = 0; i < 3; ++i) radii[i] = ((i < mi ? lower : upper) - 1) / 2;
  return radii;
}

namespace {

// Four floats operated on together (elementwise, so each lane computes exactly what the scalar
// code computes).
using Float4 = float __attribute__((vector_size(16)));

Float4 load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void store4(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

// One box pass along the columns. Strips of sixteen columns keep their running sums in
// registers while they walk down the rows.
void boxColumns(const float* in, float* out, int w, int h, int r) {
  const float k = 1.0f / static_cast<float>(2 * r + 1);
  const Float4 kv = {k, k, k, k};
  const int first = std::min(r, h - 1);
  auto row = [w](auto* base, int y) { return base + static_cast<size_t>(y) * w; };
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    Float4 s0 = {}, s1 = {}, s2 = {}, s3 = {};
    for (int i = 0; i <= first; ++i) {
      const float* p = row(in, i) + x;
      s0 += load4(p), s1 += load4(p + 4), s2 += load4(p + 8), s3 += load4(p + 12);
    }
    for (int y = 0; y < h; ++y) {
      float* d = row(out, y) + x;
      store4(d, s0 * kv), store4(d + 4, s1 * kv), store4(d + 8, s2 * kv), store4(d + 12, s3 * kv);
      int add = y + r + 1, sub = y - r;
      if (add < h) {
        const float* p = row(in, add) + x;
        s0 += load4(p), s1 += load4(p + 4), s2 += load4(p + 8), s3 += load4(p + 12);
      }
      if (sub >= 0) {
        const float* p = row(in, sub) + x;
        s0 -= load4(p), s1 -= load4(p + 4), s2 -= load4(p + 8), s3 -= load4(p + 12);
      }
    }
  }
  for (; x < w; ++x) {
    float sum = 0;
    for (int i = 0; i <= first; ++i) sum += row(in, i)[x];
    for (int y = 0; y < h; ++y) {
      row(out, y)[x] = sum * k;
      int add = y + r + 1, sub = y - r;
      if (add < h) sum += row(in, add)[x];
      if (sub >= 0) sum -= row(in, sub)[x];
    }
  }
}

// out (w rows of h) = in (h rows of w) transposed, four by four in registers.
void transpose(const float* in, float* out, int w, int h) {
  auto at = [](auto* base, int stride, int row, int col) { return base + static_cast<size_t>(row) * stride + col; };
  int y = 0;
  for (; y + 4 <= h; y += 4) {
    int x = 0;
    for (; x + 4 <= w; x += 4) {
      Float4 r0 = load4(at(in, w, y, x)), r1 = load4(at(in, w, y + 1, x)), r2 = load4(at(in, w, y + 2, x)),
             r3 = load4(at(in, w, y + 3, x));
      Float4 t0 = __builtin_shufflevector(r0, r1, 0, 4, 1, 5), t1 = __builtin_shufflevector(r0, r1, 2, 6, 3, 7);
      Float4 t2 = __builtin_shufflevector(r2, r3, 0, 4, 1, 5), t3 = __builtin_shufflevector(r2, r3, 2, 6, 3, 7);
      store4(at(out, h, x, y), __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
      store4(at(out, h, x + 1, y), __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
      store4(at(out, h, x + 2, y), __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
      store4(at(out, h, x + 3, y), __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
    }
    for (; x < w; ++x)
      for (int j = y; j < y + 4; ++j) *at(out, h, x, j) = *at(in, w, j, x);
  }
  for (; y < h; ++y)
    for (int x = 0; x < w; ++x) *at(out, h, x, y) = *at(in, w, y, x);
}

// A plane of h rows of w floats, blurred in place with three scratch planes of its size. Every
// element of these is written before it is read.
class BlurPlane {
 public:
  BlurPlane(int w, int h) : m_w(w), m_h(h), m_n(static_cast<size_t>(w) * h), m_buffers(new float[4 * m_n]) {}
  float* data() { return m_buffers.get(); }
  float* row(int y) { return data() + static_cast<size_t>(y) * m_w; }
  // Each radius: a pass along the rows (done as one along the columns of the transposed image,
  // where the running sums of all columns advance together), then one along the columns.
  void blur(const std::array<int, 3>& radii) {
    float* a = data();
    float *tmp = a + m_n, *t1 = tmp + m_n, *t2 = t1 + m_n;
    for (int r : radii) {
      if (r <= 0) continue;
      transpose(a, t1, m_w, m_h);
      boxColumns(t1, t2, m_h, m_w, r);
      transpose(t2, tmp, m_h, m_w);
      boxColumns(tmp, a, m_w, m_h, r);
    }
  }

 private:
  int m_w, m_h;
  size_t m_n;
  std::unique_ptr<float[]> m_buffers;
};

}  // namespace

void blurAndTint(cairo_surface_t* s, const std::array<int, 3>& radii, const Color& c, double opacity) {
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  BlurPlane a(w, h);
  static const std::array<float, 256> unit = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = float(i) / 255.0f;
    return t;
  }();
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    float* dst = a.row(y);
    for (int x = 0; x < w; ++x) dst[x] = unit[row[x] >> 24];
  }
  a.blur(radii);
  const double ca = std::clamp(c.a() * opacity, 0.0, 1.0);
  const double cr = std::clamp(c.r(), 0.0, 1.0), cg = std::clamp(c.g(), 0.0, 1.0), cb = std::clamp(c.b(), 0.0, 1.0);
  // Each channel is round(clamp(alpha) * ca * colour * 255), half up (as lround for these
  // non-negative values); four pixels at a time, the same arithmetic in each lane.
  using Double4 = double __attribute__((vector_size(32)));
  using Int4 = int32_t __attribute__((vector_size(16)));
  using UInt4 = uint32_t __attribute__((vector_size(16)));
  const Double4 zero = {0, 0, 0, 0}, one = {1, 1, 1, 1}, full = {255, 255, 255, 255}, half = {0.5, 0.5, 0.5, 0.5};
  const Double4 cav = {ca, ca, ca, ca}, crv = {cr, cr, cr, cr}, cgv = {cg, cg, cg, cg}, cbv = {cb, cb, cb, cb};
  auto q = [](double v) { return static_cast<uint32_t>(v + 0.5); };
  for (int y = 0; y < h; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    const float* src = a.row(y);
    int x = 0;
    for (; x + 4 <= w; x += 4) {
      Double4 v = __builtin_convertvector(load4(src + x), Double4);
      v = v < zero ? zero : v;  // std::clamp's comparisons, lane by lane
      v = one < v ? one : v;
      Double4 al = v * cav;
      Int4 pa = __builtin_convertvector(al * full + half, Int4);
      Int4 pr = __builtin_convertvector(crv * al * full + half, Int4);
      Int4 pg = __builtin_convertvector(cgv * al * full + half, Int4);
      Int4 pb = __builtin_convertvector(cbv * al * full + half, Int4);
      UInt4 px = (UInt4(pa) << 24) | (UInt4(pr) << 16) | (UInt4(pg) << 8) | UInt4(pb);
      std::memcpy(row + x, &px, sizeof px);
    }
    for (; x < w; ++x) {
      double al = std::clamp(double(src[x]), 0.0, 1.0) * ca;
      row[x] = (q(al * 255) << 24) | (q(cr * al * 255) << 16) | (q(cg * al * 255) << 8) | q(cb * al * 255);
    }
  }
  cairo_surface_mark_dirty(s);
}

void blurChannels(cairo_surface_t* s, const std::array<int, 3>& radii) {
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  if (!data || w <= 0 || h <= 0) return;
  BlurPlane a(w, h);
  // Channel by channel: premultiplied values blur independently, and a channel never ends up
  // above the blurred alpha.
  for (int shift = 0; shift < 32; shift += 8) {
    for (int y = 0; y < h; ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
      float* dst = a.row(y);
      for (int x = 0; x < w; ++x) dst[x] = float((row[x] >> shift) & 0xff);
    }
    a.blur(radii);
    for (int y = 0; y < h; ++y) {
      uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
      const float* src = a.row(y);
      for (int x = 0; x < w; ++x) {
        uint32_t v = static_cast<uint32_t>(std::clamp(src[x] + 0.5f, 0.0f, 255.0f));
        row[x] = (row[x] & ~(0xffu << shift)) | (v << shift);
      }
    }
  }
  cairo_surface_mark_dirty(s);
}

}  // namespace gfx
