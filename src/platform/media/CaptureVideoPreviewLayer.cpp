#include "platform/media/CaptureVideoPreviewLayer.h"

#include "platform/gfx/Image.h"
#include "platform/media/CaptureSession.h"

namespace media {
namespace {

gfx::ContentsGravity contentsGravityFor(LayerVideoGravity gravity) {
  switch (gravity) {
    case LayerVideoGravity::Resize: return gfx::ContentsGravity::Resize;
    case LayerVideoGravity::ResizeAspect: return gfx::ContentsGravity::ResizeAspect;
    case LayerVideoGravity::ResizeAspectFill: return gfx::ContentsGravity::ResizeAspectFill;
  }
  return gfx::ContentsGravity::ResizeAspect;
}

}  // namespace

CaptureVideoPreviewLayer::CaptureVideoPreviewLayer() {
  // An aspect-filled frame is cut at the layer's edges.
  setMasksToBounds(true);
  setContentsGravity(contentsGravityFor(m_videoGravity));
}

std::shared_ptr<CaptureVideoPreviewLayer> CaptureVideoPreviewLayer::layerWithSession(
    const std::shared_ptr<CaptureSession>& session) {
  auto layer = std::make_shared<CaptureVideoPreviewLayer>();
  layer->m_session = session;
  if (session) {
    session->addPreviewLayer(layer);
    if (session->isRunning()) layer->showFrame(session->latestFrame());
  }
  return layer;
}

void CaptureVideoPreviewLayer::setVideoGravity(LayerVideoGravity gravity) {
  m_videoGravity = gravity;
  setContentsGravity(contentsGravityFor(gravity));
}

void CaptureVideoPreviewLayer::showFrame(std::shared_ptr<const gfx::Image> frame) {
  if (frame) setContents(std::move(frame));
}

}  // namespace media
