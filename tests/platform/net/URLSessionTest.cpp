#include "platform/core/Log.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/Queue.h"
#include "platform/net/DownloadResumeData.h"
#include "platform/net/HostMap.h"
#include "platform/net/InputStream.h"
#include "platform/net/SessionThreads.h"
#include "platform/net/SyncGet.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "support/LoopbackPeer.h"
#include "support/SessionsLetGo.h"
#include "venue/HttpServerThread.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace {

using net::URL;
using net::URLRequest;
using net::URLSession;
using Clock = std::chrono::steady_clock;

// Waits on a condition changed by other threads; the limit only stops a broken test.
class Waiter {
 public:
  void notify() { m_cv.notify_all(); }
  template <typename Pred>
  bool waitFor(std::unique_lock<std::mutex>& lock, Pred pred, double seconds = 15) {
    return m_cv.wait_for(lock, std::chrono::duration<double>(seconds), pred);
  }

 private:
  std::condition_variable m_cv;
};

// A gate a server handler blocks on until the test opens it (or the test ends).
class Gate {
 public:
  void open() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
    }
    m_cv.notify_all();
  }
  void wait() {
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::seconds(20), [this] { return m_open; });
  }
  void arrive() {
    {
      std::lock_guard lock(m_mutex);
      m_arrived = true;
    }
    m_cv.notify_all();
  }
  bool waitArrived() {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(15), [this] { return m_arrived; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_open = false;
  bool m_arrived = false;
};

std::string gzipText(const std::string& text, bool rawDeflate = false) {
  z_stream zs{};
  deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, rawDeflate ? 15 : 15 + 16, 8, Z_DEFAULT_STRATEGY);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  std::string out(deflateBound(&zs, text.size()), '\0');
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// An HTTP server on 127.0.0.1 with the routes the tests use; it records what it received.
class TestServer {
 public:
  explicit TestServer(httplib::Server* server = nullptr) : m_owned(server ? nullptr : new httplib::Server) {
    m_server = server ? server : m_owned.get();
    auto& s = *m_server;
    s.Get("/hello", [this](const httplib::Request& req, httplib::Response& res) {
      record(req);
      res.set_content("hello world", "text/plain; charset=utf-8");
    });
    s.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(200000, 'x'), "application/octet-stream");
    });
    s.Get("/gzip", [this](const httplib::Request& req, httplib::Response& res) {
      record(req);
      res.set_header("Content-Encoding", "gzip");
      res.set_content(gzipText(std::string(5000, 'g') + "end"), "application/octet-stream");
    });
    s.Get("/deflate", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Encoding", "deflate");
      res.set_content(gzipText("deflated text", true), "application/octet-stream");
    });
    s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("no such page", "text/html");
    });
    s.Get("/r1", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "/r2?step=2");
      res.set_content("moved once", "text/plain");
    });
    s.Get("/r2", [](const httplib::Request&, httplib::Response& res) {
      res.status = 301;
      res.set_header("Location", "final");
      res.set_content("moved twice", "text/plain");
    });
    s.Get("/final", [](const httplib::Request&, httplib::Response& res) { res.set_content("arrived", "text/plain"); });
    s.Get("/loop", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "/loop");
    });
    s.Post("/r307", [](const httplib::Request&, httplib::Response& res) {
      res.status = 307;
      res.set_header("Location", "/echo");
    });
    s.Post("/see-other", [](const httplib::Request&, httplib::Response& res) {
      res.status = 303;
      res.set_header("Location", "/method");
    });
    auto echoMethod = [this](const httplib::Request& req, httplib::Response& res) {
      record(req);
      res.set_content(req.method + ":" + req.body, "text/plain");
    };
    s.Get("/method", echoMethod);
    s.Post("/echo", echoMethod);
    s.Put("/echo", echoMethod);
    s.Get("/stall", [this](const httplib::Request&, httplib::Response&) {
      m_stallGate.arrive();
      m_stallGate.wait();
    });
    s.Get("/stall-body", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain", [this](size_t offset, httplib::DataSink& sink) {
        if (offset == 0) {
          sink.write("first part", 10);
          return true;
        }
        m_stallGate.arrive();
        m_stallGate.wait();
        sink.done();
        return true;
      });
    });
    m_port = s.bind_to_any_port("127.0.0.1");
    m_thread = venue::listenInBackground(*m_server);
    // stop() does nothing to a server that is not listening yet, which would leave the thread in
    // accept() for good: wait until it listens.
    while (!m_server->is_running()) std::this_thread::yield();
  }

  ~TestServer() {
    m_stallGate.open();
    m_server->stop();
    m_thread.join();
  }

  int port() const { return m_port; }
  std::string base() const { return m_server == m_owned.get() ? "http://127.0.0.1:" + std::to_string(m_port) : ""; }
  URL url(const std::string& path) const { return *URL::fromString(base() + path); }
  Gate& stallGate() { return m_stallGate; }

  httplib::Headers lastHeaders() {
    std::lock_guard lock(m_mutex);
    return m_lastHeaders;
  }

 private:
  void record(const httplib::Request& req) {
    std::lock_guard lock(m_mutex);
    m_lastHeaders = req.headers;
  }

  std::unique_ptr<httplib::Server> m_owned;
  httplib::Server* m_server = nullptr;
  int m_port = 0;
  std::thread m_thread;
  Gate m_stallGate;
  std::mutex m_mutex;
  httplib::Headers m_lastHeaders;
};

// A delegate that records every event, in order, and answers as the test asks.
class Recorder : public net::URLSessionDelegate {
 public:
  net::ResponseDisposition responseAnswer = net::ResponseDisposition::Allow;
  bool followRedirects = true;
  net::AuthChallengeDisposition challengeAnswer = net::AuthChallengeDisposition::PerformDefaultHandling;

  void didBecomeInvalidWithError(const std::shared_ptr<URLSession>&, const std::optional<core::Error>&) override {
    log("invalid");
  }
  void didReceiveChallenge(const std::shared_ptr<URLSession>&, const net::AuthenticationChallenge& challenge,
                           net::ChallengeHandler handler) override {
    {
      std::lock_guard lock(mutex);
      trust = challenge.protectionSpace.serverTrust;
      challengeMethod = challenge.protectionSpace.authenticationMethod;
    }
    log("challenge");
    handler(challengeAnswer, challengeAnswer == net::AuthChallengeDisposition::UseCredential
                                 ? net::URLCredential::forTrust(challenge.protectionSpace.serverTrust)
                                 : nullptr);
  }
  void willPerformHTTPRedirection(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionTask>&,
                                  const std::shared_ptr<const net::HTTPURLResponse>& response,
                                  const URLRequest& request, net::RedirectHandler handler) override {
    log("redirect " + std::to_string(response->statusCode()) + " " + request.url()->absoluteString() + " " +
        request.HTTPMethod());
    if (followRedirects) {
      handler(request);
    } else {
      handler(std::nullopt);
    }
  }
  void didSendBodyData(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionTask>&, int64_t,
                       int64_t total, int64_t expected) override {
    std::lock_guard lock(mutex);
    sentTotal = total;
    sentExpected = expected;
  }
  void didCompleteWithError(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionTask>& task,
                            const std::optional<core::Error>& error) override {
    {
      std::lock_guard lock(mutex);
      completions[task->taskIdentifier()]++;
      errors[task->taskIdentifier()] = error;
      EXPECT_EQ(task->state(), net::URLSessionTaskState::Completed);
    }
    log(error ? "complete " + std::to_string(error->code()) : std::string("complete ok"));
  }
  void didReceiveResponse(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                          const std::shared_ptr<const net::HTTPURLResponse>& response,
                          net::ResponseHandler handler) override {
    log("response " + std::to_string(response->statusCode()));
    handler(responseAnswer);
  }
  void didBecomeDownloadTask(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                             const std::shared_ptr<net::URLSessionDownloadTask>&) override {
    log("became download");
  }
  void didReceiveData(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionDataTask>&,
                      const std::string& data) override {
    std::lock_guard lock(mutex);
    body += data;
    if (events.empty() || events.back() != "data") events.push_back("data");
  }
  void didFinishDownloadingToURL(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionDownloadTask>&,
                                 const URL& location) override {
    std::ifstream in(location.path(), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    {
      std::lock_guard lock(mutex);
      downloadPath = location.path();
      body = content;
    }
    log("finished download");
  }
  void didWriteData(const std::shared_ptr<URLSession>&, const std::shared_ptr<net::URLSessionDownloadTask>&, int64_t,
                    int64_t total, int64_t) override {
    std::lock_guard lock(mutex);
    writtenTotal = total;
  }

  void log(const std::string& event) {
    std::lock_guard lock(mutex);
    events.push_back(event);
    waiter.notify();
  }
  bool waitForEvent(const std::string& event, double seconds = 15) {
    std::unique_lock lock(mutex);
    return waiter.waitFor(
        lock, [&] { return std::find(events.begin(), events.end(), event) != events.end(); }, seconds);
  }
  bool waitForCompletion(double seconds = 15) {
    std::unique_lock lock(mutex);
    return waiter.waitFor(
        lock,
        [&] {
          return std::any_of(events.begin(), events.end(), [](const std::string& e) { return e.rfind("complete", 0) == 0; });
        },
        seconds);
  }
  std::vector<std::string> eventList() {
    std::lock_guard lock(mutex);
    return events;
  }

  std::mutex mutex;
  Waiter waiter;
  std::vector<std::string> events;
  std::string body;
  std::map<uint64_t, int> completions;
  std::map<uint64_t, std::optional<core::Error>> errors;
  std::shared_ptr<const net::ServerTrust> trust;
  std::string challengeMethod;
  std::string downloadPath;
  int64_t sentTotal = 0;
  int64_t sentExpected = 0;
  int64_t writtenTotal = 0;
};

// The result of a task made with a completion handler.
struct Outcome {
  std::mutex mutex;
  Waiter waiter;
  int calls = 0;
  std::optional<std::string> data;
  std::shared_ptr<const net::HTTPURLResponse> response;
  std::optional<core::Error> error;

  URLSession::DataCompletion handler() {
    return [this](std::optional<std::string> d, std::shared_ptr<const net::HTTPURLResponse> r,
                  std::optional<core::Error> e) {
      // Notified under the lock: the waiting test may destroy this object as soon as it wakes.
      std::lock_guard lock(mutex);
      ++calls;
      data = std::move(d);
      response = std::move(r);
      error = std::move(e);
      waiter.notify();
    };
  }
  bool wait() {
    std::unique_lock lock(mutex);
    return waiter.waitFor(lock, [&] { return calls > 0; });
  }
};

int64_t errorCode(const std::optional<core::Error>& error) { return error ? error->code() : 0; }

class URLSessionTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& session : m_sessions) session->invalidateAndCancel();
  }

  std::shared_ptr<URLSession> makeSession(std::shared_ptr<net::URLSessionDelegate> delegate = nullptr) {
    auto session = URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration(), std::move(delegate));
    m_sessions.push_back(session);
    return session;
  }

  // Runs a data task with a completion handler to its end.
  void load(const URLRequest& request, Outcome& outcome, std::shared_ptr<net::URLSessionDelegate> delegate = nullptr) {
    auto session = makeSession(std::move(delegate));
    auto task = session->dataTaskWithRequest(request, outcome.handler());
    ASSERT_TRUE(task);
    task->resume();
    ASSERT_TRUE(outcome.wait());
  }

  TestServer m_server;
  std::vector<std::shared_ptr<URLSession>> m_sessions;
};

TEST_F(URLSessionTest, DataTaskReportsResponseDataAndCompletionInOrder) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  auto task = session->dataTaskWithRequest(URLRequest(m_server.url("/hello")));
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Suspended);
  task->resume();
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Running);
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(recorder->eventList(), (std::vector<std::string>{"response 200", "data", "complete ok"}));
  EXPECT_EQ(recorder->body, "hello world");
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Completed);
  EXPECT_EQ(task->countOfBytesReceived(), 11);
  // The expected count is the reply's Content-Length, which counts the encoded bytes.
  EXPECT_EQ(task->countOfBytesExpectedToReceive(), task->response()->expectedContentLength());
  EXPECT_EQ(task->response()->MIMEType(), "text/plain");
  EXPECT_EQ(task->response()->textEncodingName(), "utf-8");
  // Cancelling a completed task changes nothing: the task completes exactly once.
  task->cancel();
  task->resume();
  session->finishTasksAndInvalidate();
  ASSERT_TRUE(recorder->waitForEvent("invalid"));
  EXPECT_EQ(recorder->completions[task->taskIdentifier()], 1);
  EXPECT_EQ(recorder->eventList().back(), "invalid");
  EXPECT_FALSE(session->delegate());
}

TEST_F(URLSessionTest, CompletionHandlerGetsBodyAndStatusAndTaskIdentifiersAreUnique) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  Outcome a, b;
  auto first = session->dataTaskWithRequest(URLRequest(m_server.url("/big")), a.handler());
  auto second = session->dataTaskWithRequest(URLRequest(m_server.url("/missing")), b.handler());
  EXPECT_NE(first->taskIdentifier(), second->taskIdentifier());
  first->resume();
  second->resume();
  ASSERT_TRUE(a.wait());
  ASSERT_TRUE(b.wait());
  EXPECT_EQ(a.data->size(), 200000u);
  EXPECT_EQ(a.calls, 1);
  EXPECT_EQ(b.response->statusCode(), 404);
  EXPECT_EQ(b.data, "no such page");
  EXPECT_FALSE(b.error);
  // With a completion handler the delegate hears neither the reply nor the data.
  auto events = recorder->eventList();
  EXPECT_TRUE(std::none_of(events.begin(), events.end(), [](auto& e) { return e.rfind("response", 0) == 0 || e == "data"; }));
}

TEST_F(URLSessionTest, GzipAndDeflateRepliesAreDecoded) {
  Outcome gz;
  load(URLRequest(m_server.url("/gzip")), gz);
  ASSERT_FALSE(gz.error);
  EXPECT_EQ(*gz.data, std::string(5000, 'g') + "end");
  auto headers = m_server.lastHeaders();
  auto accept = headers.find("Accept-Encoding");
  ASSERT_NE(accept, headers.end());
  EXPECT_NE(accept->second.find("gzip"), std::string::npos);
  EXPECT_NE(accept->second.find("deflate"), std::string::npos);

  Outcome deflated;
  load(URLRequest(m_server.url("/deflate")), deflated);
  EXPECT_EQ(deflated.data, "deflated text");
}

TEST_F(URLSessionTest, RedirectsAreAskedPerHopAndFollowed) {
  auto recorder = std::make_shared<Recorder>();
  Outcome outcome;
  load(URLRequest(m_server.url("/r1")), outcome, recorder);
  ASSERT_FALSE(outcome.error);
  EXPECT_EQ(outcome.data, "arrived");
  EXPECT_EQ(outcome.response->statusCode(), 200);
  EXPECT_EQ(outcome.response->url().absoluteString(), m_server.base() + "/final");
  EXPECT_EQ(recorder->eventList(),
            (std::vector<std::string>{"redirect 302 " + m_server.base() + "/r2?step=2 GET",
                                      "redirect 301 " + m_server.base() + "/final GET"}));
}

TEST_F(URLSessionTest, RefusedRedirectCompletesWithTheRedirectReply) {
  auto recorder = std::make_shared<Recorder>();
  recorder->followRedirects = false;
  auto session = makeSession(recorder);
  auto task = session->dataTaskWithRequest(URLRequest(m_server.url("/r1")));
  task->resume();
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(recorder->eventList(), (std::vector<std::string>{"redirect 302 " + m_server.base() + "/r2?step=2 GET",
                                                             "response 302", "data", "complete ok"}));
  EXPECT_EQ(recorder->body, "moved once");
  EXPECT_EQ(task->response()->statusCode(), 302);
  EXPECT_EQ(task->currentRequest()->url()->absoluteString(), m_server.base() + "/r1");
}

TEST_F(URLSessionTest, EventsTheDelegateDoesNotRespondToGetTheSessionsDefaultWithoutAsking) {
  // It would refuse the redirect, if it were asked.
  struct Silent : Recorder {
    bool respondsToEvent(OptionalEvent event) const override {
      return event != OptionalEvent::WillPerformHTTPRedirection && event != OptionalEvent::DidReceiveResponse;
    }
  };
  auto recorder = std::make_shared<Silent>();
  recorder->followRedirects = false;
  auto session = makeSession(recorder);
  auto task = session->dataTaskWithRequest(URLRequest(m_server.url("/r1")));
  task->resume();
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(recorder->eventList(), (std::vector<std::string>{"data", "complete ok"}));
  EXPECT_EQ(recorder->body, "arrived");
  EXPECT_EQ(task->response()->statusCode(), 200);
}

TEST_F(URLSessionTest, SeeOtherTurnsAPostIntoAGetAndEndlessRedirectsStop) {
  URLRequest post(m_server.url("/see-other"));
  post.setHTTPMethod("POST");
  post.setHTTPBody(std::string("a=1"));
  Outcome outcome;
  load(post, outcome);
  EXPECT_EQ(outcome.data, "GET:");

  Outcome loop;
  load(URLRequest(m_server.url("/loop")), loop);
  EXPECT_EQ(errorCode(loop.error), net::URLError::HTTPTooManyRedirects);
}

TEST_F(URLSessionTest, ResponseDispositionsCancelOrTurnIntoADownload) {
  auto cancelling = std::make_shared<Recorder>();
  cancelling->responseAnswer = net::ResponseDisposition::Cancel;
  auto session = makeSession(cancelling);
  auto task = session->dataTaskWithRequest(URLRequest(m_server.url("/big")));
  task->resume();
  ASSERT_TRUE(cancelling->waitForCompletion());
  EXPECT_EQ(cancelling->eventList(), (std::vector<std::string>{"response 200", "complete -999"}));

  auto converting = std::make_shared<Recorder>();
  converting->responseAnswer = net::ResponseDisposition::BecomeDownload;
  auto second = makeSession(converting);
  auto dataTask = second->dataTaskWithRequest(URLRequest(m_server.url("/big")));
  dataTask->resume();
  ASSERT_TRUE(converting->waitForCompletion());
  EXPECT_EQ(converting->eventList(), (std::vector<std::string>{"response 200", "became download", "finished download",
                                                               "complete ok"}));
  EXPECT_EQ(converting->body, std::string(200000, 'x'));
  EXPECT_EQ(converting->completions.count(dataTask->taskIdentifier()), 0u);
  EXPECT_FALSE(std::filesystem::exists(converting->downloadPath));
}

TEST_F(URLSessionTest, DownloadTaskWritesATemporaryFileRemovedAfterTheEvent) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  auto task = session->downloadTaskWithRequest(URLRequest(m_server.url("/big")));
  task->resume();
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(recorder->eventList(), (std::vector<std::string>{"finished download", "complete ok"}));
  EXPECT_EQ(recorder->body.size(), 200000u);
  EXPECT_EQ(recorder->writtenTotal, 200000);
  EXPECT_FALSE(recorder->downloadPath.empty());
  EXPECT_FALSE(std::filesystem::exists(recorder->downloadPath));

  // The completion-handler form hands over the file the same way.
  std::mutex mutex;
  Waiter waiter;
  std::string content;
  std::string path;
  bool done = false;
  auto withHandler = session->downloadTaskWithRequest(
      URLRequest(m_server.url("/hello")),
      [&](std::optional<URL> location, std::shared_ptr<const net::HTTPURLResponse>, std::optional<core::Error> error) {
        EXPECT_FALSE(error);
        std::lock_guard lock(mutex);
        if (location) {
          path = location->path();
          std::ifstream in(path);
          content.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        }
        done = true;
        waiter.notify();
      });
  withHandler->resume();
  std::unique_lock lock(mutex);
  ASSERT_TRUE(waiter.waitFor(lock, [&] { return done; }));
  EXPECT_EQ(content, "hello world");
  lock.unlock();
  session->finishTasksAndInvalidate();
  ASSERT_TRUE(recorder->waitForEvent("invalid"));
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(URLSessionTest, ResumeDataThatCannotBeUsedFailsTheTaskAndTouchesNoOtherFile) {
  auto session = makeSession();
  // Another file, named by resume data from elsewhere: the session must neither cut, write nor
  // remove it.
  const std::string victim = net::DownloadResumeData::downloadDirectory() + "/kept-" + std::to_string(::getpid());
  std::ofstream(victim) << "precious";
  net::DownloadResumeData forged;
  forged.url = m_server.url("/hello").absoluteString();
  forged.filePath = victim;
  forged.bytesReceived = 2;
  forged.entityTag = "\"x\"";
  // A download file of ours that is no longer there.
  net::DownloadResumeData gone = forged;
  gone.filePath = net::DownloadResumeData::downloadDirectory() + "/" + net::DownloadResumeData::FilePrefix + "gone";
  std::filesystem::remove(gone.filePath);

  for (const std::string& blob : {std::string("not resume data"), forged.encode(), gone.encode()}) {
    std::mutex mutex;
    Waiter waiter;
    std::optional<core::Error> failure;
    bool done = false;
    auto task = session->downloadTaskWithResumeData(
        blob, [&](std::optional<URL> location, std::shared_ptr<const net::HTTPURLResponse>, std::optional<core::Error> error) {
          EXPECT_FALSE(location);
          std::lock_guard lock(mutex);
          failure = error;
          done = true;
          waiter.notify();
        });
    ASSERT_TRUE(task);
    task->resume();
    std::unique_lock lock(mutex);
    ASSERT_TRUE(waiter.waitFor(lock, [&] { return done; }));
    EXPECT_EQ(errorCode(failure), net::URLError::CannotOpenFile);
  }
  EXPECT_TRUE(m_server.lastHeaders().empty());  // nothing was asked for
  std::ifstream in(victim);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "precious");
  std::filesystem::remove(victim);
}

TEST_F(URLSessionTest, UploadsFromDataFileAndStream) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  URLRequest request(m_server.url("/echo"));
  request.setHTTPMethod("POST");

  Outcome fromData;
  session->uploadTaskWithRequest(request, std::string(3000, 'd'), fromData.handler())->resume();
  ASSERT_TRUE(fromData.wait());
  EXPECT_EQ(fromData.data, "POST:" + std::string(3000, 'd'));
  {
    std::lock_guard lock(recorder->mutex);
    EXPECT_EQ(recorder->sentTotal, 3000);
    EXPECT_EQ(recorder->sentExpected, 3000);
  }

  std::string path = std::filesystem::temp_directory_path() / ("url-session-upload-" + std::to_string(::getpid()));
  std::ofstream(path) << "file body";
  URLRequest put = request;
  put.setHTTPMethod("PUT");
  Outcome fromFile;
  session->uploadTaskWithRequest(put, URL::fileURLWithPath(path), fromFile.handler())->resume();
  ASSERT_TRUE(fromFile.wait());
  EXPECT_EQ(fromFile.data, "PUT:file body");
  std::filesystem::remove(path);

  URLRequest streamed = request;
  streamed.setHTTPBodyStream(net::InputStream::withData("streamed body"));
  auto task = session->uploadTaskWithStreamedRequest(streamed);
  task->resume();
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(recorder->body, "POST:streamed body");
  auto headers = m_server.lastHeaders();
  auto encoding = headers.find("Transfer-Encoding");
  ASSERT_NE(encoding, headers.end());
  EXPECT_EQ(encoding->second, "chunked");
}

TEST_F(URLSessionTest, StreamedBodyIsAskedForAgainWhenARedirectKeepsIt) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  URLRequest request(m_server.url("/r307"));
  request.setHTTPMethod("POST");
  request.setHTTPBodyStream(net::InputStream::withData("streamed twice"));
  session->uploadTaskWithStreamedRequest(request)->resume();
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(recorder->body, "POST:streamed twice");
  EXPECT_EQ(recorder->eventList().front(), "redirect 307 " + m_server.base() + "/echo POST");
}

TEST_F(URLSessionTest, SuspendAndResumeChangeStateOnlyWhenTheyApply) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  auto task = session->dataTaskWithRequest(URLRequest(m_server.url("/stall-body")));
  task->suspend();
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Suspended);
  task->resume();
  task->resume();
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Running);
  ASSERT_TRUE(m_server.stallGate().waitArrived());
  task->suspend();
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Suspended);
  m_server.stallGate().open();
  task->resume();
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(recorder->eventList(), (std::vector<std::string>{"response 200", "data", "complete ok"}));
  EXPECT_EQ(recorder->body, "first part");
}

TEST_F(URLSessionTest, IdleTimeoutGivesTimedOut) {
  // A short time-out that starts while a long one is pending fires in its own time, not the
  // long one's.
  auto session = makeSession();
  URLRequest patient(m_server.url("/stall"));
  patient.setTimeoutInterval(60);
  Outcome waiting;
  auto longTask = session->dataTaskWithRequest(patient, waiting.handler());
  longTask->resume();
  ASSERT_TRUE(m_server.stallGate().waitArrived());
  URLRequest hasty(m_server.url("/stall"));
  hasty.setTimeoutInterval(0.3);
  Outcome quick;
  session->dataTaskWithRequest(hasty, quick.handler())->resume();
  ASSERT_TRUE(quick.wait());
  EXPECT_EQ(errorCode(quick.error), net::URLError::TimedOut);
  longTask->cancel();
  ASSERT_TRUE(waiting.wait());

  URLRequest request(m_server.url("/stall"));
  request.setTimeoutInterval(0.3);
  Outcome silent;
  load(request, silent);
  EXPECT_EQ(errorCode(silent.error), net::URLError::TimedOut);
  EXPECT_EQ(*silent.error->userInfo()[net::URLError::FailingURLStringKey].asString(),
            m_server.base() + "/stall");

  // Bytes that stop coming time out the same way.
  URLRequest partial(m_server.url("/stall-body"));
  partial.setTimeoutInterval(0.3);
  Outcome stalled;
  load(partial, stalled);
  EXPECT_EQ(errorCode(stalled.error), net::URLError::TimedOut);
}

TEST_F(URLSessionTest, CancelGivesCancelledOnce) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  auto task = session->dataTaskWithRequest(URLRequest(m_server.url("/stall")));
  task->resume();
  ASSERT_TRUE(m_server.stallGate().waitArrived());
  task->cancel();
  task->cancel();
  ASSERT_TRUE(recorder->waitForCompletion());
  session->finishTasksAndInvalidate();
  ASSERT_TRUE(recorder->waitForEvent("invalid"));
  EXPECT_EQ(recorder->eventList(), (std::vector<std::string>{"complete -999", "invalid"}));
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Completed);
  EXPECT_EQ(errorCode(task->error()), net::URLError::Cancelled);

  // A task cancelled before it ever ran completes too.
  auto recorder2 = std::make_shared<Recorder>();
  auto second = makeSession(recorder2);
  auto never = second->dataTaskWithRequest(URLRequest(m_server.url("/hello")));
  never->cancel();
  ASSERT_TRUE(recorder2->waitForCompletion());
  EXPECT_EQ(recorder2->eventList(), (std::vector<std::string>{"complete -999"}));
}

TEST_F(URLSessionTest, ConnectionFailuresMapToTheirCodes) {
  Outcome unknownHost;
  load(URLRequest(URL::fromString("http://no-such-host.invalid/x")), unknownHost);
  EXPECT_EQ(errorCode(unknownHost.error), net::URLError::CannotFindHost);

  // A port nobody listens on: bound, then closed again.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  Outcome refused;
  load(URLRequest(URL::fromString("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/")), refused);
  EXPECT_EQ(errorCode(refused.error), net::URLError::CannotConnectToHost);

  Outcome unsupported;
  load(URLRequest(URL::fromString("ftp://127.0.0.1/x")), unsupported);
  EXPECT_EQ(errorCode(unsupported.error), net::URLError::UnsupportedURL);
  Outcome noURL;
  load(URLRequest(), noURL);
  EXPECT_EQ(errorCode(noURL.error), net::URLError::UnsupportedURL);
}

TEST_F(URLSessionTest, HostMapSendsRequestsToTheStandInUnderTheirOwnName) {
  net::HostMap::set("cloud.example.test", 80, "127.0.0.1", m_server.port());
  Outcome outcome;
  load(URLRequest(URL::fromString("http://cloud.example.test/hello")), outcome);
  net::HostMap::remove("cloud.example.test", 80);
  ASSERT_FALSE(outcome.error) << outcome.error->description();
  EXPECT_EQ(outcome.data, "hello world");
  EXPECT_EQ(outcome.response->url().absoluteString(), "http://cloud.example.test/hello");
  auto headers = m_server.lastHeaders();
  ASSERT_NE(headers.find("Host"), headers.end());
  EXPECT_EQ(headers.find("Host")->second, "cloud.example.test");
}

TEST_F(URLSessionTest, SessionHeadersAreAddedUnlessTheRequestSetsThem) {
  net::URLSessionConfiguration config = net::URLSessionConfiguration::defaultSessionConfiguration();
  config.setHTTPAdditionalHeaders({{"X-Session", "s"}, {"X-Both", "session"}});
  auto session = URLSession::create(config);
  m_sessions.push_back(session);
  URLRequest request(m_server.url("/hello"));
  request.setValue("request", "x-both");
  Outcome outcome;
  session->dataTaskWithRequest(request, outcome.handler())->resume();
  ASSERT_TRUE(outcome.wait());
  auto headers = m_server.lastHeaders();
  EXPECT_EQ(headers.find("X-Session")->second, "s");
  EXPECT_EQ(headers.count("X-Both"), 1u);
  EXPECT_EQ(headers.find("X-Both")->second, "request");
}

TEST_F(URLSessionTest, GetTasksListsUnfinishedTasksAndInvalidateAndCancelEndsThem) {
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  auto a = session->dataTaskWithRequest(URLRequest(m_server.url("/hello")));
  auto b = session->dataTaskWithRequest(URLRequest(m_server.url("/hello")));
  auto c = session->downloadTaskWithRequest(URLRequest(m_server.url("/hello")));
  std::mutex mutex;
  Waiter waiter;
  std::optional<std::array<size_t, 3>> counts;
  session->getTasksWithCompletionHandler([&](auto data, auto upload, auto download) {
    std::lock_guard lock(mutex);
    counts = std::array<size_t, 3>{data.size(), upload.size(), download.size()};
    waiter.notify();
  });
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(waiter.waitFor(lock, [&] { return counts.has_value(); }));
    EXPECT_EQ(*counts, (std::array<size_t, 3>{2, 0, 1}));
  }
  session->invalidateAndCancel();
  EXPECT_FALSE(session->dataTaskWithRequest(URLRequest(m_server.url("/hello"))));
  ASSERT_TRUE(recorder->waitForEvent("invalid"));
  EXPECT_EQ(recorder->eventList(),
            (std::vector<std::string>{"complete -999", "complete -999", "complete -999", "invalid"}));
}

int countEntries(const char* dir) {
  int n = 0;
  if (DIR* d = ::opendir(dir)) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') ++n;
    }
    ::closedir(d);
  }
  return n;
}

TEST_F(URLSessionTest, InvalidatedSessionsReleaseTheirThreadsAndHandles) {
  // Warm up the shared pool and libcurl's one-time state.
  Outcome warm;
  load(URLRequest(m_server.url("/hello")), warm);
  m_sessions.back()->finishTasksAndInvalidate();
  m_sessions.clear();
  auto threadsOutsidePool = [] { return countEntries("/proc/self/task") - core::Queue::poolThreadCount(); };
  auto settle = [](const std::function<bool()>& condition) {
    auto deadline = Clock::now() + std::chrono::seconds(20);
    // Thread exits are only visible in /proc: poll for them.
    while (!condition() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
  };
  const int threadsBefore = threadsOutsidePool();
  const int fdsBefore = countEntries("/proc/self/fd");

  auto recorder = std::make_shared<Recorder>();
  for (int i = 0; i < 200; ++i) {
    auto session = URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration(), recorder);
    if (i % 2 == 0) {
      session->finishTasksAndInvalidate();
    } else {
      session->dataTaskWithRequest(URLRequest(m_server.url("/hello")))->resume();
      session->invalidateAndCancel();
    }
  }
  {
    std::unique_lock lock(recorder->mutex);
    ASSERT_TRUE(recorder->waiter.waitFor(
        lock, [&] { return std::count(recorder->events.begin(), recorder->events.end(), "invalid") == 200; }, 60));
  }
  EXPECT_TRUE(settle([&] { return threadsOutsidePool() <= threadsBefore; }))
      << threadsOutsidePool() << " threads, " << threadsBefore << " before";
  EXPECT_TRUE(settle([&] { return countEntries("/proc/self/fd") <= fdsBefore + 2; }))
      << countEntries("/proc/self/fd") << " descriptors, " << fdsBefore << " before";
}

TEST_F(URLSessionTest, SyncGetReturnsAnyBodyAndReportsFailures) {
  net::HTTPURLResponse response(URL(), 0, "", {});
  core::Error error;
  auto body = net::syncGet(m_server.url("/missing"), 10, &response, &error);
  EXPECT_EQ(body, "no such page");
  EXPECT_EQ(response.statusCode(), 404);

  auto none = net::syncGet(*URL::fromString("http://no-such-host.invalid/"), 10, nullptr, &error);
  EXPECT_FALSE(none);
  EXPECT_EQ(error.code(), net::URLError::CannotFindHost);
}

// A server that answers one connection with the bytes given, as they are, and closes it.
class RawReplyServer {
 public:
  explicit RawReplyServer(std::string reply)
      : m_thread([this, reply = std::move(reply)] {
          int fd = m_listener.accept(15000);
          if (fd < 0) return;
          std::string request;
          while (request.find("\r\n\r\n") == std::string::npos) {
            std::string more = looptest::receive(fd, 1, 5000);
            if (more.empty()) break;
            request += more;
          }
          looptest::sendAll(fd, reply);
          ::close(fd);
        }) {}
  ~RawReplyServer() { m_thread.join(); }

  URL url() const { return *URL::fromString("http://127.0.0.1:" + std::to_string(m_listener.port()) + "/raw"); }

 private:
  looptest::Listener m_listener;
  std::thread m_thread;
};

TEST_F(URLSessionTest, FoldedHeadersAreJoinedAndABlankContinuationAddsNothing) {
  // A blank continuation line once ended the program from inside libcurl's header callback.
  RawReplyServer server(
      "HTTP/1.1 200 OK\r\n"
      "X-A: a\r\n"
      " \r\n"
      "X-B: b\r\n"
      "\t  more  \r\n"
      "X-C:\r\n"
      "  c\r\n"
      "Content-Length: 5\r\n"
      "Connection: close\r\n"
      "\r\n"
      "hello");
  Outcome outcome;
  load(URLRequest(server.url()), outcome);
  ASSERT_FALSE(outcome.error) << outcome.error->description();
  EXPECT_EQ(outcome.data, "hello");
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->valueForHTTPHeaderField("X-A"), "a");
  EXPECT_EQ(outcome.response->valueForHTTPHeaderField("X-B"), "b more");
  EXPECT_EQ(outcome.response->valueForHTTPHeaderField("X-C"), "c");
  EXPECT_EQ(outcome.response->valueForHTTPHeaderField("Content-Length"), "5");
}

// A body stream whose reads throw, as a stream over a broken source might.
class ThrowingStream : public net::InputStream {
 public:
  long read(uint8_t*, size_t) override { throw std::runtime_error("the source went away"); }
};

TEST_F(URLSessionTest, AnExceptionInsideACallbackFailsTheTaskAndTheSessionGoesOn) {
  std::vector<std::string> lines;
  std::mutex linesMutex;
  struct RestoreSink {
    core::LogSink previous;
    ~RestoreSink() { core::setLogSink(previous); }
  } restore{core::setLogSink([&](const std::string& line) {
    std::lock_guard lock(linesMutex);
    lines.push_back(line);
  })};
  auto recorder = std::make_shared<Recorder>();
  auto session = makeSession(recorder);
  URLRequest request(m_server.url("/echo"));
  request.setHTTPMethod("POST");
  request.setHTTPBodyStream(std::make_shared<ThrowingStream>());
  auto task = session->uploadTaskWithStreamedRequest(request);
  task->resume();
  ASSERT_TRUE(recorder->waitForCompletion());
  EXPECT_EQ(errorCode(recorder->errors[task->taskIdentifier()]), net::URLError::Unknown);
  {
    std::lock_guard lock(linesMutex);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find("readCallback") != std::string::npos && line.find("the source went away") != std::string::npos;
    }));
  }

  // The same session still loads.
  Outcome after;
  session->dataTaskWithRequest(URLRequest(m_server.url("/hello")), after.handler())->resume();
  ASSERT_TRUE(after.wait());
  EXPECT_FALSE(after.error);
  EXPECT_EQ(after.data, "hello world");
}

// ---------------------------------------------------------------------------------------------
// TLS: a server with a self-signed certificate made for the test.

struct TestCertificate {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  std::string der;

  TestCertificate() {
    key = EVP_EC_gen("P-256");
    cert = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("secure.example.test"), -1,
                               -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
    int length = i2d_X509(cert, nullptr);
    der.resize(static_cast<size_t>(length));
    auto* p = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509(cert, &p);
  }
  ~TestCertificate() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
};

class URLSessionTLSTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  // The handshake waits on the delegate's answer to the challenge: on a sanitizer build beside
  // busy processes that can take longer than the server's own 5 s read time-out, so the server
  // gets a longer one before it starts listening.
  URLSessionTLSTest()
      : m_tls(m_certificate.cert, m_certificate.key),
        m_server((m_tls.set_read_timeout(60, 0), m_tls.set_write_timeout(60, 0), &m_tls)) {
    net::HostMap::set("secure.example.test", 443, "127.0.0.1", m_server.port());
  }
  ~URLSessionTLSTest() override { net::HostMap::remove("secure.example.test", 443); }

  Outcome& load(net::AuthChallengeDisposition answer) {
    m_recorder->challengeAnswer = answer;
    auto session = URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration(), m_recorder);
    session->dataTaskWithRequest(URLRequest(URL::fromString("https://secure.example.test/hello")), m_outcome.handler())
        ->resume();
    session->finishTasksAndInvalidate();
    EXPECT_TRUE(m_outcome.wait());
    return m_outcome;
  }

  TestCertificate m_certificate;
  httplib::SSLServer m_tls;
  TestServer m_server;
  std::shared_ptr<Recorder> m_recorder = std::make_shared<Recorder>();
  Outcome m_outcome;
};

TEST_F(URLSessionTLSTest, ChallengeCarriesThePeerChainAndAcceptedTrustLoads) {
  Outcome& outcome = load(net::AuthChallengeDisposition::UseCredential);
  ASSERT_FALSE(outcome.error) << outcome.error->description();
  EXPECT_EQ(outcome.data, "hello world");
  std::lock_guard lock(m_recorder->mutex);
  EXPECT_EQ(m_recorder->events.front(), "challenge");
  EXPECT_EQ(m_recorder->challengeMethod, net::ProtectionSpace::AuthenticationMethodServerTrust);
  ASSERT_TRUE(m_recorder->trust);
  EXPECT_EQ(m_recorder->trust->host, "secure.example.test");
  ASSERT_EQ(m_recorder->trust->certificates.size(), 1u);
  EXPECT_EQ(m_recorder->trust->certificates[0], m_certificate.der);
}

TEST_F(URLSessionTLSTest, DefaultHandlingRefusesAnUntrustedCertificate) {
  Outcome& outcome = load(net::AuthChallengeDisposition::PerformDefaultHandling);
  EXPECT_EQ(errorCode(outcome.error), net::URLError::ServerCertificateUntrusted);
  EXPECT_FALSE(outcome.data);
}

TEST_F(URLSessionTLSTest, CancelledChallengeCancelsTheTask) {
  Outcome& outcome = load(net::AuthChallengeDisposition::CancelAuthenticationChallenge);
  EXPECT_EQ(errorCode(outcome.error), net::URLError::Cancelled);
}

using URLSessionTLSDeathTest = URLSessionTLSTest;

// The session's thread releases its TLS connection after the completion has been delivered, and
// the program may end right then: the thread must be done with OpenSSL before OpenSSL's own exit
// handler frees its state (the thread checker reports it otherwise, which fails the child).
TEST_F(URLSessionTLSDeathTest, ExitRightAfterATlsLoadWaitsForTheSessionThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Outcome& outcome = load(net::AuthChallengeDisposition::UseCredential);
        std::exit(outcome.error ? 3 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- The process's end ----------------------------------------------------------------------

// A delegate that keeps its session, as a session manager does: the two hold each other until the
// session lets go of its delegate.
class KeepingDelegate : public net::URLSessionDelegate {
 public:
  std::shared_ptr<URLSession> session;
};

// What the exit handler below looks at. Registered before the first session, it runs after the
// sessions' own exit handler, by when every session must have let go of everything.
std::weak_ptr<URLSession> g_sessionAtExit;
std::weak_ptr<net::URLSessionDelegate> g_delegateAtExit;
std::weak_ptr<net::URLSessionTask> g_taskAtExit;

void sessionMustBeGoneAtExit() {
  if (g_sessionAtExit.expired() && g_delegateAtExit.expired() && g_taskAtExit.expired()) return;
  std::fputs("the session, its task or its delegate is still held as the process ends\n", stderr);
  std::_Exit(3);
}

using URLSessionDeathTest = URLSessionTest;

// A transfer still under way as the process ends (a stop during a page load): the session's
// thread leaves it for the exit and lets go of the task, libcurl's handles and the delegate as it
// goes. Otherwise the session and the delegate that keeps it hold each other, with the task and
// its handles, as the process ends.
TEST_F(URLSessionDeathTest, AnExitDuringATransferLetsGoOfTheSessionItsTaskAndItsDelegate) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(sessionMustBeGoneAtExit);
        auto delegate = std::make_shared<KeepingDelegate>();
        auto session = URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration(), delegate);
        delegate->session = session;
        auto task = session->dataTaskWithRequest(URLRequest(m_server.url("/stall")));
        task->resume();
        session->finishTasksAndInvalidate();
        if (!m_server.stallGate().waitArrived()) std::_Exit(4);
        g_sessionAtExit = session;
        g_delegateAtExit = delegate;
        g_taskAtExit = task;
        task.reset();
        session.reset();
        delegate.reset();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// Its last event, on the delegate queue, still runs as the process ends: it goes on only once the
// sessions' exit handler has begun, after the shared queues' own wait at the exit has given up on
// it, as a last event posted after that wait would.
class SlowLastEvent : public KeepingDelegate {
 public:
  static inline std::atomic<bool> began{false};
  void didBecomeInvalidWithError(const std::shared_ptr<URLSession>&, const std::optional<core::Error>&) override {
    began = true;
    began.notify_all();
    while (!net::SessionThreads::exiting()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Well after the exit began: an exit that did not wait for it would look before it ends.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
};

// An invalidated session whose delegate is still hearing its last event as the process ends: the
// exit waits for the event to end and the session and delegate to be let go of.
TEST_F(URLSessionDeathTest, TheExitWaitsForTheDelegatesLastEvent) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(sessionMustBeGoneAtExit);
        auto delegate = std::make_shared<SlowLastEvent>();
        auto session = URLSession::create(net::URLSessionConfiguration::defaultSessionConfiguration(), delegate);
        delegate->session = session;
        session->finishTasksAndInvalidate();
        g_sessionAtExit = session;
        g_delegateAtExit = delegate;
        session.reset();
        delegate.reset();
        SlowLastEvent::began.wait(false);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
