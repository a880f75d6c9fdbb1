// Song rows from reply entries: every field is the "%@" text of its value, whatever its type,
// and each screen's keys (with the first-name cut where it applies).
#include "songs/ChooseMusicModel.h"

#include <gtest/gtest.h>

#include "platform/core/Json.h"

namespace {

core::Value json(const char* text) { return *core::Json::parse(text, nullptr, true); }

TEST(ChooseMusicModel, FieldsAreTheTextFormOfWhateverTheDictionaryHolds) {
  const kt::ChooseMusicModel model(
      json(R"({"musicName":"","singerName":null,"musicNum":1024,"imgURL":1.5,"extra":"x"})"));
  EXPECT_EQ(model.string_musicName(), "");  // an empty text stays empty
  EXPECT_EQ(model.string_musicSinger(), "<null>");
  EXPECT_EQ(model.string_musicNumber(), "1024");
  EXPECT_EQ(model.string_imageURL(), "1.5");

  EXPECT_EQ(kt::ChooseMusicModel(json(R"({"musicNum":1.0})")).string_musicNumber(), "1");
  EXPECT_EQ(kt::ChooseMusicModel(json(R"({"musicNum":true})")).string_musicNumber(), "1");

  // Absent keys, an empty dictionary, and a "dictionary" that is no object at all.
  for (const char* text : {R"({"musicName":"后来"})", "{}", "[1,2]", "\"text\""}) {
    const kt::ChooseMusicModel m(json(text));
    EXPECT_EQ(m.string_imageURL(), "(null)") << text;
    EXPECT_EQ(m.string_musicSinger(), "(null)") << text;
    EXPECT_EQ(m.string_musicNumber(), "(null)") << text;
  }
}

TEST(ChooseMusicModel, EachScreensReplyKeysAndTheFirstNameCut) {
  const core::Value chartItem = json(R"({"music_name":"广岛之恋","singer":"莫文蔚,张洪量","music_no":88})");
  auto chart = kt::ChooseMusicModel::modelWithReplyItem(chartItem, kt::ChooseMusicModel::ChartKeys);
  EXPECT_EQ(chart->string_musicName(), "广岛之恋");
  EXPECT_EQ(chart->string_musicSinger(), "莫文蔚");
  EXPECT_EQ(chart->string_musicNumber(), "88");
  // The search screen keeps the whole singer text.
  EXPECT_EQ(kt::ChooseMusicModel::modelWithReplyItem(chartItem, kt::ChooseMusicModel::SearchKeys)->string_musicSinger(),
            "莫文蔚,张洪量");

  struct Case {
    kt::ChooseMusicModel::ReplyKeys keys;
    const char* item;
  } cases[] = {
      {kt::ChooseMusicModel::FavouriteKeys, R"({"mname":"N","songer":"a,b","mno":"7"})"},
      {kt::ChooseMusicModel::BannerSongKeys, R"({"Music_Caption":"N","Music_SingerName":"a,b","Music_No":"7"})"},
      {kt::ChooseMusicModel::QueueKeys, R"({"musicname":"N","singername":"a,b","musicno":"7"})"},
      {kt::ChooseMusicModel::SungKeys, R"({"musicname":"N","singer":"a,b","musicno":"7"})"},
  };
  for (const Case& c : cases) {
    auto m = kt::ChooseMusicModel::modelWithReplyItem(json(c.item), c.keys);
    EXPECT_EQ(m->string_musicName(), "N") << c.item;
    EXPECT_EQ(m->string_musicSinger(), "a,b") << c.item;
    EXPECT_EQ(m->string_musicNumber(), "7") << c.item;
    EXPECT_EQ(m->string_imageURL(), "(null)") << c.item;
  }

  // A chart entry without a singer, or with a singer that is no text, still makes a row.
  auto bare = kt::ChooseMusicModel::modelWithReplyItem(json(R"({"music_no":5})"), kt::ChooseMusicModel::ChartKeys);
  EXPECT_EQ(bare->string_musicName(), "(null)");
  EXPECT_EQ(bare->string_musicSinger(), "(null)");
  auto numeric = kt::ChooseMusicModel::modelWithReplyItem(json(R"({"singer":12,"music_no":null})"),
                                                          kt::ChooseMusicModel::ChartKeys);
  EXPECT_EQ(numeric->string_musicSinger(), "12");
  EXPECT_EQ(numeric->string_musicNumber(), "<null>");
  EXPECT_EQ(kt::ChooseMusicModel::modelWithReplyItem(json("[]"), kt::ChooseMusicModel::QueueKeys)->string_musicName(),
            "(null)");
}

}  // namespace
