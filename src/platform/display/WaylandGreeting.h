#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A Wayland connection's first exchange, made before SDL is given the compositor: the bytes the
// client sends, and the reading of the compositor's events (framed once, as libwayland's client
// frames them). Either a bare sync (is anyone there?) or the registry's globals, with the pixel
// formats of its wl_shm, held against what the window needs (WindowSurface::waylandNeeds()).
namespace display {

// wl_shm's pixel formats (the protocol's codes: 0 and 1, the rest DRM's four-character codes).
constexpr uint32_t ShmArgb8888 = 0, ShmXrgb8888 = 1;
// A format's name for the user ("XRGB8888", "RGB565", or its code).
std::string shmFormatName(uint32_t format);

// What the window needs of a Wayland global: its lowest version, what becomes of the window
// without it, and how SDL and its decoration plug-in choose among several of its interface.
struct WaylandNeed {
  enum class WhenMissing {
    Never,     // no window without it, whatever the wait
    Waited,    // it comes with a device (a seat, an output): waited for like a display not there yet
    TitleBar,  // the window is shown without its title bar
  };
  enum class Pick {
    Every,  // every one announced is bound: the lowest version counts
    Last,   // the last one announced is kept (each one replaces the one before): its version counts
  };
  const char* interface = "";
  uint32_t lowest = 1;             // below it no window
  uint32_t lowestForTitleBar = 1;  // below it the window is shown without its title bar
  WhenMissing whenMissing = WhenMissing::Never;
  const char* meanwhile = "";      // Waited: what the window lacks until it comes
  Pick pick = Pick::Every;
  // wl_shm: the pixel formats the window's buffers are made in, each one to be announced (below
  // them no window, or no title bar).
  std::vector<uint32_t> formats = {};
  std::vector<uint32_t> formatsForTitleBar = {};
};

// A compositor's message, whole: its object, its opcode, and its bytes (the header included).
struct WaylandMessage {
  uint32_t object = 0;
  uint32_t opcode = 0;
  const uint8_t* bytes = nullptr;
  size_t length = 0;
};

// The compositor's bytes cut into messages as libwayland's client cuts them. Malformed, for
// good, at a header no compositor sends: shorter than itself, not whole words, or longer than
// libwayland's buffer. Keeps one message cut short at most.
class WaylandFraming {
 public:
  static constexpr size_t MaxMessageBytes = 4096;
  void append(const uint8_t* data, size_t size);
  // The next whole message (valid until the next append), none while it is still cut short.
  std::optional<WaylandMessage> next();
  bool malformed() const { return m_malformed; }

 private:
  std::string m_pending;
  size_t m_at = 0;
  bool m_malformed = false;
};

// A message's arguments read in order, as libwayland reads them: false when the next one does
// not fit in the message, or (a string) is null or lacks its NUL.
class WaylandArguments {
 public:
  explicit WaylandArguments(const WaylandMessage& message) : m_message(message) {}
  bool word(uint32_t* value);
  bool string(std::string* text);  // up to its first NUL

 private:
  WaylandMessage m_message;
  size_t m_at = 8;
};

// The plainest first exchange: wl_display.sync with the callback object 2, read until that
// callback is done.
class WaylandSyncReader {
 public:
  enum class State { More, Done, Error, Malformed };
  static std::string request();
  // Takes what arrived; Done once the callback's done event came, Error on the display's error
  // event, Malformed on a message no compositor sends.
  State feed(const uint8_t* data, size_t size);
  State state() const { return m_state; }

 private:
  WaylandFraming m_framing;
  State m_state = State::More;
};

// The first exchange that reads the compositor's registry: the client asks for the registry,
// then syncs; the globals are read until that sync's callback is done. Where a need names pixel
// formats (wl_shm), one of its globals is bound (for Every the first announced, the one our frames
// go to; for Last the last), then a second sync: its format events are read until that callback
// is done, and only then is the reading Done (the bind and the sync are what nextRequest() gives,
// to be sent after request()).
//
// Of each interface asked about the reader keeps what judging needs, not the whole registry: how
// many of its globals are there (announced and not removed), the lowest version among them, and
// the last one announced. It records (name, version) of up to MaxRecordedPerInterface of them so
// that a removal is undone exactly; those announced past the bound are counted with their lowest
// and last versions and never taken as removed (a removal cannot be matched to them). So a
// flooding compositor costs bounded memory, its flood of one interface hides no other, and no
// removal leaves an interface with none while some remain.
class WaylandRegistryReader {
 public:
  enum class State { More, Done, Error, Malformed };
  static constexpr uint32_t RegistryId = 2, CallbackId = 3, ShmId = 4, FormatsCallbackId = 5;
  static constexpr size_t MaxRecordedPerInterface = 256;
  static constexpr size_t MaxMessageBytes = WaylandFraming::MaxMessageBytes;

  // What is there of an interface.
  struct Globals {
    size_t count = 0;      // announced and not removed
    uint32_t lowest = 0;   // the lowest version among them (count > 0)
    uint32_t last = 0;     // the version of the last one announced of them (count > 0)
    bool operator==(const Globals&) const = default;
  };

  explicit WaylandRegistryReader(std::vector<WaylandNeed> needs = {});
  // wl_display.get_registry (new id 2), then wl_display.sync (new id 3).
  static std::string request();
  // Takes what arrived; Done once the last callback's done event came, Error on the display's
  // error event, Malformed on a message no compositor sends (or libwayland would refuse: a cut
  // string, a string without its NUL, an interface's null string, a length that is not one).
  State feed(const uint8_t* data, size_t size);
  State state() const { return m_state; }
  // What is to be sent now, once (empty when nothing): after the registry's callback, the bind of
  // wl_shm (new id 4, at version 1) and wl_display.sync (new id 5).
  std::string nextRequest();

  // Of an interface asked about; none of any other.
  Globals globals(const std::string& interface) const;
  // The version of `need`'s interface that the window goes by: for Every the lowest, for Last the
  // last one's, but 0 where any is at version 0 (each one is bound, and no bind is at version 0).
  // 0 when there is none.
  uint32_t versionUsed(const WaylandNeed& need) const;
  // Whether the formats of wl_shm were read (it was there at a version that can be bound), and
  // of the formats its need names those it announced; how many format events came in all.
  bool formatsRead() const { return m_formatsRead; }
  std::vector<uint32_t> formatsOffered() const;
  size_t formatsAnnounced() const { return m_formatsAnnounced; }
  // Error: the compositor's words (displayableWords) and the error's code.
  const std::string& errorWords() const { return m_errorWords; }
  uint32_t errorCode() const { return m_errorCode; }

 private:
  struct Record {
    uint32_t name = 0;
    uint32_t version = 0;
    uint64_t order = 0;  // when it was announced, among all globals
  };
  struct Interface {
    WaylandNeed need;
    std::vector<Record> recorded;  // in the order announced
    size_t unrecorded = 0;         // past the bound
    uint32_t unrecordedLowest = 0, unrecordedLast = 0;
    uint64_t unrecordedLastOrder = 0;
  };
  State take(const WaylandMessage& message);
  State registryDone();
  const Interface* find(const std::string& interface) const;

  std::vector<Interface> m_interfaces;
  WaylandFraming m_framing;
  uint64_t m_announced = 0;
  std::string m_next;
  bool m_formatsAsked = false, m_formatsRead = false;
  std::vector<uint32_t> m_formats;  // those the needs name
  std::vector<bool> m_formatSeen;   // by their index
  size_t m_formatsAnnounced = 0;
  std::string m_errorWords;
  uint32_t m_errorCode = 0;
  State m_state = State::More;
};

// A compositor's globals held against the window's needs: Never with each global missing for
// good, below its lowest version, or without a pixel format the window draws in (its name and
// the versions or formats), else NotYet with each one to be waited for, else There; `titleBar`
// false (and `titleBarCause`) where the title bar cannot be drawn. `where` names the compositor.
struct WaylandJudgement {
  enum class Outcome { There, NotYet, Never };
  Outcome outcome = Outcome::There;
  std::string cause;
  bool titleBar = true;
  std::string titleBarCause;
};
WaylandJudgement judgeWaylandGlobals(const WaylandRegistryReader& registry, const std::vector<WaylandNeed>& needs,
                                     const std::string& where);

}  // namespace display
