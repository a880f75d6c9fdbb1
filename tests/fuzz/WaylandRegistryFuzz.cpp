// A Wayland compositor's answer to the look before the window system starts: its registry's
// globals up to the sync's callback, held against what the window needs. The same bytes read
// whole, a byte at a time or cut anywhere give the same state and the same globals; only the
// interfaces asked about are kept, within the bound; an answer once given stays whatever
// follows; the judgement names only the window's own interfaces and is Never exactly when a
// global the window cannot do without is missing or too old.

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/display/DisplayProbe.h"
#include "platform/display/WindowSurface.h"

namespace {

using display::WaylandNeed;
using display::WaylandRegistryReader;

std::vector<std::string> askedInterfaces() {
  std::vector<std::string> names;
  for (const WaylandNeed& need : display::WindowSurface::waylandNeeds()) names.push_back(need.interface);
  return names;
}

void checkRegistry(const uint8_t* data, size_t size) {
  static const std::vector<std::string> asked = askedInterfaces();
  WaylandRegistryReader whole(asked), bytewise(asked), halves(asked);
  const WaylandRegistryReader::State state = whole.feed(data, size);
  KT_FUZZ_CHECK(whole.state() == state);
  for (size_t i = 0; i < size; ++i) bytewise.feed(data + i, 1);
  KT_FUZZ_CHECK(bytewise.state() == state);
  KT_FUZZ_CHECK(bytewise.globals() == whole.globals());
  const size_t cut = size ? data[0] % (size + 1) : 0;
  halves.feed(data, cut);
  halves.feed(data + cut, size - cut);
  KT_FUZZ_CHECK(halves.state() == state);
  KT_FUZZ_CHECK(halves.globals() == whole.globals());

  KT_FUZZ_CHECK(whole.globals().size() <= WaylandRegistryReader::MaxGlobalsPerInterface * asked.size());
  for (const display::WaylandGlobal& g : whole.globals())
    KT_FUZZ_CHECK(std::find(asked.begin(), asked.end(), g.interface) != asked.end());
  for (const char c : whole.errorWords()) KT_FUZZ_CHECK(c >= 0x20 && c < 0x7f);
  if (state != WaylandRegistryReader::State::More) {
    const auto kept = whole.globals();
    KT_FUZZ_CHECK(whole.feed(data, size) == state);
    KT_FUZZ_CHECK(whole.globals() == kept);
  }
  if (state != WaylandRegistryReader::State::Done) return;

  const auto& needs = display::WindowSurface::waylandNeeds();
  const display::WaylandJudgement judged = display::judgeWaylandGlobals(whole, needs, "W");
  bool lacking = false;
  for (const WaylandNeed& need : needs) {
    const uint32_t version = whole.version(need.interface);
    if (version == 0 ? need.whenMissing == WaylandNeed::WhenMissing::Never : version < need.lowest) lacking = true;
  }
  KT_FUZZ_CHECK((judged.outcome == display::Probe::Outcome::Never) == lacking);
  KT_FUZZ_CHECK(judged.outcome == display::Probe::Outcome::There ? judged.cause.empty() : !judged.cause.empty());
  KT_FUZZ_CHECK(judged.titleBar == judged.titleBarCause.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkRegistry(data, size);
  return 0;
}
