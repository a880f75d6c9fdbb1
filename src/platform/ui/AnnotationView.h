#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace gfx {
class Image;
}

namespace ui {

// The view that marks a place on a map, reduced to what stands without a map: an image drawn
// at its own size in the middle of the view (larger images are cut at the edges, as the
// platform's centred content is). Takes no touches unless interaction is enabled.
class AnnotationView : public View {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;

  static std::shared_ptr<AnnotationView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<AnnotationView>(frame);
  }
  explicit AnnotationView(const gfx::Rect& frame = gfx::Rect());

  const ImagePtr& image() const { return m_image; }
  void setImage(ImagePtr image);

 private:
  ImagePtr m_image;
};

}  // namespace ui
