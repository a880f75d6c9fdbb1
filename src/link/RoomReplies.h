#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RecordField.h"
#include "link/SocketDataHandle.h"

namespace kt {

// The parts of a received frame's text: [0] the length digits, [1] the code, [2] the result
// ("0" success, "1" failure), [3] the server's message, then data.
using ReplyParts = std::vector<std::string>;

// Reads the replies of the room server's message catalogue into records. A record of k parts at
// part s is read only when all its parts are there; nothing is ever read past the last part, and
// a missing fixed part reads as unset.
class RoomReplies {
 public:
  // Splits on every CR LF; a text ending with CR LF gives an empty last part.
  static ReplyParts split(std::string_view text);
  // Part i, or unset when the reply has no such part.
  static Text part(const ReplyParts& parts, std::size_t i);
  // Whether part i is there and reads exactly `value`.
  static bool partIs(const ReplyParts& parts, std::size_t i, std::string_view value);
  // The message code: the integer value of [1]; 0 when there is no such part.
  static int code(const ReplyParts& parts);

  // 100, as the connect-and-bind screen reads it. Bound only when the result is "0" and every
  // part of the success branch ([4] to [8]) is there.
  struct BindReply {
    bool bound = false;
    Text message;  // [3]
    Text roomNo;   // [4]
    Text roomType; // [6]
    Text printId;  // [7]
    Text priceId;  // [8]
  };
  static BindReply bindClient(const ReplyParts& parts);

  // 103: categories of 7 parts from [7].
  static FoodTypeList foodCategories(const ReplyParts& parts);
  // 104: dishes of 16 parts from [7].
  static FoodList foods(const ReplyParts& parts);
  // 105 (not failed): priced lines of 27 parts from [9]. Each line takes the basket's group,
  // the chosen option (when not empty) and the printer id after its printer number.
  static FolioLines selectedFoodLines(const ReplyParts& parts, const Text& groupID, const Text& addInfo,
                                      const Text& printId);
  // 106: the option texts [3] to the last part; nullopt when there are fewer than 4 parts.
  static std::optional<std::vector<std::string>> addInfoOfFood(const ReplyParts& parts);

  // 107 and 108: the groups and their dishes. With no group: nullopt, 0, nullopt. `count` is the
  // number of groups delivered: the announced count, or fewer when the reply holds fewer
  // complete groups; a negative count reads as 0.
  struct PackChildReply {
    std::optional<PackChildFoodMap> foods;
    int64_t count = 0;
    std::optional<PackChildList> groups;
  };
  // 107 (not failed): groups of 7 from [6], dishes of 10 after them; nullopt under 6 parts.
  static std::optional<PackChildReply> packChild(const ReplyParts& parts);
  // 108: sets of 8 from [6] (CanSelectCount = SetSumCount x the basket's MultFreeCount), dishes
  // of 11 after them; nullopt under 5 parts.
  static std::optional<PackChildReply> multFreeItems(const ReplyParts& parts, const Text& multFreeCount);

  // 109, as the bill screen reads it.
  struct FolioReply {
    bool failed = false;    // result "1"
    Text message;           // [3]
    Text bookingClerk;      // [4]
    Text checkInTime;       // [6]
    Text minimumCharge;     // [9]
    Text foodAmount;        // [10]
    Text discountedAmount;  // [12]
    Text overMinimum;       // [13]
    FolioLines lines;       // 16 parts each from [27]
  };
  static FolioReply folio(const ReplyParts& parts);

  // 147 (result "0"): staff of 11 parts from [6].
  static GongGuanListArray gongGuanList(const ReplyParts& parts);
  // 151 (result "0"): the state from [4] to [13]; nullptr when the reply stops before [13].
  static std::shared_ptr<GongGuanCurState> gongGuanCurState(const ReplyParts& parts);
  // 149 and 150: result [2] and message [3].
  static std::shared_ptr<GongGuanHuJiao> gongGuanHuJiao(const ReplyParts& parts);
  static std::shared_ptr<CancelGongGuanHuJiao> cancelGongGuanHuJiao(const ReplyParts& parts);
};

}  // namespace kt
