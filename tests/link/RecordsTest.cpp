#include <gtest/gtest.h>

#include <memory>

#include "link/CanStoreFoodObj.h"
#include "link/FoodTypeObject.h"
#include "link/GongGuanCurState.h"
#include "link/GongGuanList.h"
#include "link/OKFolioObject.h"
#include "link/OKFoodObject.h"
#include "link/OKPackChild.h"
#include "link/OKPackChildFood.h"
#include "link/OKSelectFood.h"
#include "link/OKSelectFoodObject.h"
#include "link/ObjRoomType.h"

namespace kt {
namespace {

TEST(InRoomRecords, UnsetIsDistinctFromEmpty) {
  OKFolioObject line;
  EXPECT_FALSE(line.Monad().has_value());  // must be set before a line is submitted
  EXPECT_EQ(line.FoodNo(), "");
  EXPECT_EQ(line.Quantity(), "0");
  EXPECT_EQ(line.AutoFreeCount(), "0");
  EXPECT_EQ(line.VipPrice(), "0");

  line.setMonad("");
  ASSERT_TRUE(line.Monad().has_value());
  EXPECT_EQ(*line.Monad(), "");
  line.setMonad(std::nullopt);
  EXPECT_FALSE(line.Monad().has_value());

  OKFoodObject food;
  EXPECT_EQ(food.No(), "");
  EXPECT_EQ(food.IfFlowerItem(), "0");
  EXPECT_FALSE(food.FoodImageModifyTime().has_value());
  EXPECT_FALSE(food.Str5().has_value());
  EXPECT_FALSE(food.Level().has_value());
}

TEST(InRoomRecords, BasketHasItsOwnEmptyListsAndNoMessage) {
  OKSelectFoodObject basket;
  EXPECT_FALSE(basket.ErrorMsg().has_value());
  EXPECT_EQ(basket.ErrorCode(), "");
  EXPECT_TRUE(basket.foodSetArray().empty());
  EXPECT_TRUE(basket.oldChoiceArray().empty());

  // Lines are shared: a screen editing a line edits the basket's line.
  auto line = std::make_shared<OKFolioObject>();
  basket.foodSetArray().push_back(line);
  line->setQuantity("3");
  EXPECT_EQ(basket.foodSetArray().front()->Quantity(), "3");
  EXPECT_TRUE(basket.oldChoiceArray().empty());

  OKSelectFoodObject other;
  EXPECT_TRUE(other.foodSetArray().empty());
}

TEST(InRoomRecords, PackageGroupsAndDishes) {
  OKPackChild group;
  EXPECT_EQ(group.SetID(), "0");
  EXPECT_EQ(group.SetSumCount(), "0");
  EXPECT_EQ(group.SetItemName(), "");
  EXPECT_FALSE(group.SetNote().has_value());
  EXPECT_FALSE(group.isSelected());
  EXPECT_FALSE(group.Flag());
  EXPECT_EQ(group.CanSelectCount(), 0);
  EXPECT_EQ(group.SelectedCount(), 0);
  group.setCanSelectCount(int64_t{3} * 5000000000LL);
  EXPECT_EQ(group.CanSelectCount(), 15000000000LL);

  OKPackChildFood dish;
  EXPECT_EQ(dish.FoodNo(), "0");  // not ""
  EXPECT_EQ(dish.SetID(), "");
  EXPECT_FALSE(dish.Count().has_value());
  EXPECT_FALSE(dish.SetItemsDataCount().has_value());
  dish.setSelectedCount(2);
  EXPECT_EQ(dish.SelectedCount(), 2);
}

TEST(InRoomRecords, StaffAndCategoryRecordsStartEmpty) {
  GongGuanList staff;
  EXPECT_EQ(staff.DangAnID(), "");
  EXPECT_EQ(staff.State(), "");
  GongGuanCurState state;
  EXPECT_EQ(state.MingRiZhiJieDingFang_ID(), "");
  FoodTypeObject type;
  EXPECT_EQ(type.Choise(), "");
}

TEST(RetiredOrderRecords, Defaults) {
  OKSelectFood record;
  for (const Text* zero : {&record.ErrorCode(), &record.MultFreeCount(), &record.FoodNo(), &record.Flag(),
                           &record.IfPack(), &record.IfPackChild()}) {
    EXPECT_EQ(*zero, "0");
  }
  for (const Text* empty : {&record.HasMultFreeItems(), &record.Quantity(), &record.PrinterType(),
                            &record.AutoFreeCount(), &record.Note(), &record.Monad()}) {
    EXPECT_EQ(*empty, "");
  }
  ObjRoomType roomType;
  EXPECT_EQ(roomType.id(), "");
  roomType.setId("7");
  EXPECT_EQ(roomType.id(), "7");
  CanStoreFoodObj stored;
  EXPECT_EQ(stored.LimitDaysOfOpen(), "");
}

}  // namespace
}  // namespace kt
