#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct sockaddr;

namespace core {
class RunLoop;
class FdSource;
}  // namespace core

namespace net {

// Watches the reachability flags (see Reachability.h) of a host name, an address or the network
// in general (the any-address), and reports changes.
//
// While scheduled on a run loop it listens to the kernel's routing messages (links, addresses and
// routes coming and going) and recomputes the flags after each batch. The flags are worked out
// on a background queue, never on the loop (a host name is resolved there), and the callback
// runs on the loop, in the scheduled mode, only when they differ from the last flags known.
// Scheduling takes a first reading as the baseline without calling back.
//
// Thread use: flags() and the create functions from any thread; everything else from the thread
// of the loop it is (to be) scheduled on.
class ReachabilityMonitor : public std::enable_shared_from_this<ReachabilityMonitor> {
 public:
  using Callback = std::function<void(uint32_t flags)>;

  static std::shared_ptr<ReachabilityMonitor> createWithName(const std::string& hostName);
  // An IPv4 or IPv6 socket address; nullptr for anything else. 0.0.0.0 (or ::) stands for the
  // network in general.
  static std::shared_ptr<ReachabilityMonitor> createWithAddress(const sockaddr* address);
  static std::shared_ptr<ReachabilityMonitor> createForAnyAddress();

  ~ReachabilityMonitor();
  ReachabilityMonitor(const ReachabilityMonitor&) = delete;
  ReachabilityMonitor& operator=(const ReachabilityMonitor&) = delete;

  // The current flags, blocking (a host name that does not resolve gives 0); nullopt when the
  // machine's state cannot be read.
  std::optional<uint32_t> flags() const;

  // Replaces the callback; an empty one stops the reports.
  void setCallback(Callback callback);

  // On one loop at a time: false when already scheduled elsewhere or in another mode.
  bool scheduleWithRunLoop(core::RunLoop& loop, const std::string& mode);
  // false when it was not scheduled there. Pending readings are dropped.
  bool unscheduleFromRunLoop(core::RunLoop& loop, const std::string& mode);
  bool isScheduled() const { return m_loop != nullptr; }
  // Whether the kernel's routing messages are being watched (false when the socket could not be
  // opened: then only recompute() brings news).
  bool isListening() const { return m_netlinkFd >= 0; }
  // The flags last read while scheduled (nullopt before the first reading).
  std::optional<uint32_t> lastFlags() const { return m_lastFlags; }

  // Reads the flags again, as a routing change does (no effect while not scheduled).
  void recompute();

  // Takes bytes received from the routing socket: recomputes when any message in them is a link,
  // address or route change. Returns the number of such messages.
  size_t handleNetlinkMessages(const void* data, size_t length);
  // The number of link, address and route messages in a buffer of netlink messages; parsing
  // stops at the first malformed or truncated message.
  static size_t countRouteChanges(const void* data, size_t length);

  struct Target;
  struct Key {};
  ReachabilityMonitor(Key, std::shared_ptr<const Target> target);

 private:
  void openNetlink();
  void closeNetlink();
  void readNetlink();
  void startReading(bool baseline);
  void deliver(uint64_t sequence, std::optional<uint32_t> flags, bool baseline);

  std::shared_ptr<const Target> m_target;
  Callback m_callback;
  core::RunLoop* m_loop = nullptr;
  std::weak_ptr<core::RunLoop> m_loopRef;
  std::string m_mode;
  int m_netlinkFd = -1;
  std::shared_ptr<core::FdSource> m_source;
  uint64_t m_nextSequence = 1;
  uint64_t m_appliedSequence = 0;
  std::optional<uint32_t> m_lastFlags;
};

}  // namespace net
