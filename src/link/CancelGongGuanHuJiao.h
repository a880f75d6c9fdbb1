#pragma once

#include "app/RecordField.h"

namespace kt {

// The result of cancelling a staff call; "0" in ErrorCode is success.
class CancelGongGuanHuJiao {
  KT_TEXT(ErrorCode, "")
  KT_TEXT(ErrorMsg, "")
  KT_TEXT(Str1, "")
  KT_TEXT(Str2, "")
};

}  // namespace kt
