// The request wrapper's own edge cases: how bodies, statuses and time-outs reach the finish
// block, how addresses are formed, and that finished requests leave nothing running behind.

#include "CloudFixture.h"

#include "http/HCURLSessionManager.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/net/SessionThreads.h"
#include "platform/net/URLError.h"
#include "songs/CloudHosts.h"
#include "support/SessionsLetGo.h"

#include <dirent.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using songs_test::CloudFixture;
using songs_test::Outcome;

class WGHTTPRequestTest : public CloudFixture {};

core::Value params(core::Value::Dictionary d) { return core::Value(std::move(d)); }

TEST_F(WGHTTPRequestTest, JsonReplyGivesRawBodyAndDecodedObjectOnTheMainQueue) {
  auto outcome = send("getktvsonglist.php", params({{"uid", ""}}), kt::CloudHosts::interfaceBase());
  EXPECT_EQ(outcome->calls, 1);
  EXPECT_TRUE(outcome->onMain);
  ASSERT_TRUE(outcome->raw);
  EXPECT_EQ(outcome->raw->front(), '{');
  ASSERT_TRUE(outcome->decoded);
  EXPECT_TRUE(outcome->decoded->isDictionary());
  EXPECT_FALSE(outcome->error);
}

TEST_F(WGHTTPRequestTest, HtmlPageWithStatus200GivesRawBodyOnly) {
  m_service.setFault("getktvsonglist.php", venue::Fault::html());
  auto outcome = send(kt::CloudApi::queue("u"));
  ASSERT_TRUE(outcome->raw);
  EXPECT_NE(outcome->raw->find("<html"), std::string::npos);
  EXPECT_FALSE(outcome->decoded);
  EXPECT_FALSE(outcome->error);
}

TEST_F(WGHTTPRequestTest, EmptyBodiesAndTopLevelScalarsDecodeToNothing) {
  m_service.setFault("getktvsonglist.php", venue::Fault::emptyBody());
  auto empty = send(kt::CloudApi::queue("u"));
  EXPECT_EQ(empty->raw, std::optional<std::string>(""));
  EXPECT_FALSE(empty->decoded);
  EXPECT_FALSE(empty->error);

  m_service.setFault("getktvsonglist.php", venue::Fault::jsonNull());
  auto null = send(kt::CloudApi::queue("u"));
  EXPECT_EQ(null->raw, std::optional<std::string>("null"));
  EXPECT_FALSE(null->decoded);

  m_service.setFault("getktvsonglist.php", venue::Fault::withBody(200, "[1,2]"));
  auto array = send(kt::CloudApi::queue("u"));
  ASSERT_TRUE(array->decoded);
  EXPECT_TRUE(array->decoded->isArray());
}

TEST_F(WGHTTPRequestTest, ErrorStatusesFailEvenWithAJsonBody) {
  for (int status : {404, 500}) {
    m_service.setFault("getktvsonglist.php", venue::Fault::withBody(status, R"({"code":"1","list":[]})"));
    auto outcome = send(kt::CloudApi::queue("u"));
    EXPECT_EQ(outcome->calls, 1);
    EXPECT_FALSE(outcome->raw) << status;
    EXPECT_FALSE(outcome->decoded) << status;
    EXPECT_TRUE(outcome->error) << status;
  }
}

TEST_F(WGHTTPRequestTest, ClosedConnectionFails) {
  m_service.setFault("getktvsonglist.php", venue::Fault::close());
  auto outcome = send(kt::CloudApi::queue("u"));
  EXPECT_FALSE(outcome->raw);
  EXPECT_FALSE(outcome->decoded);
  EXPECT_TRUE(outcome->error);
}

TEST_F(WGHTTPRequestTest, NoAnswerWithinTenSecondsIsATimeOut) {
  m_service.setFault("getktvsonglist.php", venue::Fault::slow(std::chrono::seconds(30)));
  auto outcome = send(kt::CloudApi::queue("u"), 25.0);
  ASSERT_TRUE(outcome->error);
  EXPECT_EQ(outcome->error->code(), static_cast<int64_t>(net::URLError::TimedOut));
  EXPECT_FALSE(outcome->raw);
  m_service.stop();  // cuts the held reply short
}

TEST_F(WGHTTPRequestTest, EmptyBaseRequestsTheWholeAddressPlusTheQuery) {
  send("http://song.ktvcloud.example/php/wxpic.php", params({{"tp", "tp"}}), "");
  EXPECT_EQ(lastLine(), "GET /php/wxpic.php?tp=tp HTTP/1.1");
  // An address that already has a query gets the parameters after "&".
  send("http://song.ktvcloud.example/php/wxpic.php?x=1", params({{"tp", "tp"}}), "");
  EXPECT_EQ(lastLine(), "GET /php/wxpic.php?x=1&tp=tp HTTP/1.1");
  // No parameters: the address unchanged.
  send("http://bind.ktvcloud.example/qr/abc", params({}), "");
  EXPECT_EQ(lastLine(), "GET /qr/abc HTTP/1.1");
}

TEST_F(WGHTTPRequestTest, BaseWithoutTrailingSlashGetsOneBeforeTheQuery) {
  send("", params({{"op", "getrankinfo"}, {"p", "1"}}), kt::CloudHosts::searchBase());
  EXPECT_EQ(lastLine(), "GET /wxsearchservice.aspx/?op=getrankinfo&p=1 HTTP/1.1");
}

TEST_F(WGHTTPRequestTest, EmptyValueKeepsItsEqualsSignAndKeysAscend) {
  send("getfavsongs.php", params({{"uid", ""}, {"p", "1"}}), kt::CloudHosts::interfaceBase());
  EXPECT_EQ(lastLine(), "GET /interface/getfavsongs.php?p=1&uid= HTTP/1.1");
}

TEST_F(WGHTTPRequestTest, NumbersAreWrittenInDecimal) {
  send("http://song.ktvcloud.example/php/wxsong.php", params({{"classid", 12}, {"uid", "u"}}), "");
  EXPECT_EQ(lastLine(), "GET /php/wxsong.php?classid=12&uid=u HTTP/1.1");
}

TEST_F(WGHTTPRequestTest, TextThatIsNoAddressStillFinishesOnceWithoutObject) {
  auto outcome = send("not a url at all", params({}), "");
  EXPECT_EQ(outcome->calls, 1);
  EXPECT_FALSE(outcome->decoded);
  EXPECT_EQ(m_service.requestCount(), 0u);
}

// The finish block of a request that never reached the network comes before its session has let
// go of the manager: that happens later, on the session's thread and then on the manager's queue.
// The wait for the sessions, as every fixture here does at its end, returns only once the manager
// has heard its session's last event.
TEST_F(WGHTTPRequestTest, ABadAddressLetsGoOfItsManagerOnlyAfterTheFinishBlock) {
  std::atomic<int> invalidated{0};
  core::Observation observation(core::NotificationCenter::defaultCenter(), kt::HCSessionInvalidatedNotification,
                                nullptr, [&](const core::Notification&) { ++invalidated; });
  auto outcome = send("not a url at all", params({}), "");
  EXPECT_EQ(outcome->calls, 1);
  ASSERT_TRUE(support::sessionsLetGo());
  EXPECT_EQ(invalidated.load(), 1);
  EXPECT_EQ(net::SessionThreads::lettingGo(), 0);
}

TEST_F(WGHTTPRequestTest, LogsTheAddressAndTheJoinedLineOnlyForTwoOrMoreKeys) {
  std::vector<std::string> lines;
  std::mutex mutex;
  core::LogSink previous = core::setLogSink([&](const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
  });
  send("songlisttop.php", params({{"uid", "u"}, {"musicno", "7"}}), kt::CloudHosts::interfaceBase());
  send("getktvsonglist.php", params({{"uid", "u"}}), kt::CloudHosts::interfaceBase());
  core::setLogSink(previous);

  auto count = [&](const std::string& needle) {
    int n = 0;
    for (const std::string& line : lines) n += line.find(needle) != std::string::npos;
    return n;
  };
  EXPECT_EQ(count("请求的网址：http://api.ktvcloud.example/interface/songlisttop.php\n参数："), 1);
  EXPECT_EQ(count("全拼地址====http://api.ktvcloud.example/interface/songlisttop.php?musicno=7&uid=u"), 1);
  EXPECT_EQ(count("全拼地址"), 1);
  EXPECT_EQ(count("接口:getktvsonglist.php\n请求道的结果为:"), 1);
}

TEST_F(WGHTTPRequestTest, CallsFromBackgroundThreadsFinishOnTheMainQueue) {
  constexpr int kCalls = 8;
  std::vector<std::shared_ptr<Outcome>> outcomes;
  for (int i = 0; i < kCalls; ++i) outcomes.push_back(std::make_shared<Outcome>());
  for (int i = 0; i < kCalls; ++i) {
    core::Queue::global()->async([o = outcomes[i]] {
      kt::WGHTTPRequest::get(kt::CloudApi::queue("u"), songs_test::recordInto(o));
    });
  }
  ASSERT_TRUE(support::runUntil(
      [&] {
        for (auto& o : outcomes)
          if (o->calls == 0) return false;
        return true;
      },
      15.0));
  for (auto& o : outcomes) {
    EXPECT_EQ(o->calls, 1);
    EXPECT_TRUE(o->onMain);
    EXPECT_TRUE(o->decoded);
  }
}

// Threads of the process other than the shared queue pool, which grows with load by design.
int threadCount() {
  int count = -core::Queue::poolThreadCount();
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

// Waits on the main loop until the process is back to at most `limit` threads.
bool settlesTo(int limit) { return support::runUntil([&] { return threadCount() <= limit; }); }

TEST_F(WGHTTPRequestTest, TwoHundredRequestsLeaveNoSessionThreadsBehind) {
  // Warm up the shared pools (global queues, resolver) so that only sessions could grow.
  for (int i = 0; i < 3; ++i) send(kt::CloudApi::queue("u"));
  const int baseline = threadCount();

  constexpr int kBatches = 20, kPerBatch = 10;
  int done = 0;
  for (int b = 0; b < kBatches; ++b) {
    auto finished = std::make_shared<int>(0);
    for (int i = 0; i < kPerBatch; ++i) {
      kt::WGHTTPRequest::get(kt::CloudApi::queue("u"),
                             [finished](const auto&, const auto& decoded, const auto&) { *finished += decoded ? 1 : 0; });
    }
    ASSERT_TRUE(support::runUntil([&] { return *finished == kPerBatch; }));
    done += *finished;
  }
  EXPECT_EQ(done, kBatches * kPerBatch);
  // A leak keeps a thread per request (200); the few threads of shared helpers that come and go
  // under load are allowed for.
  constexpr int kSlack = 3;
  EXPECT_TRUE(settlesTo(baseline + kSlack)) << "threads: " << threadCount() << ", before: " << baseline;
}

}  // namespace
