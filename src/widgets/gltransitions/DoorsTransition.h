#pragma once

#include "widgets/gltransitions/GLTransition.h"

namespace kt {

// The picture splits into two doors hinged at its outer edges that swing open towards the
// viewer and darken, while the picture behind them comes forward and brightens.
class DoorsTransition : public GLTransition {
 public:
  void initTransition() override;
  void drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) override;
  bool calc(double dt) override;

  // 1: the picture after opens as doors over the picture before; anything else: the picture
  // before opens over the picture after.
  int transitionType() const { return m_transitionType; }
  void setTransitionType(int type) { m_transitionType = type; }
  // The driving angle, from 0 to pi.
  float animationTime() const { return m_animationTime; }

 private:
  int m_transitionType = 0;
  float m_animationTime = 0;
};

}  // namespace kt
