#pragma once

#include "app/RecordField.h"

namespace kt {

// One basket line, or one bill line. Values are kept as text exactly as received.
class OKFolioObject {
  KT_TEXT(FoodNo, "")
  KT_TEXT(FoodName, "")
  KT_TEXT(Price, "")
  KT_TEXT(Flag, "")
  KT_TEXT(Quantity, "0")
  KT_TEXT(CanDiscount, "")
  KT_TEXT(Monad, KT_UNSET)  // must be set before the line is submitted
  KT_TEXT(IfLowLimitPrice, "")
  KT_TEXT(PrinterNo, "")
  KT_TEXT(OverTimes, "")
  KT_TEXT(IfPack, "")
  KT_TEXT(IfPackChild, "")
  KT_TEXT(AutoFreed, "")
  KT_TEXT(AutoFreeCount, "0")
  KT_TEXT(ParentFoodNo, "")
  KT_TEXT(CanReward, "")
  KT_TEXT(AutoFreeSetIDOfMutilToOne, "")
  KT_TEXT(LimitDisRate, "")
  KT_TEXT(SendMobileMsgWhenFree, "")
  KT_TEXT(Note, "")
  KT_TEXT(VipPrice, "0")
  KT_TEXT(UseVipSpecialPrice, "0")
  KT_TEXT(IfFlowerItem, "0")
  KT_TEXT(Str2, "")
  KT_TEXT(Str3, "")
  KT_TEXT(Str4, "")
  KT_TEXT(Str5, "")
  KT_TEXT(Adds1Name, "")
  KT_TEXT(Adds2Name, "")
  KT_TEXT(GroupID, "")
  KT_TEXT(DeduckClerkName, "")
  KT_TEXT(FlowerGirlsNo, "")
  KT_TEXT(ReturnFlag, "")
  KT_TEXT(InputClerk, "")
  KT_TEXT(InputTime, "")
  KT_TEXT(FreeClerk, "")
};

}  // namespace kt
