#pragma once

#include <memory>

#include "platform/ui/PopoverController.h"

namespace ui {
class Button;
}

namespace kt {

// A screen that opens the ordering popovers: it says which button the popover points at, keeps
// the popover it is given and is the popover's delegate. The popover holds the delegate as a
// plain pointer, so a source clears it (clearPopoverDelegate) when it goes.
class OrderPopoverSource : public ui::PopoverControllerDelegate {
 public:
  ~OrderPopoverSource() override = default;

  // The button the shared popover points at (ShowPopViewSegue).
  virtual std::shared_ptr<ui::Button> currentBtn() const = 0;
  // The order button the recommended dishes' popover points at (RecommendSegue); none elsewhere.
  virtual std::shared_ptr<ui::Button> btnDianXuan() const { return nullptr; }
  const std::shared_ptr<ui::PopoverController>& popoverController() const { return m_popoverController; }
  virtual void setPopoverController(std::shared_ptr<ui::PopoverController> popover) {
    m_popoverController = std::move(popover);
  }

 protected:
  // Takes this source off its popover's delegate; call from the destructor of the screen.
  void clearPopoverDelegate() {
    if (m_popoverController && m_popoverController->delegate() == this) m_popoverController->setDelegate(nullptr);
  }

 private:
  std::shared_ptr<ui::PopoverController> m_popoverController;
};

}  // namespace kt
