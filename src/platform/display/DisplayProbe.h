#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display/WaylandGreeting.h"

// A look at the displays the environment names, made before SDL is given one. SDL's own start on
// a display blocks, with no time limit, until the server answers, and a Wayland connection closed
// during its first exchange crashes it; so the first exchange is made here, polled against a
// time limit and a descriptor that ends the wait (a termination signal), and only a server that
// answered is handed to SDL. The look also tells a display that is not there yet (worth waiting
// for) from one that waiting cannot mend (a name that names no server, a refused authorization,
// pixels the window cannot draw). Of a Wayland compositor it reads the registry, its globals held
// against what the window needs (WindowSurface::waylandNeeds()): SDL and its decoration plug-in
// crash on a compositor that lacks a global they bind, or offers it at a lower version.
namespace display {

struct Probe {
  enum class Outcome {
    There,        // a server answered: SDL may open `driver`
    NotYet,       // nothing answered yet (missing, refusing, silent, or closed during its start)
    Never,        // what is named cannot work, however long the program waits
    Interrupted,  // the interrupt descriptor became readable
  };
  Outcome outcome = Outcome::NotYet;
  // "wayland" or "x11" when There; empty when SDL is to choose by itself (SDL_VIDEODRIVER names
  // a driver this look does not know).
  std::string driver;
  // Why not, for the user; for several displays named, each one's reason.
  std::string cause;
  // An X server's probing connection, kept open until SDL has its own: an X server started to
  // end with its last client (-terminate) would end when it closed first. Closed with the last copy.
  std::shared_ptr<void> connection;
  // There: the display, for the user ("the X server at :0"), and the address its server answered
  // at, as getpeername() gives it for a socket connected there (peerLength 0 when not known).
  std::string where;
  sockaddr_storage peer{};
  socklen_t peerLength = 0;
  // There: the first exchange's request that the server answered (empty when not known), with
  // which the start's watch asks it again whether it is still there.
  std::string request;
  // There on Wayland: false when the compositor lacks what drawing the title bar needs, and
  // `titleBarCause` says what, for the user.
  bool titleBar = true;
  std::string titleBarCause;
};

// Looks at WAYLAND_DISPLAY's compositor and DISPLAY's X server (those SDL_VIDEODRIVER allows, in
// its order, else Wayland first), side by side, waiting for their answers at most `within` in
// all. There with the first one in that order that answered, as soon as those before it have
// failed; NotYet while any of them may still come, Never when none can.
// A Wayland compositor's globals are held against `waylandNeeds`.
Probe probeDisplays(std::chrono::steady_clock::duration within, int interruptFd,
                    const std::vector<WaylandNeed>& waylandNeeds = {});

// The desktop drivers SDL_VIDEODRIVER names, in its order, as SDL reads it: a comma-separated
// list of names in any case. "wayland" and "x11" only; `others` is set when it names another.
std::vector<std::string> chosenDesktopDrivers(const std::string& list, bool* others = nullptr);

// A display server's own words made fit for a line of the log: control characters (and bytes
// outside printable ASCII, which a terminal may take as controls) replaced, at most `limit`
// bytes, cut with "...".
std::string displayableWords(const std::string& words, size_t limit = 200);

// Why the X authority file Xlib would read (XAUTHORITY, else ~/.Xauthority) cannot be one: not a
// regular file (a FIFO would block its reading, a device never end it) or larger than any cookie
// file. Empty when it is fit to be read, or missing.
std::string xAuthorityProblem();
constexpr long long MaxXAuthorityBytes = 1 << 20;

// ---- the pieces, for tests -------------------------------------------------------------------

// DISPLAY read as Xlib reads it: "[host]:number[.screen]", "unix:number[.screen]".
struct XDisplayName {
  std::string host;  // empty (or "unix") for the local server
  int number = 0;
  int screen = 0;
};
std::optional<XDisplayName> parseXDisplayName(const std::string& text);

// The TCP port of X display `number` (6000 plus it); nothing past 65535, where it names no port.
std::optional<uint16_t> xServerPort(int number);

// The X server's answer to a connection set-up, read from the bytes received so far.
struct XSetupReply {
  enum class Status { Incomplete, Failed, Authenticate, Success, Malformed };
  Status status = Status::Incomplete;
  std::string reason;  // Failed, Authenticate: the server's words (displayableWords)
  // Success: the screens, and of the asked screen its root window's depth and visual class
  // (2 GrayScale ... 4 TrueColor, 5 DirectColor; -1 when the root visual is not listed).
  int screens = 0;
  int rootDepth = 0;
  int rootVisualClass = -1;
};
XSetupReply parseXSetupReply(const uint8_t* data, size_t size, int screen);

}  // namespace display
