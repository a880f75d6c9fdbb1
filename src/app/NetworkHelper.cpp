#include "app/NetworkHelper.h"

#include <netinet/in.h>

#include <cstring>

#include "platform/net/Reachability.h"

namespace kt {

bool NetworkHelper::networkAvailiable() {
  sockaddr_in any;
  std::memset(&any, 0, sizeof any);
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  auto flags = net::reachabilityFlagsForAddress(reinterpret_cast<const sockaddr*>(&any));
  if (!flags) return false;
  const uint32_t relevant = *flags & (net::Reachable | net::ConnectionRequired);
  return relevant == net::Reachable;
}

}  // namespace kt
