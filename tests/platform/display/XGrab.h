#pragma once

#include <cstdint>
#include <string>

// What an X server shows of its one top-level window (a nested compositor's output), read back
// as 0xRRGGBB, and clicks on it as a mouse does. Kept apart from the tests because the X headers'
// macros clash with ordinary names.
class XGrab {
 public:
  explicit XGrab(const std::string& display);
  ~XGrab();
  XGrab(const XGrab&) = delete;
  XGrab& operator=(const XGrab&) = delete;

  // Reads the window again; false when it is not there.
  bool read();
  // A pixel of the last read (an unlikely colour when there is none).
  uint32_t at(int x, int y) const;
  // The mouse moved to a point of the window, and its left button pressed or let go, through the
  // X server.
  void moveTo(int x, int y);
  // The mouse moved to the X server's bottom right corner (outside a smaller window).
  void leave();
  void press(bool down);
  // Clicks of the mouse wheel: `notches` towards the user (buttons 5), or away for a negative
  // count (buttons 4).
  void turnWheel(int notches);

 private:
  unsigned long outputWindow();

  void* m_display = nullptr;
  void* m_image = nullptr;
};
