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
  // The tag of a cell on its way out.
  static constexpr int LeavingTag = TagOffset - 1;

  // The grid's default animation: 0.3 s, from the current state, taking touches meanwhile.
  static constexpr double DefaultAnimationDuration = 0.3;
  static constexpr unsigned DefaultAnimationOptions =
      ui::AnimationBeginFromCurrentState | ui::AnimationAllowUserInteraction;

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

  // ---- Single-item changes (the data source already holds the change) ----
  // With ItemAnimationFade the cells fade; with ItemAnimationScroll the grid first scrolls to the item.
  void insertObjectAtIndex(int64_t index, unsigned animation);
  void removeObjectAtIndex(int64_t index, unsigned animation);
  void swapObjectAtIndex(int64_t index1, int64_t index2, unsigned animation);
  void reloadObjectAtIndex(int64_t index, unsigned animation);
  // The animated forms only scroll, never fade; a removal never even scrolls.
  void insertObjectAtIndex(int64_t index, bool animated) {
    insertObjectAtIndex(index, animated ? ItemAnimationScroll : ItemAnimationNone);
  }
  void removeObjectAtIndex(int64_t index, bool) { removeObjectAtIndex(index, ItemAnimationNone); }
  void swapObjectAtIndex(int64_t index1, int64_t index2, bool animated) {
    swapObjectAtIndex(index1, index2, animated ? ItemAnimationScroll : ItemAnimationNone);
  }
  void reloadObjectAtIndex(int64_t index, bool animated) {
    reloadObjectAtIndex(index, animated ? ItemAnimationScroll : ItemAnimationNone);
  }

  // ---- Sorting by dragging ----
  // Lifts the cell under the point into the main superview (it shakes and has no position).
  void sortingMoveDidStartAtPoint(gfx::Point point);
  // The lifted cell passes over the point: the item there makes way (push style moves the run of
  // items between, swap style exchanges the two) and the lifted cell's future position is there.
  void sortingMoveDidContinueToPoint(gfx::Point point);
  // Drops the lifted cell into its future position.
  void sortingMoveDidStopAtPoint(gfx::Point point);
  // While a cell is lifted near an edge, scrolls half an item a step; else looks again in 0.5 s.
  void sortingAutoScrollMovementCheck();
  const std::shared_ptr<GridViewCell>& sortMovingItem() const { return m_sortMovingItem; }
  int64_t sortFuturePosition() const { return m_sortFuturePosition; }

  // ---- Transformation into full size ----
  bool isInTransformingState() const { return m_transformingItem != nullptr; }
  bool isInFullSizeMode() const { return m_inFullSizeMode; }
  const std::shared_ptr<GridViewCell>& transformingItem() const { return m_transformingItem; }
  // At the start of a two-finger gesture: takes the cell under the first finger out into the main
  // superview, or brings a full-size cell back to following the fingers.
  void transformingGestureDidBeginWithGesture(ui::GestureRecognizer& gesture);
  // Shows the cell full size when it was pinched beyond twice its size, else flies it back.
  void transformingGestureDidFinish();

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
  // with the item size. The grid's own paging decides; the flag is not consulted.
  gfx::Rect rectForPoint(gfx::Point point, bool inPaggingMode) const;
  // Sets the offset and, when it changed, loads the cells now.
  using ui::ScrollView::contentOffset;
  void contentOffset(gfx::Point offset);

  // The range of positions whose cells are loaded: [first, last); -1 after a reload until loaded.
  int64_t firstPositionLoaded() const { return m_firstPositionLoaded; }
  int64_t lastPositionLoaded() const { return m_lastPositionLoaded; }

  ui::TapGestureRecognizer& tapGesture() const { return *m_tapGesture; }
  ui::LongPressGestureRecognizer& longPressGesture() const { return *m_longPressGesture; }
  ui::PanGestureRecognizer& sortingPanGesture() const { return *m_sortingPanGesture; }
  ui::PinchGestureRecognizer& pinchGesture() const { return *m_pinchGesture; }
  ui::RotationGestureRecognizer& rotationGesture() const { return *m_rotationGesture; }
  ui::PanGestureRecognizer& panGesture() const { return *m_panGesture; }

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
  void sortingPanGestureUpdated(ui::GestureRecognizer& recognizer);
  void pinchGestureUpdated(ui::GestureRecognizer& recognizer);
  void rotationGestureUpdated(ui::GestureRecognizer& recognizer);
  void panGestureUpdated(ui::GestureRecognizer& recognizer);
  // In an end state of a transforming gesture: schedules one finish 0.1 s later, replacing any
  // pending one, and answers true; false in the other states.
  bool transformingGestureEnded(ui::GestureRecognizer& recognizer);
  // A scaling step of the pinch on the transforming cell.
  void transformingScaleStep(double pinchScale);
  // Moves the transforming recognisers to `view`.
  void attachTransformingGestures(ui::View& view);
  // The strategy's frame of a position, and its position under a point (-1 when none).
  gfx::Rect itemFrame(int64_t position) const;
  int64_t positionAt(gfx::Point point) const;
  // Sends the cells of positions outside the strategy's range for the current offset to the pool
  // and makes the next load fill every position of the range that has no cell.
  void reloadRequiredRange();
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

  // Identify the pending auto-scroll check and the pending transformation finish.
  char m_autoScrollPerform = 0;
  char m_finishPerform = 0;

  core::Observation m_memoryWarningObservation;
  core::Observation m_willRotateObservation;
  // Last, so that it goes first.
  core::WeakPtrFactory<GridView> m_weakFactory{this};
};

}  // namespace kt
