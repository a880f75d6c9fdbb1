#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// A global a Wayland compositor announces in its registry.
struct WaylandGlobal {
  uint32_t name = 0;
  std::string interface;
  uint32_t version = 0;
  bool operator==(const WaylandGlobal&) const = default;
};

// What the window needs of a Wayland global: its lowest version, and what becomes of the window
// without it.
struct WaylandNeed {
  enum class WhenMissing {
    Never,     // no window without it, whatever the wait
    Waited,    // it comes with a device (a seat, an output): waited for like a display not there yet
    TitleBar,  // the window is shown without its title bar
  };
  const char* interface = "";
  uint32_t lowest = 1;             // below it no window
  uint32_t lowestForTitleBar = 1;  // below it the window is shown without its title bar
  WhenMissing whenMissing = WhenMissing::Never;
  const char* meanwhile = "";      // Waited: what the window lacks until it comes
};

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

// The first bytes of a Wayland connection: the client's sync request, and the reader of the
// compositor's events until that sync's callback is done.
class WaylandSyncReader {
 public:
  enum class State { More, Done, Error, Malformed };
  // The request: wl_display.sync with the callback object 2.
  static std::string request();
  // Takes what arrived; Done once the callback's done event came, Error on the display's error
  // event, Malformed on a message no compositor sends.
  State feed(const uint8_t* data, size_t size);
  State state() const { return m_state; }

 private:
  std::string m_pending;
  State m_state = State::More;
};

// The first bytes of a Wayland connection that reads the compositor's registry: the client asks
// for the registry, then syncs; the compositor's events are read until that sync's callback is
// done. Only the globals of the interfaces asked about are kept, at most MaxGlobalsPerInterface
// of each (the highest version of an interface is what counts), so a compositor that floods its
// registry costs no more, and its flood of one interface hides no other; a global removed before
// the callback is forgotten.
class WaylandRegistryReader {
 public:
  enum class State { More, Done, Error, Malformed };
  static constexpr uint32_t RegistryId = 2, CallbackId = 3;
  static constexpr size_t MaxGlobalsPerInterface = 16;
  // libwayland's client reads no message longer than its buffer.
  static constexpr size_t MaxMessageBytes = 4096;

  explicit WaylandRegistryReader(std::vector<std::string> interfaces = {}) : m_interfaces(std::move(interfaces)) {}
  // wl_display.get_registry (new id 2), then wl_display.sync (new id 3).
  static std::string request();
  // Takes what arrived; Done once the callback's done event came, Error on the display's error
  // event, Malformed on a message no compositor sends (or libwayland would refuse: a cut string, a
  // string without its NUL, an interface's null string, a length that is not one).
  State feed(const uint8_t* data, size_t size);
  State state() const { return m_state; }
  // The globals kept, in the order announced.
  const std::vector<WaylandGlobal>& globals() const { return m_globals; }
  // The highest version of `interface` kept, 0 when none.
  uint32_t version(const std::string& interface) const;
  // Error: the compositor's words (displayableWords) and the error's code.
  const std::string& errorWords() const { return m_errorWords; }
  uint32_t errorCode() const { return m_errorCode; }

 private:
  State take(const uint8_t* message, size_t length, uint32_t object, uint32_t opcode);

  std::vector<std::string> m_interfaces;
  std::vector<WaylandGlobal> m_globals;
  std::string m_pending;
  std::string m_errorWords;
  uint32_t m_errorCode = 0;
  State m_state = State::More;
};

// A compositor's globals held against the window's needs: Never with each global missing for good
// or below its lowest version (its name and the versions), else NotYet with each one to be waited
// for, else There; `titleBar` false (and `titleBarCause`) where the title bar cannot be drawn.
// `where` names the compositor for the causes.
struct WaylandJudgement {
  Probe::Outcome outcome = Probe::Outcome::There;
  std::string cause;
  bool titleBar = true;
  std::string titleBarCause;
};
WaylandJudgement judgeWaylandGlobals(const WaylandRegistryReader& registry, const std::vector<WaylandNeed>& needs,
                                     const std::string& where);

}  // namespace display
