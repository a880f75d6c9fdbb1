#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Animation.h"
#include "platform/gfx/LayerState.h"
#include "platform/gfx/Transform.h"
#include "platform/core/WeakPtr.h"

namespace gfx {

class Context;
class Image;
class Layer;

// What a layer asks of its owner (a view, usually). All operations are optional.
class LayerDelegate {
 public:
  virtual ~LayerDelegate() = default;
  // Draws the layer's content (views draw here).
  virtual void drawLayer(Layer& layer, Context& ctx) {
    (void)layer;
    (void)ctx;
  }
  // How far the drawing reaches beyond the bounds, as insets of them (negative: beyond; zero:
  // the bounds). The drawn content covers the bounds inset so; a layer that masks to its bounds
  // keeps to them.
  virtual EdgeInsets drawingInsetsForLayer(Layer& layer) {
    (void)layer;
    return {};
  }
  virtual void layoutSublayersOfLayer(Layer& layer) { (void)layer; }
  // The action for a property change: nullptr = the layer's default action (an implicit
  // animation), Animation::noAction() = no animation.
  virtual std::shared_ptr<Animation> actionForLayer(Layer& layer, const std::string& key) {
    (void)layer;
    (void)key;
    return nullptr;
  }
};

// A rectangle of content in a tree of layers: geometry (bounds, position, anchor point,
// transforms), appearance (background, border, corners, shadow, content image or drawn content),
// shape and gradient properties for those kinds, and the animations running on its properties.
//
// Geometry: a point p of the layer's bounds space lands in its superlayer's bounds space at
// position + transform(p - (bounds.origin + anchorPoint * bounds.size)), and then through the
// superlayer's sublayerTransform about the superlayer's own anchor point.
//
// Changing an animatable property may start an implicit animation (see Transaction): the layer
// asks its delegate for the action; without a delegate, or when it answers nullptr, a basic
// animation from the old presentation value runs for Transaction::animationDuration(), unless
// actions are disabled. Layers are used on the main thread.
class Layer : public std::enable_shared_from_this<Layer> {
 public:
  static std::shared_ptr<Layer> create(LayerKind kind = LayerKind::Plain);
  explicit Layer(LayerKind kind = LayerKind::Plain);
  virtual ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  LayerKind kind() const { return m_model.kind; }
  const LayerState& model() const { return m_model; }
  // The model with the animations applied at core::Clock::now().
  LayerState presentation() const;

  // ---- Properties ----
  const Rect& bounds() const { return m_model.bounds; }
  void setBounds(const Rect& bounds);
  Point position() const { return m_model.position; }
  void setPosition(Point position);
  Point anchorPoint() const { return m_model.anchorPoint; }
  void setAnchorPoint(Point anchor);
  double zPosition() const { return m_model.zPosition; }
  void setZPosition(double z);
  const Transform3D& transform() const { return m_model.transform; }
  void setTransform(const Transform3D& t);
  const Transform3D& sublayerTransform() const { return m_model.sublayerTransform; }
  void setSublayerTransform(const Transform3D& t);
  double opacity() const { return m_model.opacity; }
  void setOpacity(double opacity);
  bool isHidden() const { return m_model.hidden; }
  bool hidden() const { return m_model.hidden; }
  void setHidden(bool hidden);
  const std::optional<Color>& backgroundColor() const { return m_model.backgroundColor; }
  void setBackgroundColor(std::optional<Color> color);
  double cornerRadius() const { return m_model.cornerRadius; }
  void setCornerRadius(double radius);
  unsigned maskedCorners() const { return m_model.maskedCorners; }
  void setMaskedCorners(unsigned corners);
  double borderWidth() const { return m_model.borderWidth; }
  void setBorderWidth(double width);
  const Color& borderColor() const { return m_model.borderColor; }
  void setBorderColor(const Color& color);
  const Color& shadowColor() const { return m_model.shadowColor; }
  void setShadowColor(const Color& color);
  double shadowOpacity() const { return m_model.shadowOpacity; }
  void setShadowOpacity(double opacity);
  Size shadowOffset() const { return m_model.shadowOffset; }
  void setShadowOffset(Size offset);
  double shadowRadius() const { return m_model.shadowRadius; }
  void setShadowRadius(double radius);
  const std::optional<Path>& shadowPath() const { return m_model.shadowPath; }
  void setShadowPath(std::optional<Path> path);
  bool masksToBounds() const { return m_model.masksToBounds; }
  void setMasksToBounds(bool masks);
  // A backdrop blur is not animated.
  double backdropBlurRadius() const { return m_model.backdropBlurRadius; }
  void setBackdropBlurRadius(double radius);
  const std::shared_ptr<const Image>& contents() const { return m_model.contents; }
  void setContents(std::shared_ptr<const Image> image);
  ContentsGravity contentsGravity() const { return m_model.contentsGravity; }
  void setContentsGravity(ContentsGravity gravity);
  double contentsScale() const { return m_model.contentsScale; }
  void setContentsScale(double scale);
  // Shape layers
  const std::optional<Path>& path() const { return m_model.path; }
  void setPath(std::optional<Path> path);
  const std::optional<Color>& fillColor() const { return m_model.fillColor; }
  void setFillColor(std::optional<Color> color);
  const std::optional<Color>& strokeColor() const { return m_model.strokeColor; }
  void setStrokeColor(std::optional<Color> color);
  double lineWidth() const { return m_model.lineWidth; }
  void setLineWidth(double width);
  double strokeStart() const { return m_model.strokeStart; }
  void setStrokeStart(double value);
  double strokeEnd() const { return m_model.strokeEnd; }
  void setStrokeEnd(double value);
  LineCap lineCap() const { return m_model.lineCap; }
  void setLineCap(LineCap cap);
  LineJoin lineJoin() const { return m_model.lineJoin; }
  void setLineJoin(LineJoin join);
  const std::vector<double>& lineDashPattern() const { return m_model.lineDashPattern; }
  void setLineDashPattern(std::vector<double> pattern);
  double lineDashPhase() const { return m_model.lineDashPhase; }
  void setLineDashPhase(double phase);
  FillRule fillRule() const { return m_model.fillRule; }
  void setFillRule(FillRule rule);
  // Gradient layers
  const std::vector<Color>& colors() const { return m_model.colors; }
  void setColors(std::vector<Color> colors);
  const std::vector<double>& locations() const { return m_model.locations; }
  void setLocations(std::vector<double> locations);
  Point startPoint() const { return m_model.startPoint; }
  void setStartPoint(Point p);
  Point endPoint() const { return m_model.endPoint; }
  void setEndPoint(Point p);

  // Rasterisation hints, kept for the callers that set them; drawing ignores them.
  bool shouldRasterize() const { return m_shouldRasterize; }
  void setShouldRasterize(bool on) { m_shouldRasterize = on; }
  double rasterizationScale() const { return m_rasterizationScale; }
  void setRasterizationScale(double scale) { m_rasterizationScale = scale; }
  // A name for diagnostics.
  const std::string& name() const { return m_name; }
  void setName(std::string name) { m_name = std::move(name); }

  // The rectangle the layer covers in its superlayer: bounds, position and anchor point through
  // the affine part of the transform. Setting it moves the position and sizes the bounds (under a
  // pure scale the bounds take the unscaled size; under other transforms only the position moves).
  Rect frame() const;
  void setFrame(const Rect& frame);
  void setAffineTransform(const AffineTransform& t);
  AffineTransform affineTransform() const;

  // A layer whose alpha masks this one (in this layer's bounds space); not a sublayer.
  std::shared_ptr<Layer> mask() const { return m_mask; }
  void setMask(std::shared_ptr<Layer> mask);

  // Not owned; its owner clears it on teardown.
  void setDelegate(LayerDelegate* delegate) { m_delegate = delegate; }
  LayerDelegate* delegate() const { return m_delegate; }

  // ---- Tree: sublayers are owned, the superlayer is not ----
  Layer* superlayer() const { return m_superlayer; }
  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return m_sublayers; }
  void addSublayer(std::shared_ptr<Layer> layer);
  // The index is clamped to the number of sublayers (counted after taking the layer out of its
  // old place).
  void insertSublayer(std::shared_ptr<Layer> layer, size_t index);
  // A sibling that is not a sublayer puts the layer on top (above) or at the bottom (below).
  void insertSublayerAbove(std::shared_ptr<Layer> layer, const Layer* sibling);
  void insertSublayerBelow(std::shared_ptr<Layer> layer, const Layer* sibling);
  void removeFromSuperlayer();
  void replaceSublayer(const Layer* old, std::shared_ptr<Layer> replacement);
  bool isDescendantOf(const Layer* ancestor) const;

  // ---- Content ----
  // Drawn by the delegate (or drawInContext in a subclass) into a cached bitmap of the bounds at
  // drawnScaleFor(contentsScale), redrawn after setNeedsDisplay and whenever that scale is no
  // longer the one the bitmap was drawn at (a change of the contents scale or of the drawing
  // scale). A drawing that draws nothing leaves no bitmap, and the contents image shows.
  void setNeedsDisplay();
  void setNeedsDisplayInRect(const Rect& rect);
  bool needsDisplay() const;
  // The scale drawn content is made at: the contents scale, but never above
  // Image::drawingScale(). A layer showing an image of a higher scale keeps that scale for placing
  // the image, and what it draws would only be reduced again at every frame.
  static double drawnScaleFor(double contentsScale);
  void displayIfNeeded();
  // Default: the delegate's drawLayer. The context's user space is the bounds space.
  virtual void drawInContext(Context& ctx);
  // The cache; nullptr when nothing was drawn.
  std::shared_ptr<const Image> drawnContent() const { return m_drawn; }
  // Where the cache lies: the bounds inset by these (in whole pixels; negative: beyond them).
  const EdgeInsets& drawnInsets() const { return m_drawnInsets; }
  bool needsDisplayOnBoundsChange() const { return m_needsDisplayOnBoundsChange; }
  void setNeedsDisplayOnBoundsChange(bool on) { m_needsDisplayOnBoundsChange = on; }

  // ---- Layout ----
  void setNeedsLayout() { m_needsLayout = true; }
  bool needsLayout() const { return m_needsLayout; }
  // Lays out this layer if it needs it, then its sublayers likewise.
  void layoutIfNeeded();
  // Default: the delegate's layoutSublayersOfLayer.
  virtual void layoutSublayers();

  // ---- Animations ----
  // A copy is stored, replacing one under the same key (which stops unfinished). Without a
  // beginTime it begins when shown (Transaction::startWhenShown): until then it stays at its
  // start and its copy's beginTime reads the time it was added. An empty key is never
  // replaced. noAction() is ignored.
  void addAnimation(std::shared_ptr<Animation> animation, const std::string& key);
  void removeAnimation(const std::string& key);
  void removeAllAnimations();
  std::shared_ptr<const Animation> animationForKey(const std::string& key) const;
  std::vector<std::string> animationKeys() const;
  bool hasAnimations() const { return !m_animations.empty(); }
  // Whether some animation has not yet finished (one kept after its end does not count).
  bool hasRunningAnimations() const;
  // The action a change of `key` would run now: nullptr for none.
  std::shared_ptr<Animation> actionForKey(const std::string& key);

  // ---- Key paths ----
  // "position", "position.x", "bounds", "bounds.size.height", "bounds.origin", "opacity",
  // "transform", "transform.rotation(.x/.y/.z)", "transform.scale(.x/.y/.z)",
  // "transform.translation(.x/.y/.z)", "sublayerTransform(...)", "backgroundColor", "cornerRadius",
  // "borderWidth", "borderColor", "shadowColor", "shadowOpacity", "shadowRadius", "shadowOffset",
  // "strokeStart", "strokeEnd", "lineWidth", "lineDashPhase", "fillColor", "strokeColor",
  // "zPosition", "anchorPoint", "startPoint", "endPoint", "contentsScale". Model values.
  std::optional<AnimValue> valueForKeyPath(const std::string& keyPath) const;
  // Through the property's setter (so implicit animations apply); false for an unknown path or a
  // value of the wrong kind.
  bool setValueForKeyPath(const std::string& keyPath, const AnimValue& value);

  // ---- Geometry between layers of one tree (model values) ----
  // `to` (or `from`) nullptr means the root layer's bounds space.
  Point convertPoint(Point p, const Layer* to) const;
  Rect convertRect(const Rect& r, const Layer* to) const;
  Point convertPointFrom(Point p, const Layer* from) const;
  Rect convertRectFrom(const Rect& r, const Layer* from) const;
  bool containsPoint(Point p) const;
  // The deepest visible layer under the point (given in the superlayer's bounds space), front
  // first; nullptr when the point is outside this layer's bounds.
  Layer* hitTest(Point pointInSuperlayer);

  // Increases on every change of this layer's own state, content, animations or sublayer list.
  uint64_t revision() const { return m_revision; }

  // Renders this layer and its sublayers into ctx at their presentation values.
  void renderInContext(Context& ctx);

  // ---- Transitions (used by the compositor) ----
  // The layer as a compositor frame last drew it: the state, sublayers and drawn content from
  // before the changes made since that frame (animations applied at core::Clock::now()). A
  // layer never drawn in a frame, or unchanged since, answers its current look. Sublayers taken
  // out since that frame are held until the next frame draws the layer (or it goes).
  struct PresentedLook {
    LayerState state;
    std::vector<std::shared_ptr<Layer>> sublayers;
    std::shared_ptr<const Image> drawn;
    EdgeInsets drawnInsets;
  };
  PresentedLook presentedLook() const;
  // Called by a compositor frame that drew the layer: later changes keep what it drew.
  void markPresented();
  // The transition running on the layer at `time`: its kind, eased progress and the look it
  // started from (an image covering `oldRect`, bounds space).
  struct TransitionFrame {
    TransitionAnimation::Type type = TransitionAnimation::Type::Fade;
    std::string subtype;
    double progress = 0;
    std::shared_ptr<const Image> oldLook;
    Rect oldRect = Rect::null();
  };
  std::optional<TransitionFrame> transitionAt(double time) const;

  // The transform from this layer's bounds space into its superlayer's (model values).
  Transform3D transformToSuperlayer() const;

 private:
  struct AnimationEntry;

  // Applies a change to the model; `key` names the animatable property it touches (nullptr for
  // none). `mutate` returns whether anything changed.
  template <class F>
  void change(const char* key, F mutate);
  void runAction(const std::string& key, const AnimValue& oldValue);
  void startTimers(const std::shared_ptr<AnimationEntry>& entry);
  void entryShown(uint64_t id, double beginTime);
  void entryStarted(uint64_t id);
  void entryEnded(uint64_t id);
  void stopEntry(const std::shared_ptr<AnimationEntry>& entry, bool finished);
  static Point mapPoint(Point p, const Layer* from, const Layer* to);
  // Keeps the presented look before the first change after a frame drew the layer.
  void keepPresented();

  LayerState m_model;
  LayerDelegate* m_delegate = nullptr;
  Layer* m_superlayer = nullptr;
  std::vector<std::shared_ptr<Layer>> m_sublayers;
  std::shared_ptr<Layer> m_mask;
  std::string m_name;
  bool m_shouldRasterize = false;
  double m_rasterizationScale = 1;

  bool m_needsDisplay = false;
  bool m_needsDisplayOnBoundsChange = false;
  bool m_needsLayout = false;
  bool m_drewNothing = false;
  std::shared_ptr<const Image> m_drawn;
  // The scale m_drawn was drawn for (drawnScaleFor at the time; a bitmap too large for it is
  // made at less, and that does not make it stale).
  double m_drawnScale = 0;
  EdgeInsets m_drawnInsets;
  uint64_t m_revision = 1;

  // What the last frame drew, while changes since then are pending (see presentedLook).
  bool m_presented = false;
  std::unique_ptr<PresentedLook> m_before;

  std::vector<std::shared_ptr<AnimationEntry>> m_animations;
  uint64_t m_nextAnimationId = 1;
  // Timers hold the layer weakly, to find it while it lives. Last: it goes first.
  core::WeakPtrFactory<Layer> m_weakFactory{this};
};

}  // namespace gfx
