#include "platform/media/CaptureDevice.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/core/Queue.h"
#include "platform/media/ImageSource.h"
#include "platform/media/V4L2Source.h"

namespace media {

CaptureDevice::CaptureDevice(Key, Kind kind, std::string uniqueID, std::shared_ptr<FrameSource> shared)
    : m_kind(kind), m_uniqueID(std::move(uniqueID)), m_shared(std::move(shared)) {}

std::shared_ptr<CaptureDevice> CaptureDevice::defaultDeviceWithMediaType(MediaType type) {
  if (type != MediaType::Video) return nullptr;
  if (auto installed = ImageSource::installedForProcess()) {
    return std::make_shared<CaptureDevice>(Key{}, Kind::Installed, installed->name(), installed);
  }
  const char* named = std::getenv("KT_CAMERA");
  if (named && *named) {
    std::string path = named;
    if (path.rfind("/dev/video", 0) == 0) {
      if (::access(path.c_str(), F_OK) != 0) return nullptr;
      return std::make_shared<CaptureDevice>(Key{}, Kind::Camera, path, nullptr);
    }
    auto images = ImageSource::fromPath(path);
    if (!images) return nullptr;
    return std::make_shared<CaptureDevice>(Key{}, Kind::Images, path, images);
  }
  // The first camera that captures; else one this user may not open (so access reads Denied).
  std::string refused;
  for (const auto& path : V4L2Source::devicePaths()) {
    if (V4L2Source::capturesVideo(path)) return std::make_shared<CaptureDevice>(Key{}, Kind::Camera, path, nullptr);
    if (refused.empty() && ::access(path.c_str(), R_OK | W_OK) != 0) refused = path;
  }
  if (!refused.empty()) return std::make_shared<CaptureDevice>(Key{}, Kind::Camera, refused, nullptr);
  return nullptr;
}

AuthorizationStatus CaptureDevice::authorizationStatus(MediaType type) {
  auto device = defaultDeviceWithMediaType(type);
  if (!device) return AuthorizationStatus::NotDetermined;
  return device->isAccessible() ? AuthorizationStatus::Authorized : AuthorizationStatus::Denied;
}

void CaptureDevice::requestAccess(MediaType type, std::function<void(bool granted)> handler) {
  if (!handler) return;
  bool granted = authorizationStatus(type) == AuthorizationStatus::Authorized;
  core::Queue::main()->async([handler = std::move(handler), granted] { handler(granted); });
}

bool CaptureDevice::isAccessible() const {
  if (m_kind != Kind::Camera) return true;
  return ::access(m_uniqueID.c_str(), R_OK | W_OK) == 0;
}

std::shared_ptr<FrameSource> CaptureDevice::makeSource(int preferredWidth, int preferredHeight) const {
  if (m_kind == Kind::Camera) return std::make_shared<V4L2Source>(m_uniqueID, preferredWidth, preferredHeight);
  // Several sessions may read one image source: each gets a reader of its own.
  if (auto images = std::dynamic_pointer_cast<ImageSource>(m_shared)) return images->tap();
  return m_shared;
}

}  // namespace media
