// The banner carousel on the offscreen screen: its step on the virtual clock, taps, the page dots,
// pictures from the bundle and from the stand-in gallery, and its odd inputs.
#include "widgets/controls/WGCycleScrollView.h"

#include <gtest/gtest.h>

#include "imagecache/ViewLoaderFixture.h"
#include "platform/ui/CollectionViewFlowLayout.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/Window.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "widgets/controls/WGCycleScrollViewCell.h"

namespace {

using kt::WGCycleScrollView;

struct Taps : kt::WGCycleScrollViewDelegate {
  void didSelectTheItemAtIndex(int index, WGCycleScrollView& carousel) override {
    indexes.push_back(index);
    from = &carousel;
  }
  std::vector<int> indexes;
  WGCycleScrollView* from = nullptr;
};

const std::vector<std::string> kThree = {"1", "SuperStarsBg", "SongsHomePageBg"};

class CarouselTest : public support::SessionsLetGoAtEnd, public support::ScreenTest {
 protected:
  ~CarouselTest() override {
    runUntil([] { return kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0; });
    kt::ICImageCache::sharedImageCache()->getDiskCount();
  }
  // Shown across the top of the window, 225 points high unless another frame is given.
  std::shared_ptr<WGCycleScrollView> show(const std::vector<std::string>& paths, std::optional<gfx::Rect> frame = {}) {
    auto c = WGCycleScrollView::cycleScrollViewWithFrame(frame.value_or(gfx::Rect(0, 0, window().bounds().width(), 225)),
                                                         paths);
    window().addSubview(c);
    render();
    return c;
  }
  // The item at the carousel's left edge.
  static int item(const WGCycleScrollView& c) { return int(c.mainView()->contentOffset().x / c.bounds().width() + 0.5); }
  static std::shared_ptr<ui::ImageView> pictureOf(WGCycleScrollView& c, int item) {
    auto cell = c.mainView()->cellForItemAtIndexPath(ui::IndexPath::forItem(item, 0));
    return cell ? std::static_pointer_cast<kt::WGCycleScrollViewCell>(cell)->imgV() : nullptr;
  }
  void showItem(WGCycleScrollView& c, int item) {
    c.mainView()->setContentOffset({item * c.bounds().width(), 0});
    render();
  }
};

TEST_F(CarouselTest, StepsEveryTwoSecondsWrapsRoundAndADragRestartsTheFullPeriod) {
  auto c = show(kThree);
  EXPECT_EQ(item(*c), 150);  // of 300
  EXPECT_EQ(pictureOf(*c, 150)->image(), gfx::Image::named("1"));
  wait(1.9);
  EXPECT_EQ(item(*c), 150);
  wait(0.5);  // the tick at 2.0 s and its 0.3 s scroll
  EXPECT_EQ(item(*c), 151);
  EXPECT_EQ(c->pageC()->currentPage(), 1);
  showItem(*c, 299);
  wait(2.0);
  EXPECT_EQ(item(*c), 150);

  wait(1.0);
  drag({600, 100}, {580, 100}, 60);  // slow and short: back to the same page
  wait(1.8);                          // past the old timer's tick, short of the new one's
  EXPECT_EQ(item(*c), 150);
  wait(0.7);
  EXPECT_EQ(item(*c), 151);
}

TEST_F(CarouselTest, TapsReportThePictureIndexOnlyForItemsInRangeAndOnlyWhileTheDelegateLives) {
  auto c = show(kThree);
  auto taps = std::make_unique<Taps>();
  c->setDelegate(taps.get());
  for (int shown : {150, 151, 299}) {
    showItem(*c, shown);
    tap(gfx::Point{300, 100});
  }
  EXPECT_EQ(taps->indexes, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(taps->from, c.get());
  for (auto ip : {ui::IndexPath::forItem(300, 0), ui::IndexPath::forItem(-1, 0), ui::IndexPath::forItem(0, 1)})
    c->mainView()->delegate()->didSelectItemAtIndexPath(*c->mainView(), ip);
  EXPECT_EQ(taps->indexes.size(), 3u);
  taps.reset();
  EXPECT_EQ(c->delegate(), nullptr);
  tap(gfx::Point{300, 100});
}

TEST_F(CarouselTest, TheLocalPicturesFactoryReportsTapsToItsDelegate) {
  Taps taps;
  auto c = WGCycleScrollView::cycleScrollViewWithFrame(gfx::Rect(0, 0, window().bounds().width(), 225), kThree, &taps);
  window().addSubview(c);
  render();
  EXPECT_EQ(c->delegate(), &taps);
  EXPECT_TRUE(c->isTimerRunning());
  showItem(*c, 151);
  tap(gfx::Point{300, 100});
  EXPECT_EQ(taps.indexes, (std::vector<int>{1}));
}

TEST_F(CarouselTest, NoPicturesOrNoWidthMeanNoTimerAndNoDivisionByZero) {
  Taps taps;
  auto empty = show({});
  empty->setDelegate(&taps);
  EXPECT_FALSE(empty->isTimerRunning());
  EXPECT_EQ(empty->pageC()->numberOfPages(), 0);
  tap(gfx::Point{300, 100});
  empty->mainView()->delegate()->didSelectItemAtIndexPath(*empty->mainView(), ui::IndexPath::forItem(0, 0));
  empty->scrollByMyself();
  empty->mainView()->setContentOffset({40, 0});
  EXPECT_TRUE(taps.indexes.empty());

  // Every new list sets the dots; one that empties stops the timer.
  auto c = show(kThree);
  c->setArr_imagePath({"1", "SuperStarsBg"});
  EXPECT_EQ(c->pageC()->numberOfPages(), 2);
  EXPECT_EQ(item(*c), 100);
  c->setArr_imagePath({});
  EXPECT_FALSE(c->isTimerRunning());
  EXPECT_EQ(c->pageC()->numberOfPages(), 0);

  for (gfx::Rect frame : {gfx::Rect(0, 0, 0, 225), gfx::Rect(10, 10, 0, 0)}) {
    auto thin = show(kThree, frame);
    thin->scrollByMyself();
    thin->mainView()->setContentOffset({30, 0});
  }
  wait(4.5);
}

TEST_F(CarouselTest, RemovalStopsTheTimerAndTheTimerKeepsNothingAlive) {
  auto c = show(kThree);
  EXPECT_TRUE(c->isTimerRunning());
  c->removeFromSuperview();
  EXPECT_FALSE(c->isTimerRunning());
  wait(4.5);
  EXPECT_EQ(item(*c), 150);

  auto loose = WGCycleScrollView::cycleScrollViewWithFrame(gfx::Rect(0, 0, 300, 100), kThree);
  ASSERT_TRUE(loose->isTimerRunning());
  std::weak_ptr<WGCycleScrollView> watch = loose;
  loose.reset();
  EXPECT_TRUE(watch.expired());
  wait(2.5);
}

TEST_F(CarouselTest, WebPicturesLoadFromTheGalleryAndAReusedCellKeepsItsBundlePicture) {
  venue::WebServer web;
  ASSERT_TRUE(web.start());
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("images", venue::Fault::heldBy(gate));
  auto c = show({web.baseUrl() + "/images/thumb-7.jpg", "SuperStarsBg"});
  c->setAutoScroll(false);  // the cells stay where the test puts them
  auto first = pictureOf(*c, 100);  // two pictures: item 100 is the middle
  EXPECT_EQ(first->image(), gfx::Image::named("1"));

  // Reused for a bundle picture while its download is on its way; then the download comes.
  ASSERT_TRUE(runUntil([&] { return gate->arrived() >= 1; }, 10));  // the cache looks on the main loop first
  showItem(*c, 111);
  ASSERT_EQ(pictureOf(*c, 111), first);
  gate->open();
  ASSERT_TRUE(runUntil([&] {
    return web.waitForAnswers(web.requestCount(), 0) &&
           kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0;
  }, 15));
  wait(0.2);
  EXPECT_EQ(first->image(), gfx::Image::named("SuperStarsBg"));

  showItem(*c, 100);
  auto picture = pictureOf(*c, 100);
  EXPECT_TRUE(runUntil([&] { return viewloader::isThumbnail(picture->image(), 7); }));
}

class CarouselFramesTest : public CarouselTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(CarouselFramesTest, TheListFillsTheCarouselAndTheDotsTakeTheirThreePlaces) {
  setDevice(GetParam());
  auto c = show(kThree);
  const double w = window().bounds().width(), h = 225;
  const gfx::Size d = c->pageC()->sizeForNumberOfPages(3);
  EXPECT_EQ(c->mainView()->frame(), gfx::Rect(0, 0, w, h));
  EXPECT_EQ(c->flowLayout()->itemSize(), (gfx::Size{w, h}));
  EXPECT_EQ(c->mainView()->contentOffset().x, 150 * w);
  screenshot("three-pictures");

  const std::pair<int, gfx::Rect> table[] = {
      {WGCycleScrollView::PageCLocationLeft, gfx::Rect(10, h - d.height + 10, d.width, d.height - 10)},
      {WGCycleScrollView::PageCLocationRight, gfx::Rect(w - d.width - 10, h - d.height, d.width, d.height)},
      {WGCycleScrollView::PageCLocationCenter, gfx::Rect((w - d.width) / 2, h - d.height, d.width, d.height)},
      {7, gfx::Rect((w - d.width) / 2, h - d.height, d.width, d.height)},  // unknown: left as it was
  };
  for (const auto& [location, frame] : table) {
    c->setPageCLocation(location);
    EXPECT_EQ(c->pageC()->frame(), frame) << "location " << location;
  }
}

INSTANTIATE_TEST_SUITE_P(BothTablets, CarouselFramesTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
