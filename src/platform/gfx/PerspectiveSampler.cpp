#include "platform/gfx/PerspectiveSampler.h"

#include <cairo.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#endif

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/core/Log.h"

namespace gfx {

namespace {

// The process the program was loaded in, noted as it loads. Only that one starts band threads: a
// forked child, forked before they started or after, draws alone (a child of a process with
// several threads may not start threads). Zero, no process's, until noted: a draw before then is
// done alone too.
const pid_t loadedIn = getpid();

// A few threads kept to draw bands of rows alongside the calling thread: started when first
// wanted, never stopped. One caller at a time has them; a caller that finds them busy, one in a
// process other than the one the program was loaded in (a forked child, which has none of them),
// or one whose threads cannot be started, draws on its own. The bands are taken one by one by
// whoever is free, the caller among them, so a thread that is slow to wake (on a busy machine)
// holds up no more than the band it took.
class BandWorkers {
 public:
  static constexpr int kMaxThreads = 4;  // the caller's among them

  // Made once and never destroyed, its threads detached: a thread may still be drawing while the
  // process exits and runs the static destructors, and in a forked child the condition variables
  // count the parent's threads as waiters, so destroying them there would wait for ever. It stays
  // reachable through this pointer to the end.
  static BandWorkers& shared() {
    static BandWorkers* const workers = new BandWorkers;
    return *workers;
  }

  // Calls band(i) for every i in [0, n) and returns when all have returned, with up to `threads`
  // threads (the caller's included) at a time.
  void run(int n, int threads, const std::function<void(int)>& band) {
    // A forked child: the threads (and whatever locks they held at the fork) are the parent's.
    if (getpid() != loadedIn) return alone(n, band);
    std::unique_lock use(m_use, std::try_to_lock);
    if (!use) return alone(n, band);
    // m_started changes only under m_use, which this caller holds.
    while (m_started < std::min(threads, kMaxThreads) - 1) {
      try {
        std::thread(&BandWorkers::loop, this).detach();
      } catch (const std::system_error&) {
        break;  // no thread to be had: the bands are shared among fewer
      }
      ++m_started;
    }
    std::unique_lock lock(m_mutex);
    m_band = &band;
    m_next = 0;
    m_count = m_unfinished = n;
    ++m_round;
    lock.unlock();
    m_wake.notify_all();
    lock.lock();
    drawBands(lock);
    m_done.wait(lock, [&] { return m_unfinished == 0; });
    m_band = nullptr;
  }

 private:
  BandWorkers() = default;

  static void alone(int n, const std::function<void(int)>& band) {
    for (int i = 0; i < n; ++i) band(i);
  }

  // Takes bands of the round under way until none is left; called with m_mutex held.
  void drawBands(std::unique_lock<std::mutex>& lock) {
    while (m_band && m_next < m_count) {
      const int i = m_next++;
      const std::function<void(int)>& band = *m_band;
      lock.unlock();
      band(i);
      lock.lock();
      if (--m_unfinished == 0) m_done.notify_one();
    }
  }

  void loop() {
    std::unique_lock lock(m_mutex);
    uint64_t seen = m_round;
    for (;;) {
      m_wake.wait(lock, [&] { return m_round != seen; });
      seen = m_round;
      drawBands(lock);
    }
  }

  std::mutex m_use;  // held by the caller whose bands are being drawn
  std::mutex m_mutex;
  std::condition_variable m_wake, m_done;
  int m_started = 0;
  // The round under way: its bands, the next one to take and how many are not yet drawn.
  const std::function<void(int)>* m_band = nullptr;
  int m_count = 0, m_next = 0, m_unfinished = 0;
  uint64_t m_round = 0;
};

// The bilinear blend of a 2x2 block of premultiplied ARGB32 pixels (top left, top right, bottom
// left, bottom right), wx/256 of the right column and wy/256 of the bottom row. Each blend is
// rounded to nearest with the same weights for every channel, so a colour stays within its alpha.
#if defined(__SSE2__)
inline uint32_t bilinear(uint64_t top, uint64_t bottom, uint32_t wx, uint32_t wy) {
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
  // Each row's two pixels as eight 16-bit lanes.
  const __m128i t = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(top)), zero);
  const __m128i b = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(bottom)), zero);
  const __m128i vy = _mm_set1_epi16(static_cast<short>(wy)), uy = _mm_set1_epi16(static_cast<short>(256 - wy));
  __m128i col = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(t, uy), _mm_mullo_epi16(b, vy)), half), 8);
  const __m128i right = _mm_unpackhi_epi64(col, col);
  const __m128i vx = _mm_set1_epi16(static_cast<short>(wx)), ux = _mm_set1_epi16(static_cast<short>(256 - wx));
  col = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(col, ux), _mm_mullo_epi16(right, vx)), half), 8);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(col, col)));
}

// a + (b - a) * w / 256 on 16-bit lanes, rounded, for lanes of 0-255 and weights of 0-255: the
// sums wrap in 16 bits but their true values (at most 255 * 256 + 128) fit, so the result is exact.
inline __m128i lerpLanes(__m128i a, __m128i b, __m128i w) {
  const __m128i half = _mm_set1_epi16(128);
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(a, 8), _mm_mullo_epi16(_mm_sub_epi16(b, a), w)), half),
                        8);
}

// The blend weights (bits 8-15) of four points in 65536ths, each as eight 16-bit lanes: of the
// first and second point in `low`, of the third and fourth in `high`, four lanes each.
inline void weightPairs(__m128i points, __m128i& low, __m128i& high) {
  const __m128i w = _mm_and_si128(_mm_srli_epi32(points, 8), _mm_set1_epi32(255));
  const __m128i twice = _mm_unpacklo_epi16(_mm_packs_epi32(w, w), _mm_packs_epi32(w, w));
  low = _mm_unpacklo_epi32(twice, twice);
  high = _mm_unpackhi_epi32(twice, twice);
}

// The blends of two blocks (top left at p and at q) as two pixels of 16-bit lanes; weights 0-255.
inline __m128i bilinearPair(const uint32_t* p, const uint32_t* q, ptrdiff_t stride, int wxp, int wyp, int wxq,
                            int wyq) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q)));
  const __m128i bottom = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + stride)),
                                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q + stride)));
  // Each block's left and right columns blended down the rows.
  const __m128i cp = lerpLanes(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero),
                               _mm_set1_epi16(static_cast<short>(wyp)));
  const __m128i cq = lerpLanes(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero),
                               _mm_set1_epi16(static_cast<short>(wyq)));
  const __m128i wx = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(wxp)), _mm_set1_epi16(static_cast<short>(wxq)));
  return lerpLanes(_mm_unpacklo_epi64(cp, cq), _mm_unpackhi_epi64(cp, cq), wx);
}
#else
inline uint32_t lerpPixel(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t v = 256 - w;
  const uint32_t rb = (((a & 0xff00ffu) * v + (b & 0xff00ffu) * w + 0x800080u) >> 8) & 0xff00ffu;
  const uint32_t ag = ((((a >> 8) & 0xff00ffu) * v + ((b >> 8) & 0xff00ffu) * w + 0x800080u) >> 8) & 0xff00ffu;
  return rb | (ag << 8);
}

inline uint32_t bilinear(uint64_t top, uint64_t bottom, uint32_t wx, uint32_t wy) {
  const uint32_t left = lerpPixel(static_cast<uint32_t>(top), static_cast<uint32_t>(bottom), wy);
  const uint32_t right = lerpPixel(static_cast<uint32_t>(top >> 32), static_cast<uint32_t>(bottom >> 32), wy);
  return lerpPixel(left, right, wx);
}
#endif

// Source coordinates in 65536ths of a pixel, read in 256ths: the pixel is the part above the
// 256ths, the blend weight the 256ths (toFixed).
// Half a 256th, so that dropping the lowest 8 bits rounds to the nearest 256th.
constexpr int32_t kHalfWeight = 128;

// The longest run followed linearly between two points mapped exactly; along one source row,
// where only the columns are followed (finer), a longer one. The step rounded to a 65536th strays
// at most half a 256th over kMaxRun pixels, rounded to a 524288th a quarter over kMaxRowRun.
constexpr int kMaxRun = 256;
constexpr int kMaxRowRun = 1024;
// Source columns along one source row in 2^-kRowBits of a pixel, counted from the first column a
// run reads (so that the largest, about 2 kMaxRowRun, fits in 31 bits), and half a 256th in them.
constexpr int kRowBits = 19;
constexpr int32_t kRowHalfWeight = 1 << (kRowBits - 9);
// The most source columns a run along one source row (a step of two pixels at most) reads: its
// ends lie at most 2 (n - 1) + 1 columns apart, and the last one's right neighbour is read too.
constexpr int kMaxSpan = 2 * (kMaxRowRun - 1) + 3;

inline int64_t toFixed(double v, int bits) {
  const double scaled = std::ldexp(v, bits);
  return static_cast<int64_t>(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
}
inline int32_t toFixed(double v) { return static_cast<int32_t>(toFixed(v, 16)); }

// One pixel written to *p, or laid over it (OVER: p = s + p (255 - s alpha) / 255, rounded as the
// usual OVER of 8-bit channels).
inline void put(uint32_t* p, uint32_t s, bool over) {
  const uint32_t a = s >> 24;
  if (!over || a == 255) {
    *p = s;
    return;
  }
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t t = ((*p >> shift) & 255) * (255 - a) + 128;
    out |= std::min(255u, ((s >> shift) & 255) + ((t + (t >> 8)) >> 8)) << shift;
  }
  *p = out;
}

#if defined(__SSE2__)
// Four pixels written to p, or laid over them; opaque ones (the most) are simply written.
inline void put4(uint32_t* p, __m128i s, bool over) {
  __m128i* const at = reinterpret_cast<__m128i*>(p);
  const __m128i zero = _mm_setzero_si128(), alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
  if (!over || _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, alpha), alpha)) == 0xffff) {
    _mm_storeu_si128(at, s);
    return;
  }
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(s, zero)) == 0xffff) return;
  const __m128i half = _mm_set1_epi16(128), full = _mm_set1_epi16(255);
  auto rest = [&](__m128i d, __m128i src) {  // d (255 - src alpha) / 255 on 16-bit lanes
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(src, 0xff), 0xff);
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(d, _mm_sub_epi16(full, a)), half);
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
  };
  const __m128i d = _mm_loadu_si128(at);
  const __m128i under = _mm_packus_epi16(rest(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero)),
                                         rest(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero)));
  _mm_storeu_si128(at, _mm_adds_epu8(s, under));
}
#endif

#if defined(__SSE2__)
// Columns [i, span) of `down`: the pixels of `top` and `bottom` blended, wy/256 of the bottom one.
inline void blendDownFrom(int i, uint32_t* down, const uint32_t* top, const uint32_t* bottom, int span, uint32_t wy) {
  const __m128i zero = _mm_setzero_si128(), vy = _mm_set1_epi16(static_cast<short>(wy));
  for (; i + 4 <= span; i += 4) {
    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i));
    const __m128i low = lerpLanes(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(b, zero), vy);
    const __m128i high = lerpLanes(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(b, zero), vy);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(down + i), _mm_packus_epi16(low, high));
  }
  for (; i < span; ++i) down[i] = bilinear(top[i], bottom[i], 0, wy);
}

// Pixels [k, n) of `out` blended across `down` at x + k sx (in 2^-kRowBits of a pixel,
// kRowHalfWeight added).
inline void blendAcrossFrom(int k, uint32_t* out, bool over, int n, const uint32_t* down, int32_t x, int32_t sx) {
  const __m128i zero = _mm_setzero_si128();
  x += k * sx;
  __m128i xs = _mm_setr_epi32(x, x + sx, x + 2 * sx, x + 3 * sx);
  const __m128i step = _mm_set1_epi32(4 * sx);
  for (; k + 4 <= n; k += 4, x += 4 * sx) {
    __m128i w01, w23;
    weightPairs(_mm_srli_epi32(xs, kRowBits - 16), w01, w23);
    auto pair = [&](int32_t a, int32_t b, __m128i w) {
      const __m128i both =
          _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(down + (a >> kRowBits))),
                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(down + (b >> kRowBits))));
      const __m128i lo = _mm_unpacklo_epi8(both, zero), hi = _mm_unpackhi_epi8(both, zero);
      return lerpLanes(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi), w);
    };
    const __m128i a = pair(x, x + sx, w01), b = pair(x + 2 * sx, x + 3 * sx, w23);
    put4(out + k, _mm_packus_epi16(a, b), over);
    xs = _mm_add_epi32(xs, step);
  }
  for (; k < n; ++k, x += sx) {
    const uint32_t* p = down + (x >> kRowBits);
    const uint32_t wx = static_cast<uint32_t>((x >> (kRowBits - 8)) & 255);
    put(out + k, bilinear(p[0] | static_cast<uint64_t>(p[1]) << 32, 0, wx, 0), over);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KT_PERSPECTIVE_AVX2 1
// The same sums as the lanes above, eight pixels at a time on processors with AVX2 (chosen when
// the program runs, so one build serves both). Each compiler's own way of giving the functions
// (lambdas included) the target: clang knows no GCC option pragmas and fails on them.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
inline __m256i lerpLanes8(__m256i a, __m256i b, __m256i w) {
  const __m256i half = _mm256_set1_epi16(128);
  const __m256i sum = _mm256_add_epi16(_mm256_slli_epi16(a, 8), _mm256_mullo_epi16(_mm256_sub_epi16(b, a), w));
  return _mm256_srli_epi16(_mm256_add_epi16(sum, half), 8);
}

// Eight pixels written to p, or laid over them, as put4 does.
inline void put8(uint32_t* p, __m256i s, bool over) {
  __m256i* const at = reinterpret_cast<__m256i*>(p);
  const __m256i zero = _mm256_setzero_si256(), alpha = _mm256_set1_epi32(static_cast<int>(0xff000000u));
  if (!over || _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(s, alpha), alpha)) == -1) {
    _mm256_storeu_si256(at, s);
    return;
  }
  if (_mm256_testz_si256(s, s)) return;
  const __m256i half = _mm256_set1_epi16(128), full = _mm256_set1_epi16(255);
  auto rest = [&](__m256i d, __m256i src) {
    const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(src, 0xff), 0xff);
    const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(d, _mm256_sub_epi16(full, a)), half);
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
  };
  const __m256i d = _mm256_loadu_si256(at);
  const __m256i under = _mm256_packus_epi16(rest(_mm256_unpacklo_epi8(d, zero), _mm256_unpacklo_epi8(s, zero)),
                                            rest(_mm256_unpackhi_epi8(d, zero), _mm256_unpackhi_epi8(s, zero)));
  _mm256_storeu_si256(at, _mm256_adds_epu8(s, under));
}

// rowRun's work eight columns and eight pixels at a time, asking for the columns of `ahead` (a
// row that a later one reads) on the way. Each four pixels' left columns lie within six of the
// leftmost's (a step of two at most), so they and their right neighbours are picked by lane from
// eight columns read at once.
void rowRunAvx2(uint32_t* out, bool over, int n, const uint32_t* top, const uint32_t* bottom, const uint32_t* ahead,
                uint32_t wy, uint32_t* down, int span, int32_t x, int32_t sx) {
  const __m256i zero = _mm256_setzero_si256(), vy = _mm256_set1_epi16(static_cast<short>(wy));
  int i = 0;
  for (; i + 8 <= span; i += 8) {
    _mm_prefetch(reinterpret_cast<const char*>(ahead + i), _MM_HINT_T0);
    const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + i));
    const __m256i low = lerpLanes8(_mm256_unpacklo_epi8(t, zero), _mm256_unpacklo_epi8(b, zero), vy);
    const __m256i high = lerpLanes8(_mm256_unpackhi_epi8(t, zero), _mm256_unpackhi_epi8(b, zero), vy);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(down + i), _mm256_packus_epi16(low, high));
  }
  blendDownFrom(i, down, top, bottom, span, wy);
  // The columns read past the run's last one are picked by no pixel; cleared all the same.
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(down + span), zero);
  int k = 0;
  if (n >= 8) {
    __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(x), _mm256_mullo_epi32(_mm256_set1_epi32(sx),
                                                                         _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    const __m256i step = _mm256_set1_epi32(8 * sx), bytes = _mm256_set1_epi32(255), one = _mm256_set1_epi32(1);
    // Each four pixels' leftmost column: the first one's, or the last one's going leftwards.
    const __m256i leftmost =
        sx >= 0 ? _mm256_setr_epi32(0, 0, 0, 0, 4, 4, 4, 4) : _mm256_setr_epi32(3, 3, 3, 3, 7, 7, 7, 7);
    const int lowFirst = sx >= 0 ? 0 : 3;
    for (; k + 8 <= n; k += 8) {
      const __m256i columns = _mm256_srai_epi32(xs, kRowBits);
      const __m256i from = _mm256_permutevar8x32_epi32(columns, leftmost);
      const __m256i lane = _mm256_sub_epi32(columns, from);
      const int32_t c0 = (x + (k + lowFirst) * sx) >> kRowBits, c1 = (x + (k + 4 + lowFirst) * sx) >> kRowBits;
      const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(down + c0));
      const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(down + c1));
      const __m256i next = _mm256_add_epi32(lane, one);
      auto pick = [&](__m256i lanes) {  // the first four pixels' from w0, the last four's from w1
        return _mm256_blend_epi32(_mm256_permutevar8x32_epi32(w0, lanes), _mm256_permutevar8x32_epi32(w1, lanes), 0xf0);
      };
      const __m256i left = pick(lane), right = pick(next);
      // Each pixel's weight on its four 16-bit lanes, in the order unpacking puts the pixels.
      const __m256i w = _mm256_and_si256(_mm256_srli_epi32(xs, kRowBits - 8), bytes);
      const __m256i wTwice = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
      const __m256i a = lerpLanes8(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(right, zero),
                                   _mm256_unpacklo_epi32(wTwice, wTwice));
      const __m256i b = lerpLanes8(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(right, zero),
                                   _mm256_unpackhi_epi32(wTwice, wTwice));
      put8(out + k, _mm256_packus_epi16(a, b), over);
      xs = _mm256_add_epi32(xs, step);
    }
  }
  blendAcrossFrom(k, out, over, n, down, x, sx);
}
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

std::atomic<bool> avx2Allowed{true};

bool useAvx2() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return has && avx2Allowed.load(std::memory_order_relaxed);
}
#endif
#endif

// Pixels [0, n) of `out` from points (fx, y) + i (sx, 0), each of whose 2x2 blocks lies within the
// source, through source columns [first, first + span): fx and sx in 2^-kRowBits of a pixel from
// column `first` with kRowHalfWeight added, y in 65536ths with kHalfWeight added. The two rows are
// blended down once for all of them, then each pixel across: the same sums as blending each block
// on its own. Row `ahead` (below them, within the source) is asked for from memory meanwhile.
void rowRun(uint32_t* out, bool over, int n, const uint32_t* sp, ptrdiff_t stride, int32_t fx, int32_t y, int32_t sx,
            int first, int span, [[maybe_unused]] int ahead) {
  // Eight more columns than are blended: the AVX2 path reads eight at once from a run's last one.
  uint32_t down[kMaxSpan + 8];
  const uint32_t* top = sp + static_cast<ptrdiff_t>(y >> 16) * stride + first;
  const uint32_t* bottom = top + stride;
  const uint32_t wy = static_cast<uint32_t>((y >> 8) & 255);
#if defined(KT_PERSPECTIVE_AVX2)
  if (useAvx2())
    return rowRunAvx2(out, over, n, top, bottom, sp + static_cast<ptrdiff_t>(ahead) * stride + first, wy, down, span,
                      fx, sx);
#endif
#if defined(__SSE2__)
  blendDownFrom(0, down, top, bottom, span, wy);
  blendAcrossFrom(0, out, over, n, down, fx, sx);
#else
  for (int i = 0; i < span; ++i) down[i] = lerpPixel(top[i], bottom[i], wy);
  for (int k = 0; k < n; ++k, fx += sx) {
    const uint32_t* p = down + (fx >> kRowBits);
    put(out + k, lerpPixel(p[0], p[1], static_cast<uint32_t>((fx >> (kRowBits - 8)) & 255)), over);
  }
#endif
}

// Pixels [0, n) of `out` from points (fx, fy) + i (sx, sy), in 65536ths with kHalfWeight added,
// each of whose 2x2 blocks lies within the source.
void interiorRun(uint32_t* out, bool over, int n, const uint32_t* sp, ptrdiff_t stride, int32_t fx, int32_t fy,
                 int32_t sx, int32_t sy) {
  auto block = [&](int32_t x, int32_t y) { return sp + static_cast<ptrdiff_t>(y >> 16) * stride + (x >> 16); };
  int i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) {
    const int32_t x1 = fx + sx, y1 = fy + sy, x2 = x1 + sx, y2 = y1 + sy, x3 = x2 + sx, y3 = y2 + sy;
    const __m128i a = bilinearPair(block(fx, fy), block(x1, y1), stride, (fx >> 8) & 255, (fy >> 8) & 255,
                                   (x1 >> 8) & 255, (y1 >> 8) & 255);
    const __m128i b = bilinearPair(block(x2, y2), block(x3, y3), stride, (x2 >> 8) & 255, (y2 >> 8) & 255,
                                   (x3 >> 8) & 255, (y3 >> 8) & 255);
    put4(out + i, _mm_packus_epi16(a, b), over);
    fx = x3 + sx;
    fy = y3 + sy;
  }
#endif
  for (; i < n; ++i, fx += sx, fy += sy) {
    const uint32_t* p = block(fx, fy);
    uint64_t top, bottom;
    std::memcpy(&top, p, 8);
    std::memcpy(&bottom, p + stride, 8);
    put(out + i, bilinear(top, bottom, static_cast<uint32_t>((fx >> 8) & 255), static_cast<uint32_t>((fy >> 8) & 255)),
        over);
  }
}

// Narrows the open interval (lo, hi) of pixel indices i to those where a + b i > 0.
void keepPositive(double a, double b, double& lo, double& hi) {
  if (b == 0) {
    if (!(a > 0)) hi = lo;
    return;
  }
  const double at = -a / b;
  if (b > 0)
    lo = std::max(lo, at);
  else
    hi = std::min(hi, at);
}

struct Sampling {
  const uint32_t* sp;
  ptrdiff_t sstride;
  int sw, sh;
  const double (*g)[3];
  uint32_t* dp;
  ptrdiff_t dstride;
  int dw;
  bool over;

  uint64_t at(int x, int y) const {
    return (x < 0 || y < 0 || x >= sw || y >= sh) ? 0u : sp[static_cast<ptrdiff_t>(y) * sstride + x];
  }

  // One pixel from its source point, transparent beyond the source's edges.
  uint32_t pixelAt(double x, double y) const {
    if (!(x > -1 && y > -1 && x < sw && y < sh)) return 0;
    // Both above -1: truncation after adding one is the floor.
    const int x0 = static_cast<int>(x + 1) - 1, y0 = static_cast<int>(y + 1) - 1;
    return bilinear(at(x0, y0) | at(x0 + 1, y0) << 32, at(x0, y0 + 1) | at(x0 + 1, y0 + 1) << 32,
                    static_cast<uint32_t>((x - x0) * 256 + 0.5), static_cast<uint32_t>((y - y0) * 256 + 0.5));
  }

  // Rows [from, to).
  void rows(int from, int to) const {
    for (int y = from; y < to; ++y) row(y, dp + static_cast<ptrdiff_t>(y) * dstride);
  }

  // Along a row the homogeneous source point of pixel i's centre is (u0, v0, w0) + i (du, dv, dw),
  // so each test of where it lands (behind the eye, on the source, well inside it) is linear in i
  // and holds on an interval. Beyond the source the row is cleared (or left alone, laid over),
  // near its edges each pixel is mapped on its own, and inside runs are followed linearly between
  // points mapped exactly, each run short enough to stray less than a 256th of a pixel (of its
  // step, where the source shrinks) from the true mapping.
  void row(int y, uint32_t* out) const {
    constexpr double kEye = 1e-12;
    const double py = y + 0.5;
    const double du = g[0][0], dv = g[1][0], dw0 = g[2][0];
    const double u0 = g[0][0] * 0.5 + g[0][1] * py + g[0][2];
    const double v0 = g[1][0] * 0.5 + g[1][1] * py + g[1][2];
    const double w0 = g[2][0] * 0.5 + g[2][1] * py + g[2][2];
    // Where the blend reaches the source: w > 0, -1 < u / w - 0.5 < sw, the same for v.
    double lo = -1, hi = dw + 1;
    keepPositive(w0 - kEye, dw0, lo, hi);
    keepPositive(u0 + 0.5 * w0, du + 0.5 * dw0, lo, hi);
    keepPositive((sw + 0.5) * w0 - u0, (sw + 0.5) * dw0 - du, lo, hi);
    keepPositive(v0 + 0.5 * w0, dv + 0.5 * dw0, lo, hi);
    keepPositive((sh + 0.5) * w0 - v0, (sh + 0.5) * dw0 - dv, lo, hi);
    // Where the whole 2x2 block lies within it: 0 <= u / w - 0.5 < sw - 1, the same for v.
    double inLo = lo, inHi = hi;
    keepPositive(u0 - 0.5 * w0, du - 0.5 * dw0, inLo, inHi);
    keepPositive((sw - 0.5) * w0 - u0, (sw - 0.5) * dw0 - du, inLo, inHi);
    keepPositive(v0 - 0.5 * w0, dv - 0.5 * dw0, inLo, inHi);
    keepPositive((sh - 0.5) * w0 - v0, (sh - 0.5) * dw0 - dv, inLo, inHi);
    // A pixel's margin either side for rounding; the exact mapping decides there.
    auto index = [&](double v) { return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(dw))); };
    const int first = lo < hi ? index(std::floor(lo) - 1) : dw, end = lo < hi ? index(std::ceil(hi) + 1) : dw;
    int inFirst = first, inEnd = first;
    if (inLo < inHi) {
      inFirst = std::clamp(index(std::ceil(inLo) + 1), first, end);
      inEnd = std::clamp(index(std::floor(inHi) - 1), inFirst, end);
    }
    // Beyond the source a destination that the pixels are laid over is left as it is.
    if (!over) {
      std::fill(out, out + first, 0u);
      std::fill(out + end, out + dw, 0u);
    }
    exact(out, first, inFirst, u0, v0, w0);
    interior(out, inFirst, inEnd, u0, v0, w0);
    exact(out, inEnd, end, u0, v0, w0);
  }

  // Pixels [0, n) of `out` followed linearly in fixed point from the source point (x, y) towards
  // (nx, ny), that of pixel n; false, with nothing drawn, where a block of the run would reach
  // past the source (rounding may carry an end onto its last column or row, or far beyond it near
  // the horizon), or where a run longer than kMaxRun does not run along one source row.
  bool followed(uint32_t* out, int n, double x, double y, double nx, double ny) const {
    auto near = [](double v, int size) { return v > -1 && v < size; };
    if (!near(x, sw) || !near(nx, sw) || !near(y, sh) || !near(ny, sh)) return false;
    const int32_t fy = toFixed(y) + kHalfWeight;
    // Along one source row (to a 1024th of a pixel), a step of at most two pixels: its two rows are
    // blended down once.
    const int64_t rx = toFixed(x, kRowBits) + kRowHalfWeight, rsx = toFixed((nx - x) / n, kRowBits);
    if (std::fabs(ny - y) < 1.0 / 1024 && std::abs(rsx) <= (2 << kRowBits)) {
      // The run is linear, so its ends bound it.
      const int64_t lastX = rx + rsx * (n - 1), left = std::min(rx, lastX), right = std::max(rx, lastX);
      if (left < 0 || (right >> kRowBits) + 1 >= sw || fy < 0 || (fy >> 16) + 1 >= sh) return false;
      const int first = static_cast<int>(left >> kRowBits), span = static_cast<int>(right >> kRowBits) - first + 2;
      if (span <= kMaxSpan) {
        // The rows a run two rows further down reads, where there are any, are asked for meanwhile.
        const int ahead = std::min((fy >> 16) + 3, sh - 1);
        rowRun(out, over, n, sp, sstride, static_cast<int32_t>(rx - (static_cast<int64_t>(first) << kRowBits)), fy,
               static_cast<int32_t>(rsx), first, span, ahead);
        return true;
      }
    }
    if (n > kMaxRun) return false;  // longer than a run across rows may be
    const int32_t fx = toFixed(x) + kHalfWeight;
    const int32_t sx = toFixed((nx - x) / n), sy = toFixed((ny - y) / n);
    const int32_t lastX = fx + sx * (n - 1), lastY = fy + sy * (n - 1);
    if (std::min(fx, lastX) < 0 || (std::max(fx, lastX) >> 16) + 1 >= sw || std::min(fy, lastY) < 0 ||
        (std::max(fy, lastY) >> 16) + 1 >= sh)
      return false;
    interiorRun(out, over, n, sp, sstride, fx, fy, sx, sy);
    return true;
  }

  // Pixels [from, to) of the row, each mapped exactly.
  void exact(uint32_t* out, int from, int to, double u0, double v0, double w0) const {
    for (int i = from; i < to; ++i) {
      const double w = w0 + g[2][0] * i;
      if (w > 1e-12) put(out + i, pixelAt((u0 + g[0][0] * i) / w - 0.5, (v0 + g[1][0] * i) / w - 0.5), over);
      else if (!over) out[i] = 0;
    }
  }

  // Pixels [from, to) of the row, whose blocks lie within the source (to a pixel's rounding).
  void interior(uint32_t* out, int from, int to, double u0, double v0, double w0) const {
    if (from >= to) return;
    const double du = g[0][0], dv = g[1][0], dw0 = g[2][0];
    // Along the row u / w has the second derivative -2 dw D / w^3, with D = du w - u dw the same
    // for every i (likewise v / w); following it linearly over n pixels strays at most
    // |second derivative| n^2 / 8 from it.
    const double du0 = du * w0 - u0 * dw0, dv0 = dv * w0 - v0 * dw0;
    const double bend = std::fabs(dw0) * std::max(std::fabs(du0), std::fabs(dv0)) / 4;
    auto point = [&](int i, double& x, double& y, double& w) {
      w = w0 + dw0 * i;
      x = (u0 + du * i) / w - 0.5;
      y = (v0 + dv * i) / w - 0.5;
    };
    double x, y, w;
    point(from, x, y, w);
    // Where the row runs along one source row (v / w is monotonic along it, so its ends tell), longer
    // runs are followed.
    double lastX, lastY, lastW;
    point(to, lastX, lastY, lastW);
    const int maxRun = std::fabs(lastY - y) < 1.0 / 1024 ? kMaxRowRun : kMaxRun;
    for (int i = from; i < to;) {
      int n = std::min(maxRun, to - i);
      if (bend > 0) {
        const double wEnd = w0 + dw0 * (i + n), wMin = std::min(w, wEnd);
        const double step = std::max(std::fabs(du0), std::fabs(dv0)) / (w * w);
        const double allowed = std::max(1.0, step) / 256 * wMin * wMin * wMin;
        while (n > 1 && bend * n * n > allowed) n = (n + 1) / 2;
      }
      double nx, ny, nw;
      point(i + n, nx, ny, nw);
      bool drawn = followed(out + i, n, x, y, nx, ny);
      if (!drawn && n > kMaxRun) {
        // Not along one row after all (a step of more than two pixels, or an end past the source).
        n = kMaxRun;
        point(i + n, nx, ny, nw);
        drawn = followed(out + i, n, x, y, nx, ny);
      }
      if (!drawn) exact(out, i, i + n, u0, v0, w0);
      i += n;
      x = nx, y = ny, w = nw;
    }
  }
};

// The cores this process may run on (fewer than the machine's where it is bound to some of them):
// more threads than those would only take turns on them.
int usableCores() {
  static const int cores = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    return static_cast<int>(std::thread::hardware_concurrency());
  }();
  return cores;
}

}  // namespace

void PerspectiveSampler::allowAvx2([[maybe_unused]] bool allowed) {
#if defined(KT_PERSPECTIVE_AVX2)
  avx2Allowed.store(allowed, std::memory_order_relaxed);
#endif
}

bool PerspectiveSampler::sample(cairo_surface_t* src, const double g[3][3], const Pixels& out, bool over) {
  // Four bytes a pixel with a real alpha: other formats would be read past their rows' ends, and
  // RGB24's unused byte is no alpha.
  if (!src || cairo_surface_get_type(src) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(src) != CAIRO_FORMAT_ARGB32) {
    KT_LOG("source of format %d refused: only ARGB32 image surfaces are sampled",
           src && cairo_surface_get_type(src) == CAIRO_SURFACE_TYPE_IMAGE ? cairo_image_surface_get_format(src) : -1);
    return false;
  }
  Sampling s;
  s.sw = cairo_image_surface_get_width(src);
  s.sh = cairo_image_surface_get_height(src);
  s.sstride = cairo_image_surface_get_stride(src) / 4;
  s.sp = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(src));
  s.g = g;
  s.dp = out.data;
  s.dw = out.width;
  s.dstride = out.stride;
  s.over = over;
  const int dh = out.height;
  if (!s.sp || !s.dp || s.sw <= 0 || s.sh <= 0 || s.dw <= 0 || dh <= 0) return false;
  // A large layer is shared out by bands of rows among a few threads; each writes its own rows.
  const int threads = std::clamp(usableCores(), 1, BandWorkers::kMaxThreads);
  if (threads == 1 || static_cast<double>(s.dw) * dh < (1 << 17)) {
    s.rows(0, dh);
    return true;
  }
  constexpr int kBandRows = 16;
  const int bands = std::min((dh + kBandRows - 1) / kBandRows, 16 * threads);
  BandWorkers::shared().run(bands, threads, [&](int i) { s.rows(dh * i / bands, dh * (i + 1) / bands); });
  return true;
}

}  // namespace gfx
