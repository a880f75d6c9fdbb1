// 1,000 GET requests to a local server through the HTTP session manager, against the same
// requests through plain libcurl: all at once through the multi interface with the session's
// connection limit (the same work: the ratio is our layer's overhead), and one by one through
// easy calls on one reused handle. The resident memory before and after the managed requests shows whether they leave
// anything behind.
//
// The server sends its replies without Nagle's delay: otherwise each reply's body waits for the
// client's delayed acknowledgement of its head (about 40 ms), and both sides would measure that.
// The main thread waits in its run loop (kept alive by an idle timer) instead of spinning, so
// the CPU column is the work of delivering the completions.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>
#ifdef DELETE
#undef DELETE
#endif

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "BenchReport.h"
#include "http/HCHTTPSessionManager.h"
#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"

namespace {

constexpr int kRequests = 1000;
// What the URL session asks for.
constexpr const char* kAcceptEncoding = "gzip, deflate";
// The session's default connections per host.
constexpr long kConnections = 6;

struct Server {
  httplib::Server server;
  std::thread thread;
  int port = 0;
  Server() {
    server.set_tcp_nodelay(true);
    server.Get("/songs", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(R"({"code":"1","msg":"ok","data":[{"songid":"1","songname":"月亮代表我的心"}]})", "application/json");
    });
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::yield();
  }
  ~Server() {
    server.stop();
    thread.join();
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port) + "/"; }
};

Server& server() {
  static Server s;
  return s;
}

long residentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    std::getline(status, key);
  }
  return 0;
}

void BM_SessionManagerGets(benchmark::State& state) {
  auto manager = kt::HCHTTPSessionManager::create(net::URL::fromString(server().base()));
  core::Value params(core::Value::Dictionary{{"p", "1"}, {"uid", "room-8"}});
  // Without a timer or source the run loop has nothing to wait for and returns at once.
  auto idle = core::Timer::create(3600, true, [](core::Timer&) {});
  core::RunLoop::main().addTimer(idle);
  const long before = residentKilobytes();
  for (auto _ : state) {
    int done = 0;
    int failed = 0;
    for (int i = 0; i < kRequests; ++i) {
      manager->GET("songs", params, [&](const auto&, const auto&) { ++done; },
                   [&](const auto&, const auto&) { ++done, ++failed; });
    }
    while (done < kRequests) core::RunLoop::main().runInMode(core::RunLoop::DefaultMode, core::Clock::now() + 0.05, true);
    if (failed) state.SkipWithError("requests failed");
  }
  state.counters["rss_after_requests_kb"] = static_cast<double>(residentKilobytes());
  idle->invalidate();
  manager->invalidateSessionCancelingTasks(false);
  core::RunLoop::main().runInMode(core::RunLoop::DefaultMode, core::Clock::now() + 0.2);
  state.counters["rss_before_kb"] = static_cast<double>(before);
  state.counters["rss_after_kb"] = static_cast<double>(residentKilobytes());
}
BENCHMARK(BM_SessionManagerGets)->Unit(benchmark::kMillisecond)->Iterations(3);

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

void BM_CurlEasyGets(benchmark::State& state) {
  CURL* curl = curl_easy_init();
  const std::string url = server().base() + "songs?p=1&uid=room-8";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
  // The same exchange as the session's.
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, kAcceptEncoding);
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("request failed");
    }
  }
  curl_easy_cleanup(curl);
}
BENCHMARK(BM_CurlEasyGets)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same work as the session manager's: every request at once through libcurl's multi
// interface, at most the session's connections per host.
void BM_CurlMultiGets(benchmark::State& state) {
  CURLM* multi = curl_multi_init();
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kConnections);
  const std::string url = server().base() + "songs?p=1&uid=room-8";
  for (auto _ : state) {
    for (int i = 0; i < kRequests; ++i) {
      CURL* curl = curl_easy_init();
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
      curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, kAcceptEncoding);
      curl_multi_add_handle(multi, curl);
    }
    int running = 1;
    while (running) {
      curl_multi_perform(multi, &running);
      int pending = 0;
      while (CURLMsg* message = curl_multi_info_read(multi, &pending)) {
        if (message->msg != CURLMSG_DONE) continue;
        if (message->data.result != CURLE_OK) state.SkipWithError("request failed");
        curl_multi_remove_handle(multi, message->easy_handle);
        curl_easy_cleanup(message->easy_handle);
      }
      if (running) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
  }
  curl_multi_cleanup(multi);
}
BENCHMARK(BM_CurlMultiGets)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  core::RunLoop::main();  // this thread is the main thread
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("BM_SessionManagerGets", "BM_CurlMultiGets")) {
    std::printf("session manager / libcurl multi: %.2f (%.1f ms vs %.1f ms per %d requests)\n", r->value,
                r->oursSeconds * 1e3, r->baseSeconds * 1e3, kRequests);
  }
  if (auto r = reporter.ratio("BM_SessionManagerGets", "BM_CurlEasyGets")) {
    std::printf("session manager / libcurl easy, one by one: %.2f (%.1f ms vs %.1f ms per %d requests)\n", r->value,
                r->oursSeconds * 1e3, r->baseSeconds * 1e3, kRequests);
  }
  benchmark::Shutdown();
  return 0;
}
