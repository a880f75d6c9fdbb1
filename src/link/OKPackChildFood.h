#pragma once

#include <atomic>
#include <cstdint>

#include "app/RecordField.h"

namespace kt {

// One dish inside a package group or a free-item set.
class OKPackChildFood {
  KT_TEXT(SetItemsDataCount, KT_UNSET)
  KT_TEXT(DetailDataCount, KT_UNSET)
  KT_TEXT(SetID, "")
  KT_TEXT(FoodNo, "0")
  KT_TEXT(FoodName_Cha, "")
  KT_TEXT(FoodName_Eng, "")
  KT_TEXT(Monad, "")
  KT_TEXT(PrintType, "")
  KT_TEXT(OverTimes, "")
  KT_TEXT(Count, KT_UNSET)
  KT_TEXT(Str1, KT_UNSET)
  KT_TEXT(Str2, KT_UNSET)
  KT_TEXT(Price, "")

 public:
  // Quantity chosen (screen state).
  int32_t SelectedCount() const { return m_SelectedCount.load(); }
  void setSelectedCount(int32_t value) { m_SelectedCount.store(value); }

 private:
  std::atomic<int32_t> m_SelectedCount{0};
};

}  // namespace kt
