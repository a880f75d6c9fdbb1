#include "link/RoomRequests.h"

#include "app/DataCenter.h"
#include "link/MsgCodes.h"
#include "link/ServerNetworkCenter.h"
#include "platform/core/Log.h"
#include "platform/core/Value.h"

namespace kt {

namespace {

const std::string kEmpty;

RoomRequest terminated(int code, std::vector<Text> fields) { return {code, RequestForm::Terminated, std::move(fields)}; }
RoomRequest joined(int code, std::vector<Text> fields) { return {code, RequestForm::Joined, std::move(fields)}; }

DataCenter& room() { return DataCenter::sharedInstance(); }

// A joined request cannot end early: an unset value is sent as "".
Text orEmpty(const Text& value) { return value ? value : Text(kEmpty); }

}  // namespace

RoomRequest RoomRequests::sysDate() { return terminated(MsgSysDate, {}); }

RoomRequest RoomRequests::bindClient() {
  return terminated(MsgBindClient, {"", room().UDID(), "3", "", "", "", ""});
}

RoomRequest RoomRequests::foodCategory() {
  return terminated(MsgFoodCategory, {"0", "100", "0", "", "", "0", "", room().roomNo()});
}

RoomRequest RoomRequests::foodList(const Text& typeNo) {
  return terminated(MsgFoodList, {"0", typeNo, room().priceId(), "0", "1", "", "", "0", room().roomNo(), "0", "1"});
}

RoomRequest RoomRequests::recommendedFoodList() {
  return terminated(MsgFoodList, {"0", "", room().priceId(), "0", "1", "", "", "0", room().roomNo(), "1", "1"});
}

RoomRequest RoomRequests::selectFood(const Text& dishNo, int64_t quantity) {
  return terminated(MsgSelectFood, {"0", room().roomNo(), dishNo, std::to_string(quantity), "1"});
}

RoomRequest RoomRequests::addInfoOfFood(const Text& addInfoNo2) { return terminated(MsgAddInfoOfFood, {addInfoNo2}); }

RoomRequest RoomRequests::packChild(const Text& dishNo) { return terminated(MsgPackChild, {dishNo}); }

RoomRequest RoomRequests::multFreeItems(const Text& multFreeItemsSetID) {
  return terminated(MsgMultFreeItems, {multFreeItemsSetID, room().priceId()});
}

RoomRequest RoomRequests::folio() { return terminated(MsgFolio, {room().roomNo(), "0", "", "0", "", ""}); }

RoomRequest RoomRequests::confirmInputFood(const std::string& password, const Text& amountText,
                                           const FolioList& lines) {
  size_t count = 0;
  for (const auto& line : lines) count += line != nullptr;
  std::vector<Text> fields = {orEmpty(room().roomNo()), "3", "3", "", password, orEmpty(amountText),
                              std::to_string(count), "0", "0", "", ""};
  fields.reserve(fields.size() + lines.size() * 30);
  for (const auto& line : lines) {
    if (!line) continue;
    const OKFolioObject& f = *line;
    for (const Text* value :
         {&f.FoodNo(), &f.FoodName(), &f.Price(), &f.Flag(), &f.Quantity(), &f.CanDiscount(), &f.Adds1Name(),
          &f.Adds2Name(), &f.Monad(), &f.IfLowLimitPrice(), &f.PrinterNo(), &f.OverTimes(), &f.IfPack(),
          &f.IfPackChild(), &f.AutoFreed(), &f.AutoFreeCount(), &f.GroupID(), &f.ParentFoodNo(), &f.CanReward(),
          &f.LimitDisRate(), &f.Note(), &f.DeduckClerkName(), &f.FlowerGirlsNo()})
      fields.push_back(orEmpty(*value));
    fields.push_back("0");
    fields.push_back(orEmpty(f.VipPrice()));
    for (int i = 0; i < 5; ++i) fields.push_back(kEmpty);
  }
  return joined(MsgConfirmInputFood, std::move(fields));
}

RoomRequest RoomRequests::roomStateAndInfo() { return terminated(MsgRoomStateAndInfo, {room().roomNo(), "", "0"}); }

RoomRequest RoomRequests::gongGuanList() { return joined(MsgGongGuanList, {"0", "1", orEmpty(room().roomNo())}); }

RoomRequest RoomRequests::gongGuanHuJiao(const Text& dangAnID) {
  return joined(MsgGongGuanHuJiao, {orEmpty(dangAnID), orEmpty(room().roomNo()), "", ""});
}

RoomRequest RoomRequests::cancelGongGuanHuJiao(const Text& dangAnID) {
  return joined(MsgCancelGongGuanHuJiao, {orEmpty(dangAnID), orEmpty(room().roomNo()), "", ""});
}

RoomRequest RoomRequests::gongGuanCurState(const Text& dangAnID) {
  return joined(MsgGongGuanCurState, {orEmpty(dangAnID), orEmpty(room().masterID()), "", ""});
}

RoomRequest RoomRequests::gongGuanYuYue(const Text& dangAnID, const std::string& kind) {
  return joined(MsgGongGuanYuYue,
                {orEmpty(dangAnID), orEmpty(room().masterID()), orEmpty(room().roomNo()), kind, "", "", "", ""});
}

RoomRequest RoomRequests::cancelGongGuanYuYue(const Text& dangAnID, const Text& reservationID) {
  return joined(MsgCancelGongGuanYuYue, {orEmpty(dangAnID), orEmpty(reservationID), "", ""});
}

void RoomRequests::send(const RoomRequest& request) {
  ServerNetworkCenter& link = ServerNetworkCenter::sharedInstance();
  if (request.form == RequestForm::Terminated) {
    link.sentMsg(request.code, request.fields);
    return;
  }
  std::vector<std::string> fields;
  fields.reserve(request.fields.size());
  for (const Text& field : request.fields) fields.push_back(field.value_or(kEmpty));
  link.sendMsg(request.code, fields);
}

std::vector<Text> RoomRequests::fieldsForLog(int code, std::vector<Text> fields) {
  // An unset field ends a terminated list: it is not sent, so there is nothing to mask.
  if (code == MsgConfirmInputFood && fields.size() > kOrderPasswordField && fields[kOrderPasswordField])
    fields[kOrderPasswordField] = core::kLogMask;
  return fields;
}

std::vector<std::string> RoomRequests::fieldsForLog(int code, std::vector<std::string> fields) {
  if (code == MsgConfirmInputFood && fields.size() > kOrderPasswordField) fields[kOrderPasswordField] = core::kLogMask;
  return fields;
}

std::string RoomRequests::bodyForLog(std::string_view body) {
  // The body read as the decoder reads a frame: [0] empty, [1] the code, [2] onward the fields.
  static constexpr std::string_view kBreak = "\r\n";
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = body.find(kBreak, start);
    parts.push_back(body.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + kBreak.size();
  }
  const size_t password = 2 + kOrderPasswordField;
  if (parts.size() <= password || core::parseInt(parts[1]) != MsgConfirmInputFood) return std::string(body);
  std::string shown;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) shown.append(kBreak);
    shown.append(i == password ? std::string_view(core::kLogMask) : parts[i]);
  }
  return shown;
}

}  // namespace kt
