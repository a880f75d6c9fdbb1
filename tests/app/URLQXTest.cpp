#include <gtest/gtest.h>

#include "app/URLQX.h"
#include "platform/core/Log.h"
#include "platform/core/UserDefaults.h"
#include "support/TempHome.h"
#include "venue/SilentPort.h"
#include "venue/WebServer.h"

#include <chrono>
#include <string>
#include <vector>

namespace kt {
namespace {

class URLQXTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.start());
    setVenue("127.0.0.1", std::to_string(m_server.port()));
  }

  static void setVenue(const std::string& host, const std::string& port) {
    core::UserDefaults::standard().setString("Server_Ip", host);
    core::UserDefaults::standard().setString("webService_Port", port);
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(m_server.port()); }

  // Fetches the URL and gives the request target the server received.
  std::string fetchedTarget(const std::optional<net::URL>& url) {
    m_server.clearRequests();
    URLQX::getHttpValue(url);
    if (m_server.requestCount() != 1) return "(no request)";
    return m_server.lastRequest().target;
  }

  venue::WebServer m_server;
};

TEST_F(URLQXTest, EachFlagHasItsExactURL) {
  struct Case {
    std::optional<net::URL> url;
    std::string expected;
    std::string endpoint;  // what the photo service took the request for
  };
  const std::vector<Case> cases = {
      {URLQX::getFoodImageUrl("F001", 320, 240, "20240501100000"),
       "/GetPhoto.aspx?Flag=00&id=F001&width=320.000000&height=240.000000&time=20240501100000", "Flag=00"},
      {URLQX::getGongGuanPhotoNamesUrl("1001"), "/GetPhoto.aspx?Flag=11&id=1001", "Flag=11"},
      {URLQX::getGongGuanPhotoUrl("1001", "a.jpg", "2024-05-01 10:00:00"),
       "/GetPhoto.aspx?Flag=12&id=1001/a.jpg&time=2024-05-01%2010:00:00&width=960&height=540", "Flag=12"},
      {URLQX::getGongGuanPhotoModifyTimeUrl("1001", "a.jpg"), "/GetPhoto.aspx?Flag=21&id=1001/a.jpg", "Flag=21"},
      {URLQX::getSongImageUrl("S123", 200, 150.5),
       "/GetPhoto.aspx?Flag=30&ID=S123.jpg&Width=200.000000&Height=150.500000", "Flag=30"},
      {URLQX::getGongGuanHeadImageUrl("0012", 135, 169),
       "/GetPhoto.aspx?Flag=98&ID=0012&Width=135.000000&Height=169.000000", "Flag=98"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ASSERT_TRUE(c.url);
    EXPECT_EQ(c.url->absoluteString(), base() + c.expected);
    EXPECT_EQ(fetchedTarget(c.url), c.expected);
    EXPECT_EQ(m_server.lastRequest().line(), "GET " + c.expected + " HTTP/1.1");
    EXPECT_EQ(m_server.lastRequest().endpoint, c.endpoint);
  }
}

TEST_F(URLQXTest, SingerPictureUsesTheHostOnly) {
  auto url = URLQX::getSingerImageUrl("周杰伦");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->absoluteString(), "http://127.0.0.1/singer/%E5%91%A8%E6%9D%B0%E4%BC%A6.png");
  core::UserDefaults::standard().removeObjectForKey("webService_Port");
  ASSERT_TRUE(URLQX::getSingerImageUrl("a"));
  EXPECT_EQ(URLQX::getSingerImageUrl("a")->absoluteString(), "http://127.0.0.1/singer/a.png");
  // A name cannot reach outside the folder or start a query.
  EXPECT_EQ(URLQX::getSingerImageUrl("../x?y#z")->absoluteString(), "http://127.0.0.1/singer/..%2Fx%3Fy%23z.png");
}

TEST_F(URLQXTest, SizesHaveSixDecimals) {
  EXPECT_EQ(URLQX::getGongGuanHeadImageUrl("1", 0.1234567, 1e6)->query(),
            "Flag=98&ID=1&Width=0.123457&Height=1000000.000000");
  EXPECT_EQ(URLQX::getSongImageUrl("s", -2.5, 0)->query(), "Flag=30&ID=s.jpg&Width=-2.500000&Height=0.000000");
}

TEST_F(URLQXTest, SettingsAreReadAtEveryCall) {
  EXPECT_EQ(URLQX::getGongGuanPhotoNamesUrl("1")->host(), "127.0.0.1");
  setVenue("ktv.example", "8080");
  EXPECT_EQ(URLQX::getGongGuanPhotoNamesUrl("1")->absoluteString(),
            "http://ktv.example:8080/GetPhoto.aspx?Flag=11&id=1");
  // Unset settings leave no URL, and fetching none gives no text.
  core::UserDefaults::standard().removeObjectForKey("webService_Port");
  EXPECT_FALSE(URLQX::getGongGuanPhotoNamesUrl("1"));
  EXPECT_FALSE(URLQX::getHttpValue(URLQX::getGongGuanPhotoNamesUrl("1")));
  setVenue("ktv.example", "8080");
  core::UserDefaults::standard().removeObjectForKey("Server_Ip");
  EXPECT_FALSE(URLQX::getFoodImageUrl("1", 1, 1, "t"));
  EXPECT_FALSE(URLQX::getSingerImageUrl("a"));
}

TEST_F(URLQXTest, FilledValuesCannotChangeTheURL) {
  // A space is %20 as before; the separators of a query stay inside the value.
  EXPECT_EQ(fetchedTarget(URLQX::getGongGuanPhotoModifyTimeUrl("1002", "my photo.jpg")),
            "/GetPhoto.aspx?Flag=21&id=1002/my%20photo.jpg");

  const std::string tricky = "a&Flag=99=b#c?d+e%20f.jpg";
  auto url = URLQX::getGongGuanPhotoUrl("1001", tricky, "t 1");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->query(),
            "Flag=12&id=1001/a%26Flag%3D99%3Db%23c%3Fd%2Be%2520f.jpg&time=t%201&width=960&height=540");
  EXPECT_FALSE(url->fragment());
  fetchedTarget(url);
  const venue::RecordedRequest request = m_server.lastRequest();
  EXPECT_EQ(request.param("Flag"), "12");
  EXPECT_EQ(request.param("id"), "1001/" + tricky);
  EXPECT_EQ(request.param("time"), "t 1");
  EXPECT_EQ(request.paramNames(), (std::vector<std::string>{"Flag", "id", "time", "width", "height"}));

  // Chinese names travel as UTF-8 and come back unchanged.
  fetchedTarget(URLQX::getGongGuanHeadImageUrl("小明&ID=1", 135, 169));
  EXPECT_EQ(m_server.lastRequest().param("ID"), "小明&ID=1");
  EXPECT_EQ(m_server.lastRequest().paramNames().size(), 4u);
}

TEST_F(URLQXTest, PhotoURLsAreLogged) {
  std::vector<std::string> lines;
  core::LogSink previous = core::setLogSink([&lines](const std::string& line) { lines.push_back(line); });
  auto names = URLQX::getGongGuanPhotoNamesUrl("1001");
  auto photo = URLQX::getGongGuanPhotoUrl("1001", "a.jpg", "t");
  URLQX::getGongGuanPhotoModifyTimeUrl("1001", "a.jpg");
  core::setLogSink(previous);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], names->absoluteString());
  EXPECT_EQ(lines[1], photo->absoluteString());
}

// A web port that is no port gave an address all the same: port 0, or the default port for an
// empty one. It gives none now, and says why once while it stays, not at every picture.
TEST_F(URLQXTest, AWebPortOutsideOneTo65535GivesNoURLAndIsSaidOnce) {
  std::vector<std::string> lines;
  core::LogSink previous = core::setLogSink([&lines](const std::string& line) { lines.push_back(line); });
  ASSERT_TRUE(URLQX::getFoodImageUrl("F001", 1, 1));
  for (const char* port : {"0", "65536", "70000", "-1", "", "80x"}) {
    SCOPED_TRACE(port);
    setVenue("127.0.0.1", port);
    lines.clear();
    EXPECT_FALSE(URLQX::getFoodImageUrl("F001", 1, 1));
    EXPECT_FALSE(URLQX::getSongImageUrl("S1", 1, 1));
    EXPECT_EQ(lines, (std::vector<std::string>{"The setting webService_Port (" + std::string(port) +
                                               ") is not a port from 1 to 65535: no address on the venue web "
                                               "server is made"}));
  }
  setVenue("127.0.0.1", "65535");
  EXPECT_EQ(URLQX::getFoodImageUrl("F001", 1, 1)->port(), 65535);
  setVenue("127.0.0.1", "08080");
  EXPECT_EQ(URLQX::getFoodImageUrl("F001", 1, 1)->absoluteString(),
            "http://127.0.0.1:8080/GetPhoto.aspx?Flag=00&id=F001&width=1.000000&height=1.000000");
  core::setLogSink(previous);
}

TEST_F(URLQXTest, BlockingGetGivesTheTextOfASuccessfulReply) {
  EXPECT_EQ(URLQX::getHttpValue(URLQX::getGongGuanPhotoNamesUrl("1001")), "a.jpg,b.png,c.txt");
  EXPECT_EQ(URLQX::getHttpValue(URLQX::getGongGuanPhotoNamesUrl("1003")), "Error");
  const std::string time = m_server.staffPhotos("1001").front().time;
  EXPECT_EQ(URLQX::getHttpValue(URLQX::getGongGuanPhotoModifyTimeUrl("1001", "a.jpg")), time);
  m_server.setFault("Flag=11", venue::Fault::emptyBody());
  EXPECT_EQ(URLQX::getHttpValue(URLQX::getGongGuanPhotoNamesUrl("1001")), "");
}

TEST_F(URLQXTest, BlockingGetGivesNoTextForErrorsAndBadBodies) {
  auto names = URLQX::getGongGuanPhotoNamesUrl("1001");
  // An error page is no content, even with a body.
  m_server.setFault("Flag=11", venue::Fault::withBody(500, "<html>Server Error</html>", "text/html"));
  EXPECT_FALSE(URLQX::getHttpValue(names));
  m_server.setFault("Flag=11", venue::Fault::status(404));
  EXPECT_FALSE(URLQX::getHttpValue(names));
  // A body that is not UTF-8.
  m_server.setFault("Flag=11", venue::Fault::nonUtf8());
  EXPECT_FALSE(URLQX::getHttpValue(names));
  // Pictures are not text.
  m_server.clearFaults();
  EXPECT_FALSE(URLQX::getHttpValue(URLQX::getGongGuanHeadImageUrl("0012", 135, 169)));
  // The connection closed without a reply.
  m_server.setFault("Flag=11", venue::Fault::close());
  EXPECT_FALSE(URLQX::getHttpValue(names));
  // Nobody listening.
  const std::uint16_t port = m_server.port();
  m_server.stop();
  EXPECT_FALSE(URLQX::getHttpValue(net::URL::fromString("http://127.0.0.1:" + std::to_string(port) + "/x")));
}

TEST_F(URLQXTest, BlockingGetGivesUpAfterItsTimeOut) {
  EXPECT_EQ(URLQX::DefaultTimeout, 10);
  // A reply that does not come in time.
  m_server.setFault("Flag=11", venue::Fault::slow(std::chrono::milliseconds(5000)));
  EXPECT_FALSE(URLQX::getHttpValue(URLQX::getGongGuanPhotoNamesUrl("1001"), 0.3));
  // A server that never completes the connection.
  venue::SilentPort silent;
  ASSERT_TRUE(silent.isReady());
  setVenue(silent.host(), std::to_string(silent.port()));
  EXPECT_FALSE(URLQX::getHttpValue(URLQX::getGongGuanPhotoNamesUrl("1001"), 0.3));
}

}  // namespace
}  // namespace kt
