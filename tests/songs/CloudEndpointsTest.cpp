// Every endpoint against the stand-in service: the exact request line, the host it reaches and
// the success rule of its reply.

#include "CloudFixture.h"

#include "platform/core/UserDefaults.h"
#include "songs/CloudReply.h"

namespace {

using songs_test::CloudFixture;

class CloudEndpointsTest : public CloudFixture {
 protected:
  // A room that the service knows, with its binding id.
  venue::CloudRoom room() const { return m_service.rooms().front(); }
};

TEST_F(CloudEndpointsTest, BindingStepsInOrderStoreTheBindingId) {
  venue::CloudRoom r = room();
  auto step1 = send(kt::CloudApi::scannedCode(m_service.qrText(r.code)));
  EXPECT_EQ(lastLine(), "GET /qr/" + r.qrToken + " HTTP/1.1");
  EXPECT_EQ(m_service.lastRequest().header("Host"), std::optional<std::string>("bind.ktvcloud.example"));
  ASSERT_TRUE(kt::CloudReply::isSuccess(step1->decoded));
  std::string token = kt::CloudApi::storeScannedReply(*step1->decoded);
  EXPECT_EQ(token, r.token);
  EXPECT_EQ(core::UserDefaults::standard().stringForKey("transIP"), std::optional<std::string>(r.tranIp));

  auto step2 = send(kt::CloudApi::roomInfo(token));
  EXPECT_EQ(lastLine(), "GET /roominfo/" + r.token + " HTTP/1.1");
  ASSERT_TRUE(kt::CloudReply::isSuccess(step2->decoded));
  std::string code = kt::CloudApi::storeRoomInfoReply(*step2->decoded);
  EXPECT_EQ(code, r.code);

  auto step3 = send(kt::CloudApi::bindRoom(code));
  EXPECT_EQ(lastLine(), "GET /interface/webbindroom_new.php?roomid=" + r.code + "&type=1 HTTP/1.1");
  EXPECT_EQ(m_service.lastRequest().header("Host"), std::optional<std::string>("api.ktvcloud.example"));
  ASSERT_TRUE(kt::CloudReply::isSuccess(step3->decoded));
  ASSERT_TRUE(kt::CloudApi::storeBindReply(*step3->decoded));
  EXPECT_EQ(kt::CloudApi::storedUid(), std::optional<std::string>(r.uid));
  EXPECT_EQ(core::UserDefaults::standard().stringForKey("roomIPForMike"), std::optional<std::string>(r.ip));
}

TEST_F(CloudEndpointsTest, UnknownRoomCodeFailsWithTheServersMessage) {
  auto reply = send(kt::CloudApi::bindRoom("no such room"));
  EXPECT_EQ(lastLine(), "GET /interface/webbindroom_new.php?roomid=no%20such%20room&type=1 HTTP/1.1");
  ASSERT_TRUE(reply->decoded);
  EXPECT_FALSE(kt::CloudReply::isSuccess(reply->decoded));
  EXPECT_NE(kt::CloudReply::text(reply->decoded, "msg"), "(null)");
}

TEST_F(CloudEndpointsTest, AddSongThenQueueAndMoveToTop) {
  std::string uid = room().uid;
  const venue::CloudSong& a = m_service.songs().at(0);
  const venue::CloudSong& b = m_service.songs().at(1);
  m_service.setRoomState(room().code, {});

  for (const venue::CloudSong* song : {&a, &b}) {
    auto added = send(kt::CloudApi::addSong(uid, song->title, song->number, song->singer));
    EXPECT_TRUE(kt::CloudReply::isSuccess(added->decoded));
    venue::RecordedRequest request = m_service.lastRequest();
    EXPECT_EQ(request.rawPath, "/interface/addsong.php");
    EXPECT_EQ(request.paramNames(), (std::vector<std::string>{"appid", "mname", "musicno", "songer", "uid"}));
    EXPECT_EQ(request.param("mname"), std::optional<std::string>(song->title));
    EXPECT_EQ(request.param("songer"), std::optional<std::string>(song->singer));
  }
  auto queue = send(kt::CloudApi::queue(uid));
  EXPECT_EQ(lastLine(), "GET /interface/getktvsonglist.php?uid=" + uid + " HTTP/1.1");
  EXPECT_TRUE(kt::CloudReply::isSuccess(queue->decoded));
  std::vector<core::Value> rows = kt::CloudReply::rows(queue->decoded, "list");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(kt::CloudReply::text(rows[1], "musicno"), b.number);

  auto top = send(kt::CloudApi::moveToTop(uid, b.number));
  EXPECT_EQ(lastLine(), "GET /interface/songlisttop.php?musicno=" + b.number + "&uid=" + uid + " HTTP/1.1");
  EXPECT_TRUE(kt::CloudReply::isSuccess(top->decoded));
  // Behind the song being sung, which is where it was.
  EXPECT_EQ(m_service.roomState(room().code).queue.at(1).number, b.number);
}

TEST_F(CloudEndpointsTest, AddSongEncodesTextsAndReportsNotBound) {
  auto added = send(kt::CloudApi::addSong("", "我 的歌", "100001", "甲,乙"));
  EXPECT_EQ(lastLine(),
            "GET /interface/addsong.php?appid=arr&mname=%E6%88%91%20%E7%9A%84%E6%AD%8C&musicno=100001"
            "&songer=%E7%94%B2%2C%E4%B9%99&uid= HTTP/1.1");
  EXPECT_EQ(kt::CloudReply::code(added->decoded), "6");
  EXPECT_FALSE(kt::CloudReply::isSuccess(added->decoded));
}

TEST_F(CloudEndpointsTest, CodeAsNumberOrTextBothSucceed) {
  std::string uid = room().uid;
  for (venue::CodeForm form : {venue::CodeForm::Number, venue::CodeForm::Text}) {
    m_service.setCodeForm(form);
    auto sung = send(kt::CloudApi::sungSongs(uid));
    EXPECT_EQ(lastLine(), "GET /interface/oversonglist.php?uid=" + uid + " HTTP/1.1");
    EXPECT_TRUE(kt::CloudReply::isSuccess(sung->decoded));
    const core::Value& code = (*sung->decoded)["code"];
    EXPECT_EQ(code.isString(), form == venue::CodeForm::Text);
  }
}

TEST_F(CloudEndpointsTest, MissingCodeReadsAsNullText) {
  m_service.setFault("getktvsonglist.php", venue::Fault::missingKeys({"code"}));
  auto reply = send(kt::CloudApi::queue(room().uid));
  ASSERT_TRUE(reply->decoded);
  EXPECT_EQ(kt::CloudReply::code(reply->decoded), "(null)");
  EXPECT_FALSE(kt::CloudReply::isSuccess(reply->decoded));

  m_service.setFault("getktvsonglist.php", venue::Fault::nullValues({"code", "list"}));
  reply = send(kt::CloudApi::queue(room().uid));
  EXPECT_EQ(kt::CloudReply::code(reply->decoded), "<null>");
  EXPECT_TRUE(kt::CloudReply::rows(reply->decoded, "list").empty());
}

TEST_F(CloudEndpointsTest, PlaybackEndpointsCountAnyDecodedReply) {
  std::string uid = room().uid;
  struct Case {
    kt::CloudRequest request;
    std::string line;
  } cases[] = {
      {kt::CloudApi::nextSong(uid), "/interface/nextsong.php?uid=" + uid},
      {kt::CloudApi::toggleTrack(uid), "/interface/ctoggle.php?uid=" + uid},
      {kt::CloudApi::togglePlay(uid), "/interface/ptoggle.php?uid=" + uid},
      {kt::CloudApi::roomVolume(uid, true), "/interface/mvol.php?type=1&uid=" + uid},
      {kt::CloudApi::roomVolume(uid, false), "/interface/mvol.php?type=0&uid=" + uid},
      {kt::CloudApi::micVolume(uid, true), "/interface/mmic.php?type=1&uid=" + uid},
      {kt::CloudApi::micVolume(uid, false), "/interface/mmic.php?type=0&uid=" + uid},
  };
  for (const Case& c : cases) {
    auto reply = send(c.request);
    EXPECT_EQ(lastLine(), "GET " + c.line + " HTTP/1.1");
    EXPECT_TRUE(reply->decoded && reply->decoded->isDictionary()) << c.line;
  }
}

TEST_F(CloudEndpointsTest, FavouritesByPage) {
  std::string uid = room().uid;
  auto reply = send(kt::CloudApi::favourites(1, uid));
  EXPECT_EQ(lastLine(), "GET /interface/getfavsongs.php?p=1&uid=" + uid + " HTTP/1.1");
  ASSERT_TRUE(reply->decoded);
  for (const core::Value& row : kt::CloudReply::rows(reply->decoded, "data")) {
    EXPECT_NE(kt::CloudReply::text(row, "mno"), "(null)");
  }
}

TEST_F(CloudEndpointsTest, BannersAndTheirSongs) {
  auto banners = send(kt::CloudApi::banners());
  EXPECT_EQ(lastLine(), "GET /php/wxpic.php?tp=tp HTTP/1.1");
  EXPECT_EQ(m_service.lastRequest().header("Host"), std::optional<std::string>("song.ktvcloud.example"));
  std::vector<core::Value> items = kt::CloudReply::bannerItems(banners->decoded);
  ASSERT_EQ(items.size(), m_service.banners().size());

  bool sawNonNumeric = false;
  for (const core::Value& item : items) {
    std::string classId = kt::CloudReply::text(item, "classid");
    auto songs = send(kt::CloudApi::bannerSongs("u1", classId));
    std::string sent = std::to_string(core::parseInt(classId));
    EXPECT_EQ(lastLine(), "GET /php/wxsong.php?classid=" + sent + "&uid=u1 HTTP/1.1");
    if (sent == "0") {
      sawNonNumeric = true;
    } else {
      EXPECT_TRUE(kt::CloudReply::isSuccess(songs->decoded)) << classId;
      EXPECT_EQ(kt::CloudReply::bannerSongs(songs->decoded).size(), m_service.bannerSongs(classId).size());
    }
  }
  EXPECT_TRUE(sawNonNumeric);  // the service serves one banner whose class is no number
}

TEST_F(CloudEndpointsTest, ChartAlwaysAsksInKeyOrderWithTheChartNameEncoded) {
  auto chart = send(kt::CloudApi::chart(1));
  EXPECT_EQ(lastLine(),
            "GET /wxsearchservice.aspx/?appid=arr&op=getrankinfo&p=1&type=zuK%E6%AD%8C%E6%A6%9C HTTP/1.1");
  EXPECT_EQ(m_service.lastRequest().header("Host"), std::optional<std::string>("search.ktvcloud.example"));
  std::vector<core::Value> rows = kt::CloudReply::rows(chart->decoded, "list");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(kt::CloudReply::text(rows[0], "music_no"), m_service.chart(venue::CloudService::kChart).at(0).number);
  EXPECT_NE(kt::CloudReply::text(chart->decoded, "total"), "(null)");
}

TEST_F(CloudEndpointsTest, SongsByTitleAndBySearchText) {
  const std::string category = venue::CloudService::categories().front();
  auto titled = send(kt::CloudApi::songsTitled(category, 2));
  venue::RecordedRequest request = m_service.lastRequest();
  EXPECT_EQ(request.paramNames(), (std::vector<std::string>{"appid", "nosign", "op", "p", "q"}));
  EXPECT_EQ(request.param("q"), std::optional<std::string>(category));
  EXPECT_EQ(request.param("p"), std::optional<std::string>("2"));
  EXPECT_TRUE(titled->decoded);

  auto searched = send(kt::CloudApi::searchSongs(" hello  world ", 1));
  EXPECT_EQ(lastLine(), "GET /wxsearchservice.aspx/?op=getwxmusicinfo&p=1&q=helloworld HTTP/1.1");
  EXPECT_NE(kt::CloudReply::text(searched->decoded, "total"), "(null)");
}

TEST_F(CloudEndpointsTest, SingersOfARegion) {
  auto reply = send(kt::CloudApi::singersOfRegion("大陆男歌星", 1));
  EXPECT_EQ(lastLine(),
            "GET /wxsearchservice.aspx/?op=getsingersbyclass&p=1"
            "&tname=%E5%A4%A7%E9%99%86%E7%94%B7%E6%AD%8C%E6%98%9F HTTP/1.1");
  std::vector<core::Value> rows = kt::CloudReply::rows(reply->decoded, "data");
  EXPECT_EQ(rows.size(), std::min<size_t>(m_service.singersOf("大陆男歌星").size(), venue::CloudService::kPageSize));
}

}  // namespace
