#include "imagecache/ICWebPictureLoader.h"

#include "WebImageTestSupport.h"
#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageManager.h"
#include "platform/ui/Application.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "venue/Gallery.h"

namespace kt {
namespace {

struct Answer {
  ImagePtr image;
  std::optional<core::Error> error;
  bool onMainThread = false;
};

class ICWebPictureLoaderTest : public testing::WebImageTest {
 protected:
  ICWebPictureLoaderTest() {
    m_cache = std::make_shared<ICImageCache>("picture-loader-test", homePath());
    m_manager = std::make_shared<ICWebImageManager>(m_cache, m_downloader);
    m_loader = std::make_shared<ICWebPictureLoader>(m_manager);
  }
  ~ICWebPictureLoaderTest() override {
    ui::WebView::setDefaultPictureLoader(nullptr);
    m_manager->cancelAll();
    support::runUntil([this] { return !m_manager->isRunning(); }, 5);
  }

  net::URL gallery(const std::string& name) const { return *net::URL::fromString(m_server.baseUrl() + "/images/" + name); }
  ui::WebPictureLoader::Completion recordInto(std::vector<Answer>& answers) {
    return [&answers](std::shared_ptr<const gfx::Image> image, std::optional<core::Error> error) {
      answers.push_back({std::move(image), std::move(error), onMainThread()});
    };
  }

  std::shared_ptr<ICImageCache> m_cache;
  std::shared_ptr<ICWebImageManager> m_manager;
  std::shared_ptr<ICWebPictureLoader> m_loader;
};

TEST_F(ICWebPictureLoaderTest, PicturesComeThroughTheCacheOnceOnTheMainQueue) {
  std::vector<Answer> answers;
  m_loader->loadPicture(gallery("rgb.png"), recordInto(answers));
  ASSERT_TRUE(support::runUntil([&] { return answers.size() == 1; }, 10));
  ASSERT_TRUE(answers[0].image);
  EXPECT_EQ(answers[0].image->size(), (gfx::Size{venue::Gallery::Width, venue::Gallery::Height}));
  EXPECT_TRUE(answers[0].onMainThread);

  // The second time from memory, still heard from the queue and not from inside the call.
  m_loader->loadPicture(gallery("rgb.png"), recordInto(answers));
  EXPECT_EQ(answers.size(), 1u);
  ASSERT_TRUE(support::runUntil([&] { return answers.size() == 2; }, 10));
  EXPECT_TRUE(answers[1].image);
  EXPECT_EQ(m_server.requestsTo("images").size(), 1u);

  // A missing picture is an error.
  m_loader->loadPicture(gallery("missing.png"), recordInto(answers));
  ASSERT_TRUE(support::runUntil([&] { return answers.size() == 3; }, 10));
  EXPECT_FALSE(answers[2].image);
  EXPECT_TRUE(answers[2].error);

  // A cancelled load is not heard, even when its answer was already on the way.
  auto cancel = m_loader->loadPicture(gallery("rgb.png"), recordInto(answers));
  cancel();
  auto other = m_loader->loadPicture(gallery("alpha.png"), recordInto(answers));
  other();
  // Once both loads have ended (a query asked before is answered first) and the queue has run
  // what they gave it, nothing more can come.
  m_cache->getDiskCount();
  support::drainMainLoop();
  ASSERT_TRUE(support::runUntil([&] { return !m_manager->isRunning() && m_downloader->currentDownloadCount() == 0; }, 10));
  support::drainMainLoop();
  EXPECT_EQ(answers.size(), 3u);
}

TEST_F(ICWebPictureLoaderTest, WebViewsUseTheInstalledLoader) {
  ui::Application::shared().reset();
  auto window = ui::Window::create(gfx::Rect(0, 0, 1024, 768));
  window->makeKeyAndVisible();
  ui::WebView::setDefaultPictureLoader(m_loader);
  auto web = ui::WebView::create(window->bounds());
  window->addSubview(web);
  EXPECT_EQ(web->pictureLoader(), m_loader);
  web->loadRequest(net::URLRequest(net::URL::fromString(m_server.baseUrl() + "/pages/menu.html")));
  ASSERT_TRUE(support::runUntil([&] { return m_server.requestsTo("images").size() == 1 && !web->isLoading(); }, 10));
  // The page's picture is now in the cache under its address.
  EXPECT_TRUE(m_manager->cachedImageExistsForURL(gallery("rgb.png")));
  web.reset();
  window.reset();
  support::drainMainLoop();
  ui::Application::shared().reset();
}

}  // namespace
}  // namespace kt
