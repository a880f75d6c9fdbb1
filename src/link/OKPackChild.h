#pragma once

#include <atomic>
#include <cstdint>

#include "app/RecordField.h"

namespace kt {

// One choice group of a package, or one free-item set.
class OKPackChild {
  KT_TEXT(SetItemsDataCount, "0")
  KT_TEXT(DetailDataCount, "0")
  KT_TEXT(SetID, "0")
  KT_TEXT(SetItemName, "")
  KT_TEXT(SetSumCount, "0")
  KT_TEXT(CountMode, "0")
  KT_TEXT(NotShare, "0")
  KT_TEXT(Str1, "")
  KT_TEXT(Str2, "")
  KT_TEXT(SetNote, KT_UNSET)
  KT_TEXT(FolioID, KT_UNSET)
  KT_TEXT(FoodName, KT_UNSET)
  KT_TEXT(Price, KT_UNSET)
  KT_TEXT(VipPrice, KT_UNSET)
  KT_TEXT(Quantity, KT_UNSET)
  KT_TEXT(DisRate, KT_UNSET)
  KT_TEXT(Monad, KT_UNSET)
  KT_TEXT(GroupID, KT_UNSET)
  KT_TEXT(Str01, KT_UNSET)
  KT_TEXT(Str02, KT_UNSET)
  KT_TEXT(Str03, KT_UNSET)
  KT_TEXT(Str04, KT_UNSET)
  KT_TEXT(Str05, KT_UNSET)
  KT_FIELD_NAMED(bool, isSelected, setIsSelected, false)  // some food of the group is chosen
  KT_FIELD_NAMED(bool, Flag, setFlag, false)              // the group's section is expanded
  KT_FIELD_NAMED(int64_t, CanSelectCount, setCanSelectCount, 0)

 public:
  // Items chosen so far; atomic like the screen state it mirrors.
  int32_t SelectedCount() const { return m_SelectedCount.load(); }
  void setSelectedCount(int32_t value) { m_SelectedCount.store(value); }

 private:
  std::atomic<int32_t> m_SelectedCount{0};
};

}  // namespace kt
