#include "imagecache/ImageViewWebCache.h"

#include "imagecache/ICWebImageManager.h"
#include "imagecache/ImageViewWebCacheDeprecated.h"
#include "platform/core/Queue.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/ImageView.h"
#include "ViewLoaderFixture.h"

using namespace kt;
using support::runUntil;
using viewloader::isThumbnail;
using viewloader::Result;

namespace {

class ImageViewWebCacheTest : public viewloader::ViewLoaderTest {
 protected:
  std::shared_ptr<ui::ImageView> view = ui::ImageView::create(gfx::Rect(0, 0, 100, 80));
  std::shared_ptr<const gfx::Image> placeholder = gfx::Image::fromPixels(2, 2, std::vector<uint32_t>(4, 0xff00ff00u));
};

}  // namespace

TEST_F(ImageViewWebCacheTest, PlaceholderFirstThenTheImageAndTheURL) {
  Result result;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(1), placeholder, recordInto(result));
  EXPECT_EQ(view->image(), placeholder);
  EXPECT_EQ(ImageViewWebCache::ic_imageURL(view), thumb(1));
  ASSERT_TRUE(runUntil([&] { return result.calls == 1; }));
  EXPECT_TRUE(isThumbnail(view->image(), 1));
  EXPECT_EQ(result.image, view->image());
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.source, ICImageCacheSource::None);  // downloaded
  EXPECT_EQ(result.url, thumb(1));
  EXPECT_TRUE(view->needsLayout());

  // Now in memory: set before the loader returns.
  auto other = ui::ImageView::create();
  Result again;
  ImageViewWebCache::ic_setImageWithURL(other, thumb(1), recordInto(again));
  EXPECT_EQ(other->image(), view->image());
  EXPECT_EQ(again.calls, 1);
  EXPECT_EQ(again.source, ICImageCacheSource::Memory);
  EXPECT_EQ(web.requestsTo("images").size(), 1u);
}

TEST_F(ImageViewWebCacheTest, AReusedViewShowsOnlyItsNewRowsImage) {
  // The old row's picture comes only after the new row's.
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("/images/thumb-1.jpg", venue::Fault::heldBy(gate));
  Result first, second;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(1), placeholder, recordInto(first));
  ASSERT_TRUE(runUntil([&] { return gate->arrived() == 1; }));
  ImageViewWebCache::ic_setImageWithURL(view, thumb(2), placeholder, recordInto(second));
  ASSERT_TRUE(runUntil([&] { return second.calls == 1; }));
  EXPECT_TRUE(isThumbnail(view->image(), 2));
  gate->open();
  ASSERT_TRUE(runUntil([&] { return web.waitForAnswers(2, 0); }));
  settle();
  EXPECT_TRUE(isThumbnail(view->image(), 2));
  EXPECT_EQ(first.calls, 0);
  EXPECT_EQ(ImageViewWebCache::ic_imageURL(view), thumb(2));

  // Cancelling without a new load leaves the placeholder.
  auto later = std::make_shared<venue::Gate>();
  web.setFault("/images/thumb-3.jpg", venue::Fault::heldBy(later));
  ImageViewWebCache::ic_setImageWithURL(view, thumb(3), placeholder);
  ImageViewWebCache::ic_cancelCurrentImageLoad(view);
  later->open();
  settle();
  EXPECT_EQ(view->image(), placeholder);
}

TEST_F(ImageViewWebCacheTest, ANilURLEmptiesTheViewAndReportsIt) {
  view->setImage(placeholder);
  Result result;
  ImageViewWebCache::setShowActivityIndicatorView(view, true);
  ImageViewWebCache::addActivityIndicator(view);
  ImageViewWebCache::ic_setImageWithURL(view, std::nullopt, recordInto(result));
  EXPECT_EQ(view->image(), nullptr);
  EXPECT_EQ(ImageViewWebCache::ic_imageURL(view), std::nullopt);
  EXPECT_EQ(ImageViewWebCache::activityIndicator(view), nullptr);
  ASSERT_EQ(result.calls, 1);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->domain(), "ICWebImageErrorDomain");
  EXPECT_EQ(result.error->code(), -1);
  EXPECT_EQ(result.error->localizedDescription(), "Trying to load a nil url");
  EXPECT_EQ(result.image, nullptr);
  EXPECT_EQ(result.url, std::nullopt);
  EXPECT_EQ(web.requestCount(), 0u);
}

TEST_F(ImageViewWebCacheTest, DelayedPlaceholderKeepsTheOldImageAndComesOnlyWithoutAnImage) {
  auto old = gfx::Image::fromPixels(3, 3, std::vector<uint32_t>(9, 0xff0000ffu));
  view->setImage(old);
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("/images/thumb-4.jpg", venue::Fault::heldBy(gate));
  Result loaded;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(4), placeholder, ICWebImageLoadDelayPlaceholder,
                                        recordInto(loaded));
  EXPECT_EQ(view->image(), old);
  ASSERT_TRUE(runUntil([&] { return gate->arrived() == 1; }));
  EXPECT_EQ(view->image(), old);
  gate->open();
  ASSERT_TRUE(runUntil([&] { return loaded.calls == 1; }));
  EXPECT_TRUE(isThumbnail(view->image(), 4));

  web.setFault("/images/thumb-5.jpg", venue::Fault::status(404));
  Result failed;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(5), placeholder, ICWebImageLoadDelayPlaceholder,
                                        recordInto(failed));
  EXPECT_TRUE(isThumbnail(view->image(), 4));
  ASSERT_TRUE(runUntil([&] { return failed.calls == 1; }));
  EXPECT_EQ(view->image(), placeholder);
  EXPECT_TRUE(failed.error);
}

TEST_F(ImageViewWebCacheTest, AvoidAutoSetHandsTheImageToTheCompletionOnly) {
  Result result;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(6), placeholder, ICWebImageLoadAvoidAutoSetImage,
                                        recordInto(result));
  ASSERT_TRUE(runUntil([&] { return result.calls == 1; }));
  EXPECT_TRUE(isThumbnail(result.image, 6));
  EXPECT_EQ(view->image(), placeholder);
  // Without a completion the option sets the image after all.
  ImageViewWebCache::ic_setImageWithURL(view, thumb(6), placeholder, ICWebImageLoadAvoidAutoSetImage);
  EXPECT_TRUE(isThumbnail(view->image(), 6));
}

TEST_F(ImageViewWebCacheTest, OldNamesRetryAFailedURLOnlyWithOptionOne) {
  web.setFault("/images/thumb-7.jpg", venue::Fault::status(404).only(1));
  Result failed;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(7), recordInto(failed));
  ASSERT_TRUE(runUntil([&] { return failed.calls == 1; }));
  ASSERT_EQ(web.requestCount(), 1u);

  // setImageWithURL(url) uses options 0: the failed URL is not asked for again.
  ImageViewWebCacheDeprecated::setImageWithURL(view, thumb(7));
  int oldCalls = 0;
  ImageViewWebCacheDeprecated::setImageWithURL(
      view, thumb(7), [&](std::shared_ptr<const gfx::Image> image, std::optional<core::Error> error, ICImageCacheSource) {
        ++oldCalls;
        EXPECT_FALSE(image);
        EXPECT_TRUE(error);
      });
  EXPECT_TRUE(runUntil([&] { return oldCalls == 1; }));
  EXPECT_EQ(web.requestCount(), 1u);
  EXPECT_EQ(view->image(), nullptr);

  // The screens' call: no placeholder, option 1.
  ImageViewWebCacheDeprecated::setImageWithURL(view, thumb(7), ImagePtr(), ICWebImageLoadRetryFailed);
  ASSERT_TRUE(runUntil([&] { return view->image() != nullptr; }));
  EXPECT_TRUE(isThumbnail(view->image(), 7));
  EXPECT_EQ(web.requestCount(), 2u);
  EXPECT_EQ(ImageViewWebCacheDeprecated::imageURL(view), thumb(7));
}

TEST_F(ImageViewWebCacheTest, PreviousCachedImageStandsInWhileLoading) {
  Result first;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(8), recordInto(first));
  auto manager = ICWebImageManager::sharedManager();
  ASSERT_TRUE(runUntil([&] { return first.calls == 1 && manager->diskImageExistsForURL(thumb(8)); }));
  manager->imageCache()->clearMemory();

  auto other = ui::ImageView::create();
  Result second;
  ImageViewWebCache::ic_setImageWithPreviousCachedImageWithURL(other, thumb(8), placeholder, 0, {}, recordInto(second));
  EXPECT_TRUE(isThumbnail(other->image(), 8));  // read from disk now
  ASSERT_TRUE(runUntil([&] { return second.calls == 1; }));

  auto third = ui::ImageView::create();
  ImageViewWebCache::ic_setImageWithPreviousCachedImageWithURL(third, thumb(9), placeholder, 0, {}, {});
  EXPECT_EQ(third->image(), placeholder);
}

TEST_F(ImageViewWebCacheTest, AnimationImagesAreReplacedByASecondList) {
  web.setFault("/images/thumb-12.jpg", venue::Fault::html());
  ImageViewWebCache::ic_setAnimationImagesWithURLs(view, {thumb(10), thumb(11), thumb(12)});
  ASSERT_TRUE(runUntil([&] { return view->animationImages().size() == 2 && web.waitForAnswers(3, 0); }));
  settle();
  EXPECT_EQ(view->animationImages().size(), 2u);  // the failed one adds no frame
  EXPECT_TRUE(view->isAnimating());

  ImageViewWebCache::ic_setAnimationImagesWithURLs(view, {thumb(13)});
  EXPECT_TRUE(view->animationImages().empty());
  ASSERT_TRUE(runUntil([&] { return view->animationImages().size() == 1; }));
  EXPECT_TRUE(isThumbnail(view->animationImages()[0], 13));
  EXPECT_TRUE(view->isAnimating());

  // A list cancelled half way adds nothing more.
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("/images/thumb-14.jpg", venue::Fault::heldBy(gate));
  ImageViewWebCacheDeprecated::setAnimationImagesWithURLs(view, {thumb(14)});
  ImageViewWebCacheDeprecated::cancelCurrentArrayLoad(view);
  gate->open();
  settle();
  EXPECT_TRUE(view->animationImages().empty());
}

TEST_F(ImageViewWebCacheTest, ActivityIndicatorCentredWhileLoading) {
  EXPECT_FALSE(ImageViewWebCache::showActivityIndicatorView(view));
  EXPECT_EQ(ImageViewWebCache::getIndicatorStyle(view), ui::ActivityIndicatorStyle::WhiteLarge);
  ImageViewWebCache::setShowActivityIndicatorView(view, true);
  ImageViewWebCache::setIndicatorStyle(view, ui::ActivityIndicatorStyle::Gray);
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("images", venue::Fault::heldBy(gate));
  Result result;
  ImageViewWebCache::ic_setImageWithURL(view, thumb(15), recordInto(result));
  auto indicator = ImageViewWebCache::activityIndicator(view);
  ASSERT_TRUE(indicator);
  EXPECT_EQ(indicator->superview(), view.get());
  EXPECT_EQ(indicator->style(), ui::ActivityIndicatorStyle::Gray);
  EXPECT_TRUE(indicator->isAnimating());
  EXPECT_EQ(indicator->center(), (gfx::Point{50, 40}));
  view->setFrame(gfx::Rect(0, 0, 200, 120));
  EXPECT_EQ(indicator->center(), (gfx::Point{100, 60}));
  gate->open();
  ASSERT_TRUE(runUntil([&] { return result.calls == 1; }));
  EXPECT_EQ(ImageViewWebCache::activityIndicator(view), nullptr);
  EXPECT_EQ(indicator->superview(), nullptr);
}

TEST_F(ImageViewWebCacheTest, AViewGoneBeforeItsLoadEndsIsLeftAlone) {
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("/images/thumb-16.jpg", venue::Fault::heldBy(gate));
  Result result;
  std::weak_ptr<ui::ImageView> gone = view;
  ImageViewWebCache::setShowActivityIndicatorView(view, true);
  ImageViewWebCache::ic_setImageWithURL(view, thumb(16), placeholder, recordInto(result));
  view.reset();
  EXPECT_TRUE(gone.expired());  // nothing the load holds keeps it
  gate->open();
  ASSERT_TRUE(runUntil([&] { return web.waitForAnswers(1, 0); }));
  settle();
  EXPECT_EQ(result.calls, 0);
  EXPECT_FALSE(ICWebImageManager::sharedManager()->isRunning());
}

TEST_F(ImageViewWebCacheTest, ALoadStartedOffTheMainThreadRunsOnIt) {
  Result result;
  core::Queue::global()->async([view = view, url = thumb(17), &result] {
    ImageViewWebCache::ic_setImageWithURL(view, url, nullptr, 0, {}, recordInto(result));
  });
  ASSERT_TRUE(runUntil([&] { return result.calls == 1; }));
  EXPECT_TRUE(isThumbnail(view->image(), 17));
  EXPECT_EQ(ImageViewWebCache::ic_imageURL(view), thumb(17));
}
