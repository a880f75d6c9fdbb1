#pragma once

#include <memory>

#include "widgets/controls/GridViewLayoutStrategy.h"

namespace kt {

class GridViewLayoutStrategyFactory {
 public:
  // A new strategy of the type (GridViewLayoutStrategy::Vertical ... HorizontalPagedTTB); null
  // for any other number.
  static std::shared_ptr<GridViewLayoutStrategy> strategyFromType(int type);
};

}  // namespace kt
