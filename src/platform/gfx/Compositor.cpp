#include "platform/gfx/Compositor.h"

#include <cairo.h>
#include <pixman.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/gfx/Blur.h"
#include "platform/gfx/CompositorCache.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/LayerState.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/PerspectiveSampler.h"
#include "platform/gfx/PixelGrid.h"

#include "platform/gfx/Layer.h"

namespace gfx {

namespace {

// A single shadow image larger than this is not kept.
constexpr double kMaxCachedShadowPixels = 2048.0 * 2048.0;

// Stands for "the whole plane" where a projection reaches behind the eye.
constexpr double kFar = 1e7;
constexpr int kMaxOffscreenSide = 8192;
constexpr double kMaxOffscreenPixels = 4096.0 * 4096.0;

Rect everything() { return Rect(-kFar, -kFar, 2 * kFar, 2 * kFar); }

// A rectangle of whole device pixels.
struct Box {
  int x = 0, y = 0, w = 0, h = 0;
  bool empty() const { return w <= 0 || h <= 0; }
  Rect rect() const { return Rect(x, y, w, h); }
};

Box roundOut(const Rect& r) {
  if (r.isNull() || r.isEmpty()) return {};
  Rect s = r.standardized();
  double x1 = std::floor(std::max(s.minX(), -kFar) + 1e-7), y1 = std::floor(std::max(s.minY(), -kFar) + 1e-7);
  double x2 = std::ceil(std::min(s.maxX(), kFar) - 1e-7), y2 = std::ceil(std::min(s.maxY(), kFar) - 1e-7);
  if (!(x2 > x1) || !(y2 > y1)) return {};
  return {static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2 - x1), static_cast<int>(y2 - y1)};
}

// ---- Whole pixels ----

// Turned layers (a subtree drawn flat for a projection) keep their own sampling: while one is
// drawn, edges are not put on whole pixels.
thread_local int t_unsnapped = 0;

struct KeepOwnSampling {
  KeepOwnSampling() { ++t_unsnapped; }
  ~KeepOwnSampling() { --t_unsnapped; }
  KeepOwnSampling(const KeepOwnSampling&) = delete;
  KeepOwnSampling& operator=(const KeepOwnSampling&) = delete;
};

// Whether a maps a layer's bounds space onto device pixels without turning it (scaled and moved
// only), so that its edges can be put on whole pixels.
bool snaps(const AffineTransform& a) {
  return t_unsnapped == 0 && a.b == 0 && a.c == 0 && a.a > 0 && a.d > 0 && std::isfinite(a.tx) && std::isfinite(a.ty) &&
         std::fabs(a.tx) < kFar && std::fabs(a.ty) < kFar;
}

// r (bounds space) with its edges moved onto whole device pixels under a, each edge rounded from
// its own position by the pixel grid's rule, so that layers sharing an edge in points share it
// in pixels; r itself where a turns it. A rectangle thinner than a pixel keeps one.
Rect onPixels(const AffineTransform& a, const Rect& r) {
  if (!snaps(a) || r.isNull() || r.isEmpty() || !std::isfinite(r.width()) || !std::isfinite(r.height())) return r;
  const Rect s = r.standardized();
  Rect d = pixelAligned(Rect(a.a * s.x() + a.tx, a.d * s.y() + a.ty, a.a * s.width(), a.d * s.height()));
  if (!(std::fabs(d.x()) < kFar) || !(std::fabs(d.y()) < kFar)) return r;
  // The pixel it ends in (within the pixels its own extent rounds out to, which a frame redraws).
  if (d.width() < 1) d = Rect(d.x() - 1, d.y(), 1, d.height());
  if (d.height() < 1) d = Rect(d.x(), d.y() - 1, d.width(), 1);
  return Rect((d.x() - a.tx) / a.a, (d.y() - a.ty) / a.d, d.width() / a.a, d.height() / a.d);
}

// ---- Transforms ----

// Drops the z a transform produces: a layer is flattened into its superlayer's plane.
Transform3D flattened(Transform3D m) {
  m.m13 = m.m23 = m.m33 = m.m43 = 0;
  return m;
}

Point anchorInBounds(const LayerState& s) {
  return {s.bounds.x() + s.anchorPoint.x * s.bounds.width(), s.bounds.y() + s.anchorPoint.y * s.bounds.height()};
}

// The layer's bounds space to its superlayer's bounds space.
Transform3D layerToSuper(const LayerState& s) {
  Point a = anchorInBounds(s);
  Transform3D m = Transform3D::translation(-a.x, -a.y, 0);
  if (!s.transform.isIdentity()) m = m.concat(s.transform);
  return m.concat(Transform3D::translation(s.position.x, s.position.y, s.zPosition));
}

// The sublayer transform, applied about the anchor point.
Transform3D sublayerSpace(const LayerState& s) {
  if (s.sublayerTransform.isIdentity()) return Transform3D::identity();
  Point a = anchorInBounds(s);
  return Transform3D::translation(-a.x, -a.y, 0)
      .concat(s.sublayerTransform)
      .concat(Transform3D::translation(a.x, a.y, 0));
}

// The affine transform a 3D one amounts to for points of the plane, when it has no perspective.
bool affineOf(const Transform3D& m, AffineTransform& out) {
  if (std::fabs(m.m14) > 1e-12 || std::fabs(m.m24) > 1e-12 || !(std::fabs(m.m44) > 1e-12)) return false;
  double w = m.m44;
  out = AffineTransform{m.m11 / w, m.m12 / w, m.m21 / w, m.m22 / w, m.m41 / w, m.m42 / w};
  return true;
}

bool axisAligned(const Transform3D& m) {
  AffineTransform a;
  return affineOf(m, a) && std::fabs(a.b) < 1e-12 && std::fabs(a.c) < 1e-12;
}

// The bounding box of the rectangle's image; the whole plane when part of it lies behind the eye.
Rect mapRect(const Transform3D& m, const Rect& r) {
  if (r.isNull()) return Rect::null();
  if (m.m14 == 0 && m.m24 == 0 && m.m34 == 0 && m.m44 == 1 && m.m31 == 0 && m.m32 == 0) {
    // Affine in the plane (the common case): the same sums without the terms that are zero.
    double x1 = INFINITY, y1 = INFINITY, x2 = -INFINITY, y2 = -INFINITY;
    for (double cx : {r.minX(), r.maxX()}) {
      for (double cy : {r.minY(), r.maxY()}) {
        double x = cx * m.m11 + cy * m.m21 + m.m41, y = cx * m.m12 + cy * m.m22 + m.m42;
        x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
      }
    }
    return Rect(x1, y1, x2 - x1, y2 - y1);
  }
  const Point corners[4] = {{r.minX(), r.minY()}, {r.maxX(), r.minY()}, {r.maxX(), r.maxY()}, {r.minX(), r.maxY()}};
  double x1 = INFINITY, y1 = INFINITY, x2 = -INFINITY, y2 = -INFINITY;
  for (const Point& c : corners) {
    Transform3D::Vector4 v = m.apply({c.x, c.y, 0, 1});
    if (!(v.w > 1e-9)) return everything();
    double x = v.x / v.w, y = v.y / v.w;
    x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
  }
  return Rect(x1, y1, x2 - x1, y2 - y1);
}

void setMatrix(cairo_t* cr, const AffineTransform& a) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, a.a, a.b, a.c, a.d, a.tx, a.ty);
  cairo_set_matrix(cr, &m);
}

void setIdentity(cairo_t* cr) { cairo_identity_matrix(cr); }

AffineTransform currentMatrix(cairo_t* cr) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  return AffineTransform{m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
}

// The clip in device units.
Rect deviceClip(cairo_t* cr) {
  cairo_save(cr);
  setIdentity(cr);
  double x1, y1, x2, y2;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  cairo_restore(cr);
  return Rect(x1, y1, x2 - x1, y2 - y1);
}

// ---- Drawing helpers ----

void setColor(cairo_t* cr, const Color& c) {
  if (c.isPattern() && c.pattern() && c.pattern()->cairoSurface()) {
    // Artwork found by name at another drawing scale: the current scale's file, over the same points.
    const std::shared_ptr<Image> current = c.pattern()->namedAtDrawingScale();
    const Image& img = current ? *current : *c.pattern();
    cairo_pattern_t* p = cairo_pattern_create_for_surface(img.cairoSurface());
    cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, img.scale(), img.scale());
    cairo_pattern_set_matrix(p, &m);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    return;
  }
  auto cl = [](double v) { return std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 1.0); };
  cairo_set_source_rgba(cr, cl(c.r()), cl(c.g()), cl(c.b()), cl(c.a()));
}

bool paints(const Color& c) { return c.isPattern() || c.a() > 0; }

double cornerRadiusOf(const LayerState& s) {
  double limit = std::min(std::fabs(s.bounds.width()), std::fabs(s.bounds.height())) / 2;
  return std::clamp(s.cornerRadius, 0.0, std::max(0.0, limit));
}

Path roundedBounds(const Rect& r, double radius, unsigned corners) {
  if (radius <= 0 || (corners & 0xF) == 0) return Path::rect(r);
  return Path::roundedRect(r, corners & 0xF, Size{radius, radius});
}

// Where the contents image goes in the bounds, by gravity; the image's size in points is its
// pixel size over the layer's contents scale.
Rect contentsRect(const LayerState& s, const Image& img) {
  const Rect b = s.bounds.standardized();
  bool swap = img.orientation() == ImageOrientation::Left || img.orientation() == ImageOrientation::Right ||
              img.orientation() == ImageOrientation::LeftMirrored || img.orientation() == ImageOrientation::RightMirrored;
  double cs = s.contentsScale > 0 ? s.contentsScale : 1;
  double iw = (swap ? img.pixelHeight() : img.pixelWidth()) / cs, ih = (swap ? img.pixelWidth() : img.pixelHeight()) / cs;
  if (iw <= 0 || ih <= 0) return Rect::null();
  switch (s.contentsGravity) {
    case ContentsGravity::Resize:
      return b;
    case ContentsGravity::ResizeAspect:
    case ContentsGravity::ResizeAspectFill: {
      double k = s.contentsGravity == ContentsGravity::ResizeAspect ? std::min(b.width() / iw, b.height() / ih)
                                                                    : std::max(b.width() / iw, b.height() / ih);
      double w = iw * k, h = ih * k;
      return Rect(b.midX() - w / 2, b.midY() - h / 2, w, h);
    }
    default:
      break;
  }
  double x = b.midX() - iw / 2, y = b.midY() - ih / 2;
  switch (s.contentsGravity) {
    case ContentsGravity::Top: y = b.minY(); break;
    case ContentsGravity::Bottom: y = b.maxY() - ih; break;
    case ContentsGravity::Left: x = b.minX(); break;
    case ContentsGravity::Right: x = b.maxX() - iw; break;
    case ContentsGravity::TopLeft: x = b.minX(), y = b.minY(); break;
    case ContentsGravity::TopRight: x = b.maxX() - iw, y = b.minY(); break;
    case ContentsGravity::BottomLeft: x = b.minX(), y = b.maxY() - ih; break;
    case ContentsGravity::BottomRight: x = b.maxX() - iw, y = b.maxY() - ih; break;
    default: break;
  }
  return Rect(x, y, iw, ih);
}

// The drawing scale when `cr` draws at it, unturned and unstretched (as a layer that is not
// transformed is drawn); 0 otherwise.
double atDrawingScale(cairo_t* cr) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  const double k = Image::drawingScale();
  const bool plain = m.xy == 0 && m.yx == 0 && std::fabs(m.xx - k) <= 1e-9 * k && std::fabs(m.yy - k) <= 1e-9 * k;
  return plain ? k : 0;
}

// Fills the current path with the source, at `alpha`.
void fillPathWithAlpha(cairo_t* cr, double alpha) {
  if (alpha < 1) {
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, alpha);
  } else {
    cairo_fill(cr);
  }
}

// Draws the image upright, stretched over r, with hard edges, at `alpha`.
void paintImage(cairo_t* cr, const Image& source, const Rect& given, double alpha = 1) {
  // Artwork found by name at another drawing scale: the current scale's file, over the same rect.
  std::shared_ptr<const Image> up = source.namedAtDrawingScale();
  const Image* img = up ? up.get() : &source;
  // At the drawing scale a picture is drawn one to one from its copy resampled, once, to the pixels
  // it covers (the pixel grid's length of its rect, already on whole pixels), rather than resampled at every frame.
  Rect r = given;
  if (const double k = atDrawingScale(cr); k > 0 && !r.isNull() && !r.isEmpty()) {
    if (auto copy = img->resampledFor(r.size)) up = copy, img = up.get();
    if (img->orientation() == ImageOrientation::Up && img->pixelWidth() == pixelLength(r.width(), k) &&
        img->pixelHeight() == pixelLength(r.height(), k))
      r = Rect(r.x(), r.y(), img->pixelWidth() / k, img->pixelHeight() / k);
  }
  if (img->orientation() != ImageOrientation::Up) {
    up = img->upright();
    img = up.get();
  }
  if (!img || !img->cairoSurface() || img->pixelWidth() <= 0 || img->pixelHeight() <= 0) return;
  if (r.isNull() || r.isEmpty()) return;
  double sx = r.width() / img->pixelWidth(), sy = r.height() / img->pixelHeight();
  cairo_save(cr);
  cairo_translate(cr, r.x(), r.y());
  cairo_scale(cr, sx, sy);
  cairo_set_source_surface(cr, img->cairoSurface(), 0, 0);
  cairo_pattern_t* p = cairo_get_source(cr);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
  // One image pixel per device pixel is copied, on whole pixels: an image drawn at the scale it is
  // shown at (a layer's drawn content, artwork at the drawing scale) lands on the nearest pixel
  // rather than being resampled at a fractional scale's fractional positions.
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  const bool oneToOne = std::fabs(std::fabs(m.xx) - 1) < 1e-9 && std::fabs(std::fabs(m.yy) - 1) < 1e-9 && m.xy == 0 &&
                        m.yx == 0;
  if (oneToOne && (m.x0 != pixelEdge(m.x0) || m.y0 != pixelEdge(m.y0))) {
    m.x0 = pixelEdge(m.x0);
    m.y0 = pixelEdge(m.y0);
    cairo_set_matrix(cr, &m);
  }
  // Otherwise filtered; a reduction to no less than half (the double artwork at a scale between 1
  // and 2) bilinearly, which at that ratio still reads every source pixel.
  const double reduction = std::min(std::hypot(m.xx, m.yx), std::hypot(m.xy, m.yy));
  cairo_pattern_set_filter(p, oneToOne ? CAIRO_FILTER_NEAREST
                              : reduction >= 0.5 - 1e-9 ? CAIRO_FILTER_BILINEAR
                                                        : CAIRO_FILTER_GOOD);
  cairo_rectangle(cr, 0, 0, img->pixelWidth(), img->pixelHeight());
  fillPathWithAlpha(cr, alpha);
  cairo_restore(cr);
}

// Draws a layer's drawn content, placed at r (bounds space, as drawnRect gives it) and shown
// within `area` (the bounds inset as drawn), with its edges on whole pixels. Content drawn at
// the scale it is shown at is copied one to one from the pixel its corner lands on (its partly
// covered last column and row were filled when it was drawn, see Layer::displayIfNeeded).
// Anything else is drawn by paintImage: stretched over its rectangle on whole pixels, or, turned,
// as it always was.
void paintDrawn(cairo_t* cr, const Image& img, const AffineTransform& a, const Rect& r, const Rect& area, double alpha) {
  const Rect shown = onPixels(a, area);
  const double k = img.scale();
  const int pw = img.pixelWidth(), ph = img.pixelHeight();
  cairo_surface_t* surface = img.cairoSurface();
  const bool oneToOne = snaps(a) && surface && img.orientation() == ImageOrientation::Up && !img.namedAtDrawingScale() &&
                        k > 0 && std::fabs(a.a - k) < 1e-9 && std::fabs(a.d - k) < 1e-9 && pw > 0 && ph > 0 &&
                        std::fabs(r.width() * k - pw) < 1e-6 && std::fabs(r.height() * k - ph) < 1e-6;
  if (!snaps(a)) {
    // Turned: drawn as it always was, with its own sampling.
    paintImage(cr, img, r, alpha);
    return;
  }
  if (!oneToOne) {
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, shown.x(), shown.y(), shown.width(), shown.height());
    cairo_clip(cr);
    paintImage(cr, img, onPixels(a, r), alpha);
    cairo_restore(cr);
    return;
  }
  const Rect rr = r.standardized();
  const double x0 = pixelEdge(a.a * rr.minX() + a.tx), y0 = pixelEdge(a.d * rr.minY() + a.ty);
  const Point d0 = a.apply(Point{shown.minX(), shown.minY()}), d1 = a.apply(Point{shown.maxX(), shown.maxY()});
  cairo_save(cr);
  setIdentity(cr);
  cairo_set_source_surface(cr, surface, x0, y0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_new_path(cr);
  // Within the bitmap: the shown area (on the pixel grid already, but for the error of mapping it
  // back and forth) is no larger than it.
  const Rect on = pixelAligned(Rect(d0.x, d0.y, d1.x - d0.x, d1.y - d0.y));
  const double x1 = std::max(on.minX(), x0), y1 = std::max(on.minY(), y0);
  const double x2 = std::min(on.maxX(), x0 + pw), y2 = std::min(on.maxY(), y0 + ph);
  if (x2 > x1 && y2 > y1) {
    cairo_rectangle(cr, x1, y1, x2 - x1, y2 - y1);
    fillPathWithAlpha(cr, alpha);
  }
  cairo_restore(cr);
}

void applyStroke(cairo_t* cr, const LayerState& s) {
  cairo_set_line_width(cr, s.lineWidth);
  cairo_set_line_cap(cr, s.lineCap == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                         : s.lineCap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                        : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, s.lineJoin == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                          : s.lineJoin == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                          : CAIRO_LINE_JOIN_MITER);
  cairo_set_miter_limit(cr, 10);
  // Cairo refuses (and stays broken after) a pattern of zeros or negative lengths.
  double sum = 0;
  bool valid = !s.lineDashPattern.empty();
  for (double d : s.lineDashPattern) {
    if (!std::isfinite(d) || d < 0) valid = false;
    sum += d;
  }
  if (valid && sum > 0)
    cairo_set_dash(cr, s.lineDashPattern.data(), static_cast<int>(s.lineDashPattern.size()),
                   std::isfinite(s.lineDashPhase) ? s.lineDashPhase : 0);
  else
    cairo_set_dash(cr, nullptr, 0, 0);
}

// Replaces the current path by the part from `start` to `end` (fractions of its whole length).
void trimPath(cairo_t* cr, double start, double end) {
  cairo_path_t* flat = cairo_copy_path_flat(cr);
  cairo_new_path(cr);
  if (!flat || flat->status != CAIRO_STATUS_SUCCESS) {
    if (flat) cairo_path_destroy(flat);
    return;
  }
  struct Sub {
    std::vector<Point> pts;
    bool closed = false;
  };
  std::vector<Sub> subs;
  for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
    const cairo_path_data_t* d = &flat->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO:
        subs.push_back({{{d[1].point.x, d[1].point.y}}, false});
        break;
      case CAIRO_PATH_LINE_TO:
        if (subs.empty()) subs.emplace_back();
        subs.back().pts.push_back({d[1].point.x, d[1].point.y});
        break;
      case CAIRO_PATH_CLOSE_PATH:
        if (!subs.empty() && !subs.back().pts.empty()) {
          subs.back().closed = true;
          subs.back().pts.push_back(subs.back().pts.front());
        }
        break;
      default:
        break;
    }
  }
  cairo_path_destroy(flat);
  double total = 0;
  for (const Sub& s : subs)
    for (size_t k = 1; k < s.pts.size(); ++k) total += std::hypot(s.pts[k].x - s.pts[k - 1].x, s.pts[k].y - s.pts[k - 1].y);
  if (total <= 0) return;
  double a = std::clamp(start, 0.0, 1.0) * total, b = std::clamp(end, 0.0, 1.0) * total;
  double at = 0;
  for (const Sub& s : subs) {
    double subStart = at;
    bool pen = false;
    for (size_t k = 1; k < s.pts.size(); ++k) {
      Point p0 = s.pts[k - 1], p1 = s.pts[k];
      double len = std::hypot(p1.x - p0.x, p1.y - p0.y);
      double lo = std::max(a, at), hi = std::min(b, at + len);
      if (hi > lo || (len == 0 && at >= a && at <= b && pen)) {
        auto lerp = [&](double t) {
          double f = len > 0 ? (t - at) / len : 0;
          return Point{p0.x + (p1.x - p0.x) * f, p0.y + (p1.y - p0.y) * f};
        };
        Point q0 = lerp(lo), q1 = lerp(hi);
        if (!pen) cairo_move_to(cr, q0.x, q0.y);
        cairo_line_to(cr, q1.x, q1.y);
        pen = true;
      } else if (at + len > b) {
        pen = false;
      }
      at += len;
    }
    if (s.closed && subStart >= a && at <= b) cairo_close_path(cr);
  }
}

// A scratch context for measuring paths.
cairo_t* scratch() {
  struct Scratch {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    ~Scratch() {
      cairo_destroy(cr);
      cairo_surface_destroy(surface);
    }
  };
  static thread_local Scratch s;
  return s.cr;
}

bool strokes(const LayerState& s) {
  return s.strokeColor && paints(*s.strokeColor) && s.lineWidth > 0 && s.strokeEnd > s.strokeStart;
}
bool fills(const LayerState& s) { return s.fillColor && paints(*s.fillColor); }

Rect shapeExtent(const LayerState& s) {
  if (!s.path || s.path->isEmpty()) return Rect::null();
  cairo_t* cr = scratch();
  cairo_new_path(cr);
  s.path->appendTo(cr);
  Rect r = Rect::null();
  double x1, y1, x2, y2;
  if (fills(s)) {
    cairo_fill_extents(cr, &x1, &y1, &x2, &y2);
    if (x2 > x1 && y2 > y1) r = r.unionWith(Rect(x1, y1, x2 - x1, y2 - y1));
  }
  if (strokes(s)) {
    applyStroke(cr, s);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_stroke_extents(cr, &x1, &y1, &x2, &y2);
    if (x2 > x1 && y2 > y1) r = r.unionWith(Rect(x1, y1, x2 - x1, y2 - y1));
  }
  cairo_new_path(cr);
  return r;
}

bool castsShadow(const LayerState& s) { return s.shadowOpacity > 0 && s.shadowColor.a() > 0 && s.shadowRadius >= 0; }

cairo_surface_t* newSurface(int w, int h) {
  if (w <= 0 || h <= 0 || w > kMaxOffscreenSide || h > kMaxOffscreenSide || double(w) * h > kMaxOffscreenPixels) {
    KT_LOG("offscreen of %dx%d pixels skipped", w, h);
    return nullptr;
  }
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return s;
}

// Paints a surface whose top left sits at device point (x, y).
void paintAt(cairo_t* cr, cairo_surface_t* s, double x, double y) {
  cairo_save(cr);
  setIdentity(cr);
  cairo_set_source_surface(cr, s, x, y);
  bool whole = x == std::round(x) && y == std::round(y);
  cairo_pattern_set_filter(cairo_get_source(cr), whole ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
  cairo_paint(cr);
  cairo_restore(cr);
}

// ---- Clearing what a frame redraws ----

// While a frame is drawn, its surface carries the region of its pixels (in the surface's own
// pixels) that the frame redraws and that are not cleared yet. A turned layer drawn straight onto
// pixels all still to be cleared writes its box whole, transparent around it, which is what
// clearing and then laying it over would give, in one pass; only what such layers leave is then
// cleared. Anything else that draws on the surface, or reads it, clears all that is left first.
const cairo_user_data_key_t kUnclearedKey{};

cairo_region_t* uncleared(cairo_surface_t* target) {
  return static_cast<cairo_region_t*>(cairo_surface_get_user_data(target, &kUnclearedKey));
}

// Makes a rectangle of an ARGB32 image surface's pixels transparent.
void clearPixels(cairo_surface_t* target, const cairo_rectangle_int_t& r) {
  if (r.width <= 0 || r.height <= 0) return;
  cairo_surface_flush(target);
  unsigned char* data = cairo_image_surface_get_data(target);
  const ptrdiff_t stride = cairo_image_surface_get_stride(target);
  for (int y = r.y; y < r.y + r.height; ++y) std::memset(data + y * stride + ptrdiff_t(r.x) * 4, 0, size_t(r.width) * 4);
  cairo_surface_mark_dirty_rectangle(target, r.x, r.y, r.width, r.height);
}

// Clears the part of `area` still to be cleared on `target`; it is no longer left.
void clearWithin(cairo_surface_t* target, cairo_region_t* left, const cairo_rectangle_int_t& area) {
  cairo_region_t* part = cairo_region_copy(left);
  cairo_region_intersect_rectangle(part, &area);
  for (int i = 0, n = cairo_region_num_rectangles(part); i < n; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(part, i, &r);
    clearPixels(target, r);
  }
  cairo_region_destroy(part);
  cairo_region_subtract_rectangle(left, &area);
}

// Clears all that is left to clear of cr's target, before something draws on it or reads it.
void clearUncleared(cairo_t* cr) {
  cairo_surface_t* target = cairo_get_group_target(cr);
  cairo_region_t* left = uncleared(target);
  if (!left || cairo_region_is_empty(left)) return;
  cairo_rectangle_int_t all;
  cairo_region_get_extents(left, &all);
  clearWithin(target, left, all);
}

// ---- The tree of one frame ----

struct Node {
  Layer* layer = nullptr;
  const LayerState* state = nullptr;    // the layer's model, or `animated` while animations apply
  std::unique_ptr<LayerState> animated; // its presentation values, when it has animations
  Transform3D local;                    // bounds space → the superlayer's bounds space (flattened)
  std::shared_ptr<const Image> drawn;   // the layer's drawn content
  EdgeInsets drawnInsets;               // where it lies: the bounds inset so
  std::vector<Node> children;           // in drawing order
  std::vector<Node> mask;               // none or one
  Rect body = Rect::null();             // own drawing and sublayers, bounds space
  Rect extent = Rect::null();           // everything drawn, shadow and clipping included
  bool visible = true;
  uint64_t revision = 0;
  bool animating = false;               // an animation of it (or of its mask) runs
  bool redisplayed = false;             // its content was drawn again this frame
  uint64_t subtree = 0;                 // revisions of it, its mask and its sublayers, folded
  bool subtreeAnimating = false;        // something in the subtree animates
  std::unique_ptr<Layer::TransitionFrame> transition;  // a transition in progress on it

  const LayerState& st() const { return *state; }
};

// The shape's extent, measured again only when the path or the stroke changed.
Rect cachedShapeExtent(const Node& n, CompositorCache* cache) {
  const LayerState& s = n.st();
  if (!cache || !s.path || s.path->isEmpty()) return shapeExtent(s);
  std::weak_ptr<const Layer> id = n.layer->weak_from_this();
  if (id.expired()) return shapeExtent(s);
  CompositorCache::Shape& e = cache->shapes[id];
  bool f = fills(s), st = strokes(s);
  bool strokeChanged = st && (e.lineWidth != s.lineWidth || e.cap != s.lineCap || e.join != s.lineJoin);
  if (e.used == 0 || e.fills != f || e.strokes != st || strokeChanged || !(e.path == *s.path)) {
    e.path = *s.path;
    e.fills = f;
    e.strokes = st;
    e.lineWidth = s.lineWidth;
    e.cap = s.lineCap;
    e.join = s.lineJoin;
    e.extent = shapeExtent(s);
  }
  e.used = cache->frame;
  return e.extent;
}

// Where a layer's drawn content lies: from the corner of its bounds (inset as drawn) at the
// content's own scale. Its bitmap is the bounds' pixels rounded up, the last column and row partly
// covered, so that content drawn at the scale it is shown at is copied pixel for pixel rather than
// stretched by a fraction of a pixel and resampled. Stretched over the inset bounds when their
// size has changed since it was drawn.
Rect drawnRect(const LayerState& s, const Node& n) {
  const Rect r = s.bounds.standardized().insetBy(n.drawnInsets);
  const Image& img = *n.drawn;
  const double k = img.scale();
  if (!(k > 0) || !std::isfinite(k)) return r;
  // As Context::bitmap sizes it.
  if (pixelLength(r.width(), k) != img.pixelWidth() || pixelLength(r.height(), k) != img.pixelHeight())
    return r;
  return Rect(r.x(), r.y(), img.pixelWidth() / k, img.pixelHeight() / k);
}

Rect ownExtent(const Node& n, CompositorCache* cache) {
  const LayerState& s = n.st();
  if (s.kind == LayerKind::Transform) return Rect::null();
  Rect r = Rect::null();
  Rect b = s.bounds.standardized();
  if ((s.backgroundColor && paints(*s.backgroundColor)) || (s.borderWidth > 0 && paints(s.borderColor)) || n.drawn ||
      (s.kind == LayerKind::Gradient && !s.colors.empty()) || s.backdropBlurRadius > 0)
    r = b;
  if (n.drawn) r = r.unionWith(drawnRect(s, n));
  if (!n.drawn && s.contents) r = r.unionWith(contentsRect(s, *s.contents));
  if (s.kind == LayerKind::Shape) r = r.unionWith(cachedShapeExtent(n, cache));
  return r;
}

void computeExtent(Node& n, CompositorCache* cache) {
  if (!n.visible) return;
  Rect r = ownExtent(n, cache);
  for (const Node& c : n.children)
    if (c.visible) r = r.unionWith(mapRect(c.local, c.extent));
  n.body = r;
  const LayerState& s = n.st();
  if (castsShadow(s)) {
    Rect base = s.shadowPath ? s.shadowPath->boundingBox() : r;
    if (!base.isNull()) {
      double m = s.shadowRadius * 1.5 + 1;
      r = r.unionWith(base.offsetBy(s.shadowOffset.width, s.shadowOffset.height).insetBy(-m, -m));
    }
  }
  if (s.masksToBounds) r = r.intersection(s.bounds.standardized());
  if (!n.mask.empty()) r = r.intersection(n.mask[0].visible ? mapRect(n.mask[0].local, n.mask[0].extent) : Rect::null());
  n.extent = r;
}

// ---- Rendering ----

void renderNode(cairo_t* cr, const Node& n, const Transform3D& m, const Rect& cull, CompositorCache* cache);

// alpha < 1 only for a layer that draws a background or an image and nothing else: painted
// straight at that alpha, which is what a group at that opacity would give.
void drawOwn(cairo_t* cr, const Node& n, const AffineTransform& a, double alpha = 1) {
  const LayerState& s = n.st();
  const Rect b = s.bounds.standardized();
  double radius = cornerRadiusOf(s);
  cairo_save(cr);
  setMatrix(cr, a);
  // The edges of what fills the bounds on whole pixels.
  const Rect snapped = onPixels(a, b);
  if (s.backgroundColor && paints(*s.backgroundColor)) {
    cairo_new_path(cr);
    roundedBounds(snapped, radius, s.maskedCorners).appendTo(cr);
    const Color& c = *s.backgroundColor;
    if (alpha >= 1) {
      setColor(cr, c);
      cairo_fill(cr);
    } else if (c.isPattern()) {
      setColor(cr, c);
      cairo_save(cr);
      cairo_clip(cr);
      cairo_paint_with_alpha(cr, alpha);
      cairo_restore(cr);
    } else {
      auto cl = [](double v) { return std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 1.0); };
      cairo_set_source_rgba(cr, cl(c.r()), cl(c.g()), cl(c.b()), cl(c.a()) * alpha);
      cairo_fill(cr);
    }
  }
  if (n.drawn)
    paintDrawn(cr, *n.drawn, a, drawnRect(s, n), b.insetBy(n.drawnInsets), alpha);
  else if (s.contents)
    paintImage(cr, *s.contents, onPixels(a, contentsRect(s, *s.contents)), alpha);

  if (s.kind == LayerKind::Shape && s.path && !s.path->isEmpty()) {
    cairo_new_path(cr);
    s.path->appendTo(cr);
    if (fills(s)) {
      cairo_set_fill_rule(cr, s.fillRule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
      setColor(cr, *s.fillColor);
      cairo_fill_preserve(cr);
    }
    if (strokes(s)) {
      if (s.strokeStart > 0 || s.strokeEnd < 1) trimPath(cr, s.strokeStart, s.strokeEnd);
      applyStroke(cr, s);
      setColor(cr, *s.strokeColor);
      cairo_stroke(cr);
    }
    cairo_new_path(cr);
  } else if (s.kind == LayerKind::Gradient && !s.colors.empty()) {
    auto g = Gradient::withColors(s.colors, s.locations);
    if (!g && !s.locations.empty()) g = Gradient::withColors(s.colors);
    if (g) {
      Point p0{b.x() + s.startPoint.x * b.width(), b.y() + s.startPoint.y * b.height()};
      Point p1{b.x() + s.endPoint.x * b.width(), b.y() + s.endPoint.y * b.height()};
      cairo_pattern_t* p = g->linearPattern(p0, p1, GradientDrawsBeforeStart | GradientDrawsAfterEnd);
      cairo_new_path(cr);
      roundedBounds(snapped, radius, s.maskedCorners).appendTo(cr);
      cairo_set_source(cr, p);
      cairo_fill(cr);
      cairo_pattern_destroy(p);
    }
  }
  cairo_restore(cr);
}

void drawBorder(cairo_t* cr, const Node& n, const AffineTransform& a) {
  const LayerState& s = n.st();
  if (!(s.borderWidth > 0) || !paints(s.borderColor)) return;
  const Rect b = s.bounds.standardized();
  double radius = cornerRadiusOf(s), bw = s.borderWidth;
  cairo_save(cr);
  setMatrix(cr, a);
  cairo_new_path(cr);
  // Both edges of the border on whole pixels: a border of 1/scale points is one pixel wide.
  roundedBounds(onPixels(a, b), radius, s.maskedCorners).appendTo(cr);
  Rect inner = b.insetBy(bw, bw);
  if (inner.width() > 0 && inner.height() > 0)
    roundedBounds(onPixels(a, inner), std::max(0.0, radius - bw), s.maskedCorners).appendTo(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  setColor(cr, s.borderColor);
  cairo_fill(cr);
  cairo_restore(cr);
}

// Background, content, sublayers and border: everything the shadow is cast from.
void drawBody(cairo_t* cr, const Node& n, const Transform3D& m, const AffineTransform& a, const Rect& cull,
              CompositorCache* cache) {
  drawOwn(cr, n, a);
  for (const Node& c : n.children) renderNode(cr, c, c.local.concat(m), cull, cache);
  drawBorder(cr, n, a);
}

// The layer's device transform with its translation split into whole pixels and the rest, so
// that a cached image follows the layer when it moves by whole pixels.
struct PixelSplit {
  double tx0 = 0, ty0 = 0;  // whole pixels
  AffineTransform a;        // the transform less them
  Transform3D m;
};

bool splitPixels(const Transform3D& m, const AffineTransform& a, PixelSplit& out) {
  out.tx0 = std::floor(a.tx);
  out.ty0 = std::floor(a.ty);
  if (!std::isfinite(out.tx0) || !std::isfinite(out.ty0) || std::fabs(out.tx0) > kFar || std::fabs(out.ty0) > kFar) return false;
  out.a = a;
  out.a.tx -= out.tx0;
  out.a.ty -= out.ty0;
  out.m = m.concat(Transform3D::translation(-out.tx0, -out.ty0, 0));
  return true;
}

// The cache entry for the layer, made empty unless it holds an image for `key`.
CompositorCache::Entry* cacheEntry(CompositorCache& cache, const Node& n, const CompositorCache::Key& key, bool fromPath) {
  std::weak_ptr<const Layer> id = n.layer->weak_from_this();
  if (id.expired()) return nullptr;  // not owned by a shared_ptr: nothing to key it by
  CompositorCache::Entry& e = cache.entries[id];
  if (!(e.key == key) || e.fromPath != fromPath) e = CompositorCache::Entry{};
  e.key = key;
  e.fromPath = fromPath;
  e.used = cache.frame;
  return &e;
}

// Whether two ARGB32 surfaces of one size have the same alpha everywhere.
bool sameAlpha(cairo_surface_t* x, cairo_surface_t* y) {
  int w = cairo_image_surface_get_width(x), h = cairo_image_surface_get_height(x);
  if (w != cairo_image_surface_get_width(y) || h != cairo_image_surface_get_height(y)) return false;
  int sx = cairo_image_surface_get_stride(x), sy = cairo_image_surface_get_stride(y);
  const unsigned char* dx = cairo_image_surface_get_data(x);
  const unsigned char* dy = cairo_image_surface_get_data(y);
  for (int row = 0; row < h; ++row) {
    const uint32_t* px = reinterpret_cast<const uint32_t*>(dx + static_cast<size_t>(row) * sx);
    const uint32_t* py = reinterpret_cast<const uint32_t*>(dy + static_cast<size_t>(row) * sy);
    uint32_t diff = 0;
    for (int i = 0; i < w; ++i) diff |= (px[i] ^ py[i]) & 0xff000000u;
    if (diff) return false;
  }
  return true;
}

// A shadow path's shadow, through the cache; false when it is not kept (too large, or the layer
// cannot be keyed).
bool pathShadowCached(cairo_t* cr, const Node& n, const Transform3D& m, const AffineTransform& a, CompositorCache& cache,
                      const std::array<int, 3>& radii, int reach, Size off) {
  const LayerState& s = n.st();
  PixelSplit px;
  if (!splitPixels(m, a, px)) return false;
  Box r = roundOut(px.a.apply(s.shadowPath->boundingBox()).insetBy(-reach, -reach));
  if (r.empty()) return true;
  if (double(r.w) * r.h > kMaxCachedShadowPixels) return false;
  CompositorCache::Key key{radii, px.a.a, px.a.b, px.a.c, px.a.d, px.a.tx, px.a.ty, s.shadowColor, s.shadowOpacity};
  CompositorCache::Entry* e = cacheEntry(cache, n, key, true);
  if (!e) return false;
  if (e->shadow.s && e->path == s.shadowPath && e->x == r.x && e->y == r.y && e->w == r.w && e->h == r.h) {
    ++cache.hits;
  } else {
    ++cache.misses;
    *e = CompositorCache::Entry{};
    e->key = key;
    e->fromPath = true;
    e->used = cache.frame;
    e->path = s.shadowPath;
    e->x = r.x, e->y = r.y, e->w = r.w, e->h = r.h;
    cairo_surface_t* sh = newSurface(r.w, r.h);
    if (!sh) return true;
    cairo_t* c2 = cairo_create(sh);
    setMatrix(c2, px.a.concat(AffineTransform::translation(-r.x, -r.y)));
    s.shadowPath->appendTo(c2);
    cairo_set_source_rgba(c2, 0, 0, 0, 1);
    cairo_fill(c2);
    cairo_destroy(c2);
    blurAndTint(sh, radii, s.shadowColor, s.shadowOpacity);
    e->shadow = CompositorCache::Surface(sh);
  }
  paintAt(cr, e->shadow.s, px.tx0 + r.x + off.width, px.ty0 + r.y + off.height);
  return true;
}

// A shadow cast by the layer's drawing, through the cache: the drawing is kept with it and reused
// while nothing in the subtree changed; after a change it is drawn again, and the shadow is
// blurred again only when the drawing's alpha differs. False when it is not kept.
bool bodyShadowCached(cairo_t* cr, const Node& n, const Transform3D& m, const AffineTransform& a, CompositorCache& cache,
                      const std::array<int, 3>& radii, int reach, Size off) {
  const LayerState& s = n.st();
  PixelSplit px;
  if (!splitPixels(m, a, px)) return false;
  Box b = roundOut(mapRect(px.m, n.body));
  if (b.empty()) return true;
  if (double(b.w + 2 * reach) * (b.h + 2 * reach) > kMaxCachedShadowPixels) return false;
  CompositorCache::Key key{radii, px.a.a, px.a.b, px.a.c, px.a.d, px.a.tx, px.a.ty, s.shadowColor, s.shadowOpacity};
  CompositorCache::Entry* e = cacheEntry(cache, n, key, false);
  if (!e) return false;
  bool sameBox = e->x == b.x && e->y == b.y && e->w == b.w && e->h == b.h;
  if (sameBox && e->body.s && e->shadow.s && e->subtreeUsable && e->subtree == n.subtree && !n.subtreeAnimating) {
    ++cache.hits;
  } else {
    cairo_surface_t* body = newSurface(b.w, b.h);
    if (!body) return true;
    cairo_t* c2 = cairo_create(body);
    drawBody(c2, n, px.m.concat(Transform3D::translation(-b.x, -b.y, 0)), px.a.concat(AffineTransform::translation(-b.x, -b.y)),
             Rect(0, 0, b.w, b.h), &cache);
    cairo_destroy(c2);
    cairo_surface_flush(body);
    bool reuse = sameBox && e->body.s && e->shadow.s && sameAlpha(e->body.s, body);
    e->body = CompositorCache::Surface(body);
    e->subtree = n.subtree;
    e->subtreeUsable = !n.subtreeAnimating;
    e->x = b.x, e->y = b.y, e->w = b.w, e->h = b.h;
    if (reuse) {
      ++cache.hits;
    } else {
      ++cache.misses;
      e->shadow.reset();
      if (cairo_surface_t* sh = newSurface(b.w + 2 * reach, b.h + 2 * reach)) {
        cairo_t* c3 = cairo_create(sh);
        cairo_set_source_surface(c3, body, reach, reach);
        cairo_paint(c3);
        cairo_destroy(c3);
        blurAndTint(sh, radii, s.shadowColor, s.shadowOpacity);
        e->shadow = CompositorCache::Surface(sh);
      }
    }
  }
  if (e->shadow.s) paintAt(cr, e->shadow.s, px.tx0 + b.x - reach + off.width, px.ty0 + b.y - reach + off.height);
  paintAt(cr, e->body.s, px.tx0 + b.x, px.ty0 + b.y);
  return true;
}

void drawWithShadow(cairo_t* cr, const Node& n, const Transform3D& m, const AffineTransform& a, const Rect& cull,
                    CompositorCache* cache) {
  const LayerState& s = n.st();
  if (!castsShadow(s)) {
    drawBody(cr, n, m, a, cull, cache);
    return;
  }
  Size off = a.apply(s.shadowOffset);
  double unit = std::sqrt(std::fabs(a.determinant()));
  std::array<int, 3> radii = boxRadii(s.shadowRadius / 2 * unit);
  int reach = radii[0] + radii[1] + radii[2] + 2;
  if (cache) {
    if (s.shadowPath) {
      if (pathShadowCached(cr, n, m, a, *cache, radii, reach, off)) {
        drawBody(cr, n, m, a, cull, cache);
        return;
      }
    } else if (bodyShadowCached(cr, n, m, a, *cache, radii, reach, off)) {
      return;
    }
  }
  // The shadow's pixels that can show in the cull rectangle come from here.
  Rect wanted = cull.offsetBy(-off.width, -off.height).insetBy(-reach, -reach);

  if (s.shadowPath) {
    Box r = roundOut(a.apply(s.shadowPath->boundingBox()).insetBy(-reach, -reach).intersection(wanted));
    if (!r.empty()) {
      if (cairo_surface_t* sh = newSurface(r.w, r.h)) {
        cairo_t* c2 = cairo_create(sh);
        setMatrix(c2, a.concat(AffineTransform::translation(-r.x, -r.y)));
        s.shadowPath->appendTo(c2);
        cairo_set_source_rgba(c2, 0, 0, 0, 1);
        cairo_fill(c2);
        cairo_destroy(c2);
        blurAndTint(sh, radii, s.shadowColor, s.shadowOpacity);
        paintAt(cr, sh, r.x + off.width, r.y + off.height);
        cairo_surface_destroy(sh);
      }
    }
    drawBody(cr, n, m, a, cull, cache);
    return;
  }

  // The shadow follows the alpha of the body: draw the body offscreen first.
  Box b = roundOut(mapRect(m, n.body).intersection(cull.unionWith(wanted)));
  if (b.empty()) return;
  cairo_surface_t* body = newSurface(b.w, b.h);
  if (!body) return;
  cairo_t* c2 = cairo_create(body);
  Transform3D shift = Transform3D::translation(-b.x, -b.y, 0);
  drawBody(c2, n, m.concat(shift), a.concat(AffineTransform::translation(-b.x, -b.y)), Rect(0, 0, b.w, b.h), cache);
  cairo_destroy(c2);
  cairo_surface_flush(body);

  Box r{b.x - reach, b.y - reach, b.w + 2 * reach, b.h + 2 * reach};
  if (cairo_surface_t* sh = newSurface(r.w, r.h)) {
    cairo_t* c3 = cairo_create(sh);
    cairo_set_source_surface(c3, body, reach, reach);
    cairo_paint(c3);
    cairo_destroy(c3);
    blurAndTint(sh, radii, s.shadowColor, s.shadowOpacity);
    paintAt(cr, sh, r.x + off.width, r.y + off.height);
    cairo_surface_destroy(sh);
  }
  paintAt(cr, body, b.x, b.y);
  cairo_surface_destroy(body);
}

// Clips a convex polygon of homogeneous points to w >= eps.
std::vector<Transform3D::Vector4> clipToFront(const std::vector<Transform3D::Vector4>& in) {
  constexpr double eps = 1e-6;
  std::vector<Transform3D::Vector4> out;
  for (size_t i = 0; i < in.size(); ++i) {
    const auto& p = in[i];
    const auto& q = in[(i + 1) % in.size()];
    bool pin = p.w >= eps, qin = q.w >= eps;
    if (pin) out.push_back(p);
    if (pin != qin) {
      double t = (eps - p.w) / (q.w - p.w);
      out.push_back({p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t, 0, eps});
    }
  }
  return out;
}

bool drawsOneThing(const Node& n);

// Where pixels drawn over `box` (device pixels) can go straight onto cr's target instead of
// through a surface of their own painted with OVER: the target is an ARGB32 image, the operator
// OVER and the clip one rectangle of whole pixels. Narrows `box` to what the clip and the target
// let through and gives its pixels; false where that cannot be done.
bool directTarget(cairo_t* cr, Box& box, PerspectiveSampler::Pixels& out) {
  cairo_surface_t* target = cairo_get_group_target(cr);
  if (cairo_get_operator(cr) != CAIRO_OPERATOR_OVER || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32)
    return false;
  double ox = 0, oy = 0, scaleX = 1, scaleY = 1;
  cairo_surface_get_device_offset(target, &ox, &oy);
  cairo_surface_get_device_scale(target, &scaleX, &scaleY);
  if (scaleX != 1 || scaleY != 1 || ox != std::round(ox) || oy != std::round(oy)) return false;
  cairo_save(cr);
  setIdentity(cr);
  cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
  cairo_restore(cr);
  bool ok = clip->status == CAIRO_STATUS_SUCCESS && clip->num_rectangles == 1;
  Box b = box;
  if (ok) {
    const cairo_rectangle_t& r = clip->rectangles[0];
    Box c = roundOut(Rect(r.x, r.y, r.width, r.height));
    ok = c.x == r.x && c.y == r.y && c.w == r.width && c.h == r.height;
    const int x1 = std::max(b.x, c.x), y1 = std::max(b.y, c.y);
    b = {x1, y1, std::min(b.x + b.w, c.x + c.w) - x1, std::min(b.y + b.h, c.y + c.h) - y1};
  }
  cairo_rectangle_list_destroy(clip);
  if (!ok) return false;
  // Within the target's own pixels.
  const int dx = static_cast<int>(ox), dy = static_cast<int>(oy);
  const int x1 = std::max(b.x, -dx), y1 = std::max(b.y, -dy);
  const int x2 = std::min(b.x + b.w, cairo_image_surface_get_width(target) - dx);
  const int y2 = std::min(b.y + b.h, cairo_image_surface_get_height(target) - dy);
  box = {x1, y1, std::max(0, x2 - x1), std::max(0, y2 - y1)};
  out = {};
  if (box.empty()) return true;
  const ptrdiff_t stride = cairo_image_surface_get_stride(target) / 4;
  out.data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(target)) + (y1 + dy) * stride + (x1 + dx);
  out.width = box.w;
  out.height = box.h;
  out.stride = stride;
  return true;
}

// The image of a layer that shows it and nothing else over the whole of `ext`, upright, opaque as
// a layer, with about `scale` pixels a point (no more than twice that, nor much fewer): sampled
// straight from its pixels, it needs no flat copy drawn first. Null otherwise.
const Image* wholeImage(const Node& n, const Rect& ext, double scale) {
  const LayerState& s = n.st();
  if (n.transition || !drawsOneThing(n) || s.opacity < 1 || cornerRadiusOf(s) > 0) return nullptr;
  const Image* img = n.drawn ? n.drawn.get() : s.contents.get();
  if (!img || img->orientation() != ImageOrientation::Up || img->pixelWidth() <= 0 || img->pixelHeight() <= 0)
    return nullptr;
  // Artwork of another drawing scale is drawn flat first, in the current scale's file.
  if (img->namedAtDrawingScale()) return nullptr;
  cairo_surface_t* surface = img->cairoSurface();
  if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
    return nullptr;
  const Rect r = n.drawn ? drawnRect(s, n) : contentsRect(s, *img);
  constexpr double kSame = 1e-9;
  if (r.isNull() || std::fabs(r.minX() - ext.minX()) > kSame || std::fabs(r.minY() - ext.minY()) > kSame ||
      std::fabs(r.maxX() - ext.maxX()) > kSame || std::fabs(r.maxY() - ext.maxY()) > kSame)
    return nullptr;
  // Much coarser, its edges (transparent beyond its last pixels) would blur over more than a
  // pixel of the screen, where a flat copy keeps them sharp at the layer's bounds.
  const double kx = img->pixelWidth() / (scale * ext.width()), ky = img->pixelHeight() / (scale * ext.height());
  if (kx > 2 || ky > 2 || kx < 0.75 || ky < 0.75) return nullptr;
  return img;
}

// A layer seen in perspective: its subtree is drawn flat offscreen (or, when it shows one image
// and nothing else, taken as that image), then mapped projectively.
void renderProjective(cairo_t* cr, const Node& n, const Transform3D& m, const Rect& cull, CompositorCache* cache) {
  const Rect ext = n.extent.standardized();
  if (ext.isNull() || ext.isEmpty()) return;
  const Point corners[4] = {{ext.minX(), ext.minY()}, {ext.maxX(), ext.minY()}, {ext.maxX(), ext.maxY()}, {ext.minX(), ext.maxY()}};
  std::vector<Transform3D::Vector4> quad;
  bool allFront = true;
  for (const Point& c : corners) {
    quad.push_back(m.apply({c.x, c.y, 0, 1}));
    if (!(quad.back().w > 1e-6)) allFront = false;
  }
  std::vector<Transform3D::Vector4> poly = allFront ? quad : clipToFront(quad);
  if (poly.size() < 3) return;
  std::vector<Point> devPoly;
  Rect bbox = Rect::null();
  for (const auto& v : poly) {
    Point p{v.x / v.w, v.y / v.w};
    devPoly.push_back(p);
    bbox = bbox.unionWith(Rect(p.x, p.y, 0, 0));
  }
  Box dst = roundOut(bbox.intersection(cull));
  if (dst.empty()) return;

  // Offscreen resolution: as fine as the projection's largest magnification of an edge.
  double s = 1;
  if (allFront) {
    double best = 0;
    for (int i = 0; i < 4; ++i) {
      Point p = devPoly[i], q = devPoly[(i + 1) % 4];
      double local = (i % 2 == 0) ? ext.width() : ext.height();
      if (local > 0) best = std::max(best, std::hypot(q.x - p.x, q.y - p.y) / local);
    }
    if (best > 0) s = best;
  } else {
    AffineTransform a{m.m11, m.m12, m.m21, m.m22, 0, 0};
    s = std::max(1.0, std::sqrt(std::fabs(a.determinant())));
  }
  s = std::clamp(s, 1.0 / 16, 8.0);
  s = std::min({s, kMaxOffscreenSide / ext.width(), kMaxOffscreenSide / ext.height(), std::sqrt(kMaxOffscreenPixels / (ext.width() * ext.height()))});
  cairo_surface_t* src = nullptr;
  double sx = s, sy = s;  // source pixels a point
  if (const Image* img = wholeImage(n, ext, s)) {
    src = cairo_surface_reference(img->cairoSurface());
    sx = img->pixelWidth() / ext.width();
    sy = img->pixelHeight() / ext.height();
  } else {
    int w = static_cast<int>(std::ceil(ext.width() * s - 1e-9)), h = static_cast<int>(std::ceil(ext.height() * s - 1e-9));
    src = newSurface(w, h);
    if (!src) return;
    cairo_t* c2 = cairo_create(src);
    Transform3D toOff = Transform3D::translation(-ext.x(), -ext.y(), 0).concat(Transform3D::scale(s, s, 1));
    KeepOwnSampling turned;
    renderNode(c2, n, toOff, Rect(0, 0, w, h), cache);
    cairo_destroy(c2);
    cairo_surface_flush(src);
  }

  // Source pixel → device, as a 3x3 matrix on column vectors; the sampling wants its inverse, taken
  // from destination pixels (origin at the destination box) to source pixels.
  Transform3D p = Transform3D::scale(1 / sx, 1 / sy, 1).concat(Transform3D::translation(ext.x(), ext.y(), 0)).concat(m);
  std::array<double, 9> hm = p.homography();
  pixman_f_transform fwd, inv;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) fwd.m[i][j] = hm[i * 3 + j];
  if (!pixman_f_transform_invert(&inv, &fwd)) {
    cairo_surface_destroy(src);
    return;
  }
  PerspectiveSampler::Pixels onTarget;
  const bool direct = allFront && directTarget(cr, dst, onTarget);
  // Shift by the destination origin; each destination pixel centre then maps to its source point
  // in double precision (fixed point loses the small perspective terms of large layers).
  double g[3][3];
  for (int i = 0; i < 3; ++i) {
    g[i][0] = inv.m[i][0];
    g[i][1] = inv.m[i][1];
    g[i][2] = inv.m[i][0] * dst.x + inv.m[i][1] * dst.y + inv.m[i][2];
  }
  if (direct) {
    cairo_surface_t* target = cairo_get_group_target(cr);
    cairo_surface_flush(target);
    // Written whole where every pixel of the box is still to be cleared, else laid over what
    // the box holds (cleared first where it is still to be).
    bool write = false;
    cairo_region_t* left = uncleared(target);
    double ox = 0, oy = 0;
    cairo_surface_get_device_offset(target, &ox, &oy);
    const cairo_rectangle_int_t px{dst.x + static_cast<int>(ox), dst.y + static_cast<int>(oy), dst.w, dst.h};
    if (left && !dst.empty()) {
      write = cairo_region_contains_rectangle(left, &px) == CAIRO_REGION_OVERLAP_IN;
      if (write)
        cairo_region_subtract_rectangle(left, &px);
      else
        clearWithin(target, left, px);
    }
    if (!PerspectiveSampler::sample(src, g, onTarget, !write) && write) clearPixels(target, px);
    cairo_surface_mark_dirty(target);
    cairo_surface_destroy(src);
    return;
  }
  cairo_surface_t* out = newSurface(dst.w, dst.h);
  if (!out) {
    cairo_surface_destroy(src);
    return;
  }
  cairo_surface_flush(out);
  PerspectiveSampler::sample(src, g,
                             {reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(out)), dst.w, dst.h,
                              cairo_image_surface_get_stride(out) / 4},
                             false);
  cairo_surface_mark_dirty(out);

  clearUncleared(cr);
  cairo_save(cr);
  setIdentity(cr);
  if (!allFront) {
    // Only the part in front of the eye maps back without folding over.
    cairo_new_path(cr);
    cairo_move_to(cr, devPoly[0].x, devPoly[0].y);
    for (size_t i = 1; i < devPoly.size(); ++i) cairo_line_to(cr, devPoly[i].x, devPoly[i].y);
    cairo_close_path(cr);
    cairo_clip(cr);
  }
  cairo_set_source_surface(cr, out, dst.x, dst.y);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(out);
  cairo_surface_destroy(src);
}

// Whether the layer draws a background or an image and nothing else: no sublayers, mask,
// shadow, border, shape or gradient.
bool drawsOneThing(const Node& n) {
  const LayerState& s = n.st();
  if (!n.children.empty() || !n.mask.empty() || s.kind != LayerKind::Plain || castsShadow(s) ||
      (s.borderWidth > 0 && paints(s.borderColor)) || s.backdropBlurRadius > 0)
    return false;
  bool background = s.backgroundColor && paints(*s.backgroundColor);
  bool image = n.drawn || s.contents;
  return background != image;
}

// Whether the layer draws anything itself, or reads what lies under it: a background, an image, a
// shape, a gradient, a border, a shadow or a backdrop blur.
bool drawsItself(const Node& n) {
  const LayerState& s = n.st();
  return (s.backgroundColor && paints(*s.backgroundColor)) || n.drawn || s.contents || s.kind == LayerKind::Shape ||
         s.kind == LayerKind::Gradient || (s.borderWidth > 0 && paints(s.borderColor)) || castsShadow(s) ||
         s.backdropBlurRadius > 0;
}

// How far a backdrop blur of this radius (points, under a transform of this scale) reaches, in
// the same units as the scale gives.
double backdropReach(double radius, double scale) { return 3 * radius * scale + 2; }

// A blurred copy of what cr's target holds so far under the layer's bounds and around them (the
// blur's reach), as a surface whose top left sits at device pixel (x, y); null when there is
// nothing to take. Past the target's edges its edge pixels are repeated.
cairo_surface_t* blurredBackdrop(cairo_t* cr, const LayerState& s, const Transform3D& m, const AffineTransform& a,
                                 int& x, int& y) {
  double scale = std::sqrt(std::fabs(a.determinant()));
  double reach = backdropReach(s.backdropBlurRadius, scale);
  Box box = roundOut(mapRect(m, s.bounds.standardized()).insetBy(-reach, -reach));
  if (box.empty() || double(box.w) * box.h > kMaxOffscreenPixels) return nullptr;
  cairo_surface_t* out = newSurface(box.w, box.h);
  if (!out) return nullptr;
  cairo_t* c = cairo_create(out);
  cairo_set_source_surface(c, cairo_get_group_target(cr), -box.x, -box.y);
  cairo_pattern_set_extend(cairo_get_source(c), CAIRO_EXTEND_PAD);
  cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
  cairo_paint(c);
  cairo_destroy(c);
  blurChannels(out, boxRadii(s.backdropBlurRadius * scale));
  x = box.x;
  y = box.y;
  return out;
}

// Draws the node through m (its bounds space → cr's device space), skipping what lies outside
// `cull` (device units). Transitions aside.
void renderPlain(cairo_t* cr, const Node& n, const Transform3D& m, const Rect& cull, CompositorCache* cache) {
  if (!n.visible || n.extent.isNull()) return;
  Rect dev = mapRect(m, n.extent);
  Rect devClip = dev.insetBy(-1, -1).intersection(cull);
  if (devClip.isNull() || devClip.isEmpty()) return;
  AffineTransform a;
  if (!affineOf(m, a)) {
    renderProjective(cr, n, m, cull, cache);
    return;
  }
  if (!(std::fabs(a.determinant()) > 1e-12)) return;  // seen edge-on
  const LayerState& s = n.st();
  // A layer that draws one thing only takes its opacity without a group.
  bool direct = s.opacity < 1 && drawsOneThing(n);
  bool group = (s.opacity < 1 && !direct) || !n.mask.empty();
  // Only a layer that merely holds others leaves the target alone.
  if (group || drawsItself(n)) clearUncleared(cr);
  Box clipBox = roundOut(devClip);
  Rect inner = clipBox.rect();
  // Taken before the layer's own group starts, from what lies under it.
  int backdropX = 0, backdropY = 0;
  cairo_surface_t* backdrop = s.backdropBlurRadius > 0 ? blurredBackdrop(cr, s, m, a, backdropX, backdropY) : nullptr;

  cairo_save(cr);
  setIdentity(cr);
  if (group) {
    cairo_rectangle(cr, clipBox.x, clipBox.y, clipBox.w, clipBox.h);
    cairo_clip(cr);
    cairo_push_group(cr);
  }
  if (s.masksToBounds) {
    const Rect b = s.bounds.standardized();
    setMatrix(cr, a);
    cairo_new_path(cr);
    roundedBounds(onPixels(a, b), cornerRadiusOf(s), s.maskedCorners).appendTo(cr);
    cairo_clip(cr);
    setIdentity(cr);
    inner = inner.intersection(mapRect(m, b).insetBy(-1, -1));
  }
  if (backdrop) {
    cairo_save(cr);
    setMatrix(cr, a);
    cairo_new_path(cr);
    roundedBounds(onPixels(a, s.bounds.standardized()), cornerRadiusOf(s), s.maskedCorners).appendTo(cr);
    cairo_clip(cr);
    paintAt(cr, backdrop, backdropX, backdropY);
    cairo_restore(cr);
    cairo_surface_destroy(backdrop);
  }
  if (!inner.isNull()) {
    if (direct)
      drawOwn(cr, n, a, std::clamp(s.opacity, 0.0, 1.0));
    else
      drawWithShadow(cr, n, m, a, inner, cache);
  }
  if (group) {
    cairo_pattern_t* content = cairo_pop_group(cr);
    double opacity = std::clamp(s.opacity, 0.0, 1.0);
    if (!n.mask.empty()) {
      cairo_push_group(cr);
      renderNode(cr, n.mask[0], n.mask[0].local.concat(m), clipBox.rect(), cache);
      cairo_pattern_t* mask = cairo_pop_group(cr);
      if (opacity < 1) cairo_push_group(cr);
      cairo_set_source(cr, content);
      cairo_mask(cr, mask);
      if (opacity < 1) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, opacity);
      }
      cairo_pattern_destroy(mask);
    } else {
      cairo_set_source(cr, content);
      cairo_paint_with_alpha(cr, opacity);
    }
    cairo_pattern_destroy(content);
  }
  cairo_restore(cr);
}

// Where the new look starts (and the old one goes, negated) for a sliding transition: a whole
// bounds' width or height towards the side named by the subtype (left by default).
Point slideOffset(const Layer::TransitionFrame& t, const Rect& bounds) {
  if (t.subtype == "fromRight") return {bounds.width(), 0};
  if (t.subtype == "fromTop") return {0, -bounds.height()};
  if (t.subtype == "fromBottom") return {0, bounds.height()};
  return {-bounds.width(), 0};
}

// A node with a transition: the old look (the image kept when it was added) and the node's new
// drawing, cross-faded (Fade) or slid within the bounds (MoveIn: the new slides in over the old;
// Push: the new pushes the old out; Reveal: the old slides out uncovering the new).
void renderTransition(cairo_t* cr, const Node& n, const Transform3D& m, const AffineTransform& a, const Rect& cull,
                      CompositorCache* cache) {
  const Layer::TransitionFrame& t = *n.transition;
  const double p = t.progress;
  const Rect b = n.st().bounds.standardized();
  auto drawOld = [&](Point off, double alpha) {
    if (!t.oldLook || t.oldRect.isNull() || !(alpha > 0)) return;
    cairo_save(cr);
    setMatrix(cr, a);
    paintImage(cr, *t.oldLook, t.oldRect.offsetBy(off.x, off.y), alpha);
    cairo_restore(cr);
  };
  auto drawNew = [&](Point off) { renderPlain(cr, n, Transform3D::translation(off.x, off.y, 0).concat(m), cull, cache); };

  cairo_save(cr);
  setIdentity(cr);
  Box box = roundOut(mapRect(m, n.extent).insetBy(-1, -1).intersection(cull));
  cairo_rectangle(cr, box.x, box.y, box.w, box.h);
  cairo_clip(cr);
  if (t.type == TransitionAnimation::Type::Fade) {
    // Summed in a group so that two opaque looks blend to an opaque mix of both.
    cairo_push_group(cr);
    drawOld({0, 0}, 1 - p);
    cairo_push_group(cr);
    drawNew({0, 0});
    cairo_pop_group_to_source(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    cairo_paint_with_alpha(cr, p);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
    cairo_restore(cr);
    return;
  }
  setMatrix(cr, a);
  const Rect slideArea = onPixels(a, b);
  cairo_rectangle(cr, slideArea.x(), slideArea.y(), slideArea.width(), slideArea.height());
  setIdentity(cr);
  cairo_clip(cr);
  const Point d = slideOffset(t, b);
  const Point in{d.x * (1 - p), d.y * (1 - p)}, out{-d.x * p, -d.y * p};
  switch (t.type) {
    case TransitionAnimation::Type::MoveIn:
      drawOld({0, 0}, 1);
      drawNew(in);
      break;
    case TransitionAnimation::Type::Push:
      drawOld(out, 1);
      drawNew(in);
      break;
    case TransitionAnimation::Type::Reveal:
      drawNew({0, 0});
      drawOld(out, 1);
      break;
    case TransitionAnimation::Type::Fade:
      break;
  }
  cairo_restore(cr);
}

void renderNode(cairo_t* cr, const Node& n, const Transform3D& m, const Rect& cull, CompositorCache* cache) {
  AffineTransform a;
  // Under perspective the node comes back here through an offscreen flat rendering.
  if (n.transition && n.visible && !n.extent.isNull() && affineOf(m, a) && std::fabs(a.determinant()) > 1e-12) {
    clearUncleared(cr);
    renderTransition(cr, n, m, a, cull, cache);
    return;
  }
  renderPlain(cr, n, m, cull, cache);
}

// Lays out the whole tree (layoutIfNeeded walks the sublayers itself).
void layoutTree(Layer& l) { l.layoutIfNeeded(); }

uint64_t mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001b3ull + 0x9e3779b97f4a7c15ull; }

bool hiddenModel(const Layer& l) { return l.model().hidden || !(l.model().opacity > 0); }

// A layer's revision with its mask's subtree folded in, and whether either animates. `built`:
// whether a frame builds (and so draws) this layer of the mask: the sublayers of a hidden one are
// not built, so their drawing to do asks for no frame, which would otherwise come every turn.
void maskState(const Layer& l, bool built, uint64_t& revision, bool& animating) {
  revision = mix(revision, l.revision());
  const bool moving = l.hasRunningAnimations();
  animating = animating || (built && (moving || l.needsDisplay()));
  for (const auto& s : l.sublayers())
    if (s) maskState(*s, built && (moving || !hiddenModel(l)), revision, animating);
}

// `shown`: whether the layer's mask is built with it (the layer is not hidden).
uint64_t foldedRevision(const Layer& l, bool shown, bool& animating) {
  uint64_t r = l.revision();
  animating = l.hasRunningAnimations();
  if (auto m = l.mask()) {
    r = mix(r, 0x6d61736bull);
    maskState(*m, shown, r, animating);
  }
  return r;
}

// How a tree is built: for a frame (the layers are marked as presented), for an immediate
// rendering, or from the looks the last frame drew (no content redrawn, no transitions).
enum class BuildMode { Frame, Immediate, Presented };

// own: the layer's own position and transform are left out (it is drawn in its bounds space).
// inside: for a sublayer of a Transform layer, that layer's unflattened map into the space of the
// nearest ancestor that flattens; the sublayer maps straight into that space.
Node build(Layer& l, const Transform3D& superSublayer, bool own, CompositorCache* cache, BuildMode mode = BuildMode::Frame,
           const Transform3D* inside = nullptr) {
  Node n;
  n.layer = &l;
  std::vector<std::shared_ptr<Layer>> presentedSublayers;
  if (mode == BuildMode::Presented) {
    Layer::PresentedLook look = l.presentedLook();
    n.animated = std::make_unique<LayerState>(std::move(look.state));
    n.state = n.animated.get();
    n.drawn = std::move(look.drawn);
    n.drawnInsets = look.drawnInsets;
    presentedSublayers = std::move(look.sublayers);
  } else {
    n.redisplayed = l.needsDisplay();
    l.displayIfNeeded();
    if (mode == BuildMode::Frame) l.markPresented();
    if (l.hasAnimations()) {
      n.animated = std::make_unique<LayerState>(l.presentation());
      n.state = n.animated.get();
      auto t = l.transitionAt(core::Clock::now());
      if (t && t->progress < 1) n.transition = std::make_unique<Layer::TransitionFrame>(std::move(*t));
    } else {
      n.state = &l.model();  // the layers are left alone while the frame is drawn
    }
    n.drawn = l.drawnContent();
    n.drawnInsets = l.drawnInsets();
  }
  n.visible = !n.st().hidden && n.st().opacity > 0;
  // The mask is drawn first, so that the revision recorded is the one drawn (else a mask drawn in
  // this frame asked for another).
  if (auto m = l.mask(); m && n.visible) n.mask.push_back(build(*m, Transform3D::identity(), false, cache, mode));
  n.revision = foldedRevision(l, n.visible, n.animating);
  Transform3D raw = own ? Transform3D::translation(-n.st().bounds.x(), -n.st().bounds.y(), 0)
                       : layerToSuper(n.st()).concat(superSublayer);
  if (inside) raw = raw.concat(*inside);
  // A Transform layer hands its map down to its sublayers and stands at the identity itself.
  const bool preserves = n.st().kind == LayerKind::Transform;
  n.local = preserves ? Transform3D::identity() : flattened(raw);
  n.subtree = n.revision;
  n.subtreeAnimating = n.animating;
  if (!n.visible) return n;
  Transform3D sub = sublayerSpace(n.st());
  const auto& sublayers = mode == BuildMode::Presented ? presentedSublayers : l.sublayers();
  n.children.reserve(sublayers.size());
  for (const auto& c : sublayers) {
    if (!c) continue;
    n.children.push_back(build(*c, sub, false, cache, mode, preserves ? &raw : nullptr));
    n.subtree = mix(n.subtree, n.children.back().subtree);
    n.subtreeAnimating = n.subtreeAnimating || n.children.back().subtreeAnimating;
  }
  auto byZ = [](const Node& x, const Node& y) { return x.st().zPosition < y.st().zPosition; };
  if (!std::is_sorted(n.children.begin(), n.children.end(), byZ)) std::stable_sort(n.children.begin(), n.children.end(), byZ);
  computeExtent(n, cache);
  if (n.transition) {
    // The old look shows where it was; sliding looks stay within the bounds.
    if (n.transition->type == TransitionAnimation::Type::Fade)
      n.extent = n.extent.unionWith(n.transition->oldRect);
    else
      n.extent = n.st().bounds.standardized();
  }
  return n;
}

// The largest scale the subtree's content is drawn at, for an image of it that loses no detail
// (no more than the drawing scale, which the image is shown at: see renderPresentedLook).
double subtreeScale(const Layer& l, int depth = 0) {
  double s = Layer::drawnScaleFor(l.model().contentsScale);
  if (depth < 64)
    for (const auto& c : l.sublayers())
      if (c) s = std::max(s, subtreeScale(*c, depth + 1));
  return std::isfinite(s) ? s : 1;
}

}  // namespace

// ---- Compositor ----

Compositor::Compositor(Size points, double scale)
    : m_size(points), m_scale(scale > 0 && std::isfinite(scale) ? scale : 1), m_cache(std::make_unique<CompositorCache>()) {
  double pw = pixelLength(points.width, m_scale), ph = pixelLength(points.height, m_scale);
  if (!(pw >= 1) || !(ph >= 1) || pw > kMaxOffscreenSide || ph > kMaxOffscreenSide) {
    KT_LOG("compositor surface of %gx%g pixels refused", pw, ph);
    return;
  }
  m_surface = newSurface(static_cast<int>(pw), static_cast<int>(ph));
}

double Compositor::largestScale(Size points) {
  return largestFittingScale(points, INFINITY, kMaxOffscreenSide, kMaxOffscreenPixels);
}

Compositor::~Compositor() {
  if (m_surface) cairo_surface_destroy(m_surface);
}

void Compositor::invalidate() {
  m_fullRedraw = true;
  m_records.clear();
}

void Compositor::purgeCaches() {
  m_cache->entries.clear();
  m_cache->shapes.clear();
}

Compositor::CacheStats Compositor::cacheStats() const {
  CacheStats st;
  st.entries = m_cache->entries.size();
  for (const auto& [id, e] : m_cache->entries) st.bytes += e.bytes();
  st.hits = m_cache->hits;
  st.misses = m_cache->misses;
  return st;
}

std::shared_ptr<Image> Compositor::snapshot() const {
  if (!m_surface) return nullptr;
  cairo_surface_flush(m_surface);
  int w = cairo_image_surface_get_width(m_surface), h = cairo_image_surface_get_height(m_surface);
  int stride = cairo_image_surface_get_stride(m_surface);
  const unsigned char* data = cairo_image_surface_get_data(m_surface);
  std::vector<uint32_t> px(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) std::memcpy(&px[static_cast<size_t>(y) * w], data + static_cast<size_t>(y) * stride, size_t(w) * 4);
  return Image::fromPixels(w, h, std::move(px), m_scale);
}

namespace {

// Records where each layer's subtree lies on screen and adds to `dirty` what changed. Returns
// whether anything in the subtree changed.
bool collectDirty(std::unordered_map<const Layer*, Compositor::Record>& records, const Node& n, const Transform3D& toScreen,
                  const Rect& clip, double scale, uint64_t frame, Rect& dirty) {
  Rect r = Rect::null();
  if (n.visible) {
    r = mapRect(toScreen, n.extent);
    // Edges that are not axis-aligned are antialiased into the next pixel.
    if (!r.isNull() && !axisAligned(toScreen)) r = r.insetBy(-1 / scale, -1 / scale);
    r = r.intersection(clip);
  }
  auto [it, fresh] = records.try_emplace(n.layer);
  Compositor::Record& rec = it->second;
  if (!fresh && rec.layer.lock().get() != n.layer) {
    // A new layer at the address of a gone one: what the gone one drew goes.
    dirty = dirty.unionWith(rec.rect);
    rec = Compositor::Record{};
    fresh = true;
  }
  Rect oldRect = fresh ? Rect::null() : rec.rect;
  // A layer that animated last frame draws once more: its animation may have ended in between.
  bool changed = fresh || rec.revision != n.revision || n.animating || n.redisplayed || rec.animating;
  if (changed) dirty = dirty.unionWith(r).unionWith(oldRect);
  if (fresh) rec.layer = n.layer->weak_from_this();
  rec.revision = n.revision;
  rec.rect = r;
  rec.frame = frame;
  rec.animating = n.animating;
  if (!n.visible) return changed;
  Rect childClip = n.st().masksToBounds ? clip.intersection(mapRect(toScreen, n.st().bounds.standardized()).insetBy(-1, -1)) : clip;
  bool below = false;
  for (const Node& c : n.children) below = collectDirty(records, c, c.local.concat(toScreen), childClip, scale, frame, dirty) || below;
  // A shadow cast by the drawing changes with any sublayer, outside the sublayer's own area too.
  if (below && !changed && castsShadow(n.st()) && !n.st().shadowPath) dirty = dirty.unionWith(r).unionWith(oldRect);
  return changed || below;
}

// A layer with a backdrop blur reads what lies under it and around it: when any of that is
// redrawn, all of it is, so that the blur reads only this frame's pixels and never the layer's
// own last drawing. True when `dirty` grew.
bool widenForBackdrops(const Node& n, const Transform3D& toScreen, Rect& dirty) {
  if (!n.visible || dirty.isNull()) return false;
  bool grew = false;
  const LayerState& s = n.st();
  AffineTransform a;
  if (s.backdropBlurRadius > 0 && affineOf(toScreen, a)) {
    double reach = backdropReach(s.backdropBlurRadius, std::sqrt(std::fabs(a.determinant())));
    Rect read = mapRect(toScreen, s.bounds.standardized()).insetBy(-reach, -reach);
    if (!dirty.intersection(read).isEmpty() && !dirty.contains(read)) {
      dirty = dirty.unionWith(read);
      grew = true;
    }
  }
  for (const Node& c : n.children) grew = widenForBackdrops(c, c.local.concat(toScreen), dirty) || grew;
  return grew;
}

}  // namespace

Rect Compositor::renderFrame(const std::shared_ptr<Layer>& root) {
  if (!m_surface || !root) return Rect();
  layoutTree(*root);
  ++m_frame;
  m_cache->frame = m_frame;
  Node tree = build(*root, Transform3D::identity(), false, m_cache.get());
  const Rect screen(0, 0, m_size.width, m_size.height);
  Rect dirty = Rect::null();
  collectDirty(m_records, tree, tree.local, screen, m_scale, m_frame, dirty);
  for (auto it = m_records.begin(); it != m_records.end();) {
    if (it->second.frame != m_frame) {
      dirty = dirty.unionWith(it->second.rect);
      it = m_records.erase(it);
    } else {
      ++it;
    }
  }
  trimCache(*m_cache, m_records);
  // Widening for one backdrop may reach another's.
  for (int i = 0; i < 8 && widenForBackdrops(tree, tree.local, dirty); ++i) {
  }
  if (m_fullRedraw) dirty = screen;
  m_fullRedraw = false;
  int pw = cairo_image_surface_get_width(m_surface), ph = cairo_image_surface_get_height(m_surface);
  Rect devDirty = dirty.isNull() ? Rect::null()
                                 : Rect(dirty.x() * m_scale, dirty.y() * m_scale, dirty.width() * m_scale, dirty.height() * m_scale);
  Box box = roundOut(devDirty.intersection(Rect(0, 0, pw, ph)));
  if (box.empty()) return Rect();

  // The box is cleared as the frame is drawn (see kUnclearedKey), or at once where that cannot be
  // kept track of.
  const cairo_rectangle_int_t whole{box.x, box.y, box.w, box.h};
  cairo_region_t* left = cairo_region_create_rectangle(&whole);
  if (cairo_region_status(left) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_set_user_data(m_surface, &kUnclearedKey, left, nullptr) != CAIRO_STATUS_SUCCESS) {
    clearPixels(m_surface, whole);
    cairo_region_destroy(left);
    left = nullptr;
  }
  cairo_t* cr = cairo_create(m_surface);
  cairo_rectangle(cr, box.x, box.y, box.w, box.h);
  cairo_clip(cr);
  renderNode(cr, tree, tree.local.concat(Transform3D::scale(m_scale, m_scale, 1)), box.rect(), m_cache.get());
  clearUncleared(cr);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) KT_LOG("frame drawing failed: %s", cairo_status_to_string(cairo_status(cr)));
  cairo_destroy(cr);
  if (left) {
    cairo_surface_set_user_data(m_surface, &kUnclearedKey, nullptr, nullptr);
    cairo_region_destroy(left);
  }
  cairo_surface_flush(m_surface);
  return Rect(box.x / m_scale, box.y / m_scale, box.w / m_scale, box.h / m_scale);
}

void Compositor::renderLayer(Layer& layer, Context& ctx) {
  layoutTree(layer);
  Node tree = build(layer, Transform3D::identity(), true, nullptr, BuildMode::Immediate);
  if (!tree.visible || tree.extent.isNull()) return;
  Rect userBounds = mapRect(tree.local, tree.extent);
  ctx.drawCustom(
      [&](cairo_t* cr) {
        Transform3D base = Transform3D::fromAffine(currentMatrix(cr));
        Rect cull = deviceClip(cr);
        bool over = cairo_get_operator(cr) == CAIRO_OPERATOR_OVER;
        if (!over) {
          cairo_push_group(cr);
          cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        }
        renderNode(cr, tree, tree.local.concat(base), cull, nullptr);
        if (!over) {
          cairo_pop_group_to_source(cr);
          cairo_paint(cr);
        }
      },
      userBounds);
}

std::shared_ptr<const Image> Compositor::renderPresentedLook(Layer& layer, Rect& area) {
  area = Rect::null();
  Node tree = build(layer, Transform3D::identity(), true, nullptr, BuildMode::Presented);
  if (!tree.visible || tree.extent.isNull()) return nullptr;
  const double scale = std::clamp(subtreeScale(layer), 1.0, 4.0);
  Box box = roundOut(tree.extent.offsetBy(-tree.st().bounds.x(), -tree.st().bounds.y()));
  if (box.empty()) return nullptr;
  // Whole points from the bounds' origin, so that the image lines up with the layer's pixels.
  Box px = roundOut(Rect(box.x * scale, box.y * scale, box.w * scale, box.h * scale));
  if (double(px.w) * px.h > kMaxOffscreenPixels) {
    KT_LOG("transition image of %dx%d pixels refused", px.w, px.h);
    return nullptr;
  }
  cairo_surface_t* s = newSurface(px.w, px.h);
  if (!s) return nullptr;
  cairo_t* cr = cairo_create(s);
  Transform3D m = tree.local.concat(Transform3D::scale(scale, scale, 1)).concat(Transform3D::translation(-px.x, -px.y, 0));
  renderNode(cr, tree, m, Rect(0, 0, px.w, px.h), nullptr);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  std::vector<uint32_t> pixels(static_cast<size_t>(px.w) * px.h);
  for (int y = 0; y < px.h; ++y)
    std::memcpy(&pixels[static_cast<size_t>(y) * px.w], data + static_cast<size_t>(y) * stride, size_t(px.w) * 4);
  cairo_surface_destroy(s);
  area = Rect(px.x / scale + tree.st().bounds.x(), px.y / scale + tree.st().bounds.y(), px.w / scale, px.h / scale);
  return Image::fromPixels(px.w, px.h, std::move(pixels), scale);
}

bool Compositor::needsFrame(const std::shared_ptr<Layer>& root) const {
  if (!root || !m_surface) return false;
  if (m_fullRedraw) return true;
  std::function<bool(const Layer&)> check = [&](const Layer& l) {
    if (l.needsDisplay() || l.needsLayout()) return true;
    bool animating = false;
    const bool hidden = hiddenModel(l);
    uint64_t rev = foldedRevision(l, !hidden, animating);
    if (animating) return true;
    auto it = m_records.find(&l);
    if (it == m_records.end() || it->second.layer.lock().get() != &l || it->second.revision != rev || it->second.animating)
      return true;
    if (hidden) return false;
    for (const auto& s : l.sublayers())
      if (s && check(*s)) return true;
    return false;
  };
  return check(*root);
}

}  // namespace gfx
