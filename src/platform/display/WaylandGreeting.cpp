#include "platform/display/WaylandGreeting.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/display/DisplayProbe.h"

namespace display {
namespace {

uint32_t u32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void put32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
size_t padded(size_t n) { return (n + 3) & ~size_t{3}; }

// A request's header: the object, then its length in bytes with the opcode.
void header(std::string& out, uint32_t object, uint32_t length, uint32_t opcode) {
  put32(out, object);
  put32(out, (length << 16) | opcode);
}

void sync(std::string& out, uint32_t callback) {
  header(out, 1, 12, 0);
  put32(out, callback);
}

}  // namespace

std::string shmFormatName(uint32_t format) {
  if (format == ShmArgb8888) return "ARGB8888";
  if (format == ShmXrgb8888) return "XRGB8888";
  std::string code;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((format >> (8 * i)) & 0xff);
    if (c < 0x20 || c >= 0x7f) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08x", format);
      return hex;
    }
    code.push_back(c);
  }
  while (!code.empty() && code.back() == ' ') code.pop_back();
  return code;
}

// ---- framing ---------------------------------------------------------------------------------

void WaylandFraming::append(const uint8_t* data, size_t size) {
  if (m_malformed) return;
  // What was taken is dropped first: what stays is one message cut short at most.
  m_pending.erase(0, m_at);
  m_at = 0;
  m_pending.append(reinterpret_cast<const char*>(data), size);
}

std::optional<WaylandMessage> WaylandFraming::next() {
  if (m_malformed || m_pending.size() - m_at < 8) return std::nullopt;
  const auto* p = reinterpret_cast<const uint8_t*>(m_pending.data()) + m_at;
  const uint32_t length = u32(p + 4) >> 16;
  if (length < 8 || length % 4 != 0 || length > MaxMessageBytes) {
    m_malformed = true;
    m_pending.clear();
    m_at = 0;
    return std::nullopt;
  }
  if (m_pending.size() - m_at < length) return std::nullopt;
  m_at += length;
  return WaylandMessage{u32(p), u32(p + 4) & 0xffff, p, length};
}

bool WaylandArguments::word(uint32_t* value) {
  if (m_message.length - m_at < 4) return false;
  *value = u32(m_message.bytes + m_at);
  m_at += 4;
  return true;
}

bool WaylandArguments::string(std::string* text) {
  uint32_t size = 0;
  if (!word(&size)) return false;
  const size_t left = m_message.length - m_at;
  if (size == 0 || size > left || padded(size) > left) return false;
  const char* bytes = reinterpret_cast<const char*>(m_message.bytes + m_at);
  if (bytes[size - 1] != '\0') return false;
  text->assign(bytes, strnlen(bytes, size));
  m_at += padded(size);
  return true;
}

// ---- the bare sync ---------------------------------------------------------------------------

std::string WaylandSyncReader::request() {
  std::string out;
  sync(out, 2);
  return out;
}

WaylandSyncReader::State WaylandSyncReader::feed(const uint8_t* data, size_t size) {
  if (m_state != State::More) return m_state;
  m_framing.append(data, size);
  while (const auto message = m_framing.next()) {
    if (message->object == 2 && message->opcode == 0) return m_state = State::Done;   // wl_callback.done
    if (message->object == 1 && message->opcode == 0) return m_state = State::Error;  // wl_display.error
  }
  if (m_framing.malformed()) m_state = State::Malformed;
  return m_state;
}

// ---- the registry ----------------------------------------------------------------------------

WaylandRegistryReader::WaylandRegistryReader(std::vector<WaylandNeed> needs) {
  for (WaylandNeed& need : needs) {
    if (find(need.interface)) continue;
    m_interfaces.push_back(Interface{std::move(need), {}, 0, 0, 0, 0});
  }
}

std::string WaylandRegistryReader::request() {
  std::string out;
  header(out, 1, 12, 1);  // get_registry
  put32(out, RegistryId);
  sync(out, CallbackId);
  return out;
}

std::string WaylandRegistryReader::nextRequest() { return std::exchange(m_next, {}); }

const WaylandRegistryReader::Interface* WaylandRegistryReader::find(const std::string& interface) const {
  for (const Interface& i : m_interfaces)
    if (interface == i.need.interface) return &i;
  return nullptr;
}

WaylandRegistryReader::Globals WaylandRegistryReader::globals(const std::string& interface) const {
  Globals g;
  const Interface* i = find(interface);
  if (!i) return g;
  g.count = i->recorded.size() + i->unrecorded;
  if (g.count == 0) return g;
  uint64_t lastOrder = 0;
  bool first = true;
  for (const Record& r : i->recorded) {
    g.lowest = first ? r.version : std::min(g.lowest, r.version);
    first = false;
    g.last = r.version;
    lastOrder = r.order;
  }
  if (i->unrecorded > 0) {
    g.lowest = first ? i->unrecordedLowest : std::min(g.lowest, i->unrecordedLowest);
    if (i->recorded.empty() || i->unrecordedLastOrder > lastOrder) g.last = i->unrecordedLast;
  }
  return g;
}

uint32_t WaylandRegistryReader::versionUsed(const WaylandNeed& need) const {
  const Globals g = globals(need.interface);
  if (g.count == 0 || g.lowest == 0) return 0;
  return need.pick == WaylandNeed::Pick::Every ? g.lowest : g.last;
}

std::vector<uint32_t> WaylandRegistryReader::formatsOffered() const {
  std::vector<uint32_t> offered;
  for (size_t f = 0; f < m_formats.size(); ++f)
    if (m_formatSeen[f]) offered.push_back(m_formats[f]);
  return offered;
}

// The registry's callback: done, unless wl_shm's formats are to be read. Then one of its globals
// is bound (at version 1, which every wl_shm has and which sends the formats) and a second sync
// asked for; one at version 0 cannot be bound, and is judged as it is.
WaylandRegistryReader::State WaylandRegistryReader::registryDone() {
  for (const Interface& i : m_interfaces) {
    if (i.need.formats.empty() && i.need.formatsForTitleBar.empty()) continue;
    // Past the bound the globals are not recorded: only a recorded one is known to be there.
    if (versionUsed(i.need) == 0 || i.recorded.empty()) break;
    const Record& chosen = i.need.pick == WaylandNeed::Pick::Every ? i.recorded.front() : i.recorded.back();
    const std::string interface = i.need.interface;
    const uint32_t stringLength = static_cast<uint32_t>(interface.size() + 1);
    header(m_next, RegistryId, 8 + 4 + 4 + static_cast<uint32_t>(padded(stringLength)) + 4 + 4, 0);  // bind
    put32(m_next, chosen.name);
    put32(m_next, stringLength);
    m_next += interface;
    m_next.append(padded(stringLength) - interface.size(), '\0');
    put32(m_next, 1);  // the version
    put32(m_next, ShmId);
    sync(m_next, FormatsCallbackId);
    m_formatsAsked = true;
    m_formats = i.need.formats;
    m_formats.insert(m_formats.end(), i.need.formatsForTitleBar.begin(), i.need.formatsForTitleBar.end());
    m_formatSeen.assign(m_formats.size(), false);
    return State::More;
  }
  return State::Done;
}

WaylandRegistryReader::State WaylandRegistryReader::take(const WaylandMessage& message) {
  WaylandArguments arguments(message);
  if (message.object == 1 && message.opcode == 0) {
    // wl_display.error: the object, the code, the compositor's words.
    uint32_t object = 0;
    std::string words;
    if (!arguments.word(&object) || !arguments.word(&m_errorCode) || !arguments.string(&words))
      return State::Malformed;
    m_errorWords = displayableWords(words);
    return State::Error;
  }
  // (A callback done again is one libwayland has deleted: its events are dropped.)
  if (message.object == CallbackId && message.opcode == 0 && !m_formatsAsked) return registryDone();
  if (m_formatsAsked && message.object == FormatsCallbackId && message.opcode == 0) {
    m_formatsRead = true;
    return State::Done;
  }
  if (m_formatsAsked && message.object == ShmId) {
    // wl_shm.format: the format's code.
    uint32_t format = 0;
    if (message.opcode != 0 || !arguments.word(&format)) return State::Malformed;
    ++m_formatsAnnounced;
    for (size_t f = 0; f < m_formats.size(); ++f)
      if (m_formats[f] == format) m_formatSeen[f] = true;
    return State::More;
  }
  if (message.object != RegistryId) return State::More;
  if (message.opcode == 1) {
    // wl_registry.global_remove: a global recorded is gone (one past the bound is kept).
    uint32_t name = 0;
    if (!arguments.word(&name)) return State::Malformed;
    for (Interface& i : m_interfaces)
      std::erase_if(i.recorded, [name](const Record& r) { return r.name == name; });
    return State::More;
  }
  if (message.opcode != 0) return State::Malformed;
  // wl_registry.global: the name, the interface, the version.
  uint32_t name = 0, version = 0;
  std::string interface;
  if (!arguments.word(&name) || !arguments.string(&interface) || !arguments.word(&version)) return State::Malformed;
  const uint64_t order = ++m_announced;
  for (Interface& i : m_interfaces) {
    if (interface != i.need.interface) continue;
    // A name announced again replaces its global (no compositor does; libwayland would keep both).
    std::erase_if(i.recorded, [name](const Record& r) { return r.name == name; });
    if (i.recorded.size() < MaxRecordedPerInterface) {
      i.recorded.push_back(Record{name, version, order});
    } else {
      i.unrecordedLowest = i.unrecorded == 0 ? version : std::min(i.unrecordedLowest, version);
      i.unrecordedLast = version;
      i.unrecordedLastOrder = order;
      ++i.unrecorded;
    }
    break;
  }
  return State::More;
}

WaylandRegistryReader::State WaylandRegistryReader::feed(const uint8_t* data, size_t size) {
  if (m_state != State::More) return m_state;
  m_framing.append(data, size);
  while (m_state == State::More) {
    const auto message = m_framing.next();
    if (!message) break;
    m_state = take(*message);
  }
  if (m_state == State::More && m_framing.malformed()) m_state = State::Malformed;
  return m_state;
}

// ---- judging ---------------------------------------------------------------------------------

namespace {

// "XRGB8888", "XRGB8888 and ARGB8888", "A, B and C".
std::string formatList(const std::vector<uint32_t>& formats) {
  std::string out;
  for (size_t i = 0; i < formats.size(); ++i) {
    if (i > 0) out += i + 1 == formats.size() ? " and " : ", ";
    out += shmFormatName(formats[i]);
  }
  return out;
}

}  // namespace

WaylandJudgement judgeWaylandGlobals(const WaylandRegistryReader& registry, const std::vector<WaylandNeed>& needs,
                                     const std::string& where) {
  WaylandJudgement judged;
  std::string never, notYet;
  auto add = [](std::string& to, const std::string& what) { to += (to.empty() ? "" : "; ") + what; };
  auto lacking = [&registry](const std::vector<uint32_t>& wanted) {
    const std::vector<uint32_t> offered = registry.formatsOffered();
    std::vector<uint32_t> missing;
    for (const uint32_t f : wanted)
      if (std::find(offered.begin(), offered.end(), f) == offered.end()) missing.push_back(f);
    return missing;
  };
  for (const WaylandNeed& need : needs) {
    const std::string interface = need.interface;
    const WaylandRegistryReader::Globals globals = registry.globals(interface);
    if (globals.count == 0) {
      switch (need.whenMissing) {
        case WaylandNeed::WhenMissing::Never:
          add(never, where + " offers no " + interface + ", which the window needs (version " +
                         std::to_string(need.lowest) + " or later)");
          break;
        case WaylandNeed::WhenMissing::Waited:
          add(notYet, where + " offers no " + interface + ": " + need.meanwhile);
          break;
        case WaylandNeed::WhenMissing::TitleBar:
          judged.titleBar = false;
          add(judged.titleBarCause, where + " offers no " + interface);
          break;
      }
      continue;
    }
    const uint32_t version = registry.versionUsed(need);
    // Of several, which one is judged: the lowest where each one is bound (a version 0 always).
    std::string which;
    if (globals.count > 1) {
      const std::string count = std::to_string(globals.count);
      which = need.pick == WaylandNeed::Pick::Last && version > 0
                  ? " (the last of the " + count + " it announces, the one the window uses)"
                  : " (the lowest of the " + count + " it announces, each of which the window binds)";
    }
    const std::string offered = where + " offers " + interface + " at version " + std::to_string(version) + which;
    if (version < need.lowest) {
      add(never, offered + ", below the " + std::to_string(need.lowest) + " the window needs");
      continue;
    }
    if (version < need.lowestForTitleBar) {
      judged.titleBar = false;
      add(judged.titleBarCause,
          offered + ", below the " + std::to_string(need.lowestForTitleBar) + " that drawing the title bar needs");
    }
    if (!registry.formatsRead()) continue;
    const size_t announced = registry.formatsAnnounced();
    const std::string formats =
        " (it announces " + (announced == 0 ? std::string("none") : std::to_string(announced) + " in all") + ")";
    if (const auto missing = lacking(need.formats); !missing.empty())
      add(never, where + " offers " + interface + " without the pixel format" + (missing.size() == 1 ? " " : "s ") +
                     formatList(missing) + " that the window draws in" + formats);
    if (const auto missingForTitleBar = lacking(need.formatsForTitleBar); !missingForTitleBar.empty()) {
      judged.titleBar = false;
      add(judged.titleBarCause, where + " offers " + interface + " without the pixel format" +
                                    (missingForTitleBar.size() == 1 ? " " : "s ") + formatList(missingForTitleBar) +
                                    " that the title bar is drawn in" + formats);
    }
  }
  if (!never.empty()) {
    judged.outcome = WaylandJudgement::Outcome::Never;
    judged.cause = never;
  } else if (!notYet.empty()) {
    judged.outcome = WaylandJudgement::Outcome::NotYet;
    judged.cause = notYet;
  }
  if (!judged.titleBar) judged.titleBarCause += ": the window is shown without a title bar";
  return judged;
}

}  // namespace display
