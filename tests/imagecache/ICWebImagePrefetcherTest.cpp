#include "imagecache/ICWebImagePrefetcher.h"

#include "WebImageTestSupport.h"
#include "imagecache/ICImageCache.h"

#include <memory>
#include <set>

namespace kt {
namespace {

class ICWebImagePrefetcherTest : public testing::WebImageTest {
 protected:
  ICWebImagePrefetcherTest() {
    m_cache = std::make_shared<ICImageCache>("prefetch-test", homePath());
    m_manager = std::make_shared<ICWebImageManager>(m_cache, m_downloader);
    m_prefetcher = std::make_shared<ICWebImagePrefetcher>(m_manager);
  }
  ~ICWebImagePrefetcherTest() override { m_prefetcher->cancelPrefetching(); }

  // The singer pictures asked for, by name, in the order the requests arrived.
  std::vector<std::string> requestedNames() const {
    std::vector<std::string> names;
    for (const auto& request : m_server.requestsTo("singer")) names.push_back(request.path.substr(8, 1));
    return names;
  }

  std::shared_ptr<ICImageCache> m_cache;
  std::shared_ptr<ICWebImageManager> m_manager;
  std::shared_ptr<ICWebImagePrefetcher> m_prefetcher;
};

TEST_F(ICWebImagePrefetcherTest, LoadsThreeAtOnceThenOnePerFinishedLoad) {
  EXPECT_EQ(m_downloader->maxConcurrentDownloads(), 3);
  // Every reply waits until the first three requests are in.
  auto gate = std::make_shared<venue::Gate>();
  m_server.setFault("singer", venue::Fault::heldBy(gate));
  m_server.setFault("/singer/b.png", venue::Fault::status(404).at(gate));
  m_server.setFault("/singer/d.png", venue::Fault::status(404).at(gate));
  std::vector<std::optional<net::URL>> urls;
  for (const char* name : {"a", "b", "c", "d", "e"}) urls.push_back(singerURL(name));

  auto delegate = std::make_shared<ICWebImagePrefetcherDelegate>();
  std::vector<std::string> prefetched;
  std::optional<std::pair<uint64_t, uint64_t>> reported, completed;
  delegate->didPrefetchURL = [&](ICWebImagePrefetcher&, const std::optional<net::URL>& url, uint64_t, uint64_t) {
    prefetched.push_back(url->lastPathComponent());
  };
  delegate->didFinishWithTotalCount = [&](ICWebImagePrefetcher&, uint64_t total, uint64_t skipped) {
    reported = {total, skipped};
  };
  m_prefetcher->setDelegate(delegate);
  std::vector<std::pair<uint64_t, uint64_t>> progress;
  m_prefetcher->prefetchURLs(
      urls, [&](uint64_t finished, uint64_t total) { progress.emplace_back(finished, total); },
      [&](uint64_t finished, uint64_t skipped) { completed = {finished, skipped}; });
  EXPECT_EQ(m_prefetcher->requestedCount(), 3u);

  // The cache answers on the main queue: the loop runs while waiting.
  ASSERT_TRUE(support::runUntil([&] { return gate->arrived() == 3; }, 5));
  // The first three asked are the first three given (a fourth waits for one of them to end).
  std::vector<std::string> first = requestedNames();
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(std::set<std::string>(first.begin(), first.end()), (std::set<std::string>{"a", "b", "c"}));
  gate->open();

  ASSERT_TRUE(support::runUntil([&] { return completed.has_value(); }, 15));
  EXPECT_EQ(*completed, (std::pair<uint64_t, uint64_t>{5, 2}));
  EXPECT_EQ(*reported, (std::pair<uint64_t, uint64_t>{3, 2}));
  std::vector<std::string> names = requestedNames();
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(std::set<std::string>(names.begin() + 3, names.end()), (std::set<std::string>{"d", "e"}));
  EXPECT_EQ(prefetched.size(), 5u);
  ASSERT_EQ(progress.size(), 5u);
  EXPECT_EQ(progress.back(), (std::pair<uint64_t, uint64_t>{5, 5}));
  EXPECT_TRUE(m_cache->imageFromMemoryCacheForKey(singerURL("e")->absoluteString()));
}

TEST_F(ICWebImagePrefetcherTest, AnEmptyListCompletesAtOnce) {
  std::optional<std::pair<uint64_t, uint64_t>> completed;
  m_prefetcher->prefetchURLs({}, nullptr, [&](uint64_t finished, uint64_t skipped) { completed = {finished, skipped}; });
  ASSERT_TRUE(completed);
  EXPECT_EQ(*completed, (std::pair<uint64_t, uint64_t>{0, 0}));
}

TEST_F(ICWebImagePrefetcherTest, ANewRunCancelsThePreviousOne) {
  // The first run's pictures are held until the second run has ended.
  auto gate = std::make_shared<venue::Gate>();
  for (const char* path : {"/singer/a.png", "/singer/b.png", "/singer/c.png", "/singer/d.png"})
    m_server.setFault(path, venue::Fault::heldBy(gate));
  bool firstCompleted = false;
  m_prefetcher->prefetchURLs({singerURL("a"), singerURL("b"), singerURL("c"), singerURL("d")}, nullptr,
                             [&](uint64_t, uint64_t) { firstCompleted = true; });
  EXPECT_EQ(m_prefetcher->requestedCount(), 3u);

  std::optional<std::pair<uint64_t, uint64_t>> completed;
  m_prefetcher->prefetchURLs({singerURL("x"), std::nullopt}, nullptr,
                             [&](uint64_t finished, uint64_t skipped) { completed = {finished, skipped}; });
  ASSERT_TRUE(support::runUntil([&] { return completed.has_value(); }, 10));
  EXPECT_EQ(*completed, (std::pair<uint64_t, uint64_t>{2, 1}));
  EXPECT_EQ(m_prefetcher->finishedCount(), 2u);
  EXPECT_EQ(m_prefetcher->requestedCount(), 2u);
  ASSERT_TRUE(support::runUntil([&] { return m_downloader->currentDownloadCount() == 0; }, 5));
  gate->open();
  support::drainMainLoop();
  EXPECT_FALSE(firstCompleted);
  EXPECT_EQ(m_server.requestsTo("singer").back().path, "/singer/x.png");
}

TEST(ICWebImagePrefetcherSharedTest, CreatingAPrefetcherNarrowsTheSharedDownloader) {
  support::TempHome home;
  auto shared = ICWebImageDownloader::sharedDownloader();
  shared->setMaxConcurrentDownloads(6);
  auto prefetcher = std::make_shared<ICWebImagePrefetcher>();
  EXPECT_EQ(prefetcher->manager()->imageDownloader(), shared);
  EXPECT_EQ(shared->maxConcurrentDownloads(), 3);
  EXPECT_EQ(prefetcher->options(), static_cast<unsigned>(ICWebImageLoadLowPriority));
}

}  // namespace
}  // namespace kt
