#pragma once

#include <cstdint>

#include "platform/gfx/Geometry.h"

namespace kt {

// A run of grid positions: [location, location + length).
struct GridPositionRange {
  int64_t location = 0;
  int64_t length = 0;
  int64_t end() const { return location + length; }
  friend bool operator==(const GridPositionRange&, const GridPositionRange&) = default;
};

// Turns a grid's item count, item size, spacing, minimum margins and bounds into a content size,
// the origin of each position, the position under a point and the positions that need cells for
// a scroll offset. Positions are signed; -1 means no item.
class GridViewLayoutStrategy {
 public:
  // Type numbers of the factory.
  static constexpr int Vertical = 0;
  static constexpr int Horizontal = 1;
  static constexpr int HorizontalPagedLTR = 2;
  static constexpr int HorizontalPagedTTB = 3;

  virtual ~GridViewLayoutStrategy() = default;

  virtual int type() const = 0;
  virtual void setupItemSize(gfx::Size itemSize, int64_t itemSpacing, const gfx::EdgeInsets& minEdgeInsets,
                             bool centeredGrid) = 0;
  virtual void rebaseWithItemCount(int64_t count, const gfx::Rect& bounds) = 0;
  virtual gfx::Size contentSize() const = 0;
  virtual gfx::Point originForItemAtPosition(int64_t position) const = 0;
  virtual int64_t itemPositionFromLocation(gfx::Point location) const = 0;
  virtual GridPositionRange rangeOfPositionsInBoundsFromOffset(gfx::Point offset) const = 0;
  // Whether the grid pages while it uses this strategy.
  virtual bool requiresEnablingPaging() const = 0;
};

// The state the strategies share and the rule that centres the item block inside the bounds.
class GridViewLayoutStrategyBase : public GridViewLayoutStrategy {
 public:
  int type() const override { return m_type; }
  void setupItemSize(gfx::Size itemSize, int64_t itemSpacing, const gfx::EdgeInsets& minEdgeInsets,
                     bool centeredGrid) override;
  gfx::Size contentSize() const override { return m_contentSize; }

  gfx::Size itemSize() const { return m_itemSize; }
  int64_t itemSpacing() const { return m_itemSpacing; }
  const gfx::EdgeInsets& minEdgeInsets() const { return m_minEdgeInsets; }
  bool centeredGrid() const { return m_centeredGrid; }
  int64_t itemCount() const { return m_itemCount; }
  const gfx::EdgeInsets& edgeInsets() const { return m_edgeInsets; }
  const gfx::Rect& gridBounds() const { return m_gridBounds; }

 protected:
  explicit GridViewLayoutStrategyBase(int type) : m_type(type) {}
  // Sets the margins (centring the block of size `blockSize` when asked) and the content size.
  void setEdgeAndContentSizeFromAbsoluteContentSize(gfx::Size blockSize);
  // Item size plus spacing along each axis.
  double stepX() const { return m_itemSize.width + static_cast<double>(m_itemSpacing); }
  double stepY() const { return m_itemSize.height + static_cast<double>(m_itemSpacing); }
  // The candidate position (as a 32-bit value) when it is an item whose frame holds the point
  // (top and left edges in, bottom and right edges out); else -1.
  int64_t checkedPosition(int64_t candidate, gfx::Point location) const;
  // The lines (rows or columns of `perLine` positions) that show at an offset along the scrolling
  // axis, with one more line on either side; not clipped to the count.
  static GridPositionRange linesAround(double offset, double step, double visible, int64_t perLine);
  // How many items fit in `available` when each takes `step` (its length plus the spacing) and the
  // last needs no spacing after it; at least 1.
  int64_t fitCount(double step, double available) const;

  int m_type;
  gfx::Size m_itemSize;
  int64_t m_itemSpacing = 0;
  gfx::EdgeInsets m_minEdgeInsets;
  bool m_centeredGrid = false;
  gfx::EdgeInsets m_edgeInsets;
  gfx::Size m_contentSize;
  int64_t m_itemCount = 0;
  gfx::Rect m_gridBounds;
};

// Rows of a fixed width, scrolling vertically.
class GridViewLayoutVerticalStrategy : public GridViewLayoutStrategyBase {
 public:
  GridViewLayoutVerticalStrategy() : GridViewLayoutStrategyBase(Vertical) {}
  void rebaseWithItemCount(int64_t count, const gfx::Rect& bounds) override;
  gfx::Point originForItemAtPosition(int64_t position) const override;
  int64_t itemPositionFromLocation(gfx::Point location) const override;
  GridPositionRange rangeOfPositionsInBoundsFromOffset(gfx::Point offset) const override;
  bool requiresEnablingPaging() const override { return false; }
  int64_t numberOfItemsPerRow() const { return m_numberOfItemsPerRow; }

 private:
  int64_t m_numberOfItemsPerRow = 1;
};

// Columns of a fixed height, scrolling horizontally.
class GridViewLayoutHorizontalStrategy : public GridViewLayoutStrategyBase {
 public:
  GridViewLayoutHorizontalStrategy() : GridViewLayoutStrategyBase(Horizontal) {}
  void rebaseWithItemCount(int64_t count, const gfx::Rect& bounds) override;
  gfx::Point originForItemAtPosition(int64_t position) const override;
  int64_t itemPositionFromLocation(gfx::Point location) const override;
  GridPositionRange rangeOfPositionsInBoundsFromOffset(gfx::Point offset) const override;
  bool requiresEnablingPaging() const override { return false; }
  int64_t numberOfItemsPerColumn() const { return m_numberOfItemsPerColumn; }

 protected:
  explicit GridViewLayoutHorizontalStrategy(int type) : GridViewLayoutStrategyBase(type) {}
  int64_t m_numberOfItemsPerColumn = 1;
};

// Pages of the bounds' size side by side; the content never scrolls vertically. Subclasses
// decide the order in which a page fills.
class GridViewLayoutHorizontalPagedStrategy : public GridViewLayoutHorizontalStrategy {
 public:
  void rebaseWithItemCount(int64_t count, const gfx::Rect& bounds) override;
  gfx::Point originForItemAtPosition(int64_t position) const override;
  int64_t itemPositionFromLocation(gfx::Point location) const override;
  GridPositionRange rangeOfPositionsInBoundsFromOffset(gfx::Point offset) const override;
  bool requiresEnablingPaging() const override { return true; }

  int64_t pageForItemAtIndex(int64_t index) const;
  gfx::Point originForItemAtColumn(int64_t column, int64_t row, int64_t page) const;
  virtual int64_t positionForItemAtColumn(int64_t column, int64_t row, int64_t page) const = 0;
  virtual int64_t columnForItemAtPosition(int64_t position) const = 0;
  virtual int64_t rowForItemAtPosition(int64_t position) const = 0;

  int64_t numberOfItemsPerPage() const { return m_numberOfItemsPerPage; }
  int64_t numberOfItemsPerRow() const { return m_numberOfItemsPerRow; }
  int64_t numberOfPages() const { return m_numberOfPages; }

 protected:
  explicit GridViewLayoutHorizontalPagedStrategy(int type) : GridViewLayoutHorizontalStrategy(type) {}
  int64_t m_numberOfItemsPerRow = 1;
  int64_t m_numberOfItemsPerPage = 1;
  int64_t m_numberOfPages = 0;
};

// Within a page, row by row from left to right.
class GridViewLayoutHorizontalPagedLTRStrategy : public GridViewLayoutHorizontalPagedStrategy {
 public:
  GridViewLayoutHorizontalPagedLTRStrategy() : GridViewLayoutHorizontalPagedStrategy(HorizontalPagedLTR) {}
  int64_t positionForItemAtColumn(int64_t column, int64_t row, int64_t page) const override;
  int64_t columnForItemAtPosition(int64_t position) const override;
  int64_t rowForItemAtPosition(int64_t position) const override;
};

// Within a page, column by column from top to bottom.
class GridViewLayoutHorizontalPagedTTBStrategy : public GridViewLayoutHorizontalPagedStrategy {
 public:
  GridViewLayoutHorizontalPagedTTBStrategy() : GridViewLayoutHorizontalPagedStrategy(HorizontalPagedTTB) {}
  int64_t positionForItemAtColumn(int64_t column, int64_t row, int64_t page) const override;
  int64_t columnForItemAtPosition(int64_t position) const override;
  int64_t rowForItemAtPosition(int64_t position) const override;
};

}  // namespace kt
