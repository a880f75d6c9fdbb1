#include "songs/CloudReply.h"

#include "platform/core/Json.h"

#include <gtest/gtest.h>

namespace {

core::Value json(const char* text) { return core::Json::parse(text, nullptr, true).value(); }

TEST(CloudReplyTest, TextFollowsTheFormatRule) {
  core::Value reply = json(R"({"s":"abc","n":12,"r":1.0,"t":true,"z":null,"e":""})");
  EXPECT_EQ(kt::CloudReply::text(reply, "s"), "abc");
  EXPECT_EQ(kt::CloudReply::text(reply, "n"), "12");
  EXPECT_EQ(kt::CloudReply::text(reply, "r"), "1");
  EXPECT_EQ(kt::CloudReply::text(reply, "t"), "1");
  EXPECT_EQ(kt::CloudReply::text(reply, "z"), "<null>");
  EXPECT_EQ(kt::CloudReply::text(reply, "e"), "");
  EXPECT_EQ(kt::CloudReply::text(reply, "missing"), "(null)");
  EXPECT_EQ(kt::CloudReply::text(std::optional<core::Value>{}, "s"), "(null)");
}

TEST(CloudReplyTest, SuccessIsCodeReadingOne) {
  EXPECT_TRUE(kt::CloudReply::isSuccess(json(R"({"code":1})")));
  EXPECT_TRUE(kt::CloudReply::isSuccess(json(R"({"code":"1"})")));
  EXPECT_TRUE(kt::CloudReply::isSuccess(json(R"({"code":1.0})")));
  EXPECT_FALSE(kt::CloudReply::isSuccess(json(R"({"code":"6","msg":"x"})")));
  EXPECT_FALSE(kt::CloudReply::isSuccess(json(R"({"code":" 1"})")));
  EXPECT_FALSE(kt::CloudReply::isSuccess(json(R"({"code":null})")));
  EXPECT_FALSE(kt::CloudReply::isSuccess(json(R"({"msg":"no code"})")));
  EXPECT_FALSE(kt::CloudReply::isSuccess(std::nullopt));
  EXPECT_EQ(kt::CloudReply::code(json(R"({"code":6})")), "6");
  EXPECT_EQ(kt::CloudReply::code(std::nullopt), "(null)");
}

TEST(CloudReplyTest, ReplyThatIsNoObjectHasNoKeys) {
  for (const char* text : {R"([{"code":1}])", "1", R"("code")", "null"}) {
    core::Value reply = json(text);
    EXPECT_EQ(kt::CloudReply::text(reply, "code"), "(null)") << text;
    EXPECT_FALSE(kt::CloudReply::isSuccess(reply)) << text;
    EXPECT_TRUE(kt::CloudReply::rows(reply, "list").empty()) << text;
    EXPECT_TRUE(kt::CloudReply::bannerItems(reply).empty()) << text;
  }
}

TEST(CloudReplyTest, RowsAreReadByType) {
  core::Value reply = json(R"({"list":[{"musicno":"1"},7,"x",null,[{"musicno":"2"}],{"musicno":3}],
                               "str":"abc","obj":{"musicno":"4"},"nul":null,"empty":[]})");
  std::vector<core::Value> rows = kt::CloudReply::rows(reply, "list");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(kt::CloudReply::text(rows[0], "musicno"), "1");
  EXPECT_EQ(kt::CloudReply::text(rows[1], "musicno"), "3");
  for (const char* key : {"str", "obj", "nul", "empty", "missing"}) {
    EXPECT_TRUE(kt::CloudReply::rows(reply, key).empty()) << key;
  }
}

TEST(CloudReplyTest, NestedListsOfBannersAndBannerSongs) {
  auto banners = json(R"({"data":{"bannerclass":[{"classid":"12","pic":"","extra":{"k":1}},"junk"]}})");
  std::vector<core::Value> items = kt::CloudReply::bannerItems(banners);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(kt::CloudReply::text(items[0], "classid"), "12");
  EXPECT_TRUE(items[0].contains("extra"));  // kept whole

  EXPECT_TRUE(kt::CloudReply::bannerItems(json(R"({"data":[{"bannerclass":[{}]}]})")).empty());
  EXPECT_TRUE(kt::CloudReply::bannerItems(json(R"({"data":{"bannerclass":{"a":{}}}})")).empty());
  EXPECT_TRUE(kt::CloudReply::bannerItems(std::nullopt).empty());

  auto songs = json(R"({"code":1,"result":{"matches":[{"Music_Caption":"a","Music_No":5}]}})");
  std::vector<core::Value> matches = kt::CloudReply::bannerSongs(songs);
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(kt::CloudReply::text(matches[0], "Music_No"), "5");
  EXPECT_EQ(kt::CloudReply::text(matches[0], "Music_SingerName"), "(null)");
  EXPECT_TRUE(kt::CloudReply::bannerSongs(json(R"({"result":"none"})")).empty());
}

TEST(CloudReplyTest, FirstNameIsThePartBeforeTheFirstComma) {
  EXPECT_EQ(kt::CloudReply::firstName("周杰伦,费玉清"), "周杰伦");
  EXPECT_EQ(kt::CloudReply::firstName("a,b,c"), "a");
  EXPECT_EQ(kt::CloudReply::firstName("王菲"), "王菲");
  EXPECT_EQ(kt::CloudReply::firstName(",b"), "");
  EXPECT_EQ(kt::CloudReply::firstName(""), "");
  EXPECT_EQ(kt::CloudReply::firstName("张学友，刘德华"), "张学友，刘德华");  // only the ASCII comma splits
}

}  // namespace
