#pragma once

#include <cairo.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/gfx/Color.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Path.h"

namespace gfx {

// Shadow images kept between frames, one per layer (weakly keyed, so that a layer made at the
// address of a destroyed one never finds the old image).
class CompositorCache {
 public:
  // An owned image surface.
  struct Surface {
    cairo_surface_t* s = nullptr;
    Surface() = default;
    explicit Surface(cairo_surface_t* surface) : s(surface) {}
    Surface(Surface&& o) noexcept : s(std::exchange(o.s, nullptr)) {}
    Surface& operator=(Surface&& o) noexcept {
      if (this != &o) {
        reset();
        s = std::exchange(o.s, nullptr);
      }
      return *this;
    }
    ~Surface() { reset(); }
    void reset() {
      if (s) cairo_surface_destroy(s);
      s = nullptr;
    }
    size_t bytes() const { return s ? size_t(cairo_image_surface_get_stride(s)) * cairo_image_surface_get_height(s) : 0; }
  };

  // What a shadow image depends on besides its source: the blur, the tint and the layer's
  // device transform, its translation taken modulo whole pixels.
  struct Key {
    std::array<int, 3> radii{};
    double a = 0, b = 0, c = 0, d = 0, fx = 0, fy = 0;
    Color color;
    double opacity = 0;
    bool operator==(const Key& o) const {
      return radii == o.radii && a == o.a && b == o.b && c == o.c && d == o.d && fx == o.fx && fy == o.fy &&
             color == o.color && opacity == o.opacity;
    }
  };

  struct Entry {
    Key key;
    bool fromPath = false;
    std::optional<Path> path;   // the shadow path the image was made from
    uint64_t subtree = 0;       // the subtree revision the body was drawn at
    bool subtreeUsable = false; // false when something in it was animating then
    int x = 0, y = 0, w = 0, h = 0;  // the source box, relative to the whole-pixel translation
    Surface body;               // the layer's drawing, for shadows cast by it
    Surface shadow;             // blurred and tinted, the source box grown by the blur's reach
    uint64_t used = 0;          // the frame that last used it
    size_t bytes() const { return body.bytes() + shadow.bytes(); }
  };

  // A shape layer's drawn extent (stroke extents are costly to measure), with what it depends on.
  struct Shape {
    Path path;
    bool fills = false, strokes = false;
    double lineWidth = 0;
    LineCap cap = LineCap::Butt;
    LineJoin join = LineJoin::Miter;
    Rect extent;
    uint64_t used = 0;
  };

  std::map<std::weak_ptr<const Layer>, Entry, std::owner_less<>> entries;
  std::map<std::weak_ptr<const Layer>, Shape, std::owner_less<>> shapes;
  uint64_t frame = 0;
  uint64_t hits = 0, misses = 0;
};

// Drops what is kept for layers that are gone or left the tree (shadows of mask layers, which
// are not in it, too), then the least recently used shadow images while over the budget.
void trimCache(CompositorCache& cache, const std::unordered_map<const Layer*, Compositor::Record>& records);

}  // namespace gfx
