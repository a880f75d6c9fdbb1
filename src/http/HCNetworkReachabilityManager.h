#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct sockaddr;

namespace net {
class ReachabilityMonitor;
}

namespace kt {

enum HCNetworkReachabilityStatus : long {
  HCNetworkReachabilityStatusUnknown = -1,
  HCNetworkReachabilityStatusNotReachable = 0,
  HCNetworkReachabilityStatusReachableViaWWAN = 1,
  HCNetworkReachabilityStatusReachableViaWiFi = 2,
};

// Posted on the main queue after the status callback, with no object and the new status (a
// number) in the user info under HCReachabilityNotificationStatusItem.
extern const char* const HCReachabilityChangedNotification;
extern const char* const HCReachabilityNotificationStatusItem;

// The status a set of reachability flags stands for.
HCNetworkReachabilityStatus HCNetworkReachabilityStatusForFlags(uint32_t flags);
// "Unknown", "Not Reachable", "Reachable via WWAN" or "Reachable via WiFi", through the main
// bundle's "HTTPClient" strings table.
std::string HCStringFromNetworkReachabilityStatus(long status);

// Whether a host, an address or the network in general can be reached: a status value, a
// callback and a notification, all on the main queue.
class HCNetworkReachabilityManager : public std::enable_shared_from_this<HCNetworkReachabilityManager> {
 public:
  using StatusBlock = std::function<void(HCNetworkReachabilityStatus status)>;

  // One per process, for the network in general.
  static std::shared_ptr<HCNetworkReachabilityManager> sharedManager();
  // For the network in general (the IPv4 any-address).
  static std::shared_ptr<HCNetworkReachabilityManager> manager();
  static std::shared_ptr<HCNetworkReachabilityManager> managerForDomain(const std::string& domain);
  // nullptr for an address that is neither IPv4 nor IPv6.
  static std::shared_ptr<HCNetworkReachabilityManager> managerForAddress(const sockaddr* address);
  // Keeps the monitor for its life; status unknown. nullptr without a monitor.
  static std::shared_ptr<HCNetworkReachabilityManager> initWithReachability(
      std::shared_ptr<net::ReachabilityMonitor> reachability);

  ~HCNetworkReachabilityManager();
  HCNetworkReachabilityManager(const HCNetworkReachabilityManager&) = delete;
  HCNetworkReachabilityManager& operator=(const HCNetworkReachabilityManager&) = delete;

  const std::shared_ptr<net::ReachabilityMonitor>& networkReachability() const { return m_networkReachability; }
  HCNetworkReachabilityStatus networkReachabilityStatus() const { return m_networkReachabilityStatus; }
  bool isReachable() const { return isReachableViaWWAN() || isReachableViaWiFi(); }
  bool isReachableViaWWAN() const { return m_networkReachabilityStatus == HCNetworkReachabilityStatusReachableViaWWAN; }
  bool isReachableViaWiFi() const { return m_networkReachabilityStatus == HCNetworkReachabilityStatusReachableViaWiFi; }

  // Stops first; then watches on the main run loop in the common modes and reads the current
  // flags once on a background queue, so a first status arrives without waiting for a change.
  // Main thread.
  void startMonitoring();
  void stopMonitoring();

  void setReachabilityStatusChangeBlock(StatusBlock block) { m_networkReachabilityStatusBlock = std::move(block); }
  const StatusBlock& networkReachabilityStatusBlock() const { return m_networkReachabilityStatusBlock; }

  std::string localizedNetworkReachabilityStatusString() const;

  struct Key {};
  HCNetworkReachabilityManager(Key, std::shared_ptr<net::ReachabilityMonitor> reachability);

 private:
  std::shared_ptr<net::ReachabilityMonitor> m_networkReachability;
  HCNetworkReachabilityStatus m_networkReachabilityStatus = HCNetworkReachabilityStatusUnknown;
  StatusBlock m_networkReachabilityStatusBlock;
};

}  // namespace kt
