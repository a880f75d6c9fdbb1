#include "app/DataCenter.h"

#include "app/UDIDTools.h"
#include "platform/core/LazyShared.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Value.h"

namespace kt {

// The fields start at their defaults (priceId "1", gongGuanPos 0, the rest unset); the device
// identifier is fetched here, once per record.
DataCenter::DataCenter() : m_UDID(UDIDTools::UDID()) {
  core::logFormat("UDID:%s", m_UDID ? m_UDID->c_str() : "(null)");
}

DataCenter& DataCenter::sharedInstance() { return core::LazyShared<DataCenter>::instance(); }

void DataCenter::resetSharedInstanceForTesting() { core::LazyShared<DataCenter>::reset(); }

core::Value busUserInfo(const std::string& code, const std::string& detail) {
  core::Value::Dictionary info;
  info[kBusCodeKey] = core::Value(code);
  info[kBusDetailKey] = core::Value(detail);
  return core::Value(std::move(info));
}

void DataCenter::forwardNoticeCode(const std::string& code, const std::string& detail) {
  core::NotificationCenter::defaultCenter().post(kDataCenterNotification, this, busUserInfo(code, detail));
}

UserInfo& UserInfo::sharUserInfo() { return core::LazyShared<UserInfo>::instance(); }

void UserInfo::resetSharedInstanceForTesting() { core::LazyShared<UserInfo>::reset(); }

}  // namespace kt
