#include "platform/gfx/Layer.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/core/WorkProgress.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/PixelGrid.h"
#include "platform/gfx/Transaction.h"

namespace gfx {

struct Layer::AnimationEntry {
  uint64_t id = 0;
  std::string key;
  std::shared_ptr<Animation> animation;
  bool started = false;
  bool stopped = false;  // onStop was called (or is no longer owed)
  // Added without a begin time and not yet shown: held at its start (its provisional beginTime)
  // until the first frame after its commit (Transaction::startWhenShown).
  bool waiting = false;
  std::shared_ptr<core::Timer> startTimer;
  std::shared_ptr<core::Timer> endTimer;
  std::unique_ptr<Transaction::Hold> hold;
  // Transitions: the look they start from.
  std::shared_ptr<const Image> oldLook;
  Rect oldRect = Rect::null();

  // The time the animation is evaluated at when the clock reads `now`.
  double timeAt(double now) const { return waiting ? animation->beginTime : now; }

  void cancelTimers() {
    if (startTimer) startTimer->invalidate();
    if (endTimer) endTimer->invalidate();
    startTimer.reset();
    endTimer.reset();
  }
};

namespace {

template <class T>
bool assignIfDifferent(T& field, const T& value) {
  if (field == value) return false;
  field = value;
  return true;
}

// 3x3 matrices acting on column vectors (x, y, w).
using Mat3 = std::array<double, 9>;

Mat3 mul(const Mat3& a, const Mat3& b) {
  Mat3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
  return r;
}

std::optional<Mat3> inverse(const Mat3& m) {
  double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7], i = m[8];
  double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
  double det = a * A + b * B + c * C;
  if (std::fabs(det) < 1e-15) return std::nullopt;
  Mat3 r{A, -(b * i - c * h), b * f - c * e, B, a * i - c * g, -(a * f - c * d), C, -(a * h - b * g), a * e - b * d};
  for (double& v : r) v /= det;
  return r;
}

Point applyMat(const Mat3& m, Point p) {
  double x = m[0] * p.x + m[1] * p.y + m[2];
  double y = m[3] * p.x + m[4] * p.y + m[5];
  double w = m[6] * p.x + m[7] * p.y + m[8];
  if (w == 0) return {x, y};
  return {x / w, y / w};
}

// The transform from `layer`'s bounds space to its root's, and that root.
std::pair<Transform3D, const Layer*> toRoot(const Layer* layer) {
  Transform3D m;
  const Layer* l = layer;
  for (; l->superlayer(); l = l->superlayer()) m = m.concat(l->transformToSuperlayer());
  return {m, l};
}

}  // namespace

// ---- Life ----------------------------------------------------------------------------------

std::shared_ptr<Layer> Layer::create(LayerKind kind) { return std::make_shared<Layer>(kind); }

Layer::Layer(LayerKind kind) { m_model.kind = kind; }

Layer::~Layer() {
  // Pending timers find nothing; transaction holds let go on a later turn. No callbacks here.
  for (auto& e : m_animations) e->cancelTimers();
  for (auto& sub : m_sublayers)
    if (sub->m_superlayer == this) sub->m_superlayer = nullptr;
}

LayerState Layer::presentation() const {
  LayerState s = m_model;
  if (m_animations.empty()) return s;
  const double now = core::Clock::now();
  for (const auto& e : m_animations) e->animation->applyAt(s, e->timeAt(now));
  return s;
}

// ---- Changes and implicit actions ----------------------------------------------------------

template <class F>
void Layer::change(const char* key, F mutate) {
  std::optional<AnimValue> old;
  if (key && !Transaction::disableActions())
    old = stateValueForKeyPath(m_animations.empty() ? m_model : presentation(), key);
  const Size oldSize = m_model.bounds.size;
  keepPresented();
  if (!mutate(m_model)) return;
  ++m_revision;
  if (m_model.bounds.size != oldSize) {
    m_needsLayout = true;
    if (m_needsDisplayOnBoundsChange) m_needsDisplay = true;
  }
  if (old) runAction(key, *old);
}

std::shared_ptr<Animation> Layer::actionForKey(const std::string& key) {
  if (Transaction::disableActions()) return nullptr;
  if (m_delegate) {
    auto action = m_delegate->actionForLayer(*this, key);
    if (action == Animation::noAction()) return nullptr;
    if (action) return action;
  }
  auto a = BasicAnimation::withKeyPath(key);
  a->duration = Transaction::animationDuration();
  auto tf = Transaction::animationTimingFunction();
  a->timingFunction = tf ? *tf : TimingFunction::named(TimingFunction::Name::Default);
  return a;
}

void Layer::runAction(const std::string& key, const AnimValue& oldValue) {
  auto now = stateValueForKeyPath(m_model, key);
  if (!now || *now == oldValue) return;
  auto action = actionForKey(key);
  if (!action) return;
  auto a = action->copy();
  if (auto prop = std::dynamic_pointer_cast<PropertyAnimation>(a)) {
    if (prop->keyPath.empty()) prop->keyPath = key;
    if (auto basic = std::dynamic_pointer_cast<BasicAnimation>(a)) {
      if (!basic->fromValue && !basic->toValue && !basic->byValue) basic->fromValue = oldValue;
    }
  }
  addAnimation(a, key);
}

void Layer::setBounds(const Rect& v) {
  change("bounds", [&](LayerState& s) { return assignIfDifferent(s.bounds, v); });
}
void Layer::setPosition(Point v) {
  change("position", [&](LayerState& s) { return assignIfDifferent(s.position, v); });
}
void Layer::setAnchorPoint(Point v) {
  change("anchorPoint", [&](LayerState& s) { return assignIfDifferent(s.anchorPoint, v); });
}
void Layer::setZPosition(double v) {
  change("zPosition", [&](LayerState& s) { return assignIfDifferent(s.zPosition, v); });
}
void Layer::setTransform(const Transform3D& v) {
  change("transform", [&](LayerState& s) { return assignIfDifferent(s.transform, v); });
}
void Layer::setSublayerTransform(const Transform3D& v) {
  change("sublayerTransform", [&](LayerState& s) { return assignIfDifferent(s.sublayerTransform, v); });
}
void Layer::setOpacity(double v) {
  change("opacity", [&](LayerState& s) { return assignIfDifferent(s.opacity, v); });
}
void Layer::setHidden(bool v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.hidden, v); });
}
void Layer::setBackgroundColor(std::optional<Color> v) {
  change("backgroundColor", [&](LayerState& s) { return assignIfDifferent(s.backgroundColor, v); });
}
void Layer::setCornerRadius(double v) {
  change("cornerRadius", [&](LayerState& s) { return assignIfDifferent(s.cornerRadius, v); });
}
void Layer::setMaskedCorners(unsigned v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.maskedCorners, v); });
}
void Layer::setBorderWidth(double v) {
  change("borderWidth", [&](LayerState& s) { return assignIfDifferent(s.borderWidth, v); });
}
void Layer::setBorderColor(const Color& v) {
  change("borderColor", [&](LayerState& s) { return assignIfDifferent(s.borderColor, v); });
}
void Layer::setShadowColor(const Color& v) {
  change("shadowColor", [&](LayerState& s) { return assignIfDifferent(s.shadowColor, v); });
}
void Layer::setShadowOpacity(double v) {
  change("shadowOpacity", [&](LayerState& s) { return assignIfDifferent(s.shadowOpacity, v); });
}
void Layer::setShadowOffset(Size v) {
  change("shadowOffset", [&](LayerState& s) { return assignIfDifferent(s.shadowOffset, v); });
}
void Layer::setShadowRadius(double v) {
  change("shadowRadius", [&](LayerState& s) { return assignIfDifferent(s.shadowRadius, v); });
}
void Layer::setShadowPath(std::optional<Path> v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.shadowPath, v); });
}
void Layer::setMasksToBounds(bool v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.masksToBounds, v); });
}
void Layer::setBackdropBlurRadius(double v) {
  if (!(v >= 0)) v = 0;
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.backdropBlurRadius, v); });
}
void Layer::setContents(std::shared_ptr<const Image> v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.contents, v); });
}
void Layer::setContentsGravity(ContentsGravity v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.contentsGravity, v); });
}
void Layer::setContentsScale(double v) {
  if (!(v > 0)) return;
  // Drawn content is drawn again when the scale it is drawn at changes (needsDisplay).
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.contentsScale, v); });
}
void Layer::setPath(std::optional<Path> v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.path, v); });
}
void Layer::setFillColor(std::optional<Color> v) {
  change("fillColor", [&](LayerState& s) { return assignIfDifferent(s.fillColor, v); });
}
void Layer::setStrokeColor(std::optional<Color> v) {
  change("strokeColor", [&](LayerState& s) { return assignIfDifferent(s.strokeColor, v); });
}
void Layer::setLineWidth(double v) {
  change("lineWidth", [&](LayerState& s) { return assignIfDifferent(s.lineWidth, v); });
}
void Layer::setStrokeStart(double v) {
  change("strokeStart", [&](LayerState& s) { return assignIfDifferent(s.strokeStart, v); });
}
void Layer::setStrokeEnd(double v) {
  change("strokeEnd", [&](LayerState& s) { return assignIfDifferent(s.strokeEnd, v); });
}
void Layer::setLineCap(LineCap v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.lineCap, v); });
}
void Layer::setLineJoin(LineJoin v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.lineJoin, v); });
}
void Layer::setLineDashPattern(std::vector<double> v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.lineDashPattern, v); });
}
void Layer::setLineDashPhase(double v) {
  change("lineDashPhase", [&](LayerState& s) { return assignIfDifferent(s.lineDashPhase, v); });
}
void Layer::setFillRule(FillRule v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.fillRule, v); });
}
void Layer::setColors(std::vector<Color> v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.colors, v); });
}
void Layer::setLocations(std::vector<double> v) {
  change(nullptr, [&](LayerState& s) { return assignIfDifferent(s.locations, v); });
}
void Layer::setStartPoint(Point v) {
  change("startPoint", [&](LayerState& s) { return assignIfDifferent(s.startPoint, v); });
}
void Layer::setEndPoint(Point v) {
  change("endPoint", [&](LayerState& s) { return assignIfDifferent(s.endPoint, v); });
}

void Layer::setMask(std::shared_ptr<Layer> mask) {
  if (mask.get() == this || mask == m_mask) return;
  keepPresented();
  m_mask = std::move(mask);
  ++m_revision;
}

// ---- Key paths -----------------------------------------------------------------------------

std::optional<AnimValue> Layer::valueForKeyPath(const std::string& keyPath) const {
  return stateValueForKeyPath(m_model, keyPath);
}

bool Layer::setValueForKeyPath(const std::string& keyPath, const AnimValue& value) {
  LayerState next = m_model;
  if (!setStateValueForKeyPath(next, keyPath, value)) return false;
  const std::string root = keyPath.substr(0, keyPath.find('.'));
  auto rootValue = stateValueForKeyPath(next, root);
  if (!rootValue) return false;
  // Unset colours stay unset unless the path gave one.
  if ((root == "backgroundColor" && !next.backgroundColor) || (root == "fillColor" && !next.fillColor) ||
      (root == "strokeColor" && !next.strokeColor))
    return true;
  change(root.c_str(), [&](LayerState& s) {
    auto current = stateValueForKeyPath(s, root);
    if (current && *current == *rootValue) return false;
    return setStateValueForKeyPath(s, root, *rootValue);
  });
  return true;
}

// ---- Geometry ------------------------------------------------------------------------------

Rect Layer::frame() const {
  const auto& s = m_model;
  Rect local(-s.anchorPoint.x * s.bounds.width(), -s.anchorPoint.y * s.bounds.height(), s.bounds.width(),
             s.bounds.height());
  AffineTransform t = s.transform.toAffine();
  Rect r = t.isIdentity() ? local : t.apply(local);
  return r.offsetBy(s.position.x, s.position.y);
}

void Layer::setFrame(const Rect& f) {
  const auto& s = m_model;
  AffineTransform t = s.transform.toAffine();
  Size size = f.size;
  if (!t.isIdentity()) {
    if (t.b == 0 && t.c == 0 && t.a != 0 && t.d != 0)
      size = {f.width() / std::fabs(t.a), f.height() / std::fabs(t.d)};
    else
      size = s.bounds.size;
  }
  Point position{f.x() + s.anchorPoint.x * f.width(), f.y() + s.anchorPoint.y * f.height()};
  Rect bounds(s.bounds.origin, size);
  setPosition(position);
  setBounds(bounds);
}

void Layer::setAffineTransform(const AffineTransform& t) { setTransform(Transform3D::fromAffine(t)); }

AffineTransform Layer::affineTransform() const { return m_model.transform.toAffine(); }

Transform3D Layer::transformToSuperlayer() const {
  const auto& s = m_model;
  double ax = s.bounds.x() + s.anchorPoint.x * s.bounds.width();
  double ay = s.bounds.y() + s.anchorPoint.y * s.bounds.height();
  Transform3D m = Transform3D::translation(-ax, -ay, 0);
  if (!s.transform.isIdentity()) m = m.concat(s.transform);
  m = m.concat(Transform3D::translation(s.position.x, s.position.y, s.zPosition));
  if (m_superlayer && !m_superlayer->m_model.sublayerTransform.isIdentity()) {
    const auto& p = m_superlayer->m_model;
    double px = p.bounds.x() + p.anchorPoint.x * p.bounds.width();
    double py = p.bounds.y() + p.anchorPoint.y * p.bounds.height();
    m = m.concat(Transform3D::translation(-px, -py, 0))
            .concat(p.sublayerTransform)
            .concat(Transform3D::translation(px, py, 0));
  }
  return m;
}

Point Layer::mapPoint(Point p, const Layer* from, const Layer* to) {
  if (from == to) return p;
  Mat3 h = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  if (from) h = toRoot(from).first.homography();
  if (to) {
    auto inv = inverse(toRoot(to).first.homography());
    if (!inv) return p;
    h = mul(*inv, h);
  }
  return applyMat(h, p);
}

Point Layer::convertPoint(Point p, const Layer* to) const { return mapPoint(p, this, to); }

Point Layer::convertPointFrom(Point p, const Layer* from) const { return mapPoint(p, from, this); }

namespace {

Rect boundsOf(const std::array<Point, 4>& pts) {
  double x1 = pts[0].x, x2 = pts[0].x, y1 = pts[0].y, y2 = pts[0].y;
  for (const auto& q : pts) {
    x1 = std::min(x1, q.x), x2 = std::max(x2, q.x);
    y1 = std::min(y1, q.y), y2 = std::max(y2, q.y);
  }
  return Rect(x1, y1, x2 - x1, y2 - y1);
}

}  // namespace

Rect Layer::convertRect(const Rect& r, const Layer* to) const {
  if (r.isNull()) return r;
  return boundsOf({convertPoint({r.minX(), r.minY()}, to), convertPoint({r.maxX(), r.minY()}, to),
                   convertPoint({r.minX(), r.maxY()}, to), convertPoint({r.maxX(), r.maxY()}, to)});
}

Rect Layer::convertRectFrom(const Rect& r, const Layer* from) const {
  if (r.isNull()) return r;
  return boundsOf({convertPointFrom({r.minX(), r.minY()}, from), convertPointFrom({r.maxX(), r.minY()}, from),
                   convertPointFrom({r.minX(), r.maxY()}, from), convertPointFrom({r.maxX(), r.maxY()}, from)});
}

bool Layer::containsPoint(Point p) const { return m_model.bounds.contains(p); }

Layer* Layer::hitTest(Point pointInSuperlayer) {
  if (m_model.hidden) return nullptr;
  auto inv = inverse(transformToSuperlayer().homography());
  if (!inv) return nullptr;
  Point local = applyMat(*inv, pointInSuperlayer);
  if (!containsPoint(local)) return nullptr;
  // Front to back: higher zPosition first, then later sublayers first.
  std::vector<Layer*> order;
  for (auto& s : m_sublayers) order.push_back(s.get());
  std::stable_sort(order.begin(), order.end(),
                   [](const Layer* a, const Layer* b) { return a->m_model.zPosition < b->m_model.zPosition; });
  for (auto it = order.rbegin(); it != order.rend(); ++it)
    if (Layer* hit = (*it)->hitTest(local)) return hit;
  return this;
}

// ---- Tree ----------------------------------------------------------------------------------

bool Layer::isDescendantOf(const Layer* ancestor) const {
  for (const Layer* l = this; l; l = l->m_superlayer)
    if (l == ancestor) return true;
  return false;
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) {
  if (!layer) return;
  insertSublayer(std::move(layer), SIZE_MAX);
}

void Layer::insertSublayer(std::shared_ptr<Layer> layer, size_t index) {
  if (!layer || layer.get() == this || isDescendantOf(layer.get())) return;
  layer->removeFromSuperlayer();
  index = std::min(index, m_sublayers.size());
  keepPresented();
  layer->m_superlayer = this;
  m_sublayers.insert(m_sublayers.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
  ++m_revision;
  m_needsLayout = true;
}

void Layer::insertSublayerAbove(std::shared_ptr<Layer> layer, const Layer* sibling) {
  if (!layer) return;
  if (layer.get() != sibling) layer->removeFromSuperlayer();
  auto it = std::find_if(m_sublayers.begin(), m_sublayers.end(), [&](const auto& s) { return s.get() == sibling; });
  size_t index = it == m_sublayers.end() ? m_sublayers.size() : static_cast<size_t>(it - m_sublayers.begin()) + 1;
  insertSublayer(std::move(layer), index);
}

void Layer::insertSublayerBelow(std::shared_ptr<Layer> layer, const Layer* sibling) {
  if (!layer) return;
  if (layer.get() != sibling) layer->removeFromSuperlayer();
  auto it = std::find_if(m_sublayers.begin(), m_sublayers.end(), [&](const auto& s) { return s.get() == sibling; });
  size_t index = it == m_sublayers.end() ? 0 : static_cast<size_t>(it - m_sublayers.begin());
  insertSublayer(std::move(layer), index);
}

void Layer::removeFromSuperlayer() {
  Layer* parent = m_superlayer;
  if (!parent) return;
  m_superlayer = nullptr;
  auto it = std::find_if(parent->m_sublayers.begin(), parent->m_sublayers.end(),
                         [&](const auto& s) { return s.get() == this; });
  if (it == parent->m_sublayers.end()) return;
  // Keeps this layer alive until nothing here touches it any more.
  parent->keepPresented();
  std::shared_ptr<Layer> keep = std::move(*it);
  parent->m_sublayers.erase(it);
  ++parent->m_revision;
  parent->m_needsLayout = true;
}

void Layer::replaceSublayer(const Layer* old, std::shared_ptr<Layer> replacement) {
  if (!old || old == replacement.get()) return;
  auto it = std::find_if(m_sublayers.begin(), m_sublayers.end(), [&](const auto& s) { return s.get() == old; });
  if (it == m_sublayers.end()) return;
  if (!replacement) {
    (*it)->removeFromSuperlayer();
    return;
  }
  if (replacement->m_superlayer) replacement->removeFromSuperlayer();
  it = std::find_if(m_sublayers.begin(), m_sublayers.end(), [&](const auto& s) { return s.get() == old; });
  size_t index = static_cast<size_t>(it - m_sublayers.begin());
  (*it)->removeFromSuperlayer();
  insertSublayer(std::move(replacement), index);
}

namespace {

// The bitmap's last column and row lie only partly within the bounds, so content filling the
// bounds covers them only in part; on the screen the bounds' edges land on whole pixels, which
// may take that column or row whole. They take the column and row before them, once, when drawn.
void fillPartialEdges(Image& image, Size points) {
  cairo_surface_t* s = image.cairoSurface();
  const double k = image.scale();
  if (!s || cairo_surface_get_type(s) != CAIRO_SURFACE_TYPE_IMAGE || cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32 ||
      !(k > 0))
    return;
  const int pw = cairo_image_surface_get_width(s), ph = cairo_image_surface_get_height(s);
  // The columns and rows the bounds cover wholly.
  const int fw = static_cast<int>(pixelEdgeBefore(points.width * k)), fh = static_cast<int>(pixelEdgeBefore(points.height * k));
  const bool column = fw >= 1 && fw < pw, row = fh >= 1 && fh < ph;
  if (!column && !row) return;
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const ptrdiff_t stride = cairo_image_surface_get_stride(s);
  if (column)
    for (int y = 0; y < ph; ++y) {
      uint32_t* line = reinterpret_cast<uint32_t*>(data + y * stride);
      for (int x = fw; x < pw; ++x) line[x] = line[fw - 1];
    }
  if (row)
    for (int y = fh; y < ph; ++y) std::memcpy(data + y * stride, data + (fh - 1) * stride, size_t(pw) * 4);
  cairo_surface_mark_dirty(s);
}

}  // namespace

// ---- Content and layout --------------------------------------------------------------------

void Layer::setNeedsDisplay() {
  m_needsDisplay = true;
  ++m_revision;
}

void Layer::setNeedsDisplayInRect(const Rect&) { setNeedsDisplay(); }

double Layer::drawnScaleFor(double contentsScale) {
  return std::min(contentsScale > 0 ? contentsScale : 1, Image::drawingScale());
}

bool Layer::needsDisplay() const {
  return m_needsDisplay || (m_drawn && drawnScaleFor(m_model.contentsScale) != m_drawnScale);
}

void Layer::displayIfNeeded() {
  if (!needsDisplay()) return;
  core::WorkProgress::note();
  keepPresented();
  m_needsDisplay = false;
  ++m_revision;
  const Rect b = m_model.bounds;
  const double scale = drawnScaleFor(m_model.contentsScale);
  // Beyond the bounds only outwards and by whole pixels, so that the bounds stay on the pixels.
  EdgeInsets e;
  if (m_delegate && !m_model.masksToBounds) {
    EdgeInsets want = m_delegate->drawingInsetsForLayer(*this);
    auto outwards = [scale](double v) { return std::isfinite(v) && v < 0 ? std::floor(v * scale) / scale : 0.0; };
    e = EdgeInsets{outwards(want.top), outwards(want.left), outwards(want.bottom), outwards(want.right)};
  }
  const Rect r = b.insetBy(e);
  std::unique_ptr<Context> ctx;
  if (!b.isEmpty() && b.width() > 0 && b.height() > 0) {
    // Content too large for a bitmap at its scale is drawn at the largest scale that fits, and
    // shown enlarged, rather than not at all.
    const double fitting = Context::fittingScale(r.size, scale);
    // The bitmap's pixels are made by the first drawing: a layer that draws nothing has none.
    if (fitting > 0) ctx = Context::bitmapOnFirstDrawing(r.size, fitting);
  }
  if (!ctx) {
    m_drawn = nullptr;
    return;
  }
  m_drawnInsets = e;
  ctx->translate(-r.x(), -r.y());
  auto keepAlive = weak_from_this().lock();
  m_drewNothing = false;
  drawInContext(*ctx);
  if (m_drewNothing || !ctx->hasPixels()) {
    // Nothing drawn leaves nothing to show, and the contents image, if any, shows.
    m_drawn = nullptr;
    return;
  }
  std::shared_ptr<Image> image = Context::takeImage(std::move(ctx));
  if (image) fillPartialEdges(*image, r.size);
  m_drawn = std::move(image);
  m_drawnScale = scale;
}

void Layer::drawInContext(Context& ctx) {
  if (m_delegate)
    m_delegate->drawLayer(*this, ctx);
  else
    m_drewNothing = true;
}

void Layer::layoutIfNeeded() {
  auto keepAlive = weak_from_this().lock();
  if (m_needsLayout) {
    m_needsLayout = false;
    layoutSublayers();
  }
  auto subs = m_sublayers;
  for (auto& s : subs)
    if (s->m_superlayer == this) s->layoutIfNeeded();
}

void Layer::layoutSublayers() {
  if (m_delegate) m_delegate->layoutSublayersOfLayer(*this);
}

void Layer::renderInContext(Context& ctx) { Compositor::renderLayer(*this, ctx); }

// ---- Animations ----------------------------------------------------------------------------

void Layer::addAnimation(std::shared_ptr<Animation> animation, const std::string& key) {
  if (!animation || animation == Animation::noAction()) return;
  auto copy = animation->copy();
  const bool whenShown = copy->beginTime == 0;
  if (whenShown) copy->beginTime = core::Clock::now();
  if (!key.empty()) removeAnimation(key);
  auto entry = std::make_shared<AnimationEntry>();
  // A transition starts from the look last drawn (before the changes of this turn, whether they
  // came before or come after this call), captured now while it is still at hand.
  if (dynamic_cast<const TransitionAnimation*>(copy.get()))
    entry->oldLook = Compositor::renderPresentedLook(*this, entry->oldRect);
  entry->id = m_nextAnimationId++;
  entry->key = key;
  entry->animation = std::move(copy);
  entry->hold = Transaction::hold();
  entry->waiting = whenShown;
  m_animations.push_back(entry);
  ++m_revision;
  if (!whenShown) return startTimers(entry);
  core::WeakPtr<Layer> self = m_weakFactory.weakPtr();
  const uint64_t id = entry->id;
  Transaction::startWhenShown([self, id](double beginTime) {
    if (Layer* layer = self.get()) layer->entryShown(id, beginTime);
  });
}

void Layer::entryShown(uint64_t id, double beginTime) {
  auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](const auto& e) { return e->id == id; });
  if (it == m_animations.end() || !(*it)->waiting || (*it)->stopped) return;
  auto entry = *it;
  entry->waiting = false;
  entry->animation->beginTime = beginTime;
  startTimers(entry);
}

void Layer::startTimers(const std::shared_ptr<AnimationEntry>& entry) {
  core::WeakPtr<Layer> self = m_weakFactory.weakPtr();
  const uint64_t id = entry->id;
  const Animation& a = *entry->animation;
  auto& loop = core::RunLoop::current();
  entry->startTimer = core::Timer::createWithFireDate(a.beginTime, 0, false, [self, id](core::Timer&) {
    if (Layer* layer = self.get()) layer->entryStarted(id);
  });
  loop.addTimer(entry->startTimer, core::RunLoop::CommonModes);
  const double active = a.activeDuration();
  if (std::isfinite(active)) {
    entry->endTimer = core::Timer::createWithFireDate(a.beginTime + active, 0, false, [self, id](core::Timer&) {
      if (Layer* layer = self.get()) layer->entryEnded(id);
    });
    loop.addTimer(entry->endTimer, core::RunLoop::CommonModes);
  }
}

void Layer::entryStarted(uint64_t id) {
  auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](const auto& e) { return e->id == id; });
  if (it == m_animations.end()) return;
  auto entry = *it;
  entry->startTimer.reset();
  if (entry->started) return;
  entry->started = true;
  auto keepAlive = weak_from_this().lock();
  if (entry->animation->onStart) {
    auto callback = entry->animation->onStart;
    callback();
  }
}

void Layer::entryEnded(uint64_t id) {
  auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](const auto& e) { return e->id == id; });
  if (it == m_animations.end()) return;
  auto entry = *it;
  auto keepAlive = weak_from_this().lock();
  entry->endTimer.reset();
  if (!entry->started) {
    entryStarted(id);
    // The start callback may have removed it.
    if (entry->stopped) return;
    it = std::find_if(m_animations.begin(), m_animations.end(), [&](const auto& e) { return e->id == id; });
    if (it == m_animations.end()) return;
  }
  if (entry->animation->removedOnCompletion) {
    m_animations.erase(it);
    ++m_revision;
  }
  stopEntry(entry, true);
}

void Layer::stopEntry(const std::shared_ptr<AnimationEntry>& entry, bool finished) {
  entry->cancelTimers();
  if (entry->stopped) return;
  entry->stopped = true;
  if (entry->animation->onStop) {
    auto callback = entry->animation->onStop;
    callback(finished);
  }
  if (entry->hold) entry->hold->release();
}

void Layer::removeAnimation(const std::string& key) {
  auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](const auto& e) { return e->key == key; });
  if (it == m_animations.end()) return;
  auto entry = *it;
  m_animations.erase(it);
  ++m_revision;
  auto keepAlive = weak_from_this().lock();
  stopEntry(entry, false);
}

void Layer::removeAllAnimations() {
  if (m_animations.empty()) return;
  auto entries = std::move(m_animations);
  m_animations.clear();
  ++m_revision;
  auto keepAlive = weak_from_this().lock();
  for (auto& e : entries) stopEntry(e, false);
}

std::shared_ptr<const Animation> Layer::animationForKey(const std::string& key) const {
  if (key.empty()) return nullptr;
  for (const auto& e : m_animations)
    if (e->key == key) return e->animation;
  return nullptr;
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (const auto& e : m_animations)
    if (!e->key.empty()) keys.push_back(e->key);
  return keys;
}

// ---- Transitions ---------------------------------------------------------------------------

void Layer::keepPresented() {
  if (!m_presented || m_before) return;
  m_before = std::make_unique<PresentedLook>(PresentedLook{m_model, m_sublayers, m_drawn, m_drawnInsets});
}

void Layer::markPresented() {
  m_presented = true;
  m_before.reset();
}

Layer::PresentedLook Layer::presentedLook() const {
  PresentedLook look = m_before ? *m_before : PresentedLook{m_model, m_sublayers, m_drawn, m_drawnInsets};
  if (!m_animations.empty()) {
    const double now = core::Clock::now();
    for (const auto& e : m_animations) e->animation->applyAt(look.state, e->timeAt(now));
  }
  return look;
}

std::optional<Layer::TransitionFrame> Layer::transitionAt(double time) const {
  for (const auto& e : m_animations) {
    auto* t = dynamic_cast<const TransitionAnimation*>(e->animation.get());
    if (!t || e->stopped) continue;
    auto progress = t->progressAt(e->timeAt(time));
    if (!progress) continue;
    TransitionFrame f;
    f.type = t->type;
    f.subtype = t->subtype;
    f.progress = std::clamp(progress->fraction, 0.0, 1.0);
    f.oldLook = e->oldLook;
    f.oldRect = e->oldRect;
    return f;
  }
  return std::nullopt;
}

bool Layer::hasRunningAnimations() const {
  return std::any_of(m_animations.begin(), m_animations.end(), [](const auto& e) { return !e->stopped; });
}

}  // namespace gfx
