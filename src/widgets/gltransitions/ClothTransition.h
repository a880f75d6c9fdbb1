#pragma once

#include <span>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "widgets/gltransitions/GLTransition.h"

namespace kt {

// The before snapshot as a lit cloth of 30 x 45 points held by springs: pushed at its top-right
// corner, it peels away to the left over the after snapshot, which lies flat just behind it.
// A mass-spring simulation with a fixed time step; the transition ends when every point but the
// fixed left column lies at or beyond the left edge.
class ClothTransition : public GLTransition {
 public:
  static constexpr int Columns = 30;
  static constexpr int Rows = 45;
  static constexpr int PointCount = Columns * Rows;
  // Room for the strip's indices (more than it needs).
  static constexpr int IndexCapacity = 5220;

  void initTransition() override;
  bool calc(double dt) override;
  void drawWithBeginTexture(GLuint beginTexture, GLuint endTexture) override;

  // Adds a ring-shaped push to the z velocities around `point`, given in the `width` x `height`
  // point space with y downwards.
  void punchAtPoint(gfx::Point point, double strength);
  // Normals of the inner points from their neighbours; the border keeps (0, 0, 1).
  void computeNormals();
  // Loads a perspective projection (vertical field of view in degrees).
  void perspective(double fovy, double aspect, double zNear, double zFar);

  double width() const { return m_width; }
  double height() const { return m_height; }
  float oglWidth() const { return m_oglWidth; }
  float oglHeight() const { return m_oglHeight; }
  float friction() const { return m_friction; }
  float velocityStrength() const { return m_velocityStrength; }
  // Three floats per point (x, y, z), point (i, j) at index j * Columns + i; empty before set-up.
  std::span<const GLfloat> vertices() const { return m_vertices; }
  std::span<const GLfloat> velocities() const { return m_velocities; }
  std::span<const GLfloat> normals() const { return m_normals; }
  // Two floats per point.
  std::span<const GLfloat> texCoords() const { return m_texCoords; }
  // The strip's indices in use (indicesCount of them).
  std::span<const GLushort> indices() const { return {m_indices.data(), static_cast<size_t>(m_indicesCount)}; }
  int indicesCount() const { return m_indicesCount; }
  float remainingCalcTime() const { return m_remainingCalcTime; }
  float animationTime() const { return m_animationTime; }

 private:
  // One fixed step: forces, then moves; true when the cloth has left.
  bool step();

  double m_width = 320, m_height = 480;
  // A 2:3 rectangle filling a 45-degree vertical field of view at distance 6.
  float m_oglWidth = 3.31370854f, m_oglHeight = 4.97056293f;
  float m_friction = 0, m_velocityStrength = 0;
  // Allocated at set-up and reused by a later one.
  std::vector<GLfloat> m_normals, m_vertices, m_texCoords, m_velocities;
  std::vector<GLushort> m_indices;
  int m_indicesCount = 0;
  float m_remainingCalcTime = 0;
  float m_animationTime = 0;
};

}  // namespace kt
