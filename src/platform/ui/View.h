#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transform.h"
#include "platform/ui/Responder.h"

namespace gfx {
class Context;
class Animation;
}  // namespace gfx

namespace ui {

class GestureRecognizer;
class Window;

// Numbered as the platform numbered them, so stored numbers convert with static_cast.
enum class ContentMode {
  ScaleToFill, ScaleAspectFit, ScaleAspectFill, Redraw, Center, Top, Bottom, Left, Right,
  TopLeft, TopRight, BottomLeft, BottomRight,
};

enum AutoresizingMask : unsigned {
  AutoresizingNone = 0,
  AutoresizingFlexibleLeftMargin = 1 << 0,
  AutoresizingFlexibleWidth = 1 << 1,
  AutoresizingFlexibleRightMargin = 1 << 2,
  AutoresizingFlexibleTopMargin = 1 << 3,
  AutoresizingFlexibleHeight = 1 << 4,
  AutoresizingFlexibleBottomMargin = 1 << 5,
};

enum class AnimationCurve { EaseInOut = 0, EaseIn = 1, EaseOut = 2, Linear = 3 };

// Options of the block animations, with the platform's bit values.
enum AnimationOptions : unsigned {
  AnimationLayoutSubviews = 1 << 0,
  AnimationAllowUserInteraction = 1 << 1,
  AnimationBeginFromCurrentState = 1 << 2,
  AnimationRepeat = 1 << 3,
  AnimationAutoreverse = 1 << 4,
  AnimationOverrideInheritedDuration = 1 << 5,
  AnimationOverrideInheritedCurve = 1 << 6,
  AnimationAllowAnimatedContent = 1 << 7,
  AnimationShowHideTransitionViews = 1 << 8,
  AnimationOverrideInheritedOptions = 1 << 9,
  AnimationCurveEaseInOut = 0 << 16,
  AnimationCurveEaseIn = 1 << 16,
  AnimationCurveEaseOut = 2 << 16,
  AnimationCurveLinear = 3 << 16,
};

// A rectangle of the screen that draws, lays out its subviews and takes touches. Each view owns a
// gfx::Layer (and is its delegate); the view's geometry is the layer's. Views are held by
// std::shared_ptr (create them with View::create or std::make_shared); the superview owns its
// subviews and is known to them by a plain pointer that is cleared on removal.
//
// Changes of frame, bounds, center, transform, alpha and background colour animate inside the
// animation blocks (animate(), beginAnimations()/commitAnimations()) and take effect at once
// outside them.
class View : public Responder, public gfx::LayerDelegate {
 public:
  static std::shared_ptr<View> create(const gfx::Rect& frame = gfx::Rect()) { return std::make_shared<View>(frame); }
  explicit View(const gfx::Rect& frame = gfx::Rect());
  ~View() override;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  std::shared_ptr<View> shared() { return std::static_pointer_cast<View>(shared_from_this()); }
  const std::shared_ptr<gfx::Layer>& layer() const { return m_layer; }

  // ---- Geometry ----
  gfx::Rect frame() const;
  // Virtual so that a subclass follows every change of its frame, autoresizing's included.
  virtual void setFrame(const gfx::Rect& frame);
  gfx::Rect bounds() const;
  void setBounds(const gfx::Rect& bounds);
  gfx::Point center() const;
  void setCenter(gfx::Point center);
  gfx::AffineTransform transform() const;
  void setTransform(const gfx::AffineTransform& t);

  // ---- Appearance ----
  double alpha() const;
  void setAlpha(double alpha);
  bool isHidden() const;
  virtual void setHidden(bool hidden);
  std::optional<gfx::Color> backgroundColor() const;
  void setBackgroundColor(std::optional<gfx::Color> color);
  bool clipsToBounds() const;
  void setClipsToBounds(bool clips);
  bool isOpaque() const { return m_opaque; }
  void setOpaque(bool opaque) { m_opaque = opaque; }
  bool clearsContextBeforeDrawing() const { return m_clearsContext; }
  void setClearsContextBeforeDrawing(bool clears) { m_clearsContext = clears; }
  ContentMode contentMode() const { return m_contentMode; }
  virtual void setContentMode(ContentMode mode);
  // The tint used by controls that have no colour of their own: the superview's unless set.
  gfx::Color tintColor() const;
  void setTintColor(std::optional<gfx::Color> color);

  // The layer's contents scale follows the screen's drawing scale (Screen::drawingScale()): set when the
  // view is made and again, for every view that lives, when the drawing scale changes, so that
  // what the view draws is drawn again at the new scale. A layer that shows an image keeps the
  // image's scale, and a layer whose scale was set by other hands (or after
  // setContentsScaleFollowsScreen(false)) keeps that.
  static void followDrawingScaleEverywhere();

  int tag() const { return m_tag; }
  void setTag(int tag) { m_tag = tag; }
  // This view or the first descendant with the tag, depth first, this view first.
  std::shared_ptr<View> viewWithTag(int tag);

  // ---- Interaction ----
  bool isUserInteractionEnabled() const { return m_userInteraction; }
  void setUserInteractionEnabled(bool enabled) { m_userInteraction = enabled; }
  bool isMultipleTouchEnabled() const { return m_multipleTouch; }
  void setMultipleTouchEnabled(bool enabled) { m_multipleTouch = enabled; }
  bool isExclusiveTouch() const { return m_exclusiveTouch; }
  void setExclusiveTouch(bool exclusive) { m_exclusiveTouch = exclusive; }

  // ---- Autoresizing ----
  unsigned autoresizingMask() const { return m_autoresizingMask; }
  void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask; }
  bool autoresizesSubviews() const { return m_autoresizesSubviews; }
  void setAutoresizesSubviews(bool on) { m_autoresizesSubviews = on; }

  // ---- Hierarchy ----
  View* superview() const { return m_superview; }
  const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
  // The window at the root of this view's tree, null when the root is not a window.
  Window* window() const;
  void addSubview(const std::shared_ptr<View>& view);
  void insertSubview(const std::shared_ptr<View>& view, size_t index);
  void insertSubviewAbove(const std::shared_ptr<View>& view, const View* sibling);
  void insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling);
  void bringSubviewToFront(const View* view);
  void sendSubviewToBack(const View* view);
  void exchangeSubviews(size_t index1, size_t index2);
  void removeFromSuperview();
  bool isDescendantOf(const View* view) const;

  // ---- Coordinates (a null view means the window, i.e. the root of the tree) ----
  gfx::Point convertPointTo(gfx::Point p, const View* to) const;
  gfx::Point convertPointFrom(gfx::Point p, const View* from) const;
  gfx::Rect convertRectTo(const gfx::Rect& r, const View* to) const;
  gfx::Rect convertRectFrom(const gfx::Rect& r, const View* from) const;
  // Between this view's bounds and its superview's (or, for the root, the screen's) space.
  gfx::Point pointToSuperview(gfx::Point p) const;
  gfx::Point pointFromSuperview(gfx::Point p) const;

  // ---- Hit testing ----
  // The deepest visible, interactive descendant (or this view) containing `p` (in this view's
  // coordinates). Hidden views, views with alpha below 0.01 and views that do not take
  // interaction are skipped with their subviews, as are views animating without
  // AnimationAllowUserInteraction.
  virtual std::shared_ptr<View> hitTest(gfx::Point p, const Event* event);
  virtual bool pointInside(gfx::Point p, const Event* event) const;

  // ---- Layout ----
  virtual void layoutSubviews() {}
  void setNeedsLayout();
  bool needsLayout() const { return m_needsLayout; }
  // Lays out this view if it needs it, then its subviews that need it.
  void layoutIfNeeded();
  virtual gfx::Size sizeThatFits(gfx::Size size) const;
  void sizeToFit();

  // ---- Drawing ----
  // Draws the view's content into its layer, in bounds coordinates. Views that draw return true
  // from drawsContent(), so that their content is drawn when they are first displayed.
  virtual void drawRect(gfx::Context& ctx, const gfx::Rect& rect);
  virtual bool drawsContent() const { return false; }
  void setNeedsDisplay();
  void setNeedsDisplayInRect(const gfx::Rect& rect);

  // ---- Notifications of the hierarchy ----
  virtual void willMoveToSuperview(View* /*newSuperview*/) {}
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(Window* /*newWindow*/) {}
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(View* /*subview*/) {}
  virtual void willRemoveSubview(View* /*subview*/) {}

  // ---- Gesture recognisers ----
  // The view keeps its recognisers; adding one that belongs to another view takes it from there.
  void addGestureRecognizer(std::shared_ptr<GestureRecognizer> recognizer);
  void removeGestureRecognizer(const GestureRecognizer* recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return m_gestureRecognizers; }
  // Asked before a recogniser leaves Possible, of the recogniser's view and of every view its
  // touches hit; false makes it fail.
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
    (void)recognizer;
    return true;
  }

  // ---- Responder ----
  Responder* nextResponder() const override;
  // A later view controller sets itself as the next responder of its root view.
  void setNextResponderOverride(Responder* responder) { m_nextResponderOverride = responder; }

  // ---- Block animations ----
  using Animations = std::function<void()>;
  using Completion = std::function<void(bool finished)>;
  static void animate(double duration, double delay, unsigned options, const Animations& animations,
                      Completion completion = nullptr);
  static void animate(double duration, const Animations& animations, Completion completion = nullptr);
  static void performWithoutAnimation(const Animations& animations);
  // The begin/commit form: the changes between the two calls animate with the settings made.
  static void beginAnimations(const std::string& animationId = "");
  static void setAnimationDuration(double duration);
  static void setAnimationDelay(double delay);
  static void setAnimationCurve(AnimationCurve curve);
  static void setAnimationRepeatCount(float count);
  static void setAnimationRepeatAutoreverses(bool autoreverses);
  static void setAnimationBeginsFromCurrentState(bool fromCurrent);
  static void setAnimationWillStart(std::function<void()> willStart);
  static void setAnimationDidStop(Completion didStop);
  static void commitAnimations();
  static bool areAnimationsEnabled();
  static void setAnimationsEnabled(bool enabled);
  // Whether a block animation is being set up right now.
  static bool isInAnimationBlock();

  // ---- Layer delegate ----
  void drawLayer(gfx::Layer& layer, gfx::Context& ctx) override;
  void layoutSublayersOfLayer(gfx::Layer& layer) override;
  std::shared_ptr<gfx::Animation> actionForLayer(gfx::Layer& layer, const std::string& key) override;

  // Views with running block animations that do not allow interaction (hit testing skips them).
  int interactionBlockingAnimations() const { return m_blockingAnimations; }

  // ---- Editing ----
  // Resigns the window's first responder when it is this view or one of its subviews. With
  // `force` it resigns even when the responder refuses (text fields are not asked). Returns
  // whether it resigned.
  bool endEditing(bool force);

 protected:
  explicit View(const gfx::Rect& frame, std::shared_ptr<gfx::Layer> layer);
  // Called by every setBackgroundColor, through whichever type it was called, once
  // backgroundColor() answers the new colour, so that a subclass can pass the colour on.
  virtual void backgroundColorDidChange() {}
  // A view whose layer keeps a contents scale of its own (a GL view's renderbuffer) says so.
  void setContentsScaleFollowsScreen(bool follows) { m_scaleFollowsScreen = follows; }

 private:
  friend class Window;
  friend struct ViewAnimationAccess;

  void init(const gfx::Rect& frame);
  void insertAt(const std::shared_ptr<View>& view, size_t index);
  void detachFromSuperview(bool notifySuperview);
  void notifyWillMoveToWindow(Window* window);
  void notifyDidMoveToWindow();
  void boundsSizeChanged(gfx::Size oldSize, gfx::Size newSize);
  void autoresize(gfx::Size oldSuperSize, gfx::Size newSuperSize);
  void scheduleLayoutPass();
  // Records the from- and to-values of a property about to change in an animation block.
  void willChange(const std::string& key, const gfx::AnimValue& to);
  void layoutAndDisplayTree();
  void blockInteraction(int delta) { m_blockingAnimations += delta; }
  void followDrawingScale();

  std::shared_ptr<gfx::Layer> m_layer;
  View* m_superview = nullptr;
  std::vector<std::shared_ptr<View>> m_subviews;
  Responder* m_nextResponderOverride = nullptr;
  int m_tag = 0;
  bool m_userInteraction = true;
  bool m_multipleTouch = false;
  bool m_exclusiveTouch = false;
  bool m_opaque = true;
  bool m_clearsContext = true;
  bool m_needsLayout = true;
  bool m_needsFirstDisplay = true;
  bool m_initializing = false;
  unsigned m_autoresizingMask = AutoresizingNone;
  bool m_autoresizesSubviews = true;
  ContentMode m_contentMode = ContentMode::ScaleToFill;
  std::optional<gfx::Color> m_tintColor;
  std::optional<gfx::Color> m_backgroundColor;
  int m_blockingAnimations = 0;
  struct Pending {
    std::string key;
    gfx::AnimValue from;
    gfx::AnimValue to;
  };
  std::vector<Pending> m_pending;
  std::vector<std::shared_ptr<GestureRecognizer>> m_gestureRecognizers;
  double m_followedScale = 0;  // the drawing scale the layer was last given
  bool m_scaleFollowsScreen = true;
  // The views that live, for a change of the drawing scale.
  View* m_livePrevious = nullptr;
  View* m_liveNext = nullptr;
};

}  // namespace ui
