#include "app/BaseNavController.h"

namespace kt {

BaseNavController::BaseNavController() = default;

BaseNavController::BaseNavController(std::shared_ptr<ui::ViewController> root)
    : ui::NavigationController(std::move(root)) {}

BaseNavController::~BaseNavController() = default;

void BaseNavController::viewDidLoad() { ui::NavigationController::viewDidLoad(); }

void BaseNavController::didReceiveMemoryWarning() { ui::NavigationController::didReceiveMemoryWarning(); }

}  // namespace kt
