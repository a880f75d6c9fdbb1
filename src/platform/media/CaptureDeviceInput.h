#pragma once

#include <memory>

namespace core {
class Error;
}

namespace media {

class CaptureDevice;

// A device as the input of a capture session.
class CaptureDeviceInput {
 public:
  // nullptr (and the error) when there is no device or it may not be used.
  static std::shared_ptr<CaptureDeviceInput> deviceInputWithDevice(const std::shared_ptr<CaptureDevice>& device,
                                                                   core::Error* error = nullptr);
  static constexpr const char* ErrorDomain = "MediaErrorDomain";
  enum ErrorCode : long { NoDevice = 1, AccessDenied = 2, DeviceUnavailable = 3 };

  const std::shared_ptr<CaptureDevice>& device() const { return m_device; }

  explicit CaptureDeviceInput(std::shared_ptr<CaptureDevice> device) : m_device(std::move(device)) {}

 private:
  std::shared_ptr<CaptureDevice> m_device;
};

}  // namespace media
