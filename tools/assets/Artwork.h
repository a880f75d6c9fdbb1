#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Error.h"
#include "platform/gfx/Geometry.h"

namespace gfx {
class Image;
}

namespace kt::assets {

class Painter;

// One picture of the application: the name the program asks for, the size in points of the frame
// it is shown in, how it is drawn, and the resource folder it is written to ("images" for the
// program's named images, or a resource bundle of a widget).
struct Artwork {
  using Draw = std::function<void(Painter&, gfx::Size)>;

  std::string name;
  gfx::Size size;
  Draw draw;
  std::string folder = "images";

  // "name.png" at scale 1, "name@2x.png" at scale 2, "name@3x.png" at scale 3.
  std::string fileName(double scale) const;
  // Whether writeAll() writes the picture at `scale` (one of scales()).
  bool drawnAt(double scale) const;
  // The picture drawn at `scale` pixels per point; nullptr when it cannot be drawn.
  std::shared_ptr<gfx::Image> render(double scale) const;

  // Every picture, names unique.
  static const std::vector<Artwork>& all();
  static const Artwork* find(const std::string& name);
  // The scales written for the pictures (the interface's artwork at each; see drawnAt()).
  static const std::vector<double>& scales();
  // Draws every picture at every scale into `resourcesDir`, creating the folders it needs.
  // nullopt on success, else what failed.
  static std::optional<core::Error> writeAll(const std::string& resourcesDir);
};

}  // namespace kt::assets
