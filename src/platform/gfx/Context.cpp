#include "platform/gfx/Context.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/core/Log.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/PixelGrid.h"

namespace gfx {

namespace {

// Largest side and area, in pixels, of a bitmap context or of an intermediate surface (mask
// clips, shadows).
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{1} << 26;

cairo_operator_t cairoOperator(BlendMode m) {
  switch (m) {
    case BlendMode::Normal: return CAIRO_OPERATOR_OVER;
    case BlendMode::Multiply: return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::Screen: return CAIRO_OPERATOR_SCREEN;
    case BlendMode::Overlay: return CAIRO_OPERATOR_OVERLAY;
    case BlendMode::Darken: return CAIRO_OPERATOR_DARKEN;
    case BlendMode::Lighten: return CAIRO_OPERATOR_LIGHTEN;
    case BlendMode::ColorDodge: return CAIRO_OPERATOR_COLOR_DODGE;
    case BlendMode::ColorBurn: return CAIRO_OPERATOR_COLOR_BURN;
    case BlendMode::SoftLight: return CAIRO_OPERATOR_SOFT_LIGHT;
    case BlendMode::HardLight: return CAIRO_OPERATOR_HARD_LIGHT;
    case BlendMode::Difference: return CAIRO_OPERATOR_DIFFERENCE;
    case BlendMode::Exclusion: return CAIRO_OPERATOR_EXCLUSION;
    case BlendMode::Hue: return CAIRO_OPERATOR_HSL_HUE;
    case BlendMode::Saturation: return CAIRO_OPERATOR_HSL_SATURATION;
    case BlendMode::Color: return CAIRO_OPERATOR_HSL_COLOR;
    case BlendMode::Luminosity: return CAIRO_OPERATOR_HSL_LUMINOSITY;
    case BlendMode::Clear: return CAIRO_OPERATOR_CLEAR;
    case BlendMode::Copy: return CAIRO_OPERATOR_SOURCE;
    case BlendMode::SourceIn: return CAIRO_OPERATOR_IN;
    case BlendMode::SourceOut: return CAIRO_OPERATOR_OUT;
    case BlendMode::SourceAtop: return CAIRO_OPERATOR_ATOP;
    case BlendMode::DestinationOver: return CAIRO_OPERATOR_DEST_OVER;
    case BlendMode::DestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case BlendMode::DestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case BlendMode::DestinationAtop: return CAIRO_OPERATOR_DEST_ATOP;
    case BlendMode::XOR: return CAIRO_OPERATOR_XOR;
    case BlendMode::PlusDarker: return CAIRO_OPERATOR_DARKEN;
    case BlendMode::PlusLighter: return CAIRO_OPERATOR_ADD;
  }
  return CAIRO_OPERATOR_OVER;
}

// Cairo lets these operators change the destination outside the shape drawn (where the source
// is empty); the platform's drawing only touches the shape, so they are clipped to it.
bool isUnbounded(BlendMode m) {
  return m == BlendMode::SourceIn || m == BlendMode::SourceOut || m == BlendMode::DestinationIn ||
         m == BlendMode::DestinationAtop;
}

cairo_filter_t cairoFilter(InterpolationQuality q) {
  switch (q) {
    case InterpolationQuality::None: return CAIRO_FILTER_NEAREST;
    case InterpolationQuality::Low: return CAIRO_FILTER_FAST;
    case InterpolationQuality::Medium: return CAIRO_FILTER_GOOD;
    case InterpolationQuality::High: return CAIRO_FILTER_BEST;
    case InterpolationQuality::Default: return CAIRO_FILTER_GOOD;
  }
  return CAIRO_FILTER_GOOD;
}

cairo_matrix_t toCairo(const AffineTransform& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
  return m;
}

AffineTransform fromCairo(const cairo_matrix_t& m) { return AffineTransform{m.xx, m.yx, m.xy, m.yy, m.x0, m.y0}; }

// The matrix taking user space to the image's stored pixels when the image is drawn upright into
// `r`: user → (u, v) in the unit square of `r` → stored pixel by the orientation.
cairo_matrix_t imageMatrix(const Image& image, const Rect& r) {
  double w = image.pixelWidth(), h = image.pixelHeight();
  // raw x = ax*u + bx*v + cx, raw y = ay*u + by*v + cy
  double ax = 0, bx = 0, cx = 0, ay = 0, by = 0, cy = 0;
  switch (image.orientation()) {
    case ImageOrientation::Up: ax = w, by = h; break;
    case ImageOrientation::UpMirrored: ax = -w, cx = w, by = h; break;
    case ImageOrientation::Down: ax = -w, cx = w, by = -h, cy = h; break;
    case ImageOrientation::DownMirrored: ax = w, by = -h, cy = h; break;
    case ImageOrientation::LeftMirrored: bx = w, ay = h; break;
    case ImageOrientation::Right: bx = w, ay = -h, cy = h; break;
    case ImageOrientation::RightMirrored: bx = -w, cx = w, ay = -h, cy = h; break;
    case ImageOrientation::Left: bx = -w, cx = w, ay = h; break;
  }
  double rw = r.width() != 0 ? r.width() : 1e-9, rh = r.height() != 0 ? r.height() : 1e-9;
  cairo_matrix_t m;
  cairo_matrix_init(&m, ax / rw, ay / rw, bx / rh, by / rh, cx - ax * r.x() / rw - bx * r.y() / rh,
                    cy - ay * r.x() / rw - by * r.y() / rh);
  return m;
}

cairo_pattern_t* imagePattern(const Image& image, const Rect& r, cairo_extend_t extend, cairo_filter_t filter) {
  cairo_pattern_t* p = cairo_pattern_create_for_surface(image.cairoSurface());
  cairo_matrix_t m = imageMatrix(image, r);
  cairo_pattern_set_matrix(p, &m);
  cairo_pattern_set_extend(p, extend);
  cairo_pattern_set_filter(p, filter);
  return p;
}

// Box widths whose three successive passes approximate a Gaussian of standard deviation sigma.
std::array<int, 3> boxRadii(double sigma) {
  std::array<int, 3> radii{0, 0, 0};
  if (sigma < 0.3) return radii;
  const int n = 3;
  double wIdeal = std::sqrt(12 * sigma * sigma / n + 1);
  int wl = static_cast<int>(std::floor(wIdeal));
  if (wl % 2 == 0) --wl;
  int wu = wl + 2;
  double mIdeal = (12 * sigma * sigma - n * wl * wl - 4 * n * wl - 3 * n) / (-4.0 * wl - 4);
  int m = static_cast<int>(std::lround(mIdeal));
  for (int i = 0; i < n; ++i) radii[i] = ((i < m ? wl : wu) - 1) / 2;
  return radii;
}

// One pass of a box blur of the given radius along rows (step 1) or columns, edges reading as 0.
void boxPass(const std::vector<float>& in, std::vector<float>& out, int w, int h, int r, bool horizontal) {
  int lines = horizontal ? h : w, len = horizontal ? w : h;
  size_t stride = horizontal ? 1 : static_cast<size_t>(w);
  float scale = 1.0f / static_cast<float>(2 * r + 1);
  for (int l = 0; l < lines; ++l) {
    size_t base = horizontal ? static_cast<size_t>(l) * w : static_cast<size_t>(l);
    float sum = 0;
    for (int i = 0; i <= std::min(r, len - 1); ++i) sum += in[base + i * stride];
    for (int i = 0; i < len; ++i) {
      out[base + i * stride] = sum * scale;
      int add = i + r + 1, sub = i - r;
      if (add < len) sum += in[base + add * stride];
      if (sub >= 0) sum -= in[base + sub * stride];
    }
  }
}

}  // namespace

struct Context::MaskClip {
  cairo_surface_t* surface = nullptr;  // A8, in device units
  int x = 0, y = 0;
  ~MaskClip() {
    if (surface) cairo_surface_destroy(surface);
  }
};

struct Context::State {
  gfx::Color fill = gfx::Color::black();
  gfx::Color stroke = gfx::Color::black();
  double lineWidth = 1;
  LineCap cap = LineCap::Butt;
  LineJoin join = LineJoin::Miter;
  double miterLimit = 10;
  std::vector<double> dash;
  double dashPhase = 0;
  double alpha = 1;
  BlendMode blend = BlendMode::Normal;
  bool shadow = false;
  Size shadowOffset;
  double shadowBlur = 0;
  gfx::Color shadowColor;
  InterpolationQuality quality = InterpolationQuality::Default;
  bool antialias = true;
  std::shared_ptr<MaskClip> mask;
};

// One drawing: `render` draws it (on a Cairo context whose user space matches ours; the two
// numbers translate our device units to that context's); `clipShape`, when set, adds a path
// covering it in user space; `device` bounds it in device units.
struct Context::Op {
  std::function<void(cairo_t*, double, double)> render;
  std::function<void(cairo_t*)> clipShape;
  Box device;
  bool castsShadow = true;
};

// ---- Creation ----

namespace {

// The pixels of a bitmap of `points` at `scale` (the drawing scale when not above 0), into `pw` and
// `ph`; false (and logged when too large) when there can be no such bitmap.
bool bitmapPixels(Size points, double* scale, double* pw, double* ph) {
  if (*scale <= 0) *scale = Image::drawingScale();
  if (!(points.width > 0) || !(points.height > 0) || !std::isfinite(*scale)) return false;
  *pw = pixelLength(points.width, *scale);
  *ph = pixelLength(points.height, *scale);
  if (*pw < 1 || *ph < 1 || *pw > kMaxSide || *ph > kMaxSide || *pw * *ph > double(kMaxPixels)) {
    KT_LOG("bitmap context of %gx%g pixels refused", *pw, *ph);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<Context> Context::bitmap(Size points, double scale, bool opaque) {
  double pw = 0, ph = 0;
  if (!bitmapPixels(points, &scale, &pw, &ph)) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
                                                  static_cast<int>(pw), static_cast<int>(ph));
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  auto ctx = forSurface(s, scale);
  cairo_surface_destroy(s);
  if (!ctx) return nullptr;
  ctx->m_bitmap = true;
  ctx->m_opaque = opaque;
  ctx->m_size = points;
  return ctx;
}

std::unique_ptr<Context> Context::bitmapOnFirstDrawing(Size points, double scale) {
  double pw = 0, ph = 0;
  if (!bitmapPixels(points, &scale, &pw, &ph)) return nullptr;
  // The recording surface holds no pixels; nothing is drawn on it (the first drawing makes the
  // bitmap), its extents give the clip the bitmap's bounds.
  cairo_rectangle_t extents{0, 0, pw, ph};
  cairo_surface_t* s = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
  auto ctx = forSurface(s, scale);
  cairo_surface_destroy(s);
  if (!ctx) return nullptr;
  ctx->m_bitmap = true;
  ctx->m_size = points;
  ctx->m_pending = true;
  ctx->m_pixelWidth = static_cast<int>(pw);
  ctx->m_pixelHeight = static_cast<int>(ph);
  return ctx;
}

void Context::makePixels() const {
  if (!m_pending) return;
  m_pending = false;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_pixelWidth, m_pixelHeight);
  cairo_t* cr = cairo_create(s);
  cairo_surface_destroy(s);
  // As forSurface and the constructor set it up, then the changes made since.
  cairo_matrix_t base = toCairo(m_base);
  cairo_set_matrix(cr, &base);
  cairo_set_line_width(cr, 1);
  cairo_set_miter_limit(cr, 10);
  for (const auto& change : m_pendingChanges) change(cr);
  m_pendingChanges.clear();
  cairo_destroy(m_cr);
  m_cr = cr;
}

void Context::changeState(std::function<void(cairo_t*)> change) {
  change(m_cr);
  if (m_pending) m_pendingChanges.push_back(std::move(change));
}

cairo_t* Context::cairo() const {
  makePixels();
  return m_cr;
}

double Context::fittingScale(Size points, double scale) {
  if (scale <= 0) scale = Image::drawingScale();
  if (!std::isfinite(scale)) return 0;
  return largestFittingScale(points, scale, kMaxSide, double(kMaxPixels));
}

std::unique_ptr<Context> Context::forSurface(cairo_surface_t* surface, double scale) {
  if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || !(scale > 0)) return nullptr;
  cairo_t* cr = cairo_create(surface);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr);
    return nullptr;
  }
  cairo_scale(cr, scale, scale);
  std::unique_ptr<Context> ctx(new Context(cr, scale));
  cairo_destroy(cr);
  if (cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE) {
    ctx->m_size = Size{cairo_image_surface_get_width(surface) / scale, cairo_image_surface_get_height(surface) / scale};
    ctx->m_opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
  }
  return ctx;
}

Context::Context(cairo_t* cr, double scale) : m_cr(cairo_reference(cr)), m_scale(scale > 0 ? scale : 1) {
  cairo_matrix_t m;
  cairo_get_matrix(m_cr, &m);
  m_base = fromCairo(m);
  m_states.emplace_back();
  cairo_set_line_width(m_cr, 1);
  cairo_set_miter_limit(m_cr, 10);
}

Context::~Context() {
  // Leave the Cairo context as it was given.
  for (size_t i = 1; i < m_states.size(); ++i) cairo_restore(m_cr);
  cairo_destroy(m_cr);
}

std::shared_ptr<Image> Context::takeImage(std::unique_ptr<Context> ctx) {
  if (!ctx) return nullptr;
  ctx->makePixels();
  cairo_surface_t* s = cairo_get_target(ctx->m_cr);
  if (cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE || cairo_surface_status(s) != CAIRO_STATUS_SUCCESS ||
      cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32)
    return ctx->makeImage();
  const double scale = ctx->m_scale;
  cairo_surface_reference(s);
  // The Cairo context goes first, so that nothing draws into the image's pixels after.
  ctx.reset();
  cairo_surface_flush(s);
  auto image = Image::fromSurface(s, scale);
  cairo_surface_destroy(s);
  return image;
}

std::shared_ptr<Image> Context::makeImage() const {
  makePixels();
  cairo_surface_t* s = cairo_get_target(m_cr);
  if (cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE) return nullptr;
  cairo_format_t format = cairo_image_surface_get_format(s);
  if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return nullptr;
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  // One copy, straight into the image's own surface (snapshots are taken on the main thread
  // while a guest waits for them).
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(copy);
    return nullptr;
  }
  cairo_surface_flush(copy);
  unsigned char* out = cairo_image_surface_get_data(copy);
  const int outStride = cairo_image_surface_get_stride(copy);
  for (int y = 0; y < h; ++y) {
    auto* row = out + static_cast<size_t>(y) * outStride;
    std::memcpy(row, data + static_cast<size_t>(y) * stride, static_cast<size_t>(w) * 4);
    if (format == CAIRO_FORMAT_RGB24)
      for (int x = 0; x < w; ++x) reinterpret_cast<uint32_t*>(row)[x] |= 0xFF000000u;
  }
  cairo_surface_mark_dirty(copy);
  auto image = Image::fromSurface(copy, m_scale);
  cairo_surface_destroy(copy);
  return image;
}

// ---- State ----

Context::State& Context::state() { return m_states.back(); }
const Context::State& Context::state() const { return m_states.back(); }

void Context::save() {
  m_states.push_back(m_states.back());
  changeState([](cairo_t* cr) { cairo_save(cr); });
}

int Context::saveDepth() const { return static_cast<int>(m_states.size()) - 1; }

void Context::restore() {
  if (m_states.size() <= 1) return;
  m_states.pop_back();
  changeState([](cairo_t* cr) { cairo_restore(cr); });
}

void Context::translate(double dx, double dy) {
  changeState([dx, dy](cairo_t* cr) { cairo_translate(cr, dx, dy); });
}
void Context::scaleBy(double sx, double sy) {
  if (sx == 0 || sy == 0) return;  // a singular matrix would put the Cairo context in error
  changeState([sx, sy](cairo_t* cr) { cairo_scale(cr, sx, sy); });
}
void Context::rotate(double radians) {
  changeState([radians](cairo_t* cr) { cairo_rotate(cr, radians); });
}
void Context::concat(const AffineTransform& t) {
  if (!t.isInvertible()) return;
  const cairo_matrix_t m = toCairo(t);
  changeState([m](cairo_t* cr) { cairo_transform(cr, &m); });
}

AffineTransform Context::ctm() const {
  cairo_matrix_t m;
  cairo_get_matrix(m_cr, &m);
  return fromCairo(m);
}

Point Context::userToDevice(Point p) const {
  cairo_user_to_device(m_cr, &p.x, &p.y);
  return p;
}

Point Context::deviceToUser(Point p) const {
  cairo_device_to_user(m_cr, &p.x, &p.y);
  return p;
}

void Context::setFillColor(const gfx::Color& c) { state().fill = c; }
void Context::setStrokeColor(const gfx::Color& c) { state().stroke = c; }
const gfx::Color& Context::fillColor() const { return state().fill; }
const gfx::Color& Context::strokeColor() const { return state().stroke; }
void Context::setLineWidth(double w) { state().lineWidth = std::max(0.0, w); }
double Context::lineWidth() const { return state().lineWidth; }
void Context::setLineCap(LineCap cap) { state().cap = cap; }
void Context::setLineJoin(LineJoin join) { state().join = join; }
void Context::setMiterLimit(double limit) { state().miterLimit = limit; }
void Context::setLineDash(double phase, const std::vector<double>& lengths) {
  bool valid = !lengths.empty();
  double total = 0;
  for (double l : lengths) {
    if (!(l >= 0)) valid = false;
    total += l;
  }
  state().dash = valid && total > 0 ? lengths : std::vector<double>{};
  state().dashPhase = phase;
}
void Context::setAlpha(double alpha) { state().alpha = std::clamp(alpha, 0.0, 1.0); }
double Context::alpha() const { return state().alpha; }
void Context::setBlendMode(BlendMode mode) { state().blend = mode; }
BlendMode Context::blendMode() const { return state().blend; }

void Context::setShadow(Size offset, double blur, const gfx::Color& color) {
  State& s = state();
  s.shadow = color.a() > 0 || color.isPattern();
  s.shadowOffset = offset;
  s.shadowBlur = std::max(0.0, blur);
  s.shadowColor = color;
}

void Context::clearShadow() { state().shadow = false; }
void Context::setInterpolationQuality(InterpolationQuality q) { state().quality = q; }
void Context::setShouldAntialias(bool on) { state().antialias = on; }

// ---- Sources ----

void Context::setColorSource(cairo_t* cr, const gfx::Color& c) const {
  if (c.isPattern() && c.pattern() && c.pattern()->cairoSurface()) {
    const auto current = c.pattern()->namedAtDrawingScale();
    const Image& image = current ? *current : *c.pattern();
    cairo_pattern_t* p =
        imagePattern(image, Rect(Point{}, image.size()), CAIRO_EXTEND_REPEAT, cairoFilter(state().quality));
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    return;
  }
  cairo_set_source_rgba(cr, c.r(), c.g(), c.b(), c.a());
}

void Context::setSourceToFill(cairo_t* cr) const { setColorSource(cr, state().fill); }
void Context::setSourceToStroke(cairo_t* cr) const { setColorSource(cr, state().stroke); }

void Context::applyStroke(cairo_t* cr) const {
  const State& s = state();
  cairo_set_line_width(cr, s.lineWidth);
  cairo_set_line_cap(cr, s.cap == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                         : s.cap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                    : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, s.join == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                          : s.join == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                      : CAIRO_LINE_JOIN_MITER);
  cairo_set_miter_limit(cr, s.miterLimit);
  cairo_set_dash(cr, s.dash.data(), static_cast<int>(s.dash.size()), s.dashPhase);
}

// ---- Compositing ----

Context::Box Context::deviceBox(const Rect& user) const {
  if (user.isNull()) return {};
  Rect d = ctm().apply(user.standardized());
  double x1 = std::floor(d.minX()), y1 = std::floor(d.minY()), x2 = std::ceil(d.maxX()), y2 = std::ceil(d.maxY());
  // Keep the numbers in int range; a box this large is refused by the callers anyway.
  x1 = std::clamp(x1, -1e9, 1e9), y1 = std::clamp(y1, -1e9, 1e9), x2 = std::clamp(x2, -1e9, 1e9),
  y2 = std::clamp(y2, -1e9, 1e9);
  return Box{static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2 - x1), static_cast<int>(y2 - y1)};
}

Context::Box Context::clipDeviceBox() const {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(m_cr, &x1, &y1, &x2, &y2);
  return deviceBox(Rect(x1, y1, x2 - x1, y2 - y1));
}

Context::Box Context::Box::intersect(const Box& o) const {
  int x1 = std::max(x, o.x), y1 = std::max(y, o.y);
  int x2 = std::min(x + w, o.x + o.w), y2 = std::min(y + h, o.y + o.h);
  return {x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1)};
}

bool Context::Box::tooLarge() const { return w > kMaxSide || h > kMaxSide || int64_t{w} * h > kMaxPixels; }

cairo_pattern_t* Context::devicePattern(cairo_surface_t* surface, double x, double y) const {
  cairo_pattern_t* p = cairo_pattern_create_for_surface(surface);
  cairo_matrix_t ctmM, shift, m;
  cairo_get_matrix(m_cr, &ctmM);
  cairo_matrix_init_translate(&shift, -x, -y);
  cairo_matrix_multiply(&m, &ctmM, &shift);
  cairo_pattern_set_matrix(p, &m);
  return p;
}

// Paints the source set on m_cr through the mask clip, if there is one.
void Context::finishComposite() {
  const State& s = state();
  if (s.mask) {
    cairo_pattern_t* mp = devicePattern(s.mask->surface, s.mask->x, s.mask->y);
    cairo_mask(m_cr, mp);
    cairo_pattern_destroy(mp);
  } else {
    cairo_paint(m_cr);
  }
}

void Context::perform(const Op& op) {
  const State& s = state();
  if (s.alpha <= 0) return;
  makePixels();
  cairo_antialias_t aa = s.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE;
  cairo_set_antialias(m_cr, aa);
  if (s.shadow && op.castsShadow) paintShadow(op);

  bool unbounded = isUnbounded(s.blend) && op.clipShape;
  cairo_save(m_cr);
  if (unbounded) {
    cairo_new_path(m_cr);
    op.clipShape(m_cr);
    cairo_clip(m_cr);
  }
  if (s.alpha >= 1 && !s.mask) {
    cairo_set_operator(m_cr, cairoOperator(s.blend));
    op.render(m_cr, 0, 0);
  } else {
    cairo_push_group(m_cr);
    cairo_set_operator(m_cr, CAIRO_OPERATOR_OVER);
    op.render(m_cr, 0, 0);
    if (s.alpha < 1) {
      cairo_set_operator(m_cr, CAIRO_OPERATOR_DEST_IN);
      cairo_set_source_rgba(m_cr, 0, 0, 0, s.alpha);
      cairo_paint(m_cr);
    }
    cairo_pop_group_to_source(m_cr);
    cairo_set_operator(m_cr, cairoOperator(s.blend));
    finishComposite();
  }
  cairo_restore(m_cr);
  cairo_new_path(m_cr);
}

void Context::paintShadow(const Op& op) {
  const State& s = state();
  Box clipBox = clipDeviceBox();
  if (clipBox.empty()) return;
  // Offset and blur in base space, taken to device units.
  double ox = m_base.a * s.shadowOffset.width + m_base.c * s.shadowOffset.height;
  double oy = m_base.b * s.shadowOffset.width + m_base.d * s.shadowOffset.height;
  double unit = std::sqrt(std::fabs(m_base.determinant()));
  std::array<int, 3> radii = boxRadii(s.shadowBlur * unit / 2);
  int reach = radii[0] + radii[1] + radii[2] + 1;

  // The part of the shape whose shadow can land inside the clip.
  Box shifted{clipBox.x - static_cast<int>(std::ceil(ox)), clipBox.y - static_cast<int>(std::ceil(oy)), clipBox.w + 1,
              clipBox.h + 1};
  Box region = shifted.expanded(reach).intersect(op.device.expanded(reach));
  if (region.empty()) return;
  if (region.tooLarge()) {
    KT_LOG("shadow of %dx%d pixels skipped", region.w, region.h);
    return;
  }

  cairo_surface_t* layer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, region.w, region.h);
  if (cairo_surface_status(layer) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(layer);
    return;
  }
  cairo_t* c2 = cairo_create(layer);
  cairo_matrix_t ctmM, shift, m;
  cairo_get_matrix(m_cr, &ctmM);
  cairo_matrix_init_translate(&shift, -region.x, -region.y);
  cairo_matrix_multiply(&m, &ctmM, &shift);
  cairo_set_matrix(c2, &m);
  cairo_set_antialias(c2, cairo_get_antialias(m_cr));
  op.render(c2, -region.x, -region.y);
  cairo_destroy(c2);
  cairo_surface_flush(layer);

  // Blur the alpha, then colour it with the shadow colour (premultiplied) at the state's alpha.
  unsigned char* data = cairo_image_surface_get_data(layer);
  int stride = cairo_image_surface_get_stride(layer);
  size_t n = static_cast<size_t>(region.w) * region.h;
  std::vector<float> a(n), tmp(n);
  for (int y = 0; y < region.h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < region.w; ++x) a[static_cast<size_t>(y) * region.w + x] = float(row[x] >> 24) / 255.0f;
  }
  for (int r : radii) {
    if (r <= 0) continue;
    boxPass(a, tmp, region.w, region.h, r, true);
    boxPass(tmp, a, region.w, region.h, r, false);
  }
  const gfx::Color& c = s.shadowColor;
  double ca = std::clamp(c.a(), 0.0, 1.0) * s.alpha;
  for (int y = 0; y < region.h; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < region.w; ++x) {
      double alpha = std::clamp(double(a[static_cast<size_t>(y) * region.w + x]), 0.0, 1.0) * ca;
      auto ch = [&](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * alpha * 255)); };
      uint32_t al = static_cast<uint32_t>(std::lround(alpha * 255));
      row[x] = (al << 24) | (ch(c.r()) << 16) | (ch(c.g()) << 8) | ch(c.b());
    }
  }
  cairo_surface_mark_dirty(layer);

  cairo_save(m_cr);
  cairo_pattern_t* p = devicePattern(layer, region.x + ox, region.y + oy);
  cairo_set_source(m_cr, p);
  cairo_pattern_destroy(p);
  cairo_set_operator(m_cr, cairoOperator(s.blend));
  if (isUnbounded(s.blend)) {
    // Keep unbounded operators to the shadow's own pixels.
    cairo_new_path(m_cr);
    cairo_matrix_t id;
    cairo_matrix_init_identity(&id);
    cairo_matrix_t user;
    cairo_get_matrix(m_cr, &user);
    cairo_set_matrix(m_cr, &id);
    cairo_rectangle(m_cr, region.x + ox, region.y + oy, region.w, region.h);
    cairo_set_matrix(m_cr, &user);
    cairo_clip(m_cr);
  }
  finishComposite();
  cairo_restore(m_cr);
  cairo_surface_destroy(layer);
}

void Context::drawCustom(const std::function<void(cairo_t*)>& render, const Rect& userBounds) {
  Op op;
  op.render = [&](cairo_t* cr, double, double) { render(cr); };
  op.clipShape = [&](cairo_t* cr) {
    Rect r = userBounds.standardized();
    cairo_rectangle(cr, r.x(), r.y(), r.width(), r.height());
  };
  op.device = deviceBox(userBounds);
  perform(op);
}

// ---- Paths ----

void Context::beginPath() { m_path.removeAll(); }
void Context::moveTo(Point p) { m_path.moveTo(userToDevice(p)); }
void Context::lineTo(Point p) { m_path.lineTo(userToDevice(p)); }
void Context::addQuadCurveTo(Point control, Point end) { m_path.quadCurveTo(userToDevice(control), userToDevice(end)); }
void Context::addCurveTo(Point c1, Point c2, Point end) {
  m_path.curveTo(userToDevice(c1), userToDevice(c2), userToDevice(end));
}
namespace {

// Appends a device-space path to another, continuing its current subpath when `continuing` (the
// added path then starts with a move to that same point, which is skipped).
void appendElements(Path& to, const Path& from, bool continuing) {
  const auto& els = from.elements();
  for (size_t i = continuing ? 1 : 0; i < els.size(); ++i) {
    const auto& e = els[i];
    switch (e.type) {
      case Path::ElementType::MoveTo: to.moveTo(e.points[0]); break;
      case Path::ElementType::LineTo: to.lineTo(e.points[0]); break;
      case Path::ElementType::QuadCurveTo: to.quadCurveTo(e.points[0], e.points[1]); break;
      case Path::ElementType::CurveTo: to.curveTo(e.points[0], e.points[1], e.points[2]); break;
      case Path::ElementType::Close: to.close(); break;
    }
  }
}

}  // namespace

void Context::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  bool continuing = m_path.hasCurrentPoint();
  Path p;
  if (continuing) p.moveTo(deviceToUser(m_path.currentPoint()));
  p.addArc(center, radius, startAngle, endAngle, clockwise);
  appendElements(m_path, p.transformed(ctm()), continuing);
}

void Context::addArcToPoint(Point t1, Point t2, double radius) {
  if (!m_path.hasCurrentPoint()) {
    moveTo(t1);
    return;
  }
  Path p;
  p.moveTo(deviceToUser(m_path.currentPoint()));
  p.addArcToPoint(t1, t2, radius);
  appendElements(m_path, p.transformed(ctm()), true);
}
void Context::addRect(const Rect& r) { m_path.addPath(Path::rect(r), ctm()); }
void Context::addEllipse(const Rect& r) { m_path.addPath(Path::ellipse(r), ctm()); }
void Context::addPath(const Path& path) { m_path.addPath(path, ctm()); }
void Context::closePath() { m_path.close(); }
Path Context::path() const { return m_path.transformed(ctm().inverted()); }

void Context::fillPath(FillRule rule) {
  drawPath(rule == FillRule::EvenOdd ? PathDrawingMode::EvenOddFill : PathDrawingMode::Fill);
}
void Context::strokePath() { drawPath(PathDrawingMode::Stroke); }

void Context::drawPath(PathDrawingMode mode) {
  Path p = std::move(m_path);
  m_path.removeAll();
  drawDevicePath(p, mode);
}

void Context::clip(FillRule rule) {
  Path p = std::move(m_path);
  m_path.removeAll();
  clipToDevicePath(p, rule);
}

void Context::fill(const Path& path, FillRule rule) {
  drawDevicePath(path.transformed(ctm()),
                 rule == FillRule::EvenOdd ? PathDrawingMode::EvenOddFill : PathDrawingMode::Fill);
}
void Context::stroke(const Path& path) { drawDevicePath(path.transformed(ctm()), PathDrawingMode::Stroke); }
void Context::draw(const Path& path, PathDrawingMode mode) { drawDevicePath(path.transformed(ctm()), mode); }
void Context::fillRect(const Rect& r) { fill(Path::rect(r)); }
void Context::strokeRect(const Rect& r) { stroke(Path::rect(r)); }
void Context::fillEllipse(const Rect& r) { fill(Path::ellipse(r)); }
void Context::strokeEllipse(const Rect& r) { stroke(Path::ellipse(r)); }

namespace {

void appendDevicePath(cairo_t* cr, const Path& devicePath, double dx, double dy) {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_translate(cr, dx, dy);
  devicePath.appendTo(cr);
  cairo_restore(cr);
}

}  // namespace

void Context::drawDevicePath(const Path& devicePath, PathDrawingMode mode) {
  if (devicePath.isEmpty()) return;
  bool doFill = mode != PathDrawingMode::Stroke;
  bool doStroke = mode == PathDrawingMode::Stroke || mode == PathDrawingMode::FillStroke ||
                  mode == PathDrawingMode::EvenOddFillStroke;
  bool evenOdd = mode == PathDrawingMode::EvenOddFill || mode == PathDrawingMode::EvenOddFillStroke;

  Op op;
  op.render = [&](cairo_t* cr, double dx, double dy) {
    cairo_new_path(cr);
    appendDevicePath(cr, devicePath, dx, dy);
    if (doFill) {
      setSourceToFill(cr);
      cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
      if (doStroke) {
        cairo_fill_preserve(cr);
      } else {
        cairo_fill(cr);
      }
    }
    if (doStroke) {
      applyStroke(cr);
      setSourceToStroke(cr);
      cairo_stroke(cr);
    }
  };
  if (!doStroke) {
    op.clipShape = [&](cairo_t* cr) {
      appendDevicePath(cr, devicePath, 0, 0);
      cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    };
  }
  // Device bounds: the path's, widened by the pen when stroking.
  Rect b = devicePath.boundingBox();
  if (doStroke) {
    const State& s = state();
    double pen = s.lineWidth * std::sqrt(std::fabs(ctm().determinant())) / 2;
    double reach = pen * (s.join == LineJoin::Miter ? std::max(1.0, s.miterLimit) : 1.5) + 1;
    b = b.insetBy(-reach, -reach);
  }
  double x1 = std::floor(b.minX()) - 1, y1 = std::floor(b.minY()) - 1;
  op.device = Box{static_cast<int>(std::clamp(x1, -1e9, 1e9)), static_cast<int>(std::clamp(y1, -1e9, 1e9)),
                  static_cast<int>(std::clamp(std::ceil(b.maxX()) + 1 - x1, 0.0, 2e9)),
                  static_cast<int>(std::clamp(std::ceil(b.maxY()) + 1 - y1, 0.0, 2e9))};
  perform(op);
}

void Context::clipToDevicePath(const Path& devicePath, FillRule rule) {
  const cairo_fill_rule_t fillRule = rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
  const cairo_antialias_t antialias = state().antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE;
  auto clipTo = [fillRule, antialias](const Path& path, cairo_t* cr) {
    cairo_new_path(cr);
    appendDevicePath(cr, path, 0, 0);
    cairo_set_fill_rule(cr, fillRule);
    cairo_set_antialias(cr, antialias);
    cairo_clip(cr);
  };
  if (!m_pending) return clipTo(devicePath, m_cr);
  changeState([clipTo, devicePath](cairo_t* cr) { clipTo(devicePath, cr); });
}

// ---- Clipping ----

void Context::clipToRect(const Rect& r) { clipToPath(Path::rect(r), FillRule::NonZero); }

void Context::clipToPath(const Path& path, FillRule rule) { clipToDevicePath(path.transformed(ctm()), rule); }

void Context::clipToMask(const Rect& r, const Image& mask) {
  clipToRect(r);
  Box box = clipDeviceBox();
  auto clip = std::make_shared<MaskClip>();
  bool nothingShows = box.empty() || box.tooLarge() || !mask.cairoSurface();
  if (nothingShows) {
    if (box.tooLarge()) KT_LOG("mask clip of %dx%d pixels: nothing shows", box.w, box.h);
    box = Box{0, 0, 1, 1};
  }
  clip->x = box.x, clip->y = box.y;
  clip->surface = cairo_image_surface_create(CAIRO_FORMAT_A8, box.w, box.h);
  cairo_t* mc = cairo_create(clip->surface);
  cairo_matrix_t ctmM, shift, m;
  cairo_get_matrix(m_cr, &ctmM);
  cairo_matrix_init_translate(&shift, -box.x, -box.y);
  cairo_matrix_multiply(&m, &ctmM, &shift);
  cairo_set_matrix(mc, &m);

  if (!nothingShows) {
    cairo_surface_t* source = mask.cairoSurface();
    cairo_surface_t* luminance = nullptr;
    if (!mask.hasAlpha()) {
      // An image without alpha masks by its brightness.
      int w = mask.pixelWidth(), h = mask.pixelHeight();
      luminance = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
      cairo_surface_flush(luminance);
      unsigned char* dst = cairo_image_surface_get_data(luminance);
      int dstStride = cairo_image_surface_get_stride(luminance);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          uint32_t p = mask.pixelAt(x, y);
          double l = 0.299 * ((p >> 16) & 0xFF) + 0.587 * ((p >> 8) & 0xFF) + 0.114 * (p & 0xFF);
          dst[static_cast<size_t>(y) * dstStride + x] =
              static_cast<unsigned char>(std::lround(std::clamp(l, 0.0, 255.0)));
        }
      cairo_surface_mark_dirty(luminance);
      source = luminance;
    }
    cairo_pattern_t* p = cairo_pattern_create_for_surface(source);
    cairo_matrix_t im = imageMatrix(mask, r);
    cairo_pattern_set_matrix(p, &im);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(p, cairoFilter(state().quality));
    cairo_set_source(mc, p);
    cairo_pattern_destroy(p);
    Rect s = r.standardized();
    cairo_rectangle(mc, s.x(), s.y(), s.width(), s.height());
    cairo_fill(mc);
    if (luminance) cairo_surface_destroy(luminance);
  }
  // Intersect with the mask already in force.
  if (const auto& old = state().mask) {
    cairo_identity_matrix(mc);
    cairo_set_operator(mc, CAIRO_OPERATOR_DEST_IN);
    cairo_set_source_surface(mc, old->surface, old->x - box.x, old->y - box.y);
    cairo_paint(mc);
  }
  cairo_destroy(mc);
  cairo_surface_flush(clip->surface);
  state().mask = std::move(clip);
}

Rect Context::clipBoundingBox() const {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(m_cr, &x1, &y1, &x2, &y2);
  return Rect(x1, y1, x2 - x1, y2 - y1);
}

void Context::clearRect(const Rect& r) {
  // Pixels still to be made are transparent already.
  if (m_pending) return;
  cairo_save(m_cr);
  cairo_new_path(m_cr);
  Rect s = r.standardized();
  cairo_rectangle(m_cr, s.x(), s.y(), s.width(), s.height());
  cairo_clip(m_cr);
  cairo_set_operator(m_cr, CAIRO_OPERATOR_CLEAR);
  finishComposite();
  cairo_restore(m_cr);
}

// ---- Gradients and images ----

void Context::drawLinearGradient(const Gradient& g, Point start, Point end, unsigned options) {
  Op op;
  op.castsShadow = false;
  op.render = [&](cairo_t* cr, double, double) {
    cairo_pattern_t* p = g.linearPattern(start, end, options);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    cairo_paint(cr);
  };
  perform(op);
}

void Context::drawRadialGradient(const Gradient& g, Point startCenter, double startRadius, Point endCenter,
                                 double endRadius, unsigned options) {
  Op op;
  op.castsShadow = false;
  op.render = [&](cairo_t* cr, double, double) {
    cairo_pattern_t* p = g.radialPattern(startCenter, startRadius, endCenter, endRadius, options);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    cairo_paint(cr);
  };
  perform(op);
}

bool Context::drawResampled(cairo_t* cr, const Image& image, const Rect& r) const {
  // Only where the picture is drawn at the drawing scale, unturned, unflipped and smoothly.
  const InterpolationQuality q = state().quality;
  if ((q != InterpolationQuality::Default && q != InterpolationQuality::Medium) || !(r.width() > 0) ||
      !(r.height() > 0))
    return false;
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  const double k = Image::drawingScale();
  if (m.xy != 0 || m.yx != 0 || std::fabs(m.xx - k) > 1e-9 * k || std::fabs(m.yy - k) > 1e-9 * k) return false;
  // The rect's edges on the pixel grid, as a layer's would land: the copy is that many pixels,
  // one copied pixel a device pixel, and nothing is drawn past the far edges.
  double x1 = r.minX(), y1 = r.minY(), x2 = r.maxX(), y2 = r.maxY();
  cairo_user_to_device(cr, &x1, &y1);
  cairo_user_to_device(cr, &x2, &y2);
  const Rect on = pixelAligned(Rect(x1, y1, x2 - x1, y2 - y1));
  if (!(on.width() >= 1) || !(on.height() >= 1) || on.width() > INT32_MAX || on.height() > INT32_MAX) return false;
  auto copy = image.resampledTo(static_cast<int>(on.width()), static_cast<int>(on.height()));
  if (!copy) return false;
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_surface(cr, copy->cairoSurface(), on.x(), on.y());
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_new_path(cr);
  cairo_rectangle(cr, on.x(), on.y(), copy->pixelWidth(), copy->pixelHeight());
  cairo_fill(cr);
  cairo_restore(cr);
  return true;
}

void Context::drawImage(const Image& given, const Rect& r) {
  if (!given.cairoSurface() || r.isEmpty()) return;
  const auto current = given.namedAtDrawingScale();
  const Image& image = current ? *current : given;
  Rect s = r.standardized();
  const bool byDefault = state().quality == InterpolationQuality::Default;
  cairo_filter_t filter = cairoFilter(state().quality);
  Op op;
  op.render = [&](cairo_t* cr, double, double) {
    if (drawResampled(cr, image, r)) return;
    cairo_pattern_t* p = imagePattern(image, r, CAIRO_EXTEND_PAD, filter);
    if (byDefault) {
      // Cairo's good filter convolves at any scale other than one, at several times the cost of a
      // bilinear sample. An enlargement gives the same picture bilinearly, and so does a reduction
      // to no less than half closely enough (it still reads every source pixel): the double
      // artwork drawn at a scale between 1 and 2.
      cairo_matrix_t toImage, toUser;
      cairo_pattern_get_matrix(p, &toImage);
      cairo_get_matrix(cr, &toUser);
      if (cairo_matrix_invert(&toUser) == CAIRO_STATUS_SUCCESS) {
        cairo_matrix_t m;
        cairo_matrix_multiply(&m, &toUser, &toImage);  // device pixel → image pixel
        if (std::hypot(m.xx, m.yx) <= 2 + 1e-9 && std::hypot(m.xy, m.yy) <= 2 + 1e-9)
          cairo_pattern_set_filter(p, CAIRO_FILTER_BILINEAR);
      }
    }
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    cairo_new_path(cr);
    cairo_rectangle(cr, s.x(), s.y(), s.width(), s.height());
    cairo_fill(cr);
  };
  op.clipShape = [&](cairo_t* cr) { cairo_rectangle(cr, s.x(), s.y(), s.width(), s.height()); };
  op.device = deviceBox(s);
  perform(op);
}

void Context::drawImage(const Image& image, Point p) { drawImage(image, Rect(p, image.size())); }

void Context::drawTiledImage(const Image& given, const Rect& tile) {
  if (!given.cairoSurface() || tile.isEmpty()) return;
  const auto current = given.namedAtDrawingScale();
  const Image& image = current ? *current : given;
  cairo_filter_t filter = cairoFilter(state().quality);
  Op op;
  op.render = [&](cairo_t* cr, double, double) {
    cairo_pattern_t* p = imagePattern(image, tile, CAIRO_EXTEND_REPEAT, filter);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    cairo_paint(cr);
  };
  op.castsShadow = false;
  perform(op);
}

}  // namespace gfx
