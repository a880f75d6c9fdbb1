#pragma once

#include <memory>
#include <string>

#include "platform/gfx/Layer.h"

namespace gl {

inline constexpr const char* ColorFormatRGBA8 = "EAGLColorFormatRGBA8";
inline constexpr const char* ColorFormatRGB565 = "EAGLColorFormatRGB565";

// What a GL drawable keeps of its frames: whether the content survives a present, and the
// pixel format of its colour buffer.
struct DrawableProperties {
  bool retainedBacking = false;
  std::string colorFormat = ColorFormatRGBA8;
};

// A layer that shows what a GL context renders into a renderbuffer made from it
// (Context::renderbufferStorage). There is no GPU surface to hand over here: each present reads
// the renderbuffer back into the layer's contents, which the compositor then draws like any
// other picture. The renderbuffer has the layer's bounds in pixels (bounds times contentsScale).
class EAGLLayer : public gfx::Layer {
 public:
  static std::shared_ptr<EAGLLayer> create() { return std::make_shared<EAGLLayer>(); }
  EAGLLayer() = default;

  const DrawableProperties& drawableProperties() const { return m_properties; }
  void setDrawableProperties(DrawableProperties properties) { m_properties = std::move(properties); }
  // An opaque layer's frames are shown with alpha 1 whatever the renderbuffer holds.
  bool isOpaque() const { return m_opaque; }
  void setOpaque(bool opaque) { m_opaque = opaque; }

  // The pixel size a renderbuffer made from the layer now gets (0 when the bounds are empty).
  int drawablePixelWidth() const;
  int drawablePixelHeight() const;

 private:
  DrawableProperties m_properties;
  bool m_opaque = false;
};

}  // namespace gl
