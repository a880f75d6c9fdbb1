#include "order/ShowPopViewSegue.h"

#include "order/OrderPopoverSource.h"
#include "platform/core/Log.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/Button.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/ViewController.h"

namespace kt {

namespace {

std::shared_ptr<ui::PopoverController>& shared() {
  static std::shared_ptr<ui::PopoverController> popover;
  return popover;
}

// A new popover on the destination, with the venue's dark card and a clear content background,
// handed to the source, which becomes its delegate.
std::shared_ptr<ui::PopoverController> makePopover(OrderPopoverSource& source,
                                                   const std::shared_ptr<ui::ViewController>& destination) {
  auto popover = ui::PopoverController::create(destination);
  popover->setBackgroundStyle(ui::PopoverController::BackgroundStyle::Dark);
  destination->view()->setBackgroundColor(gfx::Color::clear());
  source.setPopoverController(popover);
  popover->setDelegate(&source);
  return popover;
}

}  // namespace

void ShowPopViewSegue::setDismiss() {
  auto& popover = shared();
  if (popover && popover->isPopoverVisible()) popover->dismissPopoverAnimated(false);
}

std::shared_ptr<ui::PopoverController> ShowPopViewSegue::sharedPopover() { return shared(); }

void ShowPopViewSegue::resetForTesting() { shared().reset(); }

void ShowPopViewSegue::perform() {
  auto* source = dynamic_cast<OrderPopoverSource*>(sourceViewController().get());
  const auto& destination = destinationViewController();
  if (!source || !destination) {
    KT_LOG("the source cannot show a popover");
    return;
  }
  setDismiss();
  const gfx::Size size =
      destination->storyboardIdentifier() == PackChooserScene ? PackChooserSize : DishPopoverSize;
  destination->view()->setFrame(gfx::Rect{{0, 0}, size});
  destination->setPreferredContentSize(destination->view()->bounds().size);
  auto popover = makePopover(*source, destination);
  shared() = popover;
  auto anchor = source->currentBtn();
  if (!anchor) {
    KT_LOG("no button to point the popover at");
    return;
  }
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionAny, false);
}

void RecommendSegue::perform() {
  auto* source = dynamic_cast<OrderPopoverSource*>(sourceViewController().get());
  const auto& destination = destinationViewController();
  if (!source || !destination) {
    KT_LOG("the source cannot show a popover");
    return;
  }
  auto popover = makePopover(*source, destination);
  auto anchor = source->btnDianXuan();
  if (!anchor) {
    KT_LOG("no order button to point the popover at");
    return;
  }
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionAny, true);
}

}  // namespace kt
