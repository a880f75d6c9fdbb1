#include "widgets/controls/GridViewLayoutStrategy.h"

#include <algorithm>
#include <cmath>

namespace kt {

namespace {

// Whole items needed for `count` items at `perLine` a line.
int64_t lineCount(int64_t count, int64_t perLine) {
  return static_cast<int64_t>(std::ceil(static_cast<double>(count) / static_cast<double>(perLine)));
}

// Truncation toward zero, as the positions are computed.
int64_t truncated(double v) { return static_cast<int64_t>(v); }

// The modulo of the platform's integers (the sign of the dividend).
int64_t mod(int64_t a, int64_t b) { return b == 0 ? 0 : a % b; }

}  // namespace

// ---- Base ----

void GridViewLayoutStrategyBase::setupItemSize(gfx::Size itemSize, int64_t itemSpacing,
                                               const gfx::EdgeInsets& minEdgeInsets, bool centeredGrid) {
  m_itemSize = itemSize;
  m_itemSpacing = itemSpacing;
  m_minEdgeInsets = minEdgeInsets;
  m_centeredGrid = centeredGrid;
}

void GridViewLayoutStrategyBase::setEdgeAndContentSizeFromAbsoluteContentSize(gfx::Size block) {
  if (m_centeredGrid) {
    const double widthSpace = std::floor((m_gridBounds.size.width - block.width) * 0.5);
    const double heightSpace = std::floor((m_gridBounds.size.height - block.height) * 0.5);
    m_edgeInsets.left = std::trunc(std::max(m_minEdgeInsets.left, widthSpace));
    m_edgeInsets.right = std::trunc(std::max(m_minEdgeInsets.right, widthSpace));
    m_edgeInsets.top = std::trunc(std::max(m_minEdgeInsets.top, heightSpace));
    m_edgeInsets.bottom = std::trunc(std::max(m_minEdgeInsets.bottom, heightSpace));
  } else {
    m_edgeInsets = m_minEdgeInsets;
  }
  m_contentSize = {block.width + m_edgeInsets.left + m_edgeInsets.right,
                   block.height + m_edgeInsets.top + m_edgeInsets.bottom};
}

int64_t GridViewLayoutStrategyBase::checkedPosition(int64_t candidate, gfx::Point location) const {
  const int64_t p = static_cast<int32_t>(candidate);
  if (p < 0 || p >= m_itemCount) return -1;
  const gfx::Point origin = originForItemAtPosition(p);
  const bool inside = location.x >= origin.x && location.y >= origin.y && location.x < origin.x + m_itemSize.width &&
                      location.y < origin.y + m_itemSize.height;
  return inside ? p : -1;
}

GridPositionRange GridViewLayoutStrategyBase::linesAround(double offset, double step, double visible,
                                                          int64_t perLine) {
  if (step <= 0) return {};
  const double start = std::max(offset, 0.0);
  const int64_t firstLine = std::max<int64_t>(0, truncated(start / step) - 1);
  const int64_t lastLine = static_cast<int64_t>(std::ceil((start + visible) / step));
  const int64_t location = perLine * firstLine;
  return {location, (lastLine + 1) * perLine - location};
}

int64_t GridViewLayoutStrategyBase::fitCount(double step, double available) const {
  int64_t n = 1;
  // Items that take no room at all would fit without end: keep one a line.
  if (step <= 0) return n;
  const double spacing = static_cast<double>(m_itemSpacing);
  while (static_cast<double>(n + 1) * step - spacing <= available) ++n;
  return n;
}

// ---- Vertical ----

void GridViewLayoutVerticalStrategy::rebaseWithItemCount(int64_t count, const gfx::Rect& bounds) {
  m_itemCount = count;
  m_gridBounds = bounds;
  const double usableWidth = bounds.size.width - m_minEdgeInsets.right - m_minEdgeInsets.left;
  m_numberOfItemsPerRow = fitCount(stepX(), usableWidth);
  const int64_t rows = lineCount(count, m_numberOfItemsPerRow);
  const double s = static_cast<double>(m_itemSpacing);
  const gfx::Size block{std::ceil(stepX() * static_cast<double>(std::min(count, m_numberOfItemsPerRow))) - s,
                        std::ceil(stepY() * static_cast<double>(rows)) - s};
  setEdgeAndContentSizeFromAbsoluteContentSize(block);
}

gfx::Point GridViewLayoutVerticalStrategy::originForItemAtPosition(int64_t p) const {
  if (p < 0 || m_numberOfItemsPerRow < 1) return {0, 0};
  const int64_t column = p % m_numberOfItemsPerRow;
  const int64_t row = p / m_numberOfItemsPerRow;
  return {static_cast<double>(column) * stepX() + m_edgeInsets.left,
          static_cast<double>(row) * stepY() + m_edgeInsets.top};
}

int64_t GridViewLayoutVerticalStrategy::itemPositionFromLocation(gfx::Point location) const {
  if (stepX() <= 0 || stepY() <= 0) return -1;
  const int64_t column = truncated((location.x - m_edgeInsets.left) / stepX());
  const int64_t row = truncated((location.y - m_edgeInsets.top) / stepY());
  return checkedPosition(column + m_numberOfItemsPerRow * row, location);
}

GridPositionRange GridViewLayoutVerticalStrategy::rangeOfPositionsInBoundsFromOffset(gfx::Point offset) const {
  return linesAround(offset.y, stepY(), m_gridBounds.size.height, m_numberOfItemsPerRow);
}

// ---- Horizontal ----

void GridViewLayoutHorizontalStrategy::rebaseWithItemCount(int64_t count, const gfx::Rect& bounds) {
  m_itemCount = count;
  m_gridBounds = bounds;
  const double usableHeight = bounds.size.height - m_minEdgeInsets.top - m_minEdgeInsets.bottom;
  m_numberOfItemsPerColumn = fitCount(stepY(), usableHeight);
  const int64_t columns = lineCount(count, m_numberOfItemsPerColumn);
  const double s = static_cast<double>(m_itemSpacing);
  const gfx::Size block{std::ceil(stepX() * static_cast<double>(columns)) - s,
                        std::ceil(stepY() * static_cast<double>(std::min(count, m_numberOfItemsPerColumn))) - s};
  setEdgeAndContentSizeFromAbsoluteContentSize(block);
}

gfx::Point GridViewLayoutHorizontalStrategy::originForItemAtPosition(int64_t p) const {
  if (p < 0 || m_numberOfItemsPerColumn < 1) return {0, 0};
  const int64_t column = p / m_numberOfItemsPerColumn;
  const int64_t row = p % m_numberOfItemsPerColumn;
  return {static_cast<double>(column) * stepX() + m_edgeInsets.left,
          static_cast<double>(row) * stepY() + m_edgeInsets.top};
}

int64_t GridViewLayoutHorizontalStrategy::itemPositionFromLocation(gfx::Point location) const {
  if (stepX() <= 0 || stepY() <= 0) return -1;
  const int64_t column = truncated((location.x - m_edgeInsets.left) / stepX());
  const int64_t row = truncated((location.y - m_edgeInsets.top) / stepY());
  return checkedPosition(row + m_numberOfItemsPerColumn * column, location);
}

GridPositionRange GridViewLayoutHorizontalStrategy::rangeOfPositionsInBoundsFromOffset(gfx::Point offset) const {
  return linesAround(offset.x, stepX(), m_gridBounds.size.width, m_numberOfItemsPerColumn);
}

// ---- Paged ----

void GridViewLayoutHorizontalPagedStrategy::rebaseWithItemCount(int64_t count, const gfx::Rect& bounds) {
  GridViewLayoutHorizontalStrategy::rebaseWithItemCount(count, bounds);
  const double maxWidth = std::trunc(bounds.size.width - m_minEdgeInsets.right - m_minEdgeInsets.left);
  m_numberOfItemsPerRow = fitCount(stepX(), maxWidth);
  m_numberOfItemsPerPage = m_numberOfItemsPerColumn * m_numberOfItemsPerRow;
  m_numberOfPages = lineCount(count, m_numberOfItemsPerPage);
  const double s = static_cast<double>(m_itemSpacing);
  const gfx::Size pageBlock{static_cast<double>(m_numberOfItemsPerRow) * stepX() - s,
                            static_cast<double>(m_numberOfItemsPerColumn) * stepY() - s};
  setEdgeAndContentSizeFromAbsoluteContentSize(pageBlock);
  m_contentSize = {bounds.size.width * static_cast<double>(m_numberOfPages), bounds.size.height};
}

int64_t GridViewLayoutHorizontalPagedStrategy::pageForItemAtIndex(int64_t index) const {
  const double page = std::floor(static_cast<double>(index) / static_cast<double>(m_numberOfItemsPerPage));
  return std::max<int64_t>(0, static_cast<int64_t>(page));
}

gfx::Point GridViewLayoutHorizontalPagedStrategy::originForItemAtColumn(int64_t column, int64_t row,
                                                                         int64_t page) const {
  return {m_gridBounds.size.width * static_cast<double>(page) + static_cast<double>(column) * stepX() +
              m_edgeInsets.left,
          static_cast<double>(row) * stepY() + m_edgeInsets.top};
}

gfx::Point GridViewLayoutHorizontalPagedStrategy::originForItemAtPosition(int64_t p) const {
  return originForItemAtColumn(columnForItemAtPosition(p), rowForItemAtPosition(p), pageForItemAtIndex(p));
}

int64_t GridViewLayoutHorizontalPagedStrategy::itemPositionFromLocation(gfx::Point location) const {
  if (stepX() <= 0 || stepY() <= 0) return -1;
  const double width = m_gridBounds.size.width;
  // The first page whose right edge is at or beyond the point.
  int64_t page = 0;
  if (width > 0 && location.x > width) page = static_cast<int64_t>(std::ceil(location.x / width)) - 1;
  const gfx::Point o = originForItemAtColumn(0, 0, page);
  const int64_t column = truncated((location.x - o.x) / stepX());
  const int64_t row = truncated((location.y - o.y) / stepY());
  return checkedPosition(positionForItemAtColumn(column, row, page), location);
}

GridPositionRange GridViewLayoutHorizontalPagedStrategy::rangeOfPositionsInBoundsFromOffset(gfx::Point offset) const {
  const double width = m_gridBounds.size.width;
  const int64_t page = width > 0 ? static_cast<int64_t>(std::floor(std::max(offset.x, 0.0) / width)) : 0;
  const int64_t location = std::max<int64_t>(0, (page - 1) * m_numberOfItemsPerPage);
  const int64_t end = std::min(location + 3 * m_numberOfItemsPerPage, m_itemCount);
  // An offset beyond the last page gives no positions rather than a negative run.
  return {location, std::max<int64_t>(0, end - location)};
}

int64_t GridViewLayoutHorizontalPagedLTRStrategy::positionForItemAtColumn(int64_t column, int64_t row,
                                                                           int64_t page) const {
  return column + m_numberOfItemsPerRow * row + m_numberOfItemsPerPage * page;
}

int64_t GridViewLayoutHorizontalPagedLTRStrategy::columnForItemAtPosition(int64_t p) const {
  return mod(mod(p, m_numberOfItemsPerPage), m_numberOfItemsPerRow);
}

int64_t GridViewLayoutHorizontalPagedLTRStrategy::rowForItemAtPosition(int64_t p) const {
  return static_cast<int64_t>(std::floor(static_cast<double>(mod(p, m_numberOfItemsPerPage)) /
                                         static_cast<double>(m_numberOfItemsPerRow)));
}

int64_t GridViewLayoutHorizontalPagedTTBStrategy::positionForItemAtColumn(int64_t column, int64_t row,
                                                                           int64_t page) const {
  return row + m_numberOfItemsPerColumn * column + m_numberOfItemsPerPage * page;
}

int64_t GridViewLayoutHorizontalPagedTTBStrategy::columnForItemAtPosition(int64_t p) const {
  return static_cast<int64_t>(std::floor(static_cast<double>(mod(p, m_numberOfItemsPerPage)) /
                                         static_cast<double>(m_numberOfItemsPerColumn)));
}

int64_t GridViewLayoutHorizontalPagedTTBStrategy::rowForItemAtPosition(int64_t p) const {
  return mod(mod(p, m_numberOfItemsPerPage), m_numberOfItemsPerColumn);
}

}  // namespace kt
