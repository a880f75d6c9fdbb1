#include "widgets/feedback/ImageTint.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

namespace kt {

std::shared_ptr<const gfx::Image> imageWithTintColor(const std::shared_ptr<const gfx::Image>& image, const gfx::Color& color) {
  if (!image) return nullptr;
  auto ctx = gfx::Context::bitmap(image->size(), image->scale(), false);
  if (!ctx) return image;
  const gfx::Rect whole(gfx::Point{0, 0}, image->size());
  ctx->drawImage(*image, whole);
  // The colour takes the place of the image's colours where the image is opaque.
  ctx->setBlendMode(gfx::BlendMode::SourceAtop);
  ctx->setFillColor(color);
  ctx->fillRect(whole);
  return ctx->makeImage();
}

}  // namespace kt
