#include "http/ImageViewHTTPClient.h"

#include "ImageTestServer.h"
#include "http/ActivityIndicatorViewHTTPClient.h"
#include "http/ButtonHTTPClient.h"
#include "http/HCAutoPurgingImageCache.h"
#include "http/HCHTTPSessionManager.h"
#include "http/HCImageResponseSerializer.h"
#include "http/HCURLSessionTask.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"

#include <gtest/gtest.h>

namespace kt {
namespace {

class ImageViewHTTPClientTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  ImageViewHTTPClientTest() {
    m_manager = HCHTTPSessionManager::create(std::nullopt, HCImageDownloader::defaultURLSessionConfiguration());
    m_manager->setResponseSerializer(HCImageResponseSerializer::serializer());
    m_cache = std::make_shared<HCAutoPurgingImageCache>();
    m_downloader = HCImageDownloader::create(m_manager, HCImageDownloadPrioritization::FIFO, 4, m_cache);
    HTTPClient::setSharedImageDownloader(m_downloader);
    HTTPClient::setSharedButtonImageDownloader(m_downloader);
  }
  ~ImageViewHTTPClientTest() override {
    m_server.release();
    HTTPClient::setSharedImageDownloader(nullptr);
    HTTPClient::setSharedButtonImageDownloader(nullptr);
    m_manager->invalidateSessionCancelingTasks(true);
    support::drainMainLoop();
  }

  net::URL url(const std::string& name) const { return *net::URL::fromString(m_server.url(name)); }
  static std::shared_ptr<gfx::Image> placeholder() {
    return gfx::Image::fromPixels(1, 1, std::vector<uint32_t>(1, 0xFF000000u));
  }

  testing::ImageTestServer m_server;
  std::shared_ptr<HCHTTPSessionManager> m_manager;
  std::shared_ptr<HCAutoPurgingImageCache> m_cache;
  std::shared_ptr<HCImageDownloader> m_downloader;
};

TEST_F(ImageViewHTTPClientTest, ShowsThePlaceholderThenTheDownloadedImage) {
  auto view = ui::ImageView::create();
  auto empty = placeholder();
  m_server.hold();
  HTTPClient::setImageWithURL(view, url("pic.png"), empty);
  EXPECT_EQ(view->image(), empty);
  ASSERT_TRUE(HTTPClient::hc_activeImageDownloadReceipt(*view));

  // The same URL again while it loads starts nothing new.
  HTTPClient::setImageWithURL(view, url("pic.png"), empty);
  ASSERT_TRUE(support::runUntil([&] { return m_server.inFlight() == 1; }));
  m_server.release();

  ASSERT_TRUE(support::runUntil([&] { return view->image() != empty; }, 10));
  ASSERT_NE(view->image(), nullptr);
  EXPECT_EQ(view->image()->pixelWidth(), 4);
  EXPECT_EQ(m_server.hits("pic.png"), 1);
  EXPECT_EQ(m_server.lastAccept(), "image/*");
  EXPECT_FALSE(HTTPClient::hc_activeImageDownloadReceipt(*view));

  // A second view of the same URL takes it from the cache at once, without the placeholder.
  ASSERT_TRUE(support::runUntil([&] { return m_cache->memoryUsage() > 0; }));
  auto other = ui::ImageView::create();
  HTTPClient::setImageWithURL(other, url("pic.png"), empty);
  EXPECT_EQ(other->image(), view->image());
  EXPECT_EQ(m_server.hits("pic.png"), 1);
}

TEST_F(ImageViewHTTPClientTest, AnotherURLCancelsTheFirstAndItsLateResultIsDropped) {
  auto view = ui::ImageView::create();
  std::vector<std::string> events;
  m_server.hold();
  net::URLRequest first(url("old.png"));
  HTTPClient::setImageWithURLRequest(
      view, first, nullptr,
      [&](const net::URLRequest&, std::shared_ptr<const net::HTTPURLResponse>, std::shared_ptr<gfx::Image>) {
        events.push_back("old success");
      },
      [&](const net::URLRequest&, std::shared_ptr<const net::HTTPURLResponse>, const core::Error&) {
        events.push_back("old failure");
      });
  ASSERT_TRUE(support::runUntil([&] { return m_server.inFlight() == 1; }));

  HTTPClient::setImageWithURL(view, url("new.png"));
  m_server.release();
  ASSERT_TRUE(support::runUntil([&] { return view->image() != nullptr; }, 10));
  // The old download still completes (it was running) and fills the cache, but touches nothing.
  ASSERT_TRUE(support::runUntil([&] { return m_cache->imageforRequest(first, std::nullopt) != nullptr; }, 10));
  support::drainMainLoop();
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(m_server.hits("new.png"), 1);
}

TEST(ImageViewHTTPClientNoServerTest, RequestWithoutURLShowsThePlaceholder) {
  auto view = ui::ImageView::create();
  auto empty = gfx::Image::fromPixels(1, 1, std::vector<uint32_t>(1, 0xFF000000u));
  HTTPClient::setImageWithURLRequest(view, net::URLRequest(), empty);
  EXPECT_EQ(view->image(), empty);
  EXPECT_FALSE(HTTPClient::hc_activeImageDownloadReceipt(*view));
}

TEST_F(ImageViewHTTPClientTest, ButtonStatesShareOrKeepTheirOwnSlots) {
  auto button = std::make_shared<ui::Button>();
  m_server.hold();
  HTTPClient::setImageForState(button, ui::ControlStateNormal, url("n.png"));
  HTTPClient::setImageForState(button, ui::ControlStateSelected, url("s.png"));
  HTTPClient::setBackgroundImageForState(button, ui::ControlStateNormal, url("bg.png"));
  auto normal = HTTPClient::imageDownloadReceiptForState(*button, ui::ControlStateNormal);
  ASSERT_TRUE(normal);
  // Highlighted | selected is no state of its own: it shares normal's slot.
  EXPECT_EQ(HTTPClient::imageDownloadReceiptForState(*button, ui::ControlStateHighlighted | ui::ControlStateSelected)
                ->receiptID,
            normal->receiptID);
  EXPECT_NE(HTTPClient::imageDownloadReceiptForState(*button, ui::ControlStateSelected)->receiptID,
            normal->receiptID);
  m_server.release();
  ASSERT_TRUE(support::runUntil(
      [&] {
        return button->imageForState(ui::ControlStateNormal) && button->imageForState(ui::ControlStateSelected) &&
               button->backgroundImageForState(ui::ControlStateNormal);
      },
      10));
  EXPECT_FALSE(HTTPClient::imageDownloadReceiptForState(*button, ui::ControlStateNormal));
}

TEST_F(ImageViewHTTPClientTest, SpinnerFollowsItsTask) {
  auto spinner = ui::ActivityIndicatorView::create();
  m_server.hold();
  auto task = m_manager->dataTaskWithRequest(net::URLRequest(url("spin.png")), nullptr);
  ASSERT_TRUE(task);
  HTTPClient::setAnimatingWithStateOfTask(spinner, task);  // suspended: stopped
  EXPECT_FALSE(spinner->isAnimating());
  task->resume();
  ASSERT_TRUE(support::runUntil([&] { return spinner->isAnimating(); }));
  m_server.release();
  ASSERT_TRUE(support::runUntil([&] { return !spinner->isAnimating(); }, 10));

  // A completed task neither starts nor stops it, and is not followed.
  spinner->startAnimating();
  HTTPClient::setAnimatingWithStateOfTask(spinner, task);
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_FALSE(HTTPClient::hc_notificationObserver(spinner).isObserving());
}

}  // namespace
}  // namespace kt
