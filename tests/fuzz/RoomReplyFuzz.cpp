// Reply decoding: the input is the text of one received frame (UTF-8 as the link posts it, or
// GB 18030 bytes, which are decoded first as the link does). Every reader of the message
// catalogue gets its parts, then the decoder dispatches it as the bus would ("tcpMsg") to a
// screen that answers every operation, with a room bound so that the basket replies are read.

#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "FuzzRoomText.h"
#include "app/DataCenter.h"
#include "link/RoomReplies.h"
#include "link/SocketDataHandle.h"
#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/core/RunLoop.h"
#include "platform/core/TextEncoding.h"
#include "platform/ui/AlertView.h"
#include "widgets/feedback/AOProgressHUD.h"
#include "widgets/feedback/SNStatusBarNotification.h"

namespace {

using namespace kt;

// A screen that takes every operation and keeps nothing.
class AnsweringScreen : public SocketDataHandleDelegate {
 public:
  AnsweringScreen() {
    serverConnect = [](SocketDataHandle&, bool) {};
    boundClient = [](SocketDataHandle&, const std::vector<std::string>& parts) { KT_FUZZ_CHECK(parts.size() >= 2); };
    socketDataHandleDidConfirmInputAmount = [] {};
    socketDataHandleDidCategory = [](FoodTypeList list) { KT_FUZZ_CHECK(!list.empty()); };
    socketDataHandleDidFoodList = [](FoodList) {};
    socketDataHandleDidAddInfoOfFood = [](std::vector<std::string>) {};
    socketDataHandleDidSelectFood = [](FolioLines) {};
    socketDataHandleDidPackChild = [](std::optional<PackChildFoodMap>, int64_t count, std::optional<PackChildList> groups) {
      KT_FUZZ_CHECK(count >= 0);
      if (groups) KT_FUZZ_CHECK(static_cast<int64_t>(groups->size()) == count);
    };
    socketDataHandleDidConfirmInputFood = [](const Text&) {};
    socketDataHandleDidRoomStateAndInfo = [] {};
    socketDataHandleDidGongGuanList = [](GongGuanListArray) {};
    socketDataHandleDidGongGuanCurState = [](std::shared_ptr<GongGuanCurState>) {};
    socketDataHandleDidGongGuanHuJiao = [](std::shared_ptr<GongGuanHuJiao>) {};
    socketDataHandleDidCancelGongGuanHuJiao = [](std::shared_ptr<CancelGongGuanHuJiao>) {};
    socketDataHandleDidGongGuanYuYue = [](bool) {};
    socketDataHandleDidCancelGongGuanYuYue = [](bool) {};
  }
};

void readEveryRecord(const ReplyParts& parts) {
  RoomReplies::bindClient(parts);
  RoomReplies::foodCategories(parts);
  RoomReplies::foods(parts);
  RoomReplies::selectedFoodLines(parts, std::string("g"), std::string("辣"), std::string("p"));
  RoomReplies::addInfoOfFood(parts);
  for (const auto& reply : {RoomReplies::packChild(parts), RoomReplies::multFreeItems(parts, std::string("2")),
                            RoomReplies::multFreeItems(parts, std::nullopt)}) {
    if (!reply) continue;
    KT_FUZZ_CHECK(reply->count >= 0);
    if (reply->groups) KT_FUZZ_CHECK(static_cast<int64_t>(reply->groups->size()) == reply->count);
  }
  RoomReplies::folio(parts);
  RoomReplies::gongGuanList(parts);
  RoomReplies::gongGuanCurState(parts);
  RoomReplies::gongGuanHuJiao(parts);
  RoomReplies::cancelGongGuanHuJiao(parts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (fuzz::useOwnHome(), true);
  (void)ready;
  const std::optional<std::string> text = fuzz::frameText(fuzz::bytes(data, size));
  if (!text) return 0;

  const ReplyParts parts = RoomReplies::split(*text);
  // Splitting loses nothing: the parts joined again are the text.
  std::string joined;
  for (size_t i = 0; i < parts.size(); ++i) joined += (i ? "\r\n" : "") + parts[i];
  KT_FUZZ_CHECK(joined == *text);
  readEveryRecord(parts);

  DataCenter::sharedInstance().setRoomNo(std::string("8808"));
  AnsweringScreen screen;
  SocketDataHandle::sharedInstance().setDelegate(&screen);
  SocketDataHandle::sharedInstance().dispatch(kBusCodeTcpMessage, *text);

  // What the reply put on screen or on the loop goes before the next input.
  auto& loop = core::RunLoop::main();
  while (loop.runInMode(core::RunLoop::DefaultMode, core::Clock::now(), true) == core::RunLoop::RunResult::HandledSource) {
  }
  SocketDataHandle::resetSharedInstanceForTesting();
  DataCenter::resetSharedInstanceForTesting();
  UserInfo::resetSharedInstanceForTesting();
  SNStatusBarNotification::resetSharedInstance();
  AOProgressHUD::resetSharedView();
  ui::AlertView::reset();
  return 0;
}
