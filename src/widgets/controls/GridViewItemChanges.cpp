// Changes of single items without a full reload: the caller changes its data first, then tells
// the grid, which renumbers, adds, fades and removes only the cells concerned.
#include "platform/ui/View.h"
#include "widgets/controls/GridView.h"
#include "widgets/controls/GridViewCell.h"

namespace kt {

namespace {

constexpr double FadeInDelay = 0.3;

}  // namespace

void GridView::reloadRequiredRange() {
  if (m_layoutStrategy) {
    const GridPositionRange range = m_layoutStrategy->rangeOfPositionsInBoundsFromOffset(contentOffset());
    for (const auto& cell : itemSubviews()) {
      if (cell == m_sortMovingItem || cell == m_transformingItem) continue;
      const int64_t position = positionForItemSubview(*cell);
      if (position == InvalidPosition || (position >= range.location && position < range.end())) continue;
      queueReusableCell(cell);
      cell->removeFromSuperview();
    }
  }
  m_firstPositionLoaded = InvalidPosition;
  m_lastPositionLoaded = InvalidPosition;
  setSubviewsCacheAsInvalid();
}

void GridView::insertObjectAtIndex(int64_t index, unsigned animation) {
  if (index < 0 || index > m_numberTotalItems) return;
  bool shiftedLoadedRange = false;
  if (m_firstPositionLoaded <= index && index <= m_lastPositionLoaded) {
    std::shared_ptr<GridViewCell> cell = newItemSubViewForPosition(index);
    for (int64_t p = m_numberTotalItems - 1; p >= index; --p) {
      if (auto existing = cellForItemAtIndex(p); existing && existing != cell) {
        existing->setTag(existing->tag() + 1);
      }
    }
    if (cell) {
      if (animation & ItemAnimationFade) {
        cell->setAlpha(0);
        ui::View::beginAnimations();
        ui::View::setAnimationDelay(FadeInDelay);
        ui::View::setAnimationDuration(DefaultAnimationDuration);
        cell->setAlpha(1);
        ui::View::commitAnimations();
      }
      addSubview(cell);
    }
  } else if (index < m_firstPositionLoaded) {
    // Every loaded cell shows an item after the new one: each moves one place on.
    for (const auto& cell : itemSubviews()) {
      if (positionForItemSubview(*cell) != InvalidPosition) cell->setTag(cell->tag() + 1);
    }
    shiftedLoadedRange = true;
  }
  setSubviewsCacheAsInvalid();

  ++m_numberTotalItems;
  recomputeSizeAnimated(true);
  if (shiftedLoadedRange) reloadRequiredRange();

  if (animation & ItemAnimationScroll) {
    core::WeakPtr<GridView> weakGrid = m_weakFactory.weakPtr();
    ui::View::animate(
        DefaultAnimationDuration, 0, DefaultAnimationOptions,
        [this, index] { scrollToObjectAtIndex(index, ScrollPosition::None, false); },
        [weakGrid, animation](bool) {
          if (GridView* grid = weakGrid.get()) grid->layoutSubviewsWithAnimation(animation);
        });
  } else {
    layoutSubviewsWithAnimation(animation);
  }
  setSubviewsCacheAsInvalid();
}

void GridView::removeObjectAtIndex(int64_t index, unsigned animation) {
  if (index < 0 || index >= m_numberTotalItems) return;
  std::shared_ptr<GridViewCell> cell = cellForItemAtIndex(index);
  for (int64_t p = index + 1; p < m_numberTotalItems; ++p) {
    if (auto next = cellForItemAtIndex(p); next && next != cell) next->setTag(next->tag() - 1);
  }
  if (cell) cell->setTag(LeavingTag);
  --m_numberTotalItems;

  const bool fade = (animation & ItemAnimationFade) != 0;
  core::WeakPtr<GridView> weakGrid = m_weakFactory.weakPtr();
  ui::View::animate(
      fade ? DefaultAnimationDuration : 0, 0, DefaultAnimationOptions,
      [this, cell, index, animation] {
        if (cell) {
          if (cell->contentView()) cell->contentView()->setAlpha(0.3);
          cell->setAlpha(0);
        }
        if (animation & ItemAnimationScroll) scrollToObjectAtIndex(index, ScrollPosition::None, false);
        recomputeSizeAnimated(true);
      },
      [weakGrid, cell, fade](bool) {
        GridView* grid = weakGrid.get();
        if (!grid) return;
        if (cell) {
          if (cell->contentView()) cell->contentView()->setAlpha(1);
          grid->queueReusableCell(cell);
          cell->removeFromSuperview();
        }
        grid->reloadRequiredRange();
        grid->loadRequiredItems();
        grid->relayoutItemsAnimated(fade);
      });
  setSubviewsCacheAsInvalid();
}

void GridView::swapObjectAtIndex(int64_t index1, int64_t index2, unsigned animation) {
  if (index1 < 0 || index2 < 0 || index1 >= m_numberTotalItems || index2 >= m_numberTotalItems) return;
  std::shared_ptr<GridViewCell> first = cellForItemAtIndex(index1);
  std::shared_ptr<GridViewCell> second = cellForItemAtIndex(index2);
  if (first && second) {
    first->setTag(static_cast<int>(index2 + TagOffset));
    second->setTag(static_cast<int>(index1 + TagOffset));
    first->setFrame(itemFrame(index2));
    second->setFrame(itemFrame(index1));
  } else if (first || second) {
    // One side is not loaded: the loaded cell shows stale content, so the range is filled afresh.
    const std::shared_ptr<GridViewCell>& loaded = first ? first : second;
    queueReusableCell(loaded);
    loaded->removeFromSuperview();
    reloadRequiredRange();
    setNeedsLayout();
  }
  setSubviewsCacheAsInvalid();

  const gfx::Rect visible{contentOffset(), contentSize()};
  ui::View::animate(
      DefaultAnimationDuration, 0, DefaultAnimationOptions,
      [this, first, second, visible, index1, index2, animation] {
        if (!(animation & ItemAnimationScroll)) return;
        if (second && !second->frame().intersects(visible)) {
          scrollToObjectAtIndex(index1, ScrollPosition::None, false);
        } else if (first && !first->frame().intersects(visible)) {
          scrollToObjectAtIndex(index2, ScrollPosition::None, false);
        }
      },
      [weakGrid = m_weakFactory.weakPtr()](bool) {
        if (GridView* grid = weakGrid.get()) grid->setNeedsLayout();
      });
}

void GridView::reloadObjectAtIndex(int64_t index, unsigned animation) {
  // An item without a cell is asked for when its cell is loaded.
  std::shared_ptr<GridViewCell> old = cellForItemAtIndex(index);
  if (!old) return;
  std::shared_ptr<GridViewCell> fresh = newItemSubViewForPosition(index);
  if (!fresh) return;
  fresh->setFrame(itemFrame(index));
  fresh->setAlpha(0);
  addSubview(fresh);
  old->setTag(LeavingTag);
  setSubviewsCacheAsInvalid();

  ui::View::animate(
      (animation & ItemAnimationFade) ? DefaultAnimationDuration : 0, 0, DefaultAnimationOptions,
      [this, old, fresh, index, animation] {
        if (animation & ItemAnimationScroll) scrollToObjectAtIndex(index, ScrollPosition::None, false);
        old->setAlpha(0);
        fresh->setAlpha(1);
      },
      [weakGrid = m_weakFactory.weakPtr(), old](bool) {
        old->removeFromSuperview();
        if (GridView* grid = weakGrid.get()) grid->setSubviewsCacheAsInvalid();
      });
  setSubviewsCacheAsInvalid();
}

}  // namespace kt
