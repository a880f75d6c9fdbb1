#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gfx/Geometry.h"
#include "platform/gfx/Image.h"

namespace kt {
using ImagePtr = std::shared_ptr<const gfx::Image>;
}

// GIF animations: reading, frame timing, bundled animations and scaling with cropping.
namespace kt::GIF {

// A frame without a usable delay lasts this long, and so does one whose delay is below
// MinFrameDelay (players show such frames at a tenth of a second).
constexpr float DefaultFrameDuration = 0.1f;
constexpr float MinFrameDelay = 0.011f;

// The image of GIF data: a plain image when it holds one frame, else an animation at the screen mode's
// scale whose duration is the sum of its frame durations (frame count x 0.1 s when that sum is
// 0). A frame that does not decode is left out, so a GIF cut short gives its whole frames.
// nullptr for empty or undecodable data.
ImagePtr ic_animatedGIFWithData(std::string_view data);
// The duration in seconds of frame `index` of a decoded GIF (its delays as the file gives them).
float ic_frameDurationAtIndex(size_t index, const gfx::Image& source);
// The animation of the bundled resource "<name>.gif", "<name>@2x.gif" or "<name>@3x.gif" that
// gfx::Image::artworkScalesFor() takes first at the drawing scale, its frames at the file's scale;
// else the named image of the artwork (nullptr when none).
ImagePtr ic_animatedGIFNamed(const std::string& name);
// Each frame scaled to fill `size` (points, aspect kept) and cropped to it around its centre, at
// the screen's drawing scale; the image itself when `size` is zero or its own size. A still image gives
// the scaled and cropped still image.
ImagePtr ic_animatedImageByScalingAndCroppingToSize(const ImagePtr& image, gfx::Size size);

}  // namespace kt::GIF
