#include "platform/ui/StoryboardSegue.h"

#include "platform/core/Log.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ViewController.h"

namespace ui {

void PushSegue::perform() {
  auto* nav = sourceViewController() ? sourceViewController()->navigationController() : nullptr;
  if (!nav) {
    KT_LOG("Push segue \"%s\": the source has no navigation controller", identifier().c_str());
    return;
  }
  nav->pushViewController(destinationViewController(), true);
}

void ModalSegue::perform() {
  if (!sourceViewController()) return;
  sourceViewController()->presentViewController(destinationViewController(), true);
}

}  // namespace ui
