#include "platform/ui/Device.h"

#include "platform/core/NotificationCenter.h"

namespace ui {

Device& Device::current() {
  static Device device;
  return device;
}

void Device::setOrientation(DeviceOrientation orientation) {
  if (orientation == m_orientation) return;
  m_orientation = orientation;
  if (isGeneratingDeviceOrientationNotifications())
    core::NotificationCenter::defaultCenter().post(OrientationDidChangeNotification, this);
}

void Device::reset() {
  m_orientation = DeviceOrientation::LandscapeLeft;
  m_generating = 0;
}

}  // namespace ui
