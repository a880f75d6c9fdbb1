#pragma once

#include "platform/gl/GL.h"

namespace kt {

// Texture coordinates of a snapshot's four corners in triangle-strip order: bottom-left,
// bottom-right, top-left, top-right.
struct GLTexCoords {
  GLfloat x0 = 0, y0 = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0, x3 = 0, y3 = 0;
};

// One animated change between two snapshot textures, drawn a frame at a time by a
// GLTransitionView with its GL context current. The base draws nothing and is finished at once.
class GLTransition {
 public:
  virtual ~GLTransition() = default;

  // Sets the GL state and the transition's own time; called before the first frame.
  virtual void initTransition() {}
  // Draws one frame from the snapshots before (`beginTexture`) and after (`endTexture`).
  virtual void drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) {
    (void)beginTexture;
    (void)endTexture;
  }
  // Advances by dt seconds; true when the transition has finished.
  virtual bool calc(double dt) {
    (void)dt;
    return true;
  }

  // Where the snapshot lies in its textures; set by the view before every transition.
  const GLTexCoords& basicTexCoords() const { return m_basicTexCoords; }
  void setBasicTexCoords(const GLTexCoords& coords) { m_basicTexCoords = coords; }

 private:
  GLTexCoords m_basicTexCoords;
};

}  // namespace kt
