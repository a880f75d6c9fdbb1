#include "link/SocketDataHandle.h"

#include "app/AlertViewQX.h"
#include "app/DataCenter.h"
#include "app/MixProgressHUD.h"
#include "link/CancelGongGuanHuJiao.h"
#include "link/FoodTypeObject.h"
#include "link/GongGuanCurState.h"
#include "link/GongGuanHuJiao.h"
#include "link/GongGuanList.h"
#include "link/MsgCodes.h"
#include "link/OKFoodObject.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "link/OKSelectFoodObject.h"
#include "link/RoomReplies.h"
#include "link/ServerNetworkCenter.h"
#include "platform/core/LazyShared.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/ThreadCheck.h"
#include "platform/core/Timer.h"
#include "platform/ui/AlertView.h"
#include "widgets/feedback/SNStatusBarNotification.h"

namespace kt {

namespace {

using Delegate = SocketDataHandleDelegate;

const char* const kConfirmInputAmount = "confirmInputAmount";
const char* const kOrderFailedText = "提交失败";

void showStrip() { SNStatusBarNotification::showCustomStatus(); }

void showConnectionText(const char* text) {
  SNStatusBarNotification::sharedInstance()->setOffLineStr(std::string(text));
  showStrip();
}

// Replies 107 and 108 reach the same slot.
void deliverPackChild(Delegate* delegate, std::optional<RoomReplies::PackChildReply> reply) {
  if (reply && delegate)
    delegate->socketDataHandleDidPackChild(std::move(reply->foods), reply->count, std::move(reply->groups));
}

}  // namespace

SocketDataHandle& SocketDataHandle::sharedInstance() { return core::LazyShared<SocketDataHandle>::instance(); }

void SocketDataHandle::resetSharedInstanceForTesting() { core::LazyShared<SocketDataHandle>::reset(); }

SocketDataHandle::SocketDataHandle() {
  m_observation = std::make_unique<core::Observation>(
      core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
      [this](const core::Notification& notification) { didReceiveDataFromSocket(notification); });
}

SocketDataHandle::~SocketDataHandle() {
  if (m_retryTimer) m_retryTimer->invalidate();
  m_observation.reset();
}

void SocketDataHandle::setDelegate(SocketDataHandleDelegate* delegate) {
  KT_ASSERT_MAIN_THREAD();
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

std::shared_ptr<OKSelectFoodObject> SocketDataHandle::getTmpSelectFood() {
  const Text& room = DataCenter::sharedInstance().roomNo();
  // No room is bound yet: there is no basket to key.
  if (!room) return nullptr;
  auto& basket = m_tmpSelectDict[*room];
  if (!basket) basket = std::make_shared<OKSelectFoodObject>();
  return basket;
}

bool SocketDataHandle::reconnectPending() const { return m_retryTimer && m_retryTimer->isValid(); }

void SocketDataHandle::didReceiveDataFromSocket(const core::Notification& notification) {
  dispatch(notification.userInfo[kBusCodeKey].stringValue(), notification.userInfo[kBusDetailKey].stringValue());
}

void SocketDataHandle::dispatch(const std::string& code, const std::string& detail) {
  KT_ASSERT_MAIN_THREAD();
  if (code == kConfirmInputAmount) {
    if (auto* delegate = answering(&Delegate::socketDataHandleDidConfirmInputAmount))
      delegate->socketDataHandleDidConfirmInputAmount();
  } else if (code == kBusCodeSystemMessage) {
    handleSystemMessage(detail);
  } else if (code == kBusCodeTcpMessage) {
    handleReply(detail);
  }
}

void SocketDataHandle::ordersLost() {
  for (auto& [room, basket] : m_tmpSelectDict) {
    if (!basket || !basket->isOrderOut()) continue;
    KT_LOG("room %s: the link went while an order was out; its answer will not come", room.c_str());
    basket->orderEnded();
    basket->setOrderNotice(std::string(OrderAnswerLostText));
  }
}

void SocketDataHandle::handleSystemMessage(const std::string& detail) {
  // Either notice means the connection an order went on is gone (a new connection replaces the
  // old one, whether or not its loss was posted), and before any screen hears of it.
  if (detail == kBusServerConnected || detail == kBusServerDidDisconnect) ordersLost();
  if (detail == kBusServerConnected) {
    m_wasConnected = true;
    if (m_retryTimer) m_retryTimer->invalidate();
    showConnectionText("已连接");
    if (auto* delegate = answering(&Delegate::serverConnect)) delegate->serverConnect(*this, true);
  } else if (detail == kBusServerDidDisconnect) {
    const bool wasConnected = m_wasConnected;
    m_wasConnected = false;
    showConnectionText("断开连接");
    if (auto* delegate = answering(&Delegate::serverConnect)) {
      // That screen decides about the connection now: drop a retry still waiting.
      if (m_retryTimer) m_retryTimer->invalidate();
      delegate->serverConnect(*this, false);
    } else if (wasConnected) {
      // A connection that was up: open it again at once.
      ServerNetworkCenter::sharedInstance().initConnect();
    } else if (!reconnectPending()) {
      // An attempt that never connected: try again after a pause, so that a venue server that
      // is down is not hammered and the run loop stays free.
      m_retryTimer = core::Timer::scheduled(kRetryDelay, false, [this](core::Timer&) { reconnect(); });
    }
  }
  // "clientConnected" and "clientDidDisconnect": the venue-client link asks nothing of us.
}

void SocketDataHandle::reconnect() {
  m_retryTimer.reset();
  // A screen that took connection changes meanwhile decides for itself.
  if (answering(&Delegate::serverConnect)) return;
  ServerNetworkCenter::sharedInstance().initConnect();
}

void SocketDataHandle::handleReply(const std::string& detail) {
  const ReplyParts parts = RoomReplies::split(detail);
  const size_t c = parts.size();

  switch (RoomReplies::code(parts)) {
    case MsgSysDate: {
      if (c < 5) {
        KT_LOG("系统日期数据错误");
        return;
      }
      UserInfo::sharUserInfo().setSysTime(parts[4]);
      SNStatusBarNotification::sharedInstance()->setWifiStr("系统日期：" + parts[4]);
      showStrip();
      return;
    }
    case MsgBindClient:
      if (auto* delegate = answering(&Delegate::boundClient)) delegate->boundClient(*this, parts);
      return;
    case MsgFoodCategory: {
      FoodTypeList categories = RoomReplies::foodCategories(parts);
      auto* delegate = answering(&Delegate::socketDataHandleDidCategory);
      if (!categories.empty() && delegate) delegate->socketDataHandleDidCategory(std::move(categories));
      return;
    }
    case MsgFoodList:
      if (auto* delegate = answering(&Delegate::socketDataHandleDidFoodList))
        delegate->socketDataHandleDidFoodList(RoomReplies::foods(parts));
      return;
    case MsgSelectFood: {
      auto basket = getTmpSelectFood();
      if (!basket) return;
      basket->setErrorCode(RoomReplies::part(parts, 2));
      basket->setErrorMsg(RoomReplies::part(parts, 3));
      if (basket->ErrorCode() == std::optional<std::string>("1")) {
        setMsg(basket->ErrorMsg().value_or(std::string()))->show();
        return;
      }
      basket->setHasMultFreeItems(RoomReplies::part(parts, 4));
      basket->setMultFreeCount(RoomReplies::part(parts, 5));
      basket->setMultFreeItemsSetID(RoomReplies::part(parts, 6));
      basket->setGroupID(RoomReplies::part(parts, 7));
      basket->setDataCount(RoomReplies::part(parts, 8));
      FolioLines lines = RoomReplies::selectedFoodLines(parts, basket->GroupID(), m_addInfo,
                                                        DataCenter::sharedInstance().printId());
      if (auto* delegate = answering(&Delegate::socketDataHandleDidSelectFood))
        delegate->socketDataHandleDidSelectFood(std::move(lines));
      return;
    }
    case MsgAddInfoOfFood: {
      auto options = RoomReplies::addInfoOfFood(parts);
      auto* delegate = answering(&Delegate::socketDataHandleDidAddInfoOfFood);
      if (options && delegate) delegate->socketDataHandleDidAddInfoOfFood(std::move(*options));
      return;
    }
    case MsgPackChild: {
      if (RoomReplies::partIs(parts, 2, "1")) {
        ui::AlertView::create("提示信息", RoomReplies::part(parts, 3).value_or(std::string()), nullptr,
                              std::string("确定"))
            ->show();
        return;
      }
      deliverPackChild(answering(&Delegate::socketDataHandleDidPackChild), RoomReplies::packChild(parts));
      return;
    }
    case MsgMultFreeItems: {
      auto basket = getTmpSelectFood();
      deliverPackChild(answering(&Delegate::socketDataHandleDidPackChild),
                       RoomReplies::multFreeItems(parts, basket ? basket->MultFreeCount() : Text()));
      return;
    }
    case MsgConfirmInputFood: {
      auto basket = getTmpSelectFood();
      if (!basket) return;
      auto* delegate = answering(&Delegate::socketDataHandleDidConfirmInputFood);
      if (RoomReplies::partIs(parts, 2, "0")) {
        // Only a confirmed order leaves the basket, and only the lines it carried: a line put in
        // the basket while the answer was awaited has not been ordered.
        if (!basket->isOrderOut()) KT_LOG("an accepted order, but none was out: the basket stays");
        basket->orderAccepted();
        if (delegate) delegate->socketDataHandleDidConfirmInputFood(std::string());
        return;
      }
      // Anything else is a failure and keeps the basket; "" would read as success, so a reply
      // without a message gets one.
      Text message = RoomReplies::part(parts, 3);
      if (!message || message->empty()) message = kOrderFailedText;
      // Kept for the basket screen too, which takes it when it shows it: the screen that sent
      // the order may have gone, and the guest then hears of it at the next visit.
      if (basket->isOrderOut()) basket->setOrderNotice(*message);
      basket->orderEnded();
      if (delegate) delegate->socketDataHandleDidConfirmInputFood(message);
      return;
    }
    case MsgRoomStateAndInfo: {
      if (c >= 27) {
        DataCenter& room = DataCenter::sharedInstance();
        room.setMasterID(parts[7]);
        room.setReceiveClerk(parts[13]);
        room.setConsumeMoney(parts[26]);
        KT_LOG("%s,%s", parts[13].c_str(), parts[26].c_str());
      }
      if (auto* delegate = answering(&Delegate::socketDataHandleDidRoomStateAndInfo))
        delegate->socketDataHandleDidRoomStateAndInfo();
      return;
    }
    case MsgGongGuanList:
      if (auto* delegate = answering(&Delegate::socketDataHandleDidGongGuanList);
          RoomReplies::partIs(parts, 2, "0") && delegate)
        delegate->socketDataHandleDidGongGuanList(RoomReplies::gongGuanList(parts));
      return;
    case MsgGongGuanHuJiao:
    case MsgCancelGongGuanHuJiao: {
      const bool cancel = RoomReplies::code(parts) == MsgCancelGongGuanHuJiao;
      if (cancel) {
        std::string all = "(";
        for (size_t i = 0; i < c; ++i) all += (i ? ", \"" : "\"") + parts[i] + "\"";
        KT_LOG("%s)", all.c_str());
      }
      if (RoomReplies::partIs(parts, 2, "1")) {
        setMsg(RoomReplies::part(parts, 3).value_or(std::string()))->show();
        return;
      }
      if (cancel) {
        if (auto* delegate = answering(&Delegate::socketDataHandleDidCancelGongGuanHuJiao))
          delegate->socketDataHandleDidCancelGongGuanHuJiao(RoomReplies::cancelGongGuanHuJiao(parts));
      } else if (auto* delegate = answering(&Delegate::socketDataHandleDidGongGuanHuJiao)) {
        delegate->socketDataHandleDidGongGuanHuJiao(RoomReplies::gongGuanHuJiao(parts));
      }
      return;
    }
    case MsgGongGuanCurState: {
      if (RoomReplies::partIs(parts, 2, "0")) {
        // A state cut short is no state: nothing is delivered.
        auto state = RoomReplies::gongGuanCurState(parts);
        auto* delegate = answering(&Delegate::socketDataHandleDidGongGuanCurState);
        if (state && delegate) delegate->socketDataHandleDidGongGuanCurState(std::move(state));
      } else if (RoomReplies::partIs(parts, 2, "1")) {
        MixProgressHUD::showError(RoomReplies::part(parts, 3));
        if (auto* delegate = answering(&Delegate::socketDataHandleDidGongGuanCurState))
          delegate->socketDataHandleDidGongGuanCurState(nullptr);
      }
      return;
    }
    case MsgGongGuanYuYue:
      if (auto* delegate = answering(&Delegate::socketDataHandleDidGongGuanYuYue))
        delegate->socketDataHandleDidGongGuanYuYue(RoomReplies::partIs(parts, 2, "0"));
      return;
    case MsgCancelGongGuanYuYue:
      if (auto* delegate = answering(&Delegate::socketDataHandleDidCancelGongGuanYuYue))
        delegate->socketDataHandleDidCancelGongGuanYuYue(RoomReplies::partIs(parts, 2, "0"));
      return;
    default:
      // 101, 102, 109 (read by the bill screen itself), 110 to 113, 115 to 118, 148 and
      // anything unknown.
      return;
  }
}

}  // namespace kt
