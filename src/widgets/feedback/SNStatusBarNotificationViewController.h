#pragma once

#include "platform/ui/ViewController.h"

namespace kt {

// Root controller of the notifier's overlay window: a clear view, and the application's current
// status-bar style as its own, so that the overlay leaves the status bar's look alone.
class SNStatusBarNotificationViewController : public ui::ViewController {
 public:
  SNStatusBarNotificationViewController() = default;

  void viewDidLoad() override;
  ui::StatusBarStyle preferredStatusBarStyle() const override;
};

}  // namespace kt
