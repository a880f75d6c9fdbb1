#pragma once

#include <sys/socket.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <string_view>

// The window system's start, bounded. From handing the display to SDL until the window's first
// frame is confirmed on show, SDL and Xlib may block or spin on the display's connection with no
// time limit of their own (a server stopped or hung after answering the first exchange, a
// compositor killed while the window is made) and may even crash on a connection closed under
// them. While armed, a thread of its own watches the time and the display's connections: when a
// connection to the display is hung up before the window is made, it says "The display went away
// while the window was being made: ..." and ends the process with status 1, so that a supervisor
// starts it again. Past the limit the start ends with status 1 too, whatever the display does: the
// watch asks the display itself, with a first exchange of its own, only to say which it was (the
// display gone, said the same way, or the start stuck with the display alive: a library waiting
// on something else). The limit counts the time the program ran: a pause of the whole process
// (SIGSTOP, a debugger) moves it by the pause, less an allowance for a busy machine's late wake-up.
//
// While armed, a SIGSEGV, SIGBUS or SIGABRT (Xlib's own abort on a connection cut short) on any
// thread is looked at: when a connection to the display has been hung up, or the display does not
// answer, it is the display's loss, said the same way with status 1; otherwise it is a crash of
// the program's own: one line names the signal and the display, then the signal's default action
// ends it (a core). The handlers before are put back when the watch ends.
//
// One start at a time, in the process (the main thread's); the calls below come from the main
// thread, except frameShown(), which may come from anywhere.
namespace display {

class WindowStartWatch {
 public:
  // The start of the line said when the start fails.
  static constexpr const char* LinePrefix = "The display went away while the window was being made: ";
  // The start of the line said when the start ends at its limit with the display answering.
  static constexpr const char* StuckLinePrefix = "The window system's start is stuck: ";
  // The start of the line said before a crash of the program's own during the start (the display
  // fine) ends it by its signal.
  static constexpr const char* CrashLinePrefix = "The window system crashed during its start: ";
  // How long the display is given to answer a first exchange past the limit.
  static constexpr int AnswerMilliseconds = 3000;

  // Arms the watch for `limit` from now. `where` names the display for the line ("the Wayland
  // compositor at ..."); `peer` (of `peerLength` bytes, none when 0) is its address as a
  // connected socket's getpeername() gives it: a socket of this process connected there and hung
  // up is the display's end. For an address of the internet families, only the port is compared
  // (a name may be reached at several addresses). `request` is the first exchange's request that
  // the display answered (DisplayProbe), sent there again at the limit to ask whether it is alive,
  // which chooses the line; without a peer and a request, the line says only the limit.
  static void arm(std::chrono::steady_clock::duration limit, const std::string& where, const sockaddr* peer,
                  socklen_t peerLength, const std::string& request = {});
  // The window is made: from now on the window notices a connection's end itself and says it as
  // any loss of the display; the watch ends the start only at its limit, until the first frame.
  static void windowMade();
  // The first frame is on show (or the start was given up in an orderly way): the watch ends.
  static void disarm();
  // Called when a frame is confirmed on show (the server has answered after it); the first one
  // ends the watch.
  static void frameShown();
  static bool isArmed();
  // The display's name while armed ("the X server at :0"), for those that say a loss themselves.
  static std::string where();
  // Says a line that ends the process and ends it with `status`, unless another thread is ending
  // it already (the watch, a crash's handler, Xlib's handler of a broken connection): then waits
  // for that end, so that one loss is said in one line. A crash on the thread saying the line (its
  // write may wait on a full standard error) ends the process by the crash's signal instead of
  // waiting for itself. System calls only: a signal handler may call it.
  [[noreturn]] static void endProcess(int status, std::initializer_list<std::string_view> parts);
};

}  // namespace display
