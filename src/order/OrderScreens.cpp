#include "order/OrderScreens.h"

#include "order/FoodView.h"
#include "order/RecommendFoodView.h"
#include "order/RoomInfoBarView.h"
#include "order/ShowPopViewSegue.h"
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
  FoodView::registerNib();
  RecommendFoodView::registerNib();
  ui::Storyboard::registerStoryboard(StoryboardName, []([[maybe_unused]] ui::Storyboard& storyboard) {
    // Scenes, one line each: storyboard.registerScene(Name, [] { return std::make_shared<Screen>(); });

    // Segues: storyboard.registerSegue(source scene, identifier, destination scene, kind[, factory]);
    // the popover segues are SegueKind::Custom with custom<ShowPopViewSegue>() or custom<RecommendSegue>().
  });
}

}  // namespace kt
