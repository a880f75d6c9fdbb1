#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/FrameSource.h"

namespace media {

// A V4L2 camera read through libv4l2 (which converts the camera's own formats to RGB24), on a
// thread of its own. Frames are live: they may be dropped when the reader is behind.
class V4L2Source : public FrameSource {
 public:
  // The device path (/dev/videoN) and the frame size to ask for; the driver may give another.
  V4L2Source(std::string path, int width, int height);
  ~V4L2Source() override;

  // Whether `path` is a V4L2 device that captures video.
  static bool capturesVideo(const std::string& path);
  // The /dev/video* devices, in number order.
  static std::vector<std::string> devicePaths();

  bool start(FrameHandler handler, core::Error* error) override;
  void stop() override;
  std::string name() const override { return m_path; }

 private:
  void readLoop(FrameHandler handler);

  std::string m_path;
  int m_width = 0;
  int m_height = 0;
  int m_fd = -1;
  int m_wakeFd = -1;  // eventfd that ends the reading thread
  int m_frameWidth = 0;
  int m_frameHeight = 0;
  int m_bytesPerLine = 0;
  std::atomic<bool> m_stopping{false};
  std::thread m_thread;
};

}  // namespace media
