#pragma once

#include "app/RecordField.h"

namespace kt {

// A flat record of a pricing reply's header and one priced line. Kept for compatibility;
// the live basket uses OKSelectFoodObject and OKFolioObject.
class OKSelectFood {
  KT_TEXT(ErrorCode, "0")
  KT_TEXT(HasMultFreeItems, "")
  KT_TEXT(MultFreeCount, "0")
  KT_TEXT(MultFreeItemsSetID, "")
  KT_TEXT(GroupID, "")
  KT_TEXT(DataCount, "")
  KT_TEXT(FoodNo, "0")
  KT_TEXT(FoodName, "")
  KT_TEXT(Price, "")
  KT_TEXT(Flag, "0")
  KT_TEXT(Quantity, "")
  KT_TEXT(CanDiscount, "")
  KT_TEXT(Monad, "")
  KT_TEXT(IfLowLimitPrice, "")
  KT_TEXT(PrinterType, "")
  KT_TEXT(OverTimes, "")
  KT_TEXT(IfPack, "0")
  KT_TEXT(IfPackChild, "0")
  KT_TEXT(AutoFreed, "")
  KT_TEXT(AutoFreeCount, "")
  KT_TEXT(ParentFoodNo, "")
  KT_TEXT(CanReward, "")
  KT_TEXT(AutoFreeSetIDOfMutilToOne, "")
  KT_TEXT(LimitDisRate, "")
  KT_TEXT(SendMobileMsgWhenFree, "")
  KT_TEXT(Note, "")
};

}  // namespace kt
