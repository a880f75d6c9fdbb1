#include "platform/ui/AnnotationView.h"

#include "platform/gfx/Image.h"

namespace ui {

AnnotationView::AnnotationView(const gfx::Rect& frame) : View(frame) {
  setUserInteractionEnabled(false);
  setOpaque(false);
  setContentMode(ContentMode::Center);
}

void AnnotationView::setImage(ImagePtr image) {
  if (m_image == image) return;
  m_image = std::move(image);
  layer()->setContents(m_image);
  if (m_image) layer()->setContentsScale(m_image->scale());
}

}  // namespace ui
