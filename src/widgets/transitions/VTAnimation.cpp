#include "widgets/transitions/VTAnimation.h"

#include "platform/gfx/Color.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/View.h"

namespace kt {

namespace {

// Lays the view out and draws what needs drawing, so that a view not yet on screen shows its
// content.
void prepare(ui::View& view) { view.layoutIfNeeded(); }

}  // namespace

std::shared_ptr<gfx::Image> VTAnimation::renderImageFromView(ui::View& view) {
  return renderImageFromView(view, view.bounds());
}

std::shared_ptr<gfx::Image> VTAnimation::renderImageFromView(ui::View& view, const gfx::Rect& rect) {
  auto ctx = gfx::Context::bitmap(rect.size, 0, true);
  if (!ctx) return nullptr;
  prepare(view);
  ctx->setFillColor(gfx::Color::red());
  ctx->fillRect(gfx::Rect(0, 0, rect.width(), rect.height()));
  ctx->translate(-rect.x(), -rect.y());
  view.layer()->renderInContext(*ctx);
  return ctx->makeImage();
}

std::shared_ptr<gfx::Image> VTAnimation::renderImageFromView(ui::View& view, const gfx::Rect& rect,
                                                             const gfx::EdgeInsets& insets) {
  gfx::Size size{rect.width() + insets.left + insets.right, rect.height() + insets.top + insets.bottom};
  auto ctx = gfx::Context::bitmap(size, 0, insets == gfx::EdgeInsets{});
  if (!ctx || rect.width() <= 0 || rect.height() <= 0) return nullptr;
  prepare(view);
  ctx->clipToRect(gfx::Rect(insets.left, insets.top, rect.width(), rect.height()));
  ctx->translate(insets.left - rect.x(), insets.top - rect.y());
  view.layer()->renderInContext(*ctx);
  return ctx->makeImage();
}

std::shared_ptr<gfx::Image> VTAnimation::renderImageForAntialiasing(const gfx::Image& image) {
  return renderImageForAntialiasing(image, gfx::EdgeInsets{1, 1, 1, 1});
}

std::shared_ptr<gfx::Image> VTAnimation::renderImageForAntialiasing(const gfx::Image& image, const gfx::EdgeInsets& insets) {
  gfx::Size s = image.size();
  auto ctx = gfx::Context::bitmap({s.width + insets.left + insets.right, s.height + insets.top + insets.bottom}, 0,
                                  insets == gfx::EdgeInsets{});
  if (!ctx) return nullptr;
  ctx->drawImage(image, gfx::Rect(insets.left, insets.top, s.width, s.height));
  return ctx->makeImage();
}

}  // namespace kt
