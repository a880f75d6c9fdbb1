#pragma once

#include "widgets/gltransitions/GLTransition.h"

namespace kt {

// One card turned over about the horizontal axis: the picture before on its front, the picture
// after on its back.
class RotateTransition : public GLTransition {
 public:
  void initTransition() override;
  void drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) override;
  bool calc(double dt) override;

  // The driving angle, from 0 to just past pi/2 (the last step is not cut back).
  float animationTime() const { return m_animationTime; }

 private:
  float m_animationTime = 0;
};

}  // namespace kt
