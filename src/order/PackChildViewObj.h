#pragma once

#include <memory>

#include "link/OKFoodObject.h"
#include "link/OKSelectFoodObject.h"
#include "link/SocketDataHandle.h"

namespace kt {

// What the dish popover hands over, through the menu screen, to the package chooser: the groups
// of the package (or the free-item sets), the priced lines of the dish, the pricing's group id and
// the dish. `selectedFoods` is the popover's own array of priced lines, shared, not a copy: the
// chooser appends its chosen lines to it. The groups' dishes (`dict`) go to the chooser directly.
class PackChildViewObj {
  KT_FIELD_NAMED(PackChildList, packArray, setPackArray, {})
  KT_FIELD_NAMED(PackChildFoodMap, dict, setDict, {})
  KT_FIELD_NAMED(std::shared_ptr<FolioList>, selectedFoods, setSelectedFoods, std::make_shared<FolioList>())
  KT_FIELD_NAMED(Text, sGroupID, setSGroupID, "")
  KT_FIELD_NAMED(std::shared_ptr<OKFoodObject>, food, setFood, nullptr)
};

}  // namespace kt
