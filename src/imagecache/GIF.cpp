#include "imagecache/GIF.h"

#include <algorithm>
#include <vector>

#include "platform/core/Bundle.h"
#include "platform/core/Paths.h"
#include "platform/gfx/Context.h"

namespace kt::GIF {

namespace {

using MutableImages = std::vector<std::shared_ptr<gfx::Image>>;

// gfx::Image::animated takes its frames as they are stored; images never change once made.
std::shared_ptr<gfx::Image> mutableImage(const ImagePtr& image) { return std::const_pointer_cast<gfx::Image>(image); }

// A frame's delay as it is shown: one below MinFrameDelay lasts DefaultFrameDuration.
float frameDuration(double delay) {
  const float seconds = static_cast<float>(delay);
  return seconds < MinFrameDelay ? DefaultFrameDuration : seconds;
}

// The image of GIF data whose frames are given `frameScale` (a still image `stillScale`).
ImagePtr animatedGIF(std::string_view data, double stillScale, double frameScale) {
  if (data.empty()) return nullptr;
  const std::vector<gfx::Image::Frame> source = gfx::Image::gifFrames(data, stillScale);
  if (source.empty()) return gfx::Image::decode(data, stillScale);
  if (source.size() == 1) return source.front().image;  // a still image

  const double scale = frameScale;
  MutableImages frames;
  float total = 0;
  for (const gfx::Image::Frame& frame : source) {
    if (!frame.image) continue;  // a frame that does not decode is left out
    total += frameDuration(frame.delay);
    frames.push_back(frame.image->withScale(scale, gfx::ImageOrientation::Up));
  }
  if (frames.empty()) return nullptr;
  if (total == 0) total = static_cast<float>(source.size()) * DefaultFrameDuration;
  return gfx::Image::animated(std::move(frames), total);
}

// A bundled file of artwork drawn at `scale`.
ImagePtr gifFromFile(const std::string& path, double scale) {
  std::string bytes;
  if (!core::paths::readFile(path, bytes)) return nullptr;
  return animatedGIF(bytes, scale, scale);
}

}  // namespace

ImagePtr ic_animatedGIFWithData(std::string_view data) { return animatedGIF(data, 1.0, gfx::Image::modeScale()); }

float ic_frameDurationAtIndex(size_t index, const gfx::Image& source) {
  const std::vector<double>& delays = source.frameDelays();
  return index < delays.size() ? frameDuration(delays[index]) : DefaultFrameDuration;
}

ImagePtr ic_animatedGIFNamed(const std::string& name) {
  const core::Bundle& bundle = core::Bundle::main();
  for (double scale : gfx::Image::artworkScalesFor(gfx::Image::drawingScale())) {
    if (auto path = bundle.pathForResource(name + gfx::Image::artworkSuffix(scale), "gif"))
      return gifFromFile(*path, scale);
  }
  return gfx::Image::named(name);
}

ImagePtr ic_animatedImageByScalingAndCroppingToSize(const ImagePtr& image, gfx::Size size) {
  if (!image) return nullptr;
  const gfx::Size own = image->size();
  if (size == own || size == gfx::Size{}) return image;

  const double widthFactor = size.width / own.width;
  const double heightFactor = size.height / own.height;
  const double factor = std::max(widthFactor, heightFactor);
  const gfx::Size scaled{own.width * factor, own.height * factor};
  gfx::Point origin;
  if (widthFactor > heightFactor)
    origin.y = (size.height - scaled.height) * 0.5;
  else if (heightFactor > widthFactor)
    origin.x = (size.width - scaled.width) * 0.5;

  // A still image is its own single frame.
  const bool animated = !image->frames().empty();
  MutableImages frames;
  const MutableImages sources = animated ? image->frames() : MutableImages{mutableImage(image)};
  for (const auto& frame : sources) {
    auto context = gfx::Context::bitmap(size);
    if (!context) return nullptr;
    context->drawImage(*frame, gfx::Rect{origin, scaled});
    frames.push_back(context->makeImage());
  }
  if (!animated) return frames.front();
  return gfx::Image::animated(std::move(frames), image->duration());
}

}  // namespace kt::GIF
