#pragma once

#include <optional>
#include <vector>

#include "platform/ui/CollectionView.h"
#include "platform/ui/CollectionViewLayout.h"

namespace ui {

class CollectionViewFlowLayout;

enum class CollectionViewScrollDirection { Vertical = 0, Horizontal = 1 };

// What a flow layout asks the collection view's delegate, when the delegate is one of these.
// nullopt means "the layout's own value".
class CollectionViewDelegateFlowLayout : public CollectionViewDelegate {
 public:
  virtual std::optional<gfx::Size> sizeForItemAtIndexPath(CollectionView&, CollectionViewFlowLayout&, const IndexPath&) {
    return std::nullopt;
  }
  virtual std::optional<gfx::EdgeInsets> insetForSectionAtIndex(CollectionView&, CollectionViewFlowLayout&, int /*section*/) {
    return std::nullopt;
  }
  virtual std::optional<double> minimumLineSpacingForSectionAtIndex(CollectionView&, CollectionViewFlowLayout&, int) {
    return std::nullopt;
  }
  virtual std::optional<double> minimumInteritemSpacingForSectionAtIndex(CollectionView&, CollectionViewFlowLayout&, int) {
    return std::nullopt;
  }
  virtual std::optional<gfx::Size> referenceSizeForHeaderInSection(CollectionView&, CollectionViewFlowLayout&, int) {
    return std::nullopt;
  }
  virtual std::optional<gfx::Size> referenceSizeForFooterInSection(CollectionView&, CollectionViewFlowLayout&, int) {
    return std::nullopt;
  }
};

// Items in lines: across the collection view (vertical scrolling) or down it (horizontal), a new
// line when the next item does not fit. Each section has its optional header, its inset around
// its lines and its optional footer. Full lines spread their spare room between the items; the
// last line of a section keeps to the spacing before it; a line of one item is centred; items are
// centred across the line's depth.
class CollectionViewFlowLayout : public CollectionViewLayout {
 public:
  gfx::Size itemSize() const { return m_itemSize; }
  void setItemSize(gfx::Size size) { m_itemSize = size; invalidateLayout(); }
  double minimumLineSpacing() const { return m_minimumLineSpacing; }
  void setMinimumLineSpacing(double spacing) { m_minimumLineSpacing = spacing; invalidateLayout(); }
  double minimumInteritemSpacing() const { return m_minimumInteritemSpacing; }
  void setMinimumInteritemSpacing(double spacing) { m_minimumInteritemSpacing = spacing; invalidateLayout(); }
  gfx::EdgeInsets sectionInset() const { return m_sectionInset; }
  void setSectionInset(const gfx::EdgeInsets& inset) { m_sectionInset = inset; invalidateLayout(); }
  CollectionViewScrollDirection scrollDirection() const { return m_direction; }
  void setScrollDirection(CollectionViewScrollDirection d) { m_direction = d; invalidateLayout(); }
  // Only the height counts for vertical scrolling, only the width for horizontal; zero: none.
  gfx::Size headerReferenceSize() const { return m_headerSize; }
  void setHeaderReferenceSize(gfx::Size size) { m_headerSize = size; invalidateLayout(); }
  gfx::Size footerReferenceSize() const { return m_footerSize; }
  void setFooterReferenceSize(gfx::Size size) { m_footerSize = size; invalidateLayout(); }

  void prepareLayout() override;
  gfx::Size collectionViewContentSize() const override { return m_contentSize; }
  std::vector<CollectionViewLayoutAttributes> layoutAttributesForElementsInRect(const gfx::Rect& rect) const override;
  std::optional<CollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(const IndexPath& indexPath) const override;
  std::optional<CollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      const std::string& kind, const IndexPath& indexPath) const override;
  // A new layout when the size across the scrolling direction changes.
  bool shouldInvalidateLayoutForBoundsChange(const gfx::Rect& newBounds) const override;

 private:
  struct Line {
    double start = 0;  // along the scrolling direction
    double end = 0;
    int firstItem = 0;
    int itemCount = 0;
  };
  struct Section {
    gfx::Rect header;  // empty when there is none
    gfx::Rect footer;
    double start = 0;
    double end = 0;
    std::vector<gfx::Rect> items;
    std::vector<Line> lines;
  };

  gfx::Size m_itemSize{50, 50};
  double m_minimumLineSpacing = 10;
  double m_minimumInteritemSpacing = 10;
  gfx::EdgeInsets m_sectionInset;
  CollectionViewScrollDirection m_direction = CollectionViewScrollDirection::Vertical;
  gfx::Size m_headerSize;
  gfx::Size m_footerSize;

  std::vector<Section> m_sections;
  gfx::Size m_contentSize;
  double m_crossExtent = 0;
};

}  // namespace ui
