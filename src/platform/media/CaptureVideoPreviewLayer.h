#pragma once

#include <memory>

#include "platform/gfx/Layer.h"

namespace media {

class CaptureSession;

// How the frame fills the layer: Resize stretches it to the bounds, ResizeAspect fits it whole
// inside them, ResizeAspectFill covers them (cropped at the bounds).
enum class LayerVideoGravity { Resize, ResizeAspect, ResizeAspectFill };

// A layer that shows the newest frame of its session, drawn by the compositor like any layer.
class CaptureVideoPreviewLayer : public gfx::Layer {
 public:
  static std::shared_ptr<CaptureVideoPreviewLayer> layerWithSession(const std::shared_ptr<CaptureSession>& session);
  CaptureVideoPreviewLayer();

  const std::shared_ptr<CaptureSession>& session() const { return m_session; }
  LayerVideoGravity videoGravity() const { return m_videoGravity; }
  void setVideoGravity(LayerVideoGravity gravity);

 private:
  friend class CaptureSession;
  void showFrame(std::shared_ptr<const gfx::Image> frame);

  std::shared_ptr<CaptureSession> m_session;
  LayerVideoGravity m_videoGravity = LayerVideoGravity::ResizeAspect;
};

}  // namespace media
