#pragma once

#include "widgets/feedback/PRRefreshStateHeader.h"
#include "widgets/feedback/PRRefreshStateImages.h"

namespace kt {

// A header that shows pictures for its states (one still, or several as an animation) in place of
// the arrow and spinner; while at rest the pictures follow the pull.
class PRRefreshGifHeader : public PRRefreshWithImages<PRRefreshStateHeader> {
 public:
  using PRRefreshWithImages::PRRefreshWithImages;

  void setPullingPercent(double percent) override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;
};

}  // namespace kt
