#include "http/HCNetworkReachabilityManager.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <optional>

#include "platform/core/Bundle.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Value.h"
#include "platform/net/Reachability.h"
#include "platform/net/ReachabilityMonitor.h"

namespace kt {

const char* const HCReachabilityChangedNotification = "com.ktv.httpclient.networking.reachability.change";
const char* const HCReachabilityNotificationStatusItem = "HTTPClientReachabilityNotificationStatusItem";

HCNetworkReachabilityStatus HCNetworkReachabilityStatusForFlags(uint32_t flags) {
  const bool isReachable = (flags & net::Reachable) != 0;
  const bool needsConnection = (flags & net::ConnectionRequired) != 0;
  const bool canConnectAutomatically = (flags & (net::ConnectionOnDemand | net::ConnectionOnTraffic)) != 0;
  const bool canConnectWithoutUserInteraction = canConnectAutomatically && (flags & net::InterventionRequired) == 0;
  const bool isNetworkReachable = isReachable && (!needsConnection || canConnectWithoutUserInteraction);
  if (!isNetworkReachable) return HCNetworkReachabilityStatusNotReachable;
  if (flags & net::IsWWAN) return HCNetworkReachabilityStatusReachableViaWWAN;
  return HCNetworkReachabilityStatusReachableViaWiFi;
}

std::string HCStringFromNetworkReachabilityStatus(long status) {
  const char* text = "Unknown";
  switch (status) {
    case HCNetworkReachabilityStatusNotReachable: text = "Not Reachable"; break;
    case HCNetworkReachabilityStatusReachableViaWWAN: text = "Reachable via WWAN"; break;
    case HCNetworkReachabilityStatusReachableViaWiFi: text = "Reachable via WiFi"; break;
    default: break;
  }
  return core::Bundle::main().localizedString(text, "", "HTTPClient");
}

namespace {

using StatusCallback = std::function<void(HCNetworkReachabilityStatus)>;

// Computes the status at once; on the main queue, calls the callback and then posts the
// notification.
void postReachabilityStatusChange(uint32_t flags, StatusCallback callback) {
  const HCNetworkReachabilityStatus status = HCNetworkReachabilityStatusForFlags(flags);
  core::Queue::main()->async([status, callback = std::move(callback)] {
    if (callback) callback(status);
    core::Value userInfo;
    userInfo.set(HCReachabilityNotificationStatusItem, static_cast<int64_t>(status));
    core::NotificationCenter::defaultCenter().post(HCReachabilityChangedNotification, nullptr, userInfo);
  });
}

}  // namespace

HCNetworkReachabilityManager::HCNetworkReachabilityManager(Key, std::shared_ptr<net::ReachabilityMonitor> reachability)
    : m_networkReachability(std::move(reachability)) {}

std::shared_ptr<HCNetworkReachabilityManager> HCNetworkReachabilityManager::sharedManager() {
  static core::OnceFlag once;
  static std::shared_ptr<HCNetworkReachabilityManager>* shared = nullptr;
  // Never destroyed: other threads may still ask while the process exits.
  core::once(once, [] { shared = new std::shared_ptr<HCNetworkReachabilityManager>(manager()); });
  return *shared;
}

std::shared_ptr<HCNetworkReachabilityManager> HCNetworkReachabilityManager::manager() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  return managerForAddress(reinterpret_cast<const sockaddr*>(&address));
}

std::shared_ptr<HCNetworkReachabilityManager> HCNetworkReachabilityManager::managerForDomain(const std::string& domain) {
  return initWithReachability(net::ReachabilityMonitor::createWithName(domain));
}

std::shared_ptr<HCNetworkReachabilityManager> HCNetworkReachabilityManager::managerForAddress(const sockaddr* address) {
  return initWithReachability(net::ReachabilityMonitor::createWithAddress(address));
}

std::shared_ptr<HCNetworkReachabilityManager> HCNetworkReachabilityManager::initWithReachability(
    std::shared_ptr<net::ReachabilityMonitor> reachability) {
  if (!reachability) return nullptr;
  return std::make_shared<HCNetworkReachabilityManager>(Key{}, std::move(reachability));
}

HCNetworkReachabilityManager::~HCNetworkReachabilityManager() {
  stopMonitoring();
  if (m_networkReachability) m_networkReachability->setCallback({});
}

void HCNetworkReachabilityManager::startMonitoring() {
  stopMonitoring();
  if (!m_networkReachability) return;

  // Holds the manager weakly: monitoring does not keep it alive.
  std::weak_ptr<HCNetworkReachabilityManager> weakSelf = weak_from_this();
  StatusCallback callback = [weakSelf](HCNetworkReachabilityStatus status) {
    auto self = weakSelf.lock();
    if (!self) return;
    self->m_networkReachabilityStatus = status;
    if (self->m_networkReachabilityStatusBlock) {
      StatusBlock block = self->m_networkReachabilityStatusBlock;
      block(status);
    }
  };

  m_networkReachability->setCallback([callback](uint32_t flags) { postReachabilityStatusChange(flags, callback); });
  m_networkReachability->scheduleWithRunLoop(core::RunLoop::main(), core::RunLoop::CommonModes);

  std::shared_ptr<net::ReachabilityMonitor> reachability = m_networkReachability;
  core::Queue::global(core::Queue::Priority::Background)->async([reachability, callback] {
    if (const std::optional<uint32_t> flags = reachability->flags()) postReachabilityStatusChange(*flags, callback);
  });
}

void HCNetworkReachabilityManager::stopMonitoring() {
  if (!m_networkReachability) return;
  m_networkReachability->unscheduleFromRunLoop(core::RunLoop::main(), core::RunLoop::CommonModes);
  m_networkReachability->setCallback({});
}

std::string HCNetworkReachabilityManager::localizedNetworkReachabilityStatusString() const {
  return HCStringFromNetworkReachabilityStatus(m_networkReachabilityStatus);
}

}  // namespace kt
