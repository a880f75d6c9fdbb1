#include "widgets/feedback/SNStatusBarNotificationViewController.h"

#include "platform/ui/Application.h"
#include "platform/ui/View.h"

namespace kt {

void SNStatusBarNotificationViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  view()->setBackgroundColor(gfx::Color::clear());
}

ui::StatusBarStyle SNStatusBarNotificationViewController::preferredStatusBarStyle() const {
  return ui::Application::shared().statusBarStyle();
}

}  // namespace kt
