#include "widgets/gltransitions/ClothTransition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace kt {

namespace {

constexpr int LastColumn = ClothTransition::Columns - 1;
constexpr int LastRow = ClothTransition::Rows - 1;

constexpr int pointIndex(int i, int j) { return j * ClothTransition::Columns + i; }

// The C library's generator as a fraction in [0, 1).
float noise() { return static_cast<float>(random()) / 2147483648.0f; }

}  // namespace

void ClothTransition::initTransition() {
  m_width = 320;
  m_height = 480;
  m_oglWidth = 3.31370854f;
  m_oglHeight = 4.97056293f;
  m_friction = 0.97f;
  m_velocityStrength = 10.0f;

  // A second set-up starts over in the same arrays.
  m_normals.assign(PointCount * 3, 0);
  m_vertices.assign(PointCount * 3, 0);
  m_texCoords.assign(PointCount * 2, 0);
  m_velocities.assign(PointCount * 3, 0);
  m_indices.assign(IndexCapacity, 0);

  const GLTexCoords& tex = basicTexCoords();
  for (int j = 0; j < Rows; ++j) {
    for (int i = 0; i < Columns; ++i) {
      const int p = pointIndex(i, j);
      const float fi = static_cast<float>(i) / LastColumn;
      const float fj = static_cast<float>(j) / LastRow;
      m_normals[p * 3 + 2] = 1;
      m_vertices[p * 3] = fi * m_oglWidth - m_oglWidth / 2;
      m_vertices[p * 3 + 1] = fj * m_oglHeight - m_oglHeight / 2;
      m_texCoords[p * 2] = tex.x0 + fi * (tex.x3 - tex.x0);
      m_texCoords[p * 2 + 1] = tex.y0 + fj * (tex.y3 - tex.y0);
    }
  }

  // One strip snaking over the column pairs: up the even pairs, down the odd ones. A pair's last
  // row gives only its left point; the next pair starts on that row.
  int n = 0;
  for (int k = 0; k < LastColumn; ++k) {
    for (int row = 0; row < Rows; ++row) {
      const int j = k % 2 == 0 ? row : LastRow - row;
      m_indices[n++] = static_cast<GLushort>(pointIndex(k, j));
      if (row < LastRow) m_indices[n++] = static_cast<GLushort>(pointIndex(k + 1, j));
    }
  }
  m_indices[n++] = static_cast<GLushort>(pointIndex(LastColumn, LastRow));
  m_indicesCount = n;

  punchAtPoint({320, 0}, 0.1);

  glDisable(GL_CULL_FACE);
  glEnable(GL_NORMALIZE);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  const GLfloat ambient[] = {0.3f, 0.3f, 0.3f, 1};
  const GLfloat white[] = {1, 1, 1, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
  glLightfv(GL_LIGHT0, GL_SPECULAR, white);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 100);

  m_remainingCalcTime = 0;
  m_animationTime = 0;
}

void ClothTransition::punchAtPoint(gfx::Point point, double strength) {
  if (m_velocities.empty()) return;
  // The push measures the cloth in 30 x 45 steps.
  const double u = point.x / m_width;
  const long c0 = std::lround(u * Columns);
  const long r = std::lroundf(5 / m_oglWidth * Columns);
  if (r <= 0) return;
  const float cx = static_cast<float>(u * m_oglWidth);
  const double w = (m_height - point.y) / m_height;
  const float cy = static_cast<float>(w * m_oglHeight);
  const long j0 = std::lround(w * Rows);

  for (long c = std::max(c0 - r, 1L); c < c0 + r && c <= LastColumn - 1; ++c) {
    for (long k = std::max(j0 - r, 1L); k < j0 + r && k <= LastRow - 1; ++k) {
      const float dx = cx - static_cast<float>(c) / Columns * m_oglWidth;
      const float dy = cy - static_cast<float>(k) / Rows * m_oglHeight;
      const float d = std::sqrt(dx * dx + dy * dy);
      const double impulse = std::max(0.0, std::sin(d * std::numbers::pi / 3.5) * 0.2 * strength);
      GLfloat& vz = m_velocities[pointIndex(static_cast<int>(c), static_cast<int>(k)) * 3 + 2];
      vz = static_cast<float>(vz + impulse);
    }
  }
}

bool ClothTransition::calc(double dt) {
  m_remainingCalcTime = static_cast<float>(m_remainingCalcTime + dt);
  m_animationTime = static_cast<float>(m_animationTime + dt);
  // Nothing to move before set-up.
  if (m_vertices.empty()) return false;

  const float h = m_remainingCalcTime > 0.005 && m_remainingCalcTime < 0.012f ? m_remainingCalcTime : 0.012f;
  bool finished = false;
  while (m_remainingCalcTime >= h) {
    m_remainingCalcTime -= h;
    finished = step();
  }
  computeNormals();
  return finished;
}

bool ClothTransition::step() {
  constexpr double pull = 8e-7;
  GLfloat* pos = m_vertices.data();
  GLfloat* vel = m_velocities.data();

  for (int i = 0; i < Columns; ++i) {
    for (int j = 0; j < Rows; ++j) {
      const int p = pointIndex(i, j);
      float v[3] = {vel[p * 3], vel[p * 3 + 1], vel[p * 3 + 2]};
      // Springs to the right and upper neighbours; the neighbour takes its share at once.
      auto spring = [&](int q) {
        const float e[3] = {pos[q * 3] - pos[p * 3], pos[q * 3 + 1] - pos[p * 3 + 1], pos[q * 3 + 2] - pos[p * 3 + 2]};
        const float l = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
        if (!(l > 0)) return;
        const float f = static_cast<float>((0.11 - l) * -0.48);
        for (int a = 0; a < 3; ++a) {
          const float g = e[a] / l * f;
          v[a] += g;
          vel[q * 3 + a] -= g;
        }
      };
      if (i < LastColumn) spring(pointIndex(i + 1, j));
      if (j < LastRow) spring(pointIndex(i, j + 1));

      v[0] = static_cast<float>(v[0] + -0.0007);
      // Noise, z first.
      v[2] = static_cast<float>(v[2] + noise() * 0.001 - 0.0005);
      v[0] = static_cast<float>(v[0] + noise() * 0.001 - 0.0005);
      v[1] = static_cast<float>(v[1] + noise() * 0.001 - 0.0005);

      // The top-right part is pulled towards the viewer and the bottom left.
      if (i >= 21 && j >= 11) {
        v[0] = static_cast<float>(v[0] - i * i * pull);
        v[1] = static_cast<float>(v[1] - j * j * pull);
        v[2] = static_cast<float>(v[2] + i * i * pull + j * j * pull);
      }
      for (int a = 0; a < 3; ++a) vel[p * 3 + a] = v[a] * 0.98f;
    }
  }

  // Column 0 holds the cloth; the rest moves and never goes behind the after picture.
  const float leftEdge = -m_oglWidth / 2;
  bool finished = true;
  for (int i = 1; i < Columns; ++i) {
    for (int j = 0; j < Rows; ++j) {
      const int p = pointIndex(i, j);
      pos[p * 3] = static_cast<float>(pos[p * 3] + vel[p * 3] * 0.8);
      pos[p * 3 + 1] = static_cast<float>(pos[p * 3 + 1] + vel[p * 3 + 1] * 0.8);
      pos[p * 3 + 2] = std::max(0.0f, static_cast<float>(pos[p * 3 + 2] + vel[p * 3 + 2] * 0.8));
      if (pos[p * 3] > leftEdge) finished = false;
    }
  }
  return finished;
}

void ClothTransition::computeNormals() {
  if (m_vertices.empty()) return;
  const GLfloat* pos = m_vertices.data();
  for (int i = 1; i < LastColumn; ++i) {
    for (int j = 1; j < LastRow; ++j) {
      const int left = pointIndex(i - 1, j), right = pointIndex(i + 1, j);
      const int lower = pointIndex(i, j - 1), upper = pointIndex(i, j + 1);
      GLfloat* n = &m_normals[pointIndex(i, j) * 3];
      n[0] = pos[left * 3 + 2] - pos[right * 3 + 2];
      n[1] = pos[lower * 3 + 2] - pos[upper * 3 + 2];
      n[2] = (pos[right * 3] - pos[left * 3]) + (pos[upper * 3 + 1] - pos[lower * 3 + 1]);
    }
  }
}

void ClothTransition::perspective(double fovy, double aspect, double zNear, double zFar) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const double top = std::tan(fovy * std::numbers::pi / 360) * zNear;
  const double bottom = -top;
  const double left = bottom * aspect;
  const double right = top * aspect;
  glFrustumf(static_cast<GLfloat>(left), static_cast<GLfloat>(right), static_cast<GLfloat>(bottom),
             static_cast<GLfloat>(top), static_cast<GLfloat>(zNear), static_cast<GLfloat>(zFar));
}

void ClothTransition::drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) {
  glDisable(GL_CULL_FACE);
  glEnable(GL_NORMALIZE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_LIGHTING);

  perspective(45, static_cast<float>(m_width) / static_cast<float>(m_height), 0.01, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -5.99f);
  const GLfloat lightPosition[] = {2.0f, 3.5f, 5.5f, 1.0f};
  glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);

  glClearColor(0.5f, 0.5f, 0.5f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  // The cloth, lit, with the before picture.
  if (m_indicesCount > 0) {
    glBindTexture(GL_TEXTURE_2D, beginTexture);
    glNormalPointer(GL_FLOAT, 0, m_normals.data());
    glVertexPointer(3, GL_FLOAT, 0, m_vertices.data());
    glTexCoordPointer(2, GL_FLOAT, 0, m_texCoords.data());
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDrawElements(GL_TRIANGLE_STRIP, m_indicesCount, GL_UNSIGNED_SHORT, m_indices.data());
    // Nothing after this frame reads normals, and the array goes with the transition.
    glDisableClientState(GL_NORMAL_ARRAY);
  }

  // The after picture, flat just behind the cloth.
  glDisable(GL_LIGHTING);
  glEnable(GL_CULL_FACE);
  const GLfloat w = m_oglWidth / 2, h = m_oglHeight / 2;
  const GLfloat quad[] = {-w, -h, w, -h, -w, h, w, h};
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, quad);
  glTexCoordPointer(2, GL_FLOAT, 0, &basicTexCoords().x0);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glPushMatrix();
  glBindTexture(GL_TEXTURE_2D, endTexture);
  glTranslatef(0, 0, -6);
  glColor4f(1, 1, 1, 1);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  glPopMatrix();
}

}  // namespace kt
