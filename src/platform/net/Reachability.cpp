#include "platform/net/Reachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace net {
namespace {

struct Override {
  std::mutex mutex;
  bool active = false;
  std::optional<uint32_t> flags;
};

Override& overrideState() {
  static Override* o = new Override;  // never destroyed: may be asked during exit
  return *o;
}

constexpr uint32_t kLocalFlags = Reachable | IsLocalAddress | IsDirect;

// An address of either family as 16 bytes (IPv4 in the first four) with its family.
struct Address {
  int family = 0;  // AF_INET or AF_INET6 once set
  std::array<uint8_t, 16> bytes{};
  size_t size() const { return family == AF_INET ? 4 : 16; }
  bool operator==(const Address& o) const { return family == o.family && bytes == o.bytes; }
};

struct Route {
  Address destination;
  int prefixLength = 0;
  bool hasGateway = false;
  uint32_t metric = 0;
  std::string interfaceName;
};

struct Interfaces {
  std::map<std::string, unsigned> flags;  // by name
  std::vector<Address> addresses;         // of interfaces that are up
};

bool usable(const Interfaces& ifs, const std::string& name) {
  auto it = ifs.flags.find(name);
  if (it == ifs.flags.end()) return false;
  const unsigned f = it->second;
  return (f & IFF_UP) && (f & IFF_RUNNING) && !(f & IFF_LOOPBACK);
}

std::optional<Interfaces> readInterfaces() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return std::nullopt;
  Interfaces ifs;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_name) continue;
    ifs.flags[i->ifa_name] |= i->ifa_flags;
    if (!i->ifa_addr || !(i->ifa_flags & IFF_UP)) continue;
    Address a;
    if (i->ifa_addr->sa_family == AF_INET) {
      sockaddr_in sin{};
      std::memcpy(&sin, i->ifa_addr, sizeof sin);
      a.family = AF_INET;
      std::memcpy(a.bytes.data(), &sin.sin_addr, 4);
    } else if (i->ifa_addr->sa_family == AF_INET6) {
      sockaddr_in6 sin6{};
      std::memcpy(&sin6, i->ifa_addr, sizeof sin6);
      a.family = AF_INET6;
      std::memcpy(a.bytes.data(), &sin6.sin6_addr, 16);
    } else {
      continue;
    }
    ifs.addresses.push_back(a);
  }
  ::freeifaddrs(list);
  return ifs;
}

// A whole hexadecimal field; false when it is not one.
bool parseNumber(const std::string& text, unsigned long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, 16);
  return *end == '\0';
}

bool parseHex(const std::string& text, uint8_t* out, size_t count) {
  if (text.size() != count * 2) return false;
  for (size_t i = 0; i < count; ++i) {
    unsigned v = 0;
    if (std::sscanf(text.c_str() + 2 * i, "%2x", &v) != 1) return false;
    out[i] = static_cast<uint8_t>(v);
  }
  return true;
}

// /proc/net/route: addresses are the 32-bit values in memory order printed as host integers.
std::optional<std::vector<Route>> readIpv4Routes() {
  std::ifstream in("/proc/net/route");
  if (!in) return std::nullopt;
  std::vector<Route> routes;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name;
    unsigned long dest = 0, gateway = 0, flags = 0, refs = 0, use = 0, metric = 0, mask = 0;
    fields >> name >> std::hex >> dest >> gateway >> flags >> std::dec >> refs >> use >> metric >> std::hex >> mask;
    if (!fields) continue;
    if (!(flags & RTF_UP) || (flags & RTF_REJECT)) continue;
    Route r;
    r.destination.family = AF_INET;
    const auto d = static_cast<uint32_t>(dest);
    std::memcpy(r.destination.bytes.data(), &d, 4);
    const auto m = static_cast<uint32_t>(mask);
    r.prefixLength = __builtin_popcount(m);
    r.hasGateway = (flags & RTF_GATEWAY) && gateway != 0;
    r.metric = static_cast<uint32_t>(metric);
    r.interfaceName = name;
    routes.push_back(std::move(r));
  }
  return routes;
}

// /proc/net/ipv6_route: dest plen src splen nexthop metric refcnt use flags name.
// A machine without IPv6 has no file: no routes.
std::vector<Route> readIpv6Routes() {
  std::vector<Route> routes;
  std::ifstream in("/proc/net/ipv6_route");
  std::string line;
  while (in && std::getline(in, line)) {
    std::istringstream fields(line);
    std::string dest, plen, src, splen, nexthop, metric, refs, use, flags, name;
    if (!(fields >> dest >> plen >> src >> splen >> nexthop >> metric >> refs >> use >> flags >> name)) continue;
    unsigned long f = 0, prefix = 0, m = 0;
    if (!parseNumber(flags, f) || !parseNumber(plen, prefix) || !parseNumber(metric, m) || prefix > 128) continue;
    if (!(f & RTF_UP) || (f & RTF_REJECT)) continue;
    Route r;
    r.destination.family = AF_INET6;
    std::array<uint8_t, 16> hop{};
    if (!parseHex(dest, r.destination.bytes.data(), 16) || !parseHex(nexthop, hop.data(), 16)) continue;
    r.prefixLength = static_cast<int>(prefix);
    r.hasGateway = hop != std::array<uint8_t, 16>{};
    r.metric = static_cast<uint32_t>(m);
    r.interfaceName = name;
    routes.push_back(std::move(r));
  }
  return routes;
}

bool prefixMatches(const Address& a, const Route& r) {
  int bits = r.prefixLength;
  for (size_t i = 0; i < a.size() && bits > 0; ++i, bits -= 8) {
    const uint8_t mask = bits >= 8 ? 0xFF : static_cast<uint8_t>(0xFF << (8 - bits));
    if ((a.bytes[i] & mask) != (r.destination.bytes[i] & mask)) return false;
  }
  return true;
}

bool isAny(const Address& a) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a.bytes[i]) return false;
  }
  return true;
}

bool isLoopback(const Address& a) {
  if (a.family == AF_INET) return a.bytes[0] == 127;
  static const std::array<uint8_t, 16> kLoop = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  return a.bytes == kLoop;
}

std::optional<uint32_t> flagsFor(const Address& a) {
  if (isLoopback(a)) return kLocalFlags;
  auto ifs = readInterfaces();
  if (!ifs) return std::nullopt;
  std::vector<Route> routes;
  if (a.family == AF_INET) {
    auto v4 = readIpv4Routes();
    if (!v4) return std::nullopt;
    routes = std::move(*v4);
  } else {
    routes = readIpv6Routes();
  }

  if (isAny(a)) {
    for (const Route& r : routes) {
      if (r.prefixLength == 0 && usable(*ifs, r.interfaceName)) return uint32_t{Reachable};
    }
    return 0u;
  }
  for (const Address& own : ifs->addresses) {
    if (own == a) return kLocalFlags;
  }
  // The route with the longest prefix through a usable interface; the lower metric breaks ties.
  const Route* best = nullptr;
  for (const Route& r : routes) {
    if (!usable(*ifs, r.interfaceName) || !prefixMatches(a, r)) continue;
    if (!best || r.prefixLength > best->prefixLength ||
        (r.prefixLength == best->prefixLength && r.metric < best->metric)) {
      best = &r;
    }
  }
  if (!best) return 0u;
  return best->hasGateway ? uint32_t{Reachable} : uint32_t{Reachable | IsDirect};
}

}  // namespace

std::optional<uint32_t> reachabilityFlagsForAddress(const sockaddr* address) {
  {
    Override& o = overrideState();
    std::lock_guard lock(o.mutex);
    if (o.active) return o.flags;
  }
  if (!address) return std::nullopt;
  Address a;
  if (address->sa_family == AF_INET) {
    sockaddr_in sin{};
    std::memcpy(&sin, address, sizeof sin);
    a.family = AF_INET;
    std::memcpy(a.bytes.data(), &sin.sin_addr, 4);
  } else if (address->sa_family == AF_INET6) {
    sockaddr_in6 sin6{};
    std::memcpy(&sin6, address, sizeof sin6);
    if (IN6_IS_ADDR_V4MAPPED(&sin6.sin6_addr)) {
      a.family = AF_INET;
      std::memcpy(a.bytes.data(), reinterpret_cast<const uint8_t*>(&sin6.sin6_addr) + 12, 4);
    } else {
      a.family = AF_INET6;
      std::memcpy(a.bytes.data(), &sin6.sin6_addr, 16);
    }
  } else {
    return std::nullopt;
  }
  return flagsFor(a);
}

void setReachabilityOverride(std::optional<uint32_t> flags) {
  Override& o = overrideState();
  std::lock_guard lock(o.mutex);
  o.active = true;
  o.flags = flags;
}

void clearReachabilityOverride() {
  Override& o = overrideState();
  std::lock_guard lock(o.mutex);
  o.active = false;
  o.flags.reset();
}

bool reachabilityOverrideActive() {
  Override& o = overrideState();
  std::lock_guard lock(o.mutex);
  return o.active;
}

}  // namespace net
