#include "platform/net/URLConnection.h"

#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "support/RunUntil.h"
#include "venue/HttpServerThread.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using net::URLConnection;
using net::URLRequest;

// Serves "/hello" and "/basic" (user "u", password "p"; anything else gets a Basic challenge).
class Server {
 public:
  Server() {
    m_server.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("hello world", "text/plain");
    });
    m_server.Get("/basic", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(m_mutex);
        m_authorizations.push_back(req.get_header_value("Authorization"));
      }
      if (req.get_header_value("Authorization") == "Basic dTpw") {
        res.set_content("welcome", "text/plain");
        return;
      }
      res.status = 401;
      res.set_header("WWW-Authenticate", "Digest realm=\"d\", Basic realm=\"staff room\"");
      res.set_content("denied", "text/plain");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = venue::listenInBackground(m_server);
    while (!m_server.is_running()) std::this_thread::yield();
  }
  ~Server() {
    m_server.stop();
    m_thread.join();
  }
  URLRequest request(const std::string& path) const {
    return URLRequest(net::URL::fromString("http://127.0.0.1:" + std::to_string(m_port) + path));
  }
  std::vector<std::string> authorizations() {
    std::lock_guard lock(m_mutex);
    return m_authorizations;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_authorizations;
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
};

// Writes down each event; answers challenges as told.
class Log : public net::URLConnectionDelegate {
 public:
  void connectionDidReceiveAuthenticationChallenge(URLConnection&, const net::AuthenticationChallenge& challenge,
                                                   net::ChallengeHandler handler) override {
    events.push_back("challenge " + std::to_string(challenge.previousFailureCount) + " " +
                     challenge.protectionSpace.realm);
    auto credential = std::make_shared<net::URLCredential>();
    credential->user = "u";
    credential->password = challenge.previousFailureCount == 0 ? password : "p";
    handler(answers.empty() ? net::AuthChallengeDisposition::PerformDefaultHandling : answers.front(), credential);
    if (!answers.empty()) answers.erase(answers.begin());
  }
  void connectionDidReceiveResponse(URLConnection& connection,
                                    const std::shared_ptr<const net::HTTPURLResponse>& response) override {
    events.push_back("response " + std::to_string(response->statusCode()));
    if (cancelOnResponse) connection.cancel();
  }
  void connectionDidReceiveData(URLConnection&, const std::string& data) override { body += data; }
  void connectionDidFailWithError(URLConnection&, const core::Error& error) override {
    events.push_back("fail " + std::to_string(error.code()));
    ended = true;
  }
  void connectionDidFinishLoading(URLConnection&) override {
    events.push_back("finish " + body);
    ended = true;
  }

  std::vector<std::string> events;
  std::string body;
  bool ended = false;
  bool cancelOnResponse = false;
  std::string password = "p";
  std::vector<net::AuthChallengeDisposition> answers;
};

TEST(URLConnectionTest, EventsArriveOnLaterTurnsOfTheLoopInOrder) {
  Server server;
  auto log = std::make_shared<Log>();
  URLConnection::connectionWithRequest(server.request("/hello"), log);
  EXPECT_TRUE(log->events.empty());
  ASSERT_TRUE(support::runUntil([&] { return log->ended; }));
  EXPECT_EQ(log->events, (std::vector<std::string>{"response 200", "finish hello world"}));

  // Without a usable URL the failure comes on the loop as well.
  auto bad = std::make_shared<Log>();
  URLConnection::connectionWithRequest(URLRequest(std::nullopt), bad);
  auto other = std::make_shared<Log>();
  URLConnection::connectionWithRequest(URLRequest(net::URL::fromString("ftp://127.0.0.1/x")), other);
  EXPECT_TRUE(bad->events.empty() && other->events.empty());
  ASSERT_TRUE(support::runUntil([&] { return bad->ended && other->ended; }));
  EXPECT_EQ(bad->events, (std::vector<std::string>{"fail " + std::to_string(net::URLError::BadURL)}));
  EXPECT_EQ(other->events, (std::vector<std::string>{"fail " + std::to_string(net::URLError::UnsupportedURL)}));
}

TEST(URLConnectionTest, ChallengesAreAnsweredRefusedOrLoaded) {
  Server server;
  // A credential refused once, then accepted.
  auto retry = std::make_shared<Log>();
  retry->password = "wrong";
  retry->answers = {net::AuthChallengeDisposition::UseCredential, net::AuthChallengeDisposition::UseCredential};
  URLConnection::connectionWithRequest(server.request("/basic"), retry);
  ASSERT_TRUE(support::runUntil([&] { return retry->ended; }));
  EXPECT_EQ(retry->events, (std::vector<std::string>{"challenge 0 staff room", "challenge 1 staff room",
                                                      "response 200", "finish welcome"}));

  // Cancelled: the connection fails.
  auto cancel = std::make_shared<Log>();
  cancel->answers = {net::AuthChallengeDisposition::CancelAuthenticationChallenge};
  URLConnection::connectionWithRequest(server.request("/basic"), cancel);
  ASSERT_TRUE(support::runUntil([&] { return cancel->ended; }));
  const std::string cancelled = "fail " + std::to_string(net::URLError::UserCancelledAuthentication);
  EXPECT_EQ(cancel->events, (std::vector<std::string>{"challenge 0 staff room", cancelled}));

  // Default handling: the 401 reply is loaded like any other.
  auto plain = std::make_shared<Log>();
  URLConnection::connectionWithRequest(server.request("/basic"), plain);
  ASSERT_TRUE(support::runUntil([&] { return plain->ended; }));
  EXPECT_EQ(plain->events, (std::vector<std::string>{"challenge 0 staff room", "response 401", "finish denied"}));

  EXPECT_EQ(server.authorizations(), (std::vector<std::string>{"", "Basic dTp3cm9uZw==", "Basic dTpw", "", ""}));
}

TEST(URLConnectionTest, ACancelledConnectionTellsNothingMore) {
  Server server;
  auto cancelled = std::make_shared<Log>();
  cancelled->cancelOnResponse = true;
  std::weak_ptr<Log> weak = cancelled;
  URLConnection::connectionWithRequest(server.request("/hello"), cancelled);
  ASSERT_TRUE(support::runUntil([&] { return !cancelled->events.empty(); }));
  // The connection has let go of its delegate.
  cancelled.reset();
  EXPECT_TRUE(weak.expired());

  auto after = std::make_shared<Log>();
  URLConnection::connectionWithRequest(server.request("/hello"), after);
  ASSERT_TRUE(support::runUntil([&] { return after->ended; }));
}

}  // namespace
