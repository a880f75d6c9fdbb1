#include "order/MissViewSegue.h"

#include "platform/core/Log.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"
#include "widgets/transitions/VTFoldTransition.h"

namespace kt {

void MissViewSegue::perform() {
  ui::NavigationController* navigation =
      sourceViewController() ? sourceViewController()->navigationController() : nullptr;
  if (!navigation || !destinationViewController()) {
    KT_LOG("no navigation stack to push on");
    return;
  }
  pushViewController(*navigation, destinationViewController(), foldStyleDefault);
}

}  // namespace kt
