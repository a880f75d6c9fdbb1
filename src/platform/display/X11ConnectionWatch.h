#pragma once

#include <memory>
#include <string>

struct SDL_Window;
struct _XDisplay;

namespace display {

// Keeps Xlib from ending the program when the connection to the X server of an SDL window
// breaks (the server ended or was restarted): the loss is noted instead, so that the window can
// report it and the program stop the way it normally does. Xlib's own calls on a broken
// connection return at once from then on; nothing may wait on that connection again.
class X11ConnectionWatch {
 public:
  // For the X connection of `window`; null when the window is not on X11 or Xlib's handlers
  // cannot be set.
  static std::unique_ptr<X11ConnectionWatch> create(SDL_Window* window);
  ~X11ConnectionWatch();
  X11ConnectionWatch(const X11ConnectionWatch&) = delete;
  X11ConnectionWatch& operator=(const X11ConnectionWatch&) = delete;

  bool isConnected() const { return !m_lost; }
  // Why the connection is gone, empty while it works.
  std::string connectionError() const;
  // The display's name, such as ":0".
  const std::string& displayName() const { return m_name; }

 private:
  explicit X11ConnectionWatch(_XDisplay* display);
  static int ioError(_XDisplay* display);
  static void ioErrorExit(_XDisplay* display, void* watch);

  _XDisplay* m_display = nullptr;
  std::string m_name;
  bool m_lost = false;
  int m_errno = 0;  // errno when the connection broke
};

}  // namespace display
