#include "http/HCCompoundResponseSerializer.h"
#include "http/HCHTTPRequestSerializer.h"
#include "http/HCHTTPResponseSerializer.h"
#include "http/HCHTTPSessionManager.h"
#include "http/HCImageResponseSerializer.h"
#include "http/HCJSONRequestSerializer.h"
#include "http/HCJSONResponseSerializer.h"
#include "http/HCMultipartFormData.h"
#include "http/HCPropertyListRequestSerializer.h"
#include "http/HCSecurityPolicy.h"
#include "http/LoopbackServer.h"
#include "platform/core/PropertyList.h"
#include "platform/net/URLError.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <typeinfo>

namespace {

using kt::HCHTTPSessionManager;
using testhttp::LoopbackServer;

core::Value params() {
  core::Value p{core::Value::Dictionary{}};
  p.set("roomid", "R 1");
  p.set("type", 2);
  return p;
}

// What the success or failure callback received.
struct Result {
  bool done = false;
  bool succeeded = false;
  bool onMain = false;
  HCHTTPSessionManager::Task task;
  kt::HCResponseObject object;
  std::optional<core::Error> error;
};

class HCHTTPSessionManagerTest : public support::SessionsLetGoAtEnd, public support::TempHomeTest {
 protected:
  ~HCHTTPSessionManagerTest() override {
    m_server.release();
    for (auto& manager : m_managers) manager->invalidateSessionCancelingTasks(true);
    support::runUntil([] { return false; }, 0.05);
  }

  std::shared_ptr<HCHTTPSessionManager> makeManager(const std::string& base) {
    auto manager = HCHTTPSessionManager::create(base.empty() ? std::nullopt : net::URL::fromString(base));
    manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
    m_managers.push_back(manager);
    return manager;
  }

  HCHTTPSessionManager::Success success() {
    return [this](const HCHTTPSessionManager::Task& task, const kt::HCResponseObject& object) {
      m_result = Result{true, true, core::Queue::main()->isCurrent(), task, object, std::nullopt};
    };
  }
  HCHTTPSessionManager::Failure failure() {
    return [this](const HCHTTPSessionManager::Task& task, const core::Error& error) {
      m_result = Result{true, false, core::Queue::main()->isCurrent(), task, {}, error};
    };
  }
  Result& wait() {
    EXPECT_TRUE(support::runUntil([this] { return m_result.done; }, 15));
    return m_result;
  }
  std::string body() const { return *std::get<core::Value>(m_result.object).asData(); }

  LoopbackServer m_server;
  std::vector<std::shared_ptr<HCHTTPSessionManager>> m_managers;
  Result m_result;
};

// ---------------------------------------------------------------------------------------------
// Base URL

TEST_F(HCHTTPSessionManagerTest, BaseURLWithAPathGainsATrailingSlash) {
  EXPECT_EQ(makeManager("http://cloud.example.test/a/b")->baseURL()->absoluteString(), "http://cloud.example.test/a/b/");
  EXPECT_EQ(makeManager("http://cloud.example.test/a/")->baseURL()->absoluteString(), "http://cloud.example.test/a/");
  EXPECT_EQ(makeManager("http://cloud.example.test")->baseURL()->absoluteString(), "http://cloud.example.test");
  EXPECT_FALSE(makeManager("")->baseURL());
}

TEST_F(HCHTTPSessionManagerTest, RelativePathsResolveUnderTheBasePath) {
  for (const char* base : {"/interface", "/interface/"}) {
    auto manager = makeManager(m_server.url(base));
    EXPECT_EQ(*manager->resolvedURLString("getrankinfo"), m_server.url("/interface/getrankinfo"));
    m_result = Result{};
    manager->GET("getrankinfo", core::Value(), success(), failure());
    ASSERT_TRUE(wait().succeeded) << m_result.error->description();
    EXPECT_EQ(m_server.received().back().path, "/interface/getrankinfo");
  }
  // A base without a path resolves against the host's root; no base takes a whole URL.
  EXPECT_EQ(*makeManager(m_server.url(""))->resolvedURLString("getrankinfo"), m_server.url("/getrankinfo"));
  EXPECT_EQ(*makeManager("")->resolvedURLString(m_server.url("/echo")), m_server.url("/echo"));
}

// ---------------------------------------------------------------------------------------------
// Methods and parameters

TEST_F(HCHTTPSessionManagerTest, QueryMethodsPutParametersInTheURLOthersInTheBody) {
  auto manager = makeManager(m_server.url("/"));
  using Call = std::function<HCHTTPSessionManager::Task()>;
  const std::vector<std::pair<std::string, Call>> calls = {
      {"GET", [&] { return manager->GET("echo", params(), success(), failure()); }},
      {"HEAD", [&] {
         return manager->HEAD("echo", params(), [this](const HCHTTPSessionManager::Task& task) {
           m_result = Result{true, true, true, task, {}, std::nullopt};
         }, failure());
       }},
      {"DELETE", [&] { return manager->DELETE("echo", params(), success(), failure()); }},
      {"POST", [&] { return manager->POST("echo", params(), success(), failure()); }},
      {"PUT", [&] { return manager->PUT("echo", params(), success(), failure()); }},
      {"PATCH", [&] { return manager->PATCH("echo", params(), success(), failure()); }},
  };
  for (const auto& [method, call] : calls) {
    SCOPED_TRACE(method);
    m_result = Result{};
    auto task = call();
    ASSERT_TRUE(task);
    // Returned already resumed.
    EXPECT_NE(task->state(), net::URLSessionTaskState::Suspended);
    ASSERT_TRUE(wait().succeeded) << m_result.error->description();
    EXPECT_EQ(m_result.task, task);
    const auto received = m_server.received().back();
    EXPECT_EQ(received.method, method);
    const bool inQuery = method == "GET" || method == "HEAD" || method == "DELETE";
    EXPECT_EQ(received.query, inQuery ? "roomid=R%201&type=2" : "");
    EXPECT_EQ(received.body, inQuery ? "" : "roomid=R%201&type=2");
  }
}

TEST_F(HCHTTPSessionManagerTest, HeadSucceedsWithTheTaskAloneAndResultsRunOnTheMainQueue) {
  auto manager = makeManager(m_server.url("/"));
  HCHTTPSessionManager::Task seen;
  bool done = false;
  auto task = manager->HEAD("hello", core::Value(), [&](const HCHTTPSessionManager::Task& t) {
    seen = t;
    done = core::Queue::main()->isCurrent();
  }, nullptr);
  ASSERT_TRUE(support::runUntil([&] { return done; }, 15));
  EXPECT_EQ(seen, task);
}

TEST_F(HCHTTPSessionManagerTest, TheApplicationsGetRoad) {
  auto manager = HCHTTPSessionManager::create(net::URL::fromString(m_server.url("/interface")));
  m_managers.push_back(manager);
  manager->requestSerializer()->setTimeoutInterval(10);
  manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
  auto task = manager->GET("getrankinfo", params(), success(), failure());
  ASSERT_TRUE(task);
  EXPECT_DOUBLE_EQ(task->originalRequest()->timeoutInterval(), 10);
  ASSERT_TRUE(wait().succeeded);
  EXPECT_TRUE(m_result.onMain);
  EXPECT_EQ(body(), "GET 0");
  EXPECT_EQ(m_server.received().back().query, "roomid=R%201&type=2");

  // A rejected status reaches failure with the task.
  m_result = Result{};
  auto failing = manager->GET(m_server.url("/status500"), core::Value(), success(), failure());
  ASSERT_FALSE(wait().succeeded);
  EXPECT_EQ(m_result.task, failing);
  EXPECT_EQ(m_result.error->code(), net::URLError::BadServerResponse);
}

TEST_F(HCHTTPSessionManagerTest, DefaultResponseSerializerIsJSON) {
  auto manager = HCHTTPSessionManager::manager();
  m_managers.push_back(manager);
  EXPECT_TRUE(std::dynamic_pointer_cast<kt::HCJSONResponseSerializer>(manager->responseSerializer()));
  manager->GET(m_server.url("/json"), core::Value(), success(), failure());
  ASSERT_TRUE(wait().succeeded);
  EXPECT_EQ(std::get<core::Value>(m_result.object)["name"].description(), "song");
}

// ---------------------------------------------------------------------------------------------
// Requests that cannot be built

TEST_F(HCHTTPSessionManagerTest, UnbuildableRequestFailsLaterWithoutATask) {
  auto manager = makeManager("");
  EXPECT_FALSE(manager->GET("http://[not a host/", core::Value(), success(), failure()));
  EXPECT_FALSE(m_result.done);  // never synchronously
  ASSERT_FALSE(wait().succeeded);
  EXPECT_FALSE(m_result.task);
  EXPECT_EQ(m_result.error->code(), net::URLError::BadURL);

  // A query-string callback that fails stops the request before the network.
  auto base = makeManager(m_server.url("/"));
  base->requestSerializer()->setQueryStringSerializationWithBlock(
      [](const net::URLRequest&, const core::Value&, std::optional<core::Error>& error) -> std::optional<std::string> {
        error = core::Error("test.query", 7);
        return std::nullopt;
      });
  const size_t before = m_server.received().size();
  m_result = Result{};
  EXPECT_FALSE(base->GET("echo", params(), success(), failure()));
  ASSERT_FALSE(wait().succeeded);
  EXPECT_FALSE(m_result.task);
  EXPECT_EQ(m_result.error->domain(), "test.query");
  EXPECT_EQ(m_server.received().size(), before);

  // Without callbacks nothing runs and nothing breaks.
  EXPECT_FALSE(base->GET("echo", params(), nullptr, nullptr));
  support::runUntil([] { return false; }, 0.05);
}

// ---------------------------------------------------------------------------------------------
// Multipart, shape

TEST_F(HCHTTPSessionManagerTest, MultipartPostStreamsTheFormWithUploadProgress) {
  auto manager = makeManager(m_server.url("/"));
  double fraction = 0;
  std::mutex mutex;
  auto task = manager->POST(
      "form", params(),
      [](kt::HCMultipartFormData& form) { form.appendPartWithFormData(std::string(4000, 'f'), "blob"); },
      [&](const kt::HCProgress& progress) {
        std::lock_guard<std::mutex> lock(mutex);
        fraction = progress.fractionCompleted();
      },
      success(), failure());
  ASSERT_TRUE(task);
  ASSERT_TRUE(wait().succeeded) << m_result.error->description();
  const auto received = m_server.received().back();
  EXPECT_EQ(received.contentType.rfind("multipart/form-data; boundary=", 0), 0u);
  EXPECT_EQ(body(), "blob=4000;roomid=R 1;type=2;");
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_DOUBLE_EQ(fraction, 1.0);
}

TEST_F(HCHTTPSessionManagerTest, DescriptionAndCopy) {
  auto manager = makeManager("http://cloud.example.test/interface");
  EXPECT_TRUE(std::regex_match(
      manager->description(),
      std::regex("<HCHTTPSessionManager: 0x[0-9a-f]+, baseURL: http://cloud.example.test/interface/, session: <.*>, "
                 "operationQueue: <.*>")))
      << manager->description();
  auto copy = manager->copy();
  m_managers.push_back(copy);
  EXPECT_EQ(copy->baseURL(), manager->baseURL());
  EXPECT_NE(copy->requestSerializer(), manager->requestSerializer());
  EXPECT_NE(copy->session(), manager->session());
}

TEST_F(HCHTTPSessionManagerTest, CopiesKeepTheClassAndTheSerializersKinds) {
  auto manager = makeManager("http://cloud.example.test/interface");
  manager->setRequestSerializer(kt::HCJSONRequestSerializer::serializerWithWritingOptions(1));
  auto image = kt::HCImageResponseSerializer::serializer();
  image->setImageScale(3);
  manager->setResponseSerializer(image);
  // Copied through the base class, as any holder of a session manager would.
  std::shared_ptr<kt::HCURLSessionManager> base = manager;
  auto copy = std::dynamic_pointer_cast<HCHTTPSessionManager>(base->copy());
  ASSERT_TRUE(copy);
  m_managers.push_back(copy);
  EXPECT_EQ(copy->baseURL(), manager->baseURL());
  auto json = std::dynamic_pointer_cast<kt::HCJSONRequestSerializer>(copy->requestSerializer());
  ASSERT_TRUE(json);
  EXPECT_NE(json, manager->requestSerializer());
  EXPECT_EQ(json->writingOptions(), 1u);
  auto post = json->requestWithMethod("POST", "http://h/p", params(), nullptr);
  EXPECT_EQ(post->valueForHTTPHeaderField("Content-Type"), "application/json");
  auto copiedImage = std::dynamic_pointer_cast<kt::HCImageResponseSerializer>(copy->responseSerializer());
  ASSERT_TRUE(copiedImage);
  EXPECT_NE(copiedImage, image);
  EXPECT_EQ(copiedImage->imageScale(), 3);
}

TEST_F(HCHTTPSessionManagerTest, ArchivesRoundTripThroughAPropertyList) {
  auto configuration = net::URLSessionConfiguration::backgroundSessionConfiguration("net.ktvroom.test.bg");
  configuration.setTimeoutIntervalForRequest(12.5);
  configuration.setHTTPAdditionalHeaders({{"X-Venue", "7"}});
  configuration.setHTTPMaximumConnectionsPerHost(2);
  auto manager = HCHTTPSessionManager::create(net::URL::fromString("http://cloud.example.test/interface"), configuration);
  m_managers.push_back(manager);
  manager->setRequestSerializer(kt::HCPropertyListRequestSerializer::serializer());
  manager->requestSerializer()->setValue(std::string("k1"), "X-Room");
  manager->setResponseSerializer(kt::HCCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
      {kt::HCJSONResponseSerializer::serializer(), kt::HCImageResponseSerializer::serializer()}));
  manager->securityPolicy()->setAllowInvalidCertificates(true);

  auto bytes = core::PropertyList::serialize(manager->encodeWithCoder());
  ASSERT_TRUE(bytes);
  const core::Value archive = *core::PropertyList::parse(*bytes);
  for (const char* key : {"sessionConfiguration", "baseURL", "requestSerializer", "responseSerializer", "securityPolicy"}) {
    EXPECT_TRUE(archive.contains(key)) << key;
  }
  // Decoded through the base class: the archive says which class it holds.
  auto decoded = std::dynamic_pointer_cast<HCHTTPSessionManager>(kt::HCURLSessionManager::initWithCoder(archive));
  ASSERT_TRUE(decoded);
  m_managers.push_back(decoded);
  EXPECT_EQ(decoded->baseURL()->absoluteString(), "http://cloud.example.test/interface/");
  const net::URLSessionConfiguration& decodedConfiguration = decoded->sessionConfiguration();
  EXPECT_EQ(decodedConfiguration.identifier(), "net.ktvroom.test.bg");
  EXPECT_EQ(decodedConfiguration.timeoutIntervalForRequest(), 12.5);
  EXPECT_EQ(decodedConfiguration.HTTPAdditionalHeaders(), (net::HeaderFields{{"X-Venue", "7"}}));
  EXPECT_EQ(decodedConfiguration.HTTPMaximumConnectionsPerHost(), 2);
  auto requestSerializer = std::dynamic_pointer_cast<kt::HCPropertyListRequestSerializer>(decoded->requestSerializer());
  ASSERT_TRUE(requestSerializer);
  EXPECT_EQ(requestSerializer->valueForHTTPHeaderField("X-Room"), "k1");
  auto compound = std::dynamic_pointer_cast<kt::HCCompoundResponseSerializer>(decoded->responseSerializer());
  ASSERT_TRUE(compound);
  ASSERT_EQ(compound->responseSerializers().size(), 2u);
  EXPECT_TRUE(std::dynamic_pointer_cast<kt::HCImageResponseSerializer>(compound->responseSerializers()[1]));
  EXPECT_TRUE(decoded->securityPolicy()->allowInvalidCertificates());

  // An archive that names the session by its identifier alone gets a background configuration;
  // one without serializers or policy keeps the defaults.
  core::Value byIdentifier{core::Value::Dictionary{}};
  byIdentifier.set("$class", "HCHTTPSessionManager");
  byIdentifier.set("identifier", "net.ktvroom.test.other");
  auto fromIdentifier = HCHTTPSessionManager::initWithCoder(byIdentifier);
  ASSERT_TRUE(fromIdentifier);
  m_managers.push_back(fromIdentifier);
  EXPECT_EQ(fromIdentifier->sessionConfiguration().identifier(), "net.ktvroom.test.other");
  EXPECT_FALSE(fromIdentifier->baseURL());
  EXPECT_TRUE(std::dynamic_pointer_cast<kt::HCJSONResponseSerializer>(fromIdentifier->responseSerializer()));
  EXPECT_TRUE(fromIdentifier->securityPolicy());

  // The URL session manager itself archives its configuration and comes back as itself.
  auto plain = kt::HCURLSessionManager::create(configuration);
  auto plainDecoded = kt::HCURLSessionManager::initWithCoder(plain->encodeWithCoder());
  ASSERT_TRUE(plainDecoded);
  EXPECT_EQ(typeid(*plainDecoded), typeid(kt::HCURLSessionManager));
  EXPECT_EQ(plainDecoded->sessionConfiguration().timeoutIntervalForRequest(), 12.5);
  plain->invalidateSessionCancelingTasks(true);
  plainDecoded->invalidateSessionCancelingTasks(true);
  byIdentifier.set("$class", "HCImageResponseSerializer");
  EXPECT_FALSE(kt::HCURLSessionManager::initWithCoder(byIdentifier));
}

// ---------------------------------------------------------------------------------------------
// The process's end

// Read by the exit handler below, which runs after the sessions' own (registered later, at the
// first session): by then the manager and its session must have let go of each other.
std::weak_ptr<HCHTTPSessionManager> g_managerAtExit;

void managerMustBeGoneAtExit() {
  if (g_managerAtExit.expired()) return;
  std::fputs("the manager and its session still hold each other as the process ends\n", stderr);
  std::_Exit(3);
}

using HCHTTPSessionManagerDeathTest = HCHTTPSessionManagerTest;

// A request still under way as the process ends (a stop during a page load): the session holds
// its manager as its delegate and the manager its session, and the session thread that leaves
// for the exit must let go of its side, or the whole graph (serializers, tasks, libcurl's
// handles) is left held by nothing but itself, which the leak checker reports.
TEST_F(HCHTTPSessionManagerDeathTest, AProcessEndingDuringARequestLeavesNoManagerBehind) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(managerMustBeGoneAtExit);
        auto manager = HCHTTPSessionManager::create(net::URL::fromString(m_server.url("/")));
        manager->setResponseSerializer(kt::HCHTTPResponseSerializer::serializer());
        manager->GET("stall", core::Value(core::Value::Dictionary{}), nullptr, nullptr);
        manager->finishTasksAndInvalidate();
        if (!m_server.waitForStalled(1)) std::_Exit(4);
        g_managerAtExit = manager;
        manager.reset();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
