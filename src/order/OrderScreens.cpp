#include "order/OrderScreens.h"

#include "order/BillViewController.h"
#include "order/FoodView.h"
#include "order/GongGuanZhaoPianViewController.h"
#include "order/MissGridViewCell.h"
#include "order/MissViewController.h"
#include "order/MissViewSegue.h"
#include "order/OrderMainViewController.h"
#include "order/OrderedFoodViewController.h"
#include "order/PackChildViewController.h"
#include "order/PopViewController.h"
#include "order/RecommendFoodView.h"
#include "order/RecommendViewController.h"
#include "order/RoomInfoBarView.h"
#include "order/SangWuYuYuePopViewController.h"
#include "order/ShowSangWuYuYueSegue.h"
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
  BillTableViewCell::registerNib();
  MissGridViewCell::registerNib();
  ui::Storyboard::registerStoryboard(StoryboardName, [](ui::Storyboard& storyboard) {
    storyboard.registerScene(Menu, [] { return std::make_shared<OrderMainViewController>(); });
    storyboard.registerScene(DishPopover, [] { return std::make_shared<PopViewController>(); });
    storyboard.registerScene(PackChooser, [] { return std::make_shared<PackChildViewController>(); });
    storyboard.registerScene(Basket, [] { return std::make_shared<OrderedFoodViewController>(); });
    storyboard.registerScene(Recommended, [] { return std::make_shared<RecommendViewController>(); });
    storyboard.registerScene(Bill, [] { return std::make_shared<BillViewController>(); });
    storyboard.registerScene(StaffGrid, [] { return std::make_shared<MissViewController>(); });
    storyboard.registerScene(StaffReservation, [] { return std::make_shared<SangWuYuYuePopViewController>(); });
    storyboard.registerScene(StaffPhotos, [] { return std::make_shared<GongGuanZhaoPianViewController>(); });

    storyboard.registerSegue(Menu, OrderMainViewController::ShowPopView, DishPopover, ui::Storyboard::SegueKind::Custom,
                             custom<ShowPopViewSegue>());
    storyboard.registerSegue(Menu, OrderMainViewController::ShowPackChildView, PackChooser,
                             ui::Storyboard::SegueKind::Custom, custom<ShowPopViewSegue>());
    storyboard.registerSegue(Menu, OrderMainViewController::ShowRecommendView, Recommended,
                             ui::Storyboard::SegueKind::Modal);
    storyboard.registerSegue(Menu, OrderMainViewController::ShowOrderedFood, Basket, ui::Storyboard::SegueKind::Push);
    storyboard.registerSegue(Menu, OrderMainViewController::ShowBill, Bill, ui::Storyboard::SegueKind::Push);
    storyboard.registerSegue(Menu, OrderMainViewController::ShowGongGuanZhaoPian, StaffGrid,
                             ui::Storyboard::SegueKind::Custom, custom<MissViewSegue>());
    storyboard.registerSegue(StaffGrid, MissViewController::ShowSangWuYuYue, StaffReservation,
                             ui::Storyboard::SegueKind::Custom, custom<ShowSangWuYuYueSegue>());
    // From the staff grid; the staff photos close themselves by dismissal.
    storyboard.registerSegue(StaffGrid, GongGuanZhaoPianViewController::ShowSegue, StaffPhotos,
                             ui::Storyboard::SegueKind::Modal);
    storyboard.registerSegue(Recommended, RecommendViewController::PopoverSegue, DishPopover,
                             ui::Storyboard::SegueKind::Custom, custom<RecommendSegue>());
    storyboard.registerSegue(Recommended, RecommendViewController::PackChooserSegue, PackChooser,
                             ui::Storyboard::SegueKind::Custom, custom<ShowPopViewSegue>());
  });
}

}  // namespace kt
