#include "songs/CloudApi.h"

#include "platform/core/Json.h"
#include "platform/core/UserDefaults.h"
#include "songs/CloudHosts.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

namespace {

class CloudApiTest : public support::TempHomeTest {};

core::Value json(const char* text) { return core::Json::parse(text).value(); }

TEST_F(CloudApiTest, BindingIdReadsMissingAndEmptyAsNotBound) {
  EXPECT_FALSE(kt::CloudApi::storedUid());
  EXPECT_FALSE(kt::CloudApi::isBound());
  EXPECT_EQ(kt::CloudApi::badgeUid(), "");
  core::UserDefaults::standard().setString("uid", "");
  EXPECT_FALSE(kt::CloudApi::isBound());
  EXPECT_EQ(kt::CloudApi::storedUid(), std::optional<std::string>(""));
  core::UserDefaults::standard().setString("uid", "u1");
  EXPECT_TRUE(kt::CloudApi::isBound());
  EXPECT_EQ(kt::CloudApi::badgeUid(), "u1");
}

TEST_F(CloudApiTest, BindingRepliesAreStored) {
  auto& defaults = core::UserDefaults::standard();
  EXPECT_EQ(kt::CloudApi::storeScannedReply(json(R"({"code":"1","roominfo":"tok9","tranip":"10.0.0.9"})")), "tok9");
  EXPECT_EQ(defaults.stringForKey("roominfo"), std::optional<std::string>("tok9"));
  EXPECT_EQ(defaults.stringForKey("transIP"), std::optional<std::string>("10.0.0.9"));

  EXPECT_EQ(kt::CloudApi::storeRoomInfoReply(json(R"({"code":1,"room":{"room_code":808,"room_ip":"10.1.1.8"}})")),
            "808");
  EXPECT_EQ(defaults.stringForKey("roomIPForMike"), std::optional<std::string>("10.1.1.8"));

  EXPECT_TRUE(kt::CloudApi::storeBindReply(json(R"({"code":1,"data":[{"uid":"abc"},{"uid":"other"}]})")));
  EXPECT_EQ(defaults.stringForKey("uid"), std::optional<std::string>("abc"));
}

TEST_F(CloudApiTest, BindReplyWithoutUidStoresNothing) {
  auto& defaults = core::UserDefaults::standard();
  defaults.setString("uid", "old");
  for (const char* text : {R"({"code":1})", R"({"code":1,"data":[]})", R"({"code":1,"data":"u"})",
                           R"({"code":1,"data":[{"id":"x"}]})", R"([1])"}) {
    EXPECT_FALSE(kt::CloudApi::storeBindReply(json(text))) << text;
  }
  EXPECT_EQ(defaults.stringForKey("uid"), std::optional<std::string>("old"));
}

TEST_F(CloudApiTest, RoomInfoReplyWithoutRoomObjectGivesNullTexts) {
  EXPECT_EQ(kt::CloudApi::storeRoomInfoReply(json(R"({"code":1,"room":"r"})")), "(null)");
}

TEST(CloudApiUrls, SingerPicturesAreEscapedInTheirOwnOrder) {
  const std::string base = "http://img.ktvcloud.example/ZiZezer/SingerImage/";
  EXPECT_EQ(kt::CloudApi::singerImageURL("王菲"), base + "%E7%8E%8B%E8%8F%B2.jpg");
  EXPECT_EQ(kt::CloudApi::singerImageURL("Li Ming"), base + "Li%20Ming.jpg");
  EXPECT_EQ(kt::CloudApi::singerImageURL("a,b"), base + "a,b.jpg");  // reserved characters stay
  // Singer rows: spaces are removed from the whole address before escaping.
  EXPECT_EQ(kt::CloudApi::singerRowImageURL("Li Ming"), base + "LiMing.jpg");
  EXPECT_EQ(kt::CloudApi::singerRowImageURL(" 王 菲 "), base + "%E7%8E%8B%E8%8F%B2.jpg");
}

TEST(CloudApiUrls, ClassIdIsSentAsAWholeNumber) {
  EXPECT_EQ(kt::CloudApi::bannerSongs("u", "12").params["classid"], core::Value(12));
  EXPECT_EQ(kt::CloudApi::bannerSongs("u", "abc").params["classid"], core::Value(0));
  EXPECT_EQ(kt::CloudApi::bannerSongs("u", "7x").params["classid"], core::Value(7));
  EXPECT_EQ(kt::CloudApi::bannerSongs("u", "(null)").params["classid"], core::Value(0));
}

TEST(CloudApiUrls, HostsAndBases) {
  EXPECT_EQ(kt::CloudApi::roomInfo("tok").base, "http://bind.ktvcloud.example/roominfo/");
  EXPECT_EQ(kt::CloudApi::queue("u").base, "http://api.ktvcloud.example/interface/");
  EXPECT_EQ(kt::CloudApi::banners().path, "http://song.ktvcloud.example/php/wxpic.php");
  EXPECT_EQ(kt::CloudApi::banners().base, "");
  EXPECT_EQ(kt::CloudApi::chart(1).base, "http://search.ktvcloud.example/wxsearchservice.aspx");
  EXPECT_EQ(kt::CloudApi::chart(1).path, "");
  EXPECT_EQ(kt::CloudApi::searchSongs(" hello  world ", 2).params["q"], core::Value("helloworld"));
}

}  // namespace
