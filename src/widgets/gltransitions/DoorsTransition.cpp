#include "widgets/gltransitions/DoorsTransition.h"

#include <cmath>
#include <numbers>

#include "widgets/gltransitions/GLQuads.h"

namespace kt {

void DoorsTransition::initTransition() {
  glquads::setUp({-0.1f, 0.1f, -0.1f, 0.1f, 0.1f, 100}, false);
  m_animationTime = 0;
}

bool DoorsTransition::calc(double dt) {
  return glquads::advance(m_animationTime, dt * std::numbers::pi * 1.3);
}

void DoorsTransition::drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) {
  glquads::beginFrame();
  const GLuint background = m_transitionType == 1 ? beginTexture : endTexture;
  const GLuint doors = m_transitionType == 1 ? endTexture : beginTexture;
  const auto s = static_cast<float>(std::sin(static_cast<double>(m_animationTime / 2)));
  const float s2 = s * s, s3 = s2 * s;

  // No depth test: the doors are drawn over the background.
  glBindTexture(GL_TEXTURE_2D, background);
  glColor4f(s2, s2, s2, 1);
  glquads::drawQuad(glquads::kUnitQuad, basicTexCoords(),
                    [&] { glTranslatef(0, 0, static_cast<GLfloat>(s * 0.2 - 1.2)); });

  glColor4f(1 - s2, 1 - s2, 1 - s2, 1);
  glBindTexture(GL_TEXTURE_2D, doors);
  // Each door turns about the picture's outer edge.
  glquads::drawQuad(glquads::kDoorQuad, glquads::leftHalf(basicTexCoords()), [&] {
    glTranslatef(-1, 0, -1);
    glRotatef(-90 * s3, 0, 1, 0);
    glTranslatef(0.5f, 0, 0);
  });
  glquads::drawQuad(glquads::kDoorQuad, glquads::rightHalf(basicTexCoords()), [&] {
    glTranslatef(1, 0, -1);
    glRotatef(90 * s3, 0, 1, 0);
    glTranslatef(-0.5f, 0, 0);
  });
}

}  // namespace kt
