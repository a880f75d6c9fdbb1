#pragma once

#include <functional>
#include <memory>
#include <string>

namespace media {

class FrameSource;

enum class MediaType { Video, Audio };

// Whether the program may use the camera. NotDetermined: there is nothing to decide on (no
// source found). Denied: a camera exists but this user may not open it.
enum class AuthorizationStatus { NotDetermined, Denied, Authorized };

// Where the frames of a session come from, in this order: a source installed for the process
// (ImageSource::installForProcess); the environment variable KT_CAMERA naming a /dev/video*
// device, a still image or a folder of images; else the first /dev/video* device that captures.
class CaptureDevice {
 public:
  enum class Kind { Installed, Camera, Images };

  // The video device, or nullptr when there is no source at all (or for any other media type).
  static std::shared_ptr<CaptureDevice> defaultDeviceWithMediaType(MediaType type);
  static AuthorizationStatus authorizationStatus(MediaType type);
  // Nothing is asked of the user here: the answer (granted when Authorized) comes on the main
  // queue.
  static void requestAccess(MediaType type, std::function<void(bool granted)> handler);

  // The device path, image path, or the installed source's name.
  const std::string& uniqueID() const { return m_uniqueID; }
  Kind kind() const { return m_kind; }

  // Whether this user may open the device.
  bool isAccessible() const;
  // A fresh source to read frames from (the installed one for Kind::Installed); nullptr when the
  // device cannot be read any more.
  std::shared_ptr<FrameSource> makeSource(int preferredWidth, int preferredHeight) const;

 private:
  struct Key {};

 public:
  CaptureDevice(Key, Kind kind, std::string uniqueID, std::shared_ptr<FrameSource> shared);

 private:
  Kind m_kind = Kind::Camera;
  std::string m_uniqueID;
  std::shared_ptr<FrameSource> m_shared;  // the installed source or the images read
};

}  // namespace media
