#pragma once

#include "app/RecordField.h"

namespace kt {

// A food that guests may store at the venue, with its storage limits in days.
class CanStoreFoodObj {
  KT_TEXT(FoodNo, "")
  KT_TEXT(FoodName_Cha, "")
  KT_TEXT(FoodName_Eng, "")
  KT_TEXT(InputCode, "")
  KT_TEXT(LimitDays, "")
  KT_TEXT(LimitDaysOfOpen, "")
};

}  // namespace kt
