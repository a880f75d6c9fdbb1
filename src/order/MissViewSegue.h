#pragma once

#include "platform/ui/StoryboardSegue.h"

namespace kt {

// Pushes the destination on the source's navigation stack after a paper fold (the default fold
// style) from the screen on show.
class MissViewSegue : public ui::StoryboardSegue {
 public:
  using ui::StoryboardSegue::StoryboardSegue;
  void perform() override;
};

}  // namespace kt
