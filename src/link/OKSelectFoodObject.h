#pragma once

#include <memory>
#include <vector>

#include "link/OKFolioObject.h"
#include "app/RecordField.h"

namespace kt {

using FolioList = std::vector<std::shared_ptr<OKFolioObject>>;

// A room's basket together with the header of the last pricing reply.
class OKSelectFoodObject {
  KT_TEXT(ErrorCode, "")
  KT_TEXT(ErrorMsg, KT_UNSET)
  KT_TEXT(HasMultFreeItems, "")
  KT_TEXT(MultFreeCount, "")
  KT_TEXT(MultFreeItemsSetID, "")
  KT_TEXT(GroupID, "")
  KT_TEXT(DataCount, "")
  // The basket lines in the order shown and submitted, and the lines the dish being chosen replaces.
  KT_FIELD_NAMED(FolioList, foodSetArray, setFoodSetArray, {})
  KT_FIELD_NAMED(FolioList, oldChoiceArray, setOldChoiceArray, {})

 public:
  FolioList& foodSetArray() { return m_foodSetArray; }
  FolioList& oldChoiceArray() { return m_oldChoiceArray; }
};

}  // namespace kt
