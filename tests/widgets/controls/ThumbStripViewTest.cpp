// The thumbnail strip on the offscreen screen: which images the strip shows and where, selection
// by touch (clamped to the images there are), the enlarged thumbnail, images asked on background
// queues and set on the main thread, reloads with recycling, and a look at it.
#include "widgets/controls/ThumbStripView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using kt::ThumbStripView;

// A colour per image index, so a thumbnail shows which image it holds.
uint32_t colourOf(uint64_t index) {
  static const uint32_t palette[] = {0xFFD03030, 0xFF30A040, 0xFF3050D0, 0xFFE0A020, 0xFF9040C0, 0xFF20B0B0};
  return palette[index % 6];
}

struct Photos : kt::ThumbStripViewDataSource {
  uint64_t numberOfImagesForThumbStripView(ThumbStripView&) override {
    EXPECT_EQ(std::this_thread::get_id(), mainThread);
    return count;
  }
  std::shared_ptr<const gfx::Image> imageAtIndex(ThumbStripView&, uint64_t index) override {
    std::lock_guard<std::mutex> lock(mutex);
    asked.push_back(index);
    threads.insert(std::this_thread::get_id());
    return gfx::Image::fromPixels(4, 4, std::vector<uint32_t>(16, colourOf(index)), 1);
  }
  size_t askedCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return asked.size();
  }
  bool askedOn(std::thread::id thread) {
    std::lock_guard<std::mutex> lock(mutex);
    return threads.count(thread) > 0;
  }
  uint64_t count = 20;
  std::thread::id mainThread = std::this_thread::get_id();
  std::mutex mutex;
  std::vector<uint64_t> asked;
  std::set<std::thread::id> threads;
};

struct Selections : kt::ThumbStripViewDelegate {
  void didSelectImageWithIndex(ThumbStripView& picker, uint64_t index) override {
    EXPECT_EQ(index, picker.selectedIndex());
    told.push_back(index);
  }
  std::vector<uint64_t> told;
};

class ThumbStripTest : public support::ScreenTest {
 protected:
  // A picker 80 high at (left, 300) on the window.
  std::shared_ptr<ThumbStripView> show(uint64_t count, double width, double left = 100) {
    photos->count = count;
    auto picker = std::make_shared<ThumbStripView>(gfx::Rect(left, 300, width, 80));
    picker->setDataSource(photos);
    picker->setDelegate(selections);
    picker->setBackgroundColor(gfx::Color::rgba(0.1, 0.1, 0.15, 1));
    window().addSubview(picker);
    render();
    return picker;
  }
  static std::vector<int> thumbnailTags(const ThumbStripView& picker) {
    std::vector<int> tags;
    for (const auto& v : picker.contentView()->subviews()) tags.push_back(v->tag());
    std::sort(tags.begin(), tags.end());
    return tags;
  }
  // A screen point at x in the strip, on its middle line.
  gfx::Point inStrip(const ThumbStripView& picker, double x) {
    return picker.contentView()->convertPointTo({x, 30}, nullptr);
  }
  bool imagesArrived(const ThumbStripView& picker) {
    return runUntil([&] {
      for (const auto& v : picker.contentView()->subviews())
        if (!std::static_pointer_cast<ui::ImageView>(v)->image()) return false;
      auto big = picker.bigThumbnailImageView();
      return !big || big->image();
    });
  }

  std::shared_ptr<Photos> photos = std::make_shared<Photos>();
  std::shared_ptr<Selections> selections = std::make_shared<Selections>();
};

TEST_F(ThumbStripTest, ImagesThatFitAreAllShownElseTheyAreSampledWithTheFirstAndLastShown) {
  auto fits = show(6, 700);
  EXPECT_EQ(fits->visibleThumbnailsCount(), 6u);
  support::expectRect(fits->contentView()->frame(), 25, 10, 650, 60, "strip");
  EXPECT_EQ(thumbnailTags(*fits), (std::vector<int>{100, 101, 102, 103, 104, 105}));
  support::expectRect(fits->contentView()->viewWithTag(105)->frame(), 550, 0, 100, 60, "thumbnail of 5");
  EXPECT_EQ(fits->selectedIndex(), ThumbStripView::NotFound);
  EXPECT_EQ(fits->bigThumbnailImageView(), nullptr);
  fits->removeFromSuperview();

  auto sampled = show(20, 700);
  EXPECT_EQ(sampled->visibleThumbnailsCount(), 6u);
  EXPECT_EQ(sampled->contentView()->frame().width(), 650);
  EXPECT_EQ(thumbnailTags(*sampled), (std::vector<int>{100, 103, 107, 111, 115, 119}));
  support::expectRect(sampled->contentView()->viewWithTag(111)->frame(), 330, 0, 100, 60, "thumbnail of 11");
  EXPECT_EQ(ThumbStripView::sampledIndexes(3, 5), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(ThumbStripView::sampledIndexes(0, 5), (std::vector<int64_t>{}));
}

TEST_F(ThumbStripTest, ATouchSelectsCoarselyAndADragScrubsThroughEveryImage) {
  auto picker = show(20, 700);
  tap(inStrip(*picker, 230));
  EXPECT_EQ(picker->selectedIndex(), 7u);
  EXPECT_EQ(selections->told, (std::vector<uint64_t>{7}));
  auto big = picker->bigThumbnailImageView();
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->tag(), 1007);
  support::expectRect(big->frame(), 25 + 220 - 10, 5, 120, 70, "enlarged thumbnail on 7");
  EXPECT_EQ(picker->subviews().back(), big);

  selections->told.clear();
  drag(inStrip(*picker, 230), inStrip(*picker, 325), 4);
  EXPECT_EQ(picker->selectedIndex(), 9u);
  // 9 has no thumbnail: +1 and -1 find none, +2 finds 11.
  EXPECT_EQ(big->tag(), 1011);
  EXPECT_EQ(big->center(), picker->convertPointFrom(picker->contentView()->viewWithTag(111)->center(),
                                                    picker->contentView().get()));
  // Every touch event is told, the first and the moves alike.
  ASSERT_EQ(selections->told.size(), 5u);
  EXPECT_EQ(selections->told.front(), 7u);
  EXPECT_EQ(selections->told.back(), 9u);
}

TEST_F(ThumbStripTest, TouchesOutsideTheStripSelectTheEndImages) {
  auto picker = show(20, 700);
  tap(inStrip(*picker, 670));  // beyond the last thumbnail, still on the picker
  EXPECT_EQ(picker->selectedIndex(), 19u);
  tap(inStrip(*picker, -20));  // left of the strip
  EXPECT_EQ(picker->selectedIndex(), 0u);
  drag(inStrip(*picker, 100), inStrip(*picker, 900), 3);  // dragged far past the end
  EXPECT_EQ(picker->selectedIndex(), 19u);
  drag(inStrip(*picker, 100), inStrip(*picker, -400), 3);
  EXPECT_EQ(picker->selectedIndex(), 0u);
}

TEST_F(ThumbStripTest, APickerNarrowerThanOneThumbnailStillShowsOneAndSelectsWithinRange) {
  auto picker = show(20, 90, 300);
  EXPECT_EQ(picker->visibleThumbnailsCount(), 1u);
  EXPECT_EQ(picker->contentView()->frame().width(), 100);
  EXPECT_EQ(thumbnailTags(*picker), (std::vector<int>{100}));
  tap(inStrip(*picker, 50));
  EXPECT_EQ(picker->selectedIndex(), 0u);
  drag(inStrip(*picker, 10), inStrip(*picker, 60), 2);
  EXPECT_EQ(picker->selectedIndex(), 11u);  // floor(60 / 100 * 19)
  EXPECT_EQ(picker->bigThumbnailImageView()->tag(), 1000);

  // Two thumbnails (a picker between 210 and 320 wide): the coarse touch spans both ends.
  auto two = show(20, 250, 500);
  EXPECT_EQ(two->visibleThumbnailsCount(), 2u);
  EXPECT_EQ(thumbnailTags(*two), (std::vector<int>{100, 119}));
  tap(inStrip(*two, 150));
  EXPECT_EQ(two->selectedIndex(), 19u);
}

TEST_F(ThumbStripTest, SettingTheSelectionMovesTheEnlargedThumbnailWithoutTellingTheDelegate) {
  auto picker = show(20, 700);
  picker->setSelectedIndex(15, true);
  auto big = picker->bigThumbnailImageView();
  ASSERT_NE(big, nullptr);
  wait(0.3);
  EXPECT_EQ(big->tag(), 1015);
  EXPECT_EQ(big->center().x, 25 + 4 * 110 + 50);
  EXPECT_EQ(big->center().y, 40);
  picker->setSelectedIndex(15, true);
  picker->setSelectedIndex(4);  // nearest shown: 3 (at distance 1)
  EXPECT_EQ(big->tag(), 1003);
  EXPECT_TRUE(selections->told.empty());
}

TEST_F(ThumbStripTest, ImagesAreAskedOffTheMainThreadAndSetOnTheMainThread) {
  auto picker = show(20, 700);
  picker->setSelectedIndex(7);
  ASSERT_TRUE(imagesArrived(*picker));
  EXPECT_FALSE(photos->askedOn(std::this_thread::get_id()));
  for (int index : {0, 3, 7, 11, 15, 19}) {
    auto thumb = std::static_pointer_cast<ui::ImageView>(picker->contentView()->viewWithTag(100 + index));
    EXPECT_EQ(thumb->image()->pixelAt(1, 1), colourOf(index)) << index;
  }
  EXPECT_EQ(picker->bigThumbnailImageView()->image()->pixelAt(1, 1), colourOf(7));

  // One thumbnail asked again; an image without a thumbnail is not asked.
  size_t before = photos->askedCount();
  picker->reloadThumbnailAtIndex(8);
  picker->reloadThumbnailAtIndex(7);
  ASSERT_TRUE(runUntil([&] { return photos->askedCount() > before; }));
  std::lock_guard<std::mutex> lock(photos->mutex);
  EXPECT_EQ(std::count(photos->asked.begin(), photos->asked.end(), 8u), 0);
}

TEST_F(ThumbStripTest, NoImagesBuildNothingAndAskNothing) {
  auto picker = show(0, 700);
  picker->reloadData();
  EXPECT_EQ(picker->contentView(), nullptr);
  EXPECT_EQ(picker->visibleThumbnailsCount(), 0u);
  tap(gfx::Point{450, 340});
  EXPECT_EQ(picker->selectedIndex(), ThumbStripView::NotFound);
  EXPECT_TRUE(selections->told.empty());
  wait(0.1);
  EXPECT_EQ(photos->askedCount(), 0u);
}

TEST_F(ThumbStripTest, FewerImagesRecycleThumbnailsAndADiscardedStripStartsOver) {
  auto picker = show(6, 700);
  auto thumb5 = picker->contentView()->viewWithTag(105);
  photos->count = 3;
  picker->reloadData();
  EXPECT_EQ(thumbnailTags(*picker), (std::vector<int>{100, 101, 102}));
  EXPECT_EQ(picker->contentView()->frame().width(), 320);
  EXPECT_EQ(picker->reusableThumbnailImageViews().size(), 3u);
  EXPECT_EQ(thumb5->superview(), nullptr);
  EXPECT_EQ(thumb5->tag(), 0);


  auto oldStrip = picker->contentView();
  picker->customForReload();
  EXPECT_EQ(picker->contentView(), nullptr);
  EXPECT_EQ(oldStrip->superview(), nullptr);
  EXPECT_TRUE(picker->reusableThumbnailImageViews().empty());
  picker->reloadData();
  ASSERT_NE(picker->contentView(), nullptr);
  EXPECT_NE(picker->contentView(), oldStrip);
  EXPECT_EQ(thumbnailTags(*picker), (std::vector<int>{100, 101, 102}));

  photos->count = 1;
  picker->reloadData();
  EXPECT_EQ(picker->reusableThumbnailImageViews().size(), 2u);
  core::NotificationCenter::defaultCenter().post(ui::Application::DidReceiveMemoryWarningNotification, nullptr);
  EXPECT_TRUE(picker->reusableThumbnailImageViews().empty());
}

TEST_F(ThumbStripTest, APickerThatGoesAwayWithRequestsPendingIsLetGoOnTheMainThread) {
  auto picker = show(20, 700);
  std::weak_ptr<ThumbStripView> weak = picker;
  picker->removeFromSuperview();
  picker.reset();
  // The pending requests keep it until their main-queue blocks have run.
  ASSERT_TRUE(runUntil([&] { return weak.expired(); }));
}

class ThumbStripLookTest : public ThumbStripTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(ThumbStripLookTest, TheStripWithItsEnlargedThumbnail) {
  setDevice(GetParam());
  const double width = window().bounds().width() - 200;
  auto picker = show(20, width);
  tap(inStrip(*picker, 230));
  ASSERT_TRUE(imagesArrived(*picker));
  auto shot = screenshot("strip");
  ASSERT_NE(shot, nullptr);
  // The enlarged thumbnail shows the selected image's colour; the first thumbnail the first's.
  auto big = picker->bigThumbnailImageView();
  gfx::Point bigCentre = big->convertPointTo({60, 35}, nullptr);
  EXPECT_EQ(colorAt(*shot, bigCentre), colourOf(picker->selectedIndex()));
  EXPECT_EQ(colorAt(*shot, inStrip(*picker, 50)), colourOf(0));
  // Its white border.
  EXPECT_EQ(colorAt(*shot, big->convertPointTo({60, 0.25}, nullptr)), 0xFFFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(BothTablets, ThumbStripLookTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
