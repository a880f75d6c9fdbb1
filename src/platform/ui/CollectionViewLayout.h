#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/ui/IndexPath.h"

namespace ui {

class CollectionView;

enum class CollectionElementCategory { Cell = 0, SupplementaryView = 1 };

// The kinds of supplementary view a flow layout places.
inline constexpr const char* CollectionElementKindSectionHeader = "CollectionElementKindSectionHeader";
inline constexpr const char* CollectionElementKindSectionFooter = "CollectionElementKindSectionFooter";

// Where one element goes, in content coordinates.
struct CollectionViewLayoutAttributes {
  IndexPath indexPath;
  CollectionElementCategory category = CollectionElementCategory::Cell;
  std::string representedElementKind;  // for supplementary views
  gfx::Rect frame;
  double alpha = 1;
  bool hidden = false;
  int zIndex = 0;
};

// Places the cells and supplementary views of a collection view. The collection view calls
// prepareLayout before it asks anything else after the layout was invalidated (by reloadData,
// invalidateLayout or a change of bounds the layout cares about).
class CollectionViewLayout {
 public:
  virtual ~CollectionViewLayout() = default;

  // The collection view this layout serves; null while it serves none.
  CollectionView* collectionView() const { return m_collectionView; }

  virtual void prepareLayout() {}
  virtual gfx::Size collectionViewContentSize() const = 0;
  // The elements whose frames meet `rect`, cells in index path order.
  virtual std::vector<CollectionViewLayoutAttributes> layoutAttributesForElementsInRect(const gfx::Rect& rect) const = 0;
  virtual std::optional<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(const IndexPath& indexPath) const = 0;
  virtual std::optional<CollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      const std::string& /*kind*/, const IndexPath& /*indexPath*/) const {
    return std::nullopt;
  }
  // Whether moving to `newBounds` needs a new layout (the default: never).
  virtual bool shouldInvalidateLayoutForBoundsChange(const gfx::Rect& /*newBounds*/) const { return false; }
  // Asks for prepareLayout before the next layout pass of the collection view.
  void invalidateLayout();

 private:
  friend class CollectionView;
  CollectionView* m_collectionView = nullptr;
};

}  // namespace ui
