#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/View.h"

namespace core {
class Timer;
}
namespace gfx {
class Image;
}
namespace ui {
class CollectionViewFlowLayout;
class PageControl;
}  // namespace ui

namespace kt {

class WGCycleScrollView;

// Told which picture of a carousel was tapped. The carousel holds its delegate weakly: a delegate
// that goes away is simply no longer told.
class WGCycleScrollViewDelegate {
 public:
  WGCycleScrollViewDelegate() = default;
  WGCycleScrollViewDelegate(const WGCycleScrollViewDelegate&) = delete;
  WGCycleScrollViewDelegate& operator=(const WGCycleScrollViewDelegate&) = delete;
  virtual ~WGCycleScrollViewDelegate() = default;

  // `index` is the position of the picture in the carousel's list of paths.
  virtual void didSelectTheItemAtIndex(int index, WGCycleScrollView& carousel) = 0;

  core::WeakPtr<WGCycleScrollViewDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<WGCycleScrollViewDelegate> m_weakFactory{this};
};

// An endlessly cycling, horizontally paged banner of pictures with page dots, advancing by itself
// every timerInterval seconds. A path containing "http" is loaded by address through the image
// cache (the bundle picture "1" while it loads); any other path names a bundle picture. The
// pictures are repeated 100 times in a paging collection view that starts in the middle, so it
// can be scrolled round either way. Main thread only.
class WGCycleScrollView : public ui::View,
                          private ui::CollectionViewDataSource,
                          private ui::CollectionViewDelegate {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;

  // Page control placements of setPageCLocation.
  static constexpr int PageCLocationCenter = 0;
  static constexpr int PageCLocationLeft = 1;
  static constexpr int PageCLocationRight = 2;

  // A carousel of the paths (copied), scrolling by itself. The placeholder is not used: a picture
  // loading by address shows the bundle picture "1".
  static std::shared_ptr<WGCycleScrollView> cycleScrollViewWithFrame(const gfx::Rect& frame,
                                                                     const std::vector<std::string>& paths,
                                                                     ImagePtr placeholder = nullptr);
  // The same with a delegate, set before the timer starts; meant for bundle picture names, though
  // a path with "http" still loads by address.
  static std::shared_ptr<WGCycleScrollView> cycleScrollViewWithFrame(const gfx::Rect& frame,
                                                                     const std::vector<std::string>& localImagesGroup,
                                                                     WGCycleScrollViewDelegate* delegate);

  explicit WGCycleScrollView(const gfx::Rect& frame);
  ~WGCycleScrollView() override;

  // The pictures' paths in display order. A new list sets the page dots and reloads the pictures.
  const std::vector<std::string>& arr_imagePath() const { return m_arr_imagePath; }
  void setArr_imagePath(std::vector<std::string> paths);
  // Items in the collection view: 100 for each path.
  int64_t totleIndex() const { return m_totleIndex; }

  // Seconds between two automatic steps; setting it restarts the timer.
  double timerInterval() const { return m_timerInterval; }
  void setTimerInterval(double seconds);
  // Whether the carousel steps by itself (only while it has pictures).
  bool autoScroll() const { return m_autoScroll; }
  void setAutoScroll(bool on);
  bool showPageControl() const { return m_showPageControl; }
  void setShowPageControl(bool show);
  // PageCLocationCenter (bottom centre), PageCLocationLeft or PageCLocationRight.
  int pageCLocation() const { return m_pageCLocation; }
  void setPageCLocation(int location);

  // Not owned; cleared by itself when the delegate goes away.
  WGCycleScrollViewDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(WGCycleScrollViewDelegate* delegate);

  const std::shared_ptr<ui::CollectionView>& mainView() const { return m_mainView; }
  const std::shared_ptr<ui::CollectionViewFlowLayout>& flowLayout() const { return m_flowLayout; }
  // Null until the first list of paths is set.
  const std::shared_ptr<ui::PageControl>& pageC() const { return m_pageC; }
  // Whether the automatic step is scheduled.
  bool isTimerRunning() const;

  // One automatic step: to the next item, or back to the middle at the end of the repeated list.
  void scrollByMyself();

  void layoutSubviews() override;
  void willMoveToSuperview(ui::View* newSuperview) override;

 private:
  // Collection view data source and delegate.
  int numberOfSectionsInCollectionView(ui::CollectionView&) override { return 1; }
  int numberOfItemsInSection(ui::CollectionView&, int section) override;
  std::shared_ptr<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView& view,
                                                                 const ui::IndexPath& indexPath) override;
  void didSelectItemAtIndexPath(ui::CollectionView&, const ui::IndexPath& indexPath) override;
  void scrollViewDidScroll(ui::ScrollView& view) override;
  void scrollViewWillBeginDragging(ui::ScrollView&) override;
  void scrollViewDidEndDragging(ui::ScrollView&, bool willDecelerate) override;

  void setupMainView();
  void setupPage();
  void setupTimer();
  void stopTimer();

  std::vector<std::string> m_arr_imagePath;
  int64_t m_totleIndex = 0;
  double m_timerInterval = 2.0;
  bool m_autoScroll = true;
  bool m_showPageControl = true;
  int m_pageCLocation = PageCLocationCenter;
  core::WeakPtr<WGCycleScrollViewDelegate> m_delegate;
  std::shared_ptr<ui::CollectionViewFlowLayout> m_flowLayout;
  std::shared_ptr<ui::CollectionView> m_mainView;
  std::shared_ptr<ui::PageControl> m_pageC;
  std::shared_ptr<core::Timer> m_timer;
  core::WeakPtrFactory<WGCycleScrollView> m_weakFactory{this};
};

}  // namespace kt
