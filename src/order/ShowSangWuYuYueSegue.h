#pragma once

#include "platform/ui/StoryboardSegue.h"

namespace kt {

// Shows the reservation popover (320 by 480) in a popover of its own that the source keeps,
// pointing at the source's currentBtn, with any arrow, animated. The source is an
// OrderPopoverSource (the staff grid).
class ShowSangWuYuYueSegue : public ui::StoryboardSegue {
 public:
  using ui::StoryboardSegue::StoryboardSegue;
  void perform() override;
};

}  // namespace kt
