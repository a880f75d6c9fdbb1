#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/Transform.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_pattern cairo_pattern_t;

namespace gfx {

class Gradient;
class Image;

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };
enum class PathDrawingMode { Fill, EvenOddFill, Stroke, FillStroke, EvenOddFillStroke };
enum class InterpolationQuality { Default, None, Low, Medium, High };

// How drawing combines with what is already there. The numbering follows the platform's, so
// stored numbers convert with static_cast. PlusDarker has no exact counterpart here and draws as
// Darken.
enum class BlendMode {
  Normal,
  Multiply,
  Screen,
  Overlay,
  Darken,
  Lighten,
  ColorDodge,
  ColorBurn,
  SoftLight,
  HardLight,
  Difference,
  Exclusion,
  Hue,
  Saturation,
  Color,
  Luminosity,
  Clear,
  Copy,
  SourceIn,
  SourceOut,
  SourceAtop,
  DestinationOver,
  DestinationIn,
  DestinationOut,
  DestinationAtop,
  XOR,
  PlusDarker,
  PlusLighter,
};

// A drawing context over Cairo. User space has its origin at the top left and y growing
// downwards, in points; a bitmap context maps a point to `scale` pixels. The graphics state
// (colours, line style, alpha, blend mode, shadow, clip, transform) is saved and restored as a
// whole; the current path is not part of it.
//
// Shadows are measured in the context's base space (points, unaffected by later translate, scale
// or rotate): a positive offset height puts the shadow below the shape. The blur is the extent of
// the soft edge; its alpha falls off like a Gaussian of standard deviation blur / 2.
class Context {
 public:
  // A bitmap of `points` at `scale` pixels per point (0 takes Image::drawingScale()), starting
  // transparent, or black without alpha when `opaque`. The pixel size is the point size times the
  // scale, rounded up. nullptr when that size is empty or too large.
  static std::unique_ptr<Context> bitmap(Size points, double scale = 0, bool opaque = false);
  // A transparent bitmap as bitmap() makes it, whose pixels are made by the first drawing into
  // it: until then (and for good, when nothing draws) it holds none, and hasPixels() is false.
  // Changes of the transform and the clip made before are carried over to the pixels.
  static std::unique_ptr<Context> bitmapOnFirstDrawing(Size points, double scale = 0);
  // `scale` (0 takes Image::drawingScale()) when a bitmap of `points` at it can be made, else the
  // largest scale below it whose bitmap can; 0 when none can.
  static double fittingScale(Size points, double scale = 0);
  // A context drawing into any Cairo surface; one point is `scale` device units. nullptr when the
  // surface cannot be drawn into.
  static std::unique_ptr<Context> forSurface(cairo_surface_t* surface, double scale = 1);
  // Draws through an existing Cairo context (a reference is taken) in its current user space,
  // which becomes the base space; `scale` is its device units per point (for blur and shadows).
  explicit Context(cairo_t* cr, double scale = 1);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Drawing straight through Cairo: the pixels are made first, if they are still to be made.
  cairo_t* cairo() const;
  // False for a bitmapOnFirstDrawing() context that nothing has been drawn into.
  bool hasPixels() const { return !m_pending; }
  double scale() const { return m_scale; }
  // The size in points of a bitmap or image-surface context; zero for other surfaces.
  Size size() const { return m_size; }
  bool isBitmap() const { return m_bitmap; }
  // A snapshot of the pixels of a bitmap or image-surface context, at the context's scale
  // (alpha 255 for an opaque bitmap); nullptr for other surfaces.
  std::shared_ptr<Image> makeImage() const;
  // The pixels of a bitmap context as an image, as makeImage() gives them but without a copy:
  // the context is given up with them.
  static std::shared_ptr<Image> takeImage(std::unique_ptr<Context> ctx);

  // ---- State ----
  void save();
  // Unbalanced restores are ignored.
  void restore();
  int saveDepth() const;

  void translate(double dx, double dy);
  void scaleBy(double sx, double sy);
  void rotate(double radians);
  void concat(const AffineTransform& t);
  // User space to device units, base transform included.
  AffineTransform ctm() const;
  Point userToDevice(Point p) const;
  Point deviceToUser(Point p) const;

  void setFillColor(const Color& c);
  void setStrokeColor(const Color& c);
  const Color& fillColor() const;
  const Color& strokeColor() const;
  void setLineWidth(double w);
  double lineWidth() const;
  void setLineCap(LineCap cap);
  void setLineJoin(LineJoin join);
  void setMiterLimit(double limit);
  // Dash lengths in user units, starting `phase` into the pattern; an empty list draws solid lines.
  void setLineDash(double phase, const std::vector<double>& lengths);
  void setAlpha(double alpha);
  double alpha() const;
  void setBlendMode(BlendMode mode);
  BlendMode blendMode() const;
  // A shadow under everything drawn next (not under gradients or clear). A colour with no alpha
  // turns shadows off. The default colour is black at one third.
  void setShadow(Size offset, double blur, const Color& color = Color(0, 0, 0, 1.0 / 3));
  void clearShadow();
  void setInterpolationQuality(InterpolationQuality q);
  void setShouldAntialias(bool on);

  // ---- The current path (each piece taken in the user space in effect when it is added) ----
  void beginPath();
  void moveTo(Point p);
  void lineTo(Point p);
  void addQuadCurveTo(Point control, Point end);
  void addCurveTo(Point control1, Point control2, Point end);
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
  void addArcToPoint(Point tangent1, Point tangent2, double radius);
  void addRect(const Rect& r);
  void addEllipse(const Rect& r);
  void addPath(const Path& path);
  void closePath();
  bool isPathEmpty() const { return m_path.isEmpty(); }
  // The current path in the current user space.
  Path path() const;

  // These draw or clip with the current path and then clear it.
  void fillPath(FillRule rule = FillRule::NonZero);
  void strokePath();
  void drawPath(PathDrawingMode mode);
  void clip(FillRule rule = FillRule::NonZero);

  // ---- Drawing that leaves the current path alone ----
  void fill(const Path& path, FillRule rule = FillRule::NonZero);
  void stroke(const Path& path);
  void draw(const Path& path, PathDrawingMode mode);
  void fillRect(const Rect& r);
  void strokeRect(const Rect& r);
  void fillEllipse(const Rect& r);
  void strokeEllipse(const Rect& r);
  // Sets the pixels of the rectangle to transparent (black when opaque), inside the clip.
  void clearRect(const Rect& r);

  void clipToRect(const Rect& r);
  void clipToPath(const Path& path, FillRule rule = FillRule::EvenOdd);
  // Intersects the clip with a mask placed in `r` as drawImage would place the image: its alpha
  // (its luminance when it has no alpha) says how much shows. Nothing shows outside `r`.
  void clipToMask(const Rect& r, const Image& mask);
  // The smallest user-space rectangle holding the clip.
  Rect clipBoundingBox() const;

  // Fills the clip with the gradient along start → end (circle to circle for radial ones).
  void drawLinearGradient(const Gradient& g, Point start, Point end, unsigned options);
  void drawRadialGradient(const Gradient& g, Point startCenter, double startRadius, Point endCenter, double endRadius,
                          unsigned options);

  // Draws the image upright (its orientation applied) scaled into `r`.
  void drawImage(const Image& image, const Rect& r);
  // At its size in points, its top left at `p`.
  void drawImage(const Image& image, Point p);
  // Fills the clip with copies of the image, each the size of `tile` and aligned on it.
  void drawTiledImage(const Image& image, const Rect& tile);

  // Drawing of one's own (text, for instance) with this context's alpha, blend mode, shadow and
  // mask clip. `render` draws in user space on the Cairo context it is given (not necessarily
  // this one: shadows render into a surface of their own) and must not change the operator.
  // `userBounds` holds everything it draws.
  void drawCustom(const std::function<void(cairo_t*)>& render, const Rect& userBounds);
  // Sets the source of `cr` to the fill (or stroke) colour; pattern colours tile their image from
  // the user-space origin.
  void setSourceToFill(cairo_t* cr) const;
  void setSourceToStroke(cairo_t* cr) const;

 private:
  struct MaskClip;
  struct State;
  struct Op;
  // A rectangle of whole device pixels.
  struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w <= 0 || h <= 0; }
    Box intersect(const Box& o) const;
    Box expanded(int by) const { return {x - by, y - by, w + 2 * by, h + 2 * by}; }
    bool tooLarge() const;
  };

  Context() = default;
  State& state();
  const State& state() const;
  void applyStroke(cairo_t* cr) const;
  void setColorSource(cairo_t* cr, const Color& c) const;
  // Draws `image` over `r` from its copy resampled once to the pixels it covers, where it is drawn
  // at the drawing scale; false where it is drawn as it is.
  bool drawResampled(cairo_t* cr, const Image& image, const Rect& r) const;
  // Everything drawn goes through here: shadow, alpha, mask and blend mode.
  void perform(const Op& op);
  void paintShadow(const Op& op);
  cairo_pattern_t* devicePattern(cairo_surface_t* surface, double x, double y) const;
  void finishComposite();
  Box deviceBox(const Rect& user) const;
  Box clipDeviceBox() const;
  void drawDevicePath(const Path& devicePath, PathDrawingMode mode);
  void clipToDevicePath(const Path& devicePath, FillRule rule);
  // Applies a change of the Cairo state (transform, clip, save and restore) and, while the
  // pixels are still to be made, keeps it for them.
  void changeState(std::function<void(cairo_t*)> change);
  // Makes the pixels of a bitmapOnFirstDrawing() context, once.
  void makePixels() const;

  // Until the pixels are made: a context over a recording surface of the bitmap's size, which
  // draws nothing and answers the transform and the clip, and the changes to carry over.
  mutable cairo_t* m_cr = nullptr;
  mutable bool m_pending = false;
  mutable std::vector<std::function<void(cairo_t*)>> m_pendingChanges;
  int m_pixelWidth = 0, m_pixelHeight = 0;
  double m_scale = 1;
  Size m_size;
  bool m_bitmap = false;
  bool m_opaque = false;
  AffineTransform m_base;
  std::vector<State> m_states;
  Path m_path;  // in device units
};

}  // namespace gfx
