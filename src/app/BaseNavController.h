#pragma once

#include <memory>

#include "platform/ui/NavigationController.h"

namespace kt {

// A navigation controller of the system's own that adds nothing to the platform's.
class BaseNavController : public ui::NavigationController {
 public:
  BaseNavController();
  explicit BaseNavController(std::shared_ptr<ui::ViewController> root);
  ~BaseNavController() override;

  void viewDidLoad() override;
  void didReceiveMemoryWarning() override;
};

}  // namespace kt
