#pragma once

namespace kt {

// The ordering storyboard "Storyboard_FoodOrder": its scenes (code-built screens), their segues
// and the nibs the screens load.
class OrderScreens {
 public:
  static constexpr const char* StoryboardName = "Storyboard_FoodOrder";
  // Scene identifiers (each the name of its screen's class).
  static constexpr const char* Menu = "OrderMainViewController";
  static constexpr const char* DishPopover = "PopViewController";
  static constexpr const char* PackChooser = "PackChildViewController";
  static constexpr const char* Basket = "OrderedFoodViewController";
  static constexpr const char* Recommended = "RecommendViewController";
  static constexpr const char* Bill = "BillViewController";
  static constexpr const char* StaffGrid = "MissViewController";
  static constexpr const char* StaffReservation = "SangWuYuYuePopViewController";
  static constexpr const char* StaffPhotos = "GongGuanZhaoPianViewController";

  // Registers (or registers again) the storyboard and the nibs. Called at start-up.
  static void registerStoryboard();
};

}  // namespace kt
