#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/core/WeakPtr.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ScrollView.h"
#include "widgets/controls/GridViewDelegates.h"
#include "widgets/controls/GridViewLayoutStrategy.h"

namespace ui {
class LongPressGestureRecognizer;
class PanGestureRecognizer;
class PinchGestureRecognizer;
class RotationGestureRecognizer;
class TapGestureRecognizer;
}  // namespace ui

namespace kt {

class GridViewCell;

// A scrolling grid of equally sized cells placed by an exchangeable layout strategy. It asks its
// data source for the item count, the item size and the cell of each position, keeps as subviews
// only the cells of the positions the strategy names for the current offset, and keeps the others
// in a reuse pool. A cell carries its position in its tag as position + TagOffset. Edit mode shows
// the cells' delete buttons. Main thread only; held by std::shared_ptr.
class GridView : public ui::ScrollView {
 public:
  // Tag of a cell = position + TagOffset; a tag below it means no position.
  static constexpr int TagOffset = 50;
  static constexpr int64_t InvalidPosition = -1;

  // Item animations: bits of the single-item changes and of layoutSubviewsWithAnimation.
  static constexpr unsigned ItemAnimationNone = 0;
  static constexpr unsigned ItemAnimationFade = 1 << 0;
  static constexpr unsigned ItemAnimationScroll = 1 << 7;

  enum class ScrollPosition { None = 0, Top = 1, Middle = 2, Bottom = 3 };

  static std::shared_ptr<GridView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<GridView>(frame);
  }
  explicit GridView(const gfx::Rect& frame = gfx::Rect());
  ~GridView() override;

  // ---- Configuration ----
  GridViewDataSource* dataSource() const { return m_dataSource.get(); }
  // Held weakly; reloads the grid.
  void setDataSource(GridViewDataSource* dataSource);
  GridViewActionDelegate* actionDelegate() const { return m_actionDelegate.get(); }
  void setActionDelegate(GridViewActionDelegate* delegate);
  GridViewSortingDelegate* sortingDelegate() const { return m_sortingDelegate.get(); }
  void setSortingDelegate(GridViewSortingDelegate* delegate);
  GridViewTransformationDelegate* transformDelegate() const { return m_transformDelegate.get(); }
  void setTransformDelegate(GridViewTransformationDelegate* delegate);

  const std::shared_ptr<GridViewLayoutStrategy>& layoutStrategy() const { return m_layoutStrategy; }
  // Pages when the strategy asks for it. A null strategy lays nothing out.
  void setLayoutStrategy(std::shared_ptr<GridViewLayoutStrategy> strategy);
  int64_t itemSpacing() const { return m_itemSpacing; }
  void setItemSpacing(int64_t spacing);
  bool centerGrid() const { return m_centerGrid; }
  void setCenterGrid(bool center);
  const gfx::EdgeInsets& minEdgeInsets() const { return m_minEdgeInsets; }
  void setMinEdgeInsets(const gfx::EdgeInsets& insets);
  double minimumPressDuration() const;
  void setMinimumPressDuration(double seconds);
  // The view that hosts a moved or transformed cell: the grid itself unless set. Held weakly.
  ui::View* mainSuperView() const;
  void setMainSuperView(const std::shared_ptr<ui::View>& view);
  // Sorting style: 0 push, 1 swap.
  int style() const { return m_style; }
  void setStyle(int style) { m_style = style; }
  bool showFullSizeViewWithAlphaWhenTransforming() const { return m_showFullSizeViewWithAlphaWhenTransforming; }
  void setShowFullSizeViewWithAlphaWhenTransforming(bool on) { m_showFullSizeViewWithAlphaWhenTransforming = on; }
  bool enableEditOnLongPress() const { return m_enableEditOnLongPress; }
  void setEnableEditOnLongPress(bool on) { m_enableEditOnLongPress = on; }
  bool disableEditOnEmptySpaceTap() const { return m_disableEditOnEmptySpaceTap; }
  void setDisableEditOnEmptySpaceTap(bool on) { m_disableEditOnEmptySpaceTap = on; }

  bool isEditing() const { return m_editing; }
  // Then tells the action delegate changedEdit.
  void setEditing(bool editing);
  // Only with an action delegate that processes deletes and while nothing is being transformed:
  // puts every cell into (or out of) edit mode, with a delete button where the data source
  // allows it.
  void setEditing(bool editing, bool animated);

  ui::ScrollView& scrollView() { return *this; }

  // ---- Reuse ----
  // Any pooled cell, taken out of the pool; null when it is empty.
  std::shared_ptr<GridViewCell> dequeueReusableCell();
  // The first pooled cell with the identifier, taken out of the pool; null when there is none.
  std::shared_ptr<GridViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);

  // ---- Lookup ----
  std::shared_ptr<GridViewCell> cellForItemAtIndex(int64_t index);
  int64_t positionForItemSubview(const ui::View& view) const;
  // The grid's cells in subview order.
  std::vector<std::shared_ptr<GridViewCell>> itemSubviews();

  // ---- Data ----
  // Asks the data source again and rebuilds the cells, keeping the offset within the new limits.
  void reloadData();
  // Scrolls so the item shows; a paging grid shows the item's own page.
  void scrollToObjectAtIndex(int64_t index, ScrollPosition position, bool animated);

  void layoutSubviews() override;

  // ---- Steps of the layout pass, for the grid's editing behaviours ----
  // Runs the block with layer actions disabled.
  static void applyWithoutAnimation(const std::function<void()>& block);
  void layoutSubviewsWithAnimation(unsigned animation);
  void recomputeSizeAnimated(bool animated);
  void relayoutItemsAnimated(bool animated);
  void loadRequiredItems();
  void cleanupUnseenItems();
  std::shared_ptr<GridViewCell> newItemSubViewForPosition(int64_t position);
  void setSubviewsCacheAsInvalid() { m_itemsSubviewsCacheIsValid = false; }
  bool itemsSubviewsCacheIsValid() const { return m_itemsSubviewsCacheIsValid; }
  // With paging: the page whose origin is the point rounded up to whole pages. Without: the point
  // with the item size.
  gfx::Rect rectForPoint(gfx::Point point, bool pagingMode) const;
  // Sets the offset and, when it changed, loads the cells now.
  using ui::ScrollView::contentOffset;
  void contentOffset(gfx::Point offset);

  // The range of positions whose cells are loaded: [first, last); -1 after a reload until loaded.
  int64_t firstPositionLoaded() const { return m_firstPositionLoaded; }
  int64_t lastPositionLoaded() const { return m_lastPositionLoaded; }

  ui::TapGestureRecognizer& tapGesture() const { return *m_tapGesture; }
  ui::LongPressGestureRecognizer& longPressGesture() const { return *m_longPressGesture; }

 private:
  // Decides which of the grid's recognisers may begin.
  class GestureGate : public ui::GestureRecognizerDelegate {
   public:
    explicit GestureGate(GridView& grid) : m_grid(grid) {}
    bool gestureRecognizerShouldBegin(ui::GestureRecognizer& recognizer) override;
    bool shouldRecognizeSimultaneouslyWithGestureRecognizer(ui::GestureRecognizer&, ui::GestureRecognizer&) override {
      return true;
    }

   private:
    GridView& m_grid;
  };

  void commonInit();
  void queueReusableCell(const std::shared_ptr<GridViewCell>& cell);
  // The data source's answer, or true when it does not say.
  bool canDeleteItemAtIndex(int64_t index);
  gfx::Size itemSizeFromDataSource();
  bool isScrolling() const { return isDragging() || isDecelerating(); }
  bool twoFingerGestureShouldBegin(ui::GestureRecognizer& recognizer) const;
  void tapGestureUpdated(ui::GestureRecognizer& recognizer);
  void longPressGestureUpdated(ui::GestureRecognizer& recognizer);
  // Driven by the sorting and transformation behaviours; idle without their delegates.
  void sortingPanGestureUpdated(ui::GestureRecognizer&) {}
  void pinchGestureUpdated(ui::GestureRecognizer&) {}
  void rotationGestureUpdated(ui::GestureRecognizer&) {}
  void panGestureUpdated(ui::GestureRecognizer&) {}
  void receivedMemoryWarningNotification();
  void receivedWillRotateNotification() { m_rotationActive = true; }

  GestureGate m_gestureGate{*this};
  std::shared_ptr<ui::TapGestureRecognizer> m_tapGesture;
  std::shared_ptr<ui::PinchGestureRecognizer> m_pinchGesture;
  std::shared_ptr<ui::RotationGestureRecognizer> m_rotationGesture;
  std::shared_ptr<ui::PanGestureRecognizer> m_panGesture;
  std::shared_ptr<ui::PanGestureRecognizer> m_sortingPanGesture;
  std::shared_ptr<ui::LongPressGestureRecognizer> m_longPressGesture;

  int64_t m_numberTotalItems = 0;
  gfx::Size m_itemSize;
  std::vector<std::shared_ptr<GridViewCell>> m_reusableCells;
  std::shared_ptr<GridViewCell> m_sortMovingItem;
  int64_t m_sortFuturePosition = InvalidPosition;
  bool m_autoScrollActive = false;
  gfx::Point m_minPossibleContentOffset;
  gfx::Point m_maxPossibleContentOffset;
  std::shared_ptr<GridViewCell> m_transformingItem;
  double m_lastScale = 1.0;
  double m_lastRotation = 0;
  bool m_inFullSizeMode = false;
  bool m_inTransformingState = false;
  bool m_rotationActive = false;
  bool m_centerGrid = true;
  bool m_showFullSizeViewWithAlphaWhenTransforming = true;
  bool m_editing = false;
  bool m_enableEditOnLongPress = false;
  bool m_disableEditOnEmptySpaceTap = false;
  bool m_itemsSubviewsCacheIsValid = false;
  std::vector<std::shared_ptr<GridViewCell>> m_itemSubviewsCache;
  std::mutex m_itemSubviewsMutex;
  int m_style = 1;
  core::WeakPtr<GridViewSortingDelegate> m_sortingDelegate;
  core::WeakPtr<GridViewDataSource> m_dataSource;
  core::WeakPtr<GridViewTransformationDelegate> m_transformDelegate;
  core::WeakPtr<GridViewActionDelegate> m_actionDelegate;
  std::weak_ptr<ui::View> m_mainSuperView;
  std::shared_ptr<GridViewLayoutStrategy> m_layoutStrategy;
  int64_t m_itemSpacing = 10;
  gfx::EdgeInsets m_minEdgeInsets{5, 5, 5, 5};
  int64_t m_firstPositionLoaded = 0;
  int64_t m_lastPositionLoaded = 0;

  core::Observation m_memoryWarningObservation;
  core::Observation m_willRotateObservation;
  // Last, so that it goes first.
  core::WeakPtrFactory<GridView> m_weakFactory{this};
};

}  // namespace kt
