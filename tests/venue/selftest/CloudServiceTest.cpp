#include "venue/CloudService.h"
#include "venue/Gallery.h"

#include "venue/selftest/HttpGet.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

using namespace venue;
using venue::selftest::httpGet;
using Json = nlohmann::json;

namespace {

class CloudServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(cloud.start()); }

  Json get(const std::string& target) {
    selftest::HttpAnswer answer = httpGet(cloud.port(), target);
    EXPECT_EQ(answer.status, 200) << target;
    return answer.json();
  }
  std::string uid() const { return cloud.roomByCode("8012")->uid; }
  std::string interface(const std::string& file, const std::string& query) {
    return "/interface/" + file + "?" + query;
  }

  CloudService cloud;
};

// Reads one answer from a kept-alive connection: its status and its body (by Content-Length).
std::optional<std::pair<int, std::string>> readAnswer(selftest::LoopbackClient& client, std::string& pending) {
  std::size_t headEnd;
  while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
    std::optional<std::string> chunk = client.readSome();
    if (!chunk) return std::nullopt;
    pending += *chunk;
  }
  std::string head = pending.substr(0, headEnd);
  std::size_t at = head.find("Content-Length: ");
  if (head.rfind("HTTP/1.1 ", 0) != 0 || at == std::string::npos) return std::nullopt;
  std::size_t length = std::stoul(head.substr(at + 16));
  while (pending.size() < headEnd + 4 + length) {
    std::optional<std::string> chunk = client.readSome();
    if (!chunk) return std::nullopt;
    pending += *chunk;
  }
  std::pair<int, std::string> answer{std::atoi(head.c_str() + 9), pending.substr(headEnd + 4, length)};
  pending.erase(0, headEnd + 4 + length);
  return answer;
}

std::vector<std::string> keysOf(const Json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  std::sort(keys.begin(), keys.end());
  return keys;
}

}  // namespace

TEST_F(CloudServiceTest, HostsAreFiveReservedNamesMappedToThePort) {
  std::vector<std::string> hosts = CloudService::hosts();
  ASSERT_EQ(hosts.size(), 5u);
  EXPECT_EQ(std::set<std::string>(hosts.begin(), hosts.end()).size(), 5u);
  for (const std::string& host : hosts) EXPECT_TRUE(host.ends_with(".example")) << host;
  EXPECT_EQ(cloud.connectTo()[1], std::string(CloudHosts::interfaceHost) + ":80:127.0.0.1:" + std::to_string(cloud.port()));
}

TEST_F(CloudServiceTest, BindingRunsFromQrTextThroughRoomTokenToUid) {
  std::string qr = cloud.qrText("8012");
  ASSERT_TRUE(qr.starts_with(std::string("http://") + CloudHosts::binding + "/"));
  Json step1 = get(qr.substr(qr.find('/', 7)));
  EXPECT_EQ(step1["code"], "1");
  EXPECT_EQ(step1["tranip"], "192.168.10.2");
  std::string token = step1["roominfo"];

  Json step2 = get("/roominfo/" + token);
  EXPECT_EQ(step2["code"], "1");
  EXPECT_EQ(step2["room"]["room_code"], "8012");
  EXPECT_EQ(step2["room"]["room_ip"], "192.168.10.112");

  Json step3 = get(interface("webbindroom_new.php", "roomid=8012&type=1"));
  EXPECT_EQ(step3["code"], "1");
  EXPECT_EQ(step3["data"][0]["uid"], uid());
  EXPECT_TRUE(step3["msg"].is_string());
}

TEST_F(CloudServiceTest, BindingRefusesUnknownCodesWithAMessage) {
  Json badQr = get("/qr/nosuchtoken");
  EXPECT_EQ(badQr["code"], "0");
  EXPECT_FALSE(badQr.contains("roominfo"));
  EXPECT_EQ(get("/roominfo/nosuchtoken")["code"], "0");
  Json badRoom = get(interface("webbindroom_new.php", "roomid=9999&type=1"));
  EXPECT_EQ(badRoom["code"], "0");
  EXPECT_FALSE(badRoom["msg"].get<std::string>().empty());
  EXPECT_EQ(get(interface("webbindroom_new.php", "roomid=8012&type=2"))["code"], "0");
}

TEST_F(CloudServiceTest, AddedSongIsListedAtTheEndOfTheQueue) {
  cloud.setRoomState("8012", RoomState{});
  Json added = get(interface("addsong.php", "appid=arr&mname=%E6%9C%88%E5%85%89%E6%81%8B%E6%9B%B2&musicno=100007&songer=" +
                                                std::string("%E7%8E%8B%E5%AD%90%E8%BD%A9&uid=") + uid()));
  EXPECT_EQ(added["code"], 1);
  EXPECT_TRUE(added["msg"].is_string());

  Json queue = get(interface("getktvsonglist.php", "uid=" + uid()));
  EXPECT_EQ(queue["code"], 1);
  ASSERT_EQ(queue["list"].size(), 1u);
  EXPECT_EQ(keysOf(queue["list"][0]), (std::vector<std::string>{"musicname", "musicno", "singername"}));
  EXPECT_EQ(queue["list"][0]["musicname"], "月光恋曲");
  EXPECT_EQ(queue["list"][0]["singername"], "王子轩");
  EXPECT_EQ(queue["list"][0]["musicno"], "100007");
  EXPECT_EQ(cloud.roomState("8012").queue.size(), 1u);
}

TEST_F(CloudServiceTest, AddSongWithoutBindingAnswersSixAndChangesNothing) {
  RoomState before = cloud.roomState("8012");
  EXPECT_EQ(get(interface("addsong.php", "appid=arr&mname=a&musicno=100001&songer=b&uid="))["code"], 6);
  EXPECT_EQ(get(interface("addsong.php", "appid=arr&mname=a&musicno=100001&songer=b&uid=nobody"))["code"], 6);
  // A request without the application id is refused too.
  EXPECT_EQ(get(interface("addsong.php", "mname=a&musicno=100001&songer=b&uid=" + uid()))["code"], 0);
  EXPECT_EQ(cloud.roomState("8012").queue, before.queue);
}

TEST_F(CloudServiceTest, QueueBadgeBeforeBindingIsAFailureWithNoRows) {
  Json reply = get(interface("getktvsonglist.php", "uid="));
  EXPECT_EQ(reply["code"], 0);
  EXPECT_TRUE(reply["list"].empty());
}

TEST_F(CloudServiceTest, MoveToFrontDeleteAndNextSongReorderQueueAndSungList) {
  const std::vector<CloudSong>& songs = cloud.songs();
  RoomState state;
  for (int i = 0; i < 3; ++i) state.queue.push_back({songs[i].number, songs[i].title, songs[i].singer});
  cloud.setRoomState("8012", state);

  EXPECT_EQ(get(interface("songlisttop.php", "musicno=" + songs[2].number + "&uid=" + uid()))["code"], 1);
  Json queue = get(interface("getktvsonglist.php", "uid=" + uid()));
  ASSERT_EQ(queue["list"].size(), 3u);
  // The song being sung stays first; the moved song follows it.
  EXPECT_EQ(queue["list"][0]["musicno"], songs[0].number);
  EXPECT_EQ(queue["list"][1]["musicno"], songs[2].number);
  EXPECT_EQ(queue["list"][2]["musicno"], songs[1].number);
  EXPECT_EQ(get(interface("songlisttop.php", "musicno=999999&uid=" + uid()))["code"], 0);

  EXPECT_EQ(get(interface("delsong.php", "musicno=" + songs[0].number + "&uid=" + uid()))["code"], 1);
  EXPECT_EQ(get(interface("nextsong.php", "uid=" + uid()))["code"], 1);

  Json sung = get(interface("oversonglist.php", "uid=" + uid()));
  EXPECT_EQ(sung["code"], 1);
  ASSERT_EQ(sung["list"].size(), 1u);
  EXPECT_EQ(keysOf(sung["list"][0]), (std::vector<std::string>{"musicname", "musicno", "singer"}));
  EXPECT_EQ(sung["list"][0]["musicno"], songs[2].number);
  RoomState after = cloud.roomState("8012");
  ASSERT_EQ(after.queue.size(), 1u);
  EXPECT_EQ(after.queue[0].number, songs[1].number);
}

TEST_F(CloudServiceTest, PlaybackCommandsChangeTheRoomWithinBounds) {
  RoomState state;
  state.volume = CloudService::kMaxLevel - 1;
  cloud.setRoomState("8012", state);
  EXPECT_EQ(get(interface("mvol.php", "type=1&uid=" + uid()))["volume"], CloudService::kMaxLevel);
  EXPECT_EQ(get(interface("mvol.php", "type=1&uid=" + uid()))["volume"], CloudService::kMaxLevel);
  EXPECT_EQ(get(interface("mmic.php", "type=0&uid=" + uid()))["mic"], 9);
  EXPECT_EQ(get(interface("mmic.php", "type=5&uid=" + uid()))["code"], 0);
  get(interface("ptoggle.php", "uid=" + uid()));
  get(interface("ctoggle.php", "uid=" + uid()));
  RoomState after = cloud.roomState("8012");
  EXPECT_TRUE(after.paused);
  EXPECT_TRUE(after.original);
  EXPECT_EQ(after.mic, 9);
  // Nothing to skip to.
  EXPECT_EQ(get(interface("nextsong.php", "uid=" + uid()))["code"], 0);
  EXPECT_EQ(get(interface("ptoggle.php", "uid=nobody"))["code"], 0);
}

TEST_F(CloudServiceTest, ChartPagesHoldTwentyEntriesUntilAnEmptyPage) {
  const std::string query = "/wxsearchservice.aspx/?appid=arr&op=getrankinfo&p=";
  const std::string type = "&type=zuK%E6%AD%8C%E6%A6%9C";
  Json first = get(query + "1" + type);
  EXPECT_EQ(first["total"], 100);
  ASSERT_EQ(first["list"].size(), 20u);
  EXPECT_EQ(keysOf(first["list"][0]), (std::vector<std::string>{"music_name", "music_no", "singer"}));
  // The second entry is a duet: two names joined by ",".
  EXPECT_NE(first["list"][1]["singer"].get<std::string>().find(','), std::string::npos);
  EXPECT_EQ(get(query + "5" + type)["list"].size(), 20u);
  EXPECT_TRUE(get(query + "6" + type)["list"].empty());
  Json unknown = get(query + "1&type=nochart");
  EXPECT_EQ(unknown["total"], 0);
  EXPECT_TRUE(unknown["list"].empty());
}

TEST_F(CloudServiceTest, SearchIgnoresSpacesAndFindsCategoriesAndSingers) {
  Json latin = get("/wxsearchservice.aspx/?op=getwxmusicinfo&p=1&q=helloworld");
  ASSERT_FALSE(latin["matches"].empty());
  EXPECT_EQ(latin["matches"][0]["music_name"], "Hello World");
  EXPECT_EQ(keysOf(latin["matches"][0]), (std::vector<std::string>{"music_name", "music_no", "singer"}));

  // A category title, as the titled list sends it (q = "经典老歌").
  Json category = get("/wxsearchservice.aspx/?appid=arr&nosign=1&op=getwxmusicinfo&p=1&q=%E7%BB%8F%E5%85%B8%E8%80%81%E6%AD%8C");
  EXPECT_EQ(category["total"].get<std::size_t>(), cloud.search("经典老歌").size());
  EXPECT_GT(category["total"], 0);

  const CloudSinger& singer = cloud.singers().front();
  std::vector<CloudSong> bySinger = cloud.search(singer.name);
  ASSERT_FALSE(bySinger.empty());
  for (const CloudSong& song : bySinger) EXPECT_NE(song.singer.find(singer.name), std::string::npos);

  Json none = get("/wxsearchservice.aspx/?op=getwxmusicinfo&p=1&q=");
  EXPECT_EQ(none["total"], 0);
}

TEST_F(CloudServiceTest, SearchFindsTitlesAndSingersByTheirInitials) {
  // Titles starting 月光 (yue guang) start "yg"; Latin titles go by their words' first letters.
  std::vector<CloudSong> moon = cloud.search("Y G");
  for (const CloudSong& song : cloud.songs()) {
    if (song.title.rfind("月光", 0) == 0) {
      EXPECT_TRUE(std::any_of(moon.begin(), moon.end(), [&](const CloudSong& s) { return s.number == song.number; }));
    }
  }
  EXPECT_FALSE(moon.empty());
  EXPECT_EQ(get("/wxsearchservice.aspx/?op=getwxmusicinfo&p=1&q=hw")["matches"][0]["music_name"], "Hello World");
  // A singer (青鸟乐队: qing niao le dui).
  Json band = get("/wxsearchservice.aspx/?op=getwxmusicinfo&p=1&q=qnld");
  ASSERT_FALSE(band["matches"].empty());
  for (const auto& match : band["matches"]) EXPECT_EQ(match["singer"], "青鸟乐队");
}

TEST_F(CloudServiceTest, SingersOfARegionComeByPageWithPictureAddresses) {
  const std::string target = "/wxsearchservice.aspx/?op=getsingersbyclass&tname=%E5%A4%A7%E9%99%86%E7%94%B7%E6%AD%8C%E6%98%9F&p=";
  Json first = get(target + "1");
  ASSERT_EQ(first["data"].size(), 20u);
  EXPECT_EQ(keysOf(first["data"][0]), (std::vector<std::string>{"singerheader", "singerid", "singername"}));
  std::string name = first["data"][0]["singername"];
  EXPECT_EQ(first["data"][0]["singerheader"], CloudService::singerImageUrl(name));
  EXPECT_EQ(get(target + "2")["data"].size(), cloud.singersOf("大陆男歌星").size() - 20);
  EXPECT_TRUE(get("/wxsearchservice.aspx/?op=getsingersbyclass&p=1&tname=nowhere")["data"].empty());
  EXPECT_EQ(CloudService::regions().size(), 21u);
}

TEST_F(CloudServiceTest, SingerPictureAddressIsEscapedAndServed) {
  std::string url = CloudService::singerImageUrl("王子轩 Live");
  EXPECT_EQ(url, std::string("http://") + CloudHosts::singerImage +
                     "/ZiZezer/SingerImage/%E7%8E%8B%E5%AD%90%E8%BD%A9%20Live.jpg");
  selftest::HttpAnswer picture = httpGet(cloud.port(), url.substr(url.find("/ZiZezer")));
  EXPECT_EQ(picture.status, 200);
  EXPECT_EQ(picture.header("Content-Type"), "image/jpeg");
  ASSERT_GE(picture.body.size(), 4u);
  EXPECT_EQ(picture.body.substr(0, 2), "\xff\xd8");
  EXPECT_EQ(httpGet(cloud.port(), "/ZiZezer/SingerImage/x.gif").status, 404);
}

// The image host also keeps the picture gallery, with its entity tags and 304 answers.
TEST_F(CloudServiceTest, ImageHostServesTheGallery) {
  selftest::HttpAnswer gif = httpGet(cloud.port(), "/images/animated.gif");
  EXPECT_EQ(gif.status, 200);
  EXPECT_EQ(gif.header("Content-Type"), "image/gif");
  EXPECT_EQ(gif.body, Gallery::picture("animated.gif")->bytes);
  EXPECT_EQ(gif.header("Cache-Control"), "max-age=3600");
  EXPECT_EQ(cloud.lastRequest().endpoint, "images");
  selftest::HttpAnswer again =
      httpGet(cloud.port(), "/images/animated.gif", "127.0.0.1", {"If-None-Match: " + gif.header("ETag")});
  EXPECT_EQ(again.status, 304);
  EXPECT_TRUE(again.body.empty());
  EXPECT_EQ(httpGet(cloud.port(), "/images/none.png").status, 404);
}

TEST_F(CloudServiceTest, BannersAndTheirSongs) {
  Json banners = get("/php/wxpic.php?tp=tp");
  const Json& items = banners["data"]["bannerclass"];
  ASSERT_EQ(items.size(), cloud.banners().size());
  bool hasPage = false, hasVideo = false, hasNonNumeric = false;
  for (const Json& item : items) {
    EXPECT_TRUE(item["classdetailbigimage"].get<std::string>().starts_with("http://img.ktvcloud.example/"));
    EXPECT_TRUE(item.contains("pic"));
    const std::string pic = item["pic"].get<std::string>();
    hasPage = hasPage || (!pic.empty() && pic.find("mp4") == std::string::npos);
    hasVideo = hasVideo || pic.find("mp4") != std::string::npos;
    hasNonNumeric = hasNonNumeric || std::atoi(item["classid"].get<std::string>().c_str()) == 0;
  }
  EXPECT_TRUE(hasPage);
  EXPECT_TRUE(hasVideo);
  EXPECT_TRUE(hasNonNumeric);

  Json songs = get("/php/wxsong.php?classid=12&uid=" + uid());
  EXPECT_EQ(songs["code"], "1");
  ASSERT_EQ(songs["result"]["matches"].size(), 15u);
  EXPECT_EQ(keysOf(songs["result"]["matches"][0]),
            (std::vector<std::string>{"Music_Caption", "Music_No", "Music_SingerName"}));
  Json none = get("/php/wxsong.php?classid=0&uid=" + uid());
  EXPECT_EQ(none["code"], "0");
  EXPECT_TRUE(none["msg"].is_string());

  selftest::HttpAnswer picture = httpGet(cloud.port(), "/php/banner/12.jpg");
  EXPECT_EQ(picture.status, 200);
  EXPECT_EQ(picture.body.substr(0, 2), "\xff\xd8");
}

TEST_F(CloudServiceTest, FavouritesComeByPage) {
  const std::string target = "/interface/getfavsongs.php?uid=" + uid() + "&p=";
  Json first = get(target + "1");
  ASSERT_EQ(first["data"].size(), 20u);
  EXPECT_EQ(keysOf(first["data"][0]), (std::vector<std::string>{"mname", "mno", "songer"}));
  EXPECT_EQ(get(target + "2")["data"].size(), 5u);
  EXPECT_TRUE(get(target + "3")["data"].empty());
  EXPECT_TRUE(get("/interface/getfavsongs.php?p=1&uid=")["data"].empty());
}

TEST_F(CloudServiceTest, CodeFormIsSwitchableForAllOrOneEndpoint) {
  const std::string queue = interface("getktvsonglist.php", "uid=" + uid());
  const std::string bind = interface("webbindroom_new.php", "roomid=8012&type=1");
  cloud.setCodeForm(CodeForm::Text);
  EXPECT_EQ(get(queue)["code"], "1");
  cloud.setCodeForm(CodeForm::Number);
  EXPECT_EQ(get(bind)["code"], 1);
  cloud.setCodeForm("webbindroom_new.php", CodeForm::Text);
  EXPECT_EQ(get(bind)["code"], "1");
  EXPECT_EQ(get(queue)["code"], 1);
}

TEST_F(CloudServiceTest, UnicodeCanBeWrittenAsEscapes) {
  cloud.setEscapeUnicode(true);
  selftest::HttpAnswer answer = httpGet(cloud.port(), "/php/wxpic.php?tp=tp");
  EXPECT_NE(answer.body.find("\\u"), std::string::npos);
  for (unsigned char c : answer.body) ASSERT_LT(c, 0x80);
  EXPECT_EQ(answer.json()["data"]["bannerclass"][0]["classname"], cloud.banners()[0].name);
}

TEST_F(CloudServiceTest, RecordKeepsTheRequestAsSent) {
  const std::string target = "/wxsearchservice.aspx/?appid=arr&op=getrankinfo&p=1&type=zuK%E6%AD%8C%E6%A6%9C";
  httpGet(cloud.port(), target, CloudHosts::search, {"User-Agent: KTV/1.0"});
  ASSERT_EQ(cloud.requestCount(), 1u);
  RecordedRequest r = cloud.lastRequest();
  EXPECT_EQ(r.line(), "GET " + target + " HTTP/1.1");
  EXPECT_EQ(r.rawPath, "/wxsearchservice.aspx/");
  EXPECT_EQ(r.query, "appid=arr&op=getrankinfo&p=1&type=zuK%E6%AD%8C%E6%A6%9C");
  EXPECT_EQ(r.paramNames(), (std::vector<std::string>{"appid", "op", "p", "type"}));
  EXPECT_EQ(r.param("type"), "zuK歌榜");
  EXPECT_EQ(r.endpoint, "getrankinfo");
  EXPECT_EQ(r.header("host"), CloudHosts::search);
  EXPECT_EQ(r.header("User-Agent"), "KTV/1.0");
  EXPECT_FALSE(r.header("REMOTE_ADDR"));

  // An empty value keeps its "=", a path without a query has none.
  httpGet(cloud.port(), "/interface/getktvsonglist.php?uid=");
  httpGet(cloud.port(), "/php/wxpic.php");
  std::vector<RecordedRequest> all = cloud.requests();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1].query, "uid=");
  EXPECT_EQ(all[1].param("uid"), "");
  EXPECT_FALSE(all[2].hasQuery);
  EXPECT_EQ(cloud.requestsTo("getktvsonglist.php").size(), 1u);
  cloud.clearRequests();
  EXPECT_EQ(cloud.requestCount(), 0u);
}

TEST_F(CloudServiceTest, FaultsReplaceOrAlterTheReply) {
  const std::string queue = interface("getktvsonglist.php", "uid=" + uid());

  cloud.setFault("getktvsonglist.php", Fault::html());
  selftest::HttpAnswer html = httpGet(cloud.port(), queue);
  EXPECT_EQ(html.status, 200);
  EXPECT_TRUE(html.header("Content-Type").starts_with("text/html"));
  EXPECT_TRUE(html.json().is_discarded());

  cloud.setFault("getktvsonglist.php", Fault::emptyBody());
  selftest::HttpAnswer empty = httpGet(cloud.port(), queue);
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.body, "");

  for (int status : {404, 500}) {
    cloud.setFault("/interface/getktvsonglist.php", Fault::status(status));
    selftest::HttpAnswer answer = httpGet(cloud.port(), queue);
    EXPECT_EQ(answer.status, status);
    EXPECT_EQ(answer.json()["code"], 1);  // the body is still the JSON reply
  }
  cloud.clearFaults();

  cloud.setFault("getktvsonglist.php", Fault::jsonNull());
  EXPECT_EQ(httpGet(cloud.port(), queue).body, "null");
  cloud.setFault("getktvsonglist.php", Fault::missingKeys({"list"}));
  Json missing = get(queue);
  EXPECT_FALSE(missing.contains("list"));
  EXPECT_EQ(missing["code"], 1);
  cloud.setFault("getktvsonglist.php", Fault::nullValues({"list"}));
  EXPECT_TRUE(get(queue)["list"].is_null());
  cloud.setFault("getktvsonglist.php", Fault::missingKeys());
  EXPECT_EQ(get(queue), Json::object());
  cloud.setFault("getktvsonglist.php", Fault::withBody(200, "[1,2]"));
  EXPECT_TRUE(get(queue).is_array());
}

TEST_F(CloudServiceTest, ReplacingFaultsHaveNoEffectAlteringOnesDo) {
  cloud.setRoomState("8012", RoomState{});
  const std::string add = interface("addsong.php", "appid=arr&mname=a&musicno=100001&songer=b&uid=" + uid());
  cloud.setFault("addsong.php", Fault::html());
  httpGet(cloud.port(), add);
  cloud.setFault("addsong.php", Fault::close());
  httpGet(cloud.port(), add);
  EXPECT_TRUE(cloud.roomState("8012").queue.empty());
  cloud.setFault("addsong.php", Fault::status(500));
  httpGet(cloud.port(), add);
  EXPECT_EQ(cloud.roomState("8012").queue.size(), 1u);
}

TEST_F(CloudServiceTest, FaultMatchingByNameWildcardAndCount) {
  cloud.setFault("*", Fault::status(500).only(2));
  EXPECT_EQ(httpGet(cloud.port(), "/php/wxpic.php?tp=tp").status, 500);
  EXPECT_EQ(httpGet(cloud.port(), "/wxsearchservice.aspx/?op=getrankinfo&p=1&type=x").status, 500);
  EXPECT_EQ(httpGet(cloud.port(), "/php/wxpic.php?tp=tp").status, 200);

  // Per "op" on the shared search path; the other operations are untouched.
  cloud.setFault("getsingersbyclass", Fault::status(404));
  EXPECT_EQ(httpGet(cloud.port(), "/wxsearchservice.aspx/?op=getsingersbyclass&p=1&tname=x").status, 404);
  EXPECT_EQ(httpGet(cloud.port(), "/wxsearchservice.aspx/?op=getrankinfo&p=1&type=x").status, 200);
  cloud.clearFault("getsingersbyclass");
  EXPECT_EQ(httpGet(cloud.port(), "/wxsearchservice.aspx/?op=getsingersbyclass&p=1&tname=x").status, 200);
}

TEST_F(CloudServiceTest, ClosedConnectionGivesNoAnswerAndServerKeepsServing) {
  cloud.setFault("wxpic.php", Fault::close().only(1));
  selftest::HttpAnswer closed = httpGet(cloud.port(), "/php/wxpic.php?tp=tp");
  EXPECT_TRUE(closed.connected);
  EXPECT_FALSE(closed.answered);
  EXPECT_EQ(httpGet(cloud.port(), "/php/wxpic.php?tp=tp").status, 200);
}

TEST_F(CloudServiceTest, KeptAliveConnectionAnswersRequestsOneAfterAnotherAndPipelined) {
  selftest::LoopbackClient client;
  ASSERT_EQ(client.connect(cloud.port()), 0);
  const std::string request = "GET /php/wxpic.php?tp=tp HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string pending;
  ASSERT_TRUE(client.write(request));
  std::optional<std::pair<int, std::string>> first = readAnswer(client, pending);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->first, 200);
  ASSERT_TRUE(client.write(request));
  std::optional<std::pair<int, std::string>> second = readAnswer(client, pending);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->second, first->second);
  // Two requests in one write: the second is already read when the first has been answered.
  ASSERT_TRUE(client.write(request + request));
  for (int i = 0; i < 2; ++i) {
    std::optional<std::pair<int, std::string>> answer = readAnswer(client, pending);
    ASSERT_TRUE(answer) << "pipelined answer " << i;
    EXPECT_EQ(answer->second, first->second);
  }
  EXPECT_EQ(cloud.requestCount(), 4u);
}

TEST_F(CloudServiceTest, ClosedConnectionLeavesTheOtherConnectionsOpen) {
  selftest::LoopbackClient kept;
  ASSERT_EQ(kept.connect(cloud.port()), 0);
  const std::string request = "GET /php/wxpic.php?tp=tp HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string pending;
  ASSERT_TRUE(kept.write(request));
  ASSERT_TRUE(readAnswer(kept, pending));

  cloud.setFault("wxpic.php", Fault::close().only(1));
  EXPECT_FALSE(httpGet(cloud.port(), "/php/wxpic.php?tp=tp").answered);

  ASSERT_TRUE(kept.write(request));
  std::optional<std::pair<int, std::string>> answer = readAnswer(kept, pending);
  ASSERT_TRUE(answer) << "the kept connection was closed too";
  EXPECT_EQ(answer->first, 200);
}

TEST_F(CloudServiceTest, SlowReplyComesAfterItsDelayWithTheNormalBody) {
  cloud.setFault("getrankinfo", Fault::slow(std::chrono::milliseconds(50)));
  Json reply = get("/wxsearchservice.aspx/?op=getrankinfo&p=1&type=zuK%E6%AD%8C%E6%A6%9C");
  EXPECT_EQ(reply["list"].size(), 20u);
}

TEST(CloudServiceLifecycle, StopCutsShortAHeldReply) {
  auto cloud = std::make_unique<CloudService>();
  ASSERT_TRUE(cloud->start());
  cloud->setFault("*", Fault::slow(std::chrono::hours(1)));
  std::uint16_t port = cloud->port();
  selftest::HttpAnswer answer;
  std::thread client([&] { answer = httpGet(port, "/php/wxpic.php?tp=tp"); });
  ASSERT_TRUE(cloud->waitForRequests(1, 10));
  EXPECT_EQ(cloud->requestCount(), 1u);
  cloud.reset();  // must not wait for the hour
  client.join();
  EXPECT_TRUE(answer.connected);
  EXPECT_FALSE(answer.answered);
}

TEST(CloudServiceLifecycle, PortsStartAndStop) {
  CloudService first;
  ASSERT_TRUE(first.start());
  EXPECT_NE(first.port(), 0);
  EXPECT_FALSE(first.start());  // already running
  CloudService second;
  EXPECT_FALSE(second.start(first.port()));  // taken
  first.stop();
  first.stop();
  EXPECT_FALSE(first.isRunning());
  EXPECT_FALSE(httpGet(first.port(), "/php/wxpic.php").connected);
  // Destroyed right after starting, before any request.
  CloudService brief;
  EXPECT_TRUE(brief.start());
}

TEST(CloudServiceLifecycle, IdleKeptAliveConnectionDoesNotHoldStop) {
  auto cloud = std::make_unique<CloudService>();
  ASSERT_TRUE(cloud->start());
  selftest::LoopbackClient client;
  ASSERT_EQ(client.connect(cloud->port()), 0);
  ASSERT_TRUE(client.write("GET /php/wxpic.php?tp=tp HTTP/1.1\r\nHost: x\r\n\r\n"));
  ASSERT_TRUE(cloud->waitForAnswers(1, 10));
  // Take the whole answer first: the count goes up before the bytes are written.
  std::string answer;
  while (answer.find("bannerclass") == std::string::npos) {
    std::optional<std::string> chunk = client.readSome();
    ASSERT_TRUE(chunk) << "the answer ended early: " << answer;
    answer += *chunk;
  }
  // The connection is kept alive and idle: stopping must not wait for it, and closes it.
  cloud.reset();
  EXPECT_FALSE(client.readSome()) << "the connection is closed";
}

TEST(CloudServiceCatalogue, IsRealisticAndTheSameEveryTime) {
  CloudService a, b;
  EXPECT_GE(a.songs().size(), 300u);
  ASSERT_EQ(a.songs().size(), b.songs().size());
  for (std::size_t i = 0; i < a.songs().size(); ++i) {
    EXPECT_EQ(a.songs()[i].title, b.songs()[i].title);
    EXPECT_EQ(a.songs()[i].singer, b.songs()[i].singer);
  }
  std::set<std::string> numbers;
  for (const CloudSong& song : a.songs()) {
    numbers.insert(song.number);
    EXPECT_EQ(a.song(song.number)->title, song.title);
  }
  EXPECT_EQ(numbers.size(), a.songs().size());
  EXPECT_FALSE(a.song("nope"));
  EXPECT_EQ(a.chart(CloudService::kChart).size(), 100u);
  EXPECT_FALSE(a.search("男女对唱").empty());
  EXPECT_TRUE(a.singersOf("尼日利亚歌星").empty());
}

TEST(CloudServiceConcurrency, ParallelAddsAreAllQueued) {
  CloudService cloud;
  ASSERT_TRUE(cloud.start());
  cloud.setRoomState("8015", RoomState{});
  std::string uid = cloud.roomByCode("8015")->uid;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        std::string number = std::to_string(100001 + t * 10 + i);
        httpGet(cloud.port(), "/interface/addsong.php?appid=arr&mname=x&musicno=" + number + "&songer=y&uid=" + uid);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  std::vector<QueuedSong> queue = cloud.roomState("8015").queue;
  EXPECT_EQ(queue.size(), 20u);
  std::set<std::string> numbers;
  for (const QueuedSong& q : queue) numbers.insert(q.number);
  EXPECT_EQ(numbers.size(), 20u);
  EXPECT_EQ(cloud.requestCount(), 20u);
}
