#include "widgets/gltransitions/Switch3DTransition.h"

#include <cmath>
#include <numbers>

#include "widgets/gltransitions/GLQuads.h"

namespace kt {

void Switch3DTransition::initTransition() {
  glquads::setUp({-0.1f, 0.1f, -0.1f, 0.1f, 0.1f, 100}, true);
  m_animationTime = 0;
}

bool Switch3DTransition::calc(double dt) {
  return glquads::advance(m_animationTime, dt * std::numbers::pi * 1.3);
}

void Switch3DTransition::drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) {
  glquads::beginFrame();
  const float d = m_transitionType == 1 ? -1 : 1;
  const auto sine = static_cast<float>(std::sin(static_cast<double>(m_animationTime)));
  const float a = sine * sine * sine;
  const auto b = static_cast<float>(std::sin(static_cast<double>(m_animationTime / 2)));
  const float b2 = b * b, b3 = b2 * b;

  glBindTexture(GL_TEXTURE_2D, beginTexture);
  glColor4f(1 - b2, 1 - b2, 1 - b2, 1);
  glquads::drawQuad(glquads::kUnitQuad, basicTexCoords(), [&] { glTranslatef(d * a * 1.1f, 0, -1 - b3); });

  glBindTexture(GL_TEXTURE_2D, endTexture);
  glColor4f(b2, b2, b2, 1);
  glquads::drawQuad(glquads::kUnitQuad, basicTexCoords(), [&] { glTranslatef(-d * a * 1.1f, 0, b3 - 2); });
}

}  // namespace kt
