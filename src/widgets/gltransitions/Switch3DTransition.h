#pragma once

#include "widgets/gltransitions/GLTransition.h"

namespace kt {

// The two pictures pass each other in depth: the one before recedes and darkens while the one
// after comes forward and brightens, both swinging sideways in opposite directions and back.
class Switch3DTransition : public GLTransition {
 public:
  void initTransition() override;
  void drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) override;
  bool calc(double dt) override;

  // 1 swings the picture before to the left, anything else to the right.
  int transitionType() const { return m_transitionType; }
  void setTransitionType(int type) { m_transitionType = type; }
  // The driving angle, from 0 to pi.
  float animationTime() const { return m_animationTime; }

 private:
  int m_transitionType = 0;
  float m_animationTime = 0;
};

}  // namespace kt
