#include "imagecache/ICWebImageDownloader.h"

#include "WebImageTestSupport.h"
#include "imagecache/ICWebImageDownloaderOperation.h"
#include "platform/core/NotificationCenter.h"
#include "platform/net/URLError.h"

#include <memory>

namespace kt {
namespace {

using testing::Deliveries;
using testing::Delivery;

class ICWebImageDownloaderTest : public testing::WebImageTest {
 protected:
  // A completion and a progress callback that write into the given records.
  static ICWebImageFetchCompletion recordInto(Deliveries& deliveries) {
    return [&deliveries](ImagePtr image, std::optional<std::string>, std::optional<core::Error> error, bool finished) {
      deliveries.add({std::move(image), std::move(error), finished, onMainThread()});
    };
  }
  static ICWebImageProgressCallback countInto(int& calls) {
    return [&calls](int64_t, int64_t) { ++calls; };
  }
  // The one completion of a download of the dish photo, once it has come.
  Delivery fetchOnce(const std::string& id, unsigned options = 0) {
    Deliveries deliveries;
    m_downloader->downloadImageWithURL(dishURL(id), options, nullptr, recordInto(deliveries));
    EXPECT_TRUE(support::runUntil([&] { return !deliveries.empty(); }, 10));
    return deliveries.empty() ? Delivery{} : deliveries.list().back();
  }
};

TEST_F(ICWebImageDownloaderTest, TwoCallersOfOneURLShareOneRequest) {
  // The reply waits until both callers are in.
  auto gate = std::make_shared<venue::Gate>();
  m_server.setFault("Flag=00", venue::Fault::heldBy(gate));
  Deliveries first, second;
  int firstProgress = 0, secondProgress = 0;
  auto op1 = m_downloader->downloadImageWithURL(dishURL("1"), 0, countInto(firstProgress), recordInto(first));
  auto op2 = m_downloader->downloadImageWithURL(dishURL("1"), 0, countInto(secondProgress), recordInto(second));
  EXPECT_NE(op1, nullptr);
  EXPECT_EQ(op2, nullptr);
  gate->open();
  ASSERT_TRUE(support::runUntil([&] { return first.size() == 1 && second.size() == 1; }, 10));
  support::drainMainLoop();
  EXPECT_EQ(m_server.requestCount(), 1u);
  for (const auto* got : {&first, &second}) {
    Delivery delivery = got->list().front();
    ASSERT_TRUE(delivery.image);
    EXPECT_EQ(delivery.image->pixelWidth(), 64);
    EXPECT_TRUE(delivery.finished);
    EXPECT_FALSE(delivery.error);
  }
  // (0, -1) at the start, (0, length) at the response, then at least one for the data; the
  // second caller came after the start.
  EXPECT_GE(firstProgress, 3);
  EXPECT_GE(secondProgress, 2);
}

TEST_F(ICWebImageDownloaderTest, OneCallerCancellingLeavesTheOtherItsImage) {
  auto gate = std::make_shared<venue::Gate>();
  m_server.setFault("Flag=00", venue::Fault::heldBy(gate));
  Deliveries first, second;
  auto caller1 = m_downloader->addCallerForURL(dishURL("1"), 0, nullptr, recordInto(first));
  auto caller2 = m_downloader->addCallerForURL(dishURL("1"), 0, nullptr, recordInto(second));
  ASSERT_TRUE(caller1 && caller2);
  caller1->cancel();
  gate->open();
  ASSERT_TRUE(support::runUntil([&] { return !second.empty(); }, 10));
  EXPECT_TRUE(second.list().front().image);
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(m_server.requestCount(), 1u);
}

TEST_F(ICWebImageDownloaderTest, CancellingTheLastCallerEndsTheDownloadOnce) {
  // Never answered: only the cancel ends the download.
  m_server.setFault("Flag=00", venue::Fault::heldBy(std::make_shared<venue::Gate>()));
  int stops = 0;
  core::Observation stopped(core::NotificationCenter::defaultCenter(), ICWebImageDownloadStopNotification, nullptr,
                            [&](const core::Notification&) { ++stops; });
  Deliveries deliveries;
  auto caller = m_downloader->addCallerForURL(dishURL("1"), 0, nullptr, recordInto(deliveries));
  ASSERT_TRUE(m_server.waitForRequests(1, 5));
  ASSERT_EQ(m_downloader->currentDownloadCount(), 1u);
  caller->cancel();
  caller->cancel();
  ASSERT_TRUE(support::runUntil([&] { return m_downloader->currentDownloadCount() == 0; }, 5));
  support::runUntil([&] { return stops > 0; }, 5);
  support::drainMainLoop();
  EXPECT_EQ(stops, 1);
  EXPECT_TRUE(deliveries.empty());
}

TEST_F(ICWebImageDownloaderTest, CancellingTheOperationEndsARunningDownloadWithoutCompletion) {
  auto gate = std::make_shared<venue::Gate>();
  m_server.setFault("Flag=00", venue::Fault::heldBy(gate));
  Deliveries deliveries;
  auto handle = m_downloader->downloadImageWithURL(dishURL("1"), 0, nullptr, recordInto(deliveries));
  auto operation = std::dynamic_pointer_cast<ICWebImageDownloaderOperation>(handle);
  ASSERT_TRUE(operation);
  ASSERT_TRUE(m_server.waitForRequests(1, 5));
  ASSERT_TRUE(support::runUntil([&] { return operation->isExecuting(); }, 5));
  handle->cancel();
  ASSERT_TRUE(support::runUntil([&] { return operation->isFinished(); }, 5));
  EXPECT_TRUE(operation->isCancelled());
  EXPECT_EQ(operation->dataTask(), nullptr);
  // A later caller of the URL starts a fresh download; the cancelled one's reply, let go now,
  // reaches nobody.
  m_server.clearFaults();
  gate->open();
  Delivery again = fetchOnce("1");
  EXPECT_TRUE(again.image);
  EXPECT_TRUE(deliveries.empty());
}

TEST_F(ICWebImageDownloaderTest, ADownloadCancelledByItsQueueIsStartedAgainForTheNextCaller) {
  m_downloader->setSuspended(true);
  Deliveries first, second;
  m_downloader->downloadImageWithURL(dishURL("1"), 0, nullptr, recordInto(first));
  m_downloader->downloadQueue()->cancelAllOperations();
  m_downloader->setSuspended(false);
  ASSERT_TRUE(support::runUntil([&] { return m_downloader->currentDownloadCount() == 0; }, 5));
  EXPECT_NE(m_downloader->downloadImageWithURL(dishURL("1"), 0, nullptr, recordInto(second)), nullptr);
  ASSERT_TRUE(support::runUntil([&] { return first.size() == 1 && second.size() == 1; }, 10));
  EXPECT_TRUE(first.list()[0].image);
  EXPECT_EQ(m_server.requestCount(), 1u);
}

TEST_F(ICWebImageDownloaderTest, FailuresCompleteWithTheirErrors) {
  struct Case {
    venue::Fault fault;
    std::string domain;
    int64_t code;
    std::string description;
  };
  const Case cases[] = {
      {venue::Fault::status(404), net::URLError::Domain, 404, ""},
      {venue::Fault::status(500), net::URLError::Domain, 500, ""},
      {venue::Fault::html(), "ICWebImageErrorDomain", 0, "Downloaded image has 0 pixels"},
      {venue::Fault::emptyBody(), "ICWebImageErrorDomain", 0, "Image data is nil"},
  };
  int id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    m_server.setFault("Flag=00", c.fault);
    Delivery got = fetchOnce(std::to_string(++id));
    EXPECT_FALSE(got.image);
    ASSERT_TRUE(got.error);
    EXPECT_EQ(got.error->domain(), c.domain);
    EXPECT_EQ(got.error->code(), c.code);
    if (!c.description.empty()) {
      EXPECT_EQ(got.error->localizedDescription(), c.description);
    }
    EXPECT_TRUE(got.finished);
  }
}

TEST_F(ICWebImageDownloaderTest, AbsentURLCompletesAtOnceWithNothing) {
  Deliveries deliveries;
  EXPECT_EQ(m_downloader->downloadImageWithURL(std::nullopt, 0, nullptr, recordInto(deliveries)), nullptr);
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_FALSE(deliveries.list()[0].image);
  EXPECT_FALSE(deliveries.list()[0].error);
  EXPECT_FALSE(deliveries.list()[0].finished);
}

TEST_F(ICWebImageDownloaderTest, HeadersAreSentAsSetAndAnAbsentValueRemovesOne) {
  EXPECT_EQ(m_downloader->valueForHTTPHeaderField("accept"), "image/*;q=0.8");
  fetchOnce("1");
  EXPECT_EQ(m_server.lastRequest().header("Accept"), "image/*;q=0.8");

  m_downloader->setValue("image/webp", "Accept");
  m_downloader->setValue("tablet", "X-Room");
  fetchOnce("2");
  EXPECT_EQ(m_server.lastRequest().header("Accept"), "image/webp");
  EXPECT_EQ(m_server.lastRequest().header("X-Room"), "tablet");

  m_downloader->setValue(std::nullopt, "X-Room");
  EXPECT_EQ(m_downloader->valueForHTTPHeaderField("X-Room"), std::nullopt);
  m_downloader->setHeadersFilter([](const net::URL&, const net::HeaderFields& fields) {
    net::HeaderFields filtered = fields;
    filtered.emplace_back("X-Filtered", "yes");
    return filtered;
  });
  fetchOnce("3");
  EXPECT_EQ(m_server.lastRequest().header("X-Room"), std::nullopt);
  EXPECT_EQ(m_server.lastRequest().header("X-Filtered"), "yes");
}

TEST_F(ICWebImageDownloaderTest, RequestsCarryTheTimeoutCachePolicyAndPriority) {
  m_downloader->setSuspended(true);
  m_downloader->setDownloadTimeout(0);
  auto plain = std::dynamic_pointer_cast<ICWebImageDownloaderOperation>(
      m_downloader->downloadImageWithURL(dishURL("1"), 0, nullptr, nullptr));
  m_downloader->setDownloadTimeout(4);
  auto cached = std::dynamic_pointer_cast<ICWebImageDownloaderOperation>(m_downloader->downloadImageWithURL(
      dishURL("2"), ICWebImageFetchUseURLCache | ICWebImageFetchLowPriority | ICWebImageFetchHighPriority, nullptr,
      nullptr));
  ASSERT_TRUE(plain && cached);
  EXPECT_EQ(plain->request().timeoutInterval(), 15.0);
  EXPECT_EQ(plain->request().cachePolicy(), net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_FALSE(plain->request().HTTPShouldHandleCookies());
  EXPECT_EQ(plain->queuePriority(), core::Operation::QueuePriority::Normal);
  EXPECT_EQ(cached->request().timeoutInterval(), 4.0);
  EXPECT_EQ(cached->request().cachePolicy(), net::URLRequestCachePolicy::UseProtocolCachePolicy);
  EXPECT_EQ(cached->queuePriority(), core::Operation::QueuePriority::High);
  EXPECT_EQ(m_downloader->currentDownloadCount(), 2u);
}

TEST_F(ICWebImageDownloaderTest, LIFOOrderStartsTheNewestFirst) {
  m_downloader->setExecutionOrder(ICWebImageFetchOrderLIFO);
  m_downloader->setSuspended(true);
  Deliveries deliveries;
  for (const char* id : {"1", "2", "3"})
    m_downloader->downloadImageWithURL(dishURL(id), 0, nullptr, recordInto(deliveries));
  m_downloader->setSuspended(false);
  ASSERT_TRUE(support::runUntil([&] { return deliveries.size() == 3; }, 10));
  EXPECT_EQ(requestedIds(), (std::vector<std::string>{"3", "2", "1"}));
}

TEST_F(ICWebImageDownloaderTest, HigherPriorityStartsFirst) {
  m_downloader->setMaxConcurrentDownloads(1);
  m_downloader->setSuspended(true);
  Deliveries deliveries;
  m_downloader->downloadImageWithURL(dishURL("low"), ICWebImageFetchLowPriority, nullptr, recordInto(deliveries));
  m_downloader->downloadImageWithURL(dishURL("normal"), 0, nullptr, recordInto(deliveries));
  m_downloader->downloadImageWithURL(dishURL("high"), ICWebImageFetchHighPriority, nullptr, recordInto(deliveries));
  m_downloader->setSuspended(false);
  ASSERT_TRUE(support::runUntil([&] { return deliveries.size() == 3; }, 10));
  EXPECT_EQ(requestedIds(), (std::vector<std::string>{"high", "normal", "low"}));
}

TEST_F(ICWebImageDownloaderTest, NoMoreThanTheWidthRunAtOnce) {
  m_downloader->setMaxConcurrentDownloads(2);
  EXPECT_EQ(m_downloader->maxConcurrentDownloads(), 2);
  // Held until the counts are read, so none can finish before.
  auto gate = std::make_shared<venue::Gate>();
  m_server.setFault("Flag=00", venue::Fault::heldBy(gate));
  Deliveries deliveries;
  for (const char* id : {"1", "2", "3", "4"})
    m_downloader->downloadImageWithURL(dishURL(id), 0, nullptr, recordInto(deliveries));
  ASSERT_TRUE(gate->waitForArrived(2, 5));
  EXPECT_EQ(m_server.requestCount(), 2u);
  EXPECT_EQ(m_downloader->currentDownloadCount(), 4u);
  gate->open();
  ASSERT_TRUE(support::runUntil([&] { return deliveries.size() == 4; }, 15));
  EXPECT_EQ(m_server.requestCount(), 4u);
}

TEST_F(ICWebImageDownloaderTest, ProgressiveDownloadGivesPartialImagesThenTheFinalOne) {
  Deliveries deliveries;
  // A large photo arrives in several pieces.
  m_downloader->downloadImageWithURL(dishURL("big", 2048), ICWebImageFetchProgressive, nullptr,
                                     recordInto(deliveries));
  // Decoding each partial picture of 2048 x 2048 pixels is slow under the thread checker on a busy
  // machine: the wait is long.
  ASSERT_TRUE(support::runUntil([&] { return deliveries.lastFinished(); }, 90));
  const std::vector<Delivery> list = deliveries.list();
  ASSERT_GE(list.size(), 2u);
  for (size_t i = 0; i + 1 < list.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(list[i].finished);
    EXPECT_TRUE(list[i].onMainThread);
    ASSERT_TRUE(list[i].image);
    EXPECT_EQ(list[i].image->pixelWidth(), 2048);
    EXPECT_EQ(list[i].image->pixelHeight(), 2048);
  }
  const Delivery& last = list.back();
  ASSERT_TRUE(last.image);
  EXPECT_FALSE(last.error);
  EXPECT_EQ(last.image->pixelWidth(), 2048);
  // The first partial image has rows at the top and none yet at the bottom.
  const auto& first = list.front().image;
  EXPECT_EQ(first->pixelAt(1024, 2047), 0u);
  EXPECT_EQ(first->pixelAt(1024, 4), last.image->pixelAt(1024, 4));
}

TEST_F(ICWebImageDownloaderTest, WithoutTheProgressiveOptionOnlyTheFinalImageComes) {
  Deliveries deliveries;
  m_downloader->downloadImageWithURL(dishURL("big", 2048), 0, nullptr, recordInto(deliveries));
  ASSERT_TRUE(support::runUntil([&] { return !deliveries.empty(); }, 15));
  support::drainMainLoop();
  ASSERT_EQ(deliveries.size(), 1u);
  EXPECT_TRUE(deliveries.list()[0].finished);
  EXPECT_FALSE(deliveries.list()[0].onMainThread);  // the session's delegate queue
}

TEST_F(ICWebImageDownloaderTest, OrientationOfPropertyValues) {
  EXPECT_EQ(ICWebImageDownloaderOperation::orientationFromPropertyValue(1), gfx::ImageOrientation::Up);
  EXPECT_EQ(ICWebImageDownloaderOperation::orientationFromPropertyValue(3), gfx::ImageOrientation::Down);
  EXPECT_EQ(ICWebImageDownloaderOperation::orientationFromPropertyValue(6), gfx::ImageOrientation::Right);
  EXPECT_EQ(ICWebImageDownloaderOperation::orientationFromPropertyValue(0), gfx::ImageOrientation::Up);
  EXPECT_EQ(ICWebImageDownloaderOperation::orientationFromPropertyValue(9), gfx::ImageOrientation::Up);
}

}  // namespace
}  // namespace kt
