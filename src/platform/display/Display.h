#pragma once

#include <cstdint>
#include <memory>

#include "platform/display/Surface.h"

namespace core {
class Error;
}

// Choosing what the program shows its window on.
namespace display {

// The exit status of a program whose display waiting cannot mend (a name that names no server, a
// refused authorization, an unfit authority file, pixels the window cannot draw, a compositor
// without a global the window needs or with an older one): the
// conventional status of a configuration error, so that a supervisor need not start it again
// until its set-up is mended. A display that did not come, or went away, ends it with status 1.
constexpr int ConfigurationErrorStatus = 78;

// The code of open()'s error (in Surface::ErrorDomain) when waiting cannot mend the display; a
// display that did not come in time is Surface::OpenFailed.
constexpr int64_t DisplayCannotWork = 5;

// The least time the window system's start is given, from handing the display to SDL until the
// window's first frame is on show, when less than that is left of the wait (WindowStartWatch).
// The sanitizer builds do the same work several times slower: a whole start on a loaded machine
// may pass 10 s there without being stuck, so they get the room the stop's ceiling gets.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double MinWindowStartSeconds = 25;
#else
constexpr double MinWindowStartSeconds = 10;
#endif

struct OpenOptions {
  // How long a display that is named but cannot be opened yet is waited for, in seconds (0: not
  // at all). A compositor or X server that is starting or restarting comes back within it.
  double waitSeconds = 30;
  // A descriptor whose becoming readable ends the wait at once (a termination signal's signalfd),
  // -1 for none.
  int interruptFd = -1;
};

// The wait for a named display: KT_DISPLAY_WAIT (seconds) when set, else the setting
// "Display_Wait", else 30 s. A value that is not a number of seconds is said on standard error
// and left aside.
double displayWaitSeconds();

// A real window when $DISPLAY or $WAYLAND_DISPLAY is set, else (and always with KT_OFFSCREEN=1) an
// offscreen surface. A display that is named but where no window opens is never replaced by an
// offscreen surface, since nothing would ever be shown. Only a display that is not there yet is
// waited for: a socket missing or refusing, a server that does not answer in time or closes the
// connection during its start, a compositor that offers no seat or no output yet. Standard error
// says once why, and that the display is waited for; it is tried again (each try's wait for an
// answer bounded by what is left of the wait and ended by `interruptFd`) until the wait is over,
// and then nullptr comes back with the reason in `error`. What waiting cannot mend (a name that names no server, a refused authorization, pixels
// the window cannot draw, a compositor's global missing or too old) comes back at once; what only
// the title bar needs is said once, and the window shown without it. A termination signal during
// the wait or the window's start ends it as an interruption, said as none of these.
std::unique_ptr<Surface> open(const OpenOptions& options, core::Error* error = nullptr);

}  // namespace display
