#include "platform/ui/ImageView.h"

#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Image.h"

namespace ui {

std::shared_ptr<ImageView> ImageView::withImage(ImagePtr image) {
  gfx::Size s = image ? image->size() : gfx::Size{};
  auto view = std::make_shared<ImageView>(gfx::Rect(0, 0, s.width, s.height));
  view->setImage(std::move(image));
  return view;
}

ImageView::ImageView(const gfx::Rect& frame) : View(frame) {
  setUserInteractionEnabled(false);
  setOpaque(false);
}

ImageView::~ImageView() {
  if (m_timer) m_timer->invalidate();
}

void ImageView::setImage(ImagePtr image) {
  if (m_image == image) return;
  bool wasPlayingFrames = !m_imageFrames.empty() && isAnimating();
  m_image = std::move(image);
  m_imageFrames.clear();
  if (m_image && m_image->frames().size() > 1) {
    for (const auto& f : m_image->frames()) m_imageFrames.push_back(f);
  }
  if (wasPlayingFrames) stopAnimating();
  updateContents();
  if (!m_imageFrames.empty() && m_animationImages.empty()) startAnimating();
}

void ImageView::setHighlightedImage(ImagePtr image) {
  m_highlightedImage = std::move(image);
  updateContents();
}

void ImageView::setHighlighted(bool highlighted) {
  if (m_highlighted == highlighted) return;
  m_highlighted = highlighted;
  updateContents();
}

void ImageView::setAnimationImages(std::vector<ImagePtr> images) {
  stopAnimating();
  m_animationImages = std::move(images);
}

const std::vector<ImageView::ImagePtr>& ImageView::frames() const {
  return m_animationImages.empty() ? m_imageFrames : m_animationImages;
}

double ImageView::passDuration() const {
  if (m_animationImages.empty() && !m_imageFrames.empty() && m_image && m_image->duration() > 0) return m_image->duration();
  if (m_animationDuration > 0) return m_animationDuration;
  return static_cast<double>(frames().size()) / 30.0;
}

ImageView::ImagePtr ImageView::displayedImage() const {
  if (m_timer && !frames().empty()) return frames()[m_frame % frames().size()];
  if (m_highlighted && m_highlightedImage) return m_highlightedImage;
  if (!m_imageFrames.empty()) return m_imageFrames.front();
  return m_image;
}

void ImageView::updateContents() {
  ImagePtr shown = displayedImage();
  layer()->setContents(shown);
  if (shown) layer()->setContentsScale(shown->scale());
}

void ImageView::startAnimating() {
  const auto& list = frames();
  if (list.empty() || m_timer) return;
  m_frame = 0;
  m_passes = 0;
  double interval = passDuration() / static_cast<double>(list.size());
  if (interval <= 0) interval = 1.0 / 30;
  std::weak_ptr<Responder> weak = weak_from_this();
  m_timer = core::Timer::create(interval, true, [this, weak](core::Timer&) {
    if (auto keep = weak.lock()) advanceFrame();
  });
  core::RunLoop::main().addTimer(m_timer, core::RunLoop::CommonModes);
  updateContents();
}

void ImageView::advanceFrame() {
  size_t count = frames().size();
  if (count == 0) return stopAnimating();
  if (++m_frame >= count) {
    m_frame = 0;
    ++m_passes;
    int repeats = m_animationImages.empty() ? 0 : m_animationRepeatCount;
    if (repeats > 0 && m_passes >= repeats) return stopAnimating();
  }
  updateContents();
}

void ImageView::stopAnimating() {
  if (!m_timer) return;
  m_timer->invalidate();
  m_timer.reset();
  updateContents();
}

gfx::Size ImageView::sizeThatFits(gfx::Size) const {
  ImagePtr shown = displayedImage();
  return shown ? shown->size() : gfx::Size{};
}

}  // namespace ui
