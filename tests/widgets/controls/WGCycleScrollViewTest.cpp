// The banner carousel on the offscreen screen: its automatic step on the virtual clock, taps, the
// page dots, pictures from the bundle and from the stand-in gallery, and its odd inputs.
#include "widgets/controls/WGCycleScrollView.h"

#include <gtest/gtest.h>

#include "imagecache/ViewLoaderFixture.h"
#include "platform/gfx/Image.h"
#include "platform/ui/CollectionViewFlowLayout.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/WGCycleScrollViewCell.h"

using namespace std::chrono_literals;

namespace {

using support::Device;

class Taps : public kt::WGCycleScrollViewDelegate {
 public:
  void didSelectTheItemAtIndex(int index, kt::WGCycleScrollView& carousel) override {
    indexes.push_back(index);
    from = &carousel;
  }
  std::vector<int> indexes;
  kt::WGCycleScrollView* from = nullptr;
};

class CarouselTest : public support::ScreenTest {
 protected:
  ~CarouselTest() override {
    support::runUntil([] { return kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0; });
    kt::ICImageCache::sharedImageCache()->getDiskCount();
  }

  // A carousel across the top of the window, 225 points high, shown.
  std::shared_ptr<kt::WGCycleScrollView> show(std::vector<std::string> paths, std::optional<gfx::Rect> frame = {}) {
    auto carousel = kt::WGCycleScrollView::cycleScrollViewWithFrame(
        frame.value_or(gfx::Rect(0, 0, window().bounds().width(), 225)), paths);
    window().addSubview(carousel);
    render();
    return carousel;
  }
  // The item at the left edge of the carousel.
  static int item(const kt::WGCycleScrollView& c) {
    return int(c.mainView()->contentOffset().x / c.bounds().width() + 0.5);
  }
  static std::shared_ptr<ui::ImageView> pictureOf(kt::WGCycleScrollView& c, int item) {
    auto cell = c.mainView()->cellForItemAtIndexPath(ui::IndexPath::forItem(item, 0));
    return cell ? std::static_pointer_cast<kt::WGCycleScrollViewCell>(cell)->imgV() : nullptr;
  }
  void showItem(kt::WGCycleScrollView& c, int item) {
    c.mainView()->setContentOffset({item * c.bounds().width(), 0});
    render();
  }
};

const std::vector<std::string> kThree = {"1", "SuperStarsBg", "SongsHomePageBg"};

TEST_F(CarouselTest, StepsEveryTwoSecondsAndWrapsRoundAtTheEndOfTheRepeatedList) {
  auto c = show(kThree);
  EXPECT_EQ(c->totleIndex(), 300);
  EXPECT_EQ(c->mainView()->numberOfItemsInSection(0), 300);
  EXPECT_EQ(item(*c), 150);
  EXPECT_EQ(pictureOf(*c, 150)->image(), gfx::Image::named("1"));
  wait(1.9);
  EXPECT_EQ(item(*c), 150);
  wait(0.5);  // the tick at 2.0 s and its 0.3 s scroll
  EXPECT_EQ(item(*c), 151);
  EXPECT_EQ(c->pageC()->currentPage(), 1);
  EXPECT_EQ(pictureOf(*c, 151)->image(), gfx::Image::named("SuperStarsBg"));
  wait(2.0);
  EXPECT_EQ(item(*c), 152);
  EXPECT_EQ(c->pageC()->currentPage(), 2);

  showItem(*c, 299);
  wait(2.0);
  EXPECT_EQ(item(*c), 150);
  EXPECT_EQ(c->pageC()->currentPage(), 0);
}

TEST_F(CarouselTest, DraggingHoldsTheTimerAndReleaseStartsAFullPeriod) {
  auto c = show(kThree);
  wait(1.0);
  drag({600, 100}, {580, 100}, 60);  // slow and short: back to the same page
  wait(0.5);
  EXPECT_EQ(item(*c), 150);
  wait(1.3);  // past the first timer's 2.0 s, short of the new one's
  EXPECT_EQ(item(*c), 150);
  EXPECT_TRUE(c->isTimerRunning());
  wait(0.7);
  EXPECT_EQ(item(*c), 151);
}

TEST_F(CarouselTest, TapsReportThePictureIndexAndTheCarouselWhileTheDelegateLives) {
  auto c = show(kThree);
  auto taps = std::make_unique<Taps>();
  c->setDelegate(taps.get());
  tap(gfx::Point{300, 100});
  showItem(*c, 151);
  tap(gfx::Point{300, 100});
  showItem(*c, 299);
  tap(gfx::Point{300, 100});
  EXPECT_EQ(taps->indexes, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(taps->from, c.get());

  // Indexes no tap on the list can give do nothing.
  auto& asDelegate = *c->mainView()->delegate();
  for (auto ip : {ui::IndexPath::forItem(300, 0), ui::IndexPath::forItem(-1, 0), ui::IndexPath::forItem(0, 1)})
    asDelegate.didSelectItemAtIndexPath(*c->mainView(), ip);
  EXPECT_EQ(taps->indexes.size(), 3u);

  taps.reset();
  EXPECT_EQ(c->delegate(), nullptr);
  tap(gfx::Point{300, 100});
}

TEST_F(CarouselTest, AnEmptyListHasNoItemsNoTimerNoPagesAndSurvivesEveryEntry) {
  Taps taps;
  auto c = show({});
  c->setDelegate(&taps);
  EXPECT_EQ(c->totleIndex(), 0);
  EXPECT_FALSE(c->isTimerRunning());
  EXPECT_EQ(c->pageC()->numberOfPages(), 0);
  tap(gfx::Point{300, 100});
  c->mainView()->delegate()->didSelectItemAtIndexPath(*c->mainView(), ui::IndexPath::forItem(0, 0));
  c->scrollByMyself();
  c->mainView()->setContentOffset({40, 0});
  wait(5.0);
  EXPECT_TRUE(taps.indexes.empty());

  // A list that empties stops the timer; every new list sets the dots.
  auto d = show(kThree);
  d->setArr_imagePath({"1", "SuperStarsBg"});
  EXPECT_EQ(d->pageC()->numberOfPages(), 2);
  EXPECT_EQ(item(*d), 100);
  d->setArr_imagePath({});
  EXPECT_FALSE(d->isTimerRunning());
  EXPECT_EQ(d->pageC()->numberOfPages(), 0);
  wait(3.0);
}

TEST_F(CarouselTest, AZeroWidthFrameDividesByNothing) {
  for (gfx::Rect frame : {gfx::Rect(0, 0, 0, 225), gfx::Rect(10, 10, 0, 0)}) {
    auto c = show(kThree, frame);
    EXPECT_TRUE(c->isTimerRunning());
    c->scrollByMyself();
    c->mainView()->setContentOffset({30, 0});
    wait(4.5);
    EXPECT_EQ(c->pageC()->numberOfPages(), 3);
    c->removeFromSuperview();
  }
}

TEST_F(CarouselTest, RemovalStopsTheTimerAndTheTimerKeepsNothingAlive) {
  auto c = show(kThree);
  EXPECT_TRUE(c->isTimerRunning());
  c->removeFromSuperview();
  EXPECT_FALSE(c->isTimerRunning());
  wait(4.5);
  EXPECT_EQ(item(*c), 150);

  auto loose = kt::WGCycleScrollView::cycleScrollViewWithFrame(gfx::Rect(0, 0, 300, 100), kThree);
  ASSERT_TRUE(loose->isTimerRunning());
  std::weak_ptr<kt::WGCycleScrollView> watch = loose;
  loose.reset();
  EXPECT_TRUE(watch.expired());
  wait(2.5);
}

TEST_F(CarouselTest, WebPicturesLoadFromTheGalleryAndOthersComeFromTheBundle) {
  venue::WebServer web;
  ASSERT_TRUE(web.start());
  web.setFault("images", venue::Fault::slow(300ms));
  const std::string thumb = web.baseUrl() + "/images/thumb-7.jpg";
  auto c = show({thumb, "SuperStarsBg"});
  c->setAutoScroll(false);  // the cells stay where the test puts them
  // Two pictures: 200 items, item 100 in the middle.
  auto first = pictureOf(*c, 100);
  EXPECT_EQ(first->image(), gfx::Image::named("1"));

  // A cell reused for a bundle picture while its download is still on its way keeps that picture.
  showItem(*c, 111);
  ASSERT_EQ(pictureOf(*c, 111), first);
  EXPECT_EQ(first->image(), gfx::Image::named("SuperStarsBg"));
  runUntil([] { return false; }, 0.8);
  EXPECT_EQ(first->image(), gfx::Image::named("SuperStarsBg"));

  showItem(*c, 100);
  auto picture = pictureOf(*c, 100);
  EXPECT_TRUE(runUntil([&] { return viewloader::isThumbnail(picture->image(), 7); }));
}

class CarouselFramesTest : public CarouselTest, public ::testing::WithParamInterface<Device> {};

TEST_P(CarouselFramesTest, FramesOfTheListTheDotsAndTheirThreePlaces) {
  setDevice(GetParam());
  auto c = show(kThree);
  const double w = window().bounds().width(), h = 225;
  const gfx::Size dots = c->pageC()->sizeForNumberOfPages(3);
  EXPECT_EQ(c->mainView()->frame(), gfx::Rect(0, 0, w, h));
  EXPECT_EQ(c->flowLayout()->itemSize(), (gfx::Size{w, h}));
  EXPECT_EQ(c->mainView()->contentOffset().x, 150 * w);
  EXPECT_EQ(c->pageC()->numberOfPages(), 3);
  screenshot("three-pictures");

  const struct {
    int location;
    gfx::Rect frame;
  } table[] = {
      {kt::WGCycleScrollView::PageCLocationLeft, gfx::Rect(10, h - dots.height + 10, dots.width, dots.height - 10)},
      {kt::WGCycleScrollView::PageCLocationRight, gfx::Rect(w - dots.width - 10, h - dots.height, dots.width, dots.height)},
      {kt::WGCycleScrollView::PageCLocationCenter, gfx::Rect((w - dots.width) / 2, h - dots.height, dots.width, dots.height)},
      {7, gfx::Rect((w - dots.width) / 2, h - dots.height, dots.width, dots.height)},
  };
  for (const auto& row : table) {
    c->setPageCLocation(row.location);
    EXPECT_EQ(c->pageC()->frame(), row.frame) << "location " << row.location;
  }
}

INSTANTIATE_TEST_SUITE_P(BothTablets, CarouselFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
