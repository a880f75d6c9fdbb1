#include "order/PendingStaffRequests.h"

#include <algorithm>

#include "app/DataCenter.h"
#include "link/RoomReplies.h"
#include "link/RoomRequests.h"
#include "link/ServerNetworkCenter.h"
#include "platform/core/LazyShared.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/ThreadCheck.h"

namespace kt {

PendingStaffRequests& PendingStaffRequests::shared() { return core::LazyShared<PendingStaffRequests>::instance(); }

PendingStaffRequests::PendingStaffRequests()
    : m_observation(std::make_unique<core::Observation>(
          core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
          [this](const core::Notification& notification) { heard(notification); })) {}

PendingStaffRequests::~PendingStaffRequests() = default;

void PendingStaffRequests::send(const RoomRequest& request, const Text& member) {
  KT_ASSERT_MAIN_THREAD();
  const bool connected = ServerNetworkCenter::sharedInstance().isConnect();
  RoomRequests::send(request);
  if (connected) m_out[request.code].push_back(member.value_or(std::string()));
}

bool PendingStaffRequests::isOut(int code, const Text& member) const {
  auto it = m_out.find(code);
  if (it == m_out.end()) return false;
  const std::string id = member.value_or(std::string());
  return std::find(it->second.begin(), it->second.end(), id) != it->second.end();
}

void PendingStaffRequests::heard(const core::Notification& notification) {
  const std::string code = notification.userInfo[kBusCodeKey].stringValue();
  const std::string detail = notification.userInfo[kBusDetailKey].stringValue();
  if (code == kBusCodeSystemMessage) {
    if (detail == kBusServerDidDisconnect || detail == kBusServerConnected) m_out.clear();
    return;
  }
  if (code != kBusCodeTcpMessage || m_out.empty()) return;
  auto it = m_out.find(RoomReplies::code(RoomReplies::split(detail)));
  if (it == m_out.end() || it->second.empty()) return;
  it->second.pop_front();
  if (it->second.empty()) m_out.erase(it);
}

}  // namespace kt
