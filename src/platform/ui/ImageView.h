#pragma once

#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace core {
class Timer;
}
namespace gfx {
class Image;
}

namespace ui {

// Shows an image as the layer's content, placed by the content mode; or cycles through a list of
// images on a timer of the main run loop. An animated image (one with frames) plays by itself.
// Image views take no touches unless interaction is enabled.
class ImageView : public View {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;

  static std::shared_ptr<ImageView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<ImageView>(frame);
  }
  // Sized to the image.
  static std::shared_ptr<ImageView> withImage(ImagePtr image);
  explicit ImageView(const gfx::Rect& frame = gfx::Rect());
  ~ImageView() override;

  const ImagePtr& image() const { return m_image; }
  void setImage(ImagePtr image);
  const ImagePtr& highlightedImage() const { return m_highlightedImage; }
  void setHighlightedImage(ImagePtr image);
  bool isHighlighted() const { return m_highlighted; }
  void setHighlighted(bool highlighted);

  const std::vector<ImagePtr>& animationImages() const { return m_animationImages; }
  void setAnimationImages(std::vector<ImagePtr> images);
  // Seconds for one pass through the images; 0 means 1/30 s per image.
  double animationDuration() const { return m_animationDuration; }
  void setAnimationDuration(double seconds) { m_animationDuration = seconds; }
  // 0 repeats for ever.
  int animationRepeatCount() const { return m_animationRepeatCount; }
  void setAnimationRepeatCount(int count) { m_animationRepeatCount = count; }
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return m_timer != nullptr; }
  // The image shown now (a frame while animating).
  ImagePtr displayedImage() const;

  gfx::Size sizeThatFits(gfx::Size size) const override;

 private:
  void updateContents();
  void advanceFrame();
  const std::vector<ImagePtr>& frames() const;
  double passDuration() const;

  ImagePtr m_image;
  ImagePtr m_highlightedImage;
  bool m_highlighted = false;
  std::vector<ImagePtr> m_animationImages;
  std::vector<ImagePtr> m_imageFrames;  // the frames of an animated image
  double m_animationDuration = 0;
  int m_animationRepeatCount = 0;
  std::shared_ptr<core::Timer> m_timer;
  size_t m_frame = 0;
  int m_passes = 0;
};

}  // namespace ui
