#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/gl/GL.h"

struct osmesa_context;

namespace gl {

class EAGLLayer;

enum class RenderingAPI { OpenGLES1 = 1, OpenGLES2 = 2, OpenGLES3 = 3 };

// A rendering context with the OpenGL ES 1.x fixed-function pipeline, drawn by Mesa's off-screen
// renderer on the CPU. Rendering goes into framebuffer objects; a colour renderbuffer whose
// storage comes from an EAGLLayer is shown by presentRenderbuffer, which reads it back into that
// layer's contents.
//
// Contexts are used on the thread that made them current; each thread has its own current
// context, which the thread keeps alive until another is made current.
class Context {
 public:
  // OpenGL ES 1 only; nullptr for another API or when Mesa cannot make a context.
  static std::shared_ptr<Context> create(RenderingAPI api);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  RenderingAPI api() const { return m_api; }

  // Makes the context current on this thread (nullptr: none). False when Mesa refuses.
  static bool setCurrentContext(const std::shared_ptr<Context>& context);
  static Context* currentContext();

  // Gives the renderbuffer bound to `target` (GL_RENDERBUFFER) RGBA8 storage the size of the
  // layer's drawable, and ties the two together for presentRenderbuffer. The context must be
  // current. False when nothing is bound or the size is empty (the storage is then 0 x 0).
  bool renderbufferStorage(GLenum target, const std::shared_ptr<EAGLLayer>& drawable);
  // Shows the renderbuffer bound to `target` in the layer it was made from: its pixels become the
  // layer's contents (rows turned top-down; alpha taken as 1 on an opaque layer). False when the
  // context is not current, nothing is bound, or the buffer has no drawable.
  bool presentRenderbuffer(GLenum target);

 private:
  struct Key {};

 public:
  Context(Key, RenderingAPI api, osmesa_context* mesa) : m_api(api), m_mesa(mesa) {}

 private:
  RenderingAPI m_api;
  osmesa_context* m_mesa;
  GLuint m_readFramebuffer = 0;
  std::map<GLuint, std::weak_ptr<EAGLLayer>> m_drawables;
  std::vector<uint8_t> m_readBack;
};

}  // namespace gl
