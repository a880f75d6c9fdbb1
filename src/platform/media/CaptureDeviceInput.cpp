#include "platform/media/CaptureDeviceInput.h"

#include "platform/core/Error.h"
#include "platform/media/CaptureDevice.h"
#include "platform/media/V4L2Source.h"

namespace media {

std::shared_ptr<CaptureDeviceInput> CaptureDeviceInput::deviceInputWithDevice(
    const std::shared_ptr<CaptureDevice>& device, core::Error* error) {
  if (!device) {
    core::setError(error, core::Error::withDescription(ErrorDomain, NoDevice, "No capture device."));
    return nullptr;
  }
  if (!device->isAccessible()) {
    core::setError(error, core::Error::withDescription(ErrorDomain, AccessDenied,
                                                       "Access to " + device->uniqueID() + " was refused."));
    return nullptr;
  }
  if (device->kind() == CaptureDevice::Kind::Camera && !V4L2Source::capturesVideo(device->uniqueID())) {
    core::setError(error, core::Error::withDescription(ErrorDomain, DeviceUnavailable,
                                                       device->uniqueID() + " does not capture video."));
    return nullptr;
  }
  return std::make_shared<CaptureDeviceInput>(device);
}

}  // namespace media
