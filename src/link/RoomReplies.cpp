#include "link/RoomReplies.h"

#include <limits>

#include "link/CancelGongGuanHuJiao.h"
#include "link/FoodTypeObject.h"
#include "link/GongGuanCurState.h"
#include "link/GongGuanHuJiao.h"
#include "link/GongGuanList.h"
#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "platform/core/Value.h"

namespace kt {

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

// Calls read(s) for each complete record of `size` parts from `start`, at most `limit` of them.
// Returns how many were read.
template <class Read>
int64_t eachRecord(const ReplyParts& parts, int64_t start, int64_t size, int64_t limit, Read read) {
  const auto count = static_cast<int64_t>(parts.size());
  int64_t done = 0;
  for (int64_t s = start; done < limit && s >= 0 && s <= count - size; s += size, ++done) read(static_cast<size_t>(s));
  return done;
}

// The group count of 107 and 108: a negative count is none.
int64_t groupCount(const ReplyParts& parts) {
  const int32_t n = core::parseInt(parts[4]);
  return n < 0 ? 0 : n;
}

}  // namespace

ReplyParts RoomReplies::split(std::string_view text) {
  ReplyParts parts;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find("\r\n", from);
    if (at == std::string_view::npos) {
      parts.emplace_back(text.substr(from));
      return parts;
    }
    parts.emplace_back(text.substr(from, at - from));
    from = at + 2;
  }
}

Text RoomReplies::part(const ReplyParts& parts, size_t i) {
  if (i >= parts.size()) return std::nullopt;
  return parts[i];
}

bool RoomReplies::partIs(const ReplyParts& parts, size_t i, std::string_view value) {
  return i < parts.size() && parts[i] == value;
}

int RoomReplies::code(const ReplyParts& parts) { return parts.size() > 1 ? core::parseInt(parts[1]) : 0; }

RoomReplies::BindReply RoomReplies::bindClient(const ReplyParts& parts) {
  BindReply reply;
  reply.message = part(parts, 3);
  if (!partIs(parts, 2, "0") || parts.size() < 9) return reply;
  reply.bound = true;
  reply.roomNo = parts[4];
  reply.roomType = parts[6];
  reply.printId = parts[7];
  reply.priceId = parts[8];
  return reply;
}

FoodTypeList RoomReplies::foodCategories(const ReplyParts& parts) {
  FoodTypeList list;
  eachRecord(parts, 7, 7, kNoLimit, [&](size_t s) {
    auto type = std::make_shared<FoodTypeObject>();
    type->setTypeNo(parts[s]);
    type->setTypeName(parts[s + 1]);
    type->setLevel(parts[s + 2]);
    type->setParentNo(parts[s + 3]);
    list.push_back(std::move(type));
  });
  return list;
}

FoodList RoomReplies::foods(const ReplyParts& parts) {
  FoodList list;
  if (parts.size() > 7) list.reserve((parts.size() - 7) / 16);
  eachRecord(parts, 7, 16, kNoLimit, [&](size_t s) {
    auto food = std::make_shared<OKFoodObject>();
    food->setNo(parts[s]);
    food->setNameChs(parts[s + 1]);
    food->setNameEng(parts[s + 2]);
    food->setPrice(parts[s + 3]);
    food->setMonad(parts[s + 4]);
    food->setStand(parts[s + 5]);
    food->setLimitFree(parts[s + 6]);
    food->setIfPack(parts[s + 7]);
    food->setIfFlowerItem(parts[s + 8]);
    // The second option list comes before the first.
    food->setAddInfoNo2(parts[s + 9]);
    food->setAddInfoNo1(parts[s + 10]);
    food->setFoodImageModifyTime(parts[s + 11]);
    food->setStr2(parts[s + 12]);
    food->setStr3(parts[s + 13]);
    food->setStr4(parts[s + 14]);
    food->setStr5(parts[s + 15]);
    list.push_back(std::move(food));
  });
  return list;
}

FolioLines RoomReplies::selectedFoodLines(const ReplyParts& parts, const Text& groupID, const Text& addInfo,
                                          const Text& printId) {
  FolioLines lines;
  const std::string adds1 = addInfo && !addInfo->empty() ? *addInfo : std::string();
  const std::string printer = printId.value_or(std::string());
  eachRecord(parts, 9, 27, kNoLimit, [&](size_t s) {
    auto line = std::make_shared<OKFolioObject>();
    line->setFoodNo(parts[s]);
    line->setFoodName(parts[s + 1]);
    line->setPrice(parts[s + 2]);
    line->setFlag(parts[s + 3]);
    line->setQuantity(parts[s + 4]);
    line->setCanDiscount(parts[s + 5]);
    line->setMonad(parts[s + 6]);
    line->setIfLowLimitPrice(parts[s + 7]);
    line->setPrinterNo(parts[s + 8] + printer);
    line->setOverTimes(parts[s + 9]);
    line->setIfPack(parts[s + 10]);
    line->setIfPackChild(parts[s + 11]);
    line->setAutoFreed(parts[s + 12]);
    line->setAutoFreeCount(parts[s + 13]);
    line->setParentFoodNo(parts[s + 14]);
    line->setCanReward(parts[s + 15]);
    line->setAutoFreeSetIDOfMutilToOne(parts[s + 16]);
    line->setLimitDisRate(parts[s + 17]);
    line->setSendMobileMsgWhenFree(parts[s + 18]);
    line->setNote(parts[s + 19]);
    line->setVipPrice(parts[s + 20]);
    line->setUseVipSpecialPrice(parts[s + 21]);
    line->setIfFlowerItem(parts[s + 22]);
    line->setStr2(parts[s + 23]);
    line->setStr3(parts[s + 24]);
    line->setStr4(parts[s + 25]);
    line->setStr5(parts[s + 26]);
    line->setGroupID(groupID);
    line->setAdds1Name(adds1);
    line->setAdds2Name(std::string());
    lines.push_back(std::move(line));
  });
  return lines;
}

std::optional<std::vector<std::string>> RoomReplies::addInfoOfFood(const ReplyParts& parts) {
  if (parts.size() < 4) return std::nullopt;
  return std::vector<std::string>(parts.begin() + 3, parts.end());
}

std::optional<RoomReplies::PackChildReply> RoomReplies::packChild(const ReplyParts& parts) {
  if (parts.size() < 6) return std::nullopt;
  const int64_t n = groupCount(parts);
  PackChildReply reply;
  if (n == 0) return reply;
  PackChildList groups;
  reply.count = eachRecord(parts, 6, 7, n, [&](size_t s) {
    auto group = std::make_shared<OKPackChild>();
    group->setSetID(parts[s]);
    group->setSetItemName(parts[s + 1]);
    group->setSetSumCount(parts[s + 2]);
    group->setCountMode(parts[s + 3]);
    group->setNotShare(parts[s + 4]);
    groups.push_back(std::move(group));
  });
  PackChildFoodMap foods;
  eachRecord(parts, 7 * n + 6, 10, kNoLimit, [&](size_t s) {
    auto food = std::make_shared<OKPackChildFood>();
    food->setSetID(parts[s]);
    food->setFoodNo(parts[s + 1]);
    food->setFoodName_Cha(parts[s + 2]);
    food->setFoodName_Eng(parts[s + 3]);
    food->setMonad(parts[s + 4]);
    food->setPrintType(parts[s + 5]);
    food->setOverTimes(parts[s + 6]);
    food->setCount(parts[s + 7]);
    food->setStr1(parts[s + 8]);
    food->setStr2(parts[s + 9]);
    foods[parts[s]].push_back(std::move(food));
  });
  reply.foods = std::move(foods);
  reply.groups = std::move(groups);
  return reply;
}

std::optional<RoomReplies::PackChildReply> RoomReplies::multFreeItems(const ReplyParts& parts,
                                                                      const Text& multFreeCount) {
  if (parts.size() < 5) return std::nullopt;
  const int64_t n = groupCount(parts);
  PackChildReply reply;
  if (n == 0) return reply;
  const int64_t perSet = multFreeCount ? core::parseInt(*multFreeCount) : 0;
  PackChildList groups;
  reply.count = eachRecord(parts, 6, 8, n, [&](size_t s) {
    auto group = std::make_shared<OKPackChild>();
    group->setSetID(parts[s]);
    group->setSetItemName(parts[s + 1]);
    group->setSetNote(parts[s + 2]);
    group->setSetSumCount(parts[s + 3]);
    group->setCountMode(parts[s + 4]);
    group->setNotShare(parts[s + 5]);
    group->setStr1(parts[s + 6]);
    group->setStr2(parts[s + 7]);
    // Both factors are 32-bit: their product always fits.
    group->setCanSelectCount(int64_t{core::parseInt(parts[s + 3])} * perSet);
    groups.push_back(std::move(group));
  });
  PackChildFoodMap foods;
  // A food is read once its 11 parts are there, like every other record list, so the last food
  // of a frame that does not end with CR LF is kept.
  eachRecord(parts, 8 * n + 6, 11, kNoLimit, [&](size_t s) {
    auto food = std::make_shared<OKPackChildFood>();
    food->setSetID(parts[s]);
    food->setFoodNo(parts[s + 1]);
    food->setFoodName_Cha(parts[s + 2]);
    food->setFoodName_Eng(parts[s + 3]);
    food->setPrice(parts[s + 4]);
    food->setMonad(parts[s + 5]);
    food->setPrintType(parts[s + 6]);
    food->setOverTimes(parts[s + 7]);
    food->setCount(parts[s + 8]);
    food->setStr1(parts[s + 9]);
    food->setStr2(parts[s + 10]);
    foods[parts[s]].push_back(std::move(food));
  });
  reply.foods = std::move(foods);
  reply.groups = std::move(groups);
  return reply;
}

RoomReplies::FolioReply RoomReplies::folio(const ReplyParts& parts) {
  FolioReply reply;
  reply.message = part(parts, 3);
  if (partIs(parts, 2, "1")) {
    reply.failed = true;
    return reply;
  }
  reply.bookingClerk = part(parts, 4);
  reply.checkInTime = part(parts, 6);
  reply.minimumCharge = part(parts, 9);
  reply.foodAmount = part(parts, 10);
  reply.discountedAmount = part(parts, 12);
  reply.overMinimum = part(parts, 13);
  if (parts.size() > 27) reply.lines.reserve((parts.size() - 27) / 16);
  eachRecord(parts, 27, 16, kNoLimit, [&](size_t s) {
    auto line = std::make_shared<OKFolioObject>();
    line->setFoodName(parts[s]);
    line->setPrice(parts[s + 1]);
    line->setQuantity(parts[s + 2]);
    line->setMonad(parts[s + 3]);
    line->setFlag(parts[s + 4]);
    line->setLimitDisRate(parts[s + 5]);
    line->setIfPackChild(parts[s + 6]);
    line->setReturnFlag(parts[s + 7]);
    line->setInputClerk(parts[s + 8]);
    line->setInputTime(parts[s + 9]);
    line->setFreeClerk(parts[s + 10]);
    reply.lines.push_back(std::move(line));
  });
  return reply;
}

GongGuanListArray RoomReplies::gongGuanList(const ReplyParts& parts) {
  GongGuanListArray list;
  eachRecord(parts, 6, 11, kNoLimit, [&](size_t s) {
    auto staff = std::make_shared<GongGuanList>();
    staff->setDangAnID(parts[s]);
    staff->setYuanGongBianHao(parts[s + 1]);
    staff->setYiMing(parts[s + 2]);
    staff->setXingMing(parts[s + 3]);
    staff->setShengFen(parts[s + 4]);
    staff->setState(parts[s + 5]);
    staff->setCallCount(parts[s + 6]);
    staff->setStr2(parts[s + 7]);
    staff->setStr3(parts[s + 8]);
    staff->setStr4(parts[s + 9]);
    staff->setStr5(parts[s + 10]);
    list.push_back(std::move(staff));
  });
  return list;
}

std::shared_ptr<GongGuanCurState> RoomReplies::gongGuanCurState(const ReplyParts& parts) {
  if (parts.size() < 14) return nullptr;
  auto state = std::make_shared<GongGuanCurState>();
  state->setState(parts[4]);
  state->setCallCount(parts[5]);
  state->setXiaBanQianJianMian(parts[6]);
  state->setMingRiXiaWuCha(parts[7]);
  state->setMingRiZhiJieDingFang(parts[8]);
  state->setXiaBanQianJianMian_ID(parts[9]);
  state->setMingRiXiaWuCha_ID(parts[10]);
  state->setMingRiZhiJieDingFang_ID(parts[11]);
  state->setStr1(parts[12]);
  state->setStr2(parts[13]);
  return state;
}

std::shared_ptr<GongGuanHuJiao> RoomReplies::gongGuanHuJiao(const ReplyParts& parts) {
  auto result = std::make_shared<GongGuanHuJiao>();
  result->setErrorCode(part(parts, 2));
  result->setErrorMsg(part(parts, 3));
  return result;
}

std::shared_ptr<CancelGongGuanHuJiao> RoomReplies::cancelGongGuanHuJiao(const ReplyParts& parts) {
  auto result = std::make_shared<CancelGongGuanHuJiao>();
  result->setErrorCode(part(parts, 2));
  result->setErrorMsg(part(parts, 3));
  return result;
}

}  // namespace kt
