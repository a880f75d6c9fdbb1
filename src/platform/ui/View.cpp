#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/ThreadCheck.h"
#include "platform/core/WorkProgress.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/TimingFunction.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace ui {

// Lets the animation bookkeeping below adjust a view's interaction block.
struct ViewAnimationAccess {
  static void block(View& v, int delta) { v.blockInteraction(delta); }
};

namespace {

// The completion of one animation block: it runs once every animation the block started has
// stopped, with finished true only when none was cut short.
struct BlockGroup {
  int pending = 0;
  bool closed = false;
  bool finished = true;
  bool done = false;
  bool started = false;
  View::Completion completion;
  std::function<void()> willStart;
  std::vector<std::weak_ptr<View>> blocked;  // views kept from interaction meanwhile
};

struct BlockFrame {
  bool disabled = false;  // performWithoutAnimation
  bool beginCommit = false;
  double duration = 0.2;
  double delay = 0;
  unsigned options = 0;
  AnimationCurve curve = AnimationCurve::EaseInOut;
  float repeatCount = 0;
  bool autoreverses = false;
  bool fromCurrentState = false;
  std::shared_ptr<BlockGroup> group;
  std::vector<std::weak_ptr<View>> touched;
};

std::vector<BlockFrame>& blockStack() {
  static std::vector<BlockFrame> stack;
  return stack;
}

bool g_animationsEnabled = true;

bool isAnimatableKey(const std::string& key) {
  return key == "position" || key == "bounds" || key == "opacity" || key == "transform" || key == "backgroundColor";
}

gfx::TimingFunction curveFunction(AnimationCurve curve) {
  switch (curve) {
    case AnimationCurve::EaseIn: return gfx::TimingFunction::named(gfx::TimingFunction::Name::EaseIn);
    case AnimationCurve::EaseOut: return gfx::TimingFunction::named(gfx::TimingFunction::Name::EaseOut);
    case AnimationCurve::Linear: return gfx::TimingFunction::named(gfx::TimingFunction::Name::Linear);
    case AnimationCurve::EaseInOut: break;
  }
  return gfx::TimingFunction::named(gfx::TimingFunction::Name::EaseInEaseOut);
}

gfx::ContentsGravity gravityFor(ContentMode mode) {
  switch (mode) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw: return gfx::ContentsGravity::Resize;
    case ContentMode::ScaleAspectFit: return gfx::ContentsGravity::ResizeAspect;
    case ContentMode::ScaleAspectFill: return gfx::ContentsGravity::ResizeAspectFill;
    case ContentMode::Center: return gfx::ContentsGravity::Center;
    case ContentMode::Top: return gfx::ContentsGravity::Top;
    case ContentMode::Bottom: return gfx::ContentsGravity::Bottom;
    case ContentMode::Left: return gfx::ContentsGravity::Left;
    case ContentMode::Right: return gfx::ContentsGravity::Right;
    case ContentMode::TopLeft: return gfx::ContentsGravity::TopLeft;
    case ContentMode::TopRight: return gfx::ContentsGravity::TopRight;
    case ContentMode::BottomLeft: return gfx::ContentsGravity::BottomLeft;
    case ContentMode::BottomRight: return gfx::ContentsGravity::BottomRight;
  }
  return gfx::ContentsGravity::Resize;
}

void finishIfDone(const std::shared_ptr<BlockGroup>& g) {
  if (!g->closed || g->pending > 0 || g->done) return;
  g->done = true;
  auto blocked = std::move(g->blocked);
  for (auto& w : blocked) {
    if (auto v = w.lock()) ViewAnimationAccess::block(*v, -1);
  }
  if (g->completion) {
    auto completion = std::move(g->completion);
    completion(g->finished);
  }
}

void closeGroup(const std::shared_ptr<BlockGroup>& g) {
  g->closed = true;
  if (g->pending > 0) return;
  // Nothing animated: the completion still comes later, never from inside the call.
  core::RunLoop::main().performAfterDelay({}, 0, [g] { finishIfDone(g); }, {core::RunLoop::CommonModes});
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

View::View(const gfx::Rect& frame) : m_layer(gfx::Layer::create()) { init(frame); }

View::View(const gfx::Rect& frame, std::shared_ptr<gfx::Layer> layer)
    : m_layer(layer ? std::move(layer) : gfx::Layer::create()) {
  init(frame);
}

namespace {

// Every view that lives, first to last (main thread; the lock keeps a stray thread's view safe).
std::mutex g_liveMutex;
View* g_liveFirst = nullptr;

}  // namespace

void View::init(const gfx::Rect& frame) {
  core::WorkProgress::note();
  {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    m_liveNext = g_liveFirst;
    if (g_liveFirst) g_liveFirst->m_livePrevious = this;
    g_liveFirst = this;
  }
  // The delegate first, so that setting up the layer never starts an implicit animation; the
  // pending list marks the set-up (see actionForLayer).
  m_layer->setDelegate(this);
  m_initializing = true;
  m_followedScale = Screen::main().drawingScale();
  m_layer->setContentsScale(m_followedScale);
  gfx::Rect f = frame.standardized();
  m_layer->setBounds(gfx::Rect(0, 0, f.width(), f.height()));
  m_layer->setPosition(gfx::Point{f.midX(), f.midY()});
  m_initializing = false;
}

View::~View() {
  {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    if (m_livePrevious) m_livePrevious->m_liveNext = m_liveNext;
    else g_liveFirst = m_liveNext;
    if (m_liveNext) m_liveNext->m_livePrevious = m_livePrevious;
  }
  m_layer->setDelegate(nullptr);
  for (auto& sub : m_subviews) sub->m_superview = nullptr;
  // Recognisers held elsewhere must not keep a pointer to this view.
  auto recognizers = std::move(m_gestureRecognizers);
  for (auto& r : recognizers) r->setView(nullptr);
}

void View::followDrawingScaleEverywhere() {
  std::vector<View*> live;
  {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    for (View* v = g_liveFirst; v; v = v->m_liveNext) live.push_back(v);
  }
  // A change of contents scale runs no action and makes or ends no view.
  for (View* v : live) v->followDrawingScale();
}

void View::followDrawingScale() {
  const double scale = Screen::main().drawingScale();
  if (!m_scaleFollowsScreen || scale == m_followedScale) return;
  // A layer showing an image, or given a scale by other hands, keeps its own.
  if (m_layer->contents() || m_layer->contentsScale() != m_followedScale) return;
  m_followedScale = scale;
  // Drawn content is drawn again at the new scale (Layer::setContentsScale).
  m_layer->setContentsScale(scale);
}

// ---------------------------------------------------------------------------------------------
// Gesture recognisers

void View::addGestureRecognizer(std::shared_ptr<GestureRecognizer> recognizer) {
  if (!recognizer || recognizer->view() == this) return;
  if (View* old = recognizer->view()) old->removeGestureRecognizer(recognizer.get());
  m_gestureRecognizers.push_back(recognizer);
  recognizer->setView(this);
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
  auto it = std::find_if(m_gestureRecognizers.begin(), m_gestureRecognizers.end(),
                         [&](const auto& r) { return r.get() == recognizer; });
  if (it == m_gestureRecognizers.end()) return;
  auto keep = *it;
  m_gestureRecognizers.erase(it);
  keep->setView(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Geometry

gfx::Point View::pointToSuperview(gfx::Point p) const {
  const gfx::LayerState& m = m_layer->model();
  double ax = m.anchorPoint.x * m.bounds.width(), ay = m.anchorPoint.y * m.bounds.height();
  gfx::Point q{p.x - m.bounds.x() - ax, p.y - m.bounds.y() - ay};
  if (!m.transform.isIdentity()) q = m.transform.toAffine().apply(q);
  return {q.x + m.position.x, q.y + m.position.y};
}

gfx::Point View::pointFromSuperview(gfx::Point p) const {
  const gfx::LayerState& m = m_layer->model();
  double ax = m.anchorPoint.x * m.bounds.width(), ay = m.anchorPoint.y * m.bounds.height();
  gfx::Point q{p.x - m.position.x, p.y - m.position.y};
  if (!m.transform.isIdentity()) q = m.transform.toAffine().inverted().apply(q);
  return {q.x + ax + m.bounds.x(), q.y + ay + m.bounds.y()};
}

gfx::Rect View::frame() const {
  gfx::Rect b = bounds();
  gfx::Point c[4] = {pointToSuperview(b.origin), pointToSuperview({b.maxX(), b.minY()}),
                     pointToSuperview({b.minX(), b.maxY()}), pointToSuperview({b.maxX(), b.maxY()})};
  double x1 = c[0].x, x2 = c[0].x, y1 = c[0].y, y2 = c[0].y;
  for (const auto& p : c) {
    x1 = std::min(x1, p.x), x2 = std::max(x2, p.x), y1 = std::min(y1, p.y), y2 = std::max(y2, p.y);
  }
  return gfx::Rect(x1, y1, x2 - x1, y2 - y1);
}

void View::setFrame(const gfx::Rect& frame) {
  gfx::Rect f = frame.standardized();
  const gfx::LayerState& m = m_layer->model();
  if (!m.transform.isIdentity()) {
    // With a transform the frame only places the view: its centre moves, its size stays.
    setCenter(f.center());
    return;
  }
  gfx::Rect b = m.bounds;
  gfx::Point anchor = m.anchorPoint;
  // The centre first: subviews autoresized by the size change then see the final frame.
  setCenter(gfx::Point{f.x() + anchor.x * f.width(), f.y() + anchor.y * f.height()});
  setBounds(gfx::Rect(b.origin, f.size));
}

gfx::Rect View::bounds() const { return m_layer->model().bounds; }

void View::setBounds(const gfx::Rect& bounds) {
  gfx::Rect old = m_layer->model().bounds;
  if (old == bounds) return;
  willChange("bounds", bounds);
  m_layer->setBounds(bounds);
  m_pending.clear();
  if (old.size != bounds.size) boundsSizeChanged(old.size, bounds.size);
}

gfx::Point View::center() const { return m_layer->model().position; }

void View::setCenter(gfx::Point center) {
  if (m_layer->model().position == center) return;
  willChange("position", center);
  m_layer->setPosition(center);
  m_pending.clear();
}

gfx::AffineTransform View::transform() const { return m_layer->model().transform.toAffine(); }

void View::setTransform(const gfx::AffineTransform& t) {
  gfx::Transform3D t3 = gfx::Transform3D::fromAffine(t);
  if (m_layer->model().transform == t3) return;
  willChange("transform", t3);
  m_layer->setTransform(t3);
  m_pending.clear();
}

void View::boundsSizeChanged(gfx::Size oldSize, gfx::Size newSize) {
  if (m_autoresizesSubviews) {
    auto subs = m_subviews;
    for (auto& sub : subs) sub->autoresize(oldSize, newSize);
  }
  setNeedsLayout();
  if (m_contentMode == ContentMode::Redraw && drawsContent()) setNeedsDisplay();
}

namespace {
// Spreads `delta` over the flexible parts of one axis, in proportion to their sizes (evenly when
// they are all zero).
void spread(double delta, double& lead, double& size, double& trail, bool fLead, bool fSize, bool fTrail) {
  int count = int(fLead) + int(fSize) + int(fTrail);
  if (count == 0 || delta == 0) return;
  double sum = (fLead ? lead : 0) + (fSize ? size : 0) + (fTrail ? trail : 0);
  auto share = [&](double part) { return sum != 0 ? delta * part / sum : delta / count; };
  double dl = fLead ? share(lead) : 0, ds = fSize ? share(size) : 0, dt = fTrail ? share(trail) : 0;
  lead += dl, size += ds, trail += dt;
}
}  // namespace

void View::autoresize(gfx::Size oldSuper, gfx::Size newSuper) {
  unsigned m = m_autoresizingMask;
  if (m == AutoresizingNone) return;
  gfx::Rect f = frame();
  double left = f.x(), width = f.width(), right = oldSuper.width - f.maxX();
  double top = f.y(), height = f.height(), bottom = oldSuper.height - f.maxY();
  spread(newSuper.width - oldSuper.width, left, width, right, m & AutoresizingFlexibleLeftMargin,
         m & AutoresizingFlexibleWidth, m & AutoresizingFlexibleRightMargin);
  spread(newSuper.height - oldSuper.height, top, height, bottom, m & AutoresizingFlexibleTopMargin,
         m & AutoresizingFlexibleHeight, m & AutoresizingFlexibleBottomMargin);
  width = std::max(0.0, width), height = std::max(0.0, height);
  if (m_layer->model().transform.isIdentity()) {
    setFrame(gfx::Rect(left, top, width, height));
  } else {
    gfx::Rect b = bounds();
    setBounds(gfx::Rect(b.origin, gfx::Size{b.width() + width - f.width(), b.height() + height - f.height()}));
    gfx::Point c = center();
    setCenter({c.x + (left - f.x()) + (width - f.width()) / 2, c.y + (top - f.y()) + (height - f.height()) / 2});
  }
}

// ---------------------------------------------------------------------------------------------
// Appearance

double View::alpha() const { return m_layer->model().opacity; }

void View::setAlpha(double alpha) {
  if (m_layer->model().opacity == alpha) return;
  willChange("opacity", alpha);
  m_layer->setOpacity(alpha);
  m_pending.clear();
}

bool View::isHidden() const { return m_layer->model().hidden; }

void View::setHidden(bool hidden) { m_layer->setHidden(hidden); }

std::optional<gfx::Color> View::backgroundColor() const { return m_backgroundColor; }

void View::setBackgroundColor(std::optional<gfx::Color> color) {
  m_backgroundColor = color;
  backgroundColorDidChange();
  if (m_layer->model().backgroundColor == color) return;
  willChange("backgroundColor", color.value_or(gfx::Color::clear()));
  m_layer->setBackgroundColor(color);
  m_pending.clear();
}

bool View::clipsToBounds() const { return m_layer->model().masksToBounds; }

void View::setClipsToBounds(bool clips) { m_layer->setMasksToBounds(clips); }

void View::setContentMode(ContentMode mode) {
  m_contentMode = mode;
  m_layer->setContentsGravity(gravityFor(mode));
  m_layer->setNeedsDisplayOnBoundsChange(mode == ContentMode::Redraw);
}

gfx::Color View::tintColor() const {
  for (const View* v = this; v; v = v->m_superview) {
    if (v->m_tintColor) return *v->m_tintColor;
  }
  return gfx::Color(0, 122.0 / 255, 1);
}

void View::setTintColor(std::optional<gfx::Color> color) {
  m_tintColor = color;
  if (drawsContent()) setNeedsDisplay();
}

std::shared_ptr<View> View::viewWithTag(int tag) {
  if (m_tag == tag) return std::static_pointer_cast<View>(weak_from_this().lock());
  for (auto& sub : m_subviews) {
    if (auto found = sub->viewWithTag(tag)) return found;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Hierarchy

Window* View::window() const {
  const View* v = this;
  while (v->m_superview) v = v->m_superview;
  return dynamic_cast<Window*>(const_cast<View*>(v));
}

bool View::isDescendantOf(const View* view) const {
  for (const View* v = this; v; v = v->m_superview) {
    if (v == view) return true;
  }
  return false;
}

void View::addSubview(const std::shared_ptr<View>& view) { insertAt(view, m_subviews.size()); }

void View::insertSubview(const std::shared_ptr<View>& view, size_t index) { insertAt(view, index); }

void View::insertSubviewAbove(const std::shared_ptr<View>& view, const View* sibling) {
  auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& s) { return s.get() == sibling; });
  if (it == m_subviews.end()) return addSubview(view);
  size_t index = size_t(it - m_subviews.begin()) + 1;
  if (view && view->m_superview == this) {
    auto cur = std::find(m_subviews.begin(), m_subviews.end(), view);
    if (size_t(cur - m_subviews.begin()) < index) --index;
  }
  insertAt(view, index);
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling) {
  auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& s) { return s.get() == sibling; });
  if (it == m_subviews.end()) return addSubview(view);
  size_t index = size_t(it - m_subviews.begin());
  if (view && view->m_superview == this) {
    auto cur = std::find(m_subviews.begin(), m_subviews.end(), view);
    if (size_t(cur - m_subviews.begin()) < index) --index;
  }
  insertAt(view, index);
}

void View::bringSubviewToFront(const View* view) {
  auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& s) { return s.get() == view; });
  if (it == m_subviews.end()) return;
  auto keep = *it;
  insertAt(keep, m_subviews.size());
}

void View::sendSubviewToBack(const View* view) {
  auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](auto& s) { return s.get() == view; });
  if (it == m_subviews.end()) return;
  auto keep = *it;
  insertAt(keep, 0);
}

void View::exchangeSubviews(size_t i1, size_t i2) {
  if (i1 >= m_subviews.size() || i2 >= m_subviews.size() || i1 == i2) return;
  if (i1 > i2) std::swap(i1, i2);
  auto a = m_subviews[i1], b = m_subviews[i2];
  insertAt(b, i1);  // b now at i1, a at i1 + 1
  insertAt(a, i2);
}

// The layers follow the subviews' order; layers of the view's own that are not views' stay where
// they are relative to their neighbours.
void View::insertAt(const std::shared_ptr<View>& view, size_t index) {
  KT_ASSERT_MAIN_THREAD();
  if (!view || view.get() == this || isDescendantOf(view.get())) return;
  auto keep = view;
  if (view->m_superview == this) {
    // A move within this view: no hierarchy callbacks.
    auto cur = std::find(m_subviews.begin(), m_subviews.end(), view);
    size_t from = size_t(cur - m_subviews.begin());
    if (index > m_subviews.size() - 1) index = m_subviews.size() - 1;
    if (from == index) return;
    m_subviews.erase(cur);
    m_subviews.insert(m_subviews.begin() + long(index), view);
    view->m_layer->removeFromSuperlayer();
  } else {
    Window* oldWindow = view->window();
    Window* newWindow = window();
    view->willMoveToSuperview(this);
    if (oldWindow != newWindow) view->notifyWillMoveToWindow(newWindow);
    if (view->m_superview) view->detachFromSuperview(true);
    index = std::min(index, m_subviews.size());
    m_subviews.insert(m_subviews.begin() + long(index), view);
    view->m_superview = this;
    if (index + 1 < m_subviews.size()) {
      m_layer->insertSublayerBelow(view->m_layer, m_subviews[index + 1]->m_layer.get());
    } else if (index > 0) {
      m_layer->insertSublayerAbove(view->m_layer, m_subviews[index - 1]->m_layer.get());
    } else {
      m_layer->addSublayer(view->m_layer);
    }
    if (oldWindow != newWindow) view->notifyDidMoveToWindow();
    view->didMoveToSuperview();
    didAddSubview(view.get());
    setNeedsLayout();
    // A view that draws has its content drawn the first time it is shown.
    if (view->m_needsFirstDisplay && view->drawsContent()) view->setNeedsDisplay();
    if (view->m_needsLayout) view->scheduleLayoutPass();
    return;
  }
  // Re-insert the moved layer by its neighbours.
  if (index + 1 < m_subviews.size()) {
    m_layer->insertSublayerBelow(view->m_layer, m_subviews[index + 1]->m_layer.get());
  } else if (index > 0) {
    m_layer->insertSublayerAbove(view->m_layer, m_subviews[index - 1]->m_layer.get());
  } else {
    m_layer->addSublayer(view->m_layer);
  }
}

void View::detachFromSuperview(bool notifySuperview) {
  View* sup = m_superview;
  if (!sup) return;
  if (notifySuperview) sup->willRemoveSubview(this);
  auto it = std::find_if(sup->m_subviews.begin(), sup->m_subviews.end(), [&](auto& s) { return s.get() == this; });
  std::shared_ptr<View> keep;
  if (it != sup->m_subviews.end()) {
    keep = *it;
    sup->m_subviews.erase(it);
  }
  m_layer->removeFromSuperlayer();
  m_superview = nullptr;
  sup->setNeedsLayout();
}

void View::removeFromSuperview() {
  KT_ASSERT_MAIN_THREAD();
  if (!m_superview) return;
  auto keep = weak_from_this().lock();
  Window* oldWindow = window();
  if (oldWindow) {
    if (auto* fr = dynamic_cast<View*>(oldWindow->firstResponder()); fr && fr->isDescendantOf(this)) {
      fr->resignFirstResponder();
      if (oldWindow->firstResponder() == fr) oldWindow->setFirstResponder(nullptr);
    }
  }
  willMoveToSuperview(nullptr);
  if (oldWindow) notifyWillMoveToWindow(nullptr);
  detachFromSuperview(true);
  if (oldWindow) notifyDidMoveToWindow();
  didMoveToSuperview();
}

void View::notifyWillMoveToWindow(Window* window) {
  willMoveToWindow(window);
  auto subs = m_subviews;
  for (auto& sub : subs) sub->notifyWillMoveToWindow(window);
}

void View::notifyDidMoveToWindow() {
  didMoveToWindow();
  auto subs = m_subviews;
  for (auto& sub : subs) sub->notifyDidMoveToWindow();
}

// ---------------------------------------------------------------------------------------------
// Coordinates

gfx::Point View::convertPointTo(gfx::Point p, const View* to) const {
  const View* root = this;
  while (root->m_superview) {
    p = root->pointToSuperview(p);
    root = root->m_superview;
  }
  if (!to) return p;
  std::vector<const View*> chain;
  for (const View* v = to; v; v = v->m_superview) chain.push_back(v);
  const View* toRoot = chain.back();
  if (toRoot != root) {
    // Different trees meet in the screen's space.
    p = toRoot->pointFromSuperview(root->pointToSuperview(p));
  }
  for (size_t i = chain.size() - 1; i-- > 0;) p = chain[i]->pointFromSuperview(p);
  return p;
}

gfx::Point View::convertPointFrom(gfx::Point p, const View* from) const {
  if (!from) {
    from = this;
    while (from->m_superview) from = from->m_superview;
  }
  return from->convertPointTo(p, this);
}

gfx::Rect View::convertRectTo(const gfx::Rect& r, const View* to) const {
  if (r.isNull()) return r;
  gfx::Point c[4] = {convertPointTo({r.minX(), r.minY()}, to), convertPointTo({r.maxX(), r.minY()}, to),
                     convertPointTo({r.minX(), r.maxY()}, to), convertPointTo({r.maxX(), r.maxY()}, to)};
  double x1 = c[0].x, x2 = c[0].x, y1 = c[0].y, y2 = c[0].y;
  for (const auto& p : c) {
    x1 = std::min(x1, p.x), x2 = std::max(x2, p.x), y1 = std::min(y1, p.y), y2 = std::max(y2, p.y);
  }
  return gfx::Rect(x1, y1, x2 - x1, y2 - y1);
}

gfx::Rect View::convertRectFrom(const gfx::Rect& r, const View* from) const {
  if (!from) {
    from = this;
    while (from->m_superview) from = from->m_superview;
  }
  return from->convertRectTo(r, this);
}

// ---------------------------------------------------------------------------------------------
// Hit testing

std::shared_ptr<View> View::hitTest(gfx::Point p, const Event* event) {
  if (isHidden() || !m_userInteraction || alpha() < 0.01 || m_blockingAnimations > 0) return nullptr;
  if (!pointInside(p, event)) return nullptr;
  auto subs = m_subviews;
  for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
    if (auto hit = (*it)->hitTest((*it)->pointFromSuperview(p), event)) return hit;
  }
  return std::static_pointer_cast<View>(weak_from_this().lock());
}

bool View::pointInside(gfx::Point p, const Event*) const { return bounds().contains(p); }

// ---------------------------------------------------------------------------------------------
// Layout and drawing

void View::setNeedsLayout() {
  KT_ASSERT_MAIN_THREAD();
  m_needsLayout = true;
  scheduleLayoutPass();
}

void View::scheduleLayoutPass() {
  if (Window* w = window()) w->scheduleLayoutPass();
}

void View::layoutIfNeeded() {
  KT_ASSERT_MAIN_THREAD();
  auto keep = weak_from_this().lock();
  if (m_needsLayout) {
    m_needsLayout = false;
    layoutSubviews();
  }
  auto subs = m_subviews;
  for (auto& sub : subs) {
    if (sub->m_superview == this) sub->layoutIfNeeded();
  }
}

void View::layoutAndDisplayTree() {
  layoutIfNeeded();
  // Content: views that draw are displayed once when first shown, then after setNeedsDisplay.
  std::vector<View*> todo{this};
  while (!todo.empty()) {
    View* v = todo.back();
    todo.pop_back();
    if (v->m_needsFirstDisplay) {
      v->m_needsFirstDisplay = false;
      if (v->drawsContent()) v->m_layer->setNeedsDisplay();
    }
    if (v->m_layer->needsDisplay()) v->m_layer->displayIfNeeded();
    for (auto& sub : v->m_subviews) todo.push_back(sub.get());
  }
}

gfx::Size View::sizeThatFits(gfx::Size) const { return bounds().size; }

void View::sizeToFit() {
  gfx::Size s = sizeThatFits(bounds().size);
  gfx::Rect f = frame();
  setFrame(gfx::Rect(f.origin, s));
}

void View::drawRect(gfx::Context&, const gfx::Rect&) {}

void View::setNeedsDisplay() {
  KT_ASSERT_MAIN_THREAD();
  m_needsFirstDisplay = false;
  m_layer->setNeedsDisplay();
  scheduleLayoutPass();
}

void View::setNeedsDisplayInRect(const gfx::Rect& rect) {
  m_needsFirstDisplay = false;
  m_layer->setNeedsDisplayInRect(rect);
  scheduleLayoutPass();
}

void View::drawLayer(gfx::Layer&, gfx::Context& ctx) {
  gfx::Rect b = bounds();
  drawRect(ctx, b);
}

void View::layoutSublayersOfLayer(gfx::Layer&) {
  if (m_needsLayout) {
    m_needsLayout = false;
    layoutSubviews();
  }
}

Responder* View::nextResponder() const {
  if (m_nextResponderOverride) return m_nextResponderOverride;
  return m_superview;
}

// ---------------------------------------------------------------------------------------------
// Block animations

void View::willChange(const std::string& key, const gfx::AnimValue& to) {
  m_pending.clear();
  auto& stack = blockStack();
  if (stack.empty() || m_initializing) return;
  const BlockFrame& f = stack.back();
  if (f.disabled || !g_animationsEnabled) return;
  std::optional<gfx::AnimValue> from;
  if (f.fromCurrentState) {
    from = gfx::stateValueForKeyPath(m_layer->presentation(), key);
  } else {
    from = gfx::stateValueForKeyPath(m_layer->model(), key);
  }
  if (from) m_pending.push_back(Pending{key, *from, to});
}

std::shared_ptr<gfx::Animation> View::actionForLayer(gfx::Layer& layer, const std::string& key) {
  auto& stack = blockStack();
  if (m_initializing || stack.empty() || !g_animationsEnabled || !isAnimatableKey(key)) return gfx::Animation::noAction();
  BlockFrame& f = stack.back();
  if (f.disabled || f.duration <= 0) return gfx::Animation::noAction();

  auto anim = gfx::BasicAnimation::withKeyPath(key);
  auto pending = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending& p) { return p.key == key; });
  if (pending != m_pending.end()) {
    anim->fromValue = pending->from;
    anim->toValue = pending->to;
  } else {
    // A change made on the layer directly: from where it stands now.
    anim->fromValue = gfx::stateValueForKeyPath(f.fromCurrentState ? layer.presentation() : layer.model(), key);
  }
  anim->duration = f.duration;
  anim->timingFunction = curveFunction(f.curve);
  if (f.delay > 0) {
    anim->beginTime = core::Clock::now() + f.delay;
    anim->fillMode = gfx::FillMode::Backwards;
  }
  anim->repeatCount = f.repeatCount;
  anim->autoreverses = f.autoreverses;

  auto group = f.group;
  ++group->pending;
  anim->onStart = [group] {
    if (group->started) return;
    group->started = true;
    if (group->willStart) group->willStart();
  };
  anim->onStop = [group](bool finished) {
    --group->pending;
    if (!finished) group->finished = false;
    finishIfDone(group);
  };
  auto self = std::static_pointer_cast<View>(weak_from_this().lock());
  if (self) {
    f.touched.push_back(self);
    if (!(f.options & AnimationAllowUserInteraction)) {
      ++m_blockingAnimations;
      group->blocked.push_back(self);
    }
  }
  return anim;
}

void View::animate(double duration, double delay, unsigned options, const Animations& animations, Completion completion) {
  auto& stack = blockStack();
  BlockFrame f;
  f.duration = duration;
  f.delay = delay;
  f.options = options;
  f.curve = static_cast<AnimationCurve>((options >> 16) & 3);
  if (!stack.empty() && !stack.back().disabled && !(options & AnimationOverrideInheritedOptions)) {
    // A block inside another takes the outer block's duration and curve unless told otherwise.
    const BlockFrame& outer = stack.back();
    if (!(options & AnimationOverrideInheritedDuration)) f.duration = outer.duration;
    if (!(options & AnimationOverrideInheritedCurve)) f.curve = outer.curve;
  }
  f.fromCurrentState = options & AnimationBeginFromCurrentState;
  f.repeatCount = (options & AnimationRepeat) ? HUGE_VALF : 0;
  f.autoreverses = options & AnimationAutoreverse;
  f.group = std::make_shared<BlockGroup>();
  f.group->completion = std::move(completion);
  auto group = f.group;
  stack.push_back(std::move(f));
  if (animations) animations();
  if (blockStack().back().options & AnimationLayoutSubviews) {
    auto touched = blockStack().back().touched;
    for (auto& w : touched) {
      if (auto v = w.lock()) v->layoutIfNeeded();
    }
  }
  blockStack().pop_back();
  closeGroup(group);
}

void View::animate(double duration, const Animations& animations, Completion completion) {
  animate(duration, 0, AnimationCurveEaseInOut, animations, std::move(completion));
}

void View::performWithoutAnimation(const Animations& animations) {
  BlockFrame f;
  f.disabled = true;
  blockStack().push_back(std::move(f));
  if (animations) animations();
  blockStack().pop_back();
}

void View::beginAnimations(const std::string&) {
  BlockFrame f;
  f.beginCommit = true;
  f.duration = 0.2;
  f.group = std::make_shared<BlockGroup>();
  blockStack().push_back(std::move(f));
}

namespace {
BlockFrame* openBeginCommit() {
  auto& stack = blockStack();
  if (stack.empty() || !stack.back().beginCommit) return nullptr;
  return &stack.back();
}
}  // namespace

void View::setAnimationDuration(double duration) {
  if (auto* f = openBeginCommit()) f->duration = duration;
}
void View::setAnimationDelay(double delay) {
  if (auto* f = openBeginCommit()) f->delay = delay;
}
void View::setAnimationCurve(AnimationCurve curve) {
  if (auto* f = openBeginCommit()) f->curve = curve;
}
void View::setAnimationRepeatCount(float count) {
  if (auto* f = openBeginCommit()) f->repeatCount = count;
}
void View::setAnimationRepeatAutoreverses(bool autoreverses) {
  if (auto* f = openBeginCommit()) f->autoreverses = autoreverses;
}
void View::setAnimationBeginsFromCurrentState(bool fromCurrent) {
  if (auto* f = openBeginCommit()) f->fromCurrentState = fromCurrent;
}
void View::setAnimationWillStart(std::function<void()> willStart) {
  if (auto* f = openBeginCommit()) f->group->willStart = std::move(willStart);
}
void View::setAnimationDidStop(Completion didStop) {
  if (auto* f = openBeginCommit()) f->group->completion = std::move(didStop);
}

void View::commitAnimations() {
  auto* f = openBeginCommit();
  if (!f) return;
  auto group = f->group;
  blockStack().pop_back();
  closeGroup(group);
}

bool View::areAnimationsEnabled() { return g_animationsEnabled; }
void View::setAnimationsEnabled(bool enabled) { g_animationsEnabled = enabled; }
bool View::isInAnimationBlock() {
  auto& stack = blockStack();
  return !stack.empty() && !stack.back().disabled;
}

// ---------------------------------------------------------------------------------------------
// Editing

bool View::endEditing(bool force) {
  Window* w = window();
  if (!w) return false;
  auto* responder = dynamic_cast<View*>(w->firstResponder());
  if (!responder || (responder != this && !responder->isDescendantOf(this))) return false;
  auto keep = responder->shared();
  if (!force) return responder->resignFirstResponder();
  Keyboard::ForcedResign forced;
  if (!responder->resignFirstResponder() && w->firstResponder() == responder) w->setFirstResponder(nullptr);
  return true;
}

}  // namespace ui
