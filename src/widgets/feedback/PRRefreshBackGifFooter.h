#pragma once

#include "widgets/feedback/PRRefreshBackStateFooter.h"
#include "widgets/feedback/PRRefreshStateImages.h"

namespace kt {

// A pull-up footer that shows pictures for its states beside the text; while at rest the pictures
// follow the pull.
class PRRefreshBackGifFooter : public PRRefreshWithImages<PRRefreshBackStateFooter> {
 public:
  using PRRefreshWithImages::PRRefreshWithImages;

  void setPullingPercent(double percent) override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;
};

}  // namespace kt
