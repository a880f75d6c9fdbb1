#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/WeakPtr.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/Application.h"

namespace ui {
class View;
}  // namespace ui

namespace kt {

class GridView;
class GridViewCell;

// Gives a grid its items. The grid holds its data source weakly.
class GridViewDataSource {
 public:
  GridViewDataSource() = default;
  GridViewDataSource(const GridViewDataSource&) = delete;
  GridViewDataSource& operator=(const GridViewDataSource&) = delete;
  virtual ~GridViewDataSource() = default;

  virtual int64_t numberOfItemsInGridView(GridView& grid) = 0;
  // The one size of all items in the orientation (the grid passes the status bar's).
  virtual gfx::Size sizeForItemsInInterfaceOrientation(GridView& grid, ui::InterfaceOrientation orientation) = 0;
  // The cell of a position; implementations first try grid.dequeueReusableCell(). Never null.
  virtual std::shared_ptr<GridViewCell> cellForItemAtIndex(GridView& grid, int64_t index) = 0;
  // Optional: whether the item shows a delete button in edit mode. Unset means it does.
  std::function<bool(GridView& grid, int64_t index)> canDeleteItemAtIndex;

  core::WeakPtr<GridViewDataSource> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<GridViewDataSource> m_weakFactory{this};
};

// Told of taps and edits. Every operation is optional: an unset one is not sent. Whether
// processDeleteActionForItemAtIndex is set decides whether the grid has an edit mode at all.
class GridViewActionDelegate {
 public:
  GridViewActionDelegate() = default;
  GridViewActionDelegate(const GridViewActionDelegate&) = delete;
  GridViewActionDelegate& operator=(const GridViewActionDelegate&) = delete;
  virtual ~GridViewActionDelegate() = default;

  std::function<void(GridView& grid, int64_t position)> didTapOnItemAtIndex;
  std::function<void(GridView& grid)> GridViewDidTapOnEmptySpace;
  std::function<void(GridView& grid, int64_t index)> processDeleteActionForItemAtIndex;
  std::function<void(GridView& grid, bool edit)> changedEdit;

  core::WeakPtr<GridViewActionDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<GridViewActionDelegate> m_weakFactory{this};
};

// Moves items by long press and drag. Setting one lets the long press lift a cell; the grid tells it
// each move (push style) or exchange (swap style) while the finger passes over other items, so it
// can reorder its data. The optional operations are callback slots: an unset one is not sent.
class GridViewSortingDelegate {
 public:
  GridViewSortingDelegate() = default;
  GridViewSortingDelegate(const GridViewSortingDelegate&) = delete;
  GridViewSortingDelegate& operator=(const GridViewSortingDelegate&) = delete;
  virtual ~GridViewSortingDelegate() = default;

  // Push style: the item at `oldIndex` now sits at `newIndex`, the ones between moved up or down.
  virtual void moveItemAtIndex(GridView& grid, int64_t oldIndex, int64_t newIndex) = 0;
  // Swap style: the two items changed places.
  virtual void exchangeItemAtIndex(GridView& grid, int64_t index1, int64_t index2) = 0;

  std::function<void(GridView& grid, GridViewCell& cell)> didStartMovingCell;
  std::function<void(GridView& grid, GridViewCell& cell)> didEndMovingCell;
  // Whether the lifted cell shakes; unset means it does.
  std::function<bool(GridView& grid, GridViewCell& cell, int64_t index)> shouldAllowShakingBehaviorWhenMovingCell;

  core::WeakPtr<GridViewSortingDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<GridViewSortingDelegate> m_weakFactory{this};
};

// Transforms a cell into a full-size view with two fingers. Setting one lets the pinch, rotation
// and two-finger pan begin over an item; it supplies the full-size view and its size. The
// notifications are callback slots: an unset one is not sent.
class GridViewTransformationDelegate {
 public:
  GridViewTransformationDelegate() = default;
  GridViewTransformationDelegate(const GridViewTransformationDelegate&) = delete;
  GridViewTransformationDelegate& operator=(const GridViewTransformationDelegate&) = delete;
  virtual ~GridViewTransformationDelegate() = default;

  // The size of the cell's full-size view in the orientation (the grid passes the status bar's).
  virtual gfx::Size sizeInFullSizeForCell(GridView& grid, GridViewCell& cell, int64_t index,
                                          ui::InterfaceOrientation orientation) = 0;
  // The view the cell shows at full size.
  virtual std::shared_ptr<ui::View> fullSizeViewForCell(GridView& grid, GridViewCell& cell, int64_t index) = 0;

  std::function<void(GridView& grid, GridViewCell& cell)> didStartTransformingCell;
  std::function<void(GridView& grid, GridViewCell& cell)> didEnterFullSizeForCell;
  std::function<void(GridView& grid, GridViewCell& cell)> didEndTransformingCell;

  core::WeakPtr<GridViewTransformationDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<GridViewTransformationDelegate> m_weakFactory{this};
};

}  // namespace kt
