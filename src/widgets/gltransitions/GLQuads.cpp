#include "widgets/gltransitions/GLQuads.h"

#include <numbers>

namespace kt::glquads {

void setUp(const Frustum& frustum, bool depthTest) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustumf(frustum.left, frustum.right, frustum.bottom, frustum.top, frustum.zNear, frustum.zFar);
  if (depthTest) {
    glEnable(GL_DEPTH_TEST);
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glEnable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glColor4f(1, 1, 1, 1);
}

void beginFrame() {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

bool advance(float& time, double step, bool down) {
  if (down) {
    time = static_cast<float>(time - step);
    if (time >= 0) return false;
    time = 0;
    return true;
  }
  time = static_cast<float>(time + step);
  if (time <= std::numbers::pi) return false;
  time = static_cast<float>(std::numbers::pi);
  return true;
}

GLTexCoords leftHalf(const GLTexCoords& c) {
  return {c.x0, c.y0, (c.x0 + c.x1) / 2, (c.y0 + c.y1) / 2, c.x2, c.y2, (c.x2 + c.x3) / 2, (c.y2 + c.y3) / 2};
}

GLTexCoords rightHalf(const GLTexCoords& c) {
  return {(c.x0 + c.x1) / 2, (c.y0 + c.y1) / 2, c.x1, c.y1, (c.x2 + c.x3) / 2, (c.y2 + c.y3) / 2, c.x3, c.y3};
}

void drawQuad(const Quad& vertices, const GLTexCoords& coords, const std::function<void()>& place) {
  glPushMatrix();
  place();
  glVertexPointer(2, GL_FLOAT, 0, vertices);
  glTexCoordPointer(2, GL_FLOAT, 0, &coords.x0);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glPopMatrix();
}

}  // namespace kt::glquads
