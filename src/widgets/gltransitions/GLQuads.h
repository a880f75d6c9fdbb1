#pragma once

// Drawing helpers shared by the transitions that move the two snapshots as flat textured quads
// with the fixed-function matrices.
#include <functional>

#include "platform/gl/GL.h"
#include "widgets/gltransitions/GLTransition.h"

namespace kt::glquads {

// Vertices of a quad in triangle-strip order (bottom-left, bottom-right, top-left, top-right),
// two floats each.
using Quad = GLfloat[8];
inline constexpr Quad kUnitQuad = {-1, -1, 1, -1, -1, 1, 1, 1};
inline constexpr Quad kLargeQuad = {-2.5f, -2.5f, 2.5f, -2.5f, -2.5f, 2.5f, 2.5f, 2.5f};
inline constexpr Quad kDoorQuad = {-0.5f, -1, 0.5f, -1, -0.5f, 1, 0.5f, 1};
inline constexpr Quad kHalfPage = {0, -2.5f, 2.5f, -2.5f, 0, 2.5f, 2.5f, 2.5f};

struct Frustum {
  GLfloat left, right, bottom, top, zNear, zFar;
};

// Set-up before the first frame: the projection reset to `frustum`, no lighting, white colour,
// back faces culled and the depth test as asked.
void setUp(const Frustum& frustum, bool depthTest);

// Start of every frame: cleared to opaque black (colour and depth), texturing and the vertex and
// texture-coordinate arrays on, the model-view matrix reset.
void beginFrame();

// Moves the driving angle `time` (a float) by `step` (in double precision) up towards pi, or down
// towards 0 when `down`. True, with the angle cut back to its end, once it has passed the end.
bool advance(float& time, double step, bool down = false);

// The left and right halves of the snapshot that `coords` covers.
GLTexCoords leftHalf(const GLTexCoords& coords);
GLTexCoords rightHalf(const GLTexCoords& coords);

// Draws `vertices` with `coords` from the bound texture as a four-vertex strip, after `place`
// has moved the model-view matrix; the matrix is restored afterwards.
void drawQuad(const Quad& vertices, const GLTexCoords& coords, const std::function<void()>& place);

}  // namespace kt::glquads
