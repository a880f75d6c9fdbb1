#include "app/DataCenter.h"

#include "app/UDIDTools.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Value.h"

namespace kt {
namespace {

std::unique_ptr<DataCenter>& sharedDataCenter() {
  static std::unique_ptr<DataCenter> instance;
  return instance;
}

std::unique_ptr<UserInfo>& sharedUserInfo() {
  static std::unique_ptr<UserInfo> instance;
  return instance;
}

}  // namespace

// The fields start at their defaults (priceId "1", gongGuanPos 0, the rest unset); the device
// identifier is fetched here, once per record.
DataCenter::DataCenter() : m_UDID(UDIDTools::UDID()) {
  core::logFormat("UDID:%s", m_UDID ? m_UDID->c_str() : "(null)");
}

DataCenter& DataCenter::sharedInstance() {
  auto& instance = sharedDataCenter();
  if (!instance) instance = std::make_unique<DataCenter>();
  return *instance;
}

void DataCenter::resetSharedInstanceForTesting() { sharedDataCenter().reset(); }

void DataCenter::forwardNoticeCode(const std::string& code, const std::string& detail) {
  core::Value::Dictionary info;
  info[kBusCodeKey] = core::Value(code);
  info[kBusDetailKey] = core::Value(detail);
  core::NotificationCenter::defaultCenter().post(kDataCenterNotification, this, core::Value(std::move(info)));
}

UserInfo& UserInfo::sharUserInfo() {
  auto& instance = sharedUserInfo();
  if (!instance) instance = std::make_unique<UserInfo>();
  return *instance;
}

void UserInfo::resetSharedInstanceForTesting() { sharedUserInfo().reset(); }

}  // namespace kt
