// The scene the GL transition tests draw on: a base transition draws nothing over a cleared
// frame, and a texture drawn flat comes back the right way up.
#include "GLScene.h"

#include <gtest/gtest.h>

namespace {

class GLSceneCheck : public support::GLSceneTest {};

TEST_F(GLSceneCheck, ATextureDrawnFlatComesBackUpright) {
  // Red over the top half (v above one half), blue below.
  const GLuint texture = makeTexture(64, [](double, double v) { return v > 0.5 ? 0xFFFF0000u : 0xFF0000FFu; });
  struct Flat : kt::GLTransition {
    void drawWithBeginTexture(GLuint begin, GLuint) override {
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      glMatrixMode(GL_PROJECTION);
      glLoadIdentity();
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      const GLfloat quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, begin);
      glEnableClientState(GL_VERTEX_ARRAY);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glVertexPointer(2, GL_FLOAT, 0, quad);
      glTexCoordPointer(2, GL_FLOAT, 0, &basicTexCoords().x0);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
  } flat;
  flat.setBasicTexCoords(wholeTexture());
  ASSERT_TRUE(draw(flat, texture, 0));
  EXPECT_EQ(at(0.5, 0.1), 0xFFFF0000u);
  EXPECT_EQ(at(0.5, 0.9), 0xFF0000FFu);
  screenshot("flat");

  kt::GLTransition base;
  EXPECT_TRUE(base.calc(0));
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  draw(base, texture, texture);
  EXPECT_EQ(at(0.5, 0.5), 0xFF00FF00u);
}

}  // namespace
