#include "widgets/controls/GridView.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Animation.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/TimingFunction.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Application.h"
#include "platform/ui/LongPressGestureRecognizer.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/PinchGestureRecognizer.h"
#include "platform/ui/RotationGestureRecognizer.h"
#include "platform/ui/TapGestureRecognizer.h"
#include "widgets/controls/GridViewAdditions.h"
#include "widgets/controls/GridViewCell.h"
#include "widgets/controls/GridViewLayoutStrategyFactory.h"

namespace kt {

namespace {

// Runs the block inside the grid's default animation, or directly.
void animateIf(bool animated, const std::function<void()>& block) {
  if (animated) {
    ui::View::animate(GridView::DefaultAnimationDuration, 0, GridView::DefaultAnimationOptions, block);
  } else {
    block();
  }
}

ui::InterfaceOrientation currentOrientation() { return ui::Application::shared().statusBarOrientation(); }

// The start of the page at a coordinate, in whole pages rounded up or down (in single precision);
// 0 when pages have no length.
double pageOrigin(double coordinate, double pageLength, bool roundUp) {
  if (pageLength <= 0) return 0;
  const float pages = static_cast<float>(coordinate / pageLength);
  return pageLength * (roundUp ? std::ceil(pages) : std::floor(pages));
}

}  // namespace

GridView::GridView(const gfx::Rect& frame) : ui::ScrollView(frame) { commonInit(); }

GridView::~GridView() {
  // The recognisers may outlive the gate they ask.
  for (ui::GestureRecognizer* r : std::initializer_list<ui::GestureRecognizer*>{
           m_tapGesture.get(), m_pinchGesture.get(), m_rotationGesture.get(), m_panGesture.get(),
           m_sortingPanGesture.get(), m_longPressGesture.get()}) {
    r->setDelegate(nullptr);
    r->removeTarget(this);
  }
}

void GridView::commonInit() {
  auto action = [this](void (GridView::*handler)(ui::GestureRecognizer&)) {
    return [this, handler](ui::GestureRecognizer& r) { (this->*handler)(r); };
  };
  m_tapGesture = std::make_shared<ui::TapGestureRecognizer>(action(&GridView::tapGestureUpdated), this);
  m_tapGesture->setNumberOfTapsRequired(1);
  m_tapGesture->setNumberOfTouchesRequired(1);
  m_tapGesture->setCancelsTouchesInView(false);
  m_pinchGesture = std::make_shared<ui::PinchGestureRecognizer>(action(&GridView::pinchGestureUpdated), this);
  m_rotationGesture =
      std::make_shared<ui::RotationGestureRecognizer>(action(&GridView::rotationGestureUpdated), this);
  m_panGesture = std::make_shared<ui::PanGestureRecognizer>(action(&GridView::panGestureUpdated), this);
  m_panGesture->setMinimumNumberOfTouches(2);
  m_panGesture->setMaximumNumberOfTouches(2);
  m_sortingPanGesture =
      std::make_shared<ui::PanGestureRecognizer>(action(&GridView::sortingPanGestureUpdated), this);
  m_longPressGesture =
      std::make_shared<ui::LongPressGestureRecognizer>(action(&GridView::longPressGestureUpdated), this);
  m_longPressGesture->setNumberOfTouchesRequired(1);
  m_longPressGesture->setCancelsTouchesInView(false);
  for (const std::shared_ptr<ui::GestureRecognizer>& r : std::initializer_list<std::shared_ptr<ui::GestureRecognizer>>{
           m_tapGesture, m_pinchGesture, m_rotationGesture, m_panGesture, m_sortingPanGesture, m_longPressGesture}) {
    r->setDelegate(&m_gestureGate);
    addGestureRecognizer(r);
  }

  // The scroll view's own drag takes one finger and waits for a sort to be ruled out.
  if (ui::PanGestureRecognizer* scrollPan = panGestureRecognizer()) {
    scrollPan->setMaximumNumberOfTouches(1);
    scrollPan->requireGestureRecognizerToFail(m_sortingPanGesture);
  }

  setLayoutStrategy(GridViewLayoutStrategyFactory::strategyFromType(GridViewLayoutStrategy::Vertical));
  m_mainSuperView.reset();
  setEditing(false);
  setItemSpacing(10);
  setStyle(1);
  setMinimumPressDuration(0.2);
  setShowFullSizeViewWithAlphaWhenTransforming(true);
  setMinEdgeInsets({5, 5, 5, 5});
  setClipsToBounds(false);

  auto& center = core::NotificationCenter::defaultCenter();
  m_memoryWarningObservation = core::Observation(center, ui::Application::DidReceiveMemoryWarningNotification,
                                                 nullptr, [this](const core::Notification&) {
                                                   receivedMemoryWarningNotification();
                                                 });
  m_willRotateObservation = core::Observation(center, ui::Application::WillChangeStatusBarOrientationNotification,
                                              nullptr, [this](const core::Notification&) {
                                                receivedWillRotateNotification();
                                              });
}

// ---- Configuration ----

void GridView::setDataSource(GridViewDataSource* dataSource) {
  m_dataSource = dataSource ? dataSource->weakPtr() : nullptr;
  reloadData();
}

void GridView::setActionDelegate(GridViewActionDelegate* delegate) {
  m_actionDelegate = delegate ? delegate->weakPtr() : nullptr;
}

void GridView::setSortingDelegate(GridViewSortingDelegate* delegate) {
  m_sortingDelegate = delegate ? delegate->weakPtr() : nullptr;
}

void GridView::setTransformDelegate(GridViewTransformationDelegate* delegate) {
  m_transformDelegate = delegate ? delegate->weakPtr() : nullptr;
}

void GridView::setLayoutStrategy(std::shared_ptr<GridViewLayoutStrategy> strategy) {
  m_layoutStrategy = std::move(strategy);
  setPagingEnabled(m_layoutStrategy && m_layoutStrategy->requiresEnablingPaging());
  setNeedsLayout();
}

void GridView::setItemSpacing(int64_t spacing) {
  m_itemSpacing = spacing;
  setNeedsLayout();
}

void GridView::setCenterGrid(bool center) {
  m_centerGrid = center;
  setNeedsLayout();
}

void GridView::setMinEdgeInsets(const gfx::EdgeInsets& insets) {
  m_minEdgeInsets = insets;
  setNeedsLayout();
}

double GridView::minimumPressDuration() const { return m_longPressGesture->minimumPressDuration(); }

void GridView::setMinimumPressDuration(double seconds) { m_longPressGesture->setMinimumPressDuration(seconds); }

ui::View* GridView::mainSuperView() const {
  if (auto view = m_mainSuperView.lock()) return view.get();
  return const_cast<GridView*>(this);
}

void GridView::setMainSuperView(const std::shared_ptr<ui::View>& view) { m_mainSuperView = view; }

void GridView::setEditing(bool editing) {
  setEditing(editing, false);
  GridViewActionDelegate* delegate = m_actionDelegate.get();
  if (delegate && delegate->changedEdit) delegate->changedEdit(*this, m_editing);
}

void GridView::setEditing(bool editing, bool animated) {
  GridViewActionDelegate* delegate = m_actionDelegate.get();
  if (!delegate || !delegate->processDeleteActionForItemAtIndex) return;
  if (m_inTransformingState || editing == m_editing) return;
  for (const auto& cell : itemSubviews()) {
    const int64_t position = positionForItemSubview(*cell);
    if (position == InvalidPosition) continue;
    cell->setEditing(editing && canDeleteItemAtIndex(position), animated);
  }
  m_editing = editing;
}

bool GridView::canDeleteItemAtIndex(int64_t index) {
  GridViewDataSource* dataSource = m_dataSource.get();
  if (!dataSource || !dataSource->canDeleteItemAtIndex) return true;
  return dataSource->canDeleteItemAtIndex(*this, index);
}

gfx::Size GridView::itemSizeFromDataSource() {
  GridViewDataSource* dataSource = m_dataSource.get();
  return dataSource ? dataSource->sizeForItemsInInterfaceOrientation(*this, currentOrientation()) : gfx::Size();
}

// ---- Reuse ----

std::shared_ptr<GridViewCell> GridView::dequeueReusableCell() {
  if (m_reusableCells.empty()) return nullptr;
  auto cell = std::move(m_reusableCells.back());
  m_reusableCells.pop_back();
  return cell;
}

std::shared_ptr<GridViewCell> GridView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  auto it = std::find_if(m_reusableCells.begin(), m_reusableCells.end(),
                         [&](const auto& cell) { return cell->reuseIdentifier() == identifier; });
  if (it == m_reusableCells.end()) return nullptr;
  auto cell = std::move(*it);
  m_reusableCells.erase(it);
  return cell;
}

void GridView::queueReusableCell(const std::shared_ptr<GridViewCell>& cell) {
  if (!cell) return;
  cell->prepareForReuse();
  cell->setAlpha(1);
  cell->setBackgroundColor(gfx::Color::clear());
  // The pool is a set: a cell is in it once.
  if (std::find(m_reusableCells.begin(), m_reusableCells.end(), cell) == m_reusableCells.end()) {
    m_reusableCells.push_back(cell);
  }
}

// ---- Lookup ----

std::shared_ptr<GridViewCell> GridView::cellForItemAtIndex(int64_t index) {
  const int64_t tag = index + TagOffset;
  for (const auto& cell : itemSubviews()) {
    if (cell->tag() == tag) return cell;
  }
  return nullptr;
}

int64_t GridView::positionForItemSubview(const ui::View& view) const {
  return view.tag() >= TagOffset ? view.tag() - TagOffset : InvalidPosition;
}

std::vector<std::shared_ptr<GridViewCell>> GridView::itemSubviews() {
  std::lock_guard<std::mutex> lock(m_itemSubviewsMutex);
  if (m_itemsSubviewsCacheIsValid) return m_itemSubviewsCache;
  std::vector<std::shared_ptr<GridViewCell>> cells;
  cells.reserve(static_cast<size_t>(std::max<int64_t>(0, m_numberTotalItems)));
  for (const auto& view : subviews()) {
    if (auto cell = std::dynamic_pointer_cast<GridViewCell>(view)) cells.push_back(std::move(cell));
  }
  m_itemSubviewsCache = cells;
  m_itemsSubviewsCacheIsValid = true;
  return cells;
}

// ---- Layout ----

void GridView::applyWithoutAnimation(const std::function<void()>& block) {
  if (!block) return;
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  block();
  gfx::Transaction::commit();
}

void GridView::layoutSubviews() {
  ui::ScrollView::layoutSubviews();
  if (!m_rotationActive) {
    layoutSubviewsWithAnimation(ItemAnimationNone);
    return;
  }
  m_rotationActive = false;

  const gfx::Size newSize = itemSizeFromDataSource();
  if (newSize != m_itemSize) {
    m_itemSize = newSize;
    for (const auto& cell : itemSubviews()) {
      if (cell == m_transformingItem) continue;
      cell->setBounds({0, 0, m_itemSize.width, m_itemSize.height});
      if (cell->contentView()) cell->contentView()->setFrame(cell->bounds());
    }
  }
  GridViewTransformationDelegate* transformDelegate = m_transformDelegate.get();
  if (m_transformingItem && m_inFullSizeMode && transformDelegate) {
    const gfx::Size fullSize = transformDelegate->sizeInFullSizeForCell(
        *this, *m_transformingItem, m_transformingItem->tag() - TagOffset, currentOrientation());
    if (fullSize != m_transformingItem->fullSize()) {
      const auto& fullSizeView = m_transformingItem->fullSizeView();
      const gfx::Point center = fullSizeView ? fullSizeView->center() : gfx::Point();
      m_transformingItem->setFullSize(fullSize);
      if (fullSizeView) fullSizeView->setCenter(center);
    }
  }

  auto fade = gfx::TransitionAnimation::make(gfx::TransitionAnimation::Type::Fade);
  fade->duration = 0.25;
  fade->timingFunction = gfx::TimingFunction::named(gfx::TimingFunction::Name::EaseInEaseOut);
  layer()->addAnimation(fade, "rotationAnimation");

  applyWithoutAnimation([this] { layoutSubviewsWithAnimation(ItemAnimationNone); });

  if (isPagingEnabled()) setContentOffset(rectForPoint(contentOffset(), true).origin, true);
}

void GridView::layoutSubviewsWithAnimation(unsigned animation) {
  recomputeSizeAnimated(true);
  relayoutItemsAnimated((animation & ItemAnimationFade) != 0);
  loadRequiredItems();
}

void GridView::recomputeSizeAnimated(bool animated) {
  gfx::Size size;
  if (m_layoutStrategy) {
    m_layoutStrategy->setupItemSize(m_itemSize, m_itemSpacing, m_minEdgeInsets, m_centerGrid);
    m_layoutStrategy->rebaseWithItemCount(m_numberTotalItems, bounds());
    size = m_layoutStrategy->contentSize();
  }
  const gfx::Rect b = bounds();
  const gfx::EdgeInsets inset = contentInset();
  m_minPossibleContentOffset = {0, 0};
  m_maxPossibleContentOffset = {size.width - b.size.width + inset.right, size.height - b.size.height + inset.bottom};
  if (contentSize() != size) {
    animateIf(animated, [this, size] { setContentSize(size); });
  }
}

void GridView::relayoutItemsAnimated(bool animated) {
  if (!m_layoutStrategy) return;
  animateIf(animated, [this] {
    for (const auto& cell : itemSubviews()) {
      if (cell == m_sortMovingItem || cell == m_transformingItem) continue;
      const gfx::Rect frame{m_layoutStrategy->originForItemAtPosition(cell->tag() - TagOffset), m_itemSize};
      if (cell->frame() != frame) cell->setFrame(frame);
    }
  });
}

void GridView::loadRequiredItems() {
  if (!m_layoutStrategy) return;
  const GridPositionRange range = m_layoutStrategy->rangeOfPositionsInBoundsFromOffset(contentOffset());
  const int64_t loadedFirst = m_firstPositionLoaded;
  const int64_t loadedLast = m_lastPositionLoaded;

  m_firstPositionLoaded =
      m_firstPositionLoaded == InvalidPosition ? range.location : std::min(m_firstPositionLoaded, range.location);
  m_lastPositionLoaded =
      m_lastPositionLoaded == InvalidPosition ? range.end() : std::max(m_lastPositionLoaded, range.end());

  setSubviewsCacheAsInvalid();
  cleanupUnseenItems();

  const bool force = m_firstPositionLoaded == InvalidPosition || m_lastPositionLoaded == InvalidPosition;
  for (int64_t p = range.location; p < range.end() && p < m_numberTotalItems; ++p) {
    const bool outsideLoaded = p < loadedFirst || p >= loadedLast;
    if (!force && !outsideLoaded) continue;
    if (cellForItemAtIndex(p)) continue;
    if (auto cell = newItemSubViewForPosition(p)) {
      addSubview(cell);
      setSubviewsCacheAsInvalid();
    }
  }
}

void GridView::cleanupUnseenItems() {
  if (!m_layoutStrategy) return;
  const GridPositionRange range = m_layoutStrategy->rangeOfPositionsInBoundsFromOffset(contentOffset());
  auto recycle = [this](int64_t p) {
    if (auto cell = cellForItemAtIndex(p)) {
      queueReusableCell(cell);
      cell->removeFromSuperview();
      setSubviewsCacheAsInvalid();
    }
  };
  if (range.location > m_firstPositionLoaded) {
    for (int64_t p = m_firstPositionLoaded; p < range.location; ++p) recycle(p);
    m_firstPositionLoaded = range.location;
    setSubviewsCacheAsInvalid();
  }
  if (range.end() < m_lastPositionLoaded) {
    for (int64_t p = range.end(); p <= m_lastPositionLoaded; ++p) recycle(p);
    m_lastPositionLoaded = range.end();
    setSubviewsCacheAsInvalid();
  }
}

std::shared_ptr<GridViewCell> GridView::newItemSubViewForPosition(int64_t position) {
  GridViewDataSource* dataSource = m_dataSource.get();
  if (!dataSource || !m_layoutStrategy) return nullptr;
  std::shared_ptr<GridViewCell> cell = dataSource->cellForItemAtIndex(*this, position);
  // A data source that gives no cell leaves the position empty.
  if (!cell) return nullptr;
  const gfx::Point origin = m_layoutStrategy->originForItemAtPosition(position);
  applyWithoutAnimation([&] {
    cell->setFrame({origin, m_itemSize});
    if (cell->contentView()) cell->contentView()->setFrame(cell->bounds());
  });
  cell->setTag(static_cast<int>(position + TagOffset));
  cell->setEditing(m_editing && canDeleteItemAtIndex(position), false);

  core::WeakPtr<GridView> weakGrid = m_weakFactory.weakPtr();
  cell->setDeleteBlock([weakGrid](GridViewCell& deleted) {
    GridView* grid = weakGrid.get();
    if (!grid) return;
    const int64_t index = grid->positionForItemSubview(deleted);
    if (index == InvalidPosition) return;
    GridViewDataSource* source = grid->m_dataSource.get();
    if (source && source->canDeleteItemAtIndex && !source->canDeleteItemAtIndex(*grid, index)) return;
    GridViewActionDelegate* delegate = grid->m_actionDelegate.get();
    if (delegate && delegate->processDeleteActionForItemAtIndex) delegate->processDeleteActionForItemAtIndex(*grid, index);
  });
  return cell;
}

// ---- Data ----

void GridView::reloadData() {
  const gfx::Point offset = contentOffset();
  for (const auto& cell : itemSubviews()) {
    cell->removeFromSuperview();
    queueReusableCell(cell);
  }
  m_firstPositionLoaded = InvalidPosition;
  m_lastPositionLoaded = InvalidPosition;
  setSubviewsCacheAsInvalid();

  GridViewDataSource* dataSource = m_dataSource.get();
  m_numberTotalItems = dataSource ? std::max<int64_t>(0, dataSource->numberOfItemsInGridView(*this)) : 0;
  m_itemSize = itemSizeFromDataSource();
  recomputeSizeAnimated(true);

  const gfx::Point clamped{
      std::max(std::min(offset.x, m_maxPossibleContentOffset.x), m_minPossibleContentOffset.x),
      std::max(std::min(offset.y, m_maxPossibleContentOffset.y), m_minPossibleContentOffset.y)};
  setContentOffset(clamped);

  loadRequiredItems();
  setSubviewsCacheAsInvalid();
  setNeedsLayout();
}

gfx::Rect GridView::rectForPoint(gfx::Point point, bool) const {
  if (!isPagingEnabled()) return {point, m_itemSize};
  const gfx::Rect b = bounds();
  const gfx::EdgeInsets inset = contentInset();
  const gfx::Size page{b.size.width - inset.left - inset.right, b.size.height - inset.top - inset.bottom};
  return {pageOrigin(point.x, page.width, true), pageOrigin(point.y, page.height, true), page.width, page.height};
}

void GridView::scrollToObjectAtIndex(int64_t index, ScrollPosition position, bool animated) {
  if (!m_layoutStrategy) return;
  index = std::clamp<int64_t>(index, 0, m_numberTotalItems);
  const gfx::Point origin = m_layoutStrategy->originForItemAtPosition(index);
  gfx::Rect target = rectForPoint(origin, isPagingEnabled());
  if (isPagingEnabled()) {
    // The page the item lies on (not the one after it).
    target.origin = {pageOrigin(origin.x, target.size.width, false), pageOrigin(origin.y, target.size.height, false)};
  } else {
    const double spare = target.size.height - m_itemSize.height;
    switch (position) {
      case ScrollPosition::Top:
        target.origin.y = origin.y;
        break;
      case ScrollPosition::Middle:
        target.origin.y = std::max(origin.y - std::ceil(static_cast<float>(spare * 0.5)), 0.0);
        break;
      case ScrollPosition::Bottom:
        target.origin.y = std::max<double>(std::floor(static_cast<float>(origin.y - spare)), 0.0);
        break;
      default:
        target = {origin, m_itemSize};
        break;
    }
  }
  ui::View::animate(animated ? DefaultAnimationDuration : 0, 0, DefaultAnimationOptions,
                    [this, target] { scrollRectToVisible(target, false); });
}

void GridView::contentOffset(gfx::Point offset) {
  const gfx::Point old = contentOffset();
  ui::ScrollView::setContentOffset(offset);
  if (contentOffset() != old) loadRequiredItems();
}

gfx::Rect GridView::itemFrame(int64_t position) const {
  if (!m_layoutStrategy) return {gfx::Point(), m_itemSize};
  return {m_layoutStrategy->originForItemAtPosition(position), m_itemSize};
}

int64_t GridView::positionAt(gfx::Point point) const {
  return m_layoutStrategy ? m_layoutStrategy->itemPositionFromLocation(point) : InvalidPosition;
}

// ---- Gestures ----

bool GridView::GestureGate::gestureRecognizerShouldBegin(ui::GestureRecognizer& recognizer) {
  GridView& grid = m_grid;
  if (&recognizer == grid.m_tapGesture.get()) {
    if (grid.m_editing && grid.m_disableEditOnEmptySpaceTap) {
      return grid.positionAt(recognizer.locationInView(&grid)) == InvalidPosition;
    }
    return !grid.isScrolling() && !grid.m_editing &&
           !GridViewAdditions::hasRecognizedValidGesture(*grid.m_longPressGesture);
  }
  if (&recognizer == grid.m_longPressGesture.get()) {
    return (grid.m_sortingDelegate || grid.m_enableEditOnLongPress) && !grid.isScrolling() && !grid.m_editing;
  }
  if (&recognizer == grid.m_sortingPanGesture.get()) {
    return grid.m_sortMovingItem && GridViewAdditions::hasRecognizedValidGesture(*grid.m_longPressGesture);
  }
  if (&recognizer == grid.m_pinchGesture.get() || &recognizer == grid.m_rotationGesture.get() ||
      &recognizer == grid.m_panGesture.get()) {
    return grid.twoFingerGestureShouldBegin(recognizer);
  }
  return true;
}

bool GridView::twoFingerGestureShouldBegin(ui::GestureRecognizer& recognizer) const {
  if (!m_transformDelegate || recognizer.numberOfTouches() != 2 || m_editing) return false;
  if (m_inTransformingState || m_transformingItem) return true;
  const int64_t first = positionAt(recognizer.locationOfTouch(0, this));
  const int64_t second = positionAt(recognizer.locationOfTouch(1, this));
  return first != InvalidPosition && first == second;
}

void GridView::tapGestureUpdated(ui::GestureRecognizer& recognizer) {
  const int64_t position = positionAt(recognizer.locationInView(this));
  if (position == InvalidPosition) {
    GridViewActionDelegate* delegate = m_actionDelegate.get();
    if (delegate && delegate->GridViewDidTapOnEmptySpace) delegate->GridViewDidTapOnEmptySpace(*this);
    if (m_disableEditOnEmptySpaceTap) setEditing(false);
    return;
  }
  if (m_editing) return;
  if (auto cell = cellForItemAtIndex(position)) cell->setHighlighted(false);
  GridViewActionDelegate* delegate = m_actionDelegate.get();
  if (delegate && delegate->didTapOnItemAtIndex) delegate->didTapOnItemAtIndex(*this, position);
}

void GridView::longPressGestureUpdated(ui::GestureRecognizer& recognizer) {
  const gfx::Point location = recognizer.locationInView(this);
  if (m_enableEditOnLongPress && !m_editing) {
    if (positionAt(location) != InvalidPosition) setEditing(true);
    return;
  }
  switch (recognizer.state()) {
    case ui::GestureRecognizerState::Began:
      if (!m_sortMovingItem && positionAt(location) != InvalidPosition) sortingMoveDidStartAtPoint(location);
      break;
    case ui::GestureRecognizerState::Ended:
    case ui::GestureRecognizerState::Cancelled:
    case ui::GestureRecognizerState::Failed:
      GridViewAdditions::end(*m_sortingPanGesture);
      if (m_sortMovingItem) sortingMoveDidStopAtPoint(location);
      break;
    default:
      break;
  }
}

void GridView::receivedMemoryWarningNotification() {
  cleanupUnseenItems();
  m_reusableCells.clear();
}

}  // namespace kt
