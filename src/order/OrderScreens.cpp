#include "order/OrderScreens.h"

#include "order/FoodView.h"
#include "order/GongGuanZhaoPianViewController.h"
#include "order/OrderMainViewController.h"
#include "order/OrderedFoodViewController.h"
#include "order/PackChildViewController.h"
#include "order/PopViewController.h"
#include "order/RecommendFoodView.h"
#include "order/RecommendViewController.h"
#include "order/RoomInfoBarView.h"
#include "order/ShowPopViewSegue.h"
#include "order/TowTableViewCell.h"
#include "platform/ui/Storyboard.h"

namespace kt {

namespace {

template <class Segue>
ui::Storyboard::SegueFactory custom() {
  return [](const std::string& identifier, std::shared_ptr<ui::ViewController> source,
            std::shared_ptr<ui::ViewController> destination) -> std::shared_ptr<ui::StoryboardSegue> {
    return std::make_shared<Segue>(identifier, std::move(source), std::move(destination));
  };
}

}  // namespace

void OrderScreens::registerStoryboard() {
  RoomInfoBarView::registerNib();
  TowTableViewCell::registerNib();
  FoodView::registerNib();
  RecommendFoodView::registerNib();
  ui::Storyboard::registerStoryboard(StoryboardName, [](ui::Storyboard& storyboard) {
    storyboard.registerScene(Menu, [] { return std::make_shared<OrderMainViewController>(); });
    storyboard.registerScene(DishPopover, [] { return std::make_shared<PopViewController>(); });
    storyboard.registerScene(PackChooser, [] { return std::make_shared<PackChildViewController>(); });
    storyboard.registerScene(Basket, [] { return std::make_shared<OrderedFoodViewController>(); });
    storyboard.registerScene(Recommended, [] { return std::make_shared<RecommendViewController>(); });
    storyboard.registerScene(StaffPhotos, [] { return std::make_shared<GongGuanZhaoPianViewController>(); });

    storyboard.registerSegue(Menu, OrderMainViewController::ShowPopView, DishPopover, ui::Storyboard::SegueKind::Custom,
                             custom<ShowPopViewSegue>());
    storyboard.registerSegue(Menu, OrderMainViewController::ShowPackChildView, PackChooser,
                             ui::Storyboard::SegueKind::Custom, custom<ShowPopViewSegue>());
    storyboard.registerSegue(Menu, OrderMainViewController::ShowRecommendView, Recommended,
                             ui::Storyboard::SegueKind::Modal);
    storyboard.registerSegue(Menu, OrderMainViewController::ShowOrderedFood, Basket, ui::Storyboard::SegueKind::Push);
    // "showGongGuanZhaoPian" leads to the staff screens, which are not part of this program yet.
    // From the staff grid; the staff photos close themselves by dismissal.
    storyboard.registerSegue("MissViewController", GongGuanZhaoPianViewController::ShowSegue, StaffPhotos,
                             ui::Storyboard::SegueKind::Modal);
    storyboard.registerSegue(Recommended, RecommendViewController::PopoverSegue, DishPopover,
                             ui::Storyboard::SegueKind::Custom, custom<RecommendSegue>());
    storyboard.registerSegue(Recommended, RecommendViewController::PackChooserSegue, PackChooser,
                             ui::Storyboard::SegueKind::Custom, custom<ShowPopViewSegue>());
  });
}

}  // namespace kt
