#include "order/ShowSangWuYuYueSegue.h"

#include "order/OrderPopoverSource.h"
#include "order/SangWuYuYuePopViewController.h"
#include "platform/core/Log.h"
#include "platform/ui/Button.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/ViewController.h"

namespace kt {

void ShowSangWuYuYueSegue::perform() {
  auto* source = dynamic_cast<OrderPopoverSource*>(sourceViewController().get());
  const auto& destination = destinationViewController();
  if (!source || !destination) {
    KT_LOG("the source cannot show a popover");
    return;
  }
  destination->view()->setFrame(gfx::Rect{{0, 0}, SangWuYuYuePopViewController::PopoverSize});
  destination->setPreferredContentSize(SangWuYuYuePopViewController::PopoverSize);
  auto popover = ui::PopoverController::create(destination);
  popover->setBackgroundStyle(ui::PopoverController::BackgroundStyle::Dark);
  source->setPopoverController(popover);
  auto anchor = source->currentBtn();
  if (!anchor) {
    KT_LOG("no button to point the popover at");
    return;
  }
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionAny, true);
}

}  // namespace kt
