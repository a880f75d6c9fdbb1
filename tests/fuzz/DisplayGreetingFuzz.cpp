// A display server's first answer, as the wait for a display reads it before the window system
// is given the server: the X server's set-up reply, the Wayland compositor's events up to its
// sync callback, and the DISPLAY name. The same bytes read whole and cut anywhere give the same
// answer, an answer read whole is not changed by what follows it, and what is read stays within
// what the formats allow; the server's words come out fit for a line of the log. SDL_VIDEODRIVER's
// list of drivers, read as SDL reads it.

#include <string>

#include "FuzzCheck.h"
#include "platform/display/DisplayProbe.h"

namespace {

using display::WaylandSyncReader;
using display::XSetupReply;

void checkXSetup(const uint8_t* data, size_t size) {
  const int screen = size ? data[0] % 3 : 0;
  const XSetupReply whole = display::parseXSetupReply(data, size, screen);
  KT_FUZZ_CHECK(whole.screens >= 0 && whole.screens <= 255);
  KT_FUZZ_CHECK(whole.rootDepth >= 0 && whole.rootDepth <= 255);
  KT_FUZZ_CHECK(whole.rootVisualClass >= -1 && whole.rootVisualClass <= 255);
  KT_FUZZ_CHECK(whole.reason.size() <= size);
  // The server's words are fit for a line of the log: short, printable, no line break.
  KT_FUZZ_CHECK(whole.reason.size() <= 203);
  for (const char c : whole.reason) KT_FUZZ_CHECK(c >= 0x20 && c < 0x7f);
  if (whole.status == XSetupReply::Status::Incomplete) {
    // Waiting for more is never undone by a shorter read.
    for (size_t cut : {size / 2, size ? size - 1 : 0})
      KT_FUZZ_CHECK(display::parseXSetupReply(data, cut, screen).status == XSetupReply::Status::Incomplete ||
                    display::parseXSetupReply(data, cut, screen).status == XSetupReply::Status::Malformed);
    return;
  }
  // The reply's own length bounds it: bytes after it change nothing.
  std::string longer(reinterpret_cast<const char*>(data), size);
  longer += "trailing";
  const XSetupReply more =
      display::parseXSetupReply(reinterpret_cast<const uint8_t*>(longer.data()), longer.size(), screen);
  KT_FUZZ_CHECK(more.status == whole.status);
  KT_FUZZ_CHECK(more.reason == whole.reason);
  KT_FUZZ_CHECK(more.screens == whole.screens && more.rootDepth == whole.rootDepth);
}

void checkWayland(const uint8_t* data, size_t size) {
  WaylandSyncReader whole, bytewise;
  const WaylandSyncReader::State state = whole.feed(data, size);
  for (size_t i = 0; i < size; ++i) bytewise.feed(data + i, 1);
  KT_FUZZ_CHECK(bytewise.state() == state);
  // A reader that has answered keeps its answer.
  if (state != WaylandSyncReader::State::More) KT_FUZZ_CHECK(whole.feed(data, size) == state);
}

void checkName(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto name = display::parseXDisplayName(text);
  if (!name) return;
  KT_FUZZ_CHECK(name->number >= 0 && name->number <= 99999);
  KT_FUZZ_CHECK(name->screen >= 0 && name->screen <= 99999);
  const auto again = display::parseXDisplayName(name->host + ":" + std::to_string(name->number) + "." +
                                                std::to_string(name->screen));
  KT_FUZZ_CHECK(again && again->number == name->number && again->screen == name->screen);
}

// SDL_VIDEODRIVER's list: the desktop drivers only, each once, whatever the case and commas.
void checkDrivers(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  bool others = false;
  const auto drivers = display::chosenDesktopDrivers(text, &others);
  KT_FUZZ_CHECK(drivers.size() <= 2);
  for (const auto& d : drivers) KT_FUZZ_CHECK(d == "wayland" || d == "x11");
  KT_FUZZ_CHECK(drivers.size() < 2 || drivers[0] != drivers[1]);
  // Read again from its own words, the list is the same.
  std::string again;
  for (const auto& d : drivers) again += (again.empty() ? "" : ",") + d;
  KT_FUZZ_CHECK(display::chosenDesktopDrivers(again) == drivers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkXSetup(data, size);
  checkWayland(data, size);
  checkName(data, size);
  checkDrivers(data, size);
  return 0;
}
