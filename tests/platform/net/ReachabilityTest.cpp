#include "platform/net/Reachability.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace net;

constexpr uint32_t kLocal = Reachable | IsLocalAddress | IsDirect;

sockaddr_in v4(const char* text) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, text, &a.sin_addr);
  return a;
}

sockaddr_in6 v6(const char* text) {
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  inet_pton(AF_INET6, text, &a.sin6_addr);
  return a;
}

template <typename T>
std::optional<uint32_t> flagsOf(const T& address) {
  return reachabilityFlagsForAddress(reinterpret_cast<const sockaddr*>(&address));
}

std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  return text;
}

// An interface counts when it is up, not loopback and has a carrier (read from sysfs, apart
// from the code under test, which asks getifaddrs).
bool interfaceCarries(const std::string& name) {
  const std::string flagsText = readText("/sys/class/net/" + name + "/flags");
  if (flagsText.empty()) return false;
  const unsigned long flags = std::strtoul(flagsText.c_str(), nullptr, 16);
  return (flags & 0x1) && !(flags & 0x8) && readText("/sys/class/net/" + name + "/carrier") == "1";
}

struct RouteLine {
  std::string name;
  uint32_t dest = 0, gateway = 0, mask = 0;
  unsigned flags = 0;
};

std::vector<RouteLine> ipv4Routes() {
  std::vector<RouteLine> routes;
  std::ifstream in("/proc/net/route");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream f(line);
    RouteLine r;
    std::string dest, gateway, flags, refs, use, metric, mask;
    if (!(f >> r.name >> dest >> gateway >> flags >> refs >> use >> metric >> mask)) continue;
    r.dest = static_cast<uint32_t>(std::stoul(dest, nullptr, 16));
    r.gateway = static_cast<uint32_t>(std::stoul(gateway, nullptr, 16));
    r.flags = static_cast<unsigned>(std::stoul(flags, nullptr, 16));
    r.mask = static_cast<uint32_t>(std::stoul(mask, nullptr, 16));
    routes.push_back(r);
  }
  return routes;
}

bool routeUsable(const RouteLine& r) {
  return (r.flags & 0x1) && !(r.flags & 0x200) && interfaceCarries(r.name);
}

TEST(Reachability, LoopbackIsLocalAndDirect) {
  clearReachabilityOverride();
  EXPECT_EQ(flagsOf(v4("127.0.0.1")), kLocal);
  EXPECT_EQ(flagsOf(v4("127.3.2.1")), kLocal);
  EXPECT_EQ(flagsOf(v6("::1")), kLocal);
  EXPECT_EQ(flagsOf(v6("::ffff:127.0.0.1")), kLocal);  // IPv4-mapped
}

TEST(Reachability, UnsupportedAddressesCannotBeRead) {
  clearReachabilityOverride();
  sockaddr_un unixAddress{};
  unixAddress.sun_family = AF_UNIX;
  EXPECT_EQ(flagsOf(unixAddress), std::nullopt);
  EXPECT_EQ(reachabilityFlagsForAddress(nullptr), std::nullopt);
}

TEST(Reachability, OverrideReplacesTheAnswerUntilCleared) {
  setReachabilityOverride(Reachable | IsWWAN);
  EXPECT_EQ(flagsOf(v4("127.0.0.1")), Reachable | IsWWAN);
  EXPECT_EQ(flagsOf(v4("0.0.0.0")), Reachable | IsWWAN);
  setReachabilityOverride(0u);
  EXPECT_EQ(flagsOf(v4("127.0.0.1")), 0u);
  setReachabilityOverride(std::nullopt);
  EXPECT_EQ(flagsOf(v4("127.0.0.1")), std::nullopt);
  clearReachabilityOverride();
  EXPECT_EQ(flagsOf(v4("127.0.0.1")), kLocal);
}

TEST(Reachability, AnyAddressFollowsTheDefaultRoute) {
  clearReachabilityOverride();
  bool expected = false;
  for (const RouteLine& r : ipv4Routes()) {
    if (r.dest == 0 && r.mask == 0 && routeUsable(r)) expected = true;
  }
  auto flags = flagsOf(v4("0.0.0.0"));
  ASSERT_TRUE(flags.has_value());
  EXPECT_EQ(*flags, expected ? uint32_t{Reachable} : 0u);
  EXPECT_EQ(*flags & (ConnectionRequired | IsWWAN | TransientConnection), 0u);
}

TEST(Reachability, DirectlyConnectedSubnetIsDirect) {
  clearReachabilityOverride();
  const RouteLine* subnet = nullptr;
  const auto routes = ipv4Routes();
  for (const RouteLine& r : routes) {
    if (r.mask != 0 && r.mask != 0xFFFFFFFFu && r.gateway == 0 && routeUsable(r)) subnet = &r;
  }
  if (!subnet) GTEST_SKIP() << "no directly connected IPv4 subnet on this machine";
  // The last host of the subnet: in network order the lowest address byte is the first in memory.
  uint32_t host = subnet->dest | (~subnet->mask & htonl(0xFFFFFFFEu));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = host;
  auto flags = flagsOf(a);
  ASSERT_TRUE(flags.has_value());
  EXPECT_EQ(*flags & (Reachable | IsDirect), Reachable | IsDirect);
}

TEST(Reachability, RemoteAddressNeedsARoute) {
  clearReachabilityOverride();
  // 203.0.113.7 (documentation range) is reached only through a default route here, unless a
  // route with a longer prefix covers it, in which case the test has nothing to say.
  const uint32_t target = v4("203.0.113.7").sin_addr.s_addr;
  bool viaDefault = false;
  for (const RouteLine& r : ipv4Routes()) {
    if (r.mask != 0 && (target & r.mask) == r.dest) GTEST_SKIP() << "a narrower route covers the test address";
    if (r.mask == 0 && routeUsable(r)) viaDefault = true;
  }
  auto flags = flagsOf(v4("203.0.113.7"));
  ASSERT_TRUE(flags.has_value());
  EXPECT_EQ(*flags, viaDefault ? uint32_t{Reachable} : 0u);
}

}  // namespace
