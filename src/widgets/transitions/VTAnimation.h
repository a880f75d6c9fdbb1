#pragma once

#include <memory>

#include "platform/gfx/Geometry.h"

namespace gfx {
class Image;
}
namespace ui {
class View;
}

namespace kt {

// Snapshots of views for the transitions, at the screen's drawing scale. Null when the area is empty.
class VTAnimation {
 public:
  static std::shared_ptr<gfx::Image> renderImageFromView(ui::View& view);
  // Opaque; pixels the view leaves transparent come out red.
  static std::shared_ptr<gfx::Image> renderImageFromView(ui::View& view, const gfx::Rect& rect);
  // The area surrounded by a transparent border of the insets' widths (opaque when they are zero).
  static std::shared_ptr<gfx::Image> renderImageFromView(ui::View& view, const gfx::Rect& rect, const gfx::EdgeInsets& insets);
  // A copy of the image with a transparent border of 1 point on every side, or of the insets.
  static std::shared_ptr<gfx::Image> renderImageForAntialiasing(const gfx::Image& image);
  static std::shared_ptr<gfx::Image> renderImageForAntialiasing(const gfx::Image& image, const gfx::EdgeInsets& insets);
};

}  // namespace kt
