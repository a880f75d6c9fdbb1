#include "http/HCHTTPResponseSerializer.h"
#include "http/HCHTTPSessionManager.h"
#include "http/HCProgress.h"
#include "http/HCURLSessionTask.h"
#include "http/LoopbackServer.h"
#include "http/WebViewHTTPClient.h"
#include "platform/core/TextEncoding.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "platform/ui/WebView.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"

#include <gtest/gtest.h>

#include <typeinfo>

namespace kt {
namespace {

class RecordingDelegate : public ui::WebViewDelegate {
 public:
  void webViewDidStartLoad(ui::WebView&) override { calls.push_back("start"); }
  void webViewDidFinishLoad(ui::WebView&) override { calls.push_back("finish"); }
  void didFailLoadWithError(ui::WebView&, const core::Error& error) override {
    calls.push_back("fail " + std::to_string(error.code()));
  }
  std::vector<std::string> calls;
};

class WebViewHTTPClientTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  WebViewHTTPClientTest() {
    auto& s = m_server.server();
    s.Get("/gb", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(*core::utf8ToGb18030("<p>点歌</p>"), "text/html; charset=GBK");
    });
    s.Get("/latin", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("caf\xE9", "text/plain; charset=iso-8859-1");
    });
    s.Get("/bad", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("a\xFF" "b", "text/html; charset=utf-8");
    });
    m_web->setDelegate(&m_delegate);
    // A manager of the test's own, so that its connections close with the test.
    m_manager = HCHTTPSessionManager::create();
    m_manager->setResponseSerializer(HCHTTPResponseSerializer::serializer());
    HTTPClient::setSessionManager(m_web, m_manager);
  }
  ~WebViewHTTPClientTest() override {
    m_server.release();
    m_manager->invalidateSessionCancelingTasks(true);
    support::runUntil([] { return false; }, 0.05);
  }
  net::URLRequest request(const std::string& path) {
    return net::URLRequest(net::URL::fromString(m_server.url(path)));
  }
  HTTPClient::WebViewFailure failure() {
    return [this](const core::Error& error) { m_errors.push_back(error); };
  }
  // The view has shown something and its own announcements are through.
  bool loaded() {
    return support::runUntil([&] { return !m_web->loadedData().empty() && !m_web->isLoading(); });
  }

  testhttp::LoopbackServer m_server;
  std::shared_ptr<HCHTTPSessionManager> m_manager;
  std::shared_ptr<ui::WebView> m_web = ui::WebView::create(gfx::Rect(0, 0, 300, 200));
  RecordingDelegate m_delegate;
  std::vector<core::Error> m_errors;
};

TEST_F(WebViewHTTPClientTest, TextFormShowsWhatSuccessReturns) {
  std::shared_ptr<HCProgress> progress;
  std::string seen;
  int status = 0;
  HTTPClient::loadRequest(m_web, request("/hello"), &progress,
                          [&](const std::shared_ptr<const net::HTTPURLResponse>& response, const std::string& text) {
                            seen = text;
                            status = response ? response->statusCode() : 0;
                            return text + "!";
                          },
                          failure());
  // The start is told at once, before anything arrives.
  EXPECT_EQ(m_delegate.calls, std::vector<std::string>{"start"});
  auto task = HTTPClient::URLSessionTask(*m_web);
  ASSERT_TRUE(task);
  ASSERT_TRUE(progress);
  EXPECT_EQ(progress, m_manager->downloadProgressForTask(task->task()));
  ASSERT_TRUE(loaded());
  EXPECT_EQ(seen, "hello world");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(m_web->text(), "hello world!");
  EXPECT_EQ(m_web->textEncodingName(), "utf-8");
  EXPECT_EQ(m_web->baseURL()->absoluteString(), m_server.url("/hello"));
  EXPECT_EQ(progress->completedUnitCount(), 11);
  // The helper's finish follows its start; the view's own pair comes after it.
  ASSERT_GE(m_delegate.calls.size(), 2u);
  EXPECT_EQ(m_delegate.calls[1], "finish");
  EXPECT_TRUE(m_errors.empty());
  // The request sent was a plain GET of the URL.
  auto received = m_server.received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].method, "GET");
  EXPECT_EQ(received[0].path, "/hello");
}

TEST_F(WebViewHTTPClientTest, TextFormDecodesAndReencodesWithTheResponseCharset) {
  std::string seen;
  HTTPClient::loadRequest(m_web, request("/gb"), nullptr,
                          [&](const std::shared_ptr<const net::HTTPURLResponse>&, const std::string& text) {
                            seen = text;
                            return text;
                          },
                          failure());
  ASSERT_TRUE(loaded());
  EXPECT_EQ(seen, "<p>点歌</p>");
  EXPECT_EQ(m_web->loadedData(), *core::utf8ToGb18030("<p>点歌</p>"));
  EXPECT_EQ(m_web->textEncodingName(), "gb18030");
  // No MIME type is passed: the page is recognised as HTML.
  EXPECT_FALSE(m_web->MIMEType());
  EXPECT_EQ(m_web->text(), "点歌");
}

TEST_F(WebViewHTTPClientTest, TextTheCharsetCannotHoldIsShownAsUTF8) {
  HTTPClient::loadRequest(m_web, request("/latin"), nullptr,
                          [](const std::shared_ptr<const net::HTTPURLResponse>&, const std::string& text) {
                            return text + " 中文";
                          },
                          failure());
  ASSERT_TRUE(loaded());
  EXPECT_EQ(m_web->textEncodingName(), "utf-8");
  EXPECT_EQ(m_web->text(), "café 中文");
}

TEST_F(WebViewHTTPClientTest, ABodyThatDoesNotDecodeFails) {
  bool called = false;
  HTTPClient::loadRequest(m_web, request("/bad"), nullptr,
                          [&](const std::shared_ptr<const net::HTTPURLResponse>&, const std::string& text) {
                            called = true;
                            return text;
                          },
                          failure());
  ASSERT_TRUE(support::runUntil([&] { return !m_errors.empty(); }));
  EXPECT_EQ(m_errors[0].code(), net::URLError::CannotDecodeContentData);
  EXPECT_FALSE(called);
  EXPECT_TRUE(m_web->loadedData().empty());
}

TEST_F(WebViewHTTPClientTest, DataFormUsesTheGivenTypeAndTheBodyWithoutACallback) {
  HTTPClient::loadRequest(m_web, request("/json"), std::string("text/plain"), std::string("utf-8"), nullptr, nullptr,
                          failure());
  ASSERT_TRUE(loaded());
  EXPECT_EQ(m_web->text(), R"({"code":1,"name":"song"})");
  EXPECT_EQ(m_web->MIMEType(), "text/plain");
  EXPECT_EQ(m_web->textEncodingName(), "utf-8");
}

TEST_F(WebViewHTTPClientTest, FailureLeavesThePageAndTellsOnlyTheCallback) {
  m_web->loadHTMLString("<p>before</p>", std::nullopt);
  support::runUntil([&] { return !m_web->isLoading(); });
  m_delegate.calls.clear();
  HTTPClient::loadRequest(m_web, request("/status500"), nullptr, nullptr, failure());
  ASSERT_TRUE(support::runUntil([&] { return !m_errors.empty(); }));
  EXPECT_EQ(m_errors[0].domain(), HCResponseSerializationErrorDomain);
  EXPECT_EQ(m_web->text(), "before");
  EXPECT_EQ(m_delegate.calls, std::vector<std::string>{"start"});
}

TEST_F(WebViewHTTPClientTest, ANewLoadCancelsTheRunningOne) {
  HTTPClient::loadRequest(m_web, request("/stall"), nullptr, nullptr, failure());
  auto first = HTTPClient::URLSessionTask(*m_web);
  ASSERT_TRUE(first);
  HTTPClient::loadRequest(m_web, request("/hello"), nullptr, nullptr, failure());
  EXPECT_NE(HTTPClient::URLSessionTask(*m_web), first);
  ASSERT_TRUE(loaded());
  ASSERT_TRUE(support::runUntil([&] { return !m_errors.empty(); }));
  EXPECT_EQ(m_errors[0].code(), net::URLError::Cancelled);
  EXPECT_EQ(m_web->text(), "hello world");
}

TEST_F(WebViewHTTPClientTest, AViewGoneBeforeTheReplyIsLeftAlone) {
  bool called = false;
  HTTPClient::loadRequest(m_web, request("/hello"), nullptr,
                          [&](const std::shared_ptr<const net::HTTPURLResponse>&, const std::string& text) {
                            called = true;
                            return text;
                          },
                          failure());
  auto task = HTTPClient::URLSessionTask(*m_web);
  m_web.reset();
  ASSERT_TRUE(support::runUntil([&] { return task->state() == net::URLSessionTaskState::Completed; }));
  support::runUntil([] { return false; }, 0.1);
  EXPECT_FALSE(called);
  EXPECT_TRUE(m_errors.empty());
}

TEST(WebViewHTTPClientDefaultsTest, ViewsShareOneManagerAndSerializerUntilSet) {
  auto a = ui::WebView::create();
  auto b = ui::WebView::create();
  EXPECT_EQ(HTTPClient::sessionManager(a), HTTPClient::sessionManager(b));
  auto serializer = HTTPClient::sessionManager(a)->responseSerializer();
  ASSERT_TRUE(serializer);
  EXPECT_TRUE(typeid(*serializer) == typeid(HCHTTPResponseSerializer));
  EXPECT_EQ(HTTPClient::responseSerializer(a), HTTPClient::responseSerializer(b));
  auto own = HCHTTPSessionManager::create();
  HTTPClient::setSessionManager(b, own);
  EXPECT_EQ(HTTPClient::sessionManager(b), own);
  EXPECT_NE(HTTPClient::sessionManager(a), own);
  own->invalidateSessionCancelingTasks(true);
  support::runUntil([] { return false; }, 0.05);
}

}  // namespace
}  // namespace kt
