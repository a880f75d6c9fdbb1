#pragma once

#include <memory>

#include "platform/core/WeakPtr.h"
#include "platform/gl/GL.h"
#include "platform/ui/View.h"

namespace gfx {
class Image;
}
namespace gl {
class Context;
class EAGLLayer;
}  // namespace gl
namespace ui {
class DisplayLink;
}

namespace kt {

class GLTransition;
class GLTransitionView;

// Told when a transition view's animation ends. The view holds its delegate weakly.
class GLTransitionViewDelegate {
 public:
  GLTransitionViewDelegate() = default;
  GLTransitionViewDelegate(const GLTransitionViewDelegate&) = delete;
  GLTransitionViewDelegate& operator=(const GLTransitionViewDelegate&) = delete;
  virtual ~GLTransitionViewDelegate() = default;

  virtual void transitionViewDidFinishTransition(GLTransitionView& view) = 0;

  core::WeakPtr<GLTransitionViewDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<GLTransitionViewDelegate> m_weakFactory{this};
};

// A view drawn with OpenGL ES 1: it keeps two snapshot textures (before and after a change) and
// lets its transition draw one frame from them at each display refresh until the transition says
// it has finished. Its layer is a gl::EAGLLayer, opaque, one pixel per point.
//
// Snapshots are laid out in their textures bottom-up, the way the transitions' texture
// coordinates expect: the view's bottom row at texture row H - h, its top row at row H - 1. A
// view larger than the largest texture side (1024) is drawn scaled down on that axis to fit.
class GLTransitionView : public ui::View {
 public:
  static constexpr int MinTextureSide = 16;
  static constexpr int MaxTextureSide = 1024;
  // The longest time step a frame gives its transition, so that a stall does not jump ahead.
  static constexpr double MaxFrameTime = static_cast<double>(0.05f);

  static std::shared_ptr<GLTransitionView> create(const gfx::Rect& frame) {
    return std::make_shared<GLTransitionView>(frame);
  }
  explicit GLTransitionView(const gfx::Rect& frame);
  ~GLTransitionView() override;

  std::shared_ptr<gl::EAGLLayer> eaglLayer() const;

  // ---- Context and framebuffers ----
  const std::shared_ptr<gl::Context>& context() const { return m_context; }
  // A different context drops the framebuffers made in the old one.
  void setContext(std::shared_ptr<gl::Context> context);
  void createFramebuffer();
  void deleteFramebuffer();
  // Makes the context current, builds the framebuffer when missing, binds it, sets the viewport.
  void setFramebuffer();
  // Shows the colour renderbuffer in the layer; false without a context or when nothing showed.
  bool presentFramebuffer();
  // Only drops the framebuffers: the next frame builds them at the new size.
  void layoutSubviews() override;

  int backingWidth() const { return m_backingWidth; }
  int backingHeight() const { return m_backingHeight; }
  GLuint defaultFramebuffer() const { return m_defaultFramebuffer; }
  GLuint colorRenderbuffer() const { return m_colorRenderbuffer; }
  GLuint depthRenderbuffer() const { return m_depthRenderbuffer; }

  // ---- Frames ----
  // One frame of the transition: on the first after reset() it shows the view and sets the
  // transition up; the time step is the clock's since the last frame, capped at MaxFrameTime.
  void drawView();
  int framesCount() const { return m_framesCount; }

  // ---- Snapshots ----
  GLuint genTexture();
  // Deletes the texture that `texture` names (if any) and zeroes the name.
  void deleteTexture(GLuint* texture);
  // Renders `view` into `texture` and gives the transition the texture coordinates of the
  // picture. With `needsUIImage`, also answers the rendered bitmap as an image (upside down,
  // at the bottom left, one pixel per point, as the texture holds it).
  std::shared_ptr<const gfx::Image> updateTexture(GLuint texture, ui::View& view, bool needsUIImage);
  std::shared_ptr<const gfx::Image> createBeginTextureWithView(ui::View& view);
  void createEndTextureWithView(ui::View& view);
  GLuint beginTexture() const { return m_beginTexture; }
  GLuint endTexture() const { return m_endTexture; }
  // The part of the texture the last snapshot fills.
  float textureWidthNormalized() const { return m_textureWidthNormalized; }
  float textureHeightNormalized() const { return m_textureHeightNormalized; }

  // ---- Animation ----
  static constexpr bool displayLinkSupported() { return true; }
  int animationFrameInterval() const { return m_animationFrameInterval; }
  // Display frames per drawn frame; values below 1 are ignored. A running animation goes on at
  // the new rate.
  void setAnimationFrameInterval(int interval);
  // Starts the display link (not while animating, nor without a transition).
  void startAnimation();
  // Stops the display link and tells the delegate (only while animating).
  void stopAnimation();
  // Hides the view and starts the frame count over, ready for the next transition.
  void reset();
  bool isAnimating() const { return m_animating; }

  const std::shared_ptr<GLTransition>& transition() const { return m_transition; }
  void setTransition(std::shared_ptr<GLTransition> transition) { m_transition = std::move(transition); }
  GLTransitionViewDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(core::WeakPtr<GLTransitionViewDelegate> delegate) { m_delegate = std::move(delegate); }

 private:
  bool makeCurrent() const;
  void startDisplayLink();
  void stopDisplayLink();

  std::shared_ptr<gl::Context> m_context;
  int m_backingWidth = 0;
  int m_backingHeight = 0;
  GLuint m_defaultFramebuffer = 0;
  GLuint m_colorRenderbuffer = 0;
  GLuint m_depthRenderbuffer = 0;
  bool m_animating = false;
  int m_animationFrameInterval = 1;
  std::shared_ptr<ui::DisplayLink> m_displayLink;
  std::shared_ptr<GLTransition> m_transition;
  int m_framesCount = 0;
  double m_thisTime = 0;
  double m_lastTime = 0;
  GLuint m_beginTexture = 0;
  GLuint m_endTexture = 0;
  float m_textureWidthNormalized = 0;
  float m_textureHeightNormalized = 0;
  core::WeakPtr<GLTransitionViewDelegate> m_delegate;
};

}  // namespace kt
