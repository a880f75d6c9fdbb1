#include "widgets/controls/WGCycleScrollView.h"

#include <cmath>

#include "imagecache/ImageViewWebCache.h"
#include "platform/core/RunLoop.h"
#include "platform/core/ThreadCheck.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Image.h"
#include "platform/net/URL.h"
#include "platform/ui/CollectionViewFlowLayout.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PageControl.h"
#include "widgets/controls/WGCycleScrollViewCell.h"

namespace kt {

namespace {

constexpr const char* CellIdentifier = "cellIdentify";
// The list of pictures is repeated this many times so that it can be scrolled round.
constexpr int64_t Repeats = 100;

// The whole number of `offset` / `width`, or nothing when the width is not positive.
std::optional<int64_t> indexAt(double offset, double width) {
  if (!(width > 0)) return std::nullopt;
  return static_cast<int64_t>(std::trunc(offset / width));
}

}  // namespace

std::shared_ptr<WGCycleScrollView> WGCycleScrollView::cycleScrollViewWithFrame(const gfx::Rect& frame,
                                                                               const std::vector<std::string>& paths,
                                                                               ImagePtr /*placeholder*/) {
  auto carousel = std::make_shared<WGCycleScrollView>(frame);
  carousel->setArr_imagePath(paths);
  carousel->setAutoScroll(true);
  return carousel;
}

std::shared_ptr<WGCycleScrollView> WGCycleScrollView::cycleScrollViewWithFrame(
    const gfx::Rect& frame, const std::vector<std::string>& localImagesGroup, WGCycleScrollViewDelegate* delegate) {
  auto carousel = std::make_shared<WGCycleScrollView>(frame);
  carousel->setArr_imagePath(localImagesGroup);
  carousel->setDelegate(delegate);
  carousel->setAutoScroll(true);
  return carousel;
}

WGCycleScrollView::WGCycleScrollView(const gfx::Rect& frame) : ui::View(frame) { setupMainView(); }

WGCycleScrollView::~WGCycleScrollView() {
  stopTimer();
  m_mainView->setDataSource(nullptr);
  m_mainView->setDelegate(nullptr);
}

void WGCycleScrollView::setupMainView() {
  m_flowLayout = std::make_shared<ui::CollectionViewFlowLayout>();
  m_flowLayout->setMinimumLineSpacing(0);
  m_flowLayout->setScrollDirection(ui::CollectionViewScrollDirection::Horizontal);

  m_mainView = ui::CollectionView::create(bounds(), m_flowLayout);
  m_mainView->setBackgroundColor(gfx::Color(132 / 255.0, 139 / 255.0, 142 / 255.0, 0.5));
  m_mainView->setPagingEnabled(true);
  m_mainView->setShowsHorizontalScrollIndicator(false);
  m_mainView->setShowsVerticalScrollIndicator(false);
  m_mainView->setDataSource(this);
  m_mainView->setDelegate(this);
  m_mainView->registerClass([] { return std::make_shared<WGCycleScrollViewCell>(); }, CellIdentifier);
  addSubview(m_mainView);
}

void WGCycleScrollView::setArr_imagePath(std::vector<std::string> paths) {
  KT_ASSERT_MAIN_THREAD();
  m_arr_imagePath = std::move(paths);
  m_totleIndex = static_cast<int64_t>(m_arr_imagePath.size()) * Repeats;
  if (m_arr_imagePath.empty()) stopTimer();
  // Reloaded before the page control lays out, so that the snap to the middle sees the new items.
  m_mainView->reloadData();
  setupPage();
}

void WGCycleScrollView::setupPage() {
  const int pages = static_cast<int>(m_arr_imagePath.size());
  if (!m_pageC) {
    m_pageC = ui::PageControl::create();
    m_pageC->setNumberOfPages(pages);
    m_pageC->setCurrentPage(0);
    m_pageC->setBackgroundColor(gfx::Color::clear());
    m_pageC->setPageIndicatorTintColor(gfx::Color::patternImage(gfx::Image::named("PageCBg")));
    m_pageC->setCurrentPageIndicatorTintColor(gfx::Color::patternImage(gfx::Image::named("PageC")));
    addSubview(m_pageC);
    // Placed, with the list snapped to its middle, by the next layout pass.
    setNeedsLayout();
    return;
  }
  m_pageC->setNumberOfPages(pages);
  layoutSubviews();
}

void WGCycleScrollView::layoutSubviews() {
  m_flowLayout->setItemSize(frame().size);
  m_mainView->setFrame(bounds());
  if (m_totleIndex != 0) {
    m_mainView->scrollToItemAtIndexPath(ui::IndexPath::forItem(static_cast<int>(m_totleIndex / 2), 0),
                                        ui::CollectionViewScrollPositionNone, false);
  }
  if (!m_pageC) return;
  const gfx::Size page = m_pageC->sizeForNumberOfPages(static_cast<int>(m_arr_imagePath.size()));
  const double w = bounds().width(), h = bounds().height(), pw = page.width, ph = page.height;
  switch (m_pageCLocation) {
    case PageCLocationCenter:
      m_pageC->setFrame(gfx::Rect((w - pw) * 0.5, h - ph, pw, ph));
      break;
    case PageCLocationLeft:
      m_pageC->setFrame(gfx::Rect(10, h - ph + 10, pw, ph - 10));
      break;
    case PageCLocationRight:
      m_pageC->setFrame(gfx::Rect(w - pw - 10, h - ph, pw, ph));
      break;
    default:
      break;
  }
}

void WGCycleScrollView::setPageCLocation(int location) {
  m_pageCLocation = location;
  setupPage();
}

void WGCycleScrollView::setShowPageControl(bool show) {
  m_showPageControl = show;
  if (show && m_pageC) m_pageC->setHidden(false);
}

void WGCycleScrollView::setDelegate(WGCycleScrollViewDelegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

// ---- The automatic step ----

void WGCycleScrollView::setAutoScroll(bool on) {
  KT_ASSERT_MAIN_THREAD();
  m_autoScroll = on;
  stopTimer();
  if (on && !m_arr_imagePath.empty()) setupTimer();
}

void WGCycleScrollView::setTimerInterval(double seconds) {
  m_timerInterval = seconds;
  setAutoScroll(m_autoScroll);
}

bool WGCycleScrollView::isTimerRunning() const { return m_timer && m_timer->isValid(); }

void WGCycleScrollView::setupTimer() {
  stopTimer();
  // The run loop keeps the timer; the timer only looks the carousel up.
  m_timer = core::Timer::create(m_timerInterval, true, [weak = m_weakFactory.weakPtr()](core::Timer&) {
    if (WGCycleScrollView* self = weak.get()) self->scrollByMyself();
  });
  core::RunLoop::main().addTimer(m_timer, core::RunLoop::CommonModes);
}

void WGCycleScrollView::stopTimer() {
  if (m_timer) m_timer->invalidate();
  m_timer.reset();
}

void WGCycleScrollView::scrollByMyself() {
  if (m_totleIndex == 0) return;
  const auto current = indexAt(m_mainView->contentOffset().x, m_flowLayout->itemSize().width);
  if (!current) return;
  const int64_t target = *current + 1;
  if (target < m_totleIndex) {
    m_mainView->scrollToItemAtIndexPath(ui::IndexPath::forItem(static_cast<int>(target), 0),
                                        ui::CollectionViewScrollPositionLeft, true);
  } else if (m_autoScroll) {
    // The end of the repeated list: back to the same picture in the middle.
    m_mainView->scrollToItemAtIndexPath(ui::IndexPath::forItem(static_cast<int>(m_totleIndex / 2), 0),
                                        ui::CollectionViewScrollPositionLeft, true);
  }
}

void WGCycleScrollView::willMoveToSuperview(ui::View* newSuperview) {
  if (!newSuperview) stopTimer();
}

// ---- Collection view ----

int WGCycleScrollView::numberOfItemsInSection(ui::CollectionView&, int) { return static_cast<int>(m_totleIndex); }

std::shared_ptr<ui::CollectionViewCell> WGCycleScrollView::cellForItemAtIndexPath(ui::CollectionView& view,
                                                                                const ui::IndexPath& indexPath) {
  auto cell = std::static_pointer_cast<WGCycleScrollViewCell>(
      view.dequeueReusableCellWithReuseIdentifier(CellIdentifier, indexPath));
  if (m_arr_imagePath.empty() || indexPath.row < 0) return cell;
  const std::string& path = m_arr_imagePath[static_cast<size_t>(indexPath.row) % m_arr_imagePath.size()];
  if (path.find("http") != std::string::npos) {
    ImageViewWebCache::ic_setImageWithURL(cell->imgV(), net::URL::fromString(path), gfx::Image::named("1"));
  } else {
    // A reused cell may still be loading another item's picture, which must not land here later.
    ImageViewWebCache::ic_cancelCurrentImageLoad(cell->imgV());
    cell->imgV()->setImage(gfx::Image::named(path));
  }
  return cell;
}

void WGCycleScrollView::didSelectItemAtIndexPath(ui::CollectionView&, const ui::IndexPath& indexPath) {
  if (m_arr_imagePath.empty() || indexPath.section != 0 || indexPath.row < 0 || indexPath.row >= m_totleIndex) return;
  if (WGCycleScrollViewDelegate* delegate = m_delegate.get()) {
    // The delegate may drop the carousel; it stays alive until the call returns.
    auto keep = weak_from_this().lock();
    delegate->didSelectTheItemAtIndex(static_cast<int>(indexPath.row % static_cast<int>(m_arr_imagePath.size())),
                                      *this);
  }
}

void WGCycleScrollView::scrollViewDidScroll(ui::ScrollView& view) {
  if (m_arr_imagePath.empty() || !m_pageC) return;
  const auto page = indexAt(view.contentOffset().x, view.frame().width());
  if (!page) return;
  const auto count = static_cast<int64_t>(m_arr_imagePath.size());
  // Past the first item (a bounce) the page is negative: still one of the pictures.
  m_pageC->setCurrentPage(static_cast<int>(((*page % count) + count) % count));
}

void WGCycleScrollView::scrollViewWillBeginDragging(ui::ScrollView&) {
  if (m_autoScroll) stopTimer();
}

void WGCycleScrollView::scrollViewDidEndDragging(ui::ScrollView&, bool) {
  if (m_autoScroll && !m_arr_imagePath.empty()) setupTimer();
}

}  // namespace kt
