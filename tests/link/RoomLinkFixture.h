#pragma once

// Shared by the reply-decoder and message tests: a recording delegate, and a screen fixture with
// a fresh decoder, room record, link, status strip and stand-in room server.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/DataCenter.h"
#include "link/CancelGongGuanHuJiao.h"
#include "link/FoodTypeObject.h"
#include "link/GongGuanCurState.h"
#include "link/GongGuanHuJiao.h"
#include "link/GongGuanList.h"
#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "link/OKSelectFoodObject.h"
#include "link/ServerNetworkCenter.h"
#include "link/SocketDataHandle.h"
#include "platform/core/Device.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertView.h"
#include "support/UiHarness.h"
#include "venue/FrameCodec.h"
#include "venue/RoomServer.h"
#include "widgets/feedback/AOProgressHUD.h"
#include "widgets/feedback/SNStatusBarNotification.h"

namespace kt::testing {

using D = SocketDataHandleDelegate;

// Records every call it answers, with what came with it. It sets only the slots it is made with,
// named by member pointer (RecordingDelegate menu(&D::socketDataHandleDidFoodList)), or all.
class RecordingDelegate : public SocketDataHandleDelegate {
 public:
  // Answers every operation: RecordingDelegate screen(RecordingDelegate::everything).
  struct Everything {};
  static constexpr Everything everything{};

  template <class... Slot>
  explicit RecordingDelegate(Slot D::*... answered) {
    (m_answered.insert(&(this->*answered)), ...);
    record();
  }
  explicit RecordingDelegate(Everything) : m_everything(true) { record(); }

  std::vector<std::string> calls;
  std::function<void()> onCall;
  std::vector<std::string> boundParts;
  FoodTypeList categories;
  FoodList foods;
  std::vector<std::string> options;
  FolioLines lines;
  std::optional<PackChildFoodMap> packFoods;
  int64_t packCount = -1;
  std::optional<PackChildList> packGroups;
  Text confirmMessage;
  GongGuanListArray staff;
  std::shared_ptr<GongGuanCurState> state;
  std::shared_ptr<GongGuanHuJiao> huJiao;
  std::shared_ptr<CancelGongGuanHuJiao> cancelHuJiao;

 private:
  template <class Slot, class Fn>
  void answer(Slot& slot, Fn fn) {
    if (m_everything || m_answered.count(&slot)) slot = std::move(fn);
  }

  void record() {
    answer(serverConnect, [this](SocketDataHandle&, bool connected) {
      calls.push_back(connected ? "serverConnect:YES" : "serverConnect:NO");
      if (onCall) onCall();
    });
    answer(clientConnected, [this](SocketDataHandle&, bool) { calls.push_back("clientConnected"); });
    answer(boundClient, [this](SocketDataHandle&, const std::vector<std::string>& parts) {
      calls.push_back("boundClient");
      boundParts = parts;
      if (onCall) onCall();
    });
    answer(socketDataHandleDidConfirmInputAmount, [this] { calls.push_back("confirmInputAmount"); });
    answer(socketDataHandleDidCategory, [this](FoodTypeList list) {
      calls.push_back("category");
      categories = std::move(list);
    });
    answer(socketDataHandleDidFoodList, [this](FoodList list) {
      calls.push_back("foodList");
      foods = std::move(list);
      if (onCall) onCall();
    });
    answer(socketDataHandleDidAddInfoOfFood, [this](std::vector<std::string> list) {
      calls.push_back("addInfo");
      options = std::move(list);
    });
    answer(socketDataHandleDidSelectFood, [this](FolioLines list) {
      calls.push_back("selectFood");
      lines = std::move(list);
    });
    answer(socketDataHandleDidPackChild,
           [this](std::optional<PackChildFoodMap> map, int64_t count, std::optional<PackChildList> groups) {
             calls.push_back("packChild");
             packFoods = std::move(map);
             packCount = count;
             packGroups = std::move(groups);
           });
    answer(socketDataHandleDidConfirmInputFood, [this](const Text& message) {
      calls.push_back("confirmInputFood");
      confirmMessage = message;
    });
    answer(socketDataHandleDidRoomStateAndInfo, [this] { calls.push_back("roomState"); });
    answer(socketDataHandleDidGongGuanList, [this](GongGuanListArray list) {
      calls.push_back("gongGuanList");
      staff = std::move(list);
    });
    answer(socketDataHandleDidGongGuanCurState, [this](std::shared_ptr<GongGuanCurState> s) {
      calls.push_back(s ? "curState" : "curState:nil");
      state = std::move(s);
    });
    answer(socketDataHandleDidGongGuanHuJiao, [this](std::shared_ptr<GongGuanHuJiao> r) {
      calls.push_back("huJiao");
      huJiao = std::move(r);
    });
    answer(socketDataHandleDidCancelGongGuanHuJiao, [this](std::shared_ptr<CancelGongGuanHuJiao> r) {
      calls.push_back("cancelHuJiao");
      cancelHuJiao = std::move(r);
    });
    answer(socketDataHandleDidGongGuanYuYue, [this](bool ok) { calls.push_back(ok ? "yuYue:YES" : "yuYue:NO"); });
    answer(socketDataHandleDidCancelGongGuanYuYue,
           [this](bool ok) { calls.push_back(ok ? "cancelYuYue:YES" : "cancelYuYue:NO"); });
  }

  std::set<const void*> m_answered;
  bool m_everything = false;
};

class RoomLinkTest : public support::ScreenTest {
 protected:
  RoomLinkTest() {
    core::Device::setVendorIdentifierForTesting("0F0F0F0F-2222-3333-4444-555555555555");
    resetShared();
    m_previousSink = core::setLogSink([this](const std::string& line) { log.push_back(line); });
    m_bus = core::Observation(core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
                              [this](const core::Notification& n) {
                                if (n.userInfo[kBusCodeKey].stringValue() == kBusCodeSystemMessage)
                                  connectionNotices.push_back(n.userInfo[kBusDetailKey].stringValue());
                              });
    handle();  // the decoder observes the bus before anything is posted
  }
  ~RoomLinkTest() override {
    m_bus.reset();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    server.stop();
    support::drainMainLoop();
    resetShared();
    core::setLogSink(m_previousSink);
    core::Device::setVendorIdentifierForTesting(std::nullopt);
  }

  static void resetShared() {
    SocketDataHandle::resetSharedInstanceForTesting();
    ServerNetworkCenter::resetSharedInstanceForTesting();
    DataCenter::resetSharedInstanceForTesting();
    UserInfo::resetSharedInstanceForTesting();
    SNStatusBarNotification::resetSharedInstance();
    AOProgressHUD::resetSharedView();
    ui::AlertView::reset();
  }

  static SocketDataHandle& handle() { return SocketDataHandle::sharedInstance(); }
  static DataCenter& room() { return DataCenter::sharedInstance(); }
  static ServerNetworkCenter& link() { return ServerNetworkCenter::sharedInstance(); }

  // The stand-in room server, with the settings pointing at it.
  void startServer() {
    ASSERT_TRUE(server.start());
    core::UserDefaults::standard().setString("Server_Ip", "127.0.0.1");
    core::UserDefaults::standard().setString("Server_Port", std::to_string(server.port()));
  }
  size_t noticeCount(const std::string& detail) const {
    size_t n = 0;
    for (const auto& d : connectionNotices) n += d == detail;
    return n;
  }

  // A reply as the link posts it: the frame's text, length digits included.
  static std::string replyText(int code, const std::vector<std::string>& fields,
                               venue::FieldForm form = venue::FieldForm::Terminated) {
    const std::string frame = venue::buildFrame(code, fields, form);
    return *venue::gb18030ToUtf8(frame.substr(0, frame.size() - 1));
  }
  static void receive(const std::string& text) { room().forwardNoticeCode(kBusCodeTcpMessage, text); }
  static void receive(int code, const std::vector<std::string>& fields,
                      venue::FieldForm form = venue::FieldForm::Terminated) {
    receive(replyText(code, fields, form));
  }

  bool logged(const std::string& text) const {
    for (const auto& line : log)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> alertMessages() const {
    std::vector<std::string> out;
    for (const auto& alert : ui::AlertView::queuedAlerts()) out.push_back(alert->title() + "|" + alert->message());
    return out;
  }

  venue::RoomServer server;
  std::vector<std::string> log;
  std::vector<std::string> connectionNotices;

 private:
  core::LogSink m_previousSink;
  core::Observation m_bus;
};

}  // namespace kt::testing
