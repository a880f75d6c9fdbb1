#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/CollectionViewCell.h"
#include "platform/ui/CollectionViewLayout.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/ReusePool.h"
#include "platform/ui/ScrollView.h"

namespace ui {

class CollectionView;

// Where scrollToItemAtIndexPath puts the item: one vertical and one horizontal choice may be
// combined; None scrolls the least distance that shows it. Numbered as the platform numbered them.
enum CollectionViewScrollPosition : unsigned {
  CollectionViewScrollPositionNone = 0,
  CollectionViewScrollPositionTop = 1 << 0,
  CollectionViewScrollPositionCenteredVertically = 1 << 1,
  CollectionViewScrollPositionBottom = 1 << 2,
  CollectionViewScrollPositionLeft = 1 << 3,
  CollectionViewScrollPositionCenteredHorizontally = 1 << 4,
  CollectionViewScrollPositionRight = 1 << 5,
};

// Supplies the items. The sender comes first; operations with bodies are optional.
class CollectionViewDataSource {
 public:
  virtual ~CollectionViewDataSource() = default;
  virtual int numberOfSectionsInCollectionView(CollectionView&) { return 1; }
  virtual int numberOfItemsInSection(CollectionView&, int section) = 0;
  virtual std::shared_ptr<CollectionViewCell> cellForItemAtIndexPath(CollectionView&, const IndexPath& indexPath) = 0;
  // Section headers and footers (kinds CollectionElementKindSectionHeader/Footer).
  virtual std::shared_ptr<CollectionReusableView> viewForSupplementaryElementOfKind(CollectionView&, const std::string& /*kind*/,
                                                                                    const IndexPath&) {
    return nullptr;
  }
};

// The collection view's delegate is also its scroll view's delegate.
class CollectionViewDelegate : public ScrollViewDelegate {
 public:
  virtual bool shouldHighlightItemAtIndexPath(CollectionView&, const IndexPath&) { return true; }
  virtual void didHighlightItemAtIndexPath(CollectionView&, const IndexPath&) {}
  virtual void didUnhighlightItemAtIndexPath(CollectionView&, const IndexPath&) {}
  virtual bool shouldSelectItemAtIndexPath(CollectionView&, const IndexPath&) { return true; }
  virtual void didSelectItemAtIndexPath(CollectionView&, const IndexPath&) {}
  virtual bool shouldDeselectItemAtIndexPath(CollectionView&, const IndexPath&) { return true; }
  virtual void didDeselectItemAtIndexPath(CollectionView&, const IndexPath&) {}
  virtual void willDisplayCell(CollectionView&, CollectionViewCell&, const IndexPath&) {}
  virtual void didEndDisplayingCell(CollectionView&, CollectionViewCell&, const IndexPath&) {}
};

// A scrolling set of items placed by a layout object. Only the elements in the visible area have
// views, placed in layoutSubviews after each change of offset; views that leave go back to a pool
// per reuse identifier (and kind) and are handed out again by the dequeue functions.
class CollectionView : public ScrollView {
 public:
  using CellFactory = std::function<std::shared_ptr<CollectionViewCell>()>;
  using SupplementaryFactory = std::function<std::shared_ptr<CollectionReusableView>()>;

  static std::shared_ptr<CollectionView> create(const gfx::Rect& frame, std::shared_ptr<CollectionViewLayout> layout) {
    return std::make_shared<CollectionView>(frame, std::move(layout));
  }
  CollectionView(const gfx::Rect& frame, std::shared_ptr<CollectionViewLayout> layout);
  ~CollectionView() override;

  const std::shared_ptr<CollectionViewLayout>& collectionViewLayout() const { return m_layout; }
  void setCollectionViewLayout(std::shared_ptr<CollectionViewLayout> layout);

  // Not owned: the caller keeps them alive while they are set.
  CollectionViewDataSource* dataSource() const { return m_dataSource; }
  void setDataSource(CollectionViewDataSource* dataSource);
  CollectionViewDelegate* delegate() const;
  void setDelegate(CollectionViewDelegate* delegate);

  void registerClass(CellFactory factory, const std::string& identifier);
  void registerClassForSupplementaryViewOfKind(SupplementaryFactory factory, const std::string& kind,
                                               const std::string& identifier);
  // A pooled view (after prepareForReuse) or a new one from the registered factory; for an
  // identifier nobody registered, a plain view (and a log line).
  std::shared_ptr<CollectionViewCell> dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                             const IndexPath& indexPath);
  std::shared_ptr<CollectionReusableView> dequeueReusableSupplementaryViewOfKind(const std::string& kind,
                                                                                 const std::string& identifier,
                                                                                 const IndexPath& indexPath);

  // Then tells the reload observers (ScrollView::addReloadObserver).
  void reloadData();
  int numberOfSections();
  int numberOfItemsInSection(int section);

  bool allowsSelection() const { return m_allowsSelection; }
  void setAllowsSelection(bool allows) { m_allowsSelection = allows; }
  bool allowsMultipleSelection() const { return m_allowsMultipleSelection; }
  void setAllowsMultipleSelection(bool allows) { m_allowsMultipleSelection = allows; }
  // Selection in code tells the delegate nothing.
  void selectItemAtIndexPath(std::optional<IndexPath> indexPath, bool animated, unsigned scrollPosition);
  void deselectItemAtIndexPath(const IndexPath& indexPath, bool animated);
  std::vector<IndexPath> indexPathsForSelectedItems() const { return {m_selected.begin(), m_selected.end()}; }

  std::vector<std::shared_ptr<CollectionViewCell>> visibleCells();
  std::vector<IndexPath> indexPathsForVisibleItems();
  std::shared_ptr<CollectionViewCell> cellForItemAtIndexPath(const IndexPath& indexPath);
  std::optional<IndexPath> indexPathForCell(const CollectionViewCell& cell) const;
  std::optional<IndexPath> indexPathForItemAtPoint(gfx::Point point);
  std::optional<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(const IndexPath& indexPath);
  void scrollToItemAtIndexPath(const IndexPath& indexPath, unsigned scrollPosition, bool animated);

  // How many cells the collection view made from registered factories (a measure of reuse).
  size_t cellsMadeByFactories() const { return m_cellsMade; }

  void layoutSubviews() override;
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 private:
  friend class CollectionViewLayout;
  void layoutInvalidated();
  void ensureData();
  void ensureLayout();
  void updateVisibleViews();
  void enqueue(const std::shared_ptr<CollectionReusableView>& view, const std::string& kind);
  void removeAllViews();
  void selectFromTouch(const IndexPath& indexPath);
  bool validItem(const IndexPath& indexPath);

  using SupplementKey = std::pair<std::string, IndexPath>;

  std::shared_ptr<CollectionViewLayout> m_layout;
  CollectionViewDataSource* m_dataSource = nullptr;
  bool m_allowsSelection = true;
  bool m_allowsMultipleSelection = false;

  bool m_needsData = true;
  bool m_layoutStale = true;
  bool m_inLayout = false;
  std::vector<int> m_counts;
  gfx::Size m_laidOutSize{-1, -1};
  std::map<IndexPath, std::shared_ptr<CollectionViewCell>> m_visible;
  std::map<SupplementKey, std::shared_ptr<CollectionReusableView>> m_supplements;
  // Reuse queues and factories by "kind/identifier" ("" as the kind of cells).
  ReusePool<CollectionReusableView> m_pool;
  size_t m_cellsMade = 0;
  std::set<IndexPath> m_selected;

  std::optional<IndexPath> m_touchItem;
  gfx::Point m_touchStart;
};

}  // namespace ui
