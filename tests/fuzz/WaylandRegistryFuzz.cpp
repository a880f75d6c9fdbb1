// A Wayland compositor's answer to the look before the window system starts: its registry's
// globals up to the sync's callback, then (where wl_shm is there) the formats of the wl_shm bound
// up to the second sync's callback, held against what the window needs. The same bytes read
// whole, a byte at a time or cut anywhere give the same state, the same counts and the same
// formats; only the interfaces asked about are counted; the reader asks for the bind and its
// sync once at most, and has read formats only after asking; an answer once
// given stays whatever follows; the judgement names only the window's own interfaces and is Never
// exactly when a global the window cannot do without is missing, too old, or lacks a format.

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/display/DisplayProbe.h"
#include "platform/display/WindowSurface.h"

namespace {

using display::WaylandNeed;
using display::WaylandRegistryReader;

struct Read {
  WaylandRegistryReader::State state;
  std::vector<WaylandRegistryReader::Globals> globals;
  std::vector<uint32_t> formats;
  size_t announced;
  std::string requests;
};

Read summary(const WaylandRegistryReader& reader, std::string requests) {
  Read r{reader.state(), {}, reader.formatsOffered(), reader.formatsAnnounced(), std::move(requests)};
  for (const WaylandNeed& need : display::WindowSurface::waylandNeeds()) r.globals.push_back(reader.globals(need.interface));
  return r;
}

bool same(const Read& a, const Read& b) {
  return a.state == b.state && a.globals == b.globals && a.formats == b.formats && a.announced == b.announced &&
         a.requests == b.requests;
}

void checkRegistry(const uint8_t* data, size_t size) {
  const auto& needs = display::WindowSurface::waylandNeeds();
  WaylandRegistryReader whole(needs), bytewise(needs), halves(needs);
  const WaylandRegistryReader::State state = whole.feed(data, size);
  KT_FUZZ_CHECK(whole.state() == state);
  const std::string requests = whole.nextRequest();
  KT_FUZZ_CHECK(whole.nextRequest().empty());
  const Read read = summary(whole, requests);

  std::string bytewiseRequests;
  for (size_t i = 0; i < size; ++i) {
    bytewise.feed(data + i, 1);
    bytewiseRequests += bytewise.nextRequest();
  }
  KT_FUZZ_CHECK(same(summary(bytewise, bytewiseRequests), read));
  const size_t cut = size ? data[0] % (size + 1) : 0;
  halves.feed(data, cut);
  std::string halvesRequests = halves.nextRequest();
  halves.feed(data + cut, size - cut);
  halvesRequests += halves.nextRequest();
  KT_FUZZ_CHECK(same(summary(halves, halvesRequests), read));

  // The bind and its sync, once: 32 and 12 bytes.
  KT_FUZZ_CHECK(requests.empty() || requests.size() == 44);
  KT_FUZZ_CHECK(whole.formatsRead() == (state == WaylandRegistryReader::State::Done && !requests.empty()));
  KT_FUZZ_CHECK(read.formats.size() <= read.announced);
  for (const WaylandRegistryReader::Globals& g : read.globals) {
    if (g.count == 0) KT_FUZZ_CHECK(g.lowest == 0 && g.last == 0);
    else KT_FUZZ_CHECK(g.lowest <= g.last);
  }
  KT_FUZZ_CHECK(whole.globals("wp_viewporter").count == 0);
  for (const char c : whole.errorWords()) KT_FUZZ_CHECK(c >= 0x20 && c < 0x7f);
  if (state != WaylandRegistryReader::State::More) {
    KT_FUZZ_CHECK(whole.feed(data, size) == state);
    KT_FUZZ_CHECK(same(summary(whole, requests), read));
  }
  if (state != WaylandRegistryReader::State::Done) return;

  const display::WaylandJudgement judged = display::judgeWaylandGlobals(whole, needs, "W");
  const std::vector<uint32_t> offered = whole.formatsOffered();
  bool lacking = false;
  for (const WaylandNeed& need : needs) {
    const uint32_t version = whole.versionUsed(need);
    if (whole.globals(need.interface).count == 0) {
      if (need.whenMissing == WaylandNeed::WhenMissing::Never) lacking = true;
      continue;
    }
    if (version < need.lowest) lacking = true;
    if (version >= need.lowest && whole.formatsRead()) {
      for (const uint32_t f : need.formats)
        if (std::find(offered.begin(), offered.end(), f) == offered.end()) lacking = true;
    }
  }
  KT_FUZZ_CHECK((judged.outcome == display::WaylandJudgement::Outcome::Never) == lacking);
  KT_FUZZ_CHECK(judged.outcome == display::WaylandJudgement::Outcome::There ? judged.cause.empty()
                                                                           : !judged.cause.empty());
  KT_FUZZ_CHECK(judged.titleBar == judged.titleBarCause.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkRegistry(data, size);
  return 0;
}
