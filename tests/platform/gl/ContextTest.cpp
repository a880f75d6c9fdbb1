// The GL context over Mesa's off-screen renderer: framebuffer objects with storage from a layer,
// the fixed-function pipeline, and presenting into the layer's contents the right way up.
#include "platform/gl/Context.h"

#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "platform/gl/EAGLLayer.h"

namespace {

struct Framebuffer {
  GLuint framebuffer = 0, colour = 0;
  explicit Framebuffer(gl::Context& context, const std::shared_ptr<gl::EAGLLayer>& layer) {
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    ok = context.renderbufferStorage(GL_RENDERBUFFER, layer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
  }
  ~Framebuffer() {
    glDeleteRenderbuffers(1, &colour);
    glDeleteFramebuffers(1, &framebuffer);
  }
  bool ok = false;
};

class GLContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context = gl::Context::create(gl::RenderingAPI::OpenGLES1);
    ASSERT_TRUE(context);
    ASSERT_TRUE(gl::Context::setCurrentContext(context));
    layer = gl::EAGLLayer::create();
    layer->setBounds(gfx::Rect(0, 0, 4, 3));
    layer->setContentsScale(2);
  }
  void TearDown() override { gl::Context::setCurrentContext(nullptr); }

  std::shared_ptr<gl::Context> context;
  std::shared_ptr<gl::EAGLLayer> layer;
};

TEST_F(GLContextTest, OnlyTheFirstAPIIsOffered) {
  EXPECT_FALSE(gl::Context::create(gl::RenderingAPI::OpenGLES2));
  EXPECT_EQ(gl::Context::currentContext(), context.get());
  EXPECT_EQ(context->api(), gl::RenderingAPI::OpenGLES1);
}

TEST_F(GLContextTest, RenderbufferTakesTheLayersPixelSizeAndPresentsUpright) {
  Framebuffer fb(*context, layer);
  ASSERT_TRUE(fb.ok);
  GLint w = 0, h = 0;
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &w);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &h);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(static_cast<GLenum>(glCheckFramebufferStatus(GL_FRAMEBUFFER)), GLenum(GL_FRAMEBUFFER_COMPLETE));

  // Red everywhere, blue over GL's lower half (y < 0): the picture's bottom rows.
  glViewport(0, 0, 8, 6);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(-1, 1, -1, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  const GLfloat lower[] = {-1, -1, 1, -1, -1, 0, 1, 0};
  glColor4f(0, 0, 1, 1);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, lower);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glDisableClientState(GL_VERTEX_ARRAY);

  ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER));
  const auto& image = layer->contents();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 8);
  EXPECT_EQ(image->pixelHeight(), 6);
  EXPECT_DOUBLE_EQ(image->scale(), 2);
  EXPECT_EQ(image->pixelAt(0, 0), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(7, 2), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(0, 3), 0xFF0000FFu);
  EXPECT_EQ(image->pixelAt(7, 5), 0xFF0000FFu);
}

TEST_F(GLContextTest, TranslucentPixelsStayPremultipliedUnlessTheLayerIsOpaque) {
  Framebuffer fb(*context, layer);
  glViewport(0, 0, 8, 6);
  glClearColor(1, 1, 1, 0.5f);  // not premultiplied: clamped to the alpha
  glClear(GL_COLOR_BUFFER_BIT);
  ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER));
  const uint32_t translucent = layer->contents()->pixelAt(3, 3);
  EXPECT_NEAR(static_cast<int>(translucent >> 24), 128, 1);
  EXPECT_EQ((translucent >> 16) & 255, translucent >> 24);
  layer->setOpaque(true);
  ASSERT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER));
  EXPECT_EQ(layer->contents()->pixelAt(3, 3), 0xFFFFFFFFu);
}

TEST_F(GLContextTest, PresentNeedsABoundRenderbufferMadeFromALiveLayer) {
  EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER));  // nothing bound
  GLuint plain = 0;
  glGenRenderbuffers(1, &plain);
  glBindRenderbuffer(GL_RENDERBUFFER, plain);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 4, 4);
  EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER));  // not from a layer
  glDeleteRenderbuffers(1, &plain);
  {
    Framebuffer fb(*context, layer);
    layer.reset();
    EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER));  // the layer is gone
  }
  auto empty = gl::EAGLLayer::create();
  Framebuffer none(*context, empty);
  EXPECT_FALSE(none.ok);  // empty bounds: 0 x 0 storage
  EXPECT_NE(static_cast<GLenum>(glCheckFramebufferStatus(GL_FRAMEBUFFER)), GLenum(GL_FRAMEBUFFER_COMPLETE));
}

TEST_F(GLContextTest, ContextsKeepTheirOwnObjectsAndPresentOnlyWhenCurrent) {
  Framebuffer fb(*context, layer);
  auto other = gl::Context::create(gl::RenderingAPI::OpenGLES1);
  ASSERT_TRUE(other);
  ASSERT_TRUE(gl::Context::setCurrentContext(other));
  EXPECT_FALSE(context->presentRenderbuffer(GL_RENDERBUFFER));
  GLint bound = -1;
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
  EXPECT_EQ(bound, 0);  // the other context's own state
  ASSERT_TRUE(gl::Context::setCurrentContext(context));
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
  EXPECT_EQ(static_cast<GLuint>(bound), fb.colour);
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_TRUE(context->presentRenderbuffer(GL_RENDERBUFFER));
  EXPECT_EQ(layer->contents()->pixelAt(0, 0), 0xFF00FF00u);
  other.reset();  // destroyed while not current
  EXPECT_EQ(gl::Context::currentContext(), context.get());
}

}  // namespace
