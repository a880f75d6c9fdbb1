#pragma once

#include "widgets/gltransitions/GLTransition.h"

namespace kt {

// A book page turned about the vertical centre line.
class FlipTransition : public GLTransition {
 public:
  void initTransition() override;
  void drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) override;
  bool calc(double dt) override;

  // 1 (the default): the page turns from right to left, uncovering the picture after; 0: it
  // turns back from left to right. Any other value runs backwards like 0 but draws the pictures
  // as 1 does.
  int transitionType() const { return m_transitionType; }
  void setTransitionType(int type) { m_transitionType = type; }
  // The driving angle: from 0 up to pi for type 1, from pi down to 0 otherwise.
  float animationTime() const { return m_animationTime; }

 private:
  int m_transitionType = 1;
  float m_animationTime = 0;
};

}  // namespace kt
