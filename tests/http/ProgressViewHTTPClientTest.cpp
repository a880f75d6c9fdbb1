#include "http/HCHTTPResponseSerializer.h"
#include "http/HCHTTPSessionManager.h"
#include "http/LoopbackServer.h"
#include "http/ProgressViewHTTPClient.h"
#include "platform/ui/ProgressView.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"

#include <gtest/gtest.h>

namespace kt {
namespace {

class ProgressViewHTTPClientTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  ProgressViewHTTPClientTest() {
    m_manager = HCHTTPSessionManager::create();
    m_manager->setResponseSerializer(HCHTTPResponseSerializer::serializer());
    // A reply of unknown length.
    m_server.server().Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
        if (offset >= 4096) {
          sink.done();
          return true;
        }
        std::string chunk(1024, 'c');
        sink.write(chunk.data(), chunk.size());
        return true;
      });
    });
  }
  ~ProgressViewHTTPClientTest() override {
    m_server.release();
    m_manager->invalidateSessionCancelingTasks(true);
    support::runUntil([] { return false; }, 0.05);
  }
  net::URLRequest request(const std::string& path) {
    return net::URLRequest(net::URL::fromString(m_server.url(path)));
  }
  bool completes(const HCURLSessionManager::Task& task) {
    return support::runUntil([&] { return task->state() == net::URLSessionTaskState::Completed; }, 10);
  }

  testhttp::LoopbackServer m_server;
  std::shared_ptr<HCHTTPSessionManager> m_manager;
  std::shared_ptr<ui::ProgressView> m_view = ui::ProgressView::create();
};

TEST_F(ProgressViewHTTPClientTest, DownloadProgressReachesTheEndAndStops) {
  auto task = m_manager->dataTaskWithRequest(request("/big"), nullptr);
  ASSERT_TRUE(task);
  HTTPClient::setProgressWithDownloadProgressOfTask(m_view, task, true);
  EXPECT_TRUE(HTTPClient::downloadProgressAnimated(*m_view));
  EXPECT_FALSE(HTTPClient::uploadProgressAnimated(*m_view));
  EXPECT_TRUE(HTTPClient::isFollowingDownloadProgress(*m_view));
  EXPECT_FALSE(HTTPClient::isFollowingUploadProgress(*m_view));
  EXPECT_EQ(m_view->progress(), 0);
  task->resume();
  ASSERT_TRUE(support::runUntil([&] { return !HTTPClient::isFollowingDownloadProgress(*m_view); }, 10));
  EXPECT_FLOAT_EQ(m_view->progress(), 1.0f);
}

TEST_F(ProgressViewHTTPClientTest, UploadProgressFollowsTheBytesSent) {
  net::URLRequest post = request("/echo");
  post.setHTTPMethod("POST");
  auto task = m_manager->uploadTaskWithRequestFromData(post, std::string(200 * 1024, 'u'), nullptr, nullptr);
  ASSERT_TRUE(task);
  HTTPClient::setProgressWithUploadProgressOfTask(m_view, task, false);
  task->resume();
  ASSERT_TRUE(support::runUntil([&] { return !HTTPClient::isFollowingUploadProgress(*m_view); }, 10));
  EXPECT_FLOAT_EQ(m_view->progress(), 1.0f);
  EXPECT_FALSE(HTTPClient::uploadProgressAnimated(*m_view));
}

TEST_F(ProgressViewHTTPClientTest, AnUnknownTotalLeavesTheProgressAlone) {
  m_view->setProgress(0.3);
  auto task = m_manager->dataTaskWithRequest(request("/chunked"), nullptr);
  ASSERT_TRUE(task);
  HTTPClient::setProgressWithDownloadProgressOfTask(m_view, task, false);
  task->resume();
  ASSERT_TRUE(completes(task));
  ASSERT_TRUE(support::runUntil([&] { return !HTTPClient::isFollowingDownloadProgress(*m_view); }));
  EXPECT_GT(task->countOfBytesReceived(), 0);
  EXPECT_FLOAT_EQ(m_view->progress(), 0.3f);
}

TEST_F(ProgressViewHTTPClientTest, ALaterTaskReplacesTheEarlierOne) {
  auto first = m_manager->dataTaskWithRequest(request("/stall"), nullptr);
  auto second = m_manager->dataTaskWithRequest(request("/big"), nullptr);
  ASSERT_TRUE(first && second);
  first->resume();
  HTTPClient::setProgressWithDownloadProgressOfTask(m_view, first, false);
  HTTPClient::setProgressWithDownloadProgressOfTask(m_view, second, true);
  second->resume();
  ASSERT_TRUE(completes(second));
  ASSERT_TRUE(support::runUntil([&] { return !HTTPClient::isFollowingDownloadProgress(*m_view); }));
  EXPECT_FLOAT_EQ(m_view->progress(), 1.0f);

  m_view->setProgress(0.25);
  m_server.release();
  ASSERT_TRUE(completes(first));
  support::runUntil([] { return false; }, 0.1);
  EXPECT_FLOAT_EQ(m_view->progress(), 0.25f);
}

TEST_F(ProgressViewHTTPClientTest, CompletedOrNullTasksAreNotFollowed) {
  auto task = m_manager->dataTaskWithRequest(request("/hello"), nullptr);
  ASSERT_TRUE(task);
  task->resume();
  ASSERT_TRUE(completes(task));
  HTTPClient::setProgressWithDownloadProgressOfTask(m_view, task, true);
  EXPECT_FALSE(HTTPClient::isFollowingDownloadProgress(*m_view));
  EXPECT_EQ(m_view->progress(), 0);

  auto running = m_manager->dataTaskWithRequest(request("/stall"), nullptr);
  ASSERT_TRUE(running);
  HTTPClient::setProgressWithUploadProgressOfTask(m_view, running, false);
  EXPECT_TRUE(HTTPClient::isFollowingUploadProgress(*m_view));
  HTTPClient::setProgressWithUploadProgressOfTask(m_view, nullptr, false);
  EXPECT_FALSE(HTTPClient::isFollowingUploadProgress(*m_view));
}

TEST_F(ProgressViewHTTPClientTest, AViewGoneBeforeTheTaskEndsIsLeftAlone) {
  auto task = m_manager->dataTaskWithRequest(request("/big"), nullptr);
  ASSERT_TRUE(task);
  HTTPClient::setProgressWithDownloadProgressOfTask(m_view, task, false);
  m_view.reset();
  task->resume();
  ASSERT_TRUE(completes(task));
  support::runUntil([] { return false; }, 0.1);
}

}  // namespace
}  // namespace kt
