#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/RecordField.h"
#include "platform/core/Value.h"
#include "platform/core/WeakPtr.h"

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

// The receiver of decoded room-server replies: a protocol of slots. Every operation is optional
// and is one public slot named after it, which the delegate sets (usually in its constructor) to
// take that operation; the decoder calls a slot only when it is set, else the records are dropped.
// Records are made fresh for each reply and handed over. A slot may close its own screen, as long
// as it touches nothing of it afterwards (captures included): the decoder does not touch it again.
//
// The decoder holds its delegate weakly, so a reply that arrives after its screen has closed
// reaches nobody. The weak pointers are cut off when this base part goes, which is after the
// derived screen's own members: that is safe because everything runs on the main thread and no
// screen's destructor dispatches replies.
class SocketDataHandleDelegate {
 public:
  SocketDataHandleDelegate() = default;
  SocketDataHandleDelegate(const SocketDataHandleDelegate&) = delete;
  SocketDataHandleDelegate& operator=(const SocketDataHandleDelegate&) = delete;
  virtual ~SocketDataHandleDelegate() = default;

  // "serverConnected" (true) and "serverDidDisconnect" (false). Whether it is set also decides
  // who reopens a lost link: the screen that set it, or else the decoder.
  std::function<void(SocketDataHandle& handle, bool connected)> serverConnect;
  // Declared for the venue-client link; never called.
  std::function<void(SocketDataHandle& handle, bool connected)> clientConnected;
  // Reply 100: every part of the reply.
  std::function<void(SocketDataHandle& handle, const std::vector<std::string>& parts)> boundClient;
  // A bus notice with code "confirmInputAmount".
  std::function<void()> socketDataHandleDidConfirmInputAmount;
  // Reply 103 with at least one category, in reply order.
  std::function<void(FoodTypeList categories)> socketDataHandleDidCategory;
  // Reply 104, empty or not.
  std::function<void(FoodList foods)> socketDataHandleDidFoodList;
  // Reply 106: the option texts.
  std::function<void(std::vector<std::string> options)> socketDataHandleDidAddInfoOfFood;
  // Reply 105 without error: the priced lines (not yet in the basket).
  std::function<void(FolioLines lines)> socketDataHandleDidSelectFood;
  // Replies 107 and 108: nullopt, 0, nullopt when there are no groups.
  std::function<void(std::optional<PackChildFoodMap> foods, int64_t packCount,
                     std::optional<PackChildList> packChildArray)>
      socketDataHandleDidPackChild;
  // Reply 114: the server's message on failure, "" on success. The basket's order is no longer
  // out by then, and an accepted order's lines have left the basket.
  std::function<void(const Text& message)> socketDataHandleDidConfirmInputFood;
  // Reply 119.
  std::function<void()> socketDataHandleDidRoomStateAndInfo;
  // Reply 147 with result "0".
  std::function<void(GongGuanListArray list)> socketDataHandleDidGongGuanList;
  // Reply 151: the state on result "0", nullptr after a failure ("1").
  std::function<void(std::shared_ptr<GongGuanCurState> state)> socketDataHandleDidGongGuanCurState;
  // Reply 149 without error.
  std::function<void(std::shared_ptr<GongGuanHuJiao> result)> socketDataHandleDidGongGuanHuJiao;
  // Reply 150 without error.
  std::function<void(std::shared_ptr<CancelGongGuanHuJiao> result)> socketDataHandleDidCancelGongGuanHuJiao;
  // Reply 152: whether the result was "0".
  std::function<void(bool succeeded)> socketDataHandleDidGongGuanYuYue;
  // Reply 153: whether the result was "0".
  std::function<void(bool succeeded)> socketDataHandleDidCancelGongGuanYuYue;

  core::WeakPtr<SocketDataHandleDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<SocketDataHandleDelegate> m_weakFactory{this};
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

  // The current receiver (not owned); the last setDelegate wins. Null once it is destroyed.
  SocketDataHandleDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(SocketDataHandleDelegate* delegate);

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

  // Declared for the room's player and mixer, a login, a room list and the counters of a list page;
  // nothing in the system reads or writes them.
  bool isControlVol() const { return m_isControlVol; }
  void setIsControlVol(bool value) { m_isControlVol = value; }
  bool isMute() const { return m_isMute; }
  void setIsMute(bool value) { m_isMute = value; }
  bool isOriginalMusic() const { return m_isOriginalMusic; }
  void setIsOriginalMusic(bool value) { m_isOriginalMusic = value; }
  bool isPlaying() const { return m_isPlaying; }
  void setIsPlaying(bool value) { m_isPlaying = value; }
  int32_t currentVol() const { return m_currentVol; }
  void setCurrentVol(int32_t value) { m_currentVol = value; }
  float volMax() const { return m_volMax; }
  void setVolMax(float value) { m_volMax = value; }
  float micMax() const { return m_micMax; }
  void setMicMax(float value) { m_micMax = value; }
  float effMax() const { return m_effMax; }
  void setEffMax(float value) { m_effMax = value; }
  const Text& volValue() const { return m_volValue; }
  void setVolValue(Text value) { m_volValue = std::move(value); }
  const Text& huaTongVol() const { return m_huaTongVol; }
  void setHuaTongVol(Text value) { m_huaTongVol = std::move(value); }
  const Text& hunXiangVol() const { return m_hunXiangVol; }
  void setHunXiangVol(Text value) { m_hunXiangVol = std::move(value); }
  const Text& effMode() const { return m_effMode; }
  void setEffMode(Text value) { m_effMode = std::move(value); }
  const Text& loginID() const { return m_loginID; }
  void setLoginID(Text value) { m_loginID = std::move(value); }
  const Text& loginPwd() const { return m_loginPwd; }
  void setLoginPwd(Text value) { m_loginPwd = std::move(value); }
  const Text& CurPage() const { return m_CurPage; }
  void setCurPage(Text value) { m_CurPage = std::move(value); }
  const Text& PageCount() const { return m_PageCount; }
  void setPageCount(Text value) { m_PageCount = std::move(value); }
  const Text& DataCount() const { return m_DataCount; }
  void setDataCount(Text value) { m_DataCount = std::move(value); }
  const Text& NullCount() const { return m_NullCount; }
  void setNullCount(Text value) { m_NullCount = std::move(value); }
  const Text& LeadCount() const { return m_LeadCount; }
  void setLeadCount(Text value) { m_LeadCount = std::move(value); }
  const Text& ReserverCount() const { return m_ReserverCount; }
  void setReserverCount(Text value) { m_ReserverCount = std::move(value); }
  const Text& InCount() const { return m_InCount; }
  void setInCount(Text value) { m_InCount = std::move(value); }
  const Text& SettleCount() const { return m_SettleCount; }
  void setSettleCount(Text value) { m_SettleCount = std::move(value); }
  const Text& RetainCount() const { return m_RetainCount; }
  void setRetainCount(Text value) { m_RetainCount = std::move(value); }
  const Text& MergerCount() const { return m_MergerCount; }
  void setMergerCount(Text value) { m_MergerCount = std::move(value); }
  const Text& BadCount() const { return m_BadCount; }
  void setBadCount(Text value) { m_BadCount = std::move(value); }
  core::Value::Array& tempRoomArray() { return m_tempRoomArray; }
  void setTempRoomArray(core::Value::Array value) { m_tempRoomArray = std::move(value); }

  // One bus notification: {"code", "detail"}.
  void didReceiveDataFromSocket(const core::Notification& notification);
  // The same, given the code and detail directly.
  void dispatch(const std::string& code, const std::string& detail);

  // Whether a reconnect is waiting for its delay to pass.
  bool reconnectPending() const;

  // The pause before trying again after an attempt that never connected.
  static constexpr double kRetryDelay = 1.0;
  // The order notice of a basket whose order was out when its link went.
  static constexpr const char* OrderAnswerLostText =
      "与包房服务器的连接已断开，未收到落单结果。请先查看账单，确认菜品是否已下单，再重新落单。";

 private:
  void handleSystemMessage(const std::string& detail);
  void handleReply(const std::string& detail);
  void reconnect();
  // The link an order went on is gone: its answer will not come.
  void ordersLost();
  // The current delegate when it has set `slot`, else null.
  template <class Slot>
  SocketDataHandleDelegate* answering(Slot SocketDataHandleDelegate::*slot) const {
    SocketDataHandleDelegate* delegate = m_delegate.get();
    return delegate && delegate->*slot ? delegate : nullptr;
  }

  core::WeakPtr<SocketDataHandleDelegate> m_delegate;
  std::map<std::string, std::shared_ptr<OKSelectFoodObject>> m_tmpSelectDict;
  int64_t m_Amount = 0;
  Text m_addInfo;
  std::unique_ptr<core::Observation> m_observation;
  std::shared_ptr<core::Timer> m_retryTimer;
  // Set by "serverConnected", cleared by "serverDidDisconnect": whether the last attempt connected.
  bool m_wasConnected = false;
  bool m_isControlVol = false;
  bool m_isMute = false;
  bool m_isOriginalMusic = false;
  bool m_isPlaying = false;
  int32_t m_currentVol = 0;
  float m_volMax = 0;
  float m_micMax = 0;
  float m_effMax = 0;
  Text m_volValue;
  Text m_huaTongVol;
  Text m_hunXiangVol;
  Text m_effMode;
  Text m_loginID;
  Text m_loginPwd;
  Text m_CurPage;
  Text m_PageCount;
  Text m_DataCount;
  Text m_NullCount;
  Text m_LeadCount;
  Text m_ReserverCount;
  Text m_InCount;
  Text m_SettleCount;
  Text m_RetainCount;
  Text m_MergerCount;
  Text m_BadCount;
  core::Value::Array m_tempRoomArray;
};

}  // namespace kt
