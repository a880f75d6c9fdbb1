#include "platform/media/ImageSource.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"

namespace media {
namespace {

namespace fs = std::filesystem;

std::mutex g_installedMutex;

// Never destroyed: capture sessions start the installed source on their queues while the process
// exits.
std::shared_ptr<FrameSource>& installedSlot() {
  static auto* slot = new std::shared_ptr<FrameSource>;
  return *slot;
}

bool isImageName(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const char* const kExtensions[] = {".png", ".jpg", ".jpeg", ".gif", ".webp", ".bmp", ".tif", ".tiff"};
  return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](const char* e) { return ext == e; });
}

}  // namespace

// One reader of the frames. `calling` guards the handler: stop() waits for a call under way.
struct ImageSource::Reader {
  std::mutex calling;
  FrameHandler handler;
  bool active = true;

  void deliver(const std::shared_ptr<const gfx::Image>& frame, bool mayDrop) {
    std::lock_guard lock(calling);
    if (active) handler(frame, mayDrop);
  }
};

class ImageSource::Tap : public FrameSource {
 public:
  Tap(ImageSource* source, std::shared_ptr<ImageSource> keep) : m_source(source), m_keep(std::move(keep)) {}
  ~Tap() override { stop(); }

  bool start(FrameHandler handler, core::Error* error) override {
    stop();
    auto reader = std::make_shared<Reader>();
    reader->handler = std::move(handler);
    if (!m_source->addReader(reader, error)) return false;
    std::lock_guard lock(m_mutex);
    m_reader = std::move(reader);
    return true;
  }
  void stop() override {
    std::shared_ptr<Reader> reader;
    {
      std::lock_guard lock(m_mutex);
      reader = std::move(m_reader);
    }
    if (reader) m_source->removeReader(reader);
  }
  std::string name() const override { return m_source->name(); }

 private:
  ImageSource* m_source = nullptr;
  std::shared_ptr<ImageSource> m_keep;
  std::mutex m_mutex;
  std::shared_ptr<Reader> m_reader;
};

ImageSource::ImageSource(Key, std::string name, std::vector<std::string> files)
    : m_name(std::move(name)), m_files(std::move(files)), m_queue(core::Queue::createSerial("media.images")) {}

ImageSource::~ImageSource() {
  m_own.reset();
}

std::shared_ptr<ImageSource> ImageSource::pushed() {
  return std::make_shared<ImageSource>(Key{}, "pushed frames", std::vector<std::string>{});
}

std::shared_ptr<ImageSource> ImageSource::fromPath(const std::string& path) {
  std::error_code ec;
  std::vector<std::string> candidates;
  if (fs::is_directory(path, ec)) {
    for (const auto& entry : fs::directory_iterator(path, ec)) {
      if (entry.is_regular_file(ec) && isImageName(entry.path())) candidates.push_back(entry.path().string());
    }
    std::sort(candidates.begin(), candidates.end());  // name order, byte by byte
  } else if (fs::is_regular_file(path, ec)) {
    candidates.push_back(path);
  }
  std::vector<std::string> files;
  std::vector<std::shared_ptr<const gfx::Image>> frames;
  for (const auto& file : candidates) {
    core::Error error;
    auto image = gfx::Image::fromFile(file, 1.0, &error);
    if (!image) {
      KT_LOG("skipping %s: %s", file.c_str(), error.description().c_str());
      continue;
    }
    // Animated files give their first frame; orientation is applied to the pixels.
    if (!image->frames().empty()) image = image->frames().front();
    frames.push_back(image->upright());
    files.push_back(file);
  }
  if (frames.empty()) return nullptr;
  auto source = std::make_shared<ImageSource>(Key{}, path, std::move(files));
  source->m_frames = std::move(frames);
  return source;
}

void ImageSource::installForProcess(std::shared_ptr<FrameSource> source) {
  std::lock_guard lock(g_installedMutex);
  installedSlot() = std::move(source);
}

std::shared_ptr<FrameSource> ImageSource::installedForProcess() {
  std::lock_guard lock(g_installedMutex);
  return installedSlot();
}

bool ImageSource::start(FrameHandler handler, core::Error* error) {
  {
    std::lock_guard lock(m_mutex);
    if (!m_own) m_own = std::make_shared<Tap>(this, nullptr);
  }
  return m_own->start(std::move(handler), error);
}

void ImageSource::stop() {
  std::shared_ptr<Tap> own;
  {
    std::lock_guard lock(m_mutex);
    own = m_own;
  }
  if (own) own->stop();
}

std::shared_ptr<FrameSource> ImageSource::tap() {
  return std::make_shared<Tap>(this, shared_from_this());
}

bool ImageSource::addReader(const std::shared_ptr<Reader>& reader, core::Error*) {
  std::lock_guard lock(m_mutex);
  m_readers.push_back(reader);
  if (!m_frames.empty() && !m_ticking) {
    m_ticking = true;
    std::weak_ptr<ImageSource> weak = weak_from_this();
    m_queue->async([weak] {
      if (auto self = weak.lock()) self->tick();
    });
  }
  return true;
}

void ImageSource::removeReader(const std::shared_ptr<Reader>& reader) {
  {
    std::lock_guard lock(m_mutex);
    std::erase(m_readers, reader);
  }
  // Waits for a call under way to return.
  std::lock_guard calling(reader->calling);
  reader->active = false;
}

void ImageSource::tick() {
  std::shared_ptr<const gfx::Image> frame;
  std::vector<std::shared_ptr<Reader>> readers;
  {
    std::lock_guard lock(m_mutex);
    if (m_readers.empty()) {
      m_ticking = false;
      return;
    }
    frame = m_frames[m_next % m_frames.size()];
    m_next = (m_next + 1) % m_frames.size();
    readers = m_readers;
  }
  for (const auto& r : readers) r->deliver(frame, true);
  std::weak_ptr<ImageSource> weak = weak_from_this();
  m_queue->after(FrameInterval, [weak] {
    if (auto self = weak.lock()) self->tick();
  });
}

void ImageSource::pushFrame(std::shared_ptr<const gfx::Image> frame) {
  if (!frame) return;
  std::vector<std::shared_ptr<Reader>> readers;
  {
    std::lock_guard lock(m_mutex);
    readers = m_readers;
  }
  for (const auto& r : readers) r->deliver(frame, false);
}

}  // namespace media
