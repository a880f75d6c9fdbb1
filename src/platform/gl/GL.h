#pragma once

// OpenGL for the platform's GL contexts: Mesa's off-screen renderer in its compatibility profile,
// which keeps the fixed-function pipeline of OpenGL ES 1.1 (matrices, lights, client arrays) and
// has framebuffer objects in the core names (glGenFramebuffers, GL_FRAMEBUFFER, ...). The ES 1.1
// single-precision calls that desktop headers lack are declared here; the library exports them.
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>

extern "C" {
GLAPI void GLAPIENTRY glFrustumf(GLfloat left, GLfloat right, GLfloat bottom, GLfloat top, GLfloat zNear,
                                 GLfloat zFar);
GLAPI void GLAPIENTRY glOrthof(GLfloat left, GLfloat right, GLfloat bottom, GLfloat top, GLfloat zNear,
                               GLfloat zFar);
}
