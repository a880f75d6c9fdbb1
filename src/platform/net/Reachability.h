#pragma once

#include <cstdint>
#include <optional>

struct sockaddr;

// Whether an address can be reached from this machine, as a set of flags, worked out from the
// machine's interfaces and routing tables.
namespace net {

enum ReachabilityFlag : uint32_t {
  TransientConnection = 1u << 0,
  Reachable = 1u << 1,
  ConnectionRequired = 1u << 2,  // never set here: links on this system are always on
  ConnectionOnTraffic = 1u << 3,
  InterventionRequired = 1u << 4,
  ConnectionOnDemand = 1u << 5,
  IsLocalAddress = 1u << 16,
  IsDirect = 1u << 17,
  IsWWAN = 1u << 18,
};

// Flags for reaching an IPv4 or IPv6 address; 0 when it cannot be reached, nullopt when the
// machine's state cannot be read (or the address is not IPv4/IPv6).
//   - a loopback address, or one of this machine's own: Reachable | IsLocalAddress | IsDirect
//   - the any-address (0.0.0.0 or ::): Reachable when an interface that is up and running, not
//     loopback, carries a default route
//   - any other address: Reachable when a route through such an interface covers it, with
//     IsDirect when that route has no gateway (a directly connected subnet)
std::optional<uint32_t> reachabilityFlagsForAddress(const sockaddr* address);

// Tests: force a result (nullopt = cannot be read); clearReachabilityOverride() goes back to
// the real answer.
void setReachabilityOverride(std::optional<uint32_t> flags);
void clearReachabilityOverride();
// Whether a forced result is in place (then any address, even none, gets it).
bool reachabilityOverrideActive();

}  // namespace net
