#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/gfx/Image.h"

namespace kt {
using ImagePtr = std::shared_ptr<const gfx::Image>;
}

// Decoding of downloaded or cached bytes into an image: GIF animations and the EXIF orientation
// of JPEG pictures included.
namespace kt::MultiFormat {

// The image, animated for a GIF of several frames; nullptr for empty or undecodable data.
ImagePtr ic_imageWithData(std::string_view data);
// The orientation the data's EXIF block gives (JPEG APP1 or a TIFF's first directory); Up when
// there is none or it cannot be read.
gfx::ImageOrientation ic_imageOrientationFromImageData(std::string_view data);
// EXIF orientation 1 to 8 to the image orientation; Up for any other value.
gfx::ImageOrientation ic_exifOrientationToiOSOrientation(int64_t exif);

}  // namespace kt::MultiFormat
