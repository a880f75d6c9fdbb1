#pragma once

#include <sys/socket.h>

#include <chrono>
#include <string>

// The window system's start, bounded. From handing the display to SDL until the window has shown
// its first frame, SDL and Xlib may block or spin on the display's connection with no time limit
// of their own (a server stopped or hung after answering the first exchange, a compositor killed
// while the window is made) and SDL may even crash on a connection closed under it. While armed,
// a thread of its own watches the time and the display's connections; past the limit, or when a
// connection to the display is hung up meanwhile, it says "The display went away while the window
// was being made: ..." and ends the process with status 1, so that a supervisor starts it again.
// A crash inside the window system's own start (CrashGuard) is said the same way.
//
// One start at a time, in the process (the main thread's); the calls below come from the main
// thread, except frameShown(), which may come from anywhere.
namespace display {

class WindowStartWatch {
 public:
  // The start of the line said when the start fails.
  static constexpr const char* LinePrefix = "The display went away while the window was being made: ";

  // Arms the watch for `limit` from now. `where` names the display for the line ("the Wayland
  // compositor at ..."); `peer` (of `peerLength` bytes, none when 0) is its address as a
  // connected socket's getpeername() gives it: a socket of this process connected there and
  // hung up ends the start at once. For an address of the internet families, only the port is
  // compared (a name may be reached at several addresses).
  static void arm(std::chrono::steady_clock::duration limit, const std::string& where, const sockaddr* peer,
                  socklen_t peerLength);
  // The window is made: from now on the window notices a connection's end itself and says it as
  // any loss of the display; only the time limit is left to watch, until the first frame.
  static void windowMade();
  // The first frame is on show (or the start was given up in an orderly way): the watch ends.
  static void disarm();
  // Called with every frame shown; the first one ends the watch.
  static void frameShown();
  static bool isArmed();
  // The display's name while armed ("the X server at :0"), for those that say a loss themselves.
  static std::string where();

  // While one lives, a SIGSEGV or SIGBUS (inside SDL's start on a connection closed under it) is
  // said as the display's loss, with status 1, instead of a crash. The handlers before it are
  // put back when it goes.
  class CrashGuard {
   public:
    CrashGuard();
    ~CrashGuard();
    CrashGuard(const CrashGuard&) = delete;
    CrashGuard& operator=(const CrashGuard&) = delete;
  };
};

}  // namespace display
