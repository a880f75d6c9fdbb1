#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RecordField.h"

namespace core {
class Value;
}  // namespace core

namespace kt {

class OKFolioObject;
class SQLDatabase;

// The link's event bus: one notification name, with user info {"code": ..., "detail": ...}.
inline constexpr const char* kDataCenterNotification = "getDataFromCenter";
inline constexpr const char* kBusCodeKey = "code";
inline constexpr const char* kBusDetailKey = "detail";
inline constexpr const char* kBusCodeTcpMessage = "tcpMsg";
inline constexpr const char* kBusCodeSystemMessage = "sysMsg";
inline constexpr const char* kBusCodeUpdateData = "updateData";
inline constexpr const char* kBusServerConnected = "serverConnected";
inline constexpr const char* kBusServerDidDisconnect = "serverDidDisconnect";
inline constexpr const char* kBusClientConnected = "clientConnected";
inline constexpr const char* kBusClientDidDisconnect = "clientDidDisconnect";

// The user info of a post on the bus: {"code": code, "detail": detail}.
core::Value busUserInfo(const std::string& code, const std::string& detail);

// The process-wide record of the room the tablet is bound to, its current booking and the
// device identifier, and the sender of every post on the link's event bus (the links post with
// it too). Main thread only; nothing is persisted: the next bind and room-state replies set
// everything again.
class DataCenter {
 public:
  // Created on first use (which fetches the device identifier), never destroyed.
  static DataCenter& sharedInstance();

  // Posts "getDataFromCenter" on the default notification center with this record as the
  // sender and {"code": code, "detail": detail}; every observer has run when it returns.
  void forwardNoticeCode(const std::string& code, const std::string& detail);

  KT_FIELD_NAMED(std::optional<std::vector<std::shared_ptr<OKFolioObject>>>, currentBillListArray,
                 setCurrentBillListArray, std::nullopt)
  KT_FIELD_NAMED(Text, clerkNo, setClerkNo, std::nullopt)
  KT_FIELD_NAMED(Text, priceId, setPriceId, "1")
  KT_FIELD_NAMED(Text, roomNo, setRoomNo, std::nullopt)
  KT_FIELD_NAMED(Text, printId, setPrintId, std::nullopt)
  KT_FIELD_NAMED(Text, roomType, setRoomType, std::nullopt)
  KT_FIELD_NAMED(Text, UDID, setUDID, std::nullopt)
  KT_FIELD_NAMED(Text, consumeMoney, setConsumeMoney, std::nullopt)
  KT_FIELD_NAMED(Text, receiveClerk, setReceiveClerk, std::nullopt)
  KT_FIELD_NAMED(Text, masterID, setMasterID, std::nullopt)
  KT_FIELD_NAMED(Text, willPayedMoney, setWillPayedMoney, std::nullopt)
  KT_FIELD_NAMED(int32_t, gongGuanPos, setGongGuanPos, 0)
  // A database connection slot that nothing in the program opens yet.
  KT_FIELD_NAMED(std::shared_ptr<SQLDatabase>, db, setDb, nullptr)

 public:
  DataCenter();
  DataCenter(const DataCenter&) = delete;
  DataCenter& operator=(const DataCenter&) = delete;

  // Tests only: forget the shared record so the next sharedInstance() builds a new one.
  static void resetSharedInstanceForTesting();
};

// The server's date, from the date reply.
class UserInfo {
 public:
  static UserInfo& sharUserInfo();

  KT_FIELD_NAMED(Text, SysTime, setSysTime, std::nullopt)

 public:
  static void resetSharedInstanceForTesting();
};

}  // namespace kt
