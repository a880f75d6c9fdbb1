#pragma once

#include "app/RecordField.h"

namespace kt {

// One staff member of the staff list.
class GongGuanList {
  KT_TEXT(DangAnID, "")
  KT_TEXT(YuanGongBianHao, "")
  KT_TEXT(YiMing, "")
  KT_TEXT(XingMing, "")
  KT_TEXT(ShengFen, "")
  KT_TEXT(State, "")  // "0" free, "1" busy, "2" and "3" waiting
  KT_TEXT(CallCount, "")
  KT_TEXT(Str2, "")
  KT_TEXT(Str3, "")
  KT_TEXT(Str4, "")
  KT_TEXT(Str5, "")
};

}  // namespace kt
