#include "widgets/gltransitions/GLTransitionView.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gl/Context.h"
#include "platform/gl/EAGLLayer.h"
#include "platform/ui/DisplayLink.h"
#include "widgets/gltransitions/GLTransition.h"

namespace kt {

namespace {

// The smallest power of two from MinTextureSide up to MaxTextureSide that holds `points`.
int textureSide(double points) {
  int side = GLTransitionView::MinTextureSide;
  while (side < GLTransitionView::MaxTextureSide && points > side) side *= 2;
  return side;
}

// The view's layer drawn upside down at the bottom of a `width` x `height` bitmap (one pixel per
// point), scaled by (sx, sy): its top row lands on the bitmap's last row.
std::shared_ptr<const gfx::Image> renderUpsideDown(ui::View& view, int width, int height, double sx, double sy) {
  auto ctx = gfx::Context::bitmap(gfx::Size{static_cast<double>(width), static_cast<double>(height)}, 1, false);
  if (!ctx) return nullptr;
  ctx->translate(0, height);
  ctx->scaleBy(sx, -sy);
  view.layer()->renderInContext(*ctx);
  return ctx->makeImage();
}

// The image's premultiplied pixels as R, G, B, A bytes, its first row first.
std::vector<uint8_t> rgbaBytes(const gfx::Image& image) {
  const int width = image.pixelWidth(), height = image.pixelHeight();
  std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4, 0);
  const auto* base = reinterpret_cast<const uint8_t*>(image.pixels());
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(base + static_cast<size_t>(y) * image.stride());
    uint8_t* out = bytes.data() + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x, out += 4) {
      const uint32_t p = row[x];
      out[0] = static_cast<uint8_t>(p >> 16);
      out[1] = static_cast<uint8_t>(p >> 8);
      out[2] = static_cast<uint8_t>(p);
      out[3] = static_cast<uint8_t>(p >> 24);
    }
  }
  return bytes;
}

}  // namespace

GLTransitionView::GLTransitionView(const gfx::Rect& frame) : ui::View(frame, gl::EAGLLayer::create()) {
  setUserInteractionEnabled(true);
  setOpaque(true);
  auto layer = eaglLayer();
  layer->setOpaque(true);
  // One renderbuffer pixel per point, whatever the drawing scale; the compositor scales the
  // picture to the screen.
  setContentsScaleFollowsScreen(false);
  layer->setContentsScale(1);
  layer->setDrawableProperties({false, gl::ColorFormatRGBA8});
  setContext(gl::Context::create(gl::RenderingAPI::OpenGLES1));
  setFramebuffer();
}

GLTransitionView::~GLTransitionView() {
  stopDisplayLink();
  if (makeCurrent()) {
    deleteTexture(&m_beginTexture);
    deleteTexture(&m_endTexture);
  }
  deleteFramebuffer();
  // The thread keeps its current context alive; let ours go with the view.
  if (m_context && gl::Context::currentContext() == m_context.get()) gl::Context::setCurrentContext(nullptr);
}

std::shared_ptr<gl::EAGLLayer> GLTransitionView::eaglLayer() const {
  return std::static_pointer_cast<gl::EAGLLayer>(layer());
}

bool GLTransitionView::makeCurrent() const {
  if (!m_context) return false;
  return gl::Context::currentContext() == m_context.get() || gl::Context::setCurrentContext(m_context);
}

// ---- Context and framebuffers ----------------------------------------------------------------

void GLTransitionView::setContext(std::shared_ptr<gl::Context> context) {
  if (context == m_context) return;
  deleteFramebuffer();
  m_context = std::move(context);
  gl::Context::setCurrentContext(nullptr);
}

void GLTransitionView::createFramebuffer() {
  if (!m_context || m_defaultFramebuffer) return;
  if (!makeCurrent()) return;
  glGenFramebuffers(1, &m_defaultFramebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, m_defaultFramebuffer);

  glGenRenderbuffers(1, &m_colorRenderbuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, m_colorRenderbuffer);
  m_context->renderbufferStorage(GL_RENDERBUFFER, eaglLayer());
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &m_backingWidth);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_HEIGHT, &m_backingHeight);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorRenderbuffer);

  glGenRenderbuffers(1, &m_depthRenderbuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, m_depthRenderbuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, m_backingWidth, m_backingHeight);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthRenderbuffer);

  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status != GL_FRAMEBUFFER_COMPLETE) KT_LOG("Failed to make complete framebuffer object %x", status);
}

void GLTransitionView::deleteFramebuffer() {
  if (!makeCurrent()) return;
  if (m_defaultFramebuffer) {
    glDeleteFramebuffers(1, &m_defaultFramebuffer);
    m_defaultFramebuffer = 0;
  }
  if (m_colorRenderbuffer) {
    glDeleteRenderbuffers(1, &m_colorRenderbuffer);
    m_colorRenderbuffer = 0;
  }
  if (m_depthRenderbuffer) {
    glDeleteRenderbuffers(1, &m_depthRenderbuffer);
    m_depthRenderbuffer = 0;
  }
}

void GLTransitionView::setFramebuffer() {
  if (!makeCurrent()) return;
  if (!m_defaultFramebuffer) createFramebuffer();
  glBindFramebuffer(GL_FRAMEBUFFER, m_defaultFramebuffer);
  glViewport(0, 0, m_backingWidth, m_backingHeight);
}

bool GLTransitionView::presentFramebuffer() {
  if (!makeCurrent()) return false;
  glBindRenderbuffer(GL_RENDERBUFFER, m_colorRenderbuffer);
  return m_context->presentRenderbuffer(GL_RENDERBUFFER);
}

void GLTransitionView::layoutSubviews() { deleteFramebuffer(); }

// ---- Frames ----------------------------------------------------------------------------------

void GLTransitionView::drawView() {
  // Held for the frame: the transition may be replaced from the delegate's callback.
  const std::shared_ptr<GLTransition> transition = m_transition;
  if (!transition) return;
  setFramebuffer();
  m_thisTime = core::Clock::now();
  if (m_framesCount == 0) {
    setHidden(false);
    m_lastTime = m_thisTime;
  }
  double dt = m_thisTime - m_lastTime;
  m_lastTime = m_thisTime;
  if (dt > MaxFrameTime) dt = MaxFrameTime;
  if (m_framesCount == 0) transition->initTransition();
  const bool finished = transition->calc(dt);
  // Without a context of its own the view cannot draw, but the transition still runs to its end.
  if (makeCurrent()) {
    transition->drawWithBeginTexture(m_beginTexture, m_endTexture);
    presentFramebuffer();
  }
  ++m_framesCount;
  if (finished) stopAnimation();
}

// ---- Snapshots -------------------------------------------------------------------------------

GLuint GLTransitionView::genTexture() {
  if (!makeCurrent()) return 0;
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  return texture;
}

void GLTransitionView::deleteTexture(GLuint* texture) {
  if (!texture || !*texture) return;
  if (makeCurrent()) glDeleteTextures(1, texture);
  *texture = 0;
}

std::shared_ptr<const gfx::Image> GLTransitionView::updateTexture(GLuint texture, ui::View& view, bool needsUIImage) {
  const gfx::Rect frame = view.frame();
  const double w = frame.width(), h = frame.height();
  const int textureWidth = textureSide(w), textureHeight = textureSide(h);
  // A side beyond the largest texture is drawn scaled down to fit, so that the whole view is in
  // the texture and the normalized sizes stay within 1.
  const double sx = w > textureWidth ? textureWidth / w : 1;
  const double sy = h > textureHeight ? textureHeight / h : 1;
  m_textureWidthNormalized = sx < 1 ? 1.0f : static_cast<float>(w / textureWidth);
  m_textureHeightNormalized = sy < 1 ? 1.0f : static_cast<float>(h / textureHeight);

  if (m_transition) {
    float u = m_textureWidthNormalized, v = m_textureHeightNormalized;
    // A quarter turn of the view swaps the roles of its width and height.
    if (view.layer()->affineTransform().a == 0) std::swap(u, v);
    m_transition->setBasicTexCoords({0, 1 - v, u, 1 - v, 0, 1, u, 1});
  }

  const std::shared_ptr<const gfx::Image> bitmap = renderUpsideDown(view, textureWidth, textureHeight, sx, sy);
  if (bitmap && makeCurrent()) {
    const std::vector<uint8_t> bytes = rgbaBytes(*bitmap);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, textureWidth, textureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
  }
  if (!needsUIImage) return nullptr;
  if (sx == 1 && sy == 1) return bitmap;
  // The image shows the view at its own size, laid out as the bitmap is.
  return renderUpsideDown(view, std::max(textureWidth, static_cast<int>(std::ceil(w))),
                          std::max(textureHeight, static_cast<int>(std::ceil(h))), 1, 1);
}

std::shared_ptr<const gfx::Image> GLTransitionView::createBeginTextureWithView(ui::View& view) {
  if (!m_beginTexture) m_beginTexture = genTexture();
  return updateTexture(m_beginTexture, view, true);
}

void GLTransitionView::createEndTextureWithView(ui::View& view) {
  if (!m_endTexture) m_endTexture = genTexture();
  updateTexture(m_endTexture, view, false);
}

// ---- Animation -------------------------------------------------------------------------------

void GLTransitionView::setAnimationFrameInterval(int interval) {
  if (interval < 1) return;
  m_animationFrameInterval = interval;
  if (m_animating) {
    // A new link at the new rate; the transition goes on, so the delegate is not told.
    stopDisplayLink();
    startDisplayLink();
  }
}

void GLTransitionView::startAnimation() {
  if (m_animating || !m_transition) return;
  startDisplayLink();
  m_animating = true;
}

void GLTransitionView::stopAnimation() {
  if (!m_animating) return;
  stopDisplayLink();
  // Cleared before the delegate hears it, so that it may start the next animation from there.
  m_animating = false;
  if (GLTransitionViewDelegate* delegate = m_delegate.get()) delegate->transitionViewDidFinishTransition(*this);
}

void GLTransitionView::reset() {
  setHidden(true);
  m_framesCount = 0;
}

void GLTransitionView::startDisplayLink() {
  std::weak_ptr<GLTransitionView> weak = std::static_pointer_cast<GLTransitionView>(weak_from_this().lock());
  m_displayLink = ui::DisplayLink::create([weak](ui::DisplayLink&) {
    if (auto view = weak.lock()) view->drawView();
  });
  m_displayLink->setFrameInterval(m_animationFrameInterval);
  m_displayLink->addToRunLoop(core::RunLoop::current(), core::RunLoop::DefaultMode);
}

void GLTransitionView::stopDisplayLink() {
  if (!m_displayLink) return;
  auto link = std::move(m_displayLink);
  link->invalidate();
}

}  // namespace kt
