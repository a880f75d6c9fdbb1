#include "platform/core/Clock.h"
#include "platform/core/Date.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLCache.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "support/SessionsLetGo.h"
#include "venue/HttpServerThread.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using net::CachedURLResponse;
using net::URL;
using net::URLCache;
using net::URLCacheStoragePolicy;
using net::URLRequest;
using net::URLRequestCachePolicy;

namespace fs = std::filesystem;

URLRequest requestFor(const std::string& url) { return URLRequest(URL::fromString(url)); }

CachedURLResponse entry(const std::string& url, const std::string& body, net::HeaderFields headers = {},
                        URLCacheStoragePolicy policy = URLCacheStoragePolicy::Allowed, int status = 200) {
  auto response = std::make_shared<const net::HTTPURLResponse>(*URL::fromString(url), status, "HTTP/1.1",
                                                               std::move(headers));
  return CachedURLResponse(response, body, policy);
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "urlcache-XXXXXX").string();
    m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  const std::string& path() const { return m_path; }
  std::vector<fs::path> files() const {
    std::vector<fs::path> out;
    for (const auto& item : fs::directory_iterator(m_path)) out.push_back(item.path());
    return out;
  }

 private:
  std::string m_path;
};

// ---------------------------------------------------------------------------------------------
// The store

TEST(URLCacheTest, StoresAndReturnsGetRepliesByURL) {
  TempFolder folder;
  URLCache cache(1 << 20, 1 << 20, folder.path());
  cache.storeCachedResponse(entry("http://a.test/x?q=1", "body", {{"ETag", "\"1\""}}), requestFor("http://a.test/x?q=1"));
  auto hit = cache.cachedResponseForRequest(requestFor("http://a.test/x?q=1"));
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->data(), "body");
  EXPECT_EQ(hit->response()->statusCode(), 200);
  EXPECT_EQ(hit->response()->valueForHTTPHeaderField("etag"), "\"1\"");
  EXPECT_GT(hit->dateStored(), 0);
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://a.test/x?q=2")));

  // Only GET requests are kept or answered.
  URLRequest post = requestFor("http://a.test/x?q=1");
  post.setHTTPMethod("POST");
  EXPECT_FALSE(cache.cachedResponseForRequest(post));
  cache.storeCachedResponse(entry("http://a.test/p", "p"), [] {
    URLRequest r = requestFor("http://a.test/p");
    r.setHTTPMethod("POST");
    return r;
  }());
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://a.test/p")));

  cache.removeCachedResponseForRequest(requestFor("http://a.test/x?q=1"));
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://a.test/x?q=1")));
  EXPECT_EQ(cache.currentMemoryUsage(), 0u);
  EXPECT_EQ(cache.currentDiskUsage(), 0u);
}

TEST(URLCacheTest, MemoryEvictsTheLeastRecentlyUsed) {
  URLCache cache(10000, 0);  // 5% = 500 bytes per entry
  const std::string body(300, 'm');
  for (int i = 0; i < 40; ++i) {
    std::string url = "http://m.test/" + std::to_string(i);
    cache.storeCachedResponse(entry(url, body), requestFor(url));
    ASSERT_TRUE(cache.cachedResponseForRequest(requestFor("http://m.test/0"))) << i;  // kept in use
  }
  EXPECT_LE(cache.currentMemoryUsage(), 10000u);
  EXPECT_TRUE(cache.cachedResponseForRequest(requestFor("http://m.test/0")));
  EXPECT_TRUE(cache.cachedResponseForRequest(requestFor("http://m.test/39")));
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://m.test/1")));

  // A smaller capacity evicts at once; the most recent entries stay.
  cache.setMemoryCapacity(2000);
  EXPECT_LE(cache.currentMemoryUsage(), 2000u);
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://m.test/5")));
}

TEST(URLCacheTest, EntriesOverATwentiethOfTheCapacityAreNotKept) {
  TempFolder folder;
  URLCache cache(10000, 100000, folder.path());
  cache.storeCachedResponse(entry("http://b.test/big", std::string(600, 'x')), requestFor("http://b.test/big"));
  // Too big for memory (5% = 500), small enough for disk (5% = 5000): read back from the disk.
  EXPECT_EQ(cache.currentMemoryUsage(), 0u);
  EXPECT_GT(cache.currentDiskUsage(), 600u);
  ASSERT_TRUE(cache.cachedResponseForRequest(requestFor("http://b.test/big")));

  cache.storeCachedResponse(entry("http://b.test/huge", std::string(6000, 'x')), requestFor("http://b.test/huge"));
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://b.test/huge")));
}

TEST(URLCacheTest, DiskEntriesOutliveTheCacheObject) {
  TempFolder folder;
  {
    URLCache first(1 << 20, 1 << 20, folder.path());
    first.storeCachedResponse(entry("http://d.test/a", std::string("bin\0ary\n", 8), {{"Content-Type", "x/y"}, {"X-N", ""}}),
                              requestFor("http://d.test/a"));
    first.storeCachedResponse(entry("http://d.test/mem", "memory only", {}, URLCacheStoragePolicy::AllowedInMemoryOnly),
                              requestFor("http://d.test/mem"));
    first.storeCachedResponse(entry("http://d.test/none", "never", {}, URLCacheStoragePolicy::NotAllowed),
                              requestFor("http://d.test/none"));
    EXPECT_FALSE(first.cachedResponseForRequest(requestFor("http://d.test/none")));
    EXPECT_TRUE(first.cachedResponseForRequest(requestFor("http://d.test/mem")));
  }
  EXPECT_EQ(folder.files().size(), 1u);
  URLCache second(1 << 20, 1 << 20, folder.path());
  EXPECT_EQ(second.currentDiskUsage(), fs::file_size(folder.files()[0]));
  auto hit = second.cachedResponseForRequest(requestFor("http://d.test/a"));
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->data(), std::string("bin\0ary\n", 8));
  EXPECT_EQ(hit->response()->valueForHTTPHeaderField("Content-Type"), "x/y");
  EXPECT_EQ(hit->response()->valueForHTTPHeaderField("X-N"), "");
  EXPECT_EQ(hit->response()->url().absoluteString(), "http://d.test/a");
  EXPECT_EQ(hit->storagePolicy(), URLCacheStoragePolicy::Allowed);
  EXPECT_FALSE(second.cachedResponseForRequest(requestFor("http://d.test/mem")));

  second.removeAllCachedResponses();
  EXPECT_TRUE(folder.files().empty());
  EXPECT_EQ(second.currentDiskUsage(), 0u);
}

TEST(URLCacheTest, DiskEvictsTheLeastRecentlyUsedFiles) {
  TempFolder folder;
  URLCache cache(0, 20000, folder.path());  // 5% = 1000 bytes per file
  for (int i = 0; i < 60; ++i) {
    std::string url = "http://e.test/" + std::to_string(i);
    cache.storeCachedResponse(entry(url, std::string(500, 'e')), requestFor(url));
    ASSERT_TRUE(cache.cachedResponseForRequest(requestFor("http://e.test/0"))) << i;
  }
  EXPECT_LE(cache.currentDiskUsage(), 20000u);
  uint64_t onDisk = 0;
  for (const auto& file : folder.files()) onDisk += fs::file_size(file);
  EXPECT_EQ(onDisk, cache.currentDiskUsage());
  EXPECT_TRUE(cache.cachedResponseForRequest(requestFor("http://e.test/59")));
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://e.test/1")));
}

TEST(URLCacheTest, CorruptOrTruncatedFilesAreIgnoredAndRemoved) {
  TempFolder folder;
  {
    URLCache writer(0, 1 << 20, folder.path());
    writer.storeCachedResponse(entry("http://c.test/cut", std::string(300, 'c')), requestFor("http://c.test/cut"));
    writer.storeCachedResponse(entry("http://c.test/junk", "j"), requestFor("http://c.test/junk"));
    writer.storeCachedResponse(entry("http://c.test/ok", "fine"), requestFor("http://c.test/ok"));
  }
  auto fileOf = [&](const std::string& body) {
    for (const auto& file : folder.files()) {
      std::ifstream in(file, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), {});
      if (bytes.find(body) != std::string::npos) return file;
    }
    return fs::path();
  };
  fs::path cut = fileOf(std::string(300, 'c'));
  fs::path junk = fileOf("http://c.test/junk");
  ASSERT_FALSE(cut.empty());
  ASSERT_FALSE(junk.empty());
  fs::resize_file(cut, fs::file_size(cut) - 10);
  {
    std::ofstream out(junk, std::ios::binary | std::ios::trunc);
    out << "999999999999\nnot an entry";
  }
  {
    std::ofstream stray(fs::path(folder.path()) / "x.cache.tmp.1.2");  // left by a crash
    stray << "partial";
  }
  URLCache reader(0, 1 << 20, folder.path());
  EXPECT_FALSE(reader.cachedResponseForRequest(requestFor("http://c.test/cut")));
  EXPECT_FALSE(reader.cachedResponseForRequest(requestFor("http://c.test/junk")));
  ASSERT_TRUE(reader.cachedResponseForRequest(requestFor("http://c.test/ok")));
  EXPECT_EQ(folder.files().size(), 1u);
  EXPECT_EQ(reader.currentDiskUsage(), fs::file_size(folder.files()[0]));
}

TEST(URLCacheTest, RemovesWhatWasStoredSinceADate) {
  TempFolder folder;
  URLCache cache(1 << 20, 1 << 20, folder.path());
  cache.storeCachedResponse(entry("http://s.test/old", "old"), requestFor("http://s.test/old"));
  double old = cache.cachedResponseForRequest(requestFor("http://s.test/old"))->dateStored();
  core::Clock::advance(1);
  cache.storeCachedResponse(entry("http://s.test/new", "new"), requestFor("http://s.test/new"));
  double stored = cache.cachedResponseForRequest(requestFor("http://s.test/new"))->dateStored();
  ASSERT_GT(stored, old);
  cache.removeCachedResponsesSinceDate(core::Date((old + stored) / 2));
  EXPECT_TRUE(cache.cachedResponseForRequest(requestFor("http://s.test/old")));
  EXPECT_FALSE(cache.cachedResponseForRequest(requestFor("http://s.test/new")));
  EXPECT_EQ(folder.files().size(), 1u);
}

TEST(URLCacheTest, IsSafeFromSeveralThreads) {
  TempFolder folder;
  URLCache cache(50000, 200000, folder.path());
  std::atomic<int> wrongBodies{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        std::string url = "http://t.test/" + std::to_string((i * 7 + t) % 40);
        switch (i % 4) {
          case 0:
          case 1: cache.storeCachedResponse(entry(url, url + std::string(i % 500, 'z')), requestFor(url)); break;
          case 2:
            if (auto hit = cache.cachedResponseForRequest(requestFor(url)); hit && hit->data().rfind(url, 0) != 0) ++wrongBodies;
            break;
          default:
            if (i % 40 == 3) cache.removeCachedResponseForRequest(requestFor(url));
            (void)cache.currentDiskUsage();
            break;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrongBodies.load(), 0);
  EXPECT_LE(cache.currentMemoryUsage(), 50000u);
  EXPECT_LE(cache.currentDiskUsage(), 200000u);
  uint64_t onDisk = 0;
  for (const auto& file : folder.files()) onDisk += fs::file_size(file);
  EXPECT_EQ(onDisk, cache.currentDiskUsage());
}

// ---------------------------------------------------------------------------------------------
// HTTP rules

TEST(URLCacheTest, DecidesWhatMayBeStored) {
  auto reply = [](int status, net::HeaderFields headers = {}) {
    return net::HTTPURLResponse(*URL::fromString("http://r.test/"), status, "HTTP/1.1", std::move(headers));
  };
  URLRequest get = requestFor("http://r.test/");
  for (int status : {200, 203, 300, 301, 410}) EXPECT_TRUE(URLCache::mayStore(get, reply(status))) << status;
  for (int status : {201, 204, 302, 304, 404, 500}) EXPECT_FALSE(URLCache::mayStore(get, reply(status))) << status;
  EXPECT_FALSE(URLCache::mayStore(get, reply(200, {{"Cache-Control", "private, No-Store"}})));
  URLRequest noStore = get;
  noStore.setValue("no-store", "Cache-Control");
  EXPECT_FALSE(URLCache::mayStore(noStore, reply(200)));
  URLRequest head = get;
  head.setHTTPMethod("HEAD");
  EXPECT_FALSE(URLCache::mayStore(head, reply(200)));
}

TEST(URLCacheTest, FreshnessFollowsMaxAgeExpiresAndLastModified) {
  const double stored = 1'000'000'000;
  auto lifetime = [&](net::HeaderFields headers) {
    net::HTTPURLResponse response(*URL::fromString("http://f.test/"), 200, "HTTP/1.1", std::move(headers));
    return URLCache::freshnessLifetime(response, stored);
  };
  EXPECT_EQ(lifetime({{"Cache-Control", "public, max-age=600"}}), 600);
  // max-age wins over Expires.
  EXPECT_EQ(lifetime({{"Cache-Control", "max-age=5"}, {"Expires", "Sun, 06 Nov 1994 09:49:37 GMT"},
                      {"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}}),
            5);
  EXPECT_EQ(lifetime({{"Expires", "Sun, 06 Nov 1994 09:49:37 GMT"}, {"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}}), 3600);
  EXPECT_EQ(lifetime({{"Expires", "0"}}), 0);
  // A tenth of the time since the last change.
  EXPECT_EQ(lifetime({{"Last-Modified", "Sunday, 06-Nov-94 08:49:37 GMT"}, {"Date", "Sun Nov 16 08:49:37 1994"}}),
            86400);
  EXPECT_EQ(lifetime({}), 0);

  auto response = std::make_shared<const net::HTTPURLResponse>(*URL::fromString("http://f.test/"), 200, "HTTP/1.1",
                                                               net::HeaderFields{{"Cache-Control", "max-age=60"}});
  CachedURLResponse cached(response, "x", URLCacheStoragePolicy::Allowed, stored);
  URLRequest request = requestFor("http://f.test/");
  EXPECT_TRUE(URLCache::isFresh(cached, request, stored + 59));
  EXPECT_FALSE(URLCache::isFresh(cached, request, stored + 60));
  request.setValue("no-cache", "Cache-Control");
  EXPECT_FALSE(URLCache::isFresh(cached, request, stored + 1));
  EXPECT_FALSE(URLCache::canRevalidate(cached));

  EXPECT_FALSE(URLCache::parseHTTPDate("yesterday"));
  EXPECT_EQ(URLCache::parseHTTPDate("Thu, 01 Jan 1970 00:01:00 GMT"), 60);
}

// ---------------------------------------------------------------------------------------------
// Through a URL session

class URLCacheSessionTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  void SetUp() override {
    m_server.Get("/fresh", [this](const httplib::Request&, httplib::Response& res) {
      ++m_hits;
      res.set_header("Cache-Control", "max-age=3600");
      res.set_content("fresh body " + std::to_string(m_hits.load()), "text/plain");
    });
    m_server.Get("/etag", [this](const httplib::Request& req, httplib::Response& res) {
      ++m_hits;
      {
        std::lock_guard lock(m_mutex);
        m_lastIfNoneMatch = req.get_header_value("If-None-Match");
      }
      res.set_header("Cache-Control", "max-age=0");
      res.set_header("ETag", "\"v1\"");
      if (req.get_header_value("If-None-Match") == "\"v1\"") {
        res.status = 304;
        res.set_header("X-Checked", "yes");
        return;
      }
      res.set_content("tagged body", "text/plain");
    });
    m_server.Get("/nostore", [this](const httplib::Request&, httplib::Response& res) {
      ++m_hits;
      res.set_header("Cache-Control", "no-store, max-age=3600");
      res.set_content("secret", "text/plain");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = venue::listenInBackground(m_server);
    while (!m_server.is_running()) std::this_thread::yield();
  }
  void TearDown() override {
    m_server.stop();
    m_thread.join();
  }

  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

  struct Outcome {
    std::optional<std::string> data;
    std::shared_ptr<const net::HTTPURLResponse> response;
    std::optional<core::Error> error;
  };

  std::shared_ptr<net::URLSession> session(std::shared_ptr<net::URLSessionDelegate> delegate = nullptr) {
    auto config = net::URLSessionConfiguration::defaultSessionConfiguration();
    config.setURLCache(m_cache);
    return net::URLSession::create(config, std::move(delegate));
  }

  Outcome load(const std::shared_ptr<net::URLSession>& s, URLRequest request) {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    Outcome outcome;
    auto task = s->dataTaskWithRequest(request, [&](auto data, auto response, auto error) {
      std::lock_guard lock(mutex);
      outcome = Outcome{std::move(data), std::move(response), std::move(error)};
      done = true;
      cv.notify_all();
    });
    task->resume();
    std::unique_lock lock(mutex);
    EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(15), [&] { return done; }));
    return outcome;
  }
  Outcome load(const std::shared_ptr<net::URLSession>& s, const std::string& path,
               URLRequestCachePolicy policy = URLRequestCachePolicy::UseProtocolCachePolicy) {
    return load(s, URLRequest(URL::fromString(url(path)), policy));
  }

  TempFolder m_folder;
  std::shared_ptr<URLCache> m_cache = std::make_shared<URLCache>(1 << 20, 1 << 22, m_folder.path());
  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
  std::atomic<int> m_hits{0};
  std::mutex m_mutex;
  std::string m_lastIfNoneMatch;
};

TEST_F(URLCacheSessionTest, AFreshReplyIsServedWithoutARequest) {
  auto s = session();
  Outcome first = load(s, "/fresh");
  ASSERT_FALSE(first.error);
  EXPECT_EQ(first.data, "fresh body 1");
  Outcome second = load(s, "/fresh");
  ASSERT_FALSE(second.error);
  EXPECT_EQ(second.data, "fresh body 1");
  ASSERT_TRUE(second.response);
  EXPECT_EQ(second.response->statusCode(), 200);
  EXPECT_EQ(second.response->valueForHTTPHeaderField("Cache-Control"), "max-age=3600");
  EXPECT_EQ(m_hits.load(), 1);

  // Reloading ignores the entry (and stores the new reply).
  Outcome reload = load(s, "/fresh", URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_EQ(reload.data, "fresh body 2");
  EXPECT_EQ(m_hits.load(), 2);
  EXPECT_EQ(load(s, "/fresh").data, "fresh body 2");
  // "no-cache" from the caller asks the server again.
  URLRequest noCache(URL::fromString(url("/fresh")));
  noCache.setValue("no-cache", "Cache-Control");
  EXPECT_EQ(load(s, noCache).data, "fresh body 3");
  EXPECT_EQ(m_hits.load(), 3);
  s->finishTasksAndInvalidate();
}

TEST_F(URLCacheSessionTest, AStaleReplyWithAnETagIsRevalidated) {
  auto s = session();
  Outcome first = load(s, "/etag");
  EXPECT_EQ(first.data, "tagged body");
  {
    std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_lastIfNoneMatch, "");
  }
  Outcome second = load(s, "/etag");
  ASSERT_FALSE(second.error);
  EXPECT_EQ(second.data, "tagged body");
  ASSERT_TRUE(second.response);
  EXPECT_EQ(second.response->statusCode(), 200);
  EXPECT_EQ(second.response->valueForHTTPHeaderField("X-Checked"), "yes");  // the 304's fields are kept
  EXPECT_EQ(m_hits.load(), 2);
  {
    std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_lastIfNoneMatch, "\"v1\"");
  }
  auto stored = m_cache->cachedResponseForRequest(URLRequest(URL::fromString(url("/etag"))));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->response()->valueForHTTPHeaderField("X-Checked"), "yes");

  // Reloading with revalidation asks too; the cached-data policies do not.
  EXPECT_EQ(load(s, "/etag", URLRequestCachePolicy::ReloadRevalidatingCacheData).data, "tagged body");
  EXPECT_EQ(m_hits.load(), 3);
  EXPECT_EQ(load(s, "/etag", URLRequestCachePolicy::ReturnCacheDataElseLoad).data, "tagged body");
  EXPECT_EQ(load(s, "/etag", URLRequestCachePolicy::ReturnCacheDataDontLoad).data, "tagged body");
  EXPECT_EQ(m_hits.load(), 3);
  s->finishTasksAndInvalidate();
}

TEST_F(URLCacheSessionTest, NoStoreRepliesAreNotKeptAndAMissWithoutLoadingFails) {
  auto s = session();
  EXPECT_EQ(load(s, "/nostore").data, "secret");
  EXPECT_EQ(load(s, "/nostore").data, "secret");
  EXPECT_EQ(m_hits.load(), 2);
  EXPECT_FALSE(m_cache->cachedResponseForRequest(URLRequest(URL::fromString(url("/nostore")))));

  Outcome miss = load(s, "/fresh", URLRequestCachePolicy::ReturnCacheDataDontLoad);
  ASSERT_TRUE(miss.error);
  EXPECT_EQ(miss.error->domain(), net::URLError::Domain);
  EXPECT_EQ(miss.error->code(), net::URLError::ResourceUnavailable);
  EXPECT_FALSE(miss.data);
  EXPECT_EQ(m_hits.load(), 2);
  s->finishTasksAndInvalidate();
}

// The delegate hears a cached reply like a loaded one, and decides what is stored.
class CachingDelegate : public net::URLSessionDelegate {
 public:
  void didReceiveResponse(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                          const std::shared_ptr<const net::HTTPURLResponse>& response,
                          net::ResponseHandler handler) override {
    add("response " + std::to_string(response->statusCode()));
    handler(net::ResponseDisposition::Allow);
  }
  void didReceiveData(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                      const std::string& data) override {
    add("data " + data);
  }
  void willCacheResponse(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                         const std::shared_ptr<const CachedURLResponse>& proposed,
                         net::CachedResponseHandler handler) override {
    add("will cache " + proposed->data());
    handler(refuse ? nullptr : proposed);
  }
  void didCompleteWithError(const std::shared_ptr<net::URLSession>&, const std::shared_ptr<net::URLSessionTask>&,
                            const std::optional<core::Error>& error) override {
    add(error ? "error" : "complete");
    std::lock_guard lock(mutex);
    ++completed;
    cv.notify_all();
  }
  void add(const std::string& event) {
    std::lock_guard lock(mutex);
    events.push_back(event);
  }
  bool waitCompleted(int count) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(15), [&] { return completed >= count; });
  }

  std::atomic<bool> refuse{false};
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::string> events;
  int completed = 0;
};

TEST_F(URLCacheSessionTest, TheDelegateDecidesWhatIsStored) {
  auto delegate = std::make_shared<CachingDelegate>();
  auto s = session(delegate);
  delegate->refuse = true;
  s->dataTaskWithURL(*URL::fromString(url("/fresh")))->resume();
  ASSERT_TRUE(delegate->waitCompleted(1));
  EXPECT_FALSE(m_cache->cachedResponseForRequest(URLRequest(URL::fromString(url("/fresh")))));

  delegate->refuse = false;
  s->dataTaskWithURL(*URL::fromString(url("/fresh")))->resume();
  ASSERT_TRUE(delegate->waitCompleted(2));
  s->dataTaskWithURL(*URL::fromString(url("/fresh")))->resume();
  ASSERT_TRUE(delegate->waitCompleted(3));
  EXPECT_EQ(m_hits.load(), 2);
  std::lock_guard lock(delegate->mutex);
  EXPECT_EQ(delegate->events, (std::vector<std::string>{
                                  "response 200", "data fresh body 1", "will cache fresh body 1", "complete",
                                  "response 200", "data fresh body 2", "will cache fresh body 2", "complete",
                                  // From the cache: no offer to store it again.
                                  "response 200", "data fresh body 2", "complete"}));
  s->finishTasksAndInvalidate();
}

}  // namespace
