#include "platform/ui/CollectionViewFlowLayout.h"

#include <algorithm>

namespace ui {

namespace {

// Whether two rectangles share some area (touching edges do not count).
bool overlaps(const gfx::Rect& a, const gfx::Rect& b) {
  return a.minX() < b.maxX() && a.maxX() > b.minX() && a.minY() < b.maxY() && a.maxY() > b.minY();
}

}  // namespace

void CollectionViewFlowLayout::prepareLayout() {
  m_sections.clear();
  m_contentSize = gfx::Size();
  CollectionView* cv = collectionView();
  if (!cv) return;
  const bool vertical = m_direction == CollectionViewScrollDirection::Vertical;
  // Axis-neutral helpers: "main" runs along the scrolling direction, "cross" across it.
  auto mainOf = [&](gfx::Size s) { return vertical ? s.height : s.width; };
  auto crossOf = [&](gfx::Size s) { return vertical ? s.width : s.height; };
  auto rectAt = [&](double cross, double main, double crossSize, double mainSize) {
    return vertical ? gfx::Rect(cross, main, crossSize, mainSize) : gfx::Rect(main, cross, mainSize, crossSize);
  };
  gfx::Rect b = cv->bounds();
  gfx::EdgeInsets ci = cv->contentInset();
  m_crossExtent = std::max(0.0, vertical ? b.width() - ci.left - ci.right : b.height() - ci.top - ci.bottom);
  auto* d = dynamic_cast<CollectionViewDelegateFlowLayout*>(cv->delegate());

  double pos = 0;
  int sections = cv->numberOfSections();
  m_sections.resize(size_t(std::max(0, sections)));
  for (int s = 0; s < sections; ++s) {
    Section& sec = m_sections[size_t(s)];
    sec.start = pos;
    gfx::EdgeInsets inset = m_sectionInset;
    double lineSpacing = m_minimumLineSpacing, interitem = m_minimumInteritemSpacing;
    gfx::Size headerSize = m_headerSize, footerSize = m_footerSize;
    if (d) {
      if (auto v = d->insetForSectionAtIndex(*cv, *this, s)) inset = *v;
      if (auto v = d->minimumLineSpacingForSectionAtIndex(*cv, *this, s)) lineSpacing = *v;
      if (auto v = d->minimumInteritemSpacingForSectionAtIndex(*cv, *this, s)) interitem = *v;
      if (auto v = d->referenceSizeForHeaderInSection(*cv, *this, s)) headerSize = *v;
      if (auto v = d->referenceSizeForFooterInSection(*cv, *this, s)) footerSize = *v;
    }
    double mainStart = vertical ? inset.top : inset.left, mainEnd = vertical ? inset.bottom : inset.right;
    double crossStart = vertical ? inset.left : inset.top, crossEnd = vertical ? inset.right : inset.bottom;
    double avail = std::max(0.0, m_crossExtent - crossStart - crossEnd);

    if (mainOf(headerSize) > 0) {
      sec.header = rectAt(0, pos, m_crossExtent, mainOf(headerSize));
      pos += mainOf(headerSize);
    }
    int n = cv->numberOfItemsInSection(s);
    if (n > 0) {
      std::vector<gfx::Size> sizes(size_t(n), m_itemSize);
      if (d) {
        for (int i = 0; i < n; ++i)
          if (auto v = d->sizeForItemAtIndexPath(*cv, *this, IndexPath{s, i})) sizes[size_t(i)] = *v;
      }
      // Break the items into lines.
      struct Run {
        int first, count;
        double crossSum, depth;
      };
      std::vector<Run> runs;
      for (int i = 0; i < n;) {
        Run run{i, 1, crossOf(sizes[size_t(i)]), mainOf(sizes[size_t(i)])};
        int j = i + 1;
        for (; j < n; ++j) {
          double w = crossOf(sizes[size_t(j)]);
          if (run.crossSum + interitem + w > avail + 1e-9) break;
          run.crossSum += interitem + w;
          run.depth = std::max(run.depth, mainOf(sizes[size_t(j)]));
          ++run.count;
        }
        // crossSum holds the items with minimum spacing; keep only the items' widths.
        run.crossSum -= interitem * (run.count - 1);
        runs.push_back(run);
        i = j;
      }
      pos += mainStart;
      sec.items.resize(size_t(n));
      sec.lines.reserve(runs.size());
      double lastSpacing = interitem;
      for (size_t li = 0; li < runs.size(); ++li) {
        const Run& run = runs[li];
        bool last = li + 1 == runs.size();
        bool only = runs.size() == 1;
        double cross = crossStart, spacing = interitem;
        if (run.count == 1) {
          if (!last || only) cross = crossStart + (avail - run.crossSum) / 2;
        } else if (last && !only) {
          spacing = lastSpacing;
        } else {
          spacing = (avail - run.crossSum) / (run.count - 1);
          lastSpacing = spacing;
        }
        for (int k = 0; k < run.count; ++k) {
          gfx::Size sz = sizes[size_t(run.first + k)];
          sec.items[size_t(run.first + k)] = rectAt(cross, pos + (run.depth - mainOf(sz)) / 2, crossOf(sz), mainOf(sz));
          cross += crossOf(sz) + spacing;
        }
        sec.lines.push_back(Line{pos, pos + run.depth, run.first, run.count});
        pos += run.depth;
        if (!last) pos += lineSpacing;
      }
      pos += mainEnd;
    }
    if (mainOf(footerSize) > 0) {
      sec.footer = rectAt(0, pos, m_crossExtent, mainOf(footerSize));
      pos += mainOf(footerSize);
    }
    sec.end = pos;
  }
  m_contentSize = vertical ? gfx::Size{m_crossExtent, pos} : gfx::Size{pos, m_crossExtent};
}

std::vector<CollectionViewLayoutAttributes> CollectionViewFlowLayout::layoutAttributesForElementsInRect(
    const gfx::Rect& rect) const {
  std::vector<CollectionViewLayoutAttributes> out;
  const bool vertical = m_direction == CollectionViewScrollDirection::Vertical;
  double lo = vertical ? rect.minY() : rect.minX(), hi = vertical ? rect.maxY() : rect.maxX();
  auto first = std::upper_bound(m_sections.begin(), m_sections.end(), lo,
                                [](double v, const Section& s) { return v < s.end; });
  for (auto it = first; it != m_sections.end() && it->start < hi; ++it) {
    int s = int(it - m_sections.begin());
    if (!it->header.isEmpty() && overlaps(it->header, rect)) {
      CollectionViewLayoutAttributes a;
      a.indexPath = IndexPath{s, 0};
      a.category = CollectionElementCategory::SupplementaryView;
      a.representedElementKind = CollectionElementKindSectionHeader;
      a.frame = it->header;
      out.push_back(std::move(a));
    }
    auto line = std::upper_bound(it->lines.begin(), it->lines.end(), lo,
                                 [](double v, const Line& l) { return v < l.end; });
    for (; line != it->lines.end() && line->start < hi; ++line) {
      for (int k = 0; k < line->itemCount; ++k) {
        const gfx::Rect& f = it->items[size_t(line->firstItem + k)];
        if (!overlaps(f, rect)) continue;
        CollectionViewLayoutAttributes a;
        a.indexPath = IndexPath{s, line->firstItem + k};
        a.frame = f;
        out.push_back(std::move(a));
      }
    }
    if (!it->footer.isEmpty() && overlaps(it->footer, rect)) {
      CollectionViewLayoutAttributes a;
      a.indexPath = IndexPath{s, 0};
      a.category = CollectionElementCategory::SupplementaryView;
      a.representedElementKind = CollectionElementKindSectionFooter;
      a.frame = it->footer;
      out.push_back(std::move(a));
    }
  }
  return out;
}

std::optional<CollectionViewLayoutAttributes> CollectionViewFlowLayout::layoutAttributesForItemAtIndexPath(
    const IndexPath& ip) const {
  if (ip.section < 0 || ip.section >= int(m_sections.size())) return std::nullopt;
  const Section& sec = m_sections[size_t(ip.section)];
  if (ip.row < 0 || ip.row >= int(sec.items.size())) return std::nullopt;
  CollectionViewLayoutAttributes a;
  a.indexPath = ip;
  a.frame = sec.items[size_t(ip.row)];
  return a;
}

std::optional<CollectionViewLayoutAttributes> CollectionViewFlowLayout::layoutAttributesForSupplementaryViewOfKind(
    const std::string& kind, const IndexPath& ip) const {
  if (ip.section < 0 || ip.section >= int(m_sections.size())) return std::nullopt;
  const Section& sec = m_sections[size_t(ip.section)];
  bool header = kind == CollectionElementKindSectionHeader;
  if (!header && kind != CollectionElementKindSectionFooter) return std::nullopt;
  const gfx::Rect& f = header ? sec.header : sec.footer;
  if (f.isEmpty()) return std::nullopt;
  CollectionViewLayoutAttributes a;
  a.indexPath = IndexPath{ip.section, 0};
  a.category = CollectionElementCategory::SupplementaryView;
  a.representedElementKind = kind;
  a.frame = f;
  return a;
}

bool CollectionViewFlowLayout::shouldInvalidateLayoutForBoundsChange(const gfx::Rect& newBounds) const {
  CollectionView* cv = collectionView();
  if (!cv) return false;
  gfx::EdgeInsets ci = cv->contentInset();
  double cross = m_direction == CollectionViewScrollDirection::Vertical ? newBounds.width() - ci.left - ci.right
                                                                        : newBounds.height() - ci.top - ci.bottom;
  return std::max(0.0, cross) != m_crossExtent;
}

}  // namespace ui
