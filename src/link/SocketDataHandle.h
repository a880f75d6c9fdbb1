#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RecordField.h"

namespace core {
struct Notification;
class Observation;
class Timer;
}  // namespace core

namespace kt {

class CancelGongGuanHuJiao;
class FoodTypeObject;
class GongGuanCurState;
class GongGuanHuJiao;
class GongGuanList;
class OKFolioObject;
class OKFoodObject;
class OKPackChild;
class OKPackChildFood;
class OKSelectFoodObject;
class SocketDataHandle;

using FoodTypeList = std::vector<std::shared_ptr<FoodTypeObject>>;
using FoodList = std::vector<std::shared_ptr<OKFoodObject>>;
using FolioLines = std::vector<std::shared_ptr<OKFolioObject>>;
using PackChildList = std::vector<std::shared_ptr<OKPackChild>>;
// SetID -> that group's dishes, in reply order.
using PackChildFoodMap = std::map<std::string, std::vector<std::shared_ptr<OKPackChildFood>>>;
using GongGuanListArray = std::vector<std::shared_ptr<GongGuanList>>;

// The receiver of decoded room-server replies. Every operation is optional: the decoder calls
// one only when implements() answers true for it, else the records are dropped. Records are made
// fresh for each reply and handed over.
//
// A delegate that is destroyed stops being the decoder's delegate (its destructor clears it), so
// a reply that arrives after its screen has closed reaches nobody.
class SocketDataHandleDelegate {
 public:
  enum class Op {
    ServerConnect,
    ClientConnected,
    BoundClient,
    DidConfirmInputAmount,
    DidCategory,
    DidFoodList,
    DidAddInfoOfFood,
    DidSelectFood,
    DidPackChild,
    DidConfirmInputFood,
    DidRoomStateAndInfo,
    DidGongGuanList,
    DidGongGuanCurState,
    DidGongGuanHuJiao,
    DidCancelGongGuanHuJiao,
    DidGongGuanYuYue,
    DidCancelGongGuanYuYue,
  };

  SocketDataHandleDelegate() = default;
  SocketDataHandleDelegate(const SocketDataHandleDelegate&) = default;
  SocketDataHandleDelegate& operator=(const SocketDataHandleDelegate&) = default;
  virtual ~SocketDataHandleDelegate();

  virtual bool implements(Op op) const {
    (void)op;
    return false;
  }

  // "serverConnected" (true) and "serverDidDisconnect" (false).
  virtual void serverConnect(SocketDataHandle& handle, bool connected) {
    (void)handle;
    (void)connected;
  }
  // Declared for the venue-client link; never called.
  virtual void clientConnected(SocketDataHandle& handle, bool connected) {
    (void)handle;
    (void)connected;
  }
  // Reply 100: every part of the reply.
  virtual void boundClient(SocketDataHandle& handle, const std::vector<std::string>& parts) {
    (void)handle;
    (void)parts;
  }
  // A bus notice with code "confirmInputAmount".
  virtual void socketDataHandleDidConfirmInputAmount() {}
  // Reply 103 with at least one category, in reply order.
  virtual void socketDataHandleDidCategory(FoodTypeList categories) { (void)categories; }
  // Reply 104, empty or not.
  virtual void socketDataHandleDidFoodList(FoodList foods) { (void)foods; }
  // Reply 106: the option texts.
  virtual void socketDataHandleDidAddInfoOfFood(std::vector<std::string> options) { (void)options; }
  // Reply 105 without error: the priced lines (not yet in the basket).
  virtual void socketDataHandleDidSelectFood(FolioLines lines) { (void)lines; }
  // Replies 107 and 108: nullopt, 0, nullopt when there are no groups.
  virtual void socketDataHandleDidPackChild(std::optional<PackChildFoodMap> foods, int64_t packCount,
                                            std::optional<PackChildList> packChildArray) {
    (void)foods;
    (void)packCount;
    (void)packChildArray;
  }
  // Reply 114: the server's message on failure, "" on success.
  virtual void socketDataHandleDidConfirmInputFood(const Text& message) { (void)message; }
  // Reply 119.
  virtual void socketDataHandleDidRoomStateAndInfo() {}
  // Reply 147 with result "0".
  virtual void socketDataHandleDidGongGuanList(GongGuanListArray list) { (void)list; }
  // Reply 151: the state on result "0", nullptr after a failure ("1").
  virtual void socketDataHandleDidGongGuanCurState(std::shared_ptr<GongGuanCurState> state) { (void)state; }
  // Reply 149 without error.
  virtual void socketDataHandleDidGongGuanHuJiao(std::shared_ptr<GongGuanHuJiao> result) { (void)result; }
  // Reply 150 without error.
  virtual void socketDataHandleDidCancelGongGuanHuJiao(std::shared_ptr<CancelGongGuanHuJiao> result) {
    (void)result;
  }
  // Reply 152: whether the result was "0".
  virtual void socketDataHandleDidGongGuanYuYue(bool succeeded) { (void)succeeded; }
  // Reply 153: whether the result was "0".
  virtual void socketDataHandleDidCancelGongGuanYuYue(bool succeeded) { (void)succeeded; }
};

// The reply decoder of the room-server link. It observes the event bus ("getDataFromCenter"),
// turns every received frame into in-room records and room-state values and hands them to the
// one current delegate; it shows the connection and the server's date on the status strip and,
// when no delegate takes connection changes, opens the link again after it is lost. It also
// keeps each room's order basket and the two values the dish dialog sets before pricing a dish.
// Main thread only; it runs inside the socket callback that posted the frame.
class SocketDataHandle {
 public:
  // The one decoder, made on first use.
  static SocketDataHandle& sharedInstance();
  // Tests only: drops the decoder (its bus registration and pending reconnect go with it).
  static void resetSharedInstanceForTesting();

  SocketDataHandle();
  ~SocketDataHandle();
  SocketDataHandle(const SocketDataHandle&) = delete;
  SocketDataHandle& operator=(const SocketDataHandle&) = delete;

  // The current receiver (not owned); the last setDelegate wins. Cleared when it is destroyed.
  SocketDataHandleDelegate* delegate() const { return m_delegate; }
  void setDelegate(SocketDataHandleDelegate* delegate) { m_delegate = delegate; }

  // The basket of the room DataCenter::roomNo() names now, made empty on the first request for
  // that room and kept for the life of the process. nullptr while no room is bound.
  std::shared_ptr<OKSelectFoodObject> getTmpSelectFood();
  // Room number -> basket.
  const std::map<std::string, std::shared_ptr<OKSelectFoodObject>>& tmpSelectDict() const {
    return m_tmpSelectDict;
  }

  // Quantity of the dish being priced (request 105).
  int64_t Amount() const { return m_Amount; }
  void setAmount(int64_t amount) { m_Amount = amount; }
  // Option text chosen for the dish being priced; copied into the lines of reply 105.
  const Text& addInfo() const { return m_addInfo; }
  void setAddInfo(Text addInfo) { m_addInfo = std::move(addInfo); }

  // One bus notification: {"code", "detail"}.
  void didReceiveDataFromSocket(const core::Notification& notification);
  // The same, given the code and detail directly.
  void dispatch(const std::string& code, const std::string& detail);

  // Whether a reconnect is waiting for its delay to pass.
  bool reconnectPending() const;

  // The pause before trying again after an attempt that never connected.
  static constexpr double kRetryDelay = 1.0;

 private:
  void handleSystemMessage(const std::string& detail);
  void handleReply(const std::string& detail);
  void reconnect();
  // Clears the delegate if it is `delegate` (called from the delegate's destructor).
  void forget(const SocketDataHandleDelegate* delegate);
  friend class SocketDataHandleDelegate;

  SocketDataHandleDelegate* m_delegate = nullptr;
  std::map<std::string, std::shared_ptr<OKSelectFoodObject>> m_tmpSelectDict;
  int64_t m_Amount = 0;
  Text m_addInfo;
  std::unique_ptr<core::Observation> m_observation;
  std::shared_ptr<core::Timer> m_retryTimer;
  // Set by "serverConnected", cleared by "serverDidDisconnect": whether the last attempt connected.
  bool m_wasConnected = false;
};

}  // namespace kt
