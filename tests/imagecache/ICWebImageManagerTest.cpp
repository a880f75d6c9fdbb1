#include "imagecache/ICWebImageManager.h"

#include "WebImageTestSupport.h"
#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageCombinedOperation.h"
#include "platform/net/URLError.h"
#include "venue/Gallery.h"

#include <memory>

namespace kt {
namespace {

struct Load {
  ImagePtr image;
  std::optional<core::Error> error;
  ICImageCacheSource source = ICImageCacheSource::None;
  bool finished = false;
  bool onMainThread = false;
};

class ICWebImageManagerTest : public testing::WebImageTest {
 protected:
  ICWebImageManagerTest() {
    m_cache = std::make_shared<ICImageCache>("manager-test", homePath());
    m_manager = std::make_shared<ICWebImageManager>(m_cache, m_downloader);
  }
  ~ICWebImageManagerTest() override {
    m_manager->cancelAll();
    support::runUntil([this] { return !m_manager->isRunning(); }, 5);
  }

  ICWebImageLoadCompletion recordInto(std::vector<Load>& loads) {
    return [&loads](ImagePtr image, std::optional<core::Error> error, ICImageCacheSource source, bool finished,
                    std::optional<net::URL>) {
      loads.push_back({std::move(image), std::move(error), source, finished, onMainThread()});
    };
  }
  // The final result of one load, once it has come.
  Load load(const std::optional<net::URL>& url, unsigned options = 0) {
    std::vector<Load> loads;
    m_manager->downloadImageWithURL(url, options, nullptr, recordInto(loads));
    EXPECT_TRUE(support::runUntil([&] { return !loads.empty() && loads.back().finished; }, 10));
    return loads.empty() ? Load{} : loads.back();
  }
  // Waits until the cache's disk queue has done what was given to it before.
  void settleDisk() {
    bool answered = false;
    m_cache->diskImageExistsWithKey("settle", [&](bool) { answered = true; });
    EXPECT_TRUE(support::runUntil([&] { return answered; }, 5));
  }
  static ImagePtr picture() { return gfx::Image::fromPixels(2, 2, std::vector<uint32_t>(4, 0xFF336699u)); }

  std::shared_ptr<ICImageCache> m_cache;
  std::shared_ptr<ICWebImageManager> m_manager;
};

TEST_F(ICWebImageManagerTest, DownloadsOnceStoresAndDeliversOnTheMainThread) {
  auto url = dishURL("1");
  int progressCalls = 0;
  bool progressOnMain = true;
  std::vector<Load> loads;
  m_manager->downloadImageWithURL(
      url, 0, [&](int64_t, int64_t) { ++progressCalls, progressOnMain = progressOnMain && onMainThread(); },
      recordInto(loads));
  EXPECT_TRUE(m_manager->isRunning());
  ASSERT_TRUE(support::runUntil([&] { return !loads.empty(); }, 10));
  // Taken out of the running list before its result was delivered.
  EXPECT_FALSE(m_manager->isRunning());
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_TRUE(loads[0].image);
  EXPECT_TRUE(loads[0].onMainThread);
  EXPECT_EQ(loads[0].source, ICImageCacheSource::None);
  EXPECT_GT(progressCalls, 0);
  EXPECT_TRUE(progressOnMain);
  settleDisk();
  EXPECT_TRUE(m_manager->diskImageExistsForURL(url));
  EXPECT_TRUE(m_manager->cachedImageExistsForURL(url));
}

TEST_F(ICWebImageManagerTest, AFailedURLIsRefusedUntilARetrySucceeds) {
  auto url = dishURL("1");
  m_server.setFault("Flag=00", venue::Fault::status(404));
  Load failed = load(url);
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->code(), 404);

  // Refused at once, before the call returns, without a request.
  std::vector<Load> refused;
  m_manager->downloadImageWithURL(url, 0, nullptr, recordInto(refused));
  ASSERT_EQ(refused.size(), 1u);
  ASSERT_TRUE(refused[0].error);
  EXPECT_EQ(refused[0].error->domain(), net::URLError::Domain);
  EXPECT_EQ(refused[0].error->code(), -1100);
  EXPECT_TRUE(refused[0].finished);
  EXPECT_EQ(m_server.requestCount(), 1u);

  m_server.clearFaults();
  EXPECT_TRUE(load(url, ICWebImageLoadRetryFailed).image);
  m_cache->clearMemory();
  m_cache->removeImageForKey(url->absoluteString(), true);
  Load accepted = load(url);
  EXPECT_TRUE(accepted.image);
  EXPECT_FALSE(accepted.error);
  EXPECT_EQ(m_server.requestCount(), 3u);
}

TEST_F(ICWebImageManagerTest, PassingNetworkErrorsDoNotMarkTheURLFailed) {
  // A time-out: the reply never comes.
  m_downloader->setDownloadTimeout(0.3);
  m_server.setFault("Flag=00", venue::Fault::heldBy(std::make_shared<venue::Gate>()));
  auto slow = dishURL("1");
  Load timedOut = load(slow);
  ASSERT_TRUE(timedOut.error);
  EXPECT_EQ(timedOut.error->code(), net::URLError::TimedOut);
  EXPECT_EQ(load(slow).error->code(), net::URLError::TimedOut);

  // A refused connection: a port nobody listens on any more.
  venue::WebServer gone;
  ASSERT_TRUE(gone.start());
  auto refusedURL = net::URL::fromString(gone.baseUrl() + "/singer/a.png");
  gone.stop();
  EXPECT_EQ(load(refusedURL).error->code(), net::URLError::CannotConnectToHost);
  EXPECT_EQ(load(refusedURL).error->code(), net::URLError::CannotConnectToHost);

  // An absent URL is refused as not existing.
  EXPECT_EQ(load(std::nullopt).error->code(), -1100);
  EXPECT_EQ(load(net::URL::fromString("")).error->code(), -1100);
}

TEST_F(ICWebImageManagerTest, CancellingBeforeTheCacheAnswersDeliversNothing) {
  auto url = dishURL("1");
  std::vector<Load> loads;
  auto handle = m_manager->downloadImageWithURL(url, 0, nullptr, recordInto(loads));
  handle->cancel();
  EXPECT_FALSE(m_manager->isRunning());
  settleDisk();
  support::drainMainLoop();
  EXPECT_TRUE(loads.empty());
  EXPECT_EQ(m_server.requestCount(), 0u);
}

TEST_F(ICWebImageManagerTest, AMemoryHitIsDeliveredBeforeTheCallReturns) {
  auto url = dishURL("1");
  m_cache->storeImage(picture(), url->absoluteString(), false);
  std::vector<Load> loads;
  auto handle = m_manager->downloadImageWithURL(url, 0, nullptr, recordInto(loads));
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(loads[0].source, ICImageCacheSource::Memory);
  EXPECT_TRUE(loads[0].finished);
  auto combined = std::dynamic_pointer_cast<ICWebImageCombinedOperation>(handle);
  ASSERT_TRUE(combined);
  EXPECT_EQ(combined->cacheOperation(), nullptr);
  EXPECT_FALSE(combined->hasCancelBlock());
  EXPECT_FALSE(m_manager->isRunning());
  EXPECT_EQ(m_server.requestCount(), 0u);
}

TEST_F(ICWebImageManagerTest, RefreshCachedDeliversTheCachedImageThenTheDownloadedOne) {
  auto url = dishURL("1");
  auto cached = picture();
  m_cache->storeImage(cached, url->absoluteString(), false);
  std::vector<Load> loads;
  m_manager->downloadImageWithURL(url, ICWebImageLoadRefreshCached, nullptr, recordInto(loads));
  ASSERT_TRUE(support::runUntil([&] { return loads.size() == 2; }, 10));
  EXPECT_EQ(loads[0].image, cached);
  EXPECT_EQ(loads[0].source, ICImageCacheSource::Memory);
  ASSERT_TRUE(loads[1].image);
  EXPECT_EQ(loads[1].image->pixelWidth(), 64);
  EXPECT_EQ(loads[1].source, ICImageCacheSource::None);
  EXPECT_EQ(m_server.requestCount(), 1u);
}

TEST_F(ICWebImageManagerTest, ANotModifiedAnswerEndsTheLoadOnce) {
  // The stand-in answers 304 to a request that names the picture's entity tag.
  m_downloader->setValue(venue::Gallery::entityTag(venue::Gallery::thumbnail(1)), "If-None-Match");
  auto url = net::URL::fromString(m_server.baseUrl() + "/images/thumb-1.jpg");

  // Nothing cached: the load fails once, with the status, and leaves the running list.
  std::vector<Load> loads;
  m_manager->downloadImageWithURL(url, 0, nullptr, recordInto(loads));
  ASSERT_TRUE(support::runUntil([&] { return !loads.empty(); }, 10));
  ASSERT_TRUE(loads[0].error);
  EXPECT_EQ(loads[0].error->domain(), net::URLError::Domain);
  EXPECT_EQ(loads[0].error->code(), 304);
  EXPECT_TRUE(loads[0].finished);
  EXPECT_FALSE(m_manager->isRunning());

  // A cached image refreshed: delivered first, then confirmed by the 304 without a second result.
  auto cached = picture();
  m_cache->storeImage(cached, url->absoluteString(), false);
  std::vector<Load> refreshed;
  m_manager->downloadImageWithURL(url, ICWebImageLoadRefreshCached, nullptr, recordInto(refreshed));
  ASSERT_TRUE(support::runUntil([&] { return m_server.waitForAnswers(2, 0) && !m_manager->isRunning(); }, 10));
  support::drainMainLoop();
  ASSERT_EQ(refreshed.size(), 1u);
  EXPECT_EQ(refreshed[0].image, cached);
  EXPECT_EQ(m_server.requestCount(), 2u);

  // The 304 did not mark the URL as failed: without the tag it loads without the retry option.
  m_downloader->setValue(std::nullopt, "If-None-Match");
  m_cache->clearMemory();
  EXPECT_TRUE(load(url).image);
}

TEST_F(ICWebImageManagerTest, MemoryCacheOnlyWritesNoFile) {
  auto memoryOnly = dishURL("1");
  auto both = dishURL("2");
  EXPECT_TRUE(load(memoryOnly, ICWebImageLoadMemoryCacheOnly).image);
  EXPECT_TRUE(load(both).image);
  settleDisk();
  EXPECT_TRUE(m_cache->imageFromMemoryCacheForKey(memoryOnly->absoluteString()));
  EXPECT_FALSE(m_manager->diskImageExistsForURL(memoryOnly));
  EXPECT_TRUE(m_manager->diskImageExistsForURL(both));
}

TEST_F(ICWebImageManagerTest, OneCallerCancellingLeavesTheOtherItsImage) {
  auto gate = std::make_shared<venue::Gate>();
  m_server.setFault("Flag=00", venue::Fault::heldBy(gate));
  auto url = dishURL("1");
  std::vector<Load> first, second;
  auto handle1 = m_manager->downloadImageWithURL(url, 0, nullptr, recordInto(first));
  m_manager->downloadImageWithURL(url, 0, nullptr, recordInto(second));
  // The cache answers on the main queue: the loop runs while waiting.
  ASSERT_TRUE(support::runUntil([&] { return gate->arrived() == 1; }, 5));
  handle1->cancel();
  gate->open();
  ASSERT_TRUE(support::runUntil([&] { return !second.empty(); }, 10));
  EXPECT_TRUE(second[0].image);
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(m_server.requestCount(), 1u);
  EXPECT_FALSE(m_manager->isRunning());
}

TEST_F(ICWebImageManagerTest, CancelAllEndsEveryLoad) {
  // Never answered: only the cancel ends the loads.
  m_server.setFault("Flag=00", venue::Fault::heldBy(std::make_shared<venue::Gate>()));
  std::vector<Load> loads;
  m_manager->downloadImageWithURL(dishURL("1"), 0, nullptr, recordInto(loads));
  m_manager->downloadImageWithURL(dishURL("2"), 0, nullptr, recordInto(loads));
  ASSERT_TRUE(support::runUntil([&] { return m_server.requestCount() == 2; }, 5));
  m_manager->cancelAll();
  EXPECT_FALSE(m_manager->isRunning());
  ASSERT_TRUE(support::runUntil([&] { return m_downloader->currentDownloadCount() == 0; }, 5));
  support::drainMainLoop();
  EXPECT_TRUE(loads.empty());
}

TEST_F(ICWebImageManagerTest, TheDelegateCanForbidDownloadsAndTransformImages) {
  auto delegate = std::make_shared<ICWebImageManagerDelegate>();
  auto replacement = picture();
  delegate->shouldDownloadImageForURL = [](ICWebImageManager&, const std::optional<net::URL>& url) {
    return url->absoluteString().find("id=allowed") != std::string::npos;
  };
  bool transformedOffMain = false;
  delegate->transformDownloadedImage = [&](ICWebImageManager&, const ImagePtr&, const std::optional<net::URL>&) {
    transformedOffMain = !onMainThread();
    return replacement;
  };
  m_manager->setDelegate(delegate);

  Load forbidden = load(dishURL("forbidden"));
  EXPECT_FALSE(forbidden.image);
  EXPECT_FALSE(forbidden.error);
  EXPECT_EQ(m_server.requestCount(), 0u);

  auto allowed = dishURL("allowed");
  Load transformed = load(allowed);
  EXPECT_EQ(transformed.image, replacement);
  EXPECT_TRUE(transformed.onMainThread);
  EXPECT_TRUE(transformedOffMain);
  EXPECT_EQ(m_cache->imageFromMemoryCacheForKey(allowed->absoluteString()), replacement);
}

TEST_F(ICWebImageManagerTest, CacheKeysAndTextURLs) {
  EXPECT_EQ(m_manager->cacheKeyForURL(std::nullopt), "");
  EXPECT_EQ(m_manager->cacheKeyForURL(net::URL::fromString("http://a/b.png")), "http://a/b.png");
  m_manager->setCacheKeyFilter([](const std::optional<net::URL>& url) { return url->path(); });
  EXPECT_EQ(m_manager->cacheKeyForURL(net::URL::fromString("http://a/b.png?x=1")), "/b.png");

  std::vector<Load> loads;
  m_manager->downloadImageWithURL(std::string_view("not a url"), 0, nullptr, recordInto(loads));
  ASSERT_EQ(loads.size(), 1u);
  EXPECT_EQ(loads[0].error->code(), -1100);
}

}  // namespace
}  // namespace kt
