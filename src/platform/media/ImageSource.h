#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/FrameSource.h"

namespace core {
class Queue;
}

namespace media {

// A camera made of pictures: a still image shown as a steady stream of frames, the images of a
// folder played in name order as frames, looping, or (with no files) only the frames handed to
// pushFrame. Timed frames follow core::Clock, FrameInterval apart.
class ImageSource : public FrameSource, public std::enable_shared_from_this<ImageSource> {
 public:
  static constexpr double FrameInterval = 0.1;

  // A still image file, or a folder whose image files (.png, .jpg, .jpeg, .gif, .webp, .bmp,
  // .tif, .tiff) are the frames; nullptr when nothing there can be read as a picture.
  static std::shared_ptr<ImageSource> fromPath(const std::string& path);
  // A source whose frames come only from pushFrame.
  static std::shared_ptr<ImageSource> pushed();

  // The source defaultDeviceWithMediaType uses before looking for a camera, for the rest of the
  // process (tests); nullptr removes it.
  static void installForProcess(std::shared_ptr<FrameSource> source);
  static std::shared_ptr<FrameSource> installedForProcess();

  ~ImageSource() override;

  // Hands a frame to every session reading this source and returns once each has taken it
  // (pushed frames are never dropped, so a test sees every one looked at). Not from a frame
  // handler.
  void pushFrame(std::shared_ptr<const gfx::Image> frame);

  // The source itself reads to one reader at a time; tap() gives another reader of the same
  // frames, a source of its own with its own start and stop (one per session).
  bool start(FrameHandler handler, core::Error* error) override;
  void stop() override;
  std::shared_ptr<FrameSource> tap();
  std::string name() const override { return m_name; }

  // The files played as frames, in order (empty for a pushed source).
  const std::vector<std::string>& files() const { return m_files; }

 private:
  struct Key {};

 public:
  ImageSource(Key, std::string name, std::vector<std::string> files);

 private:
  class Tap;
  struct Reader;

  bool addReader(const std::shared_ptr<Reader>& reader, core::Error* error);
  void removeReader(const std::shared_ptr<Reader>& reader);
  void tick();

  std::string m_name;
  std::vector<std::string> m_files;
  std::mutex m_mutex;
  std::vector<std::shared_ptr<const gfx::Image>> m_frames;  // decoded on the first start
  std::vector<std::shared_ptr<Reader>> m_readers;
  size_t m_next = 0;
  bool m_ticking = false;
  std::shared_ptr<Tap> m_own;
  std::shared_ptr<core::Queue> m_queue;
};

}  // namespace media
