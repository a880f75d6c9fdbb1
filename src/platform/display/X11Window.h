#pragma once

#include <memory>
#include <string>

struct SDL_Window;
struct _XDisplay;

namespace display {

// The X11 side of an SDL window, for what SDL leaves undone.
//
// Keeps Xlib from ending the program when the connection to the X server breaks (the server ended
// or was restarted): the loss is noted instead, so that the window can report it and the program
// stop the way it normally does. Xlib's own calls on a broken connection return at once from then
// on; nothing may wait on that connection again.
//
// Where no window manager runs (a kiosk's bare X session), SDL's full screen only changes the size
// SDL believes the window has: placeOver() moves and sizes the X window itself.
class X11Window {
 public:
  // Sets the process's handler of broken Xlib connections (once; it stays): a connection of a
  // window is noted as lost, one no window watches yet (SDL's, while it starts) ends the program
  // with the display's loss said (as the window's start failing while WindowStartWatch is armed)
  // and status 1, never by Xlib's own exit.
  static void watchConnections();
  // For the X window of `window`; null when the window is not on X11 or Xlib's calls cannot be had.
  static std::unique_ptr<X11Window> create(SDL_Window* window);
  ~X11Window();
  X11Window(const X11Window&) = delete;
  X11Window& operator=(const X11Window&) = delete;

  bool isConnected() const { return !m_lost; }
  // Notes a connection the server has closed, without calling Xlib (which would go through its
  // error handling for it): the usual way a lost server is found, between Xlib's calls.
  void checkHangUp();
  // Why the connection is gone, empty while it works.
  std::string connectionError() const;
  // The display's name, such as ":0".
  const std::string& displayName() const { return m_name; }

  // Whether a window manager ran on the display when the window was made (it then places
  // full-screen windows itself). Looked up once: asking the server again would wait on it.
  bool hasWindowManager() const { return m_windowManager; }
  // Moves and sizes the X window to cover the rectangle (root coordinates), without waiting for
  // the server: the window's events say when it is done.
  void placeOver(int x, int y, int width, int height);

 private:
  X11Window(_XDisplay* display, unsigned long window);
  static int ioError(_XDisplay* display);
  static void ioErrorExit(_XDisplay* display, void* watch);
  static std::string brokenConnectionCause(int fd);
  bool findWindowManager() const;

  _XDisplay* m_display = nullptr;
  unsigned long m_window = 0;
  std::string m_name;
  bool m_windowManager = false;
  bool m_lost = false;
  std::string m_cause;  // how the connection broke, from its socket
};

}  // namespace display
