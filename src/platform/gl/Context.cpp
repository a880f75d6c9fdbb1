#include "platform/gl/Context.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <cstdlib>

#include "platform/gfx/Image.h"
#include "platform/gfx/Transaction.h"
#include "platform/gl/EAGLLayer.h"

#if defined(__SANITIZE_THREAD__)
#define KT_GL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KT_GL_THREAD_SANITIZER 1
#endif
#endif

namespace gl {

namespace {
thread_local std::shared_ptr<Context> t_current;
// Mesa needs a buffer to make a context current, and keeps a small record for each context made
// current with one until the process ends; drawing goes into framebuffer objects, so every
// context shares this one buffer.
uint32_t g_placeholder[2 * 2];
}  // namespace

std::shared_ptr<Context> Context::create(RenderingAPI api) {
  if (api != RenderingAPI::OpenGLES1) return nullptr;
  // Mesa would keep compiled shaders in a folder of its own under the user's cache; the few
  // fixed-function states drawn here compile in milliseconds, so nothing is written there.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
#ifdef KT_GL_THREAD_SANITIZER
  // Mesa rasterises on worker threads of its own, which it hands work to and tears down in ways
  // ThreadSanitizer cannot see (the library is not built with it), so every frame drawn would be
  // reported inside the renderer. Under the sanitizer it draws on the calling thread instead;
  // our own threads stay checked. Read once, when the first context is made.
  setenv("LP_NUM_THREADS", "0", 0);
#endif
  const int attributes[] = {OSMESA_FORMAT, OSMESA_RGBA, OSMESA_DEPTH_BITS, 0, OSMESA_PROFILE,
                            OSMESA_COMPAT_PROFILE, 0};
  OSMesaContext mesa = OSMesaCreateContextAttribs(attributes, nullptr);
  if (!mesa) return nullptr;
  return std::make_shared<Context>(Key{}, api, mesa);
}

Context::~Context() {
  if (t_current.get() == this) t_current.reset();  // not reached: the current context is held
  if (OSMesaGetCurrentContext() == m_mesa) OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
  OSMesaDestroyContext(m_mesa);
}

bool Context::setCurrentContext(const std::shared_ptr<Context>& context) {
  if (!context) {
    if (OSMesaGetCurrentContext()) OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    t_current.reset();
    return true;
  }
  if (!OSMesaMakeCurrent(context->m_mesa, g_placeholder, GL_UNSIGNED_BYTE, 2, 2)) return false;
  t_current = context;
  return true;
}

Context* Context::currentContext() { return t_current.get(); }

bool Context::renderbufferStorage(GLenum target, const std::shared_ptr<EAGLLayer>& drawable) {
  if (t_current.get() != this || !drawable) return false;
  GLint bound = 0;
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
  if (bound == 0) return false;
  GLint largest = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
  const int width = std::min(drawable->drawablePixelWidth(), static_cast<int>(largest));
  const int height = std::min(drawable->drawablePixelHeight(), static_cast<int>(largest));
  glRenderbufferStorage(target, GL_RGBA8, width, height);
  m_drawables[static_cast<GLuint>(bound)] = drawable;
  // Names of deleted renderbuffers are reused by GL; forget the drawables that are gone.
  std::erase_if(m_drawables, [](const auto& entry) { return entry.second.expired(); });
  return width > 0 && height > 0;
}

bool Context::presentRenderbuffer(GLenum target) {
  (void)target;
  if (t_current.get() != this) return false;
  GLint bound = 0;
  glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
  const auto found = m_drawables.find(static_cast<GLuint>(bound));
  if (bound == 0 || found == m_drawables.end()) return false;
  const std::shared_ptr<EAGLLayer> layer = found->second.lock();
  if (!layer) {
    m_drawables.erase(found);
    return false;
  }
  GLint width = 0, height = 0;
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &height);
  if (width <= 0 || height <= 0) return false;

  // Read the renderbuffer through a framebuffer of our own, whatever the caller has bound.
  GLint previousRead = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousRead);
  if (m_readFramebuffer == 0) glGenFramebuffers(1, &m_readFramebuffer);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFramebuffer);
  glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, static_cast<GLuint>(bound));
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  m_readBack.resize(static_cast<size_t>(width) * height * 4);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, m_readBack.data());
  glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previousRead));

  // GL's rows run bottom-up; the picture's run top-down. GL keeps whatever its blending made, so
  // colours are clamped to the alpha to stay premultiplied.
  const bool opaque = layer->isOpaque();
  std::vector<uint32_t> argb(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = m_readBack.data() + static_cast<size_t>(height - 1 - y) * width * 4;
    uint32_t* dst = argb.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x, src += 4) {
      const uint32_t a = opaque ? 255 : src[3];
      const uint32_t r = std::min<uint32_t>(src[0], a), g = std::min<uint32_t>(src[1], a),
                     b = std::min<uint32_t>(src[2], a);
      dst[x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  const double scale = layer->contentsScale() > 0 ? layer->contentsScale() : 1;
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  layer->setContents(gfx::Image::fromPixels(width, height, std::move(argb), scale));
  gfx::Transaction::commit();
  return true;
}

}  // namespace gl
