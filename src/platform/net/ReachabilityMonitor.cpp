#include "platform/net/ReachabilityMonitor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/core/FdSource.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"
#include "platform/net/Reachability.h"
#include "platform/net/Resolver.h"

namespace net {

// What is watched: a host name, or a socket address (the any-address for the network at large).
struct ReachabilityMonitor::Target {
  std::optional<std::string> hostName;
  sockaddr_storage address{};
};

namespace {

std::optional<uint32_t> flagsOf(const ReachabilityMonitor::Target& target) {
  if (!target.hostName) return reachabilityFlagsForAddress(reinterpret_cast<const sockaddr*>(&target.address));
  // A forced answer needs no lookup.
  if (reachabilityOverrideActive()) return reachabilityFlagsForAddress(nullptr);
  std::vector<std::string> addresses;
  if (Resolver::lookup(*target.hostName, 0, false, addresses) != 0) return 0u;
  std::optional<uint32_t> best;
  for (const std::string& bytes : addresses) {
    sockaddr_storage storage{};
    std::memcpy(&storage, bytes.data(), std::min(bytes.size(), sizeof storage));
    const auto flags = reachabilityFlagsForAddress(reinterpret_cast<const sockaddr*>(&storage));
    if (!flags) continue;
    if (*flags & Reachable) return flags;
    best = flags;
  }
  return best;
}

constexpr uint32_t kRouteGroups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE |
                                  RTMGRP_IPV6_ROUTE;

}  // namespace

ReachabilityMonitor::ReachabilityMonitor(Key, std::shared_ptr<const Target> target) : m_target(std::move(target)) {}

std::shared_ptr<ReachabilityMonitor> ReachabilityMonitor::createWithName(const std::string& hostName) {
  auto target = std::make_shared<Target>();
  target->hostName = hostName;
  return std::make_shared<ReachabilityMonitor>(Key{}, std::move(target));
}

std::shared_ptr<ReachabilityMonitor> ReachabilityMonitor::createWithAddress(const sockaddr* address) {
  if (!address) return nullptr;
  auto target = std::make_shared<Target>();
  if (address->sa_family == AF_INET) {
    std::memcpy(&target->address, address, sizeof(sockaddr_in));
  } else if (address->sa_family == AF_INET6) {
    std::memcpy(&target->address, address, sizeof(sockaddr_in6));
  } else {
    return nullptr;
  }
  return std::make_shared<ReachabilityMonitor>(Key{}, std::move(target));
}

std::shared_ptr<ReachabilityMonitor> ReachabilityMonitor::createForAnyAddress() {
  sockaddr_in any{};
  any.sin_family = AF_INET;
  return createWithAddress(reinterpret_cast<const sockaddr*>(&any));
}

ReachabilityMonitor::~ReachabilityMonitor() {
  if (m_source) m_source->invalidate();
  closeNetlink();
}

std::optional<uint32_t> ReachabilityMonitor::flags() const { return flagsOf(*m_target); }

void ReachabilityMonitor::setCallback(Callback callback) { m_callback = std::move(callback); }

bool ReachabilityMonitor::scheduleWithRunLoop(core::RunLoop& loop, const std::string& mode) {
  if (m_loop) return false;
  m_loop = &loop;
  m_loopRef = loop.weak_from_this();
  m_mode = mode;
  openNetlink();
  startReading(true);
  return true;
}

bool ReachabilityMonitor::unscheduleFromRunLoop(core::RunLoop& loop, const std::string& mode) {
  if (m_loop != &loop || m_mode != mode) return false;
  if (m_source) {
    m_source->invalidate();
    m_source.reset();
  }
  closeNetlink();
  m_loop = nullptr;
  m_loopRef.reset();
  m_mode.clear();
  // Readings still under way belong to the old schedule.
  m_appliedSequence = m_nextSequence++;
  m_lastFlags.reset();
  return true;
}

void ReachabilityMonitor::openNetlink() {
  const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) {
    KT_LOG("cannot open a routing socket (errno %d): reachability changes are not watched", errno);
    return;
  }
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = kRouteGroups;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    KT_LOG("cannot listen to routing changes (errno %d): reachability changes are not watched", errno);
    ::close(fd);
    return;
  }
  m_netlinkFd = fd;
  std::weak_ptr<ReachabilityMonitor> weakSelf = weak_from_this();
  m_source = core::FdSource::create(fd, core::FdSource::Readable, [weakSelf](unsigned) {
    if (auto self = weakSelf.lock()) self->readNetlink();
  });
  m_loop->addSource(m_source, m_mode);
}

void ReachabilityMonitor::closeNetlink() {
  if (m_netlinkFd >= 0) ::close(m_netlinkFd);
  m_netlinkFd = -1;
}

void ReachabilityMonitor::readNetlink() {
  // Drain everything queued; one reading covers the whole batch.
  std::vector<char> buffer(16384);
  bool changed = false;
  while (m_netlinkFd >= 0) {
    const ssize_t n = ::recv(m_netlinkFd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n > 0) {
      changed = countRouteChanges(buffer.data(), static_cast<size_t>(n)) > 0 || changed;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // Messages were lost when the socket overflowed: the state may have changed.
    if (n < 0 && errno == ENOBUFS) {
      changed = true;
      continue;
    }
    break;
  }
  if (changed) recompute();
}

size_t ReachabilityMonitor::countRouteChanges(const void* data, size_t length) {
  if (!data) return 0;
  const auto* p = static_cast<const char*>(data);
  size_t left = length;
  size_t count = 0;
  while (left >= sizeof(nlmsghdr)) {
    nlmsghdr header{};
    std::memcpy(&header, p, sizeof header);  // the buffer need not be aligned
    if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > left) break;
    switch (header.nlmsg_type) {
      case RTM_NEWLINK:
      case RTM_DELLINK:
      case RTM_NEWADDR:
      case RTM_DELADDR:
      case RTM_NEWROUTE:
      case RTM_DELROUTE:
        ++count;
        break;
      default:
        break;
    }
    if (header.nlmsg_type == NLMSG_DONE) break;
    const size_t step = NLMSG_ALIGN(header.nlmsg_len);
    if (step >= left) break;
    p += step;
    left -= step;
  }
  return count;
}

size_t ReachabilityMonitor::handleNetlinkMessages(const void* data, size_t length) {
  const size_t count = countRouteChanges(data, length);
  if (count > 0) recompute();
  return count;
}

void ReachabilityMonitor::recompute() {
  if (!m_loop) return;
  startReading(false);
}

void ReachabilityMonitor::startReading(bool baseline) {
  const uint64_t sequence = m_nextSequence++;
  std::weak_ptr<ReachabilityMonitor> weakSelf = weak_from_this();
  std::weak_ptr<core::RunLoop> weakLoop = m_loopRef;
  core::Queue::global(core::Queue::Priority::Background)
      ->async([weakSelf, weakLoop, target = m_target, mode = m_mode, sequence, baseline] {
        const std::optional<uint32_t> flags = flagsOf(*target);
        auto loop = weakLoop.lock();
        if (!loop) return;
        loop->performBlock(
            [weakSelf, sequence, flags, baseline] {
              if (auto self = weakSelf.lock()) self->deliver(sequence, flags, baseline);
            },
            {mode});
      });
}

void ReachabilityMonitor::deliver(uint64_t sequence, std::optional<uint32_t> flags, bool baseline) {
  // A reading that an earlier-started one has overtaken, or one from before an unschedule.
  if (!m_loop || sequence <= m_appliedSequence) return;
  m_appliedSequence = sequence;
  if (!flags) return;
  const bool changed = m_lastFlags != flags;
  m_lastFlags = flags;
  if (baseline || !changed || !m_callback) return;
  auto keepAlive = shared_from_this();  // the callback may drop the last owner
  Callback callback = m_callback;
  callback(*flags);
}

}  // namespace net
