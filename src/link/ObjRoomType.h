#pragma once

#include "app/RecordField.h"

namespace kt {

// A room type: identifier, name and flag.
class ObjRoomType {
  KT_FIELD_NAMED(Text, id, setId, "")
  KT_FIELD_NAMED(Text, name, setName, "")
  KT_FIELD_NAMED(Text, flag, setFlag, "")
};

}  // namespace kt
