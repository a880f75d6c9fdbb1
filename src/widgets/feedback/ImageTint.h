#pragma once

#include <memory>

namespace gfx {
class Color;
class Image;
}  // namespace gfx

namespace kt {

// The image drawn with its opaque parts in the colour (a template image in its tint); null for
// no image.
std::shared_ptr<const gfx::Image> imageWithTintColor(const std::shared_ptr<const gfx::Image>& image, const gfx::Color& color);

}  // namespace kt
