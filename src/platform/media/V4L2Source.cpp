#include "platform/media/V4L2Source.h"

#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/media/CaptureDeviceInput.h"

namespace media {
namespace {

int xioctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = v4l2_ioctl(fd, request, arg);
  } while (r == -1 && errno == EINTR);
  return r;
}

core::Error deviceError(const std::string& path, const std::string& what) {
  return core::Error::withDescription(CaptureDeviceInput::ErrorDomain, CaptureDeviceInput::DeviceUnavailable,
                                      path + ": " + what);
}

// The number after "/dev/video", or -1 for other names.
int videoNumber(const std::string& name) {
  constexpr std::string_view prefix = "video";
  if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size() || name.size() > prefix.size() + 4) return -1;
  int n = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

}  // namespace

V4L2Source::V4L2Source(std::string path, int width, int height)
    : m_path(std::move(path)), m_width(width), m_height(height) {}

V4L2Source::~V4L2Source() {
  stop();
}

std::vector<std::string> V4L2Source::devicePaths() {
  std::vector<std::pair<int, std::string>> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
    int n = videoNumber(entry.path().filename().string());
    if (n >= 0) found.emplace_back(n, entry.path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& f : found) paths.push_back(std::move(f.second));
  return paths;
}

bool V4L2Source::capturesVideo(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  v4l2_capability cap{};
  bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
  ::close(fd);
  if (!ok) return false;
  uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
  return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

bool V4L2Source::start(FrameHandler handler, core::Error* error) {
  stop();
  int fd = v4l2_open(m_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    core::setError(error, deviceError(m_path, std::strerror(errno)));
    return false;
  }
  // libv4l2 converts whatever the camera gives into RGB24.
  v4l2_format fmt{};
  fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  fmt.fmt.pix.width = static_cast<uint32_t>(m_width);
  fmt.fmt.pix.height = static_cast<uint32_t>(m_height);
  fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_RGB24;
  fmt.fmt.pix.field = V4L2_FIELD_ANY;
  if (xioctl(fd, VIDIOC_S_FMT, &fmt) != 0 || fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_RGB24 ||
      fmt.fmt.pix.width == 0 || fmt.fmt.pix.height == 0 || fmt.fmt.pix.width > 8192 || fmt.fmt.pix.height > 8192) {
    core::setError(error, deviceError(m_path, "no RGB24 frames"));
    v4l2_close(fd);
    return false;
  }
  m_frameWidth = static_cast<int>(fmt.fmt.pix.width);
  m_frameHeight = static_cast<int>(fmt.fmt.pix.height);
  m_bytesPerLine = std::max<int>(static_cast<int>(fmt.fmt.pix.bytesperline), m_frameWidth * 3);
  m_fd = fd;
  m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_stopping = false;
  m_thread = std::thread([this, handler = std::move(handler)] { readLoop(handler); });
  return true;
}

void V4L2Source::stop() {
  if (!m_thread.joinable()) return;
  m_stopping = true;
  uint64_t one = 1;
  (void)!::write(m_wakeFd, &one, sizeof one);
  m_thread.join();
  v4l2_close(m_fd);
  ::close(m_wakeFd);
  m_fd = -1;
  m_wakeFd = -1;
}

void V4L2Source::readLoop(FrameHandler handler) {
  const size_t frameBytes = static_cast<size_t>(m_bytesPerLine) * m_frameHeight;
  std::vector<unsigned char> buffer(frameBytes);
  while (!m_stopping) {
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    int r = ::poll(fds, 2, 1000);
    if (r < 0 && errno != EINTR) break;
    if (m_stopping) break;
    if (r <= 0 || !(fds[0].revents & (POLLIN | POLLERR | POLLHUP))) continue;
    ssize_t n = v4l2_read(m_fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      KT_LOG("%s: %s", m_path.c_str(), std::strerror(errno));
      break;
    }
    if (static_cast<size_t>(n) < static_cast<size_t>(m_frameWidth) * 3 * m_frameHeight) continue;  // short frame
    std::vector<uint32_t> argb(static_cast<size_t>(m_frameWidth) * m_frameHeight);
    for (int y = 0; y < m_frameHeight; ++y) {
      const unsigned char* in = buffer.data() + static_cast<size_t>(y) * m_bytesPerLine;
      uint32_t* out = argb.data() + static_cast<size_t>(y) * m_frameWidth;
      for (int x = 0; x < m_frameWidth; ++x, in += 3) {
        out[x] = 0xff000000u | (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
      }
    }
    handler(gfx::Image::fromPixels(m_frameWidth, m_frameHeight, std::move(argb)), true);
  }
}

}  // namespace media
