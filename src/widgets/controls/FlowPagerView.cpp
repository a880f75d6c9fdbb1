#include "widgets/controls/FlowPagerView.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Log.h"
#include "platform/core/ThreadCheck.h"
#include "platform/core/Value.h"
#include "platform/ui/PageControl.h"

namespace kt {

FlowPagerView::FlowPagerView(const gfx::Rect& frame) : ui::View(frame) {
  setClipsToBounds(true);
  m_pageSize = bounds().size;

  m_scrollView = std::make_shared<ui::ScrollView>(bounds());
  m_scrollView->setDelegate(this);
  m_scrollView->setPagingEnabled(true);
  // The neighbouring pages show beside the one-page scroll view.
  m_scrollView->setClipsToBounds(false);
  m_scrollView->setShowsHorizontalScrollIndicator(false);
  m_scrollView->setShowsVerticalScrollIndicator(false);

  auto holder = ui::View::create(bounds());
  holder->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
  holder->setBackgroundColor(gfx::Color::clear());
  holder->addSubview(m_scrollView);
  addSubview(holder);
}

FlowPagerView::~FlowPagerView() { m_scrollView->setDelegate(nullptr); }

std::shared_ptr<FlowPagerView> FlowPagerView::initWithCoder(const core::Value& coder) {
  const core::Value& frame = coder["frame"];
  const core::Value* parts[] = {&frame["X"], &frame["Y"], &frame["Width"], &frame["Height"]};
  double numbers[4] = {};
  for (size_t i = 0; i < 4; ++i) {
    if (!parts[i]->isNumber() || !std::isfinite(parts[i]->doubleValue())) {
      KT_LOG("the archived frame is missing or unreadable; the pager starts with the zero rectangle");
      return std::make_shared<FlowPagerView>();
    }
    numbers[i] = parts[i]->doubleValue();
  }
  return std::make_shared<FlowPagerView>(gfx::Rect(numbers[0], numbers[1], numbers[2], numbers[3]));
}

void FlowPagerView::setDataSource(FlowPagerViewDataSource* dataSource) {
  m_dataSource = dataSource ? dataSource->weakPtr() : nullptr;
}

void FlowPagerView::setDelegate(FlowPagerViewDelegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

void FlowPagerView::reloadData() {
  KT_ASSERT_MAIN_THREAD();
  m_needsReload = true;
  setNeedsLayout();
}

std::shared_ptr<ui::View> FlowPagerView::dequeueReusableCell() {
  if (m_reusableCells.empty()) return nullptr;
  auto cell = std::move(m_reusableCells.back());
  m_reusableCells.pop_back();
  return cell;
}

void FlowPagerView::queueReusableCell(std::shared_ptr<ui::View> cell) { m_reusableCells.push_back(std::move(cell)); }

std::shared_ptr<ui::View> FlowPagerView::cellAtIndex(size_t index) const {
  return index < m_cells.size() ? m_cells[index] : nullptr;
}

void FlowPagerView::layoutSubviews() {
  ui::View::layoutSubviews();
  if (m_needsReload) reloadPages();
  setPagesAtContentOffset(m_scrollView->contentOffset());
  refreshVisibleCellAppearance();
}

void FlowPagerView::reloadPages() {
  if (auto* source = m_dataSource.get()) {
    m_pageCount = std::max<int64_t>(0, source->numberOfPagesInFlowView(*this));
    if (m_pageControl) m_pageControl->setNumberOfPages(static_cast<int>(m_pageCount));
  }
  if (auto* delegate = m_delegate.get()) m_pageSize = delegate->sizeForPageInFlowView(*this);

  // The pages of the last load leave the scroll view; the new load places its own.
  for (auto& cell : m_cells) {
    if (cell) cell->removeFromSuperview();
  }
  m_reusableCells.clear();
  m_visibleRange = {};
  m_cells.assign(static_cast<size_t>(m_pageCount), nullptr);

  const double w = m_pageSize.width, h = m_pageSize.height, n = static_cast<double>(m_pageCount);
  if (m_orientation == OrientationHorizontal || m_orientation == OrientationVertical) {
    m_scrollView->setFrame(gfx::Rect(0, 0, w, h));
    m_scrollView->setContentSize(isVertical() ? gfx::Size{w, h * n} : gfx::Size{w * n, h});
    const gfx::Rect b = bounds();
    m_scrollView->setCenter({b.x() + b.width() / 2, b.y() + b.height() / 2});
  }
  m_needsReload = false;
}

void FlowPagerView::setPagesAtContentOffset(gfx::Point offset) {
  const auto n = static_cast<int64_t>(m_cells.size());
  if (n == 0) return;
  const bool vertical = isVertical();
  const double w = vertical ? m_pageSize.height : m_pageSize.width;
  const double start = vertical ? offset.y - m_scrollView->frame().y() : offset.x - m_scrollView->frame().x();
  const double end = start + (vertical ? bounds().height() : bounds().width());

  int64_t first = 0;
  for (int64_t i = 0; i < n; ++i) {
    if (w * double(i + 1) > start) {
      first = i;
      break;
    }
  }
  int64_t last = first;
  for (int64_t i = first; i < n; ++i) {
    if ((w * double(i + 1) < end && w * double(i + 2) >= end) || i + 2 == n) {
      last = i + 1;
      break;
    }
  }
  first = std::max<int64_t>(first - 1, 0);
  last = std::min<int64_t>(last + 1, n - 1);
  m_visibleRange = {static_cast<size_t>(first), static_cast<size_t>(last - first + 1)};

  for (int64_t i = first; i <= last; ++i) setPageAtIndex(static_cast<size_t>(i));
  for (int64_t i = 0; i < n; ++i) {
    if (i < first || i > last) removeCellAtIndex(static_cast<size_t>(i));
  }
}

void FlowPagerView::setPageAtIndex(size_t index) {
  if (index >= m_cells.size() || m_cells[index]) return;
  auto* source = m_dataSource.get();
  if (!source) return;
  auto cell = source->cellForPageAtIndex(*this, static_cast<int64_t>(index));
  // The data source may have reloaded or gone while it was asked.
  if (!cell || index >= m_cells.size() || m_cells[index]) return;
  m_cells[index] = cell;
  const double w = m_pageSize.width, h = m_pageSize.height, i = static_cast<double>(index);
  cell->setFrame(isVertical() ? gfx::Rect(0, h * i, w, h) : gfx::Rect(w * i, 0, w, h));
  if (!cell->superview()) m_scrollView->addSubview(cell);
}

void FlowPagerView::removeCellAtIndex(size_t index) {
  if (index >= m_cells.size() || !m_cells[index]) return;
  auto cell = std::move(m_cells[index]);
  m_cells[index] = nullptr;
  if (cell->superview()) cell->removeFromSuperview();
  queueReusableCell(std::move(cell));
}

void FlowPagerView::refreshVisibleCellAppearance() {
  if (m_minimumPageAlpha == 1.0 && m_minimumPageScale == 1.0) return;
  const bool vertical = isVertical();
  const double w = m_pageSize.width, h = m_pageSize.height;
  // The length along the flip direction.
  const double along = vertical ? h : w;
  const double offset = vertical ? m_scrollView->contentOffset().y : m_scrollView->contentOffset().x;
  const size_t end = std::min(m_visibleRange.location + m_visibleRange.length, m_cells.size());
  for (size_t i = m_visibleRange.location; i < end; ++i) {
    const auto& cell = m_cells[i];
    if (!cell) continue;
    // Measured from where the page is now, inset included, so a page coming to rest in the middle
    // grows back step by step.
    const double delta = std::fabs((vertical ? cell->frame().y() : cell->frame().x()) - offset);
    ui::View::beginAnimations("CellAnimation");
    double inset = 0;
    if (delta < along) {
      cell->setAlpha(1 - (delta / along) * (1 - m_minimumPageAlpha));
      inset = (along * (1 - m_minimumPageScale)) * (delta / along) / 2;
    } else {
      cell->setAlpha(m_minimumPageAlpha);
      inset = along * (1 - m_minimumPageScale) / 2;
    }
    const double pos = along * static_cast<double>(i);
    cell->setFrame(vertical ? gfx::Rect(inset, pos + inset, w - 2 * inset, h - 2 * inset)
                            : gfx::Rect(pos + inset, inset, w - 2 * inset, h - 2 * inset));
    ui::View::commitAnimations();
  }
}

void FlowPagerView::scrollToPage(uint64_t page) {
  KT_ASSERT_MAIN_THREAD();
  if (m_pageCount <= 0 || page >= static_cast<uint64_t>(m_pageCount)) return;
  auto keep = weak_from_this().lock();
  const double p = static_cast<double>(page);
  if (m_orientation == OrientationHorizontal) {
    m_scrollView->setContentOffset({m_pageSize.width * p, 0}, true);
  } else if (m_orientation == OrientationVertical) {
    m_scrollView->setContentOffset({0, m_pageSize.height * p}, true);
  }
  setPagesAtContentOffset(m_scrollView->contentOffset());
  refreshVisibleCellAppearance();
}

void FlowPagerView::scrollViewDidScroll(ui::ScrollView& scrollView) {
  auto keep = weak_from_this().lock();
  setPagesAtContentOffset(scrollView.contentOffset());
  refreshVisibleCellAppearance();
}

void FlowPagerView::scrollViewDidEndDecelerating(ui::ScrollView& scrollView) {
  const double along = isVertical() ? m_pageSize.height : m_pageSize.width;
  if (!(along > 0)) return;
  auto keep = weak_from_this().lock();
  const double offset = isVertical() ? scrollView.contentOffset().y : scrollView.contentOffset().x;
  const auto page = static_cast<int64_t>(std::floor(offset / along));
  if (m_pageControl) m_pageControl->setCurrentPage(static_cast<int>(page));
  if (page != m_currentPageIndex) {
    if (auto* delegate = m_delegate.get()) delegate->didScrollToPage(*this, page);
  }
  m_currentPageIndex = page;
}

std::shared_ptr<ui::View> FlowPagerView::hitTest(gfx::Point p, const ui::Event* event) {
  if (isHidden() || !isUserInteractionEnabled() || alpha() < 0.01) return nullptr;
  if (!bounds().contains(p)) return nullptr;
  const gfx::Rect sf = m_scrollView->frame();
  const gfx::Point offset = m_scrollView->contentOffset();
  const gfx::Point inContent{p.x - sf.x() + offset.x, p.y - sf.y() + offset.y};
  if (m_scrollView->bounds().contains(inContent)) return m_scrollView->hitTest(inContent, event);
  return m_scrollView;
}

}  // namespace kt
