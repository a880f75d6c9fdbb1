#pragma once

#include "app/RecordField.h"

namespace kt {

// One dish of the menu.
class OKFoodObject {
  KT_TEXT(No, "")
  KT_TEXT(NameChs, "")
  KT_TEXT(NameEng, "")
  KT_TEXT(Price, "")
  KT_TEXT(Monad, "")
  KT_TEXT(Stand, "")
  KT_TEXT(LimitFree, "")
  KT_TEXT(IfPack, "")
  KT_TEXT(IfFlowerItem, "0")
  KT_TEXT(AddInfoNo1, "")
  KT_TEXT(AddInfoNo2, "")
  KT_TEXT(FoodImageModifyTime, KT_UNSET)
  KT_TEXT(Str2, KT_UNSET)
  KT_TEXT(Str3, KT_UNSET)
  KT_TEXT(Str4, KT_UNSET)
  KT_TEXT(Str5, KT_UNSET)
  KT_TEXT(TypeNo, KT_UNSET)
  KT_TEXT(TopLevel, KT_UNSET)
  KT_TEXT(Name, KT_UNSET)
  KT_TEXT(Level, KT_UNSET)
};

}  // namespace kt
