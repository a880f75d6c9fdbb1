#pragma once

#include <memory>

#include "platform/gfx/Geometry.h"
#include "platform/ui/StoryboardSegue.h"

namespace ui {
class PopoverController;
}

namespace kt {

// The one shared popover of the ordering screens: each performance closes the popover shown
// before (without animation) and shows the destination in a new one, 310 by 522 (the package
// chooser 500 by 600), pointing at the source's currentBtn, with any arrow, without animation.
// The source (an OrderPopoverSource) keeps the popover and is its delegate.
class ShowPopViewSegue : public ui::StoryboardSegue {
 public:
  static constexpr gfx::Size DishPopoverSize{310, 522};
  static constexpr gfx::Size PackChooserSize{500, 600};
  // The scene whose controllers get the larger size.
  static constexpr const char* PackChooserScene = "PackChildViewController";

  using ui::StoryboardSegue::StoryboardSegue;
  void perform() override;

  // Closes the shared popover when it is showing, without animation.
  static void setDismiss();
  // The shared popover (null before the first performance).
  static std::shared_ptr<ui::PopoverController> sharedPopover();
  // Tests: forgets the shared popover.
  static void resetForTesting();
};

// The recommended dishes' popover: a popover of its own on the destination (its own size),
// pointing at the source's btnDianXuan, animated; the source keeps it and is its delegate.
class RecommendSegue : public ui::StoryboardSegue {
 public:
  using ui::StoryboardSegue::StoryboardSegue;
  void perform() override;
};

}  // namespace kt
