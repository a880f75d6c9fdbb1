#include "widgets/gltransitions/RotateTransition.h"

#include <cmath>
#include <numbers>

#include "widgets/gltransitions/GLQuads.h"

namespace kt {

void RotateTransition::initTransition() {
  glquads::setUp({-0.025f, 0.025f, -0.025f, 0.025f, 0.1f, 20}, true);
  m_animationTime = 0;
}

bool RotateTransition::calc(double dt) {
  m_animationTime = static_cast<float>(m_animationTime + dt * (std::numbers::pi / 2) * 1.3);
  return m_animationTime > std::numbers::pi / 2;
}

void RotateTransition::drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) {
  glquads::beginFrame();
  const float angle = static_cast<float>(std::sin(static_cast<double>(m_animationTime))) * 180;

  // Back faces are culled: each side shows only while it faces the viewer.
  glBindTexture(GL_TEXTURE_2D, beginTexture);
  glquads::drawQuad(glquads::kLargeQuad, basicTexCoords(), [&] {
    glTranslatef(0, 0, -10);
    glRotatef(angle, 1, 0, 0);
  });
  glBindTexture(GL_TEXTURE_2D, endTexture);
  glquads::drawQuad(glquads::kLargeQuad, basicTexCoords(), [&] {
    glTranslatef(0, 0, -10);
    glRotatef(angle + 180, 1, 0, 0);
  });
}

}  // namespace kt
