#pragma once

namespace ui {

// Numbered as the platform numbered them.
enum class DeviceOrientation {
  Unknown = 0,
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeLeft = 3,   // the home button on the right
  LandscapeRight = 4,  // the home button on the left
  FaceUp = 5,
  FaceDown = 6,
};

enum class UserInterfaceIdiom { Unspecified = -1, Phone = 0, Pad = 1 };

// The device as the interface sees it: how it is held and what kind of device it is. (The
// vendor identifier and the system version are core::Device's.)
//
// The orientation starts as landscape left, the way the tablet stands in the room (the interface
// then is landscape right). Orientation changes are posted as DeviceOrientationDidChangeNotification
// (object: the device) while someone has asked for them: begin/end calls are counted.
class Device {
 public:
  static constexpr const char* OrientationDidChangeNotification = "DeviceOrientationDidChangeNotification";

  static Device& current();

  DeviceOrientation orientation() const { return m_orientation; }
  // The display when it turns, and tests. Posts the notification when the orientation changes
  // while notifications are being generated.
  void setOrientation(DeviceOrientation orientation);

  void beginGeneratingDeviceOrientationNotifications() { ++m_generating; }
  void endGeneratingDeviceOrientationNotifications() {
    if (m_generating > 0) --m_generating;
  }
  bool isGeneratingDeviceOrientationNotifications() const { return m_generating > 0; }

  UserInterfaceIdiom userInterfaceIdiom() const { return UserInterfaceIdiom::Pad; }

  static bool isPortrait(DeviceOrientation o) {
    return o == DeviceOrientation::Portrait || o == DeviceOrientation::PortraitUpsideDown;
  }
  static bool isLandscape(DeviceOrientation o) {
    return o == DeviceOrientation::LandscapeLeft || o == DeviceOrientation::LandscapeRight;
  }
  static bool isValidInterfaceOrientation(DeviceOrientation o) { return isPortrait(o) || isLandscape(o); }

  // Back to the state of a fresh process (tests).
  void reset();

 private:
  Device() = default;

  DeviceOrientation m_orientation = DeviceOrientation::LandscapeLeft;
  int m_generating = 0;
};

}  // namespace ui
