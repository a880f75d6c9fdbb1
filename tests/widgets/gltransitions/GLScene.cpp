#include "GLScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Window.h"

namespace support {

void GLSceneTest::makeScene() {
  dropScene();
  m_context = gl::Context::create(gl::RenderingAPI::OpenGLES1);
  ASSERT_TRUE(m_context);
  ASSERT_TRUE(gl::Context::setCurrentContext(m_context));
  m_layer = gl::EAGLLayer::create();
  m_layer->setOpaque(true);
  // A layer of no view animates its changes unless told not to.
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  m_layer->setFrame(window().bounds());
  window().layer()->addSublayer(m_layer);
  gfx::Transaction::commit();
  m_width = m_layer->drawablePixelWidth();
  m_height = m_layer->drawablePixelHeight();

  glGenFramebuffers(1, &m_framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
  glGenRenderbuffers(1, &m_colour);
  glBindRenderbuffer(GL_RENDERBUFFER, m_colour);
  ASSERT_TRUE(m_context->renderbufferStorage(GL_RENDERBUFFER, m_layer));
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colour);
  glGenRenderbuffers(1, &m_depth);
  glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, m_width, m_height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth);
  ASSERT_EQ(static_cast<GLenum>(glCheckFramebufferStatus(GL_FRAMEBUFFER)), GLenum(GL_FRAMEBUFFER_COMPLETE));
  bindFrame();
}

void GLSceneTest::dropScene() {
  if (!m_context) return;
  gl::Context::setCurrentContext(m_context);
  if (!m_textures.empty()) glDeleteTextures(static_cast<GLsizei>(m_textures.size()), m_textures.data());
  m_textures.clear();
  glDeleteRenderbuffers(1, &m_colour);
  glDeleteRenderbuffers(1, &m_depth);
  glDeleteFramebuffers(1, &m_framebuffer);
  m_framebuffer = m_colour = m_depth = 0;
  if (m_layer) m_layer->removeFromSuperlayer();
  m_layer.reset();
  gl::Context::setCurrentContext(nullptr);
  m_context.reset();
}

GLuint GLSceneTest::makeTexture(int side, const std::function<uint32_t(double, double)>& colour) {
  std::vector<uint8_t> bytes(static_cast<size_t>(side) * side * 4);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const uint32_t c = colour((x + 0.5) / side, (y + 0.5) / side);
      uint8_t* p = &bytes[(static_cast<size_t>(y) * side + x) * 4];
      p[0] = (c >> 16) & 255;
      p[1] = (c >> 8) & 255;
      p[2] = c & 255;
      p[3] = c >> 24;
    }
  }
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
  m_textures.push_back(texture);
  return texture;
}

void GLSceneTest::bindFrame() {
  glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
  glViewport(0, 0, m_width, m_height);
}

std::shared_ptr<const gfx::Image> GLSceneTest::draw(kt::GLTransition& transition, GLuint begin, GLuint end) {
  bindFrame();
  transition.drawWithBeginTexture(begin, end);
  glBindRenderbuffer(GL_RENDERBUFFER, m_colour);
  EXPECT_TRUE(m_context->presentRenderbuffer(GL_RENDERBUFFER));
  return m_layer->contents();
}

uint32_t GLSceneTest::at(double fx, double fy) const {
  const auto& image = m_layer->contents();
  if (!image) return 0;
  const int x = std::min(image->pixelWidth() - 1, static_cast<int>(fx * image->pixelWidth()));
  const int y = std::min(image->pixelHeight() - 1, static_cast<int>(fy * image->pixelHeight()));
  return image->pixelAt(x, y);
}

bool nearColour(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) > tolerance) return false;
  }
  return true;
}

uint32_t shade(uint32_t argb, double level) {
  auto channel = [&](int shift) { return static_cast<uint32_t>(std::lround(((argb >> shift) & 255) * level)) << shift; };
  return (argb & 0xFF000000u) | channel(16) | channel(8) | channel(0);
}

}  // namespace support
