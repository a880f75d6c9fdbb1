#include "app/DataCenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/core/Device.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/Value.h"
#include "support/TempHome.h"

namespace kt {
namespace {

class DataCenterTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    core::Device::setVendorIdentifierForTesting("0F0F0F0F-2222-3333-4444-555555555555");
    DataCenter::resetSharedInstanceForTesting();
    UserInfo::resetSharedInstanceForTesting();
  }
  void TearDown() override {
    DataCenter::resetSharedInstanceForTesting();
    UserInfo::resetSharedInstanceForTesting();
    core::Device::setVendorIdentifierForTesting(std::nullopt);
  }
};

TEST_F(DataCenterTest, FreshRecordBeforeAnyBind) {
  std::vector<std::string> log;
  auto previous = core::setLogSink([&](const std::string& line) { log.push_back(line); });
  DataCenter& center = DataCenter::sharedInstance();
  core::setLogSink(previous);

  EXPECT_EQ(&center, &DataCenter::sharedInstance());
  EXPECT_EQ(center.priceId(), "1");
  EXPECT_FALSE(center.roomNo().has_value());
  EXPECT_FALSE(center.clerkNo().has_value());
  EXPECT_FALSE(center.masterID().has_value());
  EXPECT_FALSE(center.currentBillListArray().has_value());
  EXPECT_EQ(center.gongGuanPos(), 0);
  EXPECT_EQ(center.UDID(), "0F0F0F0F-2222-3333-4444-555555555555");
  EXPECT_NE(std::find(log.begin(), log.end(), "UDID:0F0F0F0F-2222-3333-4444-555555555555"), log.end());

  EXPECT_FALSE(UserInfo::sharUserInfo().SysTime().has_value());
  UserInfo::sharUserInfo().setSysTime("2026-12-07");
  EXPECT_EQ(UserInfo::sharUserInfo().SysTime(), "2026-12-07");
}

struct Received {
  std::string name;
  void* object;
  std::string code;
  std::string detail;
};

TEST_F(DataCenterTest, BusPostsSynchronouslyWithCodeAndDetail) {
  DataCenter& center = DataCenter::sharedInstance();
  std::vector<Received> received;
  core::Observation observer(core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
                             [&](const core::Notification& note) {
                               const std::string* code = note.userInfo["code"].asString();
                               const std::string* detail = note.userInfo["detail"].asString();
                               received.push_back({note.name, note.object, code ? *code : "?", detail ? *detail : "?"});
                             });

  center.forwardNoticeCode("tcpMsg", "000013\r\n60\r\n");
  ASSERT_EQ(received.size(), 1u);  // delivered before the call returned
  EXPECT_EQ(received[0].object, &center);
  EXPECT_EQ(received[0].code, "tcpMsg");
  EXPECT_EQ(received[0].detail, "000013\r\n60\r\n");

  center.forwardNoticeCode("sysMsg", "serverConnected");
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].detail, "serverConnected");

  // Observers take the name from any sender: the dish dialog's own post reaches them too.
  int dialog = 0;
  core::Value::Dictionary info;
  info["code"] = core::Value("updateData");
  info["detail"] = core::Value("");
  core::NotificationCenter::defaultCenter().post(kDataCenterNotification, &dialog, core::Value(info));
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[2].object, &dialog);
  EXPECT_EQ(received[2].code, "updateData");
}

TEST_F(DataCenterTest, ObserverMaySendFromInsideThePost) {
  // A decoder answering a frame posts again from inside its callback; both complete in order.
  DataCenter& center = DataCenter::sharedInstance();
  std::vector<std::string> order;
  auto token = core::NotificationCenter::defaultCenter().addObserver(
      kDataCenterNotification, nullptr, [&](const core::Notification& note) {
        const std::string detail = *note.userInfo["detail"].asString();
        order.push_back("begin " + detail);
        if (detail == "serverConnected") center.forwardNoticeCode("tcpMsg", "reply");
        order.push_back("end " + detail);
      });
  center.forwardNoticeCode("sysMsg", "serverConnected");
  core::NotificationCenter::defaultCenter().removeObserver(token);
  EXPECT_EQ(order, (std::vector<std::string>{"begin serverConnected", "begin reply", "end reply", "end serverConnected"}));
}

}  // namespace
}  // namespace kt
