#pragma once

// The stand-in venue's room: what the room server knows of one bound room and answers about it.
// Installed on a RoomServer, it answers the server's date (60), the bind (100), the menu
// (103 categories, 104 dishes or the recommended list), dish pricing (105), dish options (106),
// package groups (107), free-item sets (108), the room's bill (109), orders (114), the room's
// state (119), and the venue's staff: the list (147), calls (149) and their cancelling (150), one
// member's state and appointments (151), reserving (152) and cancelling a reservation (153). The
// bill opens with the room fee and a welcome drink and keeps every order it accepted; the staff
// live in a VenueStaff that the web server may share. It misbehaves on request.
//
//   VenueRoom room;
//   RoomServer server;
//   room.install(server);
//   server.start();
//
// Replies are built in UTF-8 and framed by the server (result first, then the message, then the
// data). The room's state lives behind a shared pointer that the installed handlers hold too, so
// the server may outlive this object. Every member is safe to call from the test's thread while
// the server thread answers.

#include "venue/Gate.h"
#include "venue/VenueMenu.h"
#include "venue/VenueStaff.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace venue {

class RoomServer;

// What the bind reply tells the tablet about its room.
struct RoomIdentity {
  std::string roomNo = "8012";
  std::string roomName = "8012房";
  std::string roomType = "豪华包";
  std::string printId = "1";
  std::string priceId = "1";
};

// An accepted order, its fields exactly as received.
struct PlacedOrder {
  std::vector<std::string> header;              // the 11 header fields
  std::vector<std::vector<std::string>> lines;  // 30 fields per line, in order
  long long amountCents = 0;                    // the server's own sum of the lines not free ("F")
  std::string time;                             // when it was taken ("2026-12-07 21:50:00")
};

// One line of the room's bill, in the fields the bill reply carries.
struct BillLine {
  std::string foodNo;
  std::string foodName;
  std::string price;
  std::string quantity;
  std::string monad;
  std::string flag;          // "N" ordered, "F" free
  std::string limitDisRate;
  std::string ifPackChild;
  std::string returnFlag = "0";
  std::string inputClerk;
  std::string inputTime;
  std::string freeClerk;
};

// The terms the bill's header figures are worked out by.
struct BillTerms {
  std::string checkInTime = "2026-12-07 19:30:00";
  long long lowLimitCents = 50000;  // the minimum charge
  // The room's discount: a line is charged at this percentage, or at its own LimitDisRate (the
  // lowest percentage it may be discounted to) when that is higher.
  int discountPercent = 90;
};

// The bill's header figures in cents, each the sum of the lines it stands for. A line counts
// price times quantity unless it is free ("F") or returned (ReturnFlag "1").
struct BillFigures {
  long long roomFee = 0;        // the lines of the room fee dish
  long long food = 0;           // every other line
  long long consumption = 0;    // roomFee + food: the money consumed ("消费金额", the room bar's figure)
  long long discount = 0;       // what the discount takes off the lines
  long long afterDiscount = 0;  // consumption - discount ("折后金额"), never above consumption
  long long lowLimit = 0;       // the minimum charge
  long long overLowLimit = 0;   // how far consumption is above the minimum charge, 0 when below
};

class VenueRoom {
 public:
  // Positions of an order line's fields (request 114).
  enum OrderField : std::size_t {
    kFoodNo = 0, kFoodName, kPrice, kFlag, kQuantity, kCanDiscount, kAdds1Name, kAdds2Name, kMonad,
    kIfLowLimitPrice, kPrinterNo, kOverTimes, kIfPack, kIfPackChild, kAutoFreed, kAutoFreeCount,
    kGroupID, kParentFoodNo, kCanReward, kLimitDisRate, kNote, kDeduckClerkName, kFlowerGirlsNo,
    kOrderLineFields = 30,
  };
  static constexpr std::size_t kOrderHeaderFields = 11;
  static constexpr const char* kWrongPassword = "落单密码错误";
  static constexpr const char* kBadOrder = "落单数据错误";
  static constexpr const char* kEmptyOrder = "没有落单菜品";
  static constexpr const char* kWrongRoom = "房间号错误";
  static constexpr const char* kUnknownDish = "菜品不存在";
  static constexpr const char* kBadQuantity = "点单数量不正确";
  static constexpr const char* kNoPackage = "该菜品不是套餐";
  static constexpr const char* kInputClerk = "平板点单";
  static constexpr const char* kRoomFeeNo = "0001";  // the room fee's dish number on the bill
  // Parts before the first bill line (109), and parts per line.
  static constexpr std::size_t kBillLineStart = 27;
  static constexpr std::size_t kBillLineParts = 16;

  explicit VenueRoom(const Menu& menu = Menu::standard(),
                     std::shared_ptr<VenueStaff> staff = VenueStaff::standard());
  ~VenueRoom();
  VenueRoom(const VenueRoom&) = delete;
  VenueRoom& operator=(const VenueRoom&) = delete;

  // Answers the room's codes on this server (60, 100, 103 to 109, 114, 119, 147, 149 to 153).
  void install(RoomServer& server);

  const Menu& menu() const;

  // --- room -----------------------------------------------------------------------------------
  RoomIdentity identity() const;
  void setIdentity(RoomIdentity identity);
  // The bind fails with this text ("" is a refusal without text); std::nullopt binds again.
  void setBindRefusal(std::optional<std::string> message);
  // The device identifiers of the bind requests answered with success, in order.
  std::vector<std::string> boundDevices() const;
  // The date reply's text; std::nullopt (the default) gives the current local time.
  void setDate(std::optional<std::string> text);
  void setMasterId(std::string id);
  void setReceiveClerk(std::string clerk);  // "" for a room booked by the guests themselves

  // --- pricing --------------------------------------------------------------------------------
  // The GroupID of each pricing answered, in order (every pricing gets a fresh one).
  std::vector<std::string> groupIds() const;

  // --- orders ---------------------------------------------------------------------------------
  std::string password() const;
  void setPassword(std::string password);
  // The next order is refused with this text ("" refuses without text), whatever it holds.
  void refuseNextOrder(std::string message);
  std::vector<PlacedOrder> orders() const;
  // The bill: the opening lines, then the lines of every accepted order.
  std::vector<BillLine> billLines() const;
  void setOpeningLines(std::vector<BillLine> lines);
  BillTerms billTerms() const;
  void setBillTerms(BillTerms terms);
  BillFigures billFigures() const;
  // The money consumed: the bill's consumption, which the room state (119) reports too.
  long long consumedCents() const;
  std::string consumedText() const;  // "%.2f"

  // --- staff --------------------------------------------------------------------------------
  // The staff this room answers about; hand the same pointer to the web server.
  std::shared_ptr<VenueStaff> staff() const;

  // --- faults ---------------------------------------------------------------------------------
  // The next request of this code gets no reply and the connection is closed (the client reads
  // the end of the stream).
  void dropOnNext(int code);
  // Requests of this code get no reply while silent.
  void setSilent(int code, bool silent);
  // Replies of this code wait at the gate until the test opens it (nullptr: none).
  void holdAt(int code, std::shared_ptr<Gate> gate);
  // The next request of this code is refused (result "1") with this text, whatever it asks.
  void refuseNext(int code, std::string message);
  void clearFaults();

  struct State;  // the room's state, shared with the handlers installed on a server

 private:
  std::unique_lock<std::mutex> locked() const;

  std::shared_ptr<State> m_state;
};

}  // namespace venue
