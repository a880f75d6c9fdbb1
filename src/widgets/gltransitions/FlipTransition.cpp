#include "widgets/gltransitions/FlipTransition.h"

#include <cmath>
#include <numbers>

#include "widgets/gltransitions/GLQuads.h"

namespace kt {

void FlipTransition::initTransition() {
  glquads::setUp({-0.025f, 0.025f, -0.025f, 0.025f, 0.1f, 20}, false);
  m_animationTime = m_transitionType == 1 ? 0 : static_cast<float>(std::numbers::pi);
}

bool FlipTransition::calc(double dt) {
  // Type 1 runs up to pi; the others down from pi to 0.
  return glquads::advance(m_animationTime, dt * std::numbers::pi * 1.2, m_transitionType != 1);
}

void FlipTransition::drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) {
  glquads::beginFrame();
  // P lies under the leaf on the right and on its back; Q on the left and on the leaf's front.
  const GLuint p = m_transitionType == 0 ? beginTexture : endTexture;
  const GLuint q = m_transitionType == 0 ? endTexture : beginTexture;
  const auto s = static_cast<float>(std::sin(static_cast<double>(m_animationTime / 2)));
  const float turned = 180 * (s * s);
  const GLTexCoords left = glquads::leftHalf(basicTexCoords());
  const GLTexCoords right = glquads::rightHalf(basicTexCoords());

  // No depth test: the order of drawing decides what covers what, and culling which side of the
  // leaf shows.
  glBindTexture(GL_TEXTURE_2D, q);
  glquads::drawQuad(glquads::kHalfPage, left, [] { glTranslatef(-2.5f, 0, -10); });
  glBindTexture(GL_TEXTURE_2D, p);
  glquads::drawQuad(glquads::kHalfPage, right, [] { glTranslatef(0, 0, -10); });
  glBindTexture(GL_TEXTURE_2D, q);
  glquads::drawQuad(glquads::kHalfPage, right, [&] {
    glTranslatef(0, 0, -10);
    glRotatef(-turned, 0, 1, 0);
  });
  glBindTexture(GL_TEXTURE_2D, p);
  glquads::drawQuad(glquads::kHalfPage, left, [&] {
    glTranslatef(0, 0, -10);
    glRotatef(180 - turned, 0, 1, 0);
    glTranslatef(-2.5f, 0, 0);
  });
}

}  // namespace kt
