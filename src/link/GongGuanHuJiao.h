#pragma once

#include "app/RecordField.h"

namespace kt {

// The result of a staff call; "0" in ErrorCode is success.
class GongGuanHuJiao {
  KT_TEXT(ErrorCode, "")
  KT_TEXT(ErrorMsg, "")
  KT_TEXT(Str1, "")
  KT_TEXT(Str2, "")
  KT_TEXT(Str3, "")
};

}  // namespace kt
