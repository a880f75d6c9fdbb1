#pragma once

// A GL transition drawn on the test screen: a GL context, a framebuffer with a depth buffer
// whose colour renderbuffer comes from a layer over the whole key window, textures made from
// colour functions, and the frame read back as a picture (and shown in screenshots).
#include <functional>
#include <memory>

#include "platform/gfx/Image.h"
#include "platform/gl/Context.h"
#include "platform/gl/EAGLLayer.h"
#include "support/UiHarness.h"
#include "widgets/gltransitions/GLTransition.h"

namespace support {

class GLSceneTest : public ScreenTest {
 protected:
  void SetUp() override { makeScene(); }
  void TearDown() override { dropScene(); }

  // Starts over at the window's size (after setDevice, say).
  void makeScene();
  void dropScene();

  // A square texture of `side` pixels; `colour(u, v)` gives the 0xAARRGGBB colour at the texel
  // centre (u, v) in 0..1, v = 0 at the bottom row (GL's first).
  GLuint makeTexture(int side, const std::function<uint32_t(double u, double v)>& colour);
  // Texture coordinates covering a whole texture.
  static kt::GLTexCoords wholeTexture() { return {0, 0, 1, 0, 0, 1, 1, 1}; }

  // The framebuffer bound and its viewport set, as the transition view does before a frame.
  void bindFrame();
  // One frame of `transition` (bound first), read back into the layer; returns the picture.
  std::shared_ptr<const gfx::Image> draw(kt::GLTransition& transition, GLuint begin, GLuint end);
  // The frame's colour (0xAARRGGBB) at a point given as fractions of the width and height from
  // the top left.
  uint32_t at(double fx, double fy) const;

  int width() const { return m_width; }
  int height() const { return m_height; }
  const std::shared_ptr<gl::Context>& context() const { return m_context; }
  const std::shared_ptr<gl::EAGLLayer>& layer() const { return m_layer; }

 private:
  std::shared_ptr<gl::Context> m_context;
  std::shared_ptr<gl::EAGLLayer> m_layer;
  GLuint m_framebuffer = 0, m_colour = 0, m_depth = 0;
  std::vector<GLuint> m_textures;
  int m_width = 0, m_height = 0;
};

// Colours close enough to count as the same (each channel within `tolerance`).
bool nearColour(uint32_t a, uint32_t b, int tolerance = 8);
// 0xAARRGGBB scaled by a grey level (lighting, darkening).
uint32_t shade(uint32_t argb, double level);

}  // namespace support
