#include "http/HCImageDownloader.h"

#include "ImageTestServer.h"
#include "http/HCAutoPurgingImageCache.h"
#include "http/HCHTTPSessionManager.h"
#include "http/HCImageResponseSerializer.h"
#include "http/HCURLSessionTask.h"
#include "platform/core/Paths.h"
#include "platform/gfx/Image.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLError.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

namespace kt {
namespace {

struct Outcome {
  std::string tag;
  std::shared_ptr<gfx::Image> image;
  std::optional<core::Error> error;
  bool hadResponse = false;
};

class HCImageDownloaderTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  // The default session settings carry a URL cache on disk: it lives in the test's own home.
  support::TempHome m_home;

  ~HCImageDownloaderTest() override {
    m_server.release();
    if (m_manager) m_manager->invalidateSessionCancelingTasks(true);
    support::drainMainLoop();
  }

  std::shared_ptr<HCImageDownloader> makeDownloader(long limit,
                                                    HCImageDownloadPrioritization order = HCImageDownloadPrioritization::FIFO) {
    m_manager = HCHTTPSessionManager::create(std::nullopt, HCImageDownloader::defaultURLSessionConfiguration());
    m_manager->setResponseSerializer(HCImageResponseSerializer::serializer());
    m_cache = std::make_shared<HCAutoPurgingImageCache>();
    return HCImageDownloader::create(m_manager, order, limit, m_cache);
  }

  net::URLRequest request(const std::string& name) const {
    return net::URLRequest(net::URL::fromString(m_server.url(name)));
  }

  std::optional<HCImageDownloadReceipt> download(HCImageDownloader& downloader, const net::URLRequest& req,
                                                 const std::string& tag) {
    return downloader.downloadImageForURLRequest(
        req,
        [this, tag](const net::URLRequest&, std::shared_ptr<const net::HTTPURLResponse> response,
                    std::shared_ptr<gfx::Image> image) {
          m_outcomes.push_back({tag, image, std::nullopt, response != nullptr});
        },
        [this, tag](const net::URLRequest&, std::shared_ptr<const net::HTTPURLResponse> response,
                    const core::Error& error) { m_outcomes.push_back({tag, nullptr, error, response != nullptr}); });
  }

  const Outcome* outcome(const std::string& tag) const {
    for (const auto& o : m_outcomes) {
      if (o.tag == tag) return &o;
    }
    return nullptr;
  }
  bool waitForOutcomes(size_t count) {
    return support::runUntil([&] { return m_outcomes.size() >= count; }, 10);
  }

  testing::ImageTestServer m_server;
  std::shared_ptr<HCHTTPSessionManager> m_manager;
  std::shared_ptr<HCAutoPurgingImageCache> m_cache;
  std::vector<Outcome> m_outcomes;
};

TEST_F(HCImageDownloaderTest, RequestsForOneURLShareOneDownloadAndThenTheCache) {
  auto downloader = makeDownloader(4);
  m_server.hold();
  auto first = download(*downloader, request("a.png"), "first");
  auto second = download(*downloader, request("a.png"), "second");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->task, second->task);
  EXPECT_NE(first->receiptID, second->receiptID);
  m_server.release();

  ASSERT_TRUE(waitForOutcomes(2));
  EXPECT_EQ(m_server.hits("a.png"), 1);
  EXPECT_EQ(m_outcomes[0].tag, "first");
  EXPECT_EQ(m_outcomes[1].tag, "second");
  ASSERT_NE(m_outcomes[0].image, nullptr);
  EXPECT_EQ(m_outcomes[0].image, m_outcomes[1].image);
  EXPECT_TRUE(m_outcomes[0].hadResponse);
  EXPECT_EQ(m_outcomes[0].image->pixelWidth(), 4);

  // Now cached: no task, no response.
  ASSERT_TRUE(support::runUntil([&] { return m_cache->imageforRequest(request("a.png"), std::nullopt) != nullptr; }));
  EXPECT_FALSE(download(*downloader, request("a.png"), "cached"));
  ASSERT_TRUE(waitForOutcomes(3));
  EXPECT_EQ(m_outcomes[2].image, m_outcomes[0].image);
  EXPECT_FALSE(m_outcomes[2].hadResponse);
  EXPECT_EQ(m_server.hits("a.png"), 1);

  // Reloading ignores the cache.
  auto reload = request("a.png");
  reload.setCachePolicy(net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_TRUE(download(*downloader, reload, "reload"));
  ASSERT_TRUE(waitForOutcomes(4));
  EXPECT_EQ(m_server.hits("a.png"), 2);
}

TEST_F(HCImageDownloaderTest, CancellingOneReceiptLeavesTheOthersAndTheRunningDownload) {
  auto downloader = makeDownloader(4);
  m_server.hold();
  auto first = download(*downloader, request("b.png"), "first");
  auto second = download(*downloader, request("b.png"), "second");
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(support::runUntil([&] { return m_server.inFlight() == 1; }));

  downloader->cancelTaskForImageDownloadReceipt(*first);
  ASSERT_TRUE(waitForOutcomes(1));
  ASSERT_EQ(m_outcomes[0].tag, "first");
  ASSERT_TRUE(m_outcomes[0].error);
  EXPECT_EQ(m_outcomes[0].error->domain(), net::URLError::Domain);
  EXPECT_EQ(m_outcomes[0].error->code(), -999);
  EXPECT_EQ(m_outcomes[0].error->userInfo()[HCImageDownloader::FailureReasonKey].stringValue(),
            "ImageDownloader cancelled URL request: " + m_server.url("b.png"));

  // Even with no caller left, a running download goes on and fills the cache.
  downloader->cancelTaskForImageDownloadReceipt(*second);
  ASSERT_TRUE(waitForOutcomes(2));
  EXPECT_EQ(m_outcomes[1].tag, "second");
  m_server.release();
  ASSERT_TRUE(support::runUntil([&] { return m_cache->imageforRequest(request("b.png"), std::nullopt) != nullptr; }));
  EXPECT_EQ(m_outcomes.size(), 2u);
  EXPECT_EQ(m_server.hits("b.png"), 1);
}

TEST_F(HCImageDownloaderTest, NeverRunsMoreThanTheLimit) {
  auto downloader = makeDownloader(2);
  m_server.hold();
  for (const char* name : {"1.png", "2.png", "3.png"}) download(*downloader, request(name), name);
  ASSERT_TRUE(support::runUntil([&] { return m_server.inFlight() == 2; }));
  EXPECT_EQ(downloader->activeRequestCount(), 2);
  EXPECT_EQ(downloader->queuedTaskCount(), 1u);
  EXPECT_EQ(m_server.hits("3.png"), 0);

  m_server.release();
  ASSERT_TRUE(waitForOutcomes(3));
  for (const auto& o : m_outcomes) EXPECT_NE(o.image, nullptr) << o.tag;
  EXPECT_EQ(m_server.maxInFlight(), 2);
  EXPECT_TRUE(support::runUntil([&] { return downloader->activeRequestCount() == 0; }));
}

TEST_F(HCImageDownloaderTest, CancelledQueuedDownloadsFreeNoSlot) {
  auto downloader = makeDownloader(1);
  m_server.hold();
  auto running = download(*downloader, request("run.png"), "run");
  auto queued = download(*downloader, request("q.png"), "q");
  download(*downloader, request("next.png"), "next");
  ASSERT_TRUE(running && queued);
  ASSERT_TRUE(support::runUntil([&] { return m_server.inFlight() == 1; }));

  downloader->cancelTaskForImageDownloadReceipt(*queued);
  ASSERT_TRUE(waitForOutcomes(1));
  EXPECT_EQ(m_outcomes[0].tag, "q");
  EXPECT_EQ(m_outcomes[0].error->code(), -999);
  // Its task is cancelled; its end must not let "next" start beside the running one.
  ASSERT_TRUE(support::runUntil(
      [&] { return queued->task->state() == net::URLSessionTaskState::Completed; }));
  support::drainMainLoop();
  EXPECT_EQ(downloader->activeRequestCount(), 1);

  m_server.release();
  ASSERT_TRUE(waitForOutcomes(3));
  EXPECT_NE(outcome("run")->image, nullptr);
  EXPECT_NE(outcome("next")->image, nullptr);
  EXPECT_EQ(m_server.hits("q.png"), 0);
  EXPECT_EQ(m_server.maxInFlight(), 1);

  // A later request for the cancelled URL makes a new task.
  auto again = download(*downloader, request("q.png"), "again");
  ASSERT_TRUE(again);
  EXPECT_NE(again->task, queued->task);
  ASSERT_TRUE(waitForOutcomes(4));
  EXPECT_NE(outcome("again")->image, nullptr);
}

TEST_F(HCImageDownloaderTest, LastInFirstOutStartsTheNewestWaitingRequest) {
  auto downloader = makeDownloader(1, HCImageDownloadPrioritization::LIFO);
  m_server.hold();
  download(*downloader, request("first.png"), "first");
  ASSERT_TRUE(support::runUntil([&] { return m_server.inFlight() == 1; }));
  download(*downloader, request("older.png"), "older");
  download(*downloader, request("newer.png"), "newer");
  m_server.release();
  ASSERT_TRUE(waitForOutcomes(3));
  EXPECT_EQ(m_server.arrivals(), (std::vector<std::string>{"/img/first.png", "/img/newer.png", "/img/older.png"}));
}

TEST_F(HCImageDownloaderTest, RequestWithoutAURLFailsWithBadURL) {
  auto downloader = makeDownloader(4);
  EXPECT_FALSE(download(*downloader, net::URLRequest(), "bad"));
  ASSERT_TRUE(waitForOutcomes(1));
  ASSERT_TRUE(m_outcomes[0].error);
  EXPECT_EQ(m_outcomes[0].error->code(), -1000);
  EXPECT_EQ(m_outcomes[0].error->domain(), net::URLError::Domain);
}

TEST(HCImageDownloaderDefaultsTest, SessionSettingsCarryAURLCacheOfTwentyAndOneHundredFiftyMebibytes) {
  support::TempHome home;
  auto cache = HCImageDownloader::defaultURLCache();
  ASSERT_TRUE(cache);
  EXPECT_EQ(cache->memoryCapacity(), 20971520u);
  EXPECT_EQ(cache->diskCapacity(), 157286400u);
  EXPECT_EQ(cache->diskPath(), core::paths::cacheDir() + "/" + HCImageDownloader::DefaultURLCacheDiskPath);
  EXPECT_EQ(cache->diskPath().rfind(home.path(), 0), 0u);

  auto configuration = HCImageDownloader::defaultURLSessionConfiguration();
  ASSERT_TRUE(configuration.URLCache());
  EXPECT_EQ(configuration.URLCache()->diskCapacity(), 157286400u);
  EXPECT_EQ(configuration.requestCachePolicy(), net::URLRequestCachePolicy::UseProtocolCachePolicy);
  EXPECT_TRUE(configuration.HTTPShouldSetCookies());
  EXPECT_FALSE(configuration.HTTPShouldUsePipelining());
  EXPECT_TRUE(configuration.allowsCellularAccess());
  EXPECT_EQ(configuration.timeoutIntervalForRequest(), 60);

  // Two default caches share the folder: what one stores on disk, the other finds.
  auto reply = std::make_shared<const net::HTTPURLResponse>(*net::URL::fromString("http://img.test/a.png"), 200,
                                                            "HTTP/1.1", net::HeaderFields{{"Content-Type", "image/png"}});
  net::URLRequest imageRequest(net::URL::fromString("http://img.test/a.png"));
  cache->storeCachedResponse(net::CachedURLResponse(reply, "png bytes"), imageRequest);
  auto hit = configuration.URLCache()->cachedResponseForRequest(imageRequest);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->data(), "png bytes");
}

}  // namespace
}  // namespace kt
