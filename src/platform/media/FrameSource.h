#pragma once

#include <functional>
#include <memory>
#include <string>

namespace core {
class Error;
}
namespace gfx {
class Image;
}

namespace media {

// What a capture device reads its pictures from: a camera, a still image, a folder of images or
// frames a test hands over. A source is started by one session at a time.
class FrameSource {
 public:
  // Called for each frame, on a thread of the source. `mayDrop`: the frame may be skipped when
  // the reader is behind (a live stream); otherwise the call waits until the frame is taken.
  using FrameHandler = std::function<void(std::shared_ptr<const gfx::Image> frame, bool mayDrop)>;

  virtual ~FrameSource() = default;

  // Starts delivering frames to `handler`; false (and the error) when the source cannot run.
  virtual bool start(FrameHandler handler, core::Error* error) = 0;
  // Stops delivering: no call of the handler starts after it returns, and one under way has
  // returned.
  virtual void stop() = 0;

  // For logs and the device's name.
  virtual std::string name() const = 0;
};

}  // namespace media
