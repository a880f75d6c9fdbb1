#include "http/HCHTTPResponseSerializer.h"
#include "http/HCHTTPSessionManager.h"
#include "http/LoopbackServer.h"
#include "http/RefreshControlHTTPClient.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/ScrollView.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"

#include <gtest/gtest.h>

namespace kt {
namespace {

class RefreshControlHTTPClientTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  RefreshControlHTTPClientTest() {
    m_manager = HCHTTPSessionManager::create();
    m_manager->setResponseSerializer(HCHTTPResponseSerializer::serializer());
    m_scroll = std::make_shared<ui::ScrollView>(gfx::Rect(0, 0, 320, 480));
    m_control = ui::RefreshControl::create();
    m_scroll->addSubview(m_control);
  }
  ~RefreshControlHTTPClientTest() override {
    m_server.release();
    m_manager->invalidateSessionCancelingTasks(true);
    support::runUntil([] { return false; }, 0.05);
  }
  HCURLSessionManager::Task stalledTask() {
    return m_manager->dataTaskWithRequest(net::URLRequest(net::URL::fromString(m_server.url("/stall"))), nullptr);
  }

  testhttp::LoopbackServer m_server;
  std::shared_ptr<HCHTTPSessionManager> m_manager;
  std::shared_ptr<ui::ScrollView> m_scroll;
  std::shared_ptr<ui::RefreshControl> m_control;
};

TEST_F(RefreshControlHTTPClientTest, FollowsResumeSuspendAndCompletion) {
  auto task = stalledTask();
  ASSERT_TRUE(task);
  task->resume();
  HTTPClient::setRefreshingWithStateOfTask(m_control, task);
  EXPECT_TRUE(m_control->isRefreshing());  // at once, for a running task
  EXPECT_EQ(m_scroll->contentInset().top, ui::RefreshControl::Height);
  EXPECT_TRUE(HTTPClient::hc_notificationObserver(m_control).isObserving());

  task->suspend();
  ASSERT_TRUE(support::runUntil([&] { return !m_control->isRefreshing(); }));
  task->resume();
  ASSERT_TRUE(support::runUntil([&] { return m_control->isRefreshing(); }));
  m_server.release();
  ASSERT_TRUE(support::runUntil([&] { return !m_control->isRefreshing(); }, 10));
  EXPECT_EQ(m_scroll->contentInset().top, 0);
}

TEST_F(RefreshControlHTTPClientTest, ATaskThatIsNotRunningEndsRefreshingAndIsNotFollowed) {
  auto task = stalledTask();
  ASSERT_TRUE(task);  // made suspended
  m_control->beginRefreshing();
  HTTPClient::setRefreshingWithStateOfTask(m_control, task);
  EXPECT_FALSE(m_control->isRefreshing());
  EXPECT_FALSE(HTTPClient::hc_notificationObserver(m_control).isObserving());
  // Its later resume is not heard.
  task->resume();
  support::runUntil([] { return false; }, 0.1);
  EXPECT_FALSE(m_control->isRefreshing());
}

TEST_F(RefreshControlHTTPClientTest, ANullTaskDropsTheFollowedOne) {
  auto task = stalledTask();
  ASSERT_TRUE(task);
  task->resume();
  HTTPClient::setRefreshingWithStateOfTask(m_control, task);
  HTTPClient::setRefreshingWithStateOfTask(m_control, nullptr);
  EXPECT_FALSE(HTTPClient::hc_notificationObserver(m_control).isObserving());
  EXPECT_TRUE(m_control->isRefreshing());  // left as it was
  m_server.release();
  ASSERT_TRUE(support::runUntil([&] { return task->state() == net::URLSessionTaskState::Completed; }, 10));
  support::runUntil([] { return false; }, 0.1);
  EXPECT_TRUE(m_control->isRefreshing());
}

TEST_F(RefreshControlHTTPClientTest, AControlGoneBeforeTheTaskEndsIsLeftAlone) {
  auto task = stalledTask();
  ASSERT_TRUE(task);
  task->resume();
  HTTPClient::setRefreshingWithStateOfTask(m_control, task);
  m_control->removeFromSuperview();
  m_control.reset();
  m_server.release();
  ASSERT_TRUE(support::runUntil([&] { return task->state() == net::URLSessionTaskState::Completed; }, 10));
  support::runUntil([] { return false; }, 0.1);
  EXPECT_EQ(m_scroll->contentInset().top, 0);
}

}  // namespace
}  // namespace kt
