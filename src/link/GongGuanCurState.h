#pragma once

#include "app/RecordField.h"

namespace kt {

// One staff member's state and reservations. Each reservation kind reads "0" (can be reserved),
// "1" (cannot) or "2" (reserved by this room), with the reservation's id beside it.
class GongGuanCurState {
  KT_TEXT(State, "")
  KT_TEXT(CallCount, "")
  KT_TEXT(XiaBanQianJianMian, "")
  KT_TEXT(MingRiXiaWuCha, "")
  KT_TEXT(MingRiZhiJieDingFang, "")
  KT_TEXT(XiaBanQianJianMian_ID, "")
  KT_TEXT(MingRiXiaWuCha_ID, "")
  KT_TEXT(MingRiZhiJieDingFang_ID, "")
  KT_TEXT(Str1, "")
  KT_TEXT(Str2, "")
};

}  // namespace kt
