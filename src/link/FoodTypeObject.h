#pragma once

#include "app/RecordField.h"

namespace kt {

// One menu category: level "1" is a top category, "2" a sub-category of ParentNo.
class FoodTypeObject {
  KT_TEXT(TypeNo, "")
  KT_TEXT(TypeName, "")
  KT_TEXT(Level, "")
  KT_TEXT(ParentNo, "")
  KT_TEXT(Choise, "")  // screen state: "1" while a top category is expanded
};

}  // namespace kt
