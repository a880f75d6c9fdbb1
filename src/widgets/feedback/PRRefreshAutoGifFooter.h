#pragma once

#include "widgets/feedback/PRRefreshAutoStateFooter.h"
#include "widgets/feedback/PRRefreshStateImages.h"

namespace kt {

// An automatic footer that plays pictures beside its text while loading.
class PRRefreshAutoGifFooter : public PRRefreshWithImages<PRRefreshAutoStateFooter> {
 public:
  using PRRefreshWithImages::PRRefreshWithImages;

  void placeSubviews() override;
  void setState(PRRefreshState state) override;
};

}  // namespace kt
