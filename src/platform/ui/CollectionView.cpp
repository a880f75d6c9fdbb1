#include "platform/ui/CollectionView.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Log.h"
#include "platform/ui/Touch.h"

namespace ui {

namespace {

constexpr double kTapSlop = 10;

std::string poolKey(const std::string& kind, const std::string& identifier) { return kind + "/" + identifier; }

}  // namespace

CollectionView::CollectionView(const gfx::Rect& frame, std::shared_ptr<CollectionViewLayout> layout)
    : ScrollView(frame) {
  setBackgroundColor(gfx::Color::black());
  setCollectionViewLayout(std::move(layout));
}

CollectionView::~CollectionView() {
  if (m_layout && m_layout->m_collectionView == this) m_layout->m_collectionView = nullptr;
}

void CollectionView::setCollectionViewLayout(std::shared_ptr<CollectionViewLayout> layout) {
  if (m_layout && m_layout->m_collectionView == this) m_layout->m_collectionView = nullptr;
  m_layout = std::move(layout);
  if (m_layout) m_layout->m_collectionView = this;
  layoutInvalidated();
}

void CollectionView::setDataSource(CollectionViewDataSource* dataSource) {
  m_dataSource = dataSource;
  reloadData();
}

CollectionViewDelegate* CollectionView::delegate() const {
  return dynamic_cast<CollectionViewDelegate*>(ScrollView::delegate());
}

void CollectionView::setDelegate(CollectionViewDelegate* delegate) {
  ScrollView::setDelegate(delegate);
  layoutInvalidated();
}

void CollectionView::layoutInvalidated() {
  m_layoutStale = true;
  setNeedsLayout();
}

// ---- Reuse ----

void CollectionView::registerClass(CellFactory factory, const std::string& identifier) {
  ReusePool<CollectionReusableView>::Factory made;
  if (factory) made = [factory = std::move(factory)]() -> std::shared_ptr<CollectionReusableView> { return factory(); };
  m_pool.registerFactory(poolKey("", identifier), std::move(made));
}

void CollectionView::registerClassForSupplementaryViewOfKind(SupplementaryFactory factory, const std::string& kind,
                                                             const std::string& identifier) {
  m_pool.registerFactory(poolKey(kind, identifier), std::move(factory));
}

std::shared_ptr<CollectionViewCell> CollectionView::dequeueReusableCellWithReuseIdentifier(const std::string& identifier,
                                                                                           const IndexPath& ip) {
  const std::string key = poolKey("", identifier);
  if (auto view = m_pool.dequeue(key)) return std::static_pointer_cast<CollectionViewCell>(std::move(view));
  // Only cell factories are registered under a cell key.
  auto cell = std::static_pointer_cast<CollectionViewCell>(m_pool.make(key));
  if (cell) ++m_cellsMade;
  if (!cell) {
    KT_LOG("no cell class registered for \"%s\" (item %s); using a plain cell", identifier.c_str(),
           ip.description().c_str());
    cell = CollectionViewCell::create();
  }
  if (cell->reuseIdentifier().empty()) cell->setReuseIdentifier(identifier);
  return cell;
}

std::shared_ptr<CollectionReusableView> CollectionView::dequeueReusableSupplementaryViewOfKind(
    const std::string& kind, const std::string& identifier, const IndexPath& ip) {
  if (auto view = m_pool.dequeue(poolKey(kind, identifier))) return view;
  auto view = m_pool.make(poolKey(kind, identifier));
  if (!view) {
    KT_LOG("no %s view registered for \"%s\" (section %d); using a plain view", kind.c_str(), identifier.c_str(),
           ip.section);
    view = std::make_shared<CollectionReusableView>();
  }
  if (view->reuseIdentifier().empty()) view->setReuseIdentifier(identifier);
  return view;
}

void CollectionView::enqueue(const std::shared_ptr<CollectionReusableView>& view, const std::string& kind) {
  view->removeFromSuperview();
  if (!view->reuseIdentifier().empty()) m_pool.enqueue(poolKey(kind, view->reuseIdentifier()), view);
}

void CollectionView::removeAllViews() {
  auto visible = std::move(m_visible);
  m_visible.clear();
  CollectionViewDelegate* d = delegate();
  for (auto& [ip, cell] : visible) {
    enqueue(cell, "");
    if (d) d->didEndDisplayingCell(*this, *cell, ip);
  }
  auto supplements = std::move(m_supplements);
  m_supplements.clear();
  for (auto& [key, view] : supplements) enqueue(view, key.first);
}

// ---- Data ----

void CollectionView::reloadData() {
  removeAllViews();
  m_selected.clear();
  m_needsData = true;
  m_layoutStale = true;
  setNeedsLayout();
  didReloadData();
}

void CollectionView::ensureData() {
  if (!m_needsData) return;
  m_needsData = false;
  m_layoutStale = true;
  m_counts.clear();
  if (!m_dataSource) return;
  int n = std::max(0, m_dataSource->numberOfSectionsInCollectionView(*this));
  m_counts.resize(size_t(n));
  for (int s = 0; s < n; ++s) m_counts[size_t(s)] = std::max(0, m_dataSource->numberOfItemsInSection(*this, s));
}

int CollectionView::numberOfSections() {
  ensureData();
  return int(m_counts.size());
}

int CollectionView::numberOfItemsInSection(int section) {
  ensureData();
  if (section < 0 || section >= int(m_counts.size())) return 0;
  return m_counts[size_t(section)];
}

bool CollectionView::validItem(const IndexPath& ip) {
  return ip.section >= 0 && ip.row >= 0 && ip.row < numberOfItemsInSection(ip.section);
}

void CollectionView::ensureLayout() {
  ensureData();
  if (!m_layout) return;
  gfx::Rect b = bounds();
  if (b.size != m_laidOutSize && m_layout->shouldInvalidateLayoutForBoundsChange(b)) m_layoutStale = true;
  m_laidOutSize = b.size;
  if (!m_layoutStale) return;
  m_layoutStale = false;
  m_layout->prepareLayout();
  setContentSize(m_layout->collectionViewContentSize());
}

// ---- Layout ----

void CollectionView::layoutSubviews() {
  ScrollView::layoutSubviews();
  updateVisibleViews();
}

void CollectionView::updateVisibleViews() {
  if (m_inLayout) return;
  m_inLayout = true;
  auto keep = weak_from_this().lock();
  ensureLayout();
  std::vector<CollectionViewLayoutAttributes> attrs;
  if (m_layout) attrs = m_layout->layoutAttributesForElementsInRect(bounds());
  std::map<IndexPath, const CollectionViewLayoutAttributes*> cells;
  std::map<SupplementKey, const CollectionViewLayoutAttributes*> supplements;
  for (const auto& a : attrs) {
    if (a.category == CollectionElementCategory::Cell) {
      if (validItem(a.indexPath)) cells[a.indexPath] = &a;
    } else {
      supplements[{a.representedElementKind, a.indexPath}] = &a;
    }
  }
  CollectionViewDelegate* d = delegate();
  for (auto it = m_visible.begin(); it != m_visible.end();) {
    if (!cells.count(it->first)) {
      auto cell = it->second;
      IndexPath ip = it->first;
      it = m_visible.erase(it);
      enqueue(cell, "");
      if (d) d->didEndDisplayingCell(*this, *cell, ip);
    } else {
      ++it;
    }
  }
  for (auto it = m_supplements.begin(); it != m_supplements.end();) {
    if (!supplements.count(it->first)) {
      auto view = it->second;
      std::string kind = it->first.first;
      it = m_supplements.erase(it);
      enqueue(view, kind);
    } else {
      ++it;
    }
  }
  for (const auto& [ip, a] : cells) {
    if (auto found = m_visible.find(ip); found != m_visible.end()) {
      found->second->applyLayoutAttributes(*a);
      continue;
    }
    std::shared_ptr<CollectionViewCell> cell;
    if (m_dataSource) cell = m_dataSource->cellForItemAtIndexPath(*this, ip);
    if (!cell) {
      KT_LOG("the data source gave no cell for item %s", ip.description().c_str());
      cell = CollectionViewCell::create();
    }
    View::performWithoutAnimation([&, a = a, &ip = ip] {
      cell->applyLayoutAttributes(*a);
      cell->setSelected(m_selected.count(ip) != 0);
      addSubview(cell);
    });
    m_visible[ip] = cell;
    if (d) d->willDisplayCell(*this, *cell, ip);
  }
  for (const auto& [key, a] : supplements) {
    if (auto found = m_supplements.find(key); found != m_supplements.end()) {
      found->second->applyLayoutAttributes(*a);
      continue;
    }
    std::shared_ptr<CollectionReusableView> view;
    if (m_dataSource) view = m_dataSource->viewForSupplementaryElementOfKind(*this, key.first, key.second);
    if (!view) continue;
    View::performWithoutAnimation([&, a = a] {
      view->applyLayoutAttributes(*a);
      addSubview(view);
    });
    m_supplements[key] = view;
  }
  m_inLayout = false;
}

std::vector<std::shared_ptr<CollectionViewCell>> CollectionView::visibleCells() {
  updateVisibleViews();
  std::vector<std::shared_ptr<CollectionViewCell>> out;
  for (auto& [ip, c] : m_visible) out.push_back(c);
  return out;
}

std::vector<IndexPath> CollectionView::indexPathsForVisibleItems() {
  updateVisibleViews();
  std::vector<IndexPath> out;
  for (auto& [ip, c] : m_visible) out.push_back(ip);
  return out;
}

std::shared_ptr<CollectionViewCell> CollectionView::cellForItemAtIndexPath(const IndexPath& ip) {
  updateVisibleViews();
  auto it = m_visible.find(ip);
  return it == m_visible.end() ? nullptr : it->second;
}

std::optional<IndexPath> CollectionView::indexPathForCell(const CollectionViewCell& cell) const {
  for (const auto& [ip, c] : m_visible)
    if (c.get() == &cell) return ip;
  return std::nullopt;
}

std::optional<IndexPath> CollectionView::indexPathForItemAtPoint(gfx::Point p) {
  ensureLayout();
  if (!m_layout) return std::nullopt;
  for (const auto& a : m_layout->layoutAttributesForElementsInRect(gfx::Rect(p.x, p.y, 1e-6, 1e-6))) {
    if (a.category == CollectionElementCategory::Cell && a.frame.contains(p)) return a.indexPath;
  }
  return std::nullopt;
}

std::optional<CollectionViewLayoutAttributes> CollectionView::layoutAttributesForItemAtIndexPath(const IndexPath& ip) {
  ensureLayout();
  if (!m_layout) return std::nullopt;
  return m_layout->layoutAttributesForItemAtIndexPath(ip);
}

void CollectionView::scrollToItemAtIndexPath(const IndexPath& ip, unsigned position, bool animated) {
  auto a = layoutAttributesForItemAtIndexPath(ip);
  if (!a) {
    KT_LOG("item %s is out of range", ip.description().c_str());
    return;
  }
  gfx::Rect f = a->frame, b = bounds();
  gfx::EdgeInsets in = contentInset();
  double visibleW = b.width() - in.left - in.right, visibleH = b.height() - in.top - in.bottom;
  gfx::Point o = b.origin;
  // Each axis: the position asked for, else the least move that shows the item.
  if (position & CollectionViewScrollPositionTop) o.y = f.minY() - in.top;
  else if (position & CollectionViewScrollPositionCenteredVertically) o.y = f.midY() - in.top - visibleH / 2;
  else if (position & CollectionViewScrollPositionBottom) o.y = f.maxY() - in.top - visibleH;
  else if (f.minY() < b.minY() + in.top) o.y = f.minY() - in.top;
  else if (f.maxY() > b.maxY() - in.bottom) o.y = f.maxY() - in.top - visibleH;
  if (position & CollectionViewScrollPositionLeft) o.x = f.minX() - in.left;
  else if (position & CollectionViewScrollPositionCenteredHorizontally) o.x = f.midX() - in.left - visibleW / 2;
  else if (position & CollectionViewScrollPositionRight) o.x = f.maxX() - in.left - visibleW;
  else if (f.minX() < b.minX() + in.left) o.x = f.minX() - in.left;
  else if (f.maxX() > b.maxX() - in.right) o.x = f.maxX() - in.left - visibleW;
  gfx::Point min = minimumContentOffset(), max = maximumContentOffset();
  o.x = std::clamp(o.x, min.x, max.x);
  o.y = std::clamp(o.y, min.y, max.y);
  setContentOffset(o, animated);
}

// ---- Selection ----

void CollectionView::selectItemAtIndexPath(std::optional<IndexPath> ip, bool animated, unsigned position) {
  if (!ip || !m_allowsMultipleSelection) {
    for (const auto& s : m_selected)
      if (auto it = m_visible.find(s); it != m_visible.end() && (!ip || s != *ip)) it->second->setSelected(false);
    m_selected.clear();
  }
  if (!ip) return;
  if (!validItem(*ip)) {
    KT_LOG("item %s is out of range", ip->description().c_str());
    return;
  }
  m_selected.insert(*ip);
  if (auto it = m_visible.find(*ip); it != m_visible.end()) it->second->setSelected(true);
  if (position != CollectionViewScrollPositionNone) scrollToItemAtIndexPath(*ip, position, animated);
}

void CollectionView::deselectItemAtIndexPath(const IndexPath& ip, bool) {
  m_selected.erase(ip);
  if (auto it = m_visible.find(ip); it != m_visible.end()) it->second->setSelected(false);
}

void CollectionView::selectFromTouch(const IndexPath& ip) {
  auto keep = weak_from_this().lock();
  CollectionViewDelegate* d = delegate();
  if (m_allowsMultipleSelection && m_selected.count(ip)) {
    if (d && !d->shouldDeselectItemAtIndexPath(*this, ip)) return;
    deselectItemAtIndexPath(ip, false);
    if ((d = delegate())) d->didDeselectItemAtIndexPath(*this, ip);
    return;
  }
  if (d && !d->shouldSelectItemAtIndexPath(*this, ip)) return;
  if (!m_allowsMultipleSelection) {
    std::vector<IndexPath> others;
    for (const auto& s : m_selected)
      if (s != ip) others.push_back(s);
    for (const auto& s : others) {
      deselectItemAtIndexPath(s, false);
      if ((d = delegate())) d->didDeselectItemAtIndexPath(*this, s);
    }
  }
  m_selected.insert(ip);
  if (auto it = m_visible.find(ip); it != m_visible.end()) it->second->setSelected(true);
  if ((d = delegate())) d->didSelectItemAtIndexPath(*this, ip);
}

// ---- Touches: a touch that lifts without scrolling taps its item ----

void CollectionView::touchesBegan(const TouchSet& touches, const Event*) {
  if (touches.empty() || m_touchItem || !m_allowsSelection) return;
  auto ip = indexPathForItemAtPoint(touches.front()->locationInView(this));
  if (!ip) return;
  m_touchItem = ip;
  m_touchStart = touches.front()->locationInView(nullptr);
  CollectionViewDelegate* d = delegate();
  if (d && !d->shouldHighlightItemAtIndexPath(*this, *ip)) return;
  if (auto it = m_visible.find(*ip); it != m_visible.end()) it->second->setHighlighted(true);
  if ((d = delegate())) d->didHighlightItemAtIndexPath(*this, *ip);
}

void CollectionView::touchesMoved(const TouchSet& touches, const Event* event) {
  if (!m_touchItem || touches.empty()) return;
  gfx::Point p = touches.front()->locationInView(nullptr);
  if (std::hypot(p.x - m_touchStart.x, p.y - m_touchStart.y) > kTapSlop || isDragging()) touchesCancelled(touches, event);
}

void CollectionView::touchesEnded(const TouchSet&, const Event*) {
  if (!m_touchItem) return;
  auto keep = weak_from_this().lock();
  IndexPath ip = *m_touchItem;
  m_touchItem.reset();
  if (auto it = m_visible.find(ip); it != m_visible.end() && it->second->isHighlighted()) {
    it->second->setHighlighted(false);
    if (CollectionViewDelegate* d = delegate()) d->didUnhighlightItemAtIndexPath(*this, ip);
  }
  selectFromTouch(ip);
}

void CollectionView::touchesCancelled(const TouchSet&, const Event*) {
  if (!m_touchItem) return;
  IndexPath ip = *m_touchItem;
  m_touchItem.reset();
  if (auto it = m_visible.find(ip); it != m_visible.end() && it->second->isHighlighted()) {
    it->second->setHighlighted(false);
    if (CollectionViewDelegate* d = delegate()) d->didUnhighlightItemAtIndexPath(*this, ip);
  }
}

}  // namespace ui
