// Singer rows from the singers-of-a-region reply.
#include "songs/StarsListModel.h"

#include <gtest/gtest.h>

#include "platform/core/Json.h"

TEST(StarsListModel, ReplyItemsBecomeTextsUnderTheModelsKeys) {
  auto model = kt::StarsListModel::modelWithReplyItem(
      *core::Json::parse(R"({"singerheader":null,"singername":"周杰伦","singerid":3021})"));
  EXPECT_EQ(model->string_portrait(), "<null>");
  EXPECT_EQ(model->string_singerName(), "周杰伦");
  EXPECT_EQ(model->string_singerId(), "3021");

  auto bare = kt::StarsListModel::modelWithReplyItem(*core::Json::parse(R"({"name":"x"})"));
  EXPECT_EQ(bare->string_portrait(), "(null)");
  EXPECT_EQ(bare->string_singerName(), "(null)");  // "name" is the model's key, not the reply's
  EXPECT_EQ(bare->string_singerId(), "(null)");

  const kt::StarsListModel direct(*core::Json::parse(R"({"portrait":"p","name":"","singerID":"9"})"));
  EXPECT_EQ(direct.string_portrait(), "p");
  EXPECT_EQ(direct.string_singerName(), "");
  EXPECT_EQ(direct.string_singerId(), "9");
}
