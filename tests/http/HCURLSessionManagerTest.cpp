#include "http/HCHTTPResponseSerializer.h"
#include "http/HCJSONResponseSerializer.h"
#include "http/HCSecurityPolicy.h"
#include "http/HCURLSessionManager.h"
#include "platform/core/OperationQueue.h"
#include "platform/net/InputStream.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "platform/security/CertificateFactory.h"
#include "platform/security/Trust.h"
#include "http/LoopbackServer.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/TempHome.h"
#include "venue/Gallery.h"
#include "venue/WebServer.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>

namespace {

using kt::HCURLSessionManager;
using kt::HCURLSessionTask;
using testhttp::LoopbackServer;

net::URLRequest requestFor(const std::string& url) { return net::URLRequest(net::URL::fromString(url)); }

// What one task's completion and notifications delivered, in order, on the main thread.
struct Outcome {
  std::vector<std::string> events;
  bool done = false;
  bool notified = false;
  bool completionOnMain = false;
  std::shared_ptr<const net::HTTPURLResponse> response;
  kt::HCResponseObject object;
  std::optional<core::Error> error;
  core::Value userInfo;
  std::optional<kt::HCTaskCompletedInfo> info;
};

// Records the task notifications of one task (by object) while alive.
class NotificationRecorder {
 public:
  explicit NotificationRecorder(Outcome& outcome) : m_outcome(outcome) {
    auto& center = core::NotificationCenter::defaultCenter();
    m_completed = core::Observation(center, kt::HCTaskCompletedNotification, nullptr, [this](const core::Notification& n) {
      if (n.object != m_object) return;
      m_outcome.events.push_back("completed");
      m_outcome.userInfo = n.userInfo;
      if (auto* info = HCURLSessionManager::completedInfo()) m_outcome.info = *info;
      m_outcome.notified = true;
    });
    m_resumed = core::Observation(center, kt::HCTaskResumedNotification, nullptr, [this](const core::Notification& n) {
      if (n.object == m_object) m_outcome.events.push_back("resumed");
    });
    m_suspended = core::Observation(center, kt::HCTaskSuspendedNotification, nullptr, [this](const core::Notification& n) {
      if (n.object == m_object) m_outcome.events.push_back("suspended");
    });
  }
  void watch(const HCURLSessionManager::Task& task) { m_object = task.get(); }

 private:
  Outcome& m_outcome;
  void* m_object = nullptr;
  core::Observation m_completed;
  core::Observation m_resumed;
  core::Observation m_suspended;
};

HCURLSessionManager::CompletionHandler completionInto(Outcome& outcome) {
  return [&outcome](std::shared_ptr<const net::HTTPURLResponse> response, const kt::HCResponseObject& object,
                    const std::optional<core::Error>& error) {
    outcome.completionOnMain = core::Queue::main()->isCurrent();
    outcome.events.push_back("completion");
    outcome.response = response;
    outcome.object = object;
    outcome.error = error;
    outcome.done = true;
  };
}

class HCURLSessionManagerTest : public support::SessionsLetGoAtEnd, public support::TempHomeTest {
 protected:
  ~HCURLSessionManagerTest() override {
    m_server.release();
    for (auto& manager : m_managers) manager->invalidateSessionCancelingTasks(true);
    support::runUntil([] { return false; }, 0.05);
  }

  std::shared_ptr<HCURLSessionManager> makeManager() {
    auto manager = HCURLSessionManager::create();
    m_managers.push_back(manager);
    return manager;
  }

  // Runs one request to its notification.
  Outcome& run(const std::shared_ptr<HCURLSessionManager>& manager, const net::URLRequest& request,
               HCURLSessionManager::ProgressBlock upload = nullptr, HCURLSessionManager::ProgressBlock download = nullptr) {
    auto task = manager->dataTaskWithRequest(request, std::move(upload), std::move(download), completionInto(m_outcome));
    EXPECT_TRUE(task);
    m_recorder.watch(task);
    task->resume();
    EXPECT_TRUE(support::runUntil([this] { return m_outcome.notified; }, 15));
    return m_outcome;
  }

  LoopbackServer m_server;
  std::vector<std::shared_ptr<HCURLSessionManager>> m_managers;
  Outcome m_outcome;
  NotificationRecorder m_recorder{m_outcome};
};

int64_t errorCode(const std::optional<core::Error>& error) { return error ? error->code() : 0; }

// ---------------------------------------------------------------------------------------------
// Completion and notifications

TEST_F(HCURLSessionManagerTest, CompletionRunsOnTheMainQueueBeforeTheCompletedNotification) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCJSONResponseSerializer::serializer());
  Outcome& outcome = run(manager, requestFor(m_server.url("/json")));

  EXPECT_EQ(outcome.events, (std::vector<std::string>{"resumed", "completion", "completed"}));
  EXPECT_TRUE(outcome.completionOnMain);
  ASSERT_FALSE(outcome.error) << outcome.error->description();
  auto* value = std::get_if<core::Value>(&outcome.object);
  ASSERT_TRUE(value);
  EXPECT_EQ((*value)["name"].description(), "song");
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode(), 200);

  // The notification carries the raw bytes, the serializer and the result.
  ASSERT_TRUE(outcome.userInfo[kt::HCTaskCompletedResponseDataKey].isData());
  EXPECT_EQ(*outcome.userInfo[kt::HCTaskCompletedResponseDataKey].asData(), R"({"code":1,"name":"song"})");
  EXPECT_TRUE(outcome.userInfo[kt::HCTaskCompletedResponseSerializerKey].isString());
  EXPECT_EQ(outcome.userInfo[kt::HCTaskCompletedSerializedResponseKey]["code"].intValue(), 1);
  EXPECT_FALSE(outcome.userInfo.contains(kt::HCTaskCompletedErrorKey));
  ASSERT_TRUE(outcome.info);
  EXPECT_EQ(outcome.info->responseSerializer, manager->responseSerializer());
  // The task is forgotten once it completed.
  EXPECT_EQ(manager->tasks().size(), 0u);
}

TEST_F(HCURLSessionManagerTest, TransportErrorAfterBytesKeepsTheBytesForTheNotificationOnly) {
  auto manager = makeManager();
  Outcome& outcome = run(manager, requestFor(m_server.url("/drop")));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->domain(), net::URLError::Domain);
  EXPECT_FALSE(kt::hasResponseObject(outcome.object));
  EXPECT_EQ(*outcome.userInfo[kt::HCTaskCompletedResponseDataKey].asData(), "partial");
  auto error = HCURLSessionManager::errorFromValue(outcome.userInfo[kt::HCTaskCompletedErrorKey]);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), outcome.error->code());
  EXPECT_EQ(outcome.events.back(), "completed");
}

TEST_F(HCURLSessionManagerTest, RejectedReplyReachesTheCompletionAsItsError) {
  auto manager = makeManager();  // JSON by default: text/plain is not acceptable
  Outcome& outcome = run(manager, requestFor(m_server.url("/hello")));
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->domain(), kt::HCResponseSerializationErrorDomain);
  EXPECT_TRUE(outcome.userInfo.contains(kt::HCTaskCompletedErrorKey));
  EXPECT_EQ(*outcome.userInfo[kt::HCTaskCompletedResponseDataKey].asData(), "hello world");
}

TEST_F(HCURLSessionManagerTest, CompletionQueueAndGroupAreHonoured) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  auto queue = core::Queue::createSerial("test.completion");
  core::Group group;
  manager->setCompletionQueue(queue);
  manager->setCompletionGroup(group);
  std::atomic<bool> onQueue{false};
  std::atomic<bool> done{false};
  auto task = manager->dataTaskWithRequest(requestFor(m_server.url("/hello")),
                                           [&](auto, const kt::HCResponseObject& object, const auto& error) {
                                             onQueue = queue->isCurrent();
                                             EXPECT_FALSE(error);
                                             EXPECT_EQ(*std::get<core::Value>(object).asData(), "hello world");
                                             done = true;
                                           });
  task->resume();
  ASSERT_TRUE(support::runUntil([&] { return done.load(); }, 15));
  EXPECT_TRUE(group.wait(15));
  EXPECT_TRUE(onQueue);
}

// ---------------------------------------------------------------------------------------------
// Resume and suspend

TEST_F(HCURLSessionManagerTest, ResumeAndSuspendAreAnnouncedOnlyOnARealChangeAndOnlyByTheirManager) {
  auto manager = makeManager();
  auto other = makeManager();  // sees the same signals, must not announce this manager's task
  auto task = manager->dataTaskWithRequest(requestFor(m_server.url("/stall")), completionInto(m_outcome));
  m_recorder.watch(task);
  EXPECT_EQ(task->taskDescription(), manager->taskDescriptionForSessionTasks());
  EXPECT_NE(manager->taskDescriptionForSessionTasks(), other->taskDescriptionForSessionTasks());

  task->suspend();  // already suspended: nothing
  task->resume();
  task->resume();  // already running: nothing
  task->suspend();
  task->suspend();
  task->resume();
  task->cancel();
  ASSERT_TRUE(support::runUntil([this] { return m_outcome.notified; }, 15));
  EXPECT_EQ(m_outcome.events,
            (std::vector<std::string>{"resumed", "suspended", "resumed", "completion", "completed"}));
  EXPECT_EQ(errorCode(m_outcome.error), net::URLError::Cancelled);
  EXPECT_FALSE(kt::hasResponseObject(m_outcome.object));
}

TEST_F(HCURLSessionManagerTest, ProgressHandlersCancelAndPauseTheTask) {
  auto manager = makeManager();
  auto task = manager->dataTaskWithRequest(requestFor(m_server.url("/stall")), completionInto(m_outcome));
  m_recorder.watch(task);
  auto progress = manager->downloadProgressForTask(task->task());
  ASSERT_TRUE(progress);
  EXPECT_FALSE(manager->downloadProgressForTask(nullptr));
  task->resume();
  progress->pause();
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Suspended);
  progress->resume();
  EXPECT_EQ(task->state(), net::URLSessionTaskState::Running);
  progress->cancel();
  ASSERT_TRUE(support::runUntil([this] { return m_outcome.notified; }, 15));
  EXPECT_EQ(errorCode(m_outcome.error), net::URLError::Cancelled);
  EXPECT_EQ(m_outcome.events,
            (std::vector<std::string>{"resumed", "suspended", "resumed", "completion", "completed"}));
}

// ---------------------------------------------------------------------------------------------
// Progress

TEST_F(HCURLSessionManagerTest, DownloadProgressRisesToCompletion) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  std::vector<double> fractions;
  std::mutex mutex;
  Outcome& outcome = run(manager, requestFor(m_server.url("/big")), nullptr, [&](const kt::HCProgress& progress) {
    std::lock_guard<std::mutex> lock(mutex);
    fractions.push_back(progress.fractionCompleted());
  });
  ASSERT_FALSE(outcome.error);
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_FALSE(fractions.empty());
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
}

TEST_F(HCURLSessionManagerTest, UploadProgressAndBodyDataOverride) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  std::atomic<int64_t> lastSent{0}, lastExpected{0};
  manager->setTaskDidSendBodyDataBlock([&](auto&, auto&, int64_t, int64_t total, int64_t expected) {
    lastSent = total;
    lastExpected = expected;
  });
  std::atomic<double> fraction{0};
  auto request = requestFor(m_server.url("/echo"));
  request.setHTTPMethod("POST");
  request.setValue(std::string("application/octet-stream"), "Content-Type");
  std::atomic<bool> done{false};
  auto task = manager->uploadTaskWithRequestFromData(
      request, std::string(48 * 1024, 'u'), [&](const kt::HCProgress& p) { fraction = p.fractionCompleted(); },
      [&](auto, const kt::HCResponseObject& object, const auto& error) {
        EXPECT_FALSE(error) << error->description();
        if (!error) {
          EXPECT_EQ(*std::get<core::Value>(object).asData(), "POST 49152");
        }
        done = true;
      });
  task->resume();
  ASSERT_TRUE(support::runUntil([&] { return done.load(); }, 15));
  EXPECT_DOUBLE_EQ(fraction.load(), 1.0);
  EXPECT_EQ(lastSent.load(), 48 * 1024);
  EXPECT_EQ(lastExpected.load(), 48 * 1024);
}

TEST_F(HCURLSessionManagerTest, UnknownBodyLengthTakesTheContentLengthHeader) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  auto request = requestFor(m_server.url("/echo"));
  request.setHTTPMethod("POST");
  request.setValue(std::string("1000"), "Content-Length");
  request.setHTTPBodyStream(net::InputStream::withData(std::string(1000, 's')));
  std::atomic<int64_t> expectedSeen{0};
  manager->setTaskDidSendBodyDataBlock(
      [&](auto&, const HCURLSessionManager::PlatformTask&, int64_t, int64_t, int64_t expected) { expectedSeen = expected; });
  std::atomic<bool> done{false};
  auto task = manager->uploadTaskWithStreamedRequest(request, nullptr, [&](auto, auto&, const auto& error) {
    EXPECT_FALSE(error);
    done = true;
  });
  task->resume();
  ASSERT_TRUE(support::runUntil([&] { return done.load(); }, 15));
  EXPECT_EQ(expectedSeen.load(), 1000);
}

// ---------------------------------------------------------------------------------------------
// Cancel, time-out, redirects

TEST_F(HCURLSessionManagerTest, TimeOutEndsTheTaskWithTheTimeOutError) {
  auto manager = makeManager();
  auto request = requestFor(m_server.url("/stall"));
  request.setTimeoutInterval(0.3);
  Outcome& outcome = run(manager, request);
  EXPECT_EQ(errorCode(outcome.error), net::URLError::TimedOut);
  EXPECT_EQ(outcome.events.back(), "completed");
}

TEST_F(HCURLSessionManagerTest, RedirectsFollowByDefaultAndTheOverrideCanRefuse) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  EXPECT_FALSE(manager->respondsToSelector(HCURLSessionManager::OptionalEvent::WillPerformHTTPRedirection));
  Outcome& followed = run(manager, requestFor(m_server.url("/redirect")));
  ASSERT_FALSE(followed.error);
  EXPECT_EQ(*std::get<core::Value>(followed.object).asData(), "hello world");

  std::atomic<int> hops{0};
  manager->setTaskWillPerformHTTPRedirectionBlock(
      [&](auto&, auto&, const std::shared_ptr<const net::HTTPURLResponse>& response, const net::URLRequest&)
          -> std::optional<net::URLRequest> {
        EXPECT_EQ(response->statusCode(), 302);
        ++hops;
        return std::nullopt;
      });
  EXPECT_TRUE(manager->respondsToSelector(HCURLSessionManager::OptionalEvent::WillPerformHTTPRedirection));
  m_outcome = Outcome{};
  Outcome& refused = run(manager, requestFor(m_server.url("/redirect")));
  EXPECT_EQ(hops.load(), 1);
  ASSERT_TRUE(refused.response);
  EXPECT_EQ(refused.response->statusCode(), 302);
  EXPECT_TRUE(refused.error);  // 302 is outside the acceptable codes
}

// ---------------------------------------------------------------------------------------------
// Downloads

TEST_F(HCURLSessionManagerTest, DownloadMovesToItsDestination) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  const std::string target = homePath() + "/song.bin";
  auto task = manager->downloadTaskWithRequest(
      requestFor(m_server.url("/big")), nullptr,
      [&](const net::URL&, auto response) -> std::optional<net::URL> {
        EXPECT_TRUE(response);
        return net::URL::fileURLWithPath(target);
      },
      completionInto(m_outcome));
  m_recorder.watch(task);
  task->resume();
  ASSERT_TRUE(support::runUntil([this] { return m_outcome.notified; }, 15));
  ASSERT_FALSE(m_outcome.error) << m_outcome.error->description();
  EXPECT_EQ(std::filesystem::file_size(target), 256u * 1024u);
  EXPECT_EQ(*std::get<core::Value>(m_outcome.object).asString(), net::URL::fileURLWithPath(target).absoluteString());
  EXPECT_EQ(*m_outcome.userInfo[kt::HCTaskCompletedAssetPathKey].asString(),
            net::URL::fileURLWithPath(target).absoluteString());
  EXPECT_FALSE(m_outcome.userInfo.contains(kt::HCTaskCompletedResponseDataKey));
}

TEST_F(HCURLSessionManagerTest, FailedMoveCompletesWithTheMoveErrorAndNoResult) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  const std::string target = homePath() + "/missing-folder/song.bin";
  std::atomic<int> moveFailures{0};
  core::Observation moveFailed(core::NotificationCenter::defaultCenter(), kt::HCDownloadMoveFailedNotification, nullptr,
                               [&](const core::Notification& n) {
                                 EXPECT_EQ(*n.userInfo[core::Error::FilePathKey].asString(), target);
                                 ++moveFailures;
                               });
  auto task = manager->downloadTaskWithRequest(
      requestFor(m_server.url("/hello")), nullptr,
      [&](const net::URL&, auto) -> std::optional<net::URL> { return net::URL::fileURLWithPath(target); },
      completionInto(m_outcome));
  m_recorder.watch(task);
  task->resume();
  ASSERT_TRUE(support::runUntil([this] { return m_outcome.notified; }, 15));
  EXPECT_EQ(moveFailures.load(), 1);
  EXPECT_EQ(errorCode(m_outcome.error), net::URLError::CannotMoveFile);
  EXPECT_FALSE(kt::hasResponseObject(m_outcome.object));
  EXPECT_TRUE(m_outcome.userInfo.contains(kt::HCTaskCompletedErrorKey));
  EXPECT_FALSE(std::filesystem::exists(target));
}

// Resumable downloads from the stand-in web server: a gallery picture whose first download stalls
// halfway and is cancelled for resuming.
class HCURLSessionManagerResumeTest : public HCURLSessionManagerTest {
 protected:
  static constexpr const char* Path = "/images/still.tiff";

  void SetUp() override {
    ASSERT_TRUE(m_web.start());
    m_picture = venue::Gallery::picture("still.tiff")->bytes;
  }

  // The resume data of the first download, taken once half of the picture has arrived.
  std::string interruptedDownload(const std::shared_ptr<HCURLSessionManager>& manager) {
    m_web.setFault(Path, venue::Fault::stalled().only(1));
    auto task = manager->downloadTaskWithRequest(requestFor(m_web.baseUrl() + Path), nullptr, nullptr, nullptr);
    task->resume();
    const auto half = static_cast<int64_t>(m_picture.size() / 2);
    EXPECT_TRUE(support::runUntil([&] { return task->countOfBytesReceived() == half; }, 15));
    std::mutex mutex;
    std::optional<std::string> resumeData;
    std::atomic<bool> produced{false};
    std::static_pointer_cast<net::URLSessionDownloadTask>(task->task())
        ->cancelByProducingResumeData([&](std::optional<std::string> data) {
          std::lock_guard lock(mutex);
          resumeData = std::move(data);
          produced = true;
        });
    EXPECT_TRUE(support::runUntil([&] { return produced.load(); }, 15));
    std::lock_guard lock(mutex);
    EXPECT_TRUE(resumeData);
    return resumeData.value_or("");
  }

  // Continues the download into the home folder and returns the file's bytes.
  std::string resumedDownload(const std::shared_ptr<HCURLSessionManager>& manager, const std::string& resumeData) {
    const std::string target = homePath() + "/still.tiff";
    auto task = manager->downloadTaskWithResumeData(
        resumeData, nullptr, [&](const net::URL&, auto) -> std::optional<net::URL> { return net::URL::fileURLWithPath(target); },
        completionInto(m_outcome));
    EXPECT_TRUE(task);
    m_recorder.watch(task);
    task->resume();
    EXPECT_TRUE(support::runUntil([this] { return m_outcome.notified; }, 15));
    EXPECT_FALSE(m_outcome.error) << m_outcome.error->description();
    std::ifstream in(target, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  venue::WebServer m_web;
  std::string m_picture;
};

TEST_F(HCURLSessionManagerResumeTest, APartialReplyAppendsTheRestToTheFile) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  const std::string resumeData = interruptedDownload(manager);
  EXPECT_EQ(resumedDownload(manager, resumeData), m_picture);
  EXPECT_EQ(m_outcome.response->statusCode(), 206);
  const venue::RecordedRequest asked = m_web.lastRequest();
  EXPECT_EQ(asked.header("Range"), "bytes=" + std::to_string(m_picture.size() / 2) + "-");
  EXPECT_EQ(asked.header("If-Range"), venue::Gallery::entityTag(m_picture));
}

TEST_F(HCURLSessionManagerResumeTest, AServerThatIgnoresTheRangeGivesTheWholeFileAfresh) {
  auto manager = makeManager();
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  const std::string resumeData = interruptedDownload(manager);
  m_web.setFault(Path, venue::Fault::status(200).only(1));
  EXPECT_EQ(resumedDownload(manager, resumeData), m_picture);
  EXPECT_EQ(m_outcome.response->statusCode(), 200);
  EXPECT_TRUE(m_web.lastRequest().header("Range"));
}

// ---------------------------------------------------------------------------------------------
// Challenges

class HCURLSessionManagerTLSTest : public support::SessionsLetGoAtEnd, public support::TempHomeTest {
 protected:
  static std::unique_ptr<httplib::Server> makeTLSServer() {
    const auto& pki = testpki::pki();
    return std::make_unique<httplib::SSLServer>(pki.leaf.cert.get(), pki.leaf.key.get());
  }

  ~HCURLSessionManagerTLSTest() override {
    if (m_manager) m_manager->invalidateSessionCancelingTasks(true);
    support::runUntil([] { return false; }, 0.05);
    security::setSystemAnchorsOverride(std::nullopt);
  }

  Outcome& load(std::shared_ptr<kt::HCSecurityPolicy> policy) {
    m_manager = HCURLSessionManager::create();
    m_manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
    m_manager->setSecurityPolicy(std::move(policy));
    auto task = m_manager->dataTaskWithRequest(requestFor(m_server.url("/hello", "https")), completionInto(m_outcome));
    task->resume();
    EXPECT_TRUE(support::runUntil([this] { return m_outcome.done; }, 15));
    return m_outcome;
  }

  static std::shared_ptr<kt::HCSecurityPolicy> pinning(kt::HCSSLPinningMode mode, const std::string& der) {
    auto policy = kt::HCSecurityPolicy::policyWithPinningMode(mode, kt::HCSecurityPolicy::CertificateSet{der});
    policy->setAllowInvalidCertificates(true);  // the system does not know the test's root
    policy->setValidatesDomainName(false);
    return policy;
  }

  LoopbackServer m_server{makeTLSServer()};
  std::shared_ptr<HCURLSessionManager> m_manager;
  Outcome m_outcome;
};

TEST_F(HCURLSessionManagerTLSTest, DefaultPolicyRefusesAnUnknownRoot) {
  security::setSystemAnchorsOverride(std::vector<std::string>{});
  Outcome& outcome = load(kt::HCSecurityPolicy::defaultPolicy());
  EXPECT_EQ(errorCode(outcome.error), net::URLError::Cancelled);
  EXPECT_FALSE(kt::hasResponseObject(outcome.object));
}

TEST_F(HCURLSessionManagerTLSTest, CertificatePinningAcceptsThePinnedRootOnly) {
  security::setSystemAnchorsOverride(std::vector<std::string>{});
  Outcome& accepted = load(pinning(kt::HCSSLPinningMode::Certificate, testpki::pki().ca.der));
  ASSERT_FALSE(accepted.error) << accepted.error->description();
  EXPECT_EQ(*std::get<core::Value>(accepted.object).asData(), "hello world");

  m_manager->invalidateSessionCancelingTasks(true);
  m_outcome = Outcome{};
  Outcome& refused = load(pinning(kt::HCSSLPinningMode::Certificate, testpki::pki().otherCa.der));
  EXPECT_EQ(errorCode(refused.error), net::URLError::Cancelled);
}

TEST_F(HCURLSessionManagerTLSTest, PublicKeyPinningAcceptsThePinnedKeyOnly) {
  security::setSystemAnchorsOverride(std::vector<std::string>{});
  Outcome& accepted = load(pinning(kt::HCSSLPinningMode::PublicKey, testpki::pki().leaf.der));
  ASSERT_FALSE(accepted.error) << accepted.error->description();

  m_manager->invalidateSessionCancelingTasks(true);
  m_outcome = Outcome{};
  Outcome& refused = load(pinning(kt::HCSSLPinningMode::PublicKey, testpki::pki().otherLeaf.der));
  EXPECT_EQ(errorCode(refused.error), net::URLError::Cancelled);
}

TEST_F(HCURLSessionManagerTLSTest, ChallengeOverrideDecides) {
  m_manager = HCURLSessionManager::create();
  m_manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  std::atomic<int> asked{0};
  m_manager->setSessionDidReceiveAuthenticationChallengeBlock(
      [&](auto&, const net::AuthenticationChallenge& challenge, HCURLSessionManager::Credential* credential) {
        ++asked;
        *credential = net::URLCredential::forTrust(challenge.protectionSpace.serverTrust);
        return net::AuthChallengeDisposition::UseCredential;
      });
  auto task = m_manager->dataTaskWithRequest(requestFor(m_server.url("/hello", "https")), completionInto(m_outcome));
  task->resume();
  ASSERT_TRUE(support::runUntil([this] { return m_outcome.done; }, 15));
  EXPECT_FALSE(m_outcome.error);
  EXPECT_EQ(asked.load(), 1);
}

// ---------------------------------------------------------------------------------------------
// Shape, task lists and the session's lifetime

TEST_F(HCURLSessionManagerTest, DescriptionAndTaskLists) {
  auto manager = makeManager();
  EXPECT_TRUE(std::regex_match(manager->description(),
                               std::regex("<HCURLSessionManager: 0x[0-9a-f]+, session: <.*>, operationQueue: <.*>\\{name = .*\\}>")))
      << manager->description();
  EXPECT_EQ(manager->operationQueue()->maxConcurrentOperationCount(), 1);
  auto task = manager->dataTaskWithRequest(requestFor(m_server.url("/hello")), nullptr);
  auto upload = manager->uploadTaskWithRequestFromData(requestFor(m_server.url("/echo")), "x", nullptr, nullptr);
  EXPECT_EQ(manager->dataTasks().size(), 1u);
  EXPECT_EQ(manager->uploadTasks().size(), 1u);
  EXPECT_EQ(manager->downloadTasks().size(), 0u);
  EXPECT_EQ(manager->tasks().size(), 2u);
  EXPECT_FALSE(manager->tasksForKeyPath("runningTasks"));
  EXPECT_TRUE(manager->uploadProgressForTask(upload->task()));
}

int countEntries(const char* directory) {
  int count = 0;
  if (DIR* dir = opendir(directory)) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

TEST_F(HCURLSessionManagerTest, InvalidatedManagersReleaseTheirThreadsAndDescriptors) {
  auto once = [this] {
    auto manager = HCURLSessionManager::create();
    manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
    std::weak_ptr<HCURLSessionManager> weak = manager;
    bool done = false;
    manager->dataTaskWithRequest(requestFor(m_server.url("/hello")), [&](auto, auto&, auto&) { done = true; })->resume();
    EXPECT_TRUE(support::runUntil([&] { return done; }, 15));
    manager->invalidateSessionCancelingTasks(false);
    manager.reset();
    // Once the session is invalid nothing holds the manager.
    EXPECT_TRUE(support::runUntil([&] { return weak.expired(); }, 15));
  };
  for (int i = 0; i < 5; ++i) once();  // warm the shared pools
  const int threads = countEntries("/proc/self/task");
  const int descriptors = countEntries("/proc/self/fd");
  for (int i = 0; i < 200; ++i) once();
  EXPECT_LE(countEntries("/proc/self/task"), threads + 2);
  EXPECT_LE(countEntries("/proc/self/fd"), descriptors + 4);
}

}  // namespace
