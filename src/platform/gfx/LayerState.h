#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Geometry.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/Transform.h"

namespace gfx {

class Image;

// Values animations work on.
using AnimValue = std::variant<double, Point, Size, Rect, Color, Transform3D>;

enum class ContentsGravity { Center, Top, Bottom, Left, Right, TopLeft, TopRight, BottomLeft, BottomRight, Resize, ResizeAspect, ResizeAspectFill };
// A Transform layer draws nothing of its own and keeps its sublayers in 3D: they are not
// flattened into its plane, so a tree of them folds and turns as one solid (with the perspective
// of the nearest flattening ancestor applied once, at the end).
enum class LayerKind { Plain, Shape, Gradient, Transform };

// Everything the compositor needs of one layer, in one plain struct: the model values (what was
// set) or the presentation values (the model with running animations applied).
struct LayerState {
  Rect bounds;
  Point position;
  Point anchorPoint{0.5, 0.5};
  double zPosition = 0;
  Transform3D transform;
  Transform3D sublayerTransform;
  double opacity = 1;
  bool hidden = false;
  std::optional<Color> backgroundColor;
  double cornerRadius = 0;
  unsigned maskedCorners = 0xF;  // bit 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right
  double borderWidth = 0;
  Color borderColor = Color::black();
  Color shadowColor = Color::black();
  double shadowOpacity = 0;
  Size shadowOffset{0, -3};
  double shadowRadius = 3;
  std::optional<Path> shadowPath;
  bool masksToBounds = false;
  // What lies behind the layer within its rounded bounds, blurred at this standard deviation (in
  // points) and drawn under the layer's own background; 0 for none.
  double backdropBlurRadius = 0;
  std::shared_ptr<const Image> contents;
  ContentsGravity contentsGravity = ContentsGravity::Resize;
  double contentsScale = 1;
  LayerKind kind = LayerKind::Plain;
  // Shape layers
  std::optional<Path> path;
  std::optional<Color> fillColor = Color::black();
  std::optional<Color> strokeColor;
  double lineWidth = 1;
  double strokeStart = 0;
  double strokeEnd = 1;
  LineCap lineCap = LineCap::Butt;
  LineJoin lineJoin = LineJoin::Miter;
  std::vector<double> lineDashPattern;
  double lineDashPhase = 0;
  FillRule fillRule = FillRule::NonZero;
  // Gradient layers
  std::vector<Color> colors;
  std::vector<double> locations;
  Point startPoint{0.5, 0};
  Point endPoint{0.5, 1};
};

// Key-path access to a state: "position.x", "bounds.size.height", "transform.rotation.z", ...
// (the list is Layer's). Unset optional colours read as clear. nullopt / false for an unknown
// path or a value of the wrong kind (a number given for "transform" sets the identity).
std::optional<AnimValue> stateValueForKeyPath(const LayerState& state, const std::string& keyPath);
bool setStateValueForKeyPath(LayerState& state, const std::string& keyPath, const AnimValue& value);

// Arithmetic on animation values of one kind; nullopt when the kinds differ. Transforms
// interpolate through their decomposition (translation, scale, skew, rotation as a quaternion),
// add by concatenation (the added one first) and subtract by the inverse.
std::optional<AnimValue> interpolateValues(const AnimValue& from, const AnimValue& to, double fraction);
std::optional<AnimValue> addValues(const AnimValue& a, const AnimValue& b);
std::optional<AnimValue> subtractValues(const AnimValue& a, const AnimValue& b);
// a + b * k, for cumulative repeats.
std::optional<AnimValue> addScaledValue(const AnimValue& a, const AnimValue& b, double k);

}  // namespace gfx
