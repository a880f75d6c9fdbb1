#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace core {
class Value;
}
namespace ui {
class PageControl;
}

namespace kt {

class FlowPagerView;

// Supplies the pages of a flow pager. Held weakly: a data source that goes away is no longer
// asked, and the pager shows the pages it already has.
class FlowPagerViewDataSource {
 public:
  FlowPagerViewDataSource() = default;
  FlowPagerViewDataSource(const FlowPagerViewDataSource&) = delete;
  FlowPagerViewDataSource& operator=(const FlowPagerViewDataSource&) = delete;
  virtual ~FlowPagerViewDataSource() = default;

  virtual int64_t numberOfPagesInFlowView(FlowPagerView& flowView) = 0;
  // The view of a page; ask the pager's dequeueReusableCell first. A null answer leaves the page
  // empty.
  virtual std::shared_ptr<ui::View> cellForPageAtIndex(FlowPagerView& flowView, int64_t index) = 0;

  core::WeakPtr<FlowPagerViewDataSource> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<FlowPagerViewDataSource> m_weakFactory{this};
};

// Gives the page size and hears where a flip came to rest. Held weakly, like the data source.
class FlowPagerViewDelegate {
 public:
  FlowPagerViewDelegate() = default;
  FlowPagerViewDelegate(const FlowPagerViewDelegate&) = delete;
  FlowPagerViewDelegate& operator=(const FlowPagerViewDelegate&) = delete;
  virtual ~FlowPagerViewDelegate() = default;

  virtual gfx::Size sizeForPageInFlowView(FlowPagerView& flowView) = 0;
  // A flip came to rest on another page than the last one.
  virtual void didScrollToPage(FlowPagerView& flowView, int64_t page) {
    (void)flowView;
    (void)page;
  }

  core::WeakPtr<FlowPagerViewDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<FlowPagerViewDelegate> m_weakFactory{this};
};

// A row (or column) of equally sized pages flipped one at a time. A one-page paging scroll view
// sits in the middle without clipping, so its neighbours show at the sides, shrunk and faded by
// their distance from the middle. Only the pages near the visible span exist as views; the others
// are recycled through a reuse list. Main thread only.
class FlowPagerView : public ui::View, private ui::ScrollViewDelegate {
 public:
  static constexpr int OrientationHorizontal = 0;
  static constexpr int OrientationVertical = 1;

  // The pages placed in the scroll view: indexes location to location + length - 1.
  struct Range {
    size_t location = 0;
    size_t length = 0;
    bool operator==(const Range&) const = default;
  };

  explicit FlowPagerView(const gfx::Rect& frame = gfx::Rect());
  ~FlowPagerView() override;
  // The pager a storyboard scene builds from its archived attributes: the frame under "frame", in
  // the platform's dictionary form of a rectangle (X, Y, Width, Height). A missing or unreadable
  // frame is logged and gives the zero rectangle.
  static std::shared_ptr<FlowPagerView> initWithCoder(const core::Value& coder);

  // Asks the data source and delegate again at the next layout pass.
  void reloadData();
  // The page view recycled last, taken off the reuse list; null when there is none.
  std::shared_ptr<ui::View> dequeueReusableCell();
  // Flips to the page, animated; a page beyond the last is ignored. The current page and the page
  // control change only when a drag comes to rest.
  void scrollToPage(uint64_t page);

  // Not owned; each reads null once its object has gone.
  FlowPagerViewDataSource* dataSource() const { return m_dataSource.get(); }
  void setDataSource(FlowPagerViewDataSource* dataSource);
  FlowPagerViewDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(FlowPagerViewDelegate* delegate);
  // Optional page dots that follow the page at rest; kept by the pager.
  const std::shared_ptr<ui::PageControl>& pageControl() const { return m_pageControl; }
  void setPageControl(std::shared_ptr<ui::PageControl> pageControl) { m_pageControl = std::move(pageControl); }

  // Opacity and scale of a page one page or more from the middle.
  double minimumPageAlpha() const { return m_minimumPageAlpha; }
  void setMinimumPageAlpha(double alpha) { m_minimumPageAlpha = alpha; }
  double minimumPageScale() const { return m_minimumPageScale; }
  void setMinimumPageScale(double scale) { m_minimumPageScale = scale; }
  // OrientationHorizontal or OrientationVertical; takes effect at the next reload.
  int orientation() const { return m_orientation; }
  void setOrientation(int orientation) { m_orientation = orientation; }
  // The page at rest after the last flip.
  int64_t currentPageIndex() const { return m_currentPageIndex; }
  void setCurrentPageIndex(int64_t index) { m_currentPageIndex = index; }

  int64_t pageCount() const { return m_pageCount; }
  gfx::Size pageSize() const { return m_pageSize; }
  Range visibleRange() const { return m_visibleRange; }
  const std::shared_ptr<ui::ScrollView>& scrollView() const { return m_scrollView; }
  // The view placed for a page, null when the page is not placed.
  std::shared_ptr<ui::View> cellAtIndex(size_t index) const;
  size_t reusableCellCount() const { return m_reusableCells.size(); }

  void layoutSubviews() override;
  // Touches beside the scroll view but inside the pager go to the scroll view, so that a drag on
  // a neighbouring page moves the pages.
  std::shared_ptr<ui::View> hitTest(gfx::Point p, const ui::Event* event) override;

 private:
  void scrollViewDidScroll(ui::ScrollView& scrollView) override;
  void scrollViewDidEndDecelerating(ui::ScrollView& scrollView) override;

  void reloadPages();
  // Places the pages that show at the offset, plus one on each side, and recycles the others.
  void setPagesAtContentOffset(gfx::Point offset);
  void setPageAtIndex(size_t index);
  void removeCellAtIndex(size_t index);
  void queueReusableCell(std::shared_ptr<ui::View> cell);
  // Shrinks and fades the placed pages by their distance from the middle.
  void refreshVisibleCellAppearance();
  bool isVertical() const { return m_orientation == OrientationVertical; }

  bool m_needsReload = true;
  gfx::Size m_pageSize;
  int64_t m_pageCount = 0;
  int64_t m_currentPageIndex = 0;
  double m_minimumPageAlpha = 1.0;
  double m_minimumPageScale = 1.0;
  Range m_visibleRange;
  // Last in, first out.
  std::vector<std::shared_ptr<ui::View>> m_reusableCells;
  // One slot per page: its view, or null when the page is not placed.
  std::vector<std::shared_ptr<ui::View>> m_cells;
  std::shared_ptr<ui::ScrollView> m_scrollView;
  std::shared_ptr<ui::PageControl> m_pageControl;
  int m_orientation = OrientationHorizontal;
  core::WeakPtr<FlowPagerViewDataSource> m_dataSource;
  core::WeakPtr<FlowPagerViewDelegate> m_delegate;
};

}  // namespace kt
