#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/OKSelectFoodObject.h"
#include "app/RecordField.h"

namespace kt {

// How a request's fields end: each followed by CR LF (ServerNetworkCenter::sentMsg, where an
// unset field ends the list), or joined by CR LF with nothing after the last
// (ServerNetworkCenter::sendMsg).
enum class RequestForm { Terminated, Joined };

// One request to the room server: its code, its fields in order and the way they are sent.
struct RoomRequest {
  int code = 0;
  RequestForm form = RequestForm::Terminated;
  std::vector<Text> fields;
};

// The requests of the room server's message catalogue. The room values (roomNo, priceId,
// masterID, UDID) are read from DataCenter when the request is built.
class RoomRequests {
 public:
  // 60: the server's date.
  static RoomRequest sysDate();
  // 100: binds this device (DataCenter UDID) to a room.
  static RoomRequest bindClient();
  // 103: the menu categories of the room.
  static RoomRequest foodCategory();
  // 104: the dishes of a second-level category.
  static RoomRequest foodList(const Text& typeNo);
  // 104: the recommended dishes.
  static RoomRequest recommendedFoodList();
  // 105: prices a chosen dish. Five fields: the clerk number is never sent.
  static RoomRequest selectFood(const Text& dishNo, int64_t quantity);
  // 106: the extra options of a dish (its AddInfoNo2).
  static RoomRequest addInfoOfFood(const Text& addInfoNo2);
  // 107: the groups and dishes of a package (the dish's No).
  static RoomRequest packChild(const Text& dishNo);
  // 108: the free-item sets of the basket's MultFreeItemsSetID.
  static RoomRequest multFreeItems(const Text& multFreeItemsSetID);
  // 109: the room's bill.
  static RoomRequest folio();
  // 114: submits the basket lines as an order: an 11-field header, then 30 fields per line.
  // An unset field of a line goes out as "", so every line keeps its 30 fields.
  static RoomRequest confirmInputFood(const std::string& password, const Text& amountText, const FolioList& lines);
  // 119: the room's state.
  static RoomRequest roomStateAndInfo();
  // 147: the staff list.
  static RoomRequest gongGuanList();
  // 149: calls a staff member (DangAnID) to the room.
  static RoomRequest gongGuanHuJiao(const Text& dangAnID);
  // 150: cancels that call.
  static RoomRequest cancelGongGuanHuJiao(const Text& dangAnID);
  // 151: one staff member's state and reservations.
  static RoomRequest gongGuanCurState(const Text& dangAnID);
  // 152: reserves a staff member; kind "0" meet before going off duty, "1" afternoon tea
  // tomorrow, "2" book a room tomorrow.
  static RoomRequest gongGuanYuYue(const Text& dangAnID, const std::string& kind);
  // 153: cancels a reservation by its id.
  static RoomRequest cancelGongGuanYuYue(const Text& dangAnID, const Text& reservationID);

  // Writes the request on the room-server link in its form.
  static void send(const RoomRequest& request);

  // Where request 114 carries the order password among its fields.
  static constexpr size_t kOrderPasswordField = 4;
  // The fields of a request as the log may show them: the order password of request 114 reads
  // "****"; the fields of every other request are shown as they are.
  static std::vector<Text> fieldsForLog(int code, std::vector<Text> fields);
  static std::vector<std::string> fieldsForLog(int code, std::vector<std::string> fields);
  // The same for a whole body ("\r\n<code>\r\n" and the fields).
  static std::string bodyForLog(std::string_view body);
};

}  // namespace kt
