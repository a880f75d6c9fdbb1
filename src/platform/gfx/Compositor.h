#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "platform/gfx/Geometry.h"
#include "platform/gfx/Transform.h"

typedef struct _cairo_surface cairo_surface_t;

namespace gfx {

class CompositorCache;
class Context;
class Image;
class Layer;

// Renders layer trees at their presentation values. A compositor owns one premultiplied ARGB32
// surface, refreshes the layers' content caches (displayIfNeeded) and keeps per-layer records of
// what was drawn where, so that a frame after a small change redraws only the region it touches.
//
// Layers whose accumulated transform stays affine are drawn straight through Cairo. A layer whose
// transform brings in perspective has its subtree drawn flat into an offscreen image, which is
// then mapped onto the target with a projective pixman transform.
//
// Shadows are blurred once and kept per layer, reused while its shadow parameters and its device
// transform (up to whole-pixel moves) stay the same and what casts the shadow does too: the
// shadow path, or else the layer's drawing with its sublayers, which is kept with the shadow
// while nothing in the subtree changes and, after a change, is compared by its alpha. Shape
// layers' measured extents are kept the same way.
class Compositor {
 public:
  // A transparent surface of points * scale pixels (rounded up).
  explicit Compositor(Size points, double scale);
  // The largest scale at which a compositor of `points` has a surface (no more than 4096 x 4096
  // pixels in all), on a 64th of a pixel a point.
  static double largestScale(Size points);
  ~Compositor();
  Compositor(const Compositor&) = delete;
  Compositor& operator=(const Compositor&) = delete;

  // Renders root (the window's layer) at the current time and returns the region redrawn, in
  // points, on whole pixels; an empty rectangle when nothing changed.
  Rect renderFrame(const std::shared_ptr<Layer>& root);
  // Forgets what was drawn: the next frame redraws everything (cached shadows still valid are
  // reused).
  void invalidate();
  // Drops the cached shadows (for memory pressure); the next frames make them anew.
  void purgeCaches();

  struct CacheStats {
    size_t entries = 0;  // layers with a cached shadow
    size_t bytes = 0;    // pixel memory they hold
    uint64_t hits = 0;   // shadows reused, since the compositor was made
    uint64_t misses = 0; // shadows blurred
  };
  CacheStats cacheStats() const;

  cairo_surface_t* surface() const { return m_surface; }
  Size size() const { return m_size; }
  double scale() const { return m_scale; }
  // A copy of the surface's current pixels; nullptr when the surface could not be made.
  std::shared_ptr<Image> snapshot() const;

  // Renders the layer and its sublayers into ctx in the layer's own bounds space (its position
  // and transform are left out, its opacity kept), at presentation values, without any caching.
  static void renderLayer(Layer& layer, Context& ctx);
  // The layer's subtree as the last frame drew it (Layer::presentedLook, down the tree), in its
  // bounds space, as an image covering `area`; nullptr when it draws nothing. Transitions keep
  // it as the look they start from.
  static std::shared_ptr<const Image> renderPresentedLook(Layer& layer, Rect& area);
  // Whether a frame would draw anything: a layer changed, appeared, disappeared, needs display
  // or layout, or is animating.
  bool needsFrame(const std::shared_ptr<Layer>& root) const;

  // What the last frame drew of one layer (bookkeeping of the dirty tracking).
  struct Record {
    std::weak_ptr<Layer> layer;  // tells a live layer from a new one at a reused address
    uint64_t revision = 0;       // the layer's own, with its mask's folded in
    Rect rect;                   // the subtree's screen area in points (clipped)
    uint64_t frame = 0;          // the frame that last saw it
    bool animating = false;      // it animated (or was redrawn) in that frame
  };

 private:

  cairo_surface_t* m_surface = nullptr;
  Size m_size;
  double m_scale = 1;
  bool m_fullRedraw = true;
  uint64_t m_frame = 0;
  std::unordered_map<const Layer*, Record> m_records;
  std::unique_ptr<CompositorCache> m_cache;
};

}  // namespace gfx
