#pragma once

#include "widgets/feedback/PRRefreshAutoStateFooter.h"
#include "widgets/feedback/PRRefreshSpinner.h"

namespace kt {

// The footer of the song lists: a spinner left of the state text while loading.
class PRRefreshAutoNormalFooter : public PRRefreshWithSpinner<PRRefreshAutoStateFooter> {
 public:
  using PRRefreshWithSpinner::PRRefreshWithSpinner;

  void placeSubviews() override;
  void setState(PRRefreshState state) override;
};

}  // namespace kt
