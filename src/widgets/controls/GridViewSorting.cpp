// Moving a grid's items by long press and drag: the lifted cell follows the finger in the main
// superview, the items it passes over make way, the grid scrolls near its edges, and the cell
// drops into its new position.
#include <algorithm>

#include "platform/core/RunLoop.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "widgets/controls/GridView.h"
#include "widgets/controls/GridViewCell.h"

namespace kt {

namespace {

constexpr double AutoScrollRecheckDelay = 0.5;

// Moves a view to another superview, keeping where it shows on the screen.
void moveKeepingPlace(ui::View& view, ui::View& from, ui::View& to) {
  const gfx::Rect frame = from.convertRectTo(view.frame(), &to);
  std::shared_ptr<ui::View> keep = view.shared();
  view.removeFromSuperview();
  view.setFrame(frame);
  to.addSubview(keep);
}

}  // namespace

void GridView::sortingMoveDidStartAtPoint(gfx::Point point) {
  const int64_t position = positionAt(point);
  std::shared_ptr<GridViewCell> cell = cellForItemAtIndex(position);
  if (!cell) return;
  bringSubviewToFront(cell.get());

  m_sortMovingItem = cell;
  moveKeepingPlace(*cell, *this, *mainSuperView());
  setSubviewsCacheAsInvalid();

  m_sortFuturePosition = cell->tag() - TagOffset;
  cell->setTag(0);

  GridViewSortingDelegate* delegate = m_sortingDelegate.get();
  if (delegate && delegate->didStartMovingCell) delegate->didStartMovingCell(*this, *cell);
  bool shake = true;
  if (delegate && delegate->shouldAllowShakingBehaviorWhenMovingCell) {
    shake = delegate->shouldAllowShakingBehaviorWhenMovingCell(*this, *cell, position);
  }
  cell->shake(shake);
}

void GridView::sortingMoveDidContinueToPoint(gfx::Point point) {
  const auto position = static_cast<int64_t>(static_cast<int32_t>(positionAt(point)));
  if (position == InvalidPosition || position == m_sortFuturePosition || position >= m_numberTotalItems) return;

  std::shared_ptr<GridViewCell> passed;
  for (const auto& cell : itemSubviews()) {
    if (cell != m_sortMovingItem && cell->tag() == position + TagOffset) {
      passed = cell;
      break;
    }
  }

  GridViewSortingDelegate* delegate = m_sortingDelegate.get();
  if (passed) {
    const int64_t future = m_sortFuturePosition;
    if (m_style == 0) {
      // Push: the run between the two positions moves one place toward the lifted cell's old one.
      const bool forward = future < position;
      for (const auto& cell : itemSubviews()) {
        if (cell == m_sortMovingItem) continue;
        const int64_t tag = cell->tag();
        const bool inRun = forward ? (tag >= future + TagOffset && tag < position + TagOffset)
                                   : (tag > position + TagOffset && tag <= future + TagOffset);
        if (tag != position + TagOffset && !inRun) continue;
        cell->setTag(static_cast<int>(tag + (forward ? -1 : 1)));
        sendSubviewToBack(cell.get());
      }
      setSubviewsCacheAsInvalid();
      if (delegate) delegate->moveItemAtIndex(*this, future, position);
      relayoutItemsAnimated(true);
    } else if (m_sortMovingItem) {
      // Swap: only the passed-over item slides into the lifted cell's place.
      passed->setTag(static_cast<int>(future + TagOffset));
      const gfx::Rect frame = itemFrame(future);
      ui::View::animate(DefaultAnimationDuration, 0, DefaultAnimationOptions, [passed, frame] { passed->setFrame(frame); });
      if (delegate) delegate->exchangeItemAtIndex(*this, future, position);
    }
  }
  m_sortFuturePosition = position;
}

void GridView::sortingMoveDidStopAtPoint(gfx::Point) {
  std::shared_ptr<GridViewCell> cell = m_sortMovingItem;
  if (!cell) return;
  cell->shake(false);
  cell->setTag(static_cast<int>(m_sortFuturePosition + TagOffset));

  if (ui::View* host = cell->superview()) {
    moveKeepingPlace(*cell, *host, *this);
  } else {
    addSubview(cell);  // its host went away meanwhile
  }
  setSubviewsCacheAsInvalid();

  const gfx::Rect frame = itemFrame(m_sortFuturePosition);
  core::WeakPtr<GridView> weakGrid = m_weakFactory.weakPtr();
  ui::View::animate(
      DefaultAnimationDuration, 0, 0,
      [cell, frame] {
        cell->setTransform(gfx::AffineTransform::identity());
        cell->setFrame(frame);
      },
      [weakGrid, cell](bool) {
        GridView* grid = weakGrid.get();
        if (!grid) return;
        GridViewSortingDelegate* delegate = grid->m_sortingDelegate.get();
        if (delegate && delegate->didEndMovingCell) delegate->didEndMovingCell(*grid, *cell);
        if (grid->m_sortMovingItem == cell) {
          grid->m_sortMovingItem = nullptr;
          grid->m_sortFuturePosition = InvalidPosition;
        }
        grid->setSubviewsCacheAsInvalid();
      });
}

void GridView::sortingAutoScrollMovementCheck() {
  if (!m_sortMovingItem || !m_autoScrollActive) return;

  const gfx::Point location = m_sortingPanGesture->locationInView(this);
  const gfx::Point offset = contentOffset();
  const gfx::Point relative{location.x - offset.x, location.y - offset.y};
  const double threshold = m_itemSize.height;
  const gfx::Size size = bounds().size;
  gfx::Point target = offset;

  if (relative.x + threshold > size.width) {
    target.x = std::min(target.x + m_itemSize.width / 2, m_maxPossibleContentOffset.x);
  } else if (relative.x - threshold <= 0) {
    target.x = std::max(target.x - m_itemSize.width / 2, m_minPossibleContentOffset.x);
  }
  if (relative.y + threshold > size.height) {
    target.y = std::min(target.y + m_itemSize.height / 2, m_maxPossibleContentOffset.y);
  } else if (relative.y - threshold <= 0) {
    target.y = std::max(target.y - m_itemSize.height / 2, m_minPossibleContentOffset.y);
  }

  core::WeakPtr<GridView> weakGrid = m_weakFactory.weakPtr();
  const core::WeakToken token(weakGrid, &m_autoScrollPerform);
  core::RunLoop::main().cancelPerforms(token);
  if (target == offset) {
    core::RunLoop::main().performAfterDelay(token, AutoScrollRecheckDelay, [weakGrid] {
      if (GridView* grid = weakGrid.get()) grid->sortingAutoScrollMovementCheck();
    });
    return;
  }
  ui::View::animate(
      DefaultAnimationDuration, 0, DefaultAnimationOptions, [this, target] { setContentOffset(target); },
      [weakGrid, target, location](bool) {
        GridView* grid = weakGrid.get();
        if (!grid) return;
        grid->setContentOffset(target);
        if (grid->m_autoScrollActive) grid->sortingMoveDidContinueToPoint(location);
        grid->sortingAutoScrollMovementCheck();
      });
}

void GridView::sortingPanGestureUpdated(ui::GestureRecognizer& recognizer) {
  auto& pan = static_cast<ui::PanGestureRecognizer&>(recognizer);
  switch (pan.state()) {
    case ui::GestureRecognizerState::Began:
      m_autoScrollActive = true;
      sortingAutoScrollMovementCheck();
      break;
    case ui::GestureRecognizerState::Changed:
      if (m_sortMovingItem) {
        const gfx::Point translation = pan.translationInView(this);
        m_sortMovingItem->setTransform(gfx::AffineTransform::translation(translation.x, translation.y));
      }
      sortingMoveDidContinueToPoint(pan.locationInView(this));
      break;
    case ui::GestureRecognizerState::Ended:
    case ui::GestureRecognizerState::Cancelled:
    case ui::GestureRecognizerState::Failed:
      m_autoScrollActive = false;
      break;
    default:
      break;
  }
}

}  // namespace kt
