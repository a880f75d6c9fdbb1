#pragma once

#include <string>

// Keys pressed on an X server's one top-level window (a nested compositor's), as a keyboard does,
// through XTest: the pointer is put over the window first, the focus following it. Kept apart
// from the tests because the X headers' macros clash with ordinary names.
class XKeyboard {
 public:
  explicit XKeyboard(const std::string& display);
  ~XKeyboard();
  XKeyboard(const XKeyboard&) = delete;
  XKeyboard& operator=(const XKeyboard&) = delete;

  // F11 pressed and let go over the window; false when there is no window or no XTest.
  bool pressF11();

 private:
  void* m_display = nullptr;
};
