// The wait for a named display at its edges: servers that are there but do not answer or close at
// once, names and servers that waiting cannot mend, two displays named, the log of a long wait,
// and the first exchange with a server read from its bytes.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/Error.h"
#include "platform/display/Display.h"
#include "platform/display/DisplayProbe.h"
#include "platform/display/WindowSurface.h"
#include "platform/display/X11Window.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "support/DisplayServers.h"
#include "support/StandInDisplay.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

namespace {

using display::Probe;
using display::WaylandNeed;
using display::WaylandRegistryReader;
using display::WaylandSyncReader;
using display::XSetupReply;
using support::ScopedEnv;

// ---- the bytes of a first exchange -----------------------------------------------------------

using support::displaybytes::pad;
using support::displaybytes::put16;
using support::displaybytes::put32;
using support::displaybytes::xAnswer;

// A successful set-up with one screen per entry of `depths`, each root window of that depth in a
// visual of class `visualClass`.
std::string xSuccess(const std::vector<int>& depths, int visualClass) {
  std::string b;
  for (int i = 0; i < 4; ++i) put32(b, 0);
  const std::string vendor = "Test";
  put16(b, static_cast<uint16_t>(vendor.size()));
  put16(b, 0xffff);
  b.push_back(static_cast<char>(depths.size()));
  b.push_back(1);  // one pixmap format
  b.append(6, '\0');
  put32(b, 0);
  b += vendor;
  pad(b);
  b.append(8, '\0');  // the format
  for (size_t s = 0; s < depths.size(); ++s) {
    for (int i = 0; i < 5; ++i) put32(b, 0);
    for (int i = 0; i < 6; ++i) put16(b, 0);
    put32(b, 0x21 + static_cast<uint32_t>(s));  // root visual
    b.push_back(0);
    b.push_back(0);
    b.push_back(static_cast<char>(depths[s]));
    b.push_back(2);  // two depths: 1 bit without visuals, then the root's
    b.push_back(1);
    b.push_back(0);
    put16(b, 0);
    put32(b, 0);
    b.push_back(static_cast<char>(depths[s]));
    b.push_back(0);
    put16(b, 2);
    put32(b, 0);
    for (uint32_t id : {0x40u, 0x21u + static_cast<uint32_t>(s)}) {
      put32(b, id);
      b.push_back(static_cast<char>(id == 0x40 ? 5 : visualClass));
      b.append(19, '\0');
    }
  }
  return xAnswer(1, 0, b);
}

XSetupReply parse(const std::string& bytes, int screen = 0) {
  return display::parseXSetupReply(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), screen);
}

TEST(DisplayProbeTest, XDisplayNamesAreReadAsXlibReadsThem) {
  struct Case {
    const char* text;
    bool valid;
    const char* host;
    int number, screen;
  } cases[] = {
      {":0", true, "", 0, 0},         {":12.1", true, "", 12, 1},         {"unix:3", true, "unix", 3, 0},
      {"tablet:2", true, "tablet", 2, 0}, {"tcp/tablet:4.0", true, "tablet", 4, 0}, {"unix/x:5", true, "", 5, 0},
      {"garbage", false, "", 0, 0},   {":", false, "", 0, 0},             {":x", false, "", 0, 0},
      {"host::0", false, "", 0, 0},   {":1.", false, "", 0, 0},           {"", false, "", 0, 0},
      {":123456", false, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto name = display::parseXDisplayName(c.text);
    ASSERT_EQ(name.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(name->host, c.host);
    EXPECT_EQ(name->number, c.number);
    EXPECT_EQ(name->screen, c.screen);
  }
}

TEST(DisplayProbeTest, XSetupRepliesAreReadWhateverTheirCut) {
  const std::string ok = xSuccess({24}, 4);
  // Any cut short is waited on, never misread.
  for (size_t n = 0; n < ok.size(); ++n) ASSERT_EQ(parse(ok.substr(0, n)).status, XSetupReply::Status::Incomplete) << n;
  XSetupReply r = parse(ok);
  EXPECT_EQ(r.status, XSetupReply::Status::Success);
  EXPECT_EQ(r.screens, 1);
  EXPECT_EQ(r.rootDepth, 24);
  EXPECT_EQ(r.rootVisualClass, 4);

  // The screen DISPLAY names, not the first.
  r = parse(xSuccess({24, 8}, 3), 1);
  EXPECT_EQ(r.screens, 2);
  EXPECT_EQ(r.rootDepth, 8);
  EXPECT_EQ(r.rootVisualClass, 3);

  std::string words = "Authorization required, but no authorization protocol specified\n";
  std::string body = words;
  pad(body);
  r = parse(xAnswer(0, static_cast<uint8_t>(words.size()), body));
  EXPECT_EQ(r.status, XSetupReply::Status::Failed);
  EXPECT_EQ(r.reason, "Authorization required, but no authorization protocol specified");

  body = "XDM-AUTHORIZATION-1 wanted";
  pad(body);
  r = parse(xAnswer(2, 0, body));
  EXPECT_EQ(r.status, XSetupReply::Status::Authenticate);
  EXPECT_EQ(r.reason, "XDM-AUTHORIZATION-1 wanted");

  // Not X: a status no server sends, a reason longer than the answer, screens past its end.
  EXPECT_EQ(parse(xAnswer(7, 0, "")).status, XSetupReply::Status::Malformed);
  EXPECT_EQ(parse(xAnswer(0, 200, std::string(8, 'x'))).status, XSetupReply::Status::Malformed);
  std::string truncated = xSuccess({24}, 4);
  truncated[8 + 20] = 3;  // three screens claimed, one sent
  EXPECT_EQ(parse(truncated).status, XSetupReply::Status::Malformed);
}

TEST(DisplayProbeTest, WaylandSyncIsDoneOnlyAtItsCallback) {
  std::string events;
  put32(events, 1);  // wl_display.delete_id(2) comes first
  put32(events, (12u << 16) | 1);
  put32(events, 2);
  put32(events, 2);  // wl_callback.done
  put32(events, (12u << 16) | 0);
  put32(events, 7);
  WaylandSyncReader reader;
  for (size_t i = 0; i + 1 < events.size(); ++i)
    ASSERT_EQ(reader.feed(reinterpret_cast<const uint8_t*>(&events[i]), 1), WaylandSyncReader::State::More) << i;
  EXPECT_EQ(reader.feed(reinterpret_cast<const uint8_t*>(&events.back()), 1), WaylandSyncReader::State::Done);

  std::string error;
  put32(error, 1);  // wl_display.error
  put32(error, (24u << 16) | 0);
  error.append(16, '\0');
  WaylandSyncReader refused;
  EXPECT_EQ(refused.feed(reinterpret_cast<const uint8_t*>(error.data()), error.size()), WaylandSyncReader::State::Error);

  std::string broken;
  put32(broken, 5);
  put32(broken, (6u << 16) | 0);  // shorter than its own header
  WaylandSyncReader garbled;
  EXPECT_EQ(garbled.feed(reinterpret_cast<const uint8_t*>(broken.data()), broken.size()),
            WaylandSyncReader::State::Malformed);
}

// ---- a compositor's registry ------------------------------------------------------------------

// A Wayland message: the object, the header (its length with the opcode), the arguments.
std::string waylandMessage(uint32_t object, uint32_t opcode, const std::string& arguments) {
  std::string m;
  put32(m, object);
  put32(m, static_cast<uint32_t>((8 + arguments.size()) << 16) | opcode);
  return m + arguments;
}
// A string argument: its length with the NUL, the bytes and the NUL, padded.
std::string waylandString(const std::string& text) {
  std::string a;
  put32(a, static_cast<uint32_t>(text.size() + 1));
  a += text;
  a.push_back('\0');
  pad(a);
  return a;
}
std::string registryGlobal(uint32_t name, const std::string& interface, uint32_t version) {
  std::string a;
  put32(a, name);
  a += waylandString(interface);
  put32(a, version);
  return waylandMessage(WaylandRegistryReader::RegistryId, 0, a);
}
std::string registryGlobalRemoved(uint32_t name) {
  std::string a;
  put32(a, name);
  return waylandMessage(WaylandRegistryReader::RegistryId, 1, a);
}
std::string callbackDone(uint32_t callback = WaylandRegistryReader::CallbackId) {
  std::string a;
  put32(a, 7);
  return waylandMessage(callback, 0, a);
}
// wl_shm's answer to the reader's bind: its formats, then the second sync's callback.
std::string shmFormats(const std::vector<uint32_t>& formats) {
  std::string b;
  for (const uint32_t f : formats) {
    std::string a;
    put32(a, f);
    b += waylandMessage(WaylandRegistryReader::ShmId, 0, a);
  }
  return b + callbackDone(WaylandRegistryReader::FormatsCallbackId);
}
constexpr uint32_t Rgb565 = 0x36314752;  // "RG16"
WaylandRegistryReader::State feed(WaylandRegistryReader& reader, const std::string& bytes) {
  return reader.feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
// Needs of these interfaces, nothing more asked of them.
std::vector<WaylandNeed> needsOf(std::initializer_list<const char*> interfaces) {
  std::vector<WaylandNeed> needs;
  for (const char* i : interfaces) needs.push_back(WaylandNeed{i});
  return needs;
}
using Globals = WaylandRegistryReader::Globals;

// Weston's registry as a client meets it first, with a seat announced twice.
std::string westonRegistry() {
  return registryGlobal(1, "wl_compositor", 4) + registryGlobal(2, "wl_subcompositor", 1) +
         registryGlobal(3, "wp_viewporter", 1) + registryGlobal(10, "wl_shm", 1) + registryGlobal(11, "wl_seat", 7) +
         registryGlobal(12, "wl_output", 3) + registryGlobal(13, "xdg_wm_base", 3) + registryGlobal(14, "wl_seat", 5);
}

TEST(DisplayProbeTest, TheRegistryAsksForTheRegistryThenSyncs) {
  std::string expected;
  put32(expected, 1);
  put32(expected, (12u << 16) | 1);
  put32(expected, 2);
  put32(expected, 1);
  put32(expected, (12u << 16) | 0);
  put32(expected, 3);
  EXPECT_EQ(WaylandRegistryReader::request(), expected);
}

// The globals asked about are counted as announced, whatever the cut of the bytes, until the
// sync's callback; a global removed before it is forgotten; of several the lowest version and the
// last one announced are kept.
TEST(DisplayProbeTest, TheRegistryIsReadUpToTheSyncsCallbackWhateverItsCut) {
  const std::string bytes = westonRegistry() + registryGlobalRemoved(2) + callbackDone();
  for (const size_t piece : {size_t{1}, size_t{3}, size_t{7}, bytes.size()}) {
    SCOPED_TRACE(piece);
    WaylandRegistryReader reader(needsOf({"wl_compositor", "wl_subcompositor", "wl_seat"}));
    WaylandRegistryReader::State state = WaylandRegistryReader::State::More;
    for (size_t at = 0; at < bytes.size(); at += piece) {
      ASSERT_EQ(state, WaylandRegistryReader::State::More) << at;
      state = feed(reader, bytes.substr(at, piece));
    }
    EXPECT_EQ(state, WaylandRegistryReader::State::Done);
    EXPECT_EQ(reader.globals("wl_compositor"), (Globals{1, 4, 4}));
    EXPECT_EQ(reader.globals("wl_seat"), (Globals{2, 5, 5}));
    EXPECT_EQ(reader.globals("wl_subcompositor"), Globals{});
    EXPECT_EQ(reader.globals("wl_output"), Globals{});  // announced, not asked about
    EXPECT_EQ(reader.nextRequest(), "");                // no formats asked for
  }
}

// The display's error event ends the read with the compositor's words made fit for the log;
// messages libwayland would refuse end it as not Wayland.
TEST(DisplayProbeTest, TheRegistrysErrorsAndMessagesNoCompositorSendsAreToldApart) {
  {
    std::string a;
    put32(a, 1);
    put32(a, 3);
    a += waylandString("no memory\nforged line");
    WaylandRegistryReader reader;
    EXPECT_EQ(feed(reader, waylandMessage(1, 0, a)), WaylandRegistryReader::State::Error);
    EXPECT_EQ(reader.errorCode(), 3u);
    EXPECT_EQ(reader.errorWords(), "no memory forged line");
  }
  std::string noNul = registryGlobal(5, "wl_seat", 7);
  noNul[8 + 4 + 4 + 7] = 'x';  // "wl_seat" then its NUL, replaced
  std::string nullString;
  put32(nullString, 5);
  put32(nullString, 0);
  put32(nullString, 7);
  std::string longString;
  put32(longString, 5);
  put32(longString, 200);  // a string past the message's end
  longString += "wl_seat";
  longString.push_back('\0');
  put32(longString, 7);
  std::string noVersion;
  put32(noVersion, 5);
  noVersion += waylandString("wl_seat");
  std::string unaligned = waylandMessage(9, 0, "");
  unaligned[6] = 10;  // 10 bytes long
  std::string tooLong;
  put32(tooLong, 9);
  put32(tooLong, (4100u << 16) | 0);
  std::string shorterThanItsHeader = waylandMessage(9, 0, "");
  shorterThanItsHeader[6] = 4;
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"a string without its NUL", noNul},
      {"an interface's null string", waylandMessage(WaylandRegistryReader::RegistryId, 0, nullString)},
      {"a string past the message", waylandMessage(WaylandRegistryReader::RegistryId, 0, longString)},
      {"a global without its version", waylandMessage(WaylandRegistryReader::RegistryId, 0, noVersion)},
      {"an unknown registry event", waylandMessage(WaylandRegistryReader::RegistryId, 2, "")},
      {"a removal without its name", waylandMessage(WaylandRegistryReader::RegistryId, 1, "")},
      {"a length not of whole words", unaligned},
      {"a length past libwayland's buffer", tooLong},
      {"a length shorter than the header", shorterThanItsHeader},
      {"an error without its words", waylandMessage(1, 0, std::string(8, '\0'))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WaylandRegistryReader reader(needsOf({"wl_seat"}));
    EXPECT_EQ(feed(reader, registryGlobal(1, "wl_compositor", 4) + c.bytes + callbackDone()),
              WaylandRegistryReader::State::Malformed);
  }
  // A message cut short waits for the rest; the string's padding is read as padding.
  WaylandRegistryReader reader(needsOf({"wl_seat"}));
  const std::string seat = registryGlobal(5, "wl_seat", 7);
  EXPECT_EQ(feed(reader, seat.substr(0, seat.size() - 1)), WaylandRegistryReader::State::More);
  EXPECT_EQ(feed(reader, seat.substr(seat.size() - 1) + callbackDone()), WaylandRegistryReader::State::Done);
  EXPECT_EQ(reader.globals("wl_seat"), (Globals{1, 7, 7}));
}

// The bare sync and the registry are framed alike: a message longer than libwayland's buffer is
// no compositor's, for either (the sync's reader took any length, and kept it all).
TEST(DisplayProbeTest, TheSyncAndTheRegistryShareOneFraming) {
  std::string tooLong;
  put32(tooLong, 9);
  put32(tooLong, (4100u << 16) | 0);
  WaylandSyncReader sync;
  EXPECT_EQ(sync.feed(reinterpret_cast<const uint8_t*>(tooLong.data()), tooLong.size()),
            WaylandSyncReader::State::Malformed);
  WaylandRegistryReader registry;
  EXPECT_EQ(feed(registry, tooLong), WaylandRegistryReader::State::Malformed);
}

// Removals and floods: a compositor that announces many globals of an interface and removes some
// of them leaves the count right (some remain is never taken for none), beyond the globals
// recorded too; the flood of one interface hides no other; a name never announced removes
// nothing; the lowest and the last follow what remains.
TEST(DisplayProbeTest, TheRegistrysCountsStayRightUnderRemovalsAndFloods) {
  {
    // Four outputs more than the reader records, all it records removed: four remain, all of them
    // past the bound (a reader that kept only those it records said none).
    const uint32_t bound = WaylandRegistryReader::MaxRecordedPerInterface;
    WaylandRegistryReader reader(needsOf({"wl_output"}));
    std::string bytes;
    for (uint32_t name = 1; name <= bound + 4; ++name)
      bytes += registryGlobal(name, "wl_output", name == bound + 4 ? 2 : 4);
    for (uint32_t name = 1; name <= bound; ++name) bytes += registryGlobalRemoved(name);
    bytes += registryGlobalRemoved(999);
    ASSERT_EQ(feed(reader, bytes + callbackDone()), WaylandRegistryReader::State::Done);
    EXPECT_EQ(reader.globals("wl_output"), (Globals{4, 2, 2}));
  }
  {
    // The lowest and the last removed: the next ones count.
    WaylandRegistryReader reader(needsOf({"wl_compositor"}));
    const std::string bytes = registryGlobal(1, "wl_compositor", 5) + registryGlobal(2, "wl_compositor", 1) +
                              registryGlobal(3, "wl_compositor", 4) + registryGlobal(4, "wl_compositor", 3) +
                              registryGlobalRemoved(2) + registryGlobalRemoved(4);
    ASSERT_EQ(feed(reader, bytes + callbackDone()), WaylandRegistryReader::State::Done);
    EXPECT_EQ(reader.globals("wl_compositor"), (Globals{2, 4, 4}));
  }
  {
    // Past the bound: counted with their lowest and last versions, never taken as removed.
    const size_t bound = WaylandRegistryReader::MaxRecordedPerInterface;
    WaylandRegistryReader reader(needsOf({"wl_output", "wl_compositor"}));
    std::string bytes;
    uint32_t name = 0;
    for (size_t i = 0; i < bound + 50; ++i) bytes += registryGlobal(++name, "wl_output", i == bound + 10 ? 2 : 3);
    for (uint32_t removed = 1; removed <= name; ++removed) bytes += registryGlobalRemoved(removed);
    ASSERT_EQ(feed(reader, bytes), WaylandRegistryReader::State::More);
    EXPECT_EQ(reader.globals("wl_output"), (Globals{50, 2, 3}));
    // The flood goes on; another interface announced after it still counts.
    bytes.clear();
    for (size_t i = 0; i < 10000; ++i) bytes += registryGlobal(++name, "wl_output", 3);
    bytes += registryGlobal(++name, "wl_compositor", 4);
    ASSERT_EQ(feed(reader, bytes + callbackDone()), WaylandRegistryReader::State::Done);
    EXPECT_EQ(reader.globals("wl_output"), (Globals{10050, 2, 3}));
    EXPECT_EQ(reader.globals("wl_compositor"), (Globals{1, 4, 4}));
  }
}

// Where a need names pixel formats, the registry's callback is followed by the bind of its global
// (for Every the first announced, for Last the last), at version 1, as object 4, and a second
// sync (callback 5); its format events are read until that callback, and only then is the read
// done. Without the global, or with one at version 0 (which no bind may ask for), the read is done
// at the registry's callback.
TEST(DisplayProbeTest, TheRegistryReadsWlShmsFormatsAfterASecondSync) {
  auto bindAndSync = [](uint32_t name) {
    std::string b;
    put32(b, WaylandRegistryReader::RegistryId);
    put32(b, (32u << 16) | 0);
    put32(b, name);
    b += waylandString("wl_shm");
    put32(b, 1);
    put32(b, WaylandRegistryReader::ShmId);
    put32(b, 1);
    put32(b, (12u << 16) | 0);
    put32(b, WaylandRegistryReader::FormatsCallbackId);
    return b;
  };
  for (const WaylandNeed::Pick pick : {WaylandNeed::Pick::Every, WaylandNeed::Pick::Last}) {
    SCOPED_TRACE(pick == WaylandNeed::Pick::Every ? "every" : "last");
    WaylandNeed shm{"wl_shm"};
    shm.pick = pick;
    shm.formats = {display::ShmXrgb8888};
    shm.formatsForTitleBar = {display::ShmArgb8888, Rgb565};
    WaylandRegistryReader reader({shm});
    ASSERT_EQ(feed(reader, registryGlobal(7, "wl_shm", 1) + registryGlobal(9, "wl_shm", 2)),
              WaylandRegistryReader::State::More);
    EXPECT_EQ(reader.nextRequest(), "");
    ASSERT_EQ(feed(reader, callbackDone()), WaylandRegistryReader::State::More);
    EXPECT_EQ(reader.nextRequest(), bindAndSync(pick == WaylandNeed::Pick::Every ? 7 : 9));
    EXPECT_EQ(reader.nextRequest(), "");  // once
    // The registry's callback deleted, a late done of it dropped, as libwayland drops it.
    std::string deleted;
    put32(deleted, WaylandRegistryReader::CallbackId);
    ASSERT_EQ(feed(reader, waylandMessage(1, 1, deleted) + callbackDone()), WaylandRegistryReader::State::More);
    const std::string formats = shmFormats({Rgb565, display::ShmXrgb8888, 0x34325258, Rgb565});
    ASSERT_EQ(feed(reader, formats.substr(0, 13)), WaylandRegistryReader::State::More);
    EXPECT_FALSE(reader.formatsRead());
    ASSERT_EQ(feed(reader, formats.substr(13)), WaylandRegistryReader::State::Done);
    EXPECT_TRUE(reader.formatsRead());
    EXPECT_EQ(reader.formatsOffered(), (std::vector<uint32_t>{display::ShmXrgb8888, Rgb565}));
    EXPECT_EQ(reader.formatsAnnounced(), 4u);
  }
  WaylandNeed shm{"wl_shm"};
  shm.formats = {display::ShmXrgb8888};
  for (const std::string& registry : {std::string(), registryGlobal(7, "wl_shm", 0) + registryGlobal(8, "wl_shm", 1)}) {
    WaylandRegistryReader reader({shm});
    EXPECT_EQ(feed(reader, registry + callbackDone()), WaylandRegistryReader::State::Done);
    EXPECT_EQ(reader.nextRequest(), "");
    EXPECT_FALSE(reader.formatsRead());
  }
  // A format event without its format is no compositor's; an error while the formats come is said.
  {
    WaylandRegistryReader reader({shm});
    feed(reader, registryGlobal(7, "wl_shm", 1) + callbackDone());
    EXPECT_EQ(feed(reader, waylandMessage(WaylandRegistryReader::ShmId, 0, "")), WaylandRegistryReader::State::Malformed);
  }
  {
    WaylandRegistryReader reader({shm});
    feed(reader, registryGlobal(7, "wl_shm", 1) + callbackDone());
    std::string a;
    put32(a, 2);
    put32(a, 0);
    a += waylandString("invalid global wl_shm (7)");
    EXPECT_EQ(feed(reader, waylandMessage(1, 0, a)), WaylandRegistryReader::State::Error);
    EXPECT_EQ(reader.errorWords(), "invalid global wl_shm (7)");
  }
}

// The globals held against the window's needs: what is missing for good or too old is Never with
// its name and versions, a seat or an output not there yet is waited for, and what only the title
// bar needs leaves the window without it. Of several globals of an interface, the one SDL and the
// plug-in go by: the lowest where they bind every one, the last where SDL keeps the last (and a
// version 0 anywhere, which no bind may ask for). wl_shm without the format our frames are in is
// Never, without the one the title bar is drawn in leaves it out.
TEST(DisplayProbeTest, TheGlobalsAreHeldAgainstTheWindowsNeeds) {
  const std::vector<WaylandNeed>& needs = display::WindowSurface::waylandNeeds();
  const std::string where = "the Wayland compositor at /run/w";
  using Outcome = display::WaylandJudgement::Outcome;
  using List = std::vector<std::pair<std::string, uint32_t>>;
  const List others{{"wl_subcompositor", 1}, {"wl_shm", 1}, {"xdg_wm_base", 3}};
  auto with = [&others](List more) {
    more.insert(more.begin(), others.begin(), others.end());
    return more;
  };
  const std::string bothFormats = shmFormats({display::ShmArgb8888, display::ShmXrgb8888});
  // Past the bound of the globals the reader records of an interface: as many compositors at
  // version 1 as it records, then the last at 4 (past the bound); four outputs more than it
  // records, with all it records removed.
  const size_t bound = WaylandRegistryReader::MaxRecordedPerInterface;
  List boundThenOne = with({{"wl_seat", 7}, {"wl_output", 3}});
  List outputsPastBound = with({{"wl_compositor", 4}, {"wl_seat", 7}});
  for (size_t i = 0; i < bound; ++i) boundThenOne.push_back({"wl_compositor", 1});
  boundThenOne.push_back({"wl_compositor", 4});
  for (size_t i = 0; i < bound + 4; ++i) outputsPastBound.push_back({"wl_output", 3});
  struct Case {
    const char* what;
    List globals;
    std::string formats;
    Outcome outcome;
    std::string cause;
    std::string titleBarCause;  // empty: the title bar is drawn
    size_t outputsRemoved = 0;  // the first ones announced, before the callback
  } cases[] = {
      {"Weston's", with({{"wl_compositor", 4}, {"wl_seat", 7}, {"wl_output", 3}}), bothFormats, Outcome::There, "", ""},
      {"no seat", with({{"wl_compositor", 4}, {"wl_output", 3}}), bothFormats, Outcome::NotYet,
       where + " offers no wl_seat: no touch, pointer or keyboard yet", ""},
      {"no seat, no output", with({{"wl_compositor", 4}}), bothFormats, Outcome::NotYet,
       where + " offers no wl_seat: no touch, pointer or keyboard yet; " + where +
           " offers no wl_output: no screen to show the window on yet",
       ""},
      {"the compositor at version 1", with({{"wl_compositor", 1}, {"wl_seat", 7}, {"wl_output", 3}}), bothFormats,
       Outcome::Never, where + " offers wl_compositor at version 1, below the 3 the window needs", ""},
      {"no shell, no seat",
       {{"wl_compositor", 4}, {"wl_subcompositor", 1}, {"wl_shm", 1}, {"wl_output", 3}}, bothFormats, Outcome::Never,
       where + " offers no xdg_wm_base, which the window needs (version 1 or later)", ""},
      {"no subcompositor",
       {{"wl_compositor", 4}, {"wl_shm", 1}, {"wl_seat", 7}, {"wl_output", 3}, {"xdg_wm_base", 3}}, bothFormats,
       Outcome::There, "", where + " offers no wl_subcompositor: the window is shown without a title bar"},
      {"the seat at version 1", with({{"wl_compositor", 4}, {"wl_seat", 1}, {"wl_output", 3}}), bothFormats,
       Outcome::There, "",
       where + " offers wl_seat at version 1, below the 3 that drawing the title bar needs: the window is shown "
               "without a title bar"},
      // SDL binds every output at version 2.
      {"the output at version 1", with({{"wl_compositor", 4}, {"wl_seat", 7}, {"wl_output", 1}}), bothFormats,
       Outcome::Never, where + " offers wl_output at version 1, below the 2 the window needs", ""},
      {"a second seat at version 1", with({{"wl_compositor", 4}, {"wl_seat", 5}, {"wl_seat", 1}, {"wl_output", 3}}),
       bothFormats, Outcome::There, "",
       where + " offers wl_seat at version 1 (the lowest of the 2 it announces, each of which the window binds), "
               "below the 3 that drawing the title bar needs: the window is shown without a title bar"},
      {"a second output at version 1", with({{"wl_compositor", 4}, {"wl_seat", 7}, {"wl_output", 4}, {"wl_output", 1}}),
       bothFormats, Outcome::Never,
       where + " offers wl_output at version 1 (the lowest of the 2 it announces, each of which the window binds), "
               "below the 2 the window needs",
       ""},
      {"a second compositor at version 1",
       with({{"wl_compositor", 4}, {"wl_compositor", 1}, {"wl_seat", 7}, {"wl_output", 3}}), bothFormats, Outcome::Never,
       where + " offers wl_compositor at version 1 (the last of the 2 it announces, the one the window uses), below "
               "the 3 the window needs",
       ""},
      {"as many compositors at version 1 as are recorded, then one at 4", boundThenOne, bothFormats, Outcome::There,
       "", ""},
      {"a compositor at version 0 before one at 4",
       with({{"wl_compositor", 0}, {"wl_compositor", 4}, {"wl_seat", 7}, {"wl_output", 3}}), bothFormats,
       Outcome::Never,
       where + " offers wl_compositor at version 0 (the lowest of the 2 it announces, each of which the window "
               "binds), below the 3 the window needs",
       ""},
      {"wl_shm at version 0",
       {{"wl_compositor", 4}, {"wl_subcompositor", 1}, {"wl_shm", 0}, {"xdg_wm_base", 3}, {"wl_seat", 7}, {"wl_output", 3}},
       "", Outcome::Never, where + " offers wl_shm at version 0, below the 1 the window needs", ""},
      {"a seat at version 0", with({{"wl_compositor", 4}, {"wl_seat", 0}, {"wl_output", 3}}), bothFormats,
       Outcome::Never, where + " offers wl_seat at version 0, below the 1 the window needs", ""},
      {"four outputs past the bound, all those recorded removed", outputsPastBound, bothFormats, Outcome::There, "", "",
       bound},
      {"wl_shm announcing no formats", with({{"wl_compositor", 4}, {"wl_seat", 7}, {"wl_output", 3}}),
       shmFormats({}), Outcome::Never,
       where + " offers wl_shm without the pixel format XRGB8888 that the window draws in (it announces none)",
       where + " offers wl_shm without the pixel format ARGB8888 that the title bar is drawn in (it announces none): "
               "the window is shown without a title bar"},
      {"wl_shm without ARGB8888 and XRGB8888", with({{"wl_compositor", 4}, {"wl_seat", 7}, {"wl_output", 3}}),
       shmFormats({Rgb565, 0x34325258}), Outcome::Never,
       where + " offers wl_shm without the pixel format XRGB8888 that the window draws in (it announces 2 in all)",
       where + " offers wl_shm without the pixel format ARGB8888 that the title bar is drawn in (it announces 2 in "
               "all): the window is shown without a title bar"},
      {"wl_shm without ARGB8888", with({{"wl_compositor", 4}, {"wl_seat", 7}, {"wl_output", 3}}),
       shmFormats({display::ShmXrgb8888}), Outcome::There, "",
       where + " offers wl_shm without the pixel format ARGB8888 that the title bar is drawn in (it announces 1 in "
               "all): the window is shown without a title bar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WaylandRegistryReader reader(needs);
    std::string bytes;
    uint32_t name = 0;
    std::vector<uint32_t> outputs;
    for (const auto& [interface, version] : c.globals) {
      bytes += registryGlobal(++name, interface, version);
      if (interface == "wl_output") outputs.push_back(name);
    }
    for (size_t i = 0; i < c.outputsRemoved; ++i) bytes += registryGlobalRemoved(outputs[i]);
    ASSERT_EQ(feed(reader, bytes + callbackDone() + c.formats), WaylandRegistryReader::State::Done);
    const display::WaylandJudgement judged = display::judgeWaylandGlobals(reader, needs, where);
    EXPECT_EQ(judged.outcome, c.outcome);
    EXPECT_EQ(judged.cause, c.cause);
    EXPECT_EQ(judged.titleBar, c.titleBarCause.empty());
    EXPECT_EQ(judged.titleBarCause, c.titleBarCause);
  }
}

// An X display over TCP is at port 6000 plus its number: a number that passes the last port names
// none, never the port its 16 bits would reach.
TEST(DisplayProbeTest, AnXDisplaysPortStopsAtTheLastPort) {
  EXPECT_EQ(display::xServerPort(0), 6000);
  EXPECT_EQ(display::xServerPort(59535), 65535);
  EXPECT_EQ(display::xServerPort(59536), std::nullopt);
  EXPECT_EQ(display::xServerPort(60000), std::nullopt);
}

// A server's words reach the log: they are cut to a sane length and cannot forge a line or carry
// a terminal's escapes.
TEST(DisplayProbeTest, AServersWordsAreCutAndTheirControlsReplaced) {
  std::string forged = "no\nThe display is there: the window is open.\r\n\x1b[31mred\x9b" "2J\tend";
  std::string body = forged;
  pad(body);
  const XSetupReply refused = parse(xAnswer(0, static_cast<uint8_t>(forged.size()), body));
  ASSERT_EQ(refused.status, XSetupReply::Status::Failed);
  EXPECT_EQ(refused.reason, "no The display is there: the window is open.  ?[31mred?2J end");
  // An authentication's words fill the whole answer, up to 262,140 bytes.
  const XSetupReply asked = parse(xAnswer(2, 0, std::string(65535 * 4, 'a')));
  ASSERT_EQ(asked.status, XSetupReply::Status::Authenticate);
  EXPECT_EQ(asked.reason, std::string(200, 'a') + "...");
}

// SDL_VIDEODRIVER as SDL reads it: a comma-separated list of names in any case, in its order.
TEST(DisplayProbeTest, TheChosenDriversAreReadAsSdlReadsThem) {
  bool others = false;
  EXPECT_EQ(display::chosenDesktopDrivers("X11", &others), std::vector<std::string>{"x11"});
  EXPECT_FALSE(others);
  EXPECT_EQ(display::chosenDesktopDrivers("x11,Wayland", &others), (std::vector<std::string>{"x11", "wayland"}));
  EXPECT_EQ(display::chosenDesktopDrivers("kmsdrm,WAYLAND,x11,wayland", &others),
            (std::vector<std::string>{"wayland", "x11"}));
  EXPECT_TRUE(others);
  EXPECT_TRUE(display::chosenDesktopDrivers("x11wayland", &others).empty());
  EXPECT_TRUE(others);
}

// ---- the wait against real sockets -----------------------------------------------------------

class DisplayWaitTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    support::TempHomeTest::SetUp();
    char dir[] = "/tmp/kt-wait-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_runtime = dir;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_runtime, ignored);
    ui::Application::shared().reset();
    ui::Screen::main().reset();
    support::TempHomeTest::TearDown();
  }

  // display::open with this wait; what it said on standard error in `said`.
  std::unique_ptr<display::Surface> open(double wait, core::Error* error, int interruptFd = -1) {
    testing::internal::CaptureStderr();
    auto surface = display::open(display::OpenOptions{wait, interruptFd}, error);
    m_said = testing::internal::GetCapturedStderr();
    return surface;
  }

  std::string m_runtime;
  std::string m_said;
  ScopedEnv m_driver{"SDL_VIDEODRIVER", nullptr};
  ScopedEnv m_offscreen{"KT_OFFSCREEN", nullptr};
  ScopedEnv m_logged{"KT_LOG_STDERR", nullptr};
};

// A compositor whose socket takes the connection but never answers (hung or stopped while it
// starts): each try gives up on it in time, the wait ends with the reason, and the interrupt ends
// it at once. SDL would wait on it for ever.
TEST_F(DisplayWaitTest, ACompositorThatNeverAnswersEndsTheWaitWithItsReasonOrAtTheInterrupt) {
  auto hung = support::StandInDisplay::wayland(m_runtime + "/wayland-hung", support::StandInDisplay::Silent);
  ASSERT_NE(hung, nullptr);
  ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-hung"), runtime("XDG_RUNTIME_DIR", m_runtime.c_str()),
      x("DISPLAY", nullptr);
  core::Error error;
  EXPECT_EQ(open(1.5, &error), nullptr);
  const std::string reason = error.localizedDescription();
  EXPECT_NE(reason.find("the Wayland compositor at " + m_runtime + "/wayland-hung does not answer"), std::string::npos)
      << reason;
  EXPECT_NE(reason.find("(waited 1.5 s)"), std::string::npos) << reason;

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_EQ(open(3600, &error, fds[0]), nullptr);
  close(fds[0]);
  close(fds[1]);
  EXPECT_NE(error.localizedDescription().find("interrupted"), std::string::npos) << error.localizedDescription();
}

// A compositor that dies as it starts takes the connection and closes it: not there yet, tried
// again, never a crash inside the window system's start.
TEST_F(DisplayWaitTest, ACompositorThatClosesAtOnceIsNotThereYet) {
  auto closing = support::StandInDisplay::wayland(m_runtime + "/wayland-closing", support::StandInDisplay::ClosesAll);
  ASSERT_NE(closing, nullptr);
  ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-closing"), runtime("XDG_RUNTIME_DIR", m_runtime.c_str()),
      x("DISPLAY", nullptr);
  core::Error error;
  EXPECT_EQ(open(0.6, &error), nullptr);
  EXPECT_GE(closing->accepted(), 1);
  EXPECT_NE(error.localizedDescription().find("closed the connection before answering"), std::string::npos)
      << error.localizedDescription();
}

TEST_F(DisplayWaitTest, AnXServerThatNeverAnswersEndsTheWaitWithItsReason) {
  auto hung = support::StandInDisplay::x11(support::StandInDisplay::Silent);
  ASSERT_NE(hung, nullptr);
  ScopedEnv x("DISPLAY", hung->display().c_str()), wayland("WAYLAND_DISPLAY", nullptr);
  core::Error error;
  EXPECT_EQ(open(1.5, &error), nullptr);
  EXPECT_NE(error.localizedDescription().find("the X server at " + hung->display() + " does not answer"),
            std::string::npos)
      << error.localizedDescription();
}

// What no wait can mend ends it at once (the wait here is an hour) with the reason, and nothing
// is said of waiting.
TEST_F(DisplayWaitTest, WhatWaitingCannotMendEndsTheWaitAtOnce) {
  const std::string longName(120, 'w');
  struct Case {
    const char* wayland;
    const char* runtime;
    const char* x;
    std::string reason;
  } cases[] = {
      {"wayland-0", nullptr, nullptr, "WAYLAND_DISPLAY=wayland-0 names a socket in XDG_RUNTIME_DIR, which is not set"},
      {longName.c_str(), m_runtime.c_str(), nullptr, "is too long (at most 107 bytes)"},
      {nullptr, nullptr, "garbage", "DISPLAY=garbage names no X server"},
      {nullptr, nullptr, ":", "DISPLAY=: names no X server"},
      {nullptr, nullptr, "127.0.0.1:60000",
       "DISPLAY=127.0.0.1:60000 names no X server: display 60000 would be at TCP port 66000, past the last port, 65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland), runtime("XDG_RUNTIME_DIR", c.runtime), x("DISPLAY", c.x);
    core::Error error;
    EXPECT_EQ(open(3600, &error), nullptr);
    const std::string reason = error.localizedDescription();
    EXPECT_NE(reason.find("No window can be opened on the desktop"), std::string::npos) << reason;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_EQ(m_said.find("Waiting"), std::string::npos) << m_said;
  }
}

// An X server that refuses the connection's authorization, and one whose pixels the window
// cannot draw: said for what they are, at once, before Xlib is ever called (which would say its
// own line at every try).
TEST_F(DisplayWaitTest, AnXServerThatRefusesOrCannotBeDrawnOnEndsTheWaitAtOnce) {
  // A server that wants a cookie the client does not have.
  const std::string cookies = m_runtime + "/server-cookies";
  {
    std::string entry;
    auto field = [&](const std::string& f) {
      entry.push_back(static_cast<char>(f.size() >> 8));
      entry.push_back(static_cast<char>(f.size() & 0xff));
      entry += f;
    };
    entry += "\xff\xff";  // any address
    field("");
    field("");
    field("MIT-MAGIC-COOKIE-1");
    field(std::string(16, '\x5a'));
    FILE* f = std::fopen(cookies.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(entry.data(), 1, entry.size(), f);
    std::fclose(f);
  }
  {
    support::XServer guarded("1280x1024x24", support::XServer::LowestFree, {"-auth", cookies});
    ASSERT_FALSE(guarded.display().empty());
    ScopedEnv x("DISPLAY", guarded.display().c_str()), wayland("WAYLAND_DISPLAY", nullptr),
        authority("XAUTHORITY", (m_runtime + "/no-cookies").c_str());
    core::Error error;
    EXPECT_EQ(open(3600, &error), nullptr);
    const std::string reason = error.localizedDescription();
    EXPECT_NE(reason.find("refused the connection's authorization (Authorization required"), std::string::npos)
        << reason;
    EXPECT_EQ(m_said.find("Waiting"), std::string::npos) << m_said;
  }
  {
    support::XServer palette("1280x1024x8");
    ASSERT_FALSE(palette.display().empty());
    ScopedEnv x("DISPLAY", palette.display().c_str()), wayland("WAYLAND_DISPLAY", nullptr);
    core::Error error;
    EXPECT_EQ(open(3600, &error), nullptr);
    const std::string reason = error.localizedDescription();
    EXPECT_NE(reason.find("shows 8-bit palette pixels, which the window cannot draw"), std::string::npos) << reason;
  }
}

// Both named, neither there: both reasons, so that whoever set them up sees what each lacks.
TEST_F(DisplayWaitTest, BothDisplaysNamedAndNeitherThereGiveBothReasons) {
  ScopedEnv wayland("WAYLAND_DISPLAY", "wl-nothing"), runtime("XDG_RUNTIME_DIR", m_runtime.c_str()),
      x("DISPLAY", ":107");
  core::Error error;
  EXPECT_EQ(open(0, &error), nullptr);
  const std::string reason = error.localizedDescription();
  EXPECT_NE(reason.find("no Wayland compositor listens at " + m_runtime + "/wl-nothing"), std::string::npos) << reason;
  EXPECT_NE(reason.find("no X server answers at :107"), std::string::npos) << reason;
}

// A display that stays down is said once, in the log as on standard error, not once a try.
TEST_F(DisplayWaitTest, ADisplayThatStaysDownIsSaidOnceNotAtEveryTry) {
  ScopedEnv wayland("WAYLAND_DISPLAY", "wl-nothing"), runtime("XDG_RUNTIME_DIR", m_runtime.c_str()),
      x("DISPLAY", nullptr), logged("KT_LOG_STDERR", "1");
  core::Error error;
  EXPECT_EQ(open(1.2, &error), nullptr);
  const std::string cause = "no Wayland compositor listens at";
  ASSERT_NE(m_said.find(cause), std::string::npos) << m_said;
  EXPECT_EQ(m_said.find(cause), m_said.rfind(cause)) << m_said;
}

// An X server that goes away in the moment between being found and the window being made: Xlib's
// connection breaks before any window watches it, and the loss is said as any other, with status
// 1, instead of by Xlib's own exit.
TEST_F(DisplayWaitTest, AnXServerLostWhileTheWindowSystemStartsIsSaidAsALoss) {
  support::XServer x;
  ASSERT_FALSE(x.display().empty());
  int ready[2], go[2], said[2];
  ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(said, O_CLOEXEC), 0);
  const std::string name = x.display();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(said[1], 2);
    display::X11Window::watchConnections();
    void* lib = dlopen("libX11.so.6", RTLD_NOW);
    using Open = void* (*)(const char*);
    using Sync = int (*)(void*, int);
    auto openDisplay = lib ? reinterpret_cast<Open>(dlsym(lib, "XOpenDisplay")) : nullptr;
    auto sync = lib ? reinterpret_cast<Sync>(dlsym(lib, "XSync")) : nullptr;
    void* connection = openDisplay ? openDisplay(name.c_str()) : nullptr;
    if (!connection || !sync) _exit(3);
    char c = 'r';
    if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1) _exit(4);
    sync(connection, 0);  // meets the broken connection
    _exit(5);
  }
  close(said[1]);
  close(ready[1]);
  close(go[0]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  x.kill(SIGKILL);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  std::string text;
  char buf[512];
  for (ssize_t n; (n = read(said[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(said[0]);
  close(ready[0]);
  close(go[1]);
  ASSERT_TRUE(WIFEXITED(status)) << text;
  EXPECT_EQ(WEXITSTATUS(status), 1) << text;
  EXPECT_NE(text.find("The display went away: the X server at " + name + ": the connection to the X server broke"),
            std::string::npos)
      << text;
}

// Both displays named and both silent: one deadline for both, not one each.
TEST_F(DisplayWaitTest, BothDisplaysSilentShareOneDeadline) {
  auto wayland = support::StandInDisplay::wayland(m_runtime + "/wayland-hung", support::StandInDisplay::Silent);
  auto x11 = support::StandInDisplay::x11(support::StandInDisplay::Silent);
  ASSERT_NE(wayland, nullptr);
  ASSERT_NE(x11, nullptr);
  ScopedEnv named("WAYLAND_DISPLAY", "wayland-hung"), runtime("XDG_RUNTIME_DIR", m_runtime.c_str()),
      x("DISPLAY", x11->display().c_str());
  core::Error error;
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(open(2, &error), nullptr);
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const std::string reason = error.localizedDescription();
  EXPECT_NE(reason.find("wayland-hung does not answer"), std::string::npos) << reason;
  EXPECT_NE(reason.find("the X server at " + x11->display() + " does not answer"), std::string::npos) << reason;
  // Two seconds, not two each (which made four): the bound leaves the loaded machine room.
  EXPECT_LT(took, 3.9) << reason;
}

// An abstract X socket that is there but refuses (a socket of another kind, a full queue) is
// said with its own error, not with the missing file socket's.
TEST_F(DisplayWaitTest, AnAbstractXSocketThatRefusesIsSaidWithItsOwnError) {
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full ? "a full queue" : "a socket of another kind");
    std::string lock, display;
    int fd = -1;
    std::vector<int> queued;
    for (int n = 900 + static_cast<int>(getpid() % 90), i = 0; i < 90 && display.empty(); ++i, n = 900 + (n - 899) % 90) {
      const std::string candidate = "/tmp/.X" + std::to_string(n) + "-lock";
      const int l = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
      if (l < 0) continue;
      close(l);
      const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::memcpy(addr.sun_path + 1, path.data(), path.size());
      fd = ::socket(AF_UNIX, (full ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
      const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
      if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0 && (!full || listen(fd, 0) == 0) &&
          access(path.c_str(), F_OK) != 0) {
        lock = candidate;
        display = ":" + std::to_string(n);
        // Connections nobody takes, until the queue refuses the next.
        while (full && queued.size() < 64) {
          const int c = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
          if (connect(c, reinterpret_cast<sockaddr*>(&addr), length) != 0) {
            close(c);
            break;
          }
          queued.push_back(c);
        }
      } else {
        if (fd >= 0) close(fd);
        fd = -1;
        unlink(candidate.c_str());
      }
    }
    ASSERT_FALSE(display.empty());
    ScopedEnv x("DISPLAY", display.c_str()), wayland("WAYLAND_DISPLAY", nullptr);
    core::Error error;
    EXPECT_EQ(open(0, &error), nullptr);
    for (int c : queued) close(c);
    close(fd);
    unlink(lock.c_str());
    const std::string said = "(@/tmp/.X11-unix/X" + display.substr(1) + ": " + std::strerror(full ? EAGAIN : ECONNREFUSED) + ")";
    EXPECT_NE(error.localizedDescription().find(said), std::string::npos) << error.localizedDescription();
  }
}

// The environment's values reach the lines made fit for them, as a server's own words do: a line
// break in WAYLAND_DISPLAY forged a whole line of the log ("The display is there: ..."), and an
// escape reached the terminal. Each variable that is said, and the paths made from it.
TEST_F(DisplayWaitTest, TheEnvironmentsValuesCannotForgeALineOrReachTheTerminal) {
  const std::string forged = "\nThe display is there: the window is open.\x1b[2J";
  const std::string authority = m_runtime + "/cookies" + forged;
  ASSERT_EQ(mkfifo(authority.c_str(), 0600), 0);
  const std::string wl = "wl" + forged, dir = m_runtime + forged, garbage = "garbage" + forged,
                    driver = "x11" + forged;
  // An X server there, so that SDL's own words (which name the driver asked for) are the reason.
  auto there = support::StandInDisplay::x11(support::StandInDisplay::Answers, true);
  ASSERT_NE(there, nullptr);
  struct Case {
    const char* what;
    const char* wayland;
    const char* runtime;
    const char* x;
    const char* xauthority;
    const char* driver;
  } cases[] = {
      {"WAYLAND_DISPLAY", wl.c_str(), m_runtime.c_str(), nullptr, nullptr, nullptr},
      {"WAYLAND_DISPLAY without XDG_RUNTIME_DIR", wl.c_str(), nullptr, nullptr, nullptr, nullptr},
      {"XDG_RUNTIME_DIR", "wayland-0", dir.c_str(), nullptr, nullptr, nullptr},
      {"DISPLAY", nullptr, nullptr, garbage.c_str(), nullptr, nullptr},
      {"XAUTHORITY", nullptr, nullptr, ":4329", authority.c_str(), nullptr},
      {"SDL_VIDEODRIVER", nullptr, nullptr, there->display().c_str(), nullptr, driver.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland), runtime("XDG_RUNTIME_DIR", c.runtime), x("DISPLAY", c.x),
        xauthority("XAUTHORITY", c.xauthority), chosen("SDL_VIDEODRIVER", c.driver);
    core::Error error;
    EXPECT_EQ(open(0.3, &error), nullptr);
    const std::string reason = error.localizedDescription();
    EXPECT_NE(reason.find("The display is there"), std::string::npos) << reason;  // said, as words
    EXPECT_EQ(reason.find_first_of("\n\x1b"), std::string::npos) << reason;
    EXPECT_EQ(m_said.find('\x1b'), std::string::npos) << m_said;
    EXPECT_EQ(m_said.find("\nThe display is there"), std::string::npos) << m_said;
    EXPECT_NE(m_said.rfind("The display is there", 0), 0u) << m_said;
  }
}

// What waiting cannot mend is told apart from a display that did not come, for the exit status.
TEST_F(DisplayWaitTest, WhatWaitingCannotMendHasItsOwnCode) {
  {
    ScopedEnv x("DISPLAY", "garbage"), wayland("WAYLAND_DISPLAY", nullptr);
    core::Error error;
    EXPECT_EQ(open(3600, &error), nullptr);
    EXPECT_EQ(error.code(), display::DisplayCannotWork);
  }
  {
    ScopedEnv x("DISPLAY", ":4329"), wayland("WAYLAND_DISPLAY", nullptr);
    core::Error error;
    EXPECT_EQ(open(0, &error), nullptr);
    EXPECT_EQ(error.code(), display::Surface::OpenFailed);
  }
}

}  // namespace
