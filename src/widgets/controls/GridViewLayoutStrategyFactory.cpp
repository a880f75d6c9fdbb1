#include "widgets/controls/GridViewLayoutStrategyFactory.h"

namespace kt {

std::shared_ptr<GridViewLayoutStrategy> GridViewLayoutStrategyFactory::strategyFromType(int type) {
  switch (type) {
    case GridViewLayoutStrategy::Vertical:
      return std::make_shared<GridViewLayoutVerticalStrategy>();
    case GridViewLayoutStrategy::Horizontal:
      return std::make_shared<GridViewLayoutHorizontalStrategy>();
    case GridViewLayoutStrategy::HorizontalPagedLTR:
      return std::make_shared<GridViewLayoutHorizontalPagedLTRStrategy>();
    case GridViewLayoutStrategy::HorizontalPagedTTB:
      return std::make_shared<GridViewLayoutHorizontalPagedTTBStrategy>();
    default:
      return nullptr;
  }
}

}  // namespace kt
