#pragma once

#include <memory>

#include "platform/gfx/Image.h"

namespace kt {
using ImagePtr = std::shared_ptr<const gfx::Image>;
}

namespace kt::ForceDecode {

// An opaque still image redrawn into a plain bitmap without alpha (same scale and orientation),
// so that showing it later costs no decoding. Images with alpha and animations come back as they
// are; nullptr gives nullptr.
ImagePtr decodedImageWithImage(const ImagePtr& image);

}  // namespace kt::ForceDecode
